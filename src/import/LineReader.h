#pragma once

#include "filelist/UniqueFd.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace qb {

// No text file holds a line this long; a file that does is not one this
// program can import, and holding such a line would exhaust memory.
inline constexpr std::size_t kMaxLineLength = std::size_t(256) << 20;

// Reads lines ended by CR LF or by a lone CR; an LF on its own is an
// ordinary byte. The last line needs no terminator. Holds one line at a time.
class LineReader {
public:
    // privateFile: the working copy; links and other users' files are refused.
    LineReader(const std::string& path, bool privateFile, std::size_t maxLineLength = kMaxLineLength);
    // Reads an open file from its start, by offset, leaving the descriptor's
    // own position alone; the descriptor stays the caller's.
    explicit LineReader(int fd, std::string name, std::size_t maxLineLength = kMaxLineLength);

    // False at the end of the file. Throws std::system_error on a read error
    // and std::length_error for a line longer than the limit.
    bool Next(std::string& line);

private:
    bool Fill();
    bool NextLong(std::string& line);
    void SkipLf();

    UniqueFd m_owned;
    int m_fd;
    off_t m_offset = 0;
    std::string m_name;
    std::vector<char> m_buffer;
    std::size_t m_maxLineLength;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
};

}  // namespace qb
