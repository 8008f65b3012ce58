// Input: flags, shape, a four-byte table counter, a limit, a filler shift,
// a mode, a preview, then the separator, the table name pattern and the
// file body.
// flags: bits 0-3 separator length, 4 a filler line before the body (see
// ConvertedFillerThisTime), 5 a working copy round on disk (see
// OnDiskThisTime), 6 a small limit, 7 the first record a header.
// shape: bits 0-4 pattern length, 5-7 what the working copy round tries.
// mode: bits 0-2 an encoding to read the file in (Auto among them), 3-5 the piece size of the
// decoder check, 6 quoted records, 7 the encoding used at all.
// preview: bits 0-6 how many records the preview's reading takes, less one,
// 7 the filler line ended by LF alone.
// Each costs, so each has its bit: the fuzzer spends time where it finds more.
#include "FormatFuzz.h"
#include "SendFuzz.h"

#include "base/AsciiCase.h"
#include "files/PackedFiles.h"
#include "base/UniqueFd.h"
#include "schema/DateForms.h"
#include "schema/TypeNames.h"
#include "schema/ValueFits.h"
#include "schema/ValueGuess.h"
#include "schema/ValueStage.h"
#include "read/EncodingGuess.h"
#include "read/FieldSplitter.h"
#include "read/FileRecords.h"
#include "run/ImportHost.h"
#include "read/LineReader.h"
#include "read/Records.h"
#include "read/TextDecoder.h"
#include "odbc/SqlText.h"
#include "schema/ColumnMatch.h"
#include "schema/Naming.h"
#include "schema/CreateStatement.h"
#include "run/AskedNames.h"
#include "load/StatementBuilder.h"
#include "base/StepFailure.h"
#include "run/Profiles.h"
#include "run/RunFolder.h"
#include "run/WorkingCopy.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
#include <map>
#include <set>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <fstream>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
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
    std::string AskText(const std::string&, const std::string& proposed) override
    {
        // The header's field is offered, cut short when long.
        if (proposed.size() > 256 || (m_asked < m_answers.size() && !m_answers[m_asked].starts_with(proposed)))
            std::abort();
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

// Files on disk, and the filler read through a conversion, cost far more
// than the rest, so a flagged input gets its turn one time in 128 for the
// one and in 64 for the other, picked by a hash of the input so that a
// crash repeats.
std::uint32_t InputHash(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash;
}
bool OnDiskThisTime(std::uint32_t hash)
{
    return hash >> 25 == 0;
}
bool ConvertedFillerThisTime(std::uint32_t hash)
{
    return (hash & 63) == 0;
}

bool PackedThisTime(std::uint32_t hash)
{
    return ((hash >> 8) & 15) == 0;
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

// The same with LF line ends, for a text that holds no CR at all.
void SplitLines(std::string_view text, char end, std::vector<std::string_view>& lines)
{
    if (end == '\r') {
        ModelLines(text, lines);
        return;
    }
    std::size_t start = 0;
    for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', start)) {
        lines.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
}

// Quoting each field again and joining them gives a record that reads back
// to the same fields, which are returned.
const std::vector<std::string_view>& CheckQuotedRoundTrip(std::string_view record, std::string_view separator)
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
        return fields;  // a quote in the separator makes quoting itself ambiguous
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
    return fields;
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

// Converting in pieces comes to what converting at once does, which is returned.
const std::string& CheckDecoder(const std::string& encoding, std::string_view bytes, std::size_t piece)
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
    return whole;
}

// The file's part is named by a path whose name cleans to nothing, so it is "File<counter>".
std::string ModelTableName(std::string_view pattern, int counter)
{
    constexpr std::string_view token = "[counter]";
    constexpr std::string_view file = "[file]";
    std::string name;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern.substr(i, token.size()) == token) {
            name += std::to_string(counter);
            i += token.size();
        } else if (pattern.substr(i, file.size()) == file) {
            name += "File" + std::to_string(counter);
            i += file.size();
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
// every value reading back as given; "" is the empty text, not NULL.
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
        if (fields[f].empty() && !qb::IsQuotedEmpty(fields[f]) ? !take("NULL") : !quoted('\'', fields[f]))
            return false;
    }
    return take(");") && i == statement.size();
}

