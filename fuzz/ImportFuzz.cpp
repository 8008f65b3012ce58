// Input: flags, shape, a four-byte table counter, a line limit, a filler
// shift, a mode, then the separator, the table name pattern and the file body.
// flags: bits 0-3 separator length, 4 a filler line before the body, 5 a
// working copy round on disk (see OnDiskThisTime), 6 a small line limit,
// 7 skip the first line.
// shape: bits 0-4 pattern length, 5-7 what the working copy round tries.
// mode: bits 0-2 an encoding to convert the body from, 3-5 the piece size,
// 6 the body read again as quoted records, 7 the conversion done at all.
// Each costs, so each has its bit: the fuzzer spends time where it finds more.
#include "base/UniqueFd.h"
#include "import/FieldSplitter.h"
#include "import/ImportHost.h"
#include "import/LineReader.h"
#include "import/Records.h"
#include "import/TextDecoder.h"
#include "import/StatementBuilder.h"
#include "base/StepFailure.h"
#include "import/WorkingCopy.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Answers each column's name question with that header field, so that the
// questions stop at the first empty one.
class QuietHost : public qb::ImportHost {
public:
    explicit QuietHost(const std::vector<std::string_view>& answers) : m_answers(answers) {}
    void ShowMessage(const std::string&) override {}
    void ShowErrorReport(const std::string&, int, const std::string&) override {}
    std::string AskText(const std::string&) override
    {
        return m_asked < m_answers.size() ? std::string(m_answers[m_asked++]) : std::string();
    }
    void Yield() override {}
    void SetBusy(bool) override {}

private:
    const std::vector<std::string_view>& m_answers;
    std::size_t m_asked = 0;
};

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Files on disk cost far more than the rest, so a flagged input gets its
// round on disk one time in 128, picked by a hash of the input so that a
// crash repeats.
bool OnDiskThisTime(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash >> 25 == 0;
}

struct Input {
    const std::uint8_t* data;
    std::size_t size;

    std::uint8_t Byte()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
    std::string_view Take(std::size_t n)
    {
        n = std::min(n, size);
        const std::string_view taken(reinterpret_cast<const char*>(data), n);
        data += n;
        size -= n;
        return taken;
    }
};

// The line rules, written plainly over a whole buffer, to compare with.
void ModelLines(std::string_view bytes, std::vector<std::string_view>& lines)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r')
            continue;
        lines.push_back(bytes.substr(start, i - start));
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.push_back(bytes.substr(start));
}

// The file's own rules over its whole bytes: a UTF-8 byte order mark goes,
// and a file with no CR has LF line ends. False for a UTF-16 one, which
// this model does not decode.
bool ModelFileLines(std::string_view bytes, std::vector<std::string_view>& lines)
{
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return false;
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    if (bytes.find('\r') != std::string_view::npos) {
        ModelLines(bytes, lines);
        return true;
    }
    std::size_t start = 0;
    for (std::size_t at = bytes.find('\n'); at != std::string_view::npos; at = bytes.find('\n', start)) {
        lines.push_back(bytes.substr(start, at - start));
        start = at + 1;
    }
    if (start < bytes.size())
        lines.push_back(bytes.substr(start));
    return true;
}

// Quoting each field again and joining them gives a record that reads back
// to the same fields.
void CheckQuotedRoundTrip(std::string_view record, std::string_view separator)
{
    static std::vector<std::string_view> fields, again;
    static std::string arena, arenaAgain, joined, moved;
    qb::SplitQuotedInto(record, separator, fields, arena);
    // Cut in place, as the sender does: the same fields.
    moved.assign(record);
    qb::SplitQuotedInPlace(moved, separator, again);
    Check(again.size() == fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i)
        Check(again[i] == fields[i] && qb::IsQuotedEmpty(again[i]) == qb::IsQuotedEmpty(fields[i]));
    if (separator.find('"') != std::string_view::npos || fields.empty())
        return;  // a quote in the separator makes quoting itself ambiguous
    joined.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            joined += separator;
        if (fields[i].empty() && !qb::IsQuotedEmpty(fields[i]))
            continue;  // NULL stays an unquoted empty field
        joined += '"';
        std::size_t start = 0;
        for (auto quote = fields[i].find('"'); quote != std::string_view::npos; quote = fields[i].find('"', start)) {
            joined.append(fields[i].substr(start, quote + 1 - start));
            joined += '"';
            start = quote + 1;
        }
        joined.append(fields[i].substr(start));
        joined += '"';
    }
    qb::SplitQuotedInto(joined, separator, again, arenaAgain);
    Check(again.size() == fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        Check(again[i] == fields[i]);
        Check(qb::IsQuotedEmpty(again[i]) == (fields[i].empty() ? qb::IsQuotedEmpty(fields[i]) : false));
    }
}

