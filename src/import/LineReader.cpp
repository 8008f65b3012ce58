#include "import/LineReader.h"

#include "filelist/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace qb {

LineReader::LineReader(const std::string& path, bool privateFile, std::size_t maxLineLength)
    : m_owned(OpenRegularFileForReading(path, !privateFile)), m_fd(m_owned.Get()), m_name(path),
      m_buffer(1 << 16), m_maxLineLength(maxLineLength)
{
}

LineReader::LineReader(int fd, std::string name, std::size_t maxLineLength)
    : m_fd(fd), m_name(std::move(name)), m_buffer(1 << 16), m_maxLineLength(maxLineLength)
{
}

bool LineReader::Fill()
{
    for (;;) {
        const ssize_t got = ::pread(m_fd, m_buffer.data(), m_buffer.size(), m_offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw std::system_error(errno, std::generic_category(), "Cannot read " + m_name);
        m_offset += got;
        m_pos = 0;
        m_end = static_cast<std::size_t>(got);
        return got > 0;
    }
}

bool LineReader::Next(std::string& line)
{
    line.clear();
    if (m_pos == m_end && !Fill())
        return false;
    const char* begin = m_buffer.data() + m_pos;
    const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', m_end - m_pos));
    if (!cr)
        return NextLong(line);
    if (static_cast<std::size_t>(cr - begin) > m_maxLineLength)
        throw std::length_error("line too long");
    line.assign(begin, static_cast<std::size_t>(cr - begin));
    m_pos += line.size() + 1;
    SkipLf();
    return true;
}

void LineReader::SkipLf()
{
    if (m_pos == m_end)
        Fill();
    if (m_pos < m_end && m_buffer[m_pos] == '\n')
        ++m_pos;
}

bool LineReader::NextLong(std::string& line)
{
    // The line runs past the buffer. Measure it first, so that it is held
    // once at its exact size and an endless one is refused before it is.
    const off_t start = m_offset - static_cast<off_t>(m_end - m_pos);
    std::size_t length = m_end - m_pos;
    bool ended = false;
    while (!ended) {
        if (length > m_maxLineLength)
            throw std::length_error("line too long");
        if (!Fill())
            break;
        const auto* cr = static_cast<const char*>(std::memchr(m_buffer.data(), '\r', m_end));
        ended = cr != nullptr;
        length += ended ? static_cast<std::size_t>(cr - m_buffer.data()) : m_end;
    }
    if (length > m_maxLineLength)
        throw std::length_error("line too long");
    line.reserve(length);
    line.resize(length);
    std::size_t got = 0;
    while (got < length) {
        const ssize_t part = ::pread(m_fd, line.data() + got, length - got, start + static_cast<off_t>(got));
        if (part < 0 && errno == EINTR)
            continue;
        if (part < 0)
            throw std::system_error(errno, std::generic_category(), "Cannot read " + m_name);
        if (part == 0)
            break;  // the file shrank under us
        got += static_cast<std::size_t>(part);
    }
    line.resize(got);
    m_offset = start + static_cast<off_t>(got);
    m_pos = m_end = 0;
    if (ended && Fill() && m_buffer[0] == '\r') {
        ++m_pos;
        SkipLf();
    }
    return true;
}

}  // namespace qb
