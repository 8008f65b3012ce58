#include "import/LineReader.h"

#include "base/SafeFile.h"
#include "import/TextDecoder.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace qb {
namespace {

constexpr std::size_t kBufferSize = 1 << 16;

// Files are read one after another, and a fresh 64 KiB buffer can cost more
// than a small file's whole reading: a reader done with its buffer hands it on.
thread_local std::unique_ptr<char[]> t_spareBuffer;

// Left unfilled: every byte used is read into it first.
std::unique_ptr<char[]> TakeBuffer()
{
    return t_spareBuffer ? std::move(t_spareBuffer) : std::make_unique_for_overwrite<char[]>(kBufferSize);
}

void HandOn(std::unique_ptr<char[]> buffer)
{
    if (!t_spareBuffer)
        t_spareBuffer = std::move(buffer);
}

}  // namespace

LineReader::LineReader(const std::string& path, bool privateFile, std::size_t maxLineLength)
    : m_owned(OpenRegularFileForReading(path, !privateFile)), m_fd(m_owned.Get()), m_name(path), m_raw(TakeBuffer()),
      m_maxLineLength(maxLineLength), m_end1('\r')
{
}

LineReader::LineReader(int fd, std::string name, std::size_t maxLineLength, LineEnds ends, off_t start,
                       std::unique_ptr<TextDecoder> decoder)
    : m_fd(fd), m_offset(start), m_name(std::move(name)), m_raw(TakeBuffer()), m_maxLineLength(maxLineLength),
      m_end1(ends == LineEnds::Lf ? '\n' : '\r'), m_decoder(std::move(decoder))
{
}

LineReader::~LineReader()
{
    HandOn(std::move(m_raw));
}

bool LineReader::Fill()
{
    m_pos = 0;
    m_end = 0;
    if (!m_decoder) {
        // The end a read found stays the end: a file that grows while it is
        // read is taken as it was, and the end is not asked for again.
        if (m_offset == m_fileEnd)
            return false;
        m_end = ReadFully(m_fd, m_raw.get(), kBufferSize, m_offset, m_name);
        m_offset += static_cast<off_t>(m_end);
        if (m_end < kBufferSize)
            m_fileEnd = m_offset;
        m_data = m_raw.get();
        return m_end > 0;
    }
    // Converted pieces may come out empty (a cut sequence): read on until text or the end.
    m_decoded.clear();
    while (m_decoded.empty() && !m_atEof) {
        const std::size_t got = ReadFully(m_fd, m_raw.get(), kBufferSize, m_offset, m_name);
        m_offset += static_cast<off_t>(got);
        m_atEof = got == 0;
        m_decoder->Decode({m_raw.get(), got}, m_atEof, m_decoded);
    }
    m_data = m_decoded.data();
    m_end = m_decoded.size();
    return m_end > 0;
}

void LineReader::EndLine()
{
    // After the terminator's first byte; a CR may be followed by an LF.
    if (m_end1 == '\n') {
        m_terminator = "\n";
        return;
    }
    if (m_pos == m_end)
        Fill();
    if (m_pos < m_end && m_data[m_pos] == '\n') {
        ++m_pos;
        m_terminator = "\r\n";
    } else {
        m_terminator = "\r";
    }
}

bool LineReader::Next(std::string& line)
{
    line.clear();
    m_terminator = {};
    if (m_pos == m_end && !Fill())
        return false;
    m_lineStart = m_offset - static_cast<off_t>(m_end - m_pos);
    const char* begin = m_data + m_pos;
    const auto* found = static_cast<const char*>(std::memchr(begin, m_end1, m_end - m_pos));
    if (!found)
        return m_decoder ? Accumulate(line) : NextLong(line);
    if (static_cast<std::size_t>(found - begin) > m_maxLineLength)
        throw std::length_error("line too long");
    line.assign(begin, static_cast<std::size_t>(found - begin));
    m_pos += line.size() + 1;
    EndLine();
    return true;
}

bool LineReader::Accumulate(std::string& line)
{
    // Converted text cannot be read again by offset: gather it as it comes.
    for (;;) {
        const char* begin = m_data + m_pos;
        const auto* found = static_cast<const char*>(std::memchr(begin, m_end1, m_end - m_pos));
        const std::size_t size = found ? static_cast<std::size_t>(found - begin) : m_end - m_pos;
        if (line.size() + size > m_maxLineLength)
            throw std::length_error("line too long");
        line.append(begin, size);
        m_pos += size;
        if (found) {
            ++m_pos;
            EndLine();
            return true;
        }
        if (!Fill())
            return true;
    }
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
        const auto* found = static_cast<const char*>(std::memchr(m_data, m_end1, m_end));
        ended = found != nullptr;
        length += ended ? static_cast<std::size_t>(found - m_data) : m_end;
    }
    if (length > m_maxLineLength)
        throw std::length_error("line too long");
    line.reserve(length);
    line.resize(length);
    // Fewer bytes when the file shrank under us.
    const std::size_t got = ReadFully(m_fd, line.data(), length, start, m_name);
    line.resize(got);
    m_offset = start + static_cast<off_t>(got);
    m_pos = m_end = 0;
    if (ended && Fill() && m_data[0] == m_end1) {
        ++m_pos;
        EndLine();
    }
    return true;
}

LineEnds DetectLineEnds(int fd, const std::string& name, off_t start, const std::string& encoding)
{
    std::unique_ptr<TextDecoder> decoder;
    if (!encoding.empty())
        decoder = std::make_unique<TextDecoder>(encoding);
    std::unique_ptr<char[]> raw = TakeBuffer();
    std::string decoded;
    for (off_t offset = start;;) {
        const std::size_t got = ReadFully(fd, raw.get(), kBufferSize, offset, name);
        offset += static_cast<off_t>(got);
        std::string_view text(raw.get(), got);
        if (decoder) {
            decoded.clear();
            decoder->Decode(text, got == 0, decoded);
            text = decoded;
        }
        const bool cr = text.find('\r') != std::string_view::npos;
        if (cr || got == 0) {
            HandOn(std::move(raw));
            return cr ? LineEnds::Cr : LineEnds::Lf;
        }
    }
}

}  // namespace qb