// CREATE TABLE "<table>"("<letters and digits>" TEXT{, ...}); its column
// count, or -1. prefix: the part up to the parenthesis. Nothing from the
// header may reach the SQL unquoted.
int CreateColumns(const std::string& statement, std::string_view prefix)
{
    if (statement.size() == prefix.size() + 2 && statement.starts_with(prefix) && statement.ends_with(");"))
        return 0;  // no columns, for the database to refuse
    if (statement.compare(0, prefix.size(), prefix) != 0)
        return -1;
    int columns = 0;
    for (std::size_t i = prefix.size();; i += 2) {
        if (statement.compare(i, 1, "\"") != 0)
            return -1;
        // Cleaned names, and "_<n>" after a repeated one.
        for (++i; i < statement.size() && (std::isalnum(static_cast<unsigned char>(statement[i])) || statement[i] == '_');)
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

// Whatever AppendIso takes comes out as a real ISO date or timestamp, as the
// guess's own ISO rules read it, that reads back to the same day and time.
void CheckIso(std::string_view value, const qb::DateForm& form)
{
    static std::string iso, slashed, back;
    iso.clear();
    if (!qb::AppendIso(value, form, iso) || form.Iso()) {
        Check(form.Iso() || iso.empty());
        return;
    }
    qb::ColumnGuess guess;
    guess.Observe(iso);
    const auto read = guess.DateFormOf();
    Check(read && read->Iso() && read->time == form.time);
    slashed.assign(iso);
    slashed[4] = slashed[7] = '/';
    qb::DateForm yearFirst;
    yearFirst.separator = '/';
    yearFirst.time = form.time;
    back.clear();
    Check(qb::AppendIso(slashed, yearFirst, back) && back == iso);
}

// Each field as a date: in the form it alone would teach, and in one of the forms a person may name.
void CheckDate(std::string_view field)
{
    static const auto named = [] {
        std::vector<qb::DateForm> forms;
        for (const char* name : {"DD.MM.YYYY", "MM/DD/YYYY HH:MM", "DD/MM/YYYY HH:MM:SS AM/PM", "YYYY/MM/DD HH:MM",
                                 "MON D YYYY", "DD MON YYYY HH:MM AM/PM", "DD-MON-YYYY", "MM-DD-YYYY"})
            forms.push_back(*qb::ParseDateFormat(name));
        return forms;
    }();
    qb::DateLearning learning(qb::DateForm::Order::MonthDayYear);
    learning.Observe(field);
    if (const auto form = learning.Form()) {
        CheckIso(field, *form);
        Check(qb::ParseDateFormat(qb::DateFormName(*form)) == form);
    }
    CheckIso(field, named[field.size() % named.size()]);
}

// The types guessed for a file's columns: each non-empty value seen fits
// its column's on every database, as ValueFits reads it apart from the guess,
// once the options' stage has trimmed it, made it NULL or written it for its
// type (a date not in ISO form in ISO form).
class GuessCheck {
public:
    // choice picks the options: markers, trimming, and which decimal marks count.
    void Start(std::uint32_t choice)
    {
        m_options = {};
        if (choice & 1)
            m_options.nullMarkers = {"NA", "-", "1"};
        m_options.trim = (choice & 2) != 0;
        m_options.decimalComma = (choice & 4) != 0;
        m_reading = qb::ValueStage(m_options);
        m_guesser = qb::TypeGuesser(qb::MarkFor(m_options, (choice & 8) ? ";" : ","));
        m_count = 0;
    }
    void Observe(const std::vector<std::string_view>& cells)
    {
        const auto& fields = m_reading.Apply(cells, {});
        m_guesser.Observe(fields);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].empty())
                continue;
            CheckDate(fields[i]);
            if (m_count == m_values.size())
                m_values.emplace_back();
            m_values[m_count].column = i;
            m_values[m_count++].text.assign(fields[i]);
        }
    }
    void Verify() const
    {
        const auto& columns = m_guesser.Columns();
        using enum qb::DatabaseKind;
        for (const qb::DatabaseKind database : {Sqlite, Postgres, Mariadb, Other}) {
            const std::vector<std::string> types = qb::TypesFor(m_guesser, database, columns.size() + 1);
            Check(types.back() == "TEXT");
            for (std::size_t i = 0; i < columns.size(); ++i)
                Check(types[i] == qb::TypeFor(columns[i], database));
            const auto rewrites = qb::RewritesFor(types, &m_guesser, m_options);
            for (std::size_t k = 0; k < m_count; ++k) {
                qb::ValueStage typed({}, {rewrites[m_values[k].column]});
                const std::vector<std::string_view> value{m_values[k].text};
                Check(qb::ValueFits(typed.Apply(value, {}).front(), types[m_values[k].column], database));
            }
        }
    }

private:
    struct Value {
        std::size_t column = 0;
        std::string text;
    };
    qb::ValueOptions m_options;
    qb::ValueStage m_reading;
    qb::TypeGuesser m_guesser;
    std::vector<Value> m_values;  // reused: the first m_count are this input's
    mutable std::string m_iso;
    std::size_t m_count = 0;
};

// A filler line of this length, CR LF included, puts the body's first
// bytes at the reader's 64 KiB buffer edge; shift bytes less, short of it.
constexpr std::size_t kFillerLine = (std::size_t(1) << 16) - 2;

int MemoryFile(const char* name)
{
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    Check(fd >= 0);
    return fd;
}

// Puts bytes at offset and ends the file there, cutting only when it was
// longer: a longer one grew by the write.
void WriteAt(int fd, std::size_t& length, std::size_t offset, std::string_view bytes)
{
    const std::size_t size = offset + bytes.size();
    Check(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes.size()));
    if (size < length)
        Check(::ftruncate(fd, static_cast<off_t>(size)) == 0);
    length = size;
}

// A file's bytes as written.
struct Layout {
    std::string_view file;
    std::size_t filler = 0;  // the filler line's length, without its line end

    bool Holds(std::size_t offset, std::string_view text) const
    {
        return offset <= file.size() && file.substr(offset).starts_with(text);
    }
};

// The files the readers read, in memory, each from its start: the body
// alone, or a filler line, its line end and the body. The filler stays in
// its file from one input to the next: only what the last input wrote over
// it is put back. It is written again whole only for a separator that holds
// its byte: one found all along it would have each quoted read cut 64 KiB of
// fields. Its byte is the first from 'f' on that the separator does not hold,
// so that an input meets the same filler whatever came before it. Ended by
// LF alone, the filler puts the file's first CR, if any, past the reader's
// first buffer. Both files are read by name too, through /proc, so they are
// named the same way here.
struct Source {
    int plain = MemoryFile("quillbarrow-fuzz");
    int padded = MemoryFile("quillbarrow-fuzz-padded");
    std::string plainName = "/proc/self/fd/" + std::to_string(plain);
    std::string paddedName = "/proc/self/fd/" + std::to_string(padded);
    std::size_t plainLength = 0, paddedLength = 0;
    std::string image;       // the padded file's bytes
    std::size_t intact = 0;  // its filler bytes, from its start

    // The file that now holds body, filler line first when lineLength > 0.
    int Write(std::string_view separator, std::string_view body, std::size_t lineLength, bool lf, Layout& layout)
    {
        if (lineLength == 0) {
            WriteAt(plain, plainLength, 0, body);
            layout = {body, 0};
            return plain;
        }
        char byte = 'f';
        while (separator.find(byte) != std::string_view::npos)
            ++byte;  // a separator holds 15 bytes at most
        if (image.empty() || image[0] != byte)
            intact = 0;
        const std::size_t from = std::min(intact, lineLength);
        image.resize(from);
        image.append(lineLength - from, byte).append(lf ? "\n" : "\r\n").append(body);
        WriteAt(padded, paddedLength, from, std::string_view(image).substr(from));
        intact = lineLength;
        layout = {image, lineLength};
        return padded;
    }

