#include "read/FileRecords.h"

#include "base/SafeFile.h"
#include "read/EncodingGuess.h"
#include "read/TextDecoder.h"

#include <memory>
#include <utility>

namespace qb {

namespace {

// How much of a file tells whether it is UTF-8 read in a single-byte encoding.
constexpr std::uint64_t kWarningScanBytes = std::uint64_t(32) << 20;

}  // namespace

std::string SizeText(std::size_t bytes)
{
    return bytes >= (std::size_t(1) << 20) ? std::to_string(bytes >> 20) + " MB" : std::to_string(bytes) + " bytes";
}

// Byte order marks decide before anything else: UTF-8's is dropped, UTF-16's
// say how the file is to be read. The line ends follow from the whole text.
FileRecords::Start FileRecords::SourceStart(int fd, const std::string& name, const std::string& chosen)
{
    unsigned char head[3] = {};
    const std::size_t got = ReadFully(fd, reinterpret_cast<char*>(head), sizeof head, 0, name);
    Start start{0, chosen, {}, {}, {}, nullptr, LineEnds::Cr};
    if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
        start = {3, chosen.empty() ? std::string() : "UTF-8", {}, {}, {}, nullptr, LineEnds::Cr};
    else if (got >= 2 && head[0] == 0xFF && head[1] == 0xFE)
        start = {2, "UTF-16LE", {}, {}, {}, nullptr, LineEnds::Cr};
    else if (got >= 2 && head[0] == 0xFE && head[1] == 0xFF)
        start = {2, "UTF-16BE", {}, {}, {}, nullptr, LineEnds::Cr};
    // Auto: a file that is UTF-8 throughout is read as it is, any other in what the detector makes of
    // its bytes, from about where they stop being UTF-8.
    if (start.encoding == kAutoEncoding || (start.offset == 3 && chosen == kAutoEncoding)) {
        const Utf8Scan scan = start.offset == 3 ? Utf8Scan{} : ScanUtf8(fd, name);
        EncodingGuess guess{"", "UTF-8", {}};
        if (!scan.valid)
            guess = GuessEncoding(fd, name, scan.invalidAt);
        start.encoding = guess.encoding;
        start.readAs = guess.name;
        start.guess = guess.doubt;
    } else if (chosen == kAutoEncoding) {
        start.readAs = start.encoding.substr(0, 6) == "UTF-16" ? "UTF-16" : start.encoding;
    } else if (start.offset == 0 && LegacyEncoding(chosen)) {
        // Most files in such an encoding fail the scan within their first letters beyond ASCII; one that
        // passes it is looked at no further than a warning needs.
        if (const Utf8Scan scan = ScanUtf8(fd, name, kWarningScanBytes); scan.valid && scan.nonAscii)
            start.warning = name + " reads as UTF-8, but " + chosen +
                            " is chosen: its letters beyond ASCII would be stored as other letters.";
    }
    // One decoder serves the line-end search and then the reading.
    if (!start.encoding.empty())
        start.decoder = std::make_unique<TextDecoder>(start.encoding);
    start.ends = DetectLineEnds(fd, name, start.offset, start.decoder.get());
    return start;
}

FileRecords::FileRecords(int fd, std::string name, const FileFormat& format, bool header)
    : FileRecords(fd, name, format, SourceStart(fd, name, format.encoding), true)
{
    SkipLines(format.skipLines);
    // Past skipped lines, a file with nothing more is said to be so here, not taken for an empty one.
    if (!header && format.skipLines == 0)
        return;
    const bool any = Read(m_first);
    if (!any && format.skipLines > 0) {
        const long lines = m_next - 1;
        throw NotImportable("There is nothing to import in " + m_name + ": it has " + std::to_string(lines) +
                            (lines == 1 ? " line" : " lines") + ", and the first " +
                            std::to_string(format.skipLines) + " are skipped.");
    }
    if (!header) {
        m_pending = any;
        return;
    }
    m_hasHeader = any;
    if (!m_hasHeader)
        return;
    m_header = m_first.text;
    // A header whose quote never closes took the whole file, and one past the
    // limit was not kept: either is data too, refused with its note.
    m_pending = format.headerIsData || m_records.Unclosed() || m_records.TooLong();
    m_index = m_pending ? 1 : 0;
}

// Physical lines, whatever quotes they hold: a title above the header is no record.
void FileRecords::SkipLines(long lines)
{
    for (long n = 0; n < lines && m_lines.Next(m_first.text); ++n)
        ++m_next;
    m_first.text.clear();
}

FileRecords::FileRecords(WorkingCopy, int fd, std::string name, const FileFormat& format)
    : FileRecords(fd, std::move(name), format, Start{}, false)
{
}

FileRecords::FileRecords(int fd, std::string name, const FileFormat& format, Start start, bool notes)
    : m_name(std::move(name)), m_encoding(start.encoding), m_readAs(start.readAs), m_encodingDoubt(start.guess),
      m_encodingWarning(start.warning), m_maxLength(format.maxRecordLength), m_quote(format.quote), m_notes(notes),
      m_lines(fd, m_name, m_maxLength, start.ends, start.offset, std::move(start.decoder)),
      m_records(m_lines, format.separator, format.quoted, m_maxLength, format.quote)
{
}

bool FileRecords::Next(FileRecord& record)
{
    if (m_pending) {
        m_pending = false;
        record = std::move(m_first);
        return true;
    }
    return Read(record);
}

bool FileRecords::Read(FileRecord& record)
{
    const long line = m_next;
    if (!m_records.Next(record.text))
        return false;
    // Over the limit without a single line end, the whole file is one line: not text.
    if (line == 1 && m_records.Lines() == 1 && m_lines.Skipped() && m_lines.Terminator().empty())
        throw NotImportable("Line 1 of " + m_name + " is longer than " + SizeText(m_maxLength) +
                            ": this is not a text file that can be imported.");
    m_next += m_records.Lines();
    record.index = m_index++;
    record.line = line;
    record.offset = m_records.Start();
    record.end = m_records.End();
    record.note.clear();
    if (!m_notes)
        return true;
    if (m_records.Unclosed())
        record.note = "The record that begins on line " + std::to_string(line) + " of " + m_name +
                      (m_quote == '"' ? std::string(" has a double quote") : std::string(" has a quote ") + m_quote) +
                      " that is never closed. It was not sent.";
    else if (m_records.TooLong())
        record.note = "The record that begins on line " + std::to_string(line) + " of " + m_name +
                      " is longer than " + SizeText(m_maxLength) + ". It was not sent.";
    else if (!m_encoding.empty() && record.text.find(kUndecodable) != std::string::npos)
        record.note = "Line " + std::to_string(line) + " of " + m_name + " cannot be converted from " + m_encoding +
                      " to UTF-8. It was not sent.";
    return true;
}

}  // namespace qb