// Valid UTF-8, but for the marks of what could not be converted.
bool Utf8OrMarks(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = text[i] == qb::kUndecodable ? 1 : qb::Utf8SequenceLength(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

// Converting in pieces comes to what converting at once does.
void CheckDecoder(const char* encoding, std::string_view bytes, std::size_t piece)
{
    static std::string whole, pieces;
    whole.clear();
    pieces.clear();
    qb::TextDecoder(encoding).Decode(bytes, true, whole);
    qb::TextDecoder decoder(encoding);
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        decoder.Decode(bytes.substr(at, piece), at + piece >= bytes.size(), pieces);
    if (bytes.empty())
        decoder.Decode({}, true, pieces);
    Check(whole == pieces);
    Check(Utf8OrMarks(whole));
}

std::string ModelTableName(std::string_view pattern, int counter)
{
    constexpr std::string_view token = "[counter]";
    std::string name;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern.substr(i, token.size()) == token) {
            name += std::to_string(counter);
            i += token.size();
        } else {
            name += pattern[i++];
        }
    }
    return name;
}

// Each field must run to the next separator that find sees, so that they
// join with the separator back into the line and the cut is the leftmost one.
void CheckFields(std::string_view line, std::string_view separator, const std::vector<std::string_view>& fields)
{
    if (line.empty() || separator.empty()) {
        Check(fields.size() == (line.empty() ? 0u : 1u));
        Check(line.empty() || fields[0] == line);
        return;
    }
    Check(!fields.empty());
    std::size_t start = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t next = line.find(separator, start);
        const std::size_t end = next == std::string_view::npos ? line.size() : next;
        Check((next == std::string_view::npos) == (i + 1 == fields.size()));
        Check(fields[i].data() == line.data() + start && fields[i].size() == end - start);
        start = end + separator.size();
    }
}

// INSERT INTO "<table>" VALUES(<NULL or '...'>{,<...>}); with the name and
// every value reading back as given.
bool WellQuotedInsert(std::string_view statement, std::string_view table, const std::vector<std::string_view>& fields)
{
    std::size_t i = 0;
    const auto take = [&](std::string_view expected) {
        if (statement.substr(i, expected.size()) != expected)
            return false;
        i += expected.size();
        return true;
    };
    // A doubled quote inside stands for one.
    const auto quoted = [&](char quote, std::string_view expected) {
        if (i >= statement.size() || statement[i] != quote)
            return false;
        std::size_t matched = 0;
        for (++i; i < statement.size(); ++i) {
            if (statement[i] == quote) {
                if (i + 1 == statement.size() || statement[i + 1] != quote) {
                    ++i;
                    return matched == expected.size();
                }
                ++i;
            }
            if (matched == expected.size() || statement[i] != expected[matched++])
                return false;
        }
        return false;
    };
    if (!take("INSERT INTO ") || !quoted('"', table) || !take(" VALUES("))
        return false;
    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (f > 0 && !take(","))
            return false;
        if (fields[f].empty() ? !take("NULL") : !quoted('\'', fields[f]))
            return false;
    }
    return take(");") && i == statement.size();
}