    const std::string& Name(int fd) const { return fd == plain ? plainName : paddedName; }
};

Source& TheSource()
{
    static Source source;
    return source;
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

// Everything read back from a descriptor, from its start.
std::string ReadBack(int fd)
{
    std::string bytes;
    char buffer[1 << 14];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
        Check(got >= 0);
        if (got == 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
}

// bytes through one compressor or archive writer, an archive holding them once under each of names.
std::string Packed(std::string_view bytes, int format, int filter, std::initializer_list<const char*> names = {"m.csv"})
{
    archive* writer = archive_write_new();
    Check(archive_write_set_format(writer, format) == ARCHIVE_OK && archive_write_add_filter(writer, filter) == ARCHIVE_OK);
    std::string out(bytes.size() * 4 + (1 << 16), '\0');
    std::size_t used = 0;
    archive_write_set_bytes_in_last_block(writer, 1);
    Check(archive_write_open_memory(writer, out.data(), out.size(), &used) == ARCHIVE_OK);
    for (const char* name : names) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, name);
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0600);
        archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
        Check(archive_write_header(writer, entry) == ARCHIVE_OK);
        Check(archive_write_data(writer, bytes.data(), bytes.size()) == static_cast<la_ssize_t>(bytes.size()));
        archive_entry_free(entry);
    }
    Check(archive_write_close(writer) == ARCHIVE_OK);
    archive_write_free(writer);
    out.resize(used);
    return out;
}

// An archive's first bytes, and a compressed stream's: what a member's own bytes are known by.
bool LooksArchived(std::string_view bytes)
{
    return bytes.starts_with("PK\3\4") || bytes.starts_with("PK\5\6") ||
           (bytes.size() >= 262 && bytes.substr(257, 5) == "ustar");
}
bool LooksCompressed(std::string_view bytes)
{
    using namespace std::string_view_literals;
    return bytes.starts_with("\x1F\x8B\x08"sv) || bytes.starts_with("\xFD" "7zXZ\0"sv) ||
           bytes.starts_with("\x28\xB5\x2F\xFD"sv) ||
           (bytes.starts_with("BZh") && bytes.size() > 3 && bytes[3] >= '1' && bytes[3] <= '9');
}

// The number of the first line longer than limit (CR LF, CR or LF ends one); 0 when none is.
long LongLine(std::string_view bytes, std::size_t limit)
{
    long line = 1;
    std::size_t run = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool end = bytes[i] == '\r' || bytes[i] == '\n';
        line += bytes[i] == '\r' || (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'));
        run = end ? 0 : run + 1;
        if (run > limit)
            return line;
    }
    return 0;
}

// Reads entry as the body's text: the body itself, or refused for a line over limit (that line
// named), or, where allowed, refused otherwise.
void ReadsAsBody(const std::string& entry, std::string_view body, std::size_t limit, bool mayRefuse)
{
    const std::string& folder = Folder().folder;
    try {
        const qb::UniqueFd read = qb::OpenForImport(entry, folder, limit);
        Check(ReadBack(read.Get()) == body);
        Check(LongLine(body, limit) == 0);
    } catch (const qb::PackedLineTooLong& error) {
        Check(error.Line() == LongLine(body, limit));
    } catch (const qb::PackedFileError&) {
        Check(mayRefuse);
    }
}

