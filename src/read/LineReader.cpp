#include "read/LineReader.h"

#include "base/SafeFile.h"
#include "read/TextDecoder.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
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

// Where bytes next stand in data[from, end) at a character's boundary (a
// multiple of unit from `from`), or npos.
std::size_t FindAligned(const char* data, std::size_t from, std::size_t end, std::string_view bytes, std::size_t unit)
{
    if (bytes.size() == 1) {
        const void* found = std::memchr(data + from, bytes[0], end - from);
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : std::string::npos;
    }
    for (std::size_t at = from; !bytes.empty() && at + bytes.size() <= end; at += unit) {
        if (std::memcmp(data + at, bytes.data(), bytes.size()) == 0)
            return at;
    }
    return std::string::npos;
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
    if (m_decoder)
        m_endBytes = ends == LineEnds::Lf ? m_decoder->Lf() : m_decoder->Cr();
}

LineReader::~LineReader()
{
    HandOn(std::move(m_raw));
}

bool LineReader::Fill()
{
    m_pos = 0;
    m_end = 0;
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

bool LineReader::Next(std::string& line, SkippedText* skipped)
{
    line.clear();
    m_terminator = {};
    m_skipped = false;
    if (m_pos == m_end && !Fill())
        return false;
    m_lineStart = m_offset - static_cast<off_t>(m_end - m_pos);
    if (m_decoder)
        return NextConverted(line, skipped);
    const char* begin = m_data + m_pos;
    const auto* found = static_cast<const char*>(std::memchr(begin, m_end1, m_end - m_pos));
    if (!found)
        return NextLong(line, skipped);
    if (static_cast<std::size_t>(found - begin) > m_maxLineLength) {
        SkipRest(m_lineStart, skipped);
        return true;
    }
    line.assign(begin, static_cast<std::size_t>(found - begin));
    m_lineEnd = m_lineStart + static_cast<off_t>(line.size());
    m_pos += line.size() + 1;
    EndLine();
    return true;
}

bool LineReader::NextConverted(std::string& line, SkippedText* skipped)
{
    // Past the limit, each piece's text is handed on and dropped as it is decoded.
    const auto ended = [&] {
        if (m_skipped || line.size() > m_maxLineLength) {
            Drop(line, skipped);
            std::string().swap(line);
        }
        return true;
    };
    for (;;) {
        // Buffers start on characters' boundaries: they are read in whole
        // multiples of any character size from where the text begins.
        const std::size_t found = FindAligned(m_data, m_pos, m_end, m_endBytes, m_decoder->Unit());
        const std::size_t stop = found == std::string::npos ? m_end : found;
        m_decoder->Decode({m_data + m_pos, stop - m_pos}, false, line);
        m_pos = stop;
        if (found != std::string::npos) {
            m_lineEnd = m_offset - static_cast<off_t>(m_end - found);
            m_decoder->EndLine(line);
            m_pos = found + m_endBytes.size();
            EndConvertedLine();
            return ended();
        }
        if (m_skipped || line.size() > m_maxLineLength)
            Drop(line, skipped);
        if (!Fill()) {
            // The last line needs no terminator.
            m_lineEnd = m_offset;
            m_decoder->Decode({}, true, line);
            return ended();
        }
    }
}

void LineReader::Drop(std::string& line, SkippedText* skipped)
{
    m_skipped = true;
    if (skipped)
        skipped->Take(line);
    line.clear();
}

void LineReader::SkipRest(off_t from, SkippedText* skipped)
{
    // Read again from from, a buffer at a time, so that only one is held.
    m_skipped = true;
    m_offset = from;
    for (;;) {
        if (!Fill()) {
            m_lineEnd = m_offset;  // the last line needs no terminator
            return;
        }
        const auto* found = static_cast<const char*>(std::memchr(m_data, m_end1, m_end));
        const std::size_t stop = found ? static_cast<std::size_t>(found - m_data) : m_end;
        if (skipped)
            skipped->Take({m_data, stop});
        if (found) {
            m_lineEnd = m_offset - static_cast<off_t>(m_end - stop);
            m_pos = stop + 1;
            EndLine();
            return;
        }
    }
}

void LineReader::EndConvertedLine()
{
    if (m_end1 == '\n') {
        m_terminator = "\n";
        return;
    }
    const std::string& lf = m_decoder->Lf();
    if (m_pos == m_end)
        Fill();
    if (!lf.empty() && m_pos + lf.size() <= m_end && std::memcmp(m_data + m_pos, lf.data(), lf.size()) == 0) {
        m_pos += lf.size();
        m_terminator = "\r\n";
    } else {
        m_terminator = "\r";
    }
}

bool LineReader::NextLong(std::string& line, SkippedText* skipped)
{
    // The line runs past the buffer. Measure it first, so that it is held
    // once at its exact size and an endless one is read past before it is.
    // Skipped, its text is read again from its start only when someone follows it.
    const off_t start = m_offset - static_cast<off_t>(m_end - m_pos);
    std::size_t length = m_end - m_pos;
    bool ended = false;
    while (!ended) {
        if (length > m_maxLineLength) {
            SkipRest(skipped ? start : m_offset, skipped);
            return true;
        }
        if (!Fill())
            break;
        const auto* found = static_cast<const char*>(std::memchr(m_data, m_end1, m_end));
        ended = found != nullptr;
        length += ended ? static_cast<std::size_t>(found - m_data) : m_end;
    }
    if (length > m_maxLineLength) {
        SkipRest(skipped ? start : std::max(start, m_offset - static_cast<off_t>(m_end)), skipped);
        return true;
    }
    line.reserve(length);
    line.resize(length);
    // Fewer bytes when the file shrank under us.
    const std::size_t got = ReadFully(m_fd, line.data(), length, start, m_name);
    line.resize(got);
    m_lineEnd = start + static_cast<off_t>(got);
    m_offset = start + static_cast<off_t>(got);
    m_pos = m_end = 0;
    if (ended && Fill() && m_data[0] == m_end1) {
        ++m_pos;
        EndLine();
    }
    return true;
}

LineEnds DetectLineEnds(int fd, const std::string& name, off_t start, const TextDecoder* decoder)
{
    // The same CR the reading cuts at: the encoding's own, at a character's boundary.
    const std::string_view cr = decoder ? std::string_view(decoder->Cr()) : "\r";
    const std::size_t unit = decoder ? decoder->Unit() : 1;
    if (cr.empty())
        return LineEnds::Lf;
    std::unique_ptr<char[]> raw = TakeBuffer();
    for (off_t offset = start;;) {
        const std::size_t got = ReadFully(fd, raw.get(), kBufferSize, offset, name);
        offset += static_cast<off_t>(got);
        const bool found = FindAligned(raw.get(), 0, got, cr, unit) != std::string::npos;
        if (found || got < kBufferSize) {
            HandOn(std::move(raw));
            return found ? LineEnds::Cr : LineEnds::Lf;
        }
    }
}

}  // namespace qb
