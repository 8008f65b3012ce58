#pragma once

#include <string>
#include <vector>

namespace qb {

// Reads lines ended by CR LF or by a lone CR; an LF on its own is an
// ordinary byte. The last line needs no terminator. Holds one line at a time.
class LineReader {
public:
    // privateFile: the working copy; links and other users' files are refused.
    LineReader(const std::string& path, bool privateFile);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // False at the end of the file. Throws std::system_error on a read error.
    bool Next(std::string& line);

private:
    bool Fill();

    int m_fd = -1;
    std::string m_path;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
};

}  // namespace qb