// The input's bytes as a file to import: read as plain, compressed or an archive, or refused with a
// PackedFileError, never anything else; and the body, compressed or archived, reads back as itself.
// An archive holds it three times, under two names, read out of order; or compressed, as a member.
void PackedRound(std::string_view input, std::string_view body, std::size_t limit)
{
    const std::string& folder = Folder().folder;
    const int fd = MemoryFile("packed");
    Check(::write(fd, input.data(), input.size()) == static_cast<ssize_t>(input.size()));
    try {
        const qb::UniqueFd read = qb::OpenForImport(qb::UniqueFd(fd), "packed", folder, limit);
        ReadBack(read.Get());
    } catch (const qb::PackedFileError&) {
    }
    struct Kind {
        int format, filter;
        bool compressedMember;
    };
    static const Kind kinds[] = {{ARCHIVE_FORMAT_RAW, ARCHIVE_FILTER_GZIP, false},
                                 {ARCHIVE_FORMAT_RAW, ARCHIVE_FILTER_ZSTD, false},
                                 {ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE, false},
                                 {ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_XZ, false},
                                 {ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE, true}};
    const Kind& kind = kinds[input.size() % std::size(kinds)];
    const std::string path = folder + "/packed";
    {
        const std::string member = kind.compressedMember ? Packed(body, ARCHIVE_FORMAT_RAW, ARCHIVE_FILTER_GZIP) : std::string(body);
        const std::string packed = kind.format == ARCHIVE_FORMAT_RAW ? Packed(body, kind.format, kind.filter)
                                                                     : Packed(member, kind.format, kind.filter, {"m.csv", "n.csv", "m.csv"});
        const qb::UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        Check(out.Valid() && ::write(out.Get(), packed.data(), packed.size()) == static_cast<ssize_t>(packed.size()));
    }
    const std::vector<std::string> entries = qb::ListEntries(path);
    if (kind.format == ARCHIVE_FORMAT_RAW) {
        // One layer undone; a stream holding nothing is refused, as the library cannot tell it from a cut one.
        // It is an archive, its files listed and itself refused, only when it reads as one.
        const bool listed = entries != std::vector<std::string>{path};
        for (const std::string& entry : entries)
            Check(!listed || entry.starts_with(path + "!"));
        Check(!listed || LooksArchived(body));
        if (listed) {
            bool refused = false;
            try {
                qb::OpenForImport(path, folder, limit);
            } catch (const qb::PackedFileError&) {
                refused = true;
            }
            Check(refused);
        } else {
            ReadsAsBody(path, body, limit, body.empty());
        }
    } else {
        Check(entries == (std::vector<std::string>{path + "!/m.csv", path + "!/n.csv", path + "!2/m.csv"}));
        // A member is undone as a file on disk is: by its own first bytes.
        const bool mayRefuse = LooksArchived(body) || (kind.compressedMember && body.empty());
        for (const char* entry : {"!2/m.csv", "!/m.csv", "!/n.csv"}) {
            if (!kind.compressedMember && LooksCompressed(body)) {
                try {
                    ReadBack(qb::OpenForImport(path + entry, folder, limit).Get());
                } catch (const qb::PackedFileError&) {
                }
            } else {
                ReadsAsBody(path + entry, body, limit, mayRefuse);
            }
        }
    }
    ::unlink(path.c_str());
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

// A reading of a source to its end, or to the NotImportable it threw.
struct Reading {
    std::vector<qb::FileRecord> records;  // reused: the first count are this input's
    std::size_t count = 0;
    std::string header;
    bool hasHeader = false;
    bool started = false;  // the constructor did not throw
    std::string encoding;
    std::string failure;   // NotImportable's text

    const qb::FileRecord& operator[](std::size_t i) const { return records[i]; }
};

void ReadWhole(int fd, const std::string& name, const qb::FileFormat& format, bool header, Reading& reading)
{
    reading.count = 0;
    reading.started = false;
    reading.header.clear();
    reading.hasHeader = false;
    reading.encoding.clear();
    reading.failure.clear();
    try {
        qb::FileRecords records(fd, name, format, header);
        reading.started = true;
        reading.header = records.Header();
        reading.hasHeader = records.HasHeader();
        reading.encoding = records.Encoding();
        for (;; ++reading.count) {
            if (reading.count == reading.records.size())
                reading.records.emplace_back();
            if (!records.Next(reading.records[reading.count]))
                break;
        }
    } catch (const qb::NotImportable& error) {
        reading.failure = error.what();
    }
}

// A report about the record that begins on this line of the file.
bool NamesLine(std::string_view text, long line, const std::string& name)
{
    const std::string where = "ine " + std::to_string(line) + " of " + name + " ";
    return text.starts_with("L" + where) || text.starts_with("The record that begins on l" + where);
}

// The lines a record took: its own and one more for each line end inside it.
long Taken(std::string_view text, char end)
{
    return 1 + static_cast<long>(std::count(text.begin(), text.end(), end));
}

// The byte order mark that FileRecords drops, and the encoding it implies:
// UTF-8's wins over a chosen encoding, and leaves bytes as they are otherwise.
std::size_t MarkLength(std::string_view bytes, std::string& encoding)
{
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        if (!encoding.empty())
            encoding = "UTF-8";
        return 3;
    }
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        encoding = bytes[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
        return 2;
    }
    return 0;
}

// The line rules, written plainly: a reading fails only when its text is
// one line over the limit with no line end at all; unquoted, each line is
// one record, one over the limit refused with its text dropped (a header
// too, which is then the first data record). unended: the text holds no line end.
void CheckLines(const Reading& r, const std::vector<std::string_view>& lines, bool unended,
                const qb::FileFormat& format, bool header, const std::string& name)
{
    const std::size_t limit = format.maxRecordLength;
    const bool notText = unended && lines.size() == 1 && lines[0].size() > limit;
    Check(r.failure.empty() != notText);
    Check(r.failure.empty() || r.failure == "Line 1 of " + name + " is longer than " + qb::SizeText(limit) +
                                                ": this is not a text file that can be imported.");
    if (format.quoted || notText)
        return;
    const bool headerOver = !lines.empty() && lines[0].size() > limit;
    const std::size_t first = r.hasHeader && !headerOver ? 1 : 0;
    Check(r.hasHeader == (header && !lines.empty()) && r.count + first == lines.size());
    Check(!r.hasHeader || r.header == (headerOver ? std::string_view() : lines[0]));
    for (std::size_t i = 0; i < r.count; ++i) {
        const std::string_view line = lines[first + i];
        const bool over = line.size() > limit;
        Check(r[i].text == (over ? std::string_view() : line));
        Check(!over || r[i].note == "The record that begins on line " + std::to_string(first + i + 1) + " of " +
                                        name + " is longer than " + qb::SizeText(limit) + ". It was not sent.");
    }
}

// The quote rules, written plainly over a record's bytes line by line: whether
// a quoted field is open after each line. A record refused for its length was
// read past in pieces: its quotes must be open after every line but its last,
// and after that one only when they never close.
bool QuotesEndWhereTheRecordDoes(std::string_view text, std::string_view separator, char end, bool open)
{
    static std::vector<std::string_view> lines;
    lines.clear();
    SplitLines(text, end, lines);
    if (text.empty() || text.ends_with(end) || (end == '\r' && text.ends_with("\r\n")))
        lines.push_back({});  // an empty last line
    enum { FieldStart, Unquoted, Quoted } state = FieldStart;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        for (std::size_t i = 0; i < line.size();) {
            if (state == Quoted) {
                if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    i += 2;
                    continue;
                }
                if (line[i] == '"')
                    state = Unquoted;
                ++i;
            } else if (state == FieldStart && line[i] == '"') {
                state = Quoted;
                ++i;
            } else if (!separator.empty() && line.substr(i).starts_with(separator)) {
                state = FieldStart;
                i += separator.size();
            } else {
                state = Unquoted;
                ++i;
            }
        }
        if ((state == Quoted) != (n + 1 < lines.size() || open))
            return false;
    }
    return true;
}

