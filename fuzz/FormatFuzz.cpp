#include "FormatFuzz.h"

#include "read/Records.h"

#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

struct Read {
    std::vector<qb::FileRecord> records;
    std::string header;
    bool hasHeader = false;
    std::string failure;  // NotImportable's text
};

Read ReadAll(int fd, const qb::FileFormat& format, bool header)
{
    Read read;
    try {
        qb::FileRecords records(fd, "f", format, header);
        read.header = records.Header();
        read.hasHeader = records.HasHeader();
        qb::FileRecord record;
        while (records.Next(record))
            read.records.push_back(record);
    } catch (const qb::NotImportable& error) {
        read.failure = error.what();
    }
    return read;
}

// The file's bytes in a file of their own, read by offset as any source is.
class MemoryFile {
public:
    explicit MemoryFile(std::string_view bytes) : m_fd(::memfd_create("format", MFD_CLOEXEC))
    {
        Check(m_fd >= 0 && ::pwrite(m_fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
    }
    ~MemoryFile() { ::close(m_fd); }
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

std::string Swapped(std::string_view text, char quote)
{
    std::string swapped(text);
    for (char& c : swapped)
        c = c == '"' ? quote : c == quote ? '"' : c;
    return swapped;
}

bool SameRecord(const qb::FileRecord& a, const qb::FileRecord& b)
{
    return a.text == b.text && a.line == b.line && a.note == b.note && a.offset == b.offset && a.end == b.end;
}

void CheckQuote(std::string_view file, const qb::FileFormat& format, char quote, const Read& usual)
{
    const MemoryFile swappedFile(Swapped(file, quote));
    qb::FileFormat other = format;
    other.quote = quote;
    const Read read = ReadAll(swappedFile.Fd(), other, false);
    Check(read.failure == usual.failure && read.records.size() == usual.records.size());
    const std::string doubled = "a double quote", named = std::string("a quote ") + quote;
    static std::vector<std::string_view> fields, otherFields;
    static std::string arena, otherArena;
    for (std::size_t i = 0; i < read.records.size(); ++i) {
        qb::FileRecord expected = usual.records[i];
        expected.text = Swapped(expected.text, quote);
        if (const auto at = expected.note.find(doubled); at != std::string::npos)
            expected.note.replace(at, doubled.size(), named);
        Check(SameRecord(read.records[i], expected) && read.records[i].index == static_cast<long>(i));
        if (!format.quoted)
            continue;
        // Cut by the other quote, the same fields, their quotes swapped back.
        qb::SplitQuotedInto(usual.records[i].text, format.separator, fields, arena);
        qb::SplitQuotedInto(read.records[i].text, format.separator, otherFields, otherArena, quote);
        Check(fields.size() == otherFields.size());
        for (std::size_t f = 0; f < fields.size(); ++f)
            Check(Swapped(fields[f], quote) == otherFields[f] &&
                  qb::IsQuotedEmpty(fields[f]) == qb::IsQuotedEmpty(otherFields[f]));
    }
}

void CheckSkipped(int fd, const qb::FileFormat& format, long skip, const Read& usual)
{
    qb::FileFormat skipping = format;
    skipping.skipLines = skip;
    const Read read = ReadAll(fd, skipping, false);
    const bool nothing = read.failure.starts_with("There is nothing to import in f: it has ");
    Check(read.failure.empty() || nothing);
    Check(!read.hasHeader && (!nothing || read.records.empty()));
    for (std::size_t i = 0; i < read.records.size(); ++i)
        Check(read.records[i].index == static_cast<long>(i) && read.records[i].line > skip &&
              (i == 0 || read.records[i].line > read.records[i - 1].line));
    // Unquoted, each line is a record: those past the skipped lines, as they were.
    if (!format.quoted && usual.failure.empty()) {
        std::size_t first = 0;
        while (first < usual.records.size() && usual.records[first].line <= skip)
            ++first;
        Check(nothing == (first == usual.records.size()));
        Check(read.records.size() == usual.records.size() - first);
        for (std::size_t i = 0; i < read.records.size(); ++i)
            Check(SameRecord(read.records[i], usual.records[first + i]));
    }
    // A first line that is data: the header read, and the same records.
    skipping.headerIsData = true;
    const Read both = ReadAll(fd, skipping, true);
    Check(both.failure == read.failure && both.records.size() == read.records.size());
    Check(both.hasHeader == !read.records.empty());
    Check(!both.hasHeader || both.header == read.records[0].text);
    for (std::size_t i = 0; i < both.records.size(); ++i)
        Check(SameRecord(both.records[i], read.records[i]) && both.records[i].index == static_cast<long>(i));
}

}  // namespace

void FormatRound(std::string_view file, const qb::FileFormat& format, std::uint32_t choices)
{
    const MemoryFile source(file);
    const Read usual = ReadAll(source.Fd(), format, false);
    // Swapping bytes holds for bytes as they are (no UTF-16 mark decides otherwise), where the separator
    // holds neither quote.
    static constexpr char kQuotes[] = {'\'', '`', '|', '#', '~', '\t', ';'};
    const char quote = kQuotes[(choices >> 8) % sizeof kQuotes];
    if (format.encoding.empty() && !file.starts_with("\xFF\xFE") && !file.starts_with("\xFE\xFF") &&
        format.separator.find('"') == std::string::npos &&
        format.separator.find(quote) == std::string::npos)
        CheckQuote(file, format, quote, usual);
    CheckSkipped(source.Fd(), format, 1 + static_cast<long>((choices >> 16) % 3), usual);
}