// CREATE TABLE "<table>"("<letters and digits>" TEXT{, ...}); its column
// count, or -1. prefix: the part up to the parenthesis. Nothing from the
// header may reach the SQL unquoted.
int CreateColumns(const std::string& statement, std::string_view prefix)
{
    if (statement.size() == prefix.size() && statement.starts_with(prefix.substr(0, prefix.size() - 2)) &&
        statement.ends_with(");"))
        return 0;  // no columns: cut back, for the database to refuse
    if (statement.compare(0, prefix.size(), prefix) != 0)
        return -1;
    int columns = 0;
    for (std::size_t i = prefix.size();; i += 2) {
        if (statement.compare(i, 1, "\"") != 0)
            return -1;
        for (++i; i < statement.size() && std::isalnum(static_cast<unsigned char>(statement[i]));)
            ++i;
        if (statement.compare(i, 6, "\" TEXT") != 0)
            return -1;
        i += 6;
        ++columns;
        if (statement.compare(i, std::string::npos, ");") == 0)
            return columns;
        if (statement.compare(i, 2, ", ") != 0)
            return -1;
    }
}

// A line of this length before the body puts the body's first bytes shift
// bytes short of the reader's 64 KiB buffer edge.
constexpr std::size_t kFillerLine = (std::size_t(1) << 16) - 2;
constexpr off_t kBodyAt = kFillerLine + 2;

int MemoryFile(const char* name)
{
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    Check(fd >= 0);
    return fd;
}

// Puts the parts one after another from offset and ends the file there,
// cutting only when it was longer: a longer one grew by the write.
void WriteAt(int fd, std::size_t& length, off_t offset, std::string_view first, std::string_view second = {})
{
    const std::size_t size = static_cast<std::size_t>(offset) + first.size() + second.size();
    iovec parts[] = {{const_cast<char*>(first.data()), first.size()}, {const_cast<char*>(second.data()), second.size()}};
    Check(::pwritev(fd, parts, 2, offset) == static_cast<ssize_t>(first.size() + second.size()));
    if (size < length)
        Check(::ftruncate(fd, static_cast<off_t>(size)) == 0);
    length = size;
}

// The file the readers read, in memory: the longest filler line, CR LF
// included, stays put at its start and each input's body is written after
// it. A reader starts at the body, or, padded, shift bytes into the filler.
// The filler is written again only for a separator that holds its byte: one
// found all along it would have the quoted pass cut 64 KiB of fields each
// time. Its byte is the first from 'f' on that the separator does not hold,
// so that an input meets the same filler whatever came before it.
struct Source {
    int fd = MemoryFile("quillbarrow-fuzz");
    std::size_t length = 0;
    std::string filler = std::string(kFillerLine, 'f') + "\r\n";

    Source() { WriteAt(fd, length, 0, filler); }

    void Write(std::string_view separator, std::string_view body)
    {
        char byte = 'f';
        while (separator.find(byte) != std::string_view::npos)
            ++byte;  // a separator holds 15 bytes at most
        if (byte != filler[0]) {
            std::fill(filler.begin(), filler.end() - 2, byte);
            WriteAt(fd, length, 0, filler);
        }
        WriteAt(fd, length, kBodyAt, body);
    }

    // The filler line of this length, CR LF included.
    std::string_view Filler(std::size_t lineLength) const
    {
        return std::string_view(filler).substr(kFillerLine - lineLength);
    }
};

Source& TheSource()
{
    static Source source;
    return source;
}

// The whole file that PrepareWorkingCopy opens by name, filler and body,
// written only for the rare rounds on disk.
int DiskSourceFd(std::string_view filler, std::string_view body)
{
    static const int fd = MemoryFile("quillbarrow-fuzz-disk");
    static std::size_t length = 0;
    WriteAt(fd, length, 0, filler, body);
    return fd;
}

// A private folder for the working copy rounds. A watcher process removes
// it once we are gone, since libFuzzer leaves by _Exit after a crash or an
// interrupt and no atexit handler would run.
struct Place {
    std::string folder, copy, directory, victim, link, nowhere, dangling;