// What any reading of a source must be: records in order, each on the line
// where the ones before it end and, unconverted, at the offset where they
// end, covering the whole file; none over the limit, but for a quoted one
// refused for it; notes only where a record cannot be sent.
// end: the byte that ends a line, or 0 when not known here.
// A converted record's bytes in the file, converted by themselves, give its text.
void CheckSourceBytes(const qb::FileRecord& record, const std::string& encoding, std::string_view file)
{
    static std::map<std::string, std::unique_ptr<qb::TextDecoder>> decoders;
    static std::string text;
    auto& decoder = decoders[encoding];
    if (!decoder)
        decoder = std::make_unique<qb::TextDecoder>(encoding);
    Check(record.offset <= record.end && static_cast<std::size_t>(record.end) <= file.size());
    text.clear();
    decoder->Decode(file.substr(static_cast<std::size_t>(record.offset),
                                static_cast<std::size_t>(record.end - record.offset)),
                    true, text);
    Check(text == record.text);
}

void CheckReading(const Reading& r, const qb::FileFormat& format, const Layout& layout, std::size_t start,
                  bool converted, char end, const std::string& name, const std::string& encoding)
{
    const bool failed = !r.failure.empty();
    const std::size_t limit = format.maxRecordLength;
    Check(failed || r.started);
    Check(r.header.size() <= limit);
    const bool pending = r.hasHeader && r.count > 0 && r[0].line == 1;
    // A header whose quote never closes is also the one data record; one over
    // the limit is also the first, refused with its text dropped.
    Check(!pending || (r[0].text == r.header && !r[0].note.empty() &&
                       (r.header.empty() || (format.quoted && r.count == 1))));
    std::size_t at = start;
    long line = 1;
    bool lost = false;  // past a refused record whose end is not known here
    const std::string_view file = layout.file;
    const auto past = [&](std::string_view text) {
        if (!converted) {
            Check(layout.Holds(at, text));
            at += text.size();
            if (at < file.size()) {
                Check(file[at] == end);
                ++at;
                if (end == '\r' && at < file.size() && file[at] == '\n')
                    ++at;
            }
        }
        if (end)
            line += Taken(text, end);
    };
    // A refused record's bytes run to the next record's, or to the end of
    // the file, and were over the limit; an empty header may be an empty line.
    const auto refused = [&](std::size_t next, bool header) {
        if (converted || (next == r.count && failed)) {
            ++line;  // it took one line at least
            lost = true;
            return;
        }
        const std::size_t until = next < r.count ? static_cast<std::size_t>(r[next].offset) : file.size();
        Check(until >= at && until <= file.size());
        std::string_view text = file.substr(at, until - at);
        if (end == '\r' && text.ends_with("\r\n"))
            text.remove_suffix(2);
        else if (text.ends_with(end))
            text.remove_suffix(1);
        Check(text.size() > limit || (header && text.empty()));
        Check(header || !format.quoted || !end ||
              QuotesEndWhereTheRecordDoes(text, format.separator, end,
                                          r[next - 1].note.find("never closed") != std::string::npos));
        past(text);
    };
    if (r.hasHeader && !pending) {
        if (r.header.empty())
            refused(0, true);
        else
            past(r.header);
    }
    for (std::size_t i = 0; i < r.count; ++i) {
        const qb::FileRecord& record = r[i];
        Check(record.index == static_cast<long>(i) && record.text.size() <= limit);
        Check(!end || (lost ? record.line >= line : record.line == line));
        if (!converted && !lost)
            Check(record.offset == static_cast<off_t>(at));
        line = record.line;
        at = static_cast<std::size_t>(record.offset);
        lost = false;
        // What cannot be converted is never sent; a quote left open runs to the end.
        const bool undecodable = converted && record.text.find(qb::kUndecodable) != std::string::npos;
        const bool last = i + 1 == r.count && !failed;
        // A quoted record over the limit is refused with its text dropped.
        const bool dropped = !record.note.empty() && record.text.empty();
        Check(record.note.empty() ? !undecodable : (undecodable || dropped || (format.quoted && last)));
        Check(record.note.empty() || NamesLine(record.note, record.line, name));
        // "UTF-16" keeps the byte order it learnt at the start: its lines do not convert alone.
        if (converted && !dropped && !undecodable && encoding != "UTF-16")
            CheckSourceBytes(record, encoding, file);
        if (dropped)
            refused(i + 1, false);
        else
            past(record.text);
    }
    if (!failed && !converted && !lost)
        Check(at == file.size());
}

// The preview's reading, stopped after its first records: those of the
// whole reading, and the same header, or the same failure before them.
void CheckPrefix(int fd, const std::string& name, const qb::FileFormat& format, bool header, std::size_t wanted,
                 const Reading& whole)
{
    static qb::FileRecord record;
    std::size_t n = 0;
    std::string failure;
    try {
        qb::FileRecords records(fd, name, format, header);
        Check(records.HasHeader() == whole.hasHeader && records.Header() == whole.header);
        for (; n < wanted && records.Next(record); ++n) {
            Check(n < whole.count);
            const qb::FileRecord& expected = whole[n];
            Check(record.text == expected.text && record.line == expected.line && record.note == expected.note &&
                  record.index == expected.index);
        }
    } catch (const qb::NotImportable& error) {
        failure = error.what();
    }
    Check(n == std::min(wanted, whole.count));
    Check(failure == (wanted > whole.count ? whole.failure : std::string()));
}

