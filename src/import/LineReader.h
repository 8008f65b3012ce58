#pragma once

#include <string>
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
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // False at the end of the file. Throws std::system_error on a read error
    // and std::length_error for a line longer than the limit.
    bool Next(std::string& line);

private:
    bool Fill();

    int m_fd = -1;
    std::string m_path;
    std::vector<char> m_buffer;
    std::size_t m_maxLineLength;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
};

}  // namespace qb