    Place()
    {
        const char* tmpdir = std::getenv("TMPDIR");
        std::string pattern = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/qb-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror(pattern.c_str());
            std::abort();
        }
        folder = pattern;
        copy = folder + "/upload.txt";
        directory = folder + "/dir";
        victim = folder + "/victim";
        link = folder + "/link";
        nowhere = folder + "/nowhere";
        dangling = folder + "/dangling";
        RemoveWhenGone();
        Check(::mkdir(directory.c_str(), 0700) == 0);
        const qb::UniqueFd out(::open(victim.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        Check(out.Valid() && ::write(out.Get(), "kept", 4) == 4);
    }

    void RemoveWhenGone()
    {
        int ends[2];
        Check(::pipe2(ends, O_CLOEXEC) == 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
        const char* script = "trap '' INT HUP TERM; cat >/dev/null; rm -rf -- \"$0\"";
        char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(script),
                        folder.data(), nullptr};
        pid_t watcher = 0;
        Check(::posix_spawn(&watcher, "/bin/sh", &actions, nullptr, argv, environ) == 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[0]);
        // ends[1] stays open until we end; its closing is the watcher's cue.
    }
};

const Place& Folder()
{
    static const Place place;
    return place;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// A file that SafeFileWriter left beside its target: "<target>.XXXXXX".
bool StrayTemporaries()
{
    DIR* directory = ::opendir(Folder().folder.c_str());
    Check(directory != nullptr);
    bool stray = false;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        const auto dot = name.rfind('.');
        stray = stray || (dot != std::string_view::npos && dot > 0 && name.size() - dot == 7);
    }
    ::closedir(directory);
    return stray;
}

bool FailsWithStep(const std::string& source, const std::string& target, bool skipFirst, qb::ImportHost& host,
                   std::size_t limit, int* line = nullptr, std::string* message = nullptr)
{
    try {
        qb::PrepareWorkingCopy(source, target, skipFirst, host, qb::FileFormat{}, limit);
    } catch (const qb::StepFailure& failure) {
        if (line)
            *line = failure.Line();
        if (message)
            *message = failure.what();
        return true;
    }
    return false;
}

// PrepareWorkingCopy from the source in memory: the lines of the model, or
// step 136 at the first line past the limit, and nothing left behind then.
void PrepareAndCompare(const std::string& source, const std::vector<std::string_view>& lines, bool skipFirst,
                       std::size_t limit, qb::ImportHost& host)
{
    const Place& place = Folder();
    const auto tooLong = std::find_if(lines.begin(), lines.end(), [&](auto line) { return line.size() > limit; });
    if (tooLong != lines.end()) {
        int line = 0;
        std::string message;
        Check(FailsWithStep(source, place.copy, skipFirst, host, limit, &line, &message));
        Check(line == 136);
        Check(message.starts_with("Line " + std::to_string(tooLong - lines.begin() + 1) + " of "));
        Check(!Exists(place.copy));
        return;
    }
    const qb::PreparedCopy prepared = qb::PrepareWorkingCopy(source, place.copy, skipFirst, host, qb::FileFormat{}, limit);
    Check(prepared.header == (lines.empty() ? std::string_view() : lines.front()));

    // The descriptor handed back is the file at the path, holding each data
    // line ended by CR LF.
    struct stat byFd {}, byPath {};
    Check(::fstat(prepared.copy.Get(), &byFd) == 0 && ::stat(place.copy.c_str(), &byPath) == 0);
    Check(byFd.st_dev == byPath.st_dev && byFd.st_ino == byPath.st_ino);
    static std::string expected, written;
    expected.clear();
    for (std::size_t i = skipFirst ? 1 : 0; i < lines.size(); ++i) {
        expected += lines[i];
        expected += "\r\n";
    }
    written.resize(expected.size() + 1);
    Check(::pread(prepared.copy.Get(), written.data(), written.size(), 0) == static_cast<ssize_t>(expected.size()));
    written.pop_back();
    Check(written == expected);
}

void WorkingCopyRound(unsigned kind, int sourceFd, const std::vector<std::string_view>& lines, bool skipFirst,
                      std::size_t limit, qb::ImportHost& host)
{
    const Place& place = Folder();
    const std::string source = "/proc/self/fd/" + std::to_string(sourceFd);
    switch (kind) {
    case 1:  // a source that cannot be opened; no earlier copy may stay
        Check(FailsWithStep(place.folder + "/absent.txt", place.copy, skipFirst, host, limit));
        Check(!Exists(place.copy));
        break;
    case 2:  // the working copy's folder is missing
        Check(FailsWithStep(source, place.folder + "/absent/upload.txt", skipFirst, host, limit));
        Check(!Exists(place.folder + "/absent"));
        break;
    case 3: {  // a folder in the working copy's place stays
        Check(FailsWithStep(source, place.directory, skipFirst, host, limit));
        struct stat info {};
        Check(::lstat(place.directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
        break;
    }
    case 4: {  // a link to a file: nothing is written through it
        Check(::symlink(place.victim.c_str(), place.link.c_str()) == 0 || errno == EEXIST);
        Check(FailsWithStep(source, place.link, skipFirst, host, limit));
        struct stat info {};
        Check(::lstat(place.link.c_str(), &info) != 0 || S_ISLNK(info.st_mode));
        char kept[8] = {};
        const qb::UniqueFd in(::open(place.victim.c_str(), O_RDONLY | O_CLOEXEC));
        Check(in.Valid() && ::pread(in.Get(), kept, sizeof kept, 0) == 4 && std::string_view(kept) == "kept");
        break;
    }
    case 5:  // a dangling link: its target is not made
        Check(::symlink(place.nowhere.c_str(), place.dangling.c_str()) == 0 || errno == EEXIST);
        Check(FailsWithStep(source, place.dangling, skipFirst, host, limit));
        Check(!Exists(place.nowhere));
        break;
    case 6: {  // a run's lock: a second holder is turned away until it goes
        const std::string stale = place.copy + ".a1B2c3";  // as an interrupted run leaves
        Check(qb::UniqueFd(::open(stale.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600)).Valid());
        {
            const qb::WorkingCopyLock held(place.copy);
            Check(!Exists(stale));
            bool busy = false;
            try {
                const qb::WorkingCopyLock again(place.copy);
            } catch (const qb::WorkingCopyBusy&) {
                busy = true;
            }
            Check(busy);
            PrepareAndCompare(source, lines, skipFirst, limit, host);
        }
        const qb::WorkingCopyLock after(place.copy);
        break;
    }
    default:
        PrepareAndCompare(source, lines, skipFirst, limit, host);
        break;
    }
    Check(!StrayTemporaries());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    const unsigned flags = in.Byte();
    const unsigned shape = in.Byte();
    std::uint32_t counterBits = 0;
    for (int i = 0; i < 4; ++i)
        counterBits |= std::uint32_t(in.Byte()) << (8 * i);
    const unsigned limitByte = in.Byte();
    const unsigned shift = in.Byte();
    // mode: see the layout above.
    const unsigned mode = in.Byte();
    const std::string_view separator = in.Take(flags & 0x0F);
    const std::string_view pattern = in.Take(shape & 0x1F);
    const std::string_view body = in.Take(in.size);
    const bool padded = flags & 0x10;
    const bool skipFirst = flags & 0x80;
    // Padded, a limit near the filler's length reaches the reader's checks
    // between buffer fills.
    const std::size_t limit = !(flags & 0x40) ? qb::kMaxLineLength : padded ? limitByte * 512u : limitByte;

    const int counter = static_cast<int>(counterBits);
    const std::string table = qb::ExpandTableName(pattern, counter);
    Check(table == ModelTableName(pattern, counter));
    // The token holds no digit or minus sign, so the number cannot help
    // form one, and what is left between the numbers holds none.
    Check(table.find("[counter]") == std::string::npos);

    Source& source = TheSource();
    source.Write(separator, body);
    const std::string_view filler = padded ? source.Filler(kFillerLine - shift) : std::string_view();
    const off_t start = padded ? static_cast<off_t>(shift) : kBodyAt;
    static std::vector<std::string_view> lines;
    lines.clear();
    if (padded)
        lines.push_back(filler.substr(0, filler.size() - 2));
    ModelLines(body, lines);

    static std::string line, statement, headerInsert;
    static std::vector<std::string_view> fields;
    QuietHost host(fields);
    // The header is the body's first line.
    const std::size_t first = padded ? 1 : 0;
    bool headerChecked = false;
    {
        // Gone before the next reader, which then takes over its buffer.
        qb::LineReader reader(source.fd, "the source", limit, qb::LineEnds::Cr, start);
        std::size_t index = 0;
        try {
            for (; reader.Next(line); ++index) {
                Check(index < lines.size() && lines[index].size() <= limit && line == lines[index]);
                if (padded && index == 0)
                    continue;  // the filler only moves the body across the buffer's edge
                qb::SplitFieldsInto(line, separator, fields);
                CheckFields(line, separator, fields);
                Check(qb::BuildInsertInto(statement, table, fields) == !fields.empty());
                Check(fields.empty() ? statement.empty() : WellQuotedInsert(statement, table, fields));
                if (index == first) {
                    headerInsert = statement;
                    headerChecked = true;
                }
            }
            Check(index == lines.size());
        } catch (const std::length_error&) {
            Check(index < lines.size() && lines[index].size() > limit);
        }
    }

    // The statements made from a header. The INSERT is the one checked above
    // for the same line, unless the reading stopped before it.
    const std::string_view header = lines.size() > first ? lines[first] : std::string_view();
    qb::SplitFieldsInto(header, separator, fields);
    const auto insert = qb::BuildInsert(table, fields);
    Check(insert.has_value() == !fields.empty() &&
          (!insert || (headerChecked ? *insert == headerInsert : WellQuotedInsert(*insert, table, fields))));
    static std::string createPrefix;
    createPrefix.assign("CREATE TABLE ").append(qb::QuoteIdentifier(table)).append("(");
    const auto named = std::count_if(fields.begin(), fields.end(), [](auto field) { return !field.empty(); });
    Check(CreateColumns(qb::BuildCreateFromHeader(table, header, separator, host), createPrefix) == named);
    const auto unnamed = std::find(fields.begin(), fields.end(), std::string_view());
    const qb::CreateStatement answered = qb::BuildCreateFromAnswers(table, header, separator, host);
    Check(CreateColumns(answered.text, createPrefix) == (unnamed - fields.begin()) + (unnamed != fields.end()));
    Check(answered.execute == (!fields.empty() && unnamed == fields.end()));

    // Quoted records over the same bytes: each one cuts and quotes back the same.
    if (mode & 0x40) {
        qb::LineReader quotedLines(source.fd, "the source", limit, qb::LineEnds::Cr, start);
        qb::RecordReader records(quotedLines, std::string(separator), true);
        static std::string record;
        try {
            // The filler, which holds no quote, is a record of its own.
            for (bool skip = padded; records.Next(record); skip = false) {
                if (!skip)
                    CheckQuotedRoundTrip(record, separator);
            }
        } catch (const std::length_error&) {
        }
    }

    static const char* const encodings[] = {"latin1", "cp1252", "utf-16le", "utf-16be", "UTF-8", "UTF-16", "cp437"};
    // glibc unloads a conversion module when its last user closes it, and
    // loading it again outweighs the conversions here: one of each stays open.
    static std::unique_ptr<qb::TextDecoder> held[std::size(encodings)];
    if (const unsigned chosen = mode & 0x07; chosen > 0 && (mode & 0x80)) {
        if (!held[chosen - 1])
            held[chosen - 1] = std::make_unique<qb::TextDecoder>(encodings[chosen - 1]);
        CheckDecoder(encodings[chosen - 1], body, ((mode >> 3) & 0x07) + 1);
    }

    if ((flags & 0x20) && OnDiskThisTime(data, size)) {
        // The working copy follows the file's own rules.
        static std::vector<std::string_view> fileLines;
        fileLines.clear();
        if (padded)
            fileLines = lines;
        if (padded || ModelFileLines(body, fileLines))
            WorkingCopyRound(shape >> 5, DiskSourceFd(filler, body), fileLines, skipFirst, limit, host);
    }
    return 0;
}