// The UTF-8 scan of the file, read in pieces by offset, comes to a walk of
// its bytes over the sequences that begin before the limit.
void CheckUtf8Scan(int fd, const std::string& name, std::string_view file, std::uint64_t limit)
{
    qb::Utf8Scan walked;
    for (std::size_t i = 0; i < file.size() && i < limit;) {
        const std::size_t length = qb::Utf8SequenceLength(file, i);
        walked.nonAscii |= static_cast<unsigned char>(file[i]) >= 0x80;
        if (length == 0) {
            walked.valid = false;
            walked.invalidAt = i;
            break;
        }
        i += length;
    }
    const qb::Utf8Scan scanned = qb::ScanUtf8(fd, name, limit);
    Check(scanned.valid == walked.valid && scanned.nonAscii == walked.nonAscii &&
          (walked.valid || scanned.invalidAt == walked.invalidAt));
    if (limit >= file.size()) {
        const qb::Utf8Scan held = qb::ScanUtf8(file);
        Check(held.valid == walked.valid && held.nonAscii == walked.nonAscii &&
              (walked.valid || held.invalidAt == walked.invalidAt));
    }
}

// What Auto reads a file in: as it is when it is UTF-8, else what the detector makes of a sample from
// a little before the first byte that is not. An answer it is sure of reads the whole sample; any
// answer is one the converter knows.
std::string AutoEncoding(std::string_view file, const Reading& whole)
{
    const qb::Utf8Scan scan = qb::ScanUtf8(file);
    if (scan.valid)
        return "";
    Check(scan.invalidAt < file.size() && qb::Utf8SequenceLength(file, scan.invalidAt) == 0);
    Check(qb::ScanUtf8(file.substr(0, scan.invalidAt)).valid);
    // Past the sample's lead the file's start is not in it: only the reader can say.
    if (scan.invalidAt > 4096)
        return whole.encoding;
    const qb::EncodingGuess guess = qb::GuessEncoding(file);
    Check(qb::TextDecoder::Known(guess.encoding) && !guess.name.empty());
    if (guess.doubt.empty()) {
        static std::string text;
        text.clear();
        qb::TextDecoder(guess.encoding).Decode(file, false, text);
        Check(text.find(qb::kUndecodable) == std::string::npos);
    }
    return guess.encoding;
}

// PrepareWorkingCopy by the source's path, or from fd when there is one.
qb::PreparedCopy Prepare(int fd, const std::string& source, const std::string& target, bool header,
                         qb::ImportHost& host, const qb::FileFormat& format)
{
    return fd >= 0 ? qb::PrepareWorkingCopy(fd, source, target, header, host, format)
                   : qb::PrepareWorkingCopy(source, target, header, host, format);
}

bool FailsWithStep(int fd, const std::string& source, const std::string& target, bool header, qb::ImportHost& host,
                   const qb::FileFormat& format, int* line = nullptr, std::string* message = nullptr)
{
    try {
        Prepare(fd, source, target, header, host, format);
    } catch (const qb::StepFailure& failure) {
        if (line)
            *line = failure.Line();
        if (message)
            *message = failure.what();
        return true;
    }
    return false;
}

// PrepareWorkingCopy from the source: step 136 where the reading failed,
// with no working copy left; else the working copy holds the reading's
// records, each ended by CR LF, and the sender's reading of it gives them
// back in order under the same limit.
void PrepareAndCompare(int fd, const std::string& source, bool header, const qb::FileFormat& format,
                       const Reading& whole, qb::ImportHost& host)
{
    const Place& place = Folder();
    if (!whole.failure.empty()) {
        // An earlier file's working copy, which must not pass for this one's.
        Check(qb::UniqueFd(::open(place.copy.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600)).Valid());
        int line = 0;
        std::string message;
        Check(FailsWithStep(fd, source, place.copy, header, host, format, &line, &message));
        Check(line == 136 && message == whole.failure);
        Check(!Exists(place.copy));
        return;
    }
    const qb::PreparedCopy prepared = Prepare(fd, source, place.copy, header, host, format);
    Check(prepared.header == whole.header);

    // The notes and line marks tell each record's place as the reading did.
    std::size_t note = 0, mark = 0;
    const auto& marks = prepared.lines;
    Check(marks.empty() == (whole.count == 0) && (marks.empty() || marks[0].record == 0));
    for (std::size_t i = 0; i < whole.count; ++i) {
        const qb::FileRecord& record = whole[i];
        if (!record.note.empty()) {
            Check(note < prepared.notes.size());
            const qb::RecordNote& noted = prepared.notes[note++];
            Check(noted.record == record.index && noted.line == record.line && noted.description == record.note);
        }
        while (mark + 1 < marks.size() && marks[mark + 1].record <= record.index)
            ++mark;
        Check(marks[mark].line + (record.index - marks[mark].record) == record.line);
    }
    Check(note == prepared.notes.size());

    // The descriptor handed back is the file at the path.
    struct stat byFd {}, byPath {};
    Check(::fstat(prepared.copy.Get(), &byFd) == 0 && ::stat(place.copy.c_str(), &byPath) == 0);
    Check(byFd.st_dev == byPath.st_dev && byFd.st_ino == byPath.st_ino);
    static std::string expected, written;
    expected.clear();
    for (std::size_t i = 0; i < whole.count; ++i) {
        expected += whole[i].text;
        expected += "\r\n";
    }
    written.resize(expected.size() + 1);
    Check(::pread(prepared.copy.Get(), written.data(), written.size(), 0) == static_cast<ssize_t>(expected.size()));
    written.pop_back();
    Check(written == expected);

    qb::FileRecords copy(qb::FileRecords::WorkingCopy{}, prepared.copy.Get(), place.copy, format);
    static qb::FileRecord record;
    std::size_t n = 0;
    off_t at = 0;
    for (; copy.Next(record); ++n) {
        Check(n < whole.count && record.text == whole[n].text && record.index == static_cast<long>(n));
        Check(record.note.empty() && record.offset == at);
        at += static_cast<off_t>(record.text.size() + 2);
    }
    Check(n == whole.count);
}

