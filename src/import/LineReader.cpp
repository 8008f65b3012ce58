#include "import/LineReader.h"

#include "filelist/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace qb {

LineReader::LineReader(const std::string& path, bool privateFile, std::size_t maxLineLength)
    : m_fd(OpenRegularFileForReading(path, !privateFile)), m_path(path), m_buffer(1 << 16),
      m_maxLineLength(maxLineLength)
{
}

LineReader::~LineReader()
{
    ::close(m_fd);
}

bool LineReader::Fill()
{
    for (;;) {
        const ssize_t got = ::read(m_fd, m_buffer.data(), m_buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw std::system_error(errno, std::generic_category(), "Cannot read " + m_path);
        m_pos = 0;
        m_end = static_cast<std::size_t>(got);
        return got > 0;
    }
}

bool LineReader::Next(std::string& line)
{
    line.clear();
    bool started = false;
    auto take = [&](const char* bytes, std::size_t size) {
        if (line.size() + size > m_maxLineLength)
            throw std::length_error("line too long");
        line.append(bytes, size);
    };
    for (;;) {
        if (m_pos == m_end && !Fill())
            return started;
        const char* begin = m_buffer.data() + m_pos;
        const std::size_t size = m_end - m_pos;
        const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', size));
        if (!cr) {
            take(begin, size);
            m_pos = m_end;
            started = true;
            continue;
        }
        take(begin, static_cast<std::size_t>(cr - begin));
        m_pos += static_cast<std::size_t>(cr - begin) + 1;
        if (m_pos == m_end)
            Fill();
        if (m_pos < m_end && m_buffer[m_pos] == '\n')
            ++m_pos;
        return true;
    }
}

}  // namespace qb