void WorkingCopyRound(unsigned kind, int fd, const std::string& source, bool header, const qb::FileFormat& format,
                      const Reading& whole, qb::ImportHost& host)
{
    const Place& place = Folder();
    switch (kind) {
    case 1:  // a source that cannot be opened; no earlier copy may stay
        Check(FailsWithStep(-1, place.folder + "/absent.txt", place.copy, header, host, format));
        Check(!Exists(place.copy));
        break;
    case 2:  // the working copy's folder is missing
        Check(FailsWithStep(-1, source, place.folder + "/absent/upload.txt", header, host, format));
        Check(!Exists(place.folder + "/absent"));
        break;
    case 3: {  // a folder in the working copy's place stays
        Check(FailsWithStep(fd, source, place.directory, header, host, format));
        struct stat info {};
        Check(::lstat(place.directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
        break;
    }
    case 4: {  // a link to a file: nothing is written through it
        Check(::symlink(place.victim.c_str(), place.link.c_str()) == 0 || errno == EEXIST);
        Check(FailsWithStep(-1, source, place.link, header, host, format));
        struct stat info {};
        Check(::lstat(place.link.c_str(), &info) != 0 || S_ISLNK(info.st_mode));
        char kept[8] = {};
        const qb::UniqueFd in(::open(place.victim.c_str(), O_RDONLY | O_CLOEXEC));
        Check(in.Valid() && ::pread(in.Get(), kept, sizeof kept, 0) == 4 && std::string_view(kept) == "kept");
        break;
    }
    case 5:  // a dangling link: its target is not made
        Check(::symlink(place.nowhere.c_str(), place.dangling.c_str()) == 0 || errno == EEXIST);
        Check(FailsWithStep(fd, source, place.dangling, header, host, format));
        Check(!Exists(place.nowhere));
        break;
    case 6: {  // runs side by side: each in a folder of its own, gone with its run
        std::string first, second;
        {
            const qb::RunFolder a(place.folder), b(place.folder);
            first = a.Path();
            second = b.Path();
            Check(first != second && Exists(first) && Exists(second));
            PrepareAndCompare(-1, source, header, format, whole, host);
        }
        Check(!Exists(first) && !Exists(second));
        break;
    }
    default:
        PrepareAndCompare(fd, source, header, format, whole, host);
        break;
    }
    Check(!StrayTemporaries());
}

}  // namespace

// A profile as anyone may write it: read, or refused with ProfileError; what is read is written and
// read back the same, unless a value holds a line break, which a profile cannot keep.
void ProfileRound(std::string_view body)
{
    const std::string path = Folder().folder + "/profile.conf", copy = Folder().folder + "/profiles/copy.conf";
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << body;
    }
    std::vector<qb::ProfileEntry> entries;
    try {
        entries = qb::ReadProfile(path);
    } catch (const qb::ProfileError& error) {
        Check(error.message.starts_with(path));
        return;
    }
    const bool breaks = std::any_of(entries.begin(), entries.end(), [](const qb::ProfileEntry& entry) {
        return entry.value.find_first_of("\r\n") != std::string::npos;
    });
    try {
        qb::WriteProfile(copy, entries);
        Check(!breaks);
    } catch (const qb::ProfileError&) {
        Check(breaks);
        return;
    }
    const std::vector<qb::ProfileEntry> again = qb::ReadProfile(copy);
    Check(again.size() == entries.size());
    for (std::size_t i = 0; i < again.size() && i < entries.size(); ++i)
        Check(again[i].option == entries[i].option && again[i].value == entries[i].value);
}

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
    const unsigned preview = in.Byte();
    const std::string_view separator = in.Take(flags & 0x0F);
    const std::string_view pattern = in.Take(shape & 0x1F);
    const std::string_view body = in.Take(in.size);
    const bool header = flags & 0x80;
    const std::uint32_t hash = InputHash(data, size);

    const int counter = static_cast<int>(counterBits);
    const std::string table = qb::ExpandTableName(pattern, counter, "/x/#.csv");
    Check(table == ModelTableName(pattern, counter));
    // The token holds no digit or minus sign, so the number cannot help
    // form one, and what is left between the numbers holds none.
    Check(table.find("[counter]") == std::string::npos);

    static const char* const encodings[] = {"latin1", "cp1252", "utf-16le", "utf-16be", "UTF-8", "UTF-16", qb::kAutoEncoding};
    // glibc unloads a conversion module when its last user closes it, and
    // loading it again outweighs the reading here: one of each stays open.
    static const auto held = [] {
        std::vector<std::unique_ptr<qb::TextDecoder>> all;
        for (const char* encoding : encodings)
            all.push_back(std::make_unique<qb::TextDecoder>(encoding == std::string_view(qb::kAutoEncoding) ? "WINDOWS-1252" : encoding));
        return all;
    }();
    (void)held;

    static qb::FileFormat format;
    format.separator.assign(separator);
    format.quoted = mode & 0x40;
    const unsigned chosen = mode & 0x07;
    format.encoding = chosen > 0 && (mode & 0x80) ? encodings[chosen - 1] : "";
    const bool autoEncoding = format.encoding == qb::kAutoEncoding;
    const bool padded = (flags & 0x10) && !autoEncoding && (format.encoding.empty() || ConvertedFillerThisTime(hash));
    // Padded, a limit near the filler's length reaches the reader's checks
    // between buffer fills.
    format.maxRecordLength = !(flags & 0x40) ? qb::kMaxLineLength : padded ? limitByte * 512u : limitByte;

    Source& source = TheSource();
    Layout layout;
    const int fd = source.Write(separator, body, padded ? kFillerLine - shift : 0, preview & 0x80, layout);
    const std::string& name = source.Name(fd);

    static Reading whole;
    ReadWhole(fd, name, format, header, whole);

    // What the reading must come to, from the bytes: where the text starts,
    // its encoding, its lines and the byte that ends them.
    std::string encoding = format.encoding;
    const std::size_t start = padded ? 0 : MarkLength(body, encoding);
    // Auto: UTF-8 throughout (or marked so) reads as it is, anything else as the detector makes it out.
    if (autoEncoding && (encoding == qb::kAutoEncoding || encoding == "UTF-8"))
        encoding = encoding == "UTF-8" ? "" : AutoEncoding(layout.file, whole);
    const bool converted = !encoding.empty();
    Check(!whole.started || whole.encoding == encoding);
    static std::vector<std::string_view> lines;
    lines.clear();
    char end = 0;
    bool unended = false;  // the text holds no line end at all
    if (padded && !converted) {
        const std::string_view file = layout.file;
        end = file.find('\r') != std::string_view::npos ? '\r' : '\n';
        // The filler holds no line end: the first line runs past it to the first one.
        std::size_t rest = file.find(end, layout.filler);
        lines.push_back(file.substr(0, rest));
        rest += end == '\r' && file.substr(rest).starts_with("\r\n") ? 2 : 1;
        SplitLines(file.substr(rest), end, lines);
    } else if (!padded) {
        std::string_view text = body.substr(start);
        if (converted)
            text = CheckDecoder(encoding, text, ((mode >> 3) & 0x07) + 1);
        end = text.find('\r') != std::string_view::npos ? '\r' : '\n';
        unended = text.find(end) == std::string_view::npos;
        SplitLines(text, end, lines);
    }
    if (end)
        CheckLines(whole, lines, unended, format, header, name);
    CheckReading(whole, format, layout, start, converted, end, name, encoding);

    CheckPrefix(fd, name, format, header, (preview & 0x7F) + 1u, whole);
    // A small limit cuts the file, across the scan's pieces when it is padded.
    CheckUtf8Scan(fd, name, layout.file, format.maxRecordLength);

    // Each data record cuts into fields and an INSERT of them; the filler
    // line only moves the body across the buffer's edge.
    static std::string statement;
    static std::vector<std::string_view> fields;
    const auto cut = [&](std::string_view record) -> const std::vector<std::string_view>& {
        if (format.quoted)
            return CheckQuotedRoundTrip(record, separator);
        qb::SplitFieldsInto(record, separator, fields);
        CheckFields(record, separator, fields);
        return fields;
    };
    static GuessCheck guesses;
    guesses.Start(hash >> 12);
    const std::size_t filler = padded && !whole.hasHeader ? 1 : 0;
    for (std::size_t i = filler; i < whole.count; ++i) {
        const auto& cells = cut(whole[i].text);
        Check(qb::BuildInsertInto(statement, qb::QuoteIdentifier(table), cells) == !cells.empty());
        Check(cells.empty() ? statement.empty() : WellQuotedInsert(statement, table, cells));
        guesses.Observe(cells);
    }
    guesses.Verify();

    // The statements made from a header: the body's first record.
    const std::string_view lead = whole.hasHeader && !padded ? std::string_view(whole.header)
                                  : whole.count > filler     ? std::string_view(whole[filler].text)
                                                             : std::string_view();
    const auto& names = cut(lead);
    QuietHost host(names);
    static std::string createPrefix;
    createPrefix.assign("CREATE TABLE ").append(qb::QuoteIdentifier(table)).append("(");
    // Every field gives a column, an empty one too.
    const auto named = static_cast<long>(names.size());
    Check(CreateColumns(qb::BuildCreateFromFields(table, names), createPrefix) == named);
    // Every column named, and no two alike however their letters are cased.
    static std::set<std::string> folded;
    folded.clear();
    for (const std::string& column : qb::ColumnNames(names, flags & 0x40))
        Check(!column.empty() && folded.insert(qb::LowerAscii(column)).second);
    Check(static_cast<long>(folded.size()) == named);
    // The header against a table of its own names in reverse: by name as soon as that moves one, each
    // field to the column of its name; against one short of its last name, refused unless it is left out.
    static std::vector<std::string> mapped;
    mapped = qb::ColumnNames(names, flags & 0x40);
    std::reverse(mapped.begin(), mapped.end());
    const auto database = (flags & 0x08) ? qb::DatabaseKind::Postgres : qb::DatabaseKind::Sqlite;
    const qb::ColumnMapping reordered = qb::MatchColumns(names, mapped, {qb::ColumnMatching::Automatic, false,
                                                                          bool(flags & 0x40), database});
    Check(reordered.byName == (names.size() > 1) && reordered.refusal.empty());
    for (std::size_t k = 0; k < reordered.fields.size(); ++k)
        Check(qb::SameColumn(reordered.columns[k], reordered.names.at(reordered.fields[k]), database));
    Check(!reordered.byName || reordered.fields.size() == names.size());
    if (!mapped.empty()) {
        mapped.erase(mapped.begin());
        for (const bool ignore : {false, true}) {
            const qb::ColumnMapping shorter =
                qb::MatchColumns(names, mapped, {qb::ColumnMatching::ByName, ignore, bool(flags & 0x40), database});
            Check(shorter.refusal.empty() == (ignore && !mapped.empty()));
            Check(shorter.columns.size() == mapped.size() && shorter.unfilled.empty());
        }
    }
    const auto unnamed = std::find(names.begin(), names.end(), std::string_view());
    const qb::CreateStatement answered = qb::BuildCreateFromAnswers(table, table, names, host);
    Check(CreateColumns(answered.text, createPrefix) == unnamed - names.begin());
    Check(answered.execute == (!names.empty() && unnamed == names.end()));

    if (padded && converted)
        CheckDecoder(encoding, body, ((mode >> 3) & 0x07) + 1);
    // Another quote character, lines skipped, a first line that is data: against the usual reading.
    if (!padded)
        FormatRound(layout.file, format, hash);

    if ((flags & 0x20) && OnDiskThisTime(hash))
        WorkingCopyRound(shape >> 5, fd, name, header, format, whole, host);
    if ((flags & 0x10) && PackedThisTime(hash))
        PackedRound(std::string_view(reinterpret_cast<const char*>(data), size), body,
                    (flags & 0x40) ? limitByte + 1u : SIZE_MAX);
    SendRound(body);
    if (((hash >> 16) & 15) == 0)
        ProfileRound(body);
    return 0;
}
