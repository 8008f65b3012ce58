// Input (after ImportFuzz's own header, the file body): a byte for the
// batches (bits 0-1 columns less one, 2 quoted fields, 3-4 separator, 5 the
// manifest's runs too), a row bound, a byte bound, a byte of halving
// choices, then records, a line each. The same bytes, read again from the
// start, drive the manifest's runs: a line count, blank lines' bits, then
// per run a byte (bit 0 retry refused lines) and steps (see ManifestRound).
#include "SendFuzz.h"

#include "load/CopyText.h"
#include "load/NativeLoaders.h"
#include "load/ImportManifest.h"
#include "load/InsertBatch.h"
#include "read/Records.h"
#include "load/StatementBuilder.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

using Value = std::optional<std::string>;  // NULL as none
using View = std::optional<std::string_view>;

struct Bytes {
    std::string_view rest;

    std::uint8_t Byte()
    {
        if (rest.empty())
            return 0;
        const auto byte = static_cast<std::uint8_t>(rest.front());
        rest.remove_prefix(1);
        return byte;
    }
};

// One in-memory database for every input; the loader owns it.
struct Database {
    sqlite3* db = nullptr;
    std::unique_ptr<qb::BulkLoader> loader;
};

// One whole statement; false when SQLite refuses it.
bool Run(sqlite3* db, std::string_view sql)
{
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement, &tail) != SQLITE_OK)
        return false;
    Require(statement && tail == sql.data() + sql.size());
    const int stepped = sqlite3_step(statement);
    sqlite3_finalize(statement);
    return stepped == SQLITE_DONE;
}

// Every value of every row, row after row. The queries are few and asked
// again and again: each is prepared once.
void Read(sqlite3* db, const std::string& sql, std::vector<Value>& out)
{
    static std::map<std::string, sqlite3_stmt*> prepared;
    out.clear();
    sqlite3_stmt*& statement = prepared[sql];
    if (!statement)
        Require(sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) == SQLITE_OK);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            if (sqlite3_column_type(statement, i) == SQLITE_NULL) {
                out.emplace_back();
                continue;
            }
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, i));
            out.emplace_back(std::string(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, i))));
        }
    }
    sqlite3_reset(statement);
}

// Deletes, as prepared once too.
void Delete(sqlite3* db, const std::string& sql)
{
    static std::vector<Value> none;
    Read(db, "DELETE FROM " + sql, none);
}

const std::string kStatementTable = "s\"";  // a quote in the name: it must be quoted to reach the table
const std::string kBulkTable = "b\"";
constexpr int kMaxColumns = 4;

Database& TheDatabase()
{
    static Database made = [] {
        Database database;
        Require(sqlite3_open(":memory:", &database.db) == SQLITE_OK);
        database.loader = qb::SqliteLoaderOn(database.db);
        // The manifest's tables, as ImportManifest makes them.
        Require(Run(database.db, "CREATE TABLE \"quillbarrow_sys_refused_lines\"(\"digest\" VARCHAR(64) NOT NULL, "
                                 "\"target\" VARCHAR(255) NOT NULL, \"line\" BIGINT NOT NULL, "
                                 "PRIMARY KEY(\"digest\", \"target\", \"line\"))"));
        Require(Run(database.db, "CREATE TABLE \"quillbarrow_sys_imports\"(\"digest\" VARCHAR(64) NOT NULL, "
                                 "\"target\" VARCHAR(255) NOT NULL, \"name\" TEXT NOT NULL, \"size\" BIGINT NOT NULL, "
                                 "\"stored\" BIGINT NOT NULL, \"refused\" BIGINT NOT NULL, \"last_line\" BIGINT NOT NULL, "
                                 "\"started\" VARCHAR(32) NOT NULL, \"finished\" VARCHAR(32), "
                                 "PRIMARY KEY(\"digest\", \"target\"))"));
        // The lines a run stored: each at most once.
        Require(Run(database.db, "CREATE TABLE \"lines\"(\"line\" INTEGER PRIMARY KEY, \"ok\" TEXT NOT NULL)"));
        // Another file's row, which no statement of ours may touch.
        Require(Run(database.db, "INSERT INTO \"quillbarrow_sys_imports\" VALUES('d', 't''x ', 'n', 0, 1, 2, 9, 's', NULL)"));
        Require(Run(database.db, "INSERT INTO \"quillbarrow_sys_refused_lines\" VALUES('d', 't''x ', 3), ('d', 't''x ', 4)"));
        for (int columns = 1; columns <= kMaxColumns; ++columns) {
            std::string list = "(c1";
            for (int i = 2; i <= columns; ++i)
                list += ", c" + std::to_string(i);
            list += ')';
            for (const std::string& table : {kStatementTable, kBulkTable})
                Require(Run(database.db, "CREATE TABLE " + qb::QuoteIdentifier(table + std::to_string(columns)) + list));
        }
        return database;
    }();
    return made;
}

bool Same(const std::vector<View>& views, const std::vector<Value>& values)
{
    if (views.size() != values.size())
        return false;
    for (std::size_t i = 0; i < views.size(); ++i) {
        if (views[i].has_value() != values[i].has_value() || (views[i] && *views[i] != *values[i]))
            return false;
    }
    return true;
}

// A COPY text value, unescaped as PostgreSQL documents it: \b \f \n \r \t \v,
// one to three octal digits, x and one or two hex digits; any other
// character after a backslash stands for itself.
void Unescape(std::string_view raw, std::string& text)
{
    const auto digit = [](char c, int base) {
        const int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
        return value < base ? value : -1;
    };
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            text += raw[i];
            continue;
        }
        const char c = raw[++i];
        const std::string_view simple = "b\bf\fn\nr\rt\tv\v";
        if (const auto at = simple.find(c); at != std::string_view::npos && at % 2 == 0) {
            text += simple[at + 1];
            continue;
        }
        const int base = c == 'x' ? 16 : digit(c, 8) >= 0 ? 8 : 0;
        if (base == 0 || (base == 16 && (i + 1 >= raw.size() || digit(raw[i + 1], 16) < 0))) {
            text += c;
            continue;
        }
        int byte = 0;
        std::size_t taken = 0;
        for (std::size_t j = base == 16 ? i + 1 : i; j < raw.size() && taken < (base == 16 ? 2u : 3u) && digit(raw[j], base) >= 0; ++j, ++taken)
            byte = byte * base + digit(raw[j], base);
        i += base == 16 ? taken : taken - 1;
        text += static_cast<char>(byte);
    }
}

// COPY's text format read back: rows end at LF, CR or CR LF and fields at a
// tab, unless a backslash escapes them; a field that is \N alone is NULL; a
// line that is \. alone ends the data. False when a row lacks its end or has
// another number of fields.
bool DecodeCopy(std::string_view data, std::size_t columns, std::vector<Value>& out)
{
    out.clear();
    for (std::size_t i = 0; i < data.size();) {
        std::size_t end = i;
        while (end < data.size() && data[end] != '\n' && data[end] != '\r')
            end += data[end] == '\\' ? 2 : 1;
        if (end >= data.size())
            return false;
        const std::string_view line = data.substr(i, end - i);
        i = end + (data.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (line == "\\.")
            break;
        std::size_t fields = 0;
        for (std::size_t at = 0;; ++fields) {
            std::size_t stop = at;
            while (stop < line.size() && line[stop] != '\t')
                stop += line[stop] == '\\' ? 2 : 1;
            const std::string_view raw = line.substr(at, stop - at);
            if (raw == "\\N") {
                out.emplace_back();
            } else {
                out.emplace_back(std::string());
                Unescape(raw, *out.back());
            }
            if (stop >= line.size())
                break;
            at = stop + 1;
        }
        if (fields + 1 != columns)
            return false;
    }
    return true;
}

// The rows as CopyLoader sends them: each value escaped, with no tab, line
// end or lone backslash left, reads back the same, NULL apart from ''.
void CheckCopy(const std::vector<View>& values, std::size_t columns, const std::vector<Value>& rows)
{
    static std::string data;
    static std::vector<Value> decoded;
    data.clear();
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i]) {
            const std::size_t at = data.size();
            qb::AppendCopyEscaped(data, *values[i]);
            for (std::size_t k = at; k < data.size(); ++k) {
                Require(data[k] != '\t' && data[k] != '\n' && data[k] != '\r');
                if (data[k] == '\\')
                    Require(++k < data.size() && std::string_view("\\tnr").find(data[k]) != std::string_view::npos);
            }
        } else {
            data += "\\N";
        }
        data += (i + 1) % columns ? '\t' : '\n';
    }
    Require(DecodeCopy(data, columns, decoded) && decoded == rows);
}

struct ModelEntry {
    qb::InsertBatch::Kind kind;
    long line;
    std::vector<Value> values;  // a Row's or Alone's
    std::string text;           // a Refused one's
};

// Sends [first, last) as the sender sends a refused batch, in halves as
// the choices say; every row is to be stored once, in order.
void Halves(sqlite3* db, qb::InsertBatch& batch, std::size_t first, std::size_t last, std::uint32_t& choices)
{
    const std::size_t rows = batch.RowsIn(first, last);
    choices = choices >> 1 | choices << 31;
    if (rows > 1 && (choices & 1)) {
        const std::size_t middle = first + (last - first) / 2;
        Halves(db, batch, first, middle, choices);
        Halves(db, batch, middle, last, choices);
        return;
    }
    const std::string_view statement = batch.Statement(first, last);
    Require(statement.empty() == (rows == 0));
    Require(rows == 0 || Run(db, statement));
}

// The batch as it is about to be sent, against what was added to it.
void CheckBatch(qb::InsertBatch& batch, const std::vector<ModelEntry>& model, std::size_t columns, std::uint32_t choices)
{
    Database& database = TheDatabase();
    const auto& entries = batch.Entries();
    Require(entries.size() == model.size());
    static std::vector<Value> rows, stored;
    rows.clear();
    bool nul = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        const ModelEntry& expected = model[i];
        Require(entry.kind == expected.kind && entry.record.line == expected.line && entry.record.record == expected.line - 1);
        if (expected.kind == qb::InsertBatch::Kind::Refused) {
            Require(entry.step == static_cast<int>(expected.line) && batch.RefusalText(entry) == expected.text);
            continue;
        }
        Require(entry.end - entry.begin == expected.values.size());
        for (const Value& value : expected.values)
            nul = nul || (value && value->find('\0') != std::string::npos);
        if (expected.kind == qb::InsertBatch::Kind::Row)
            rows.insert(rows.end(), expected.values.begin(), expected.values.end());
    }
    Require(batch.HoldsNul() == nul && batch.RowsIn(0, entries.size()) * columns == rows.size());
    static std::vector<View> values;
    batch.RowValues(0, entries.size(), values);
    Require(Same(values, rows));
    if (nul)
        return;  // a statement's text ends at a NUL: such batches go line by line, and no bulk path gets them
    CheckCopy(values, columns, rows);

    const std::string suffix = std::to_string(columns);
    const std::string statementTable = qb::QuoteIdentifier(kStatementTable + suffix);
    const std::string bulkTable = qb::QuoteIdentifier(kBulkTable + suffix);
    const std::string readStatements = "SELECT * FROM " + statementTable + " ORDER BY rowid";
    // SQLite's bulk path stores what the statements store.
    Delete(database.db, bulkTable);
    database.loader->Load(bulkTable, columns, values, {});
    Read(database.db, "SELECT * FROM " + bulkTable + " ORDER BY rowid", stored);
    Require(stored == rows);

    Delete(database.db, statementTable);
    Halves(database.db, batch, 0, entries.size(), choices);
    Read(database.db, readStatements, stored);
    Require(stored == rows);

    // Line by line the same; a line with more values than columns is refused.
    Delete(database.db, statementTable);
    for (const auto& entry : entries) {
        if (entry.kind != qb::InsertBatch::Kind::Refused)
            Require(Run(database.db, batch.RowStatement(entry)) == (entry.kind == qb::InsertBatch::Kind::Row));
    }
    Read(database.db, readStatements, stored);
    Require(stored == rows);
}

// Records sorted as the sender sorts them into a batch, sent whenever it is full.
void BatchRound(Bytes in)
{
    const unsigned shape = in.Byte();
    const std::size_t columns = (shape & 3) + 1;
    const std::string separator(1, ",\t;|"[(shape >> 3) & 3]);
    const std::size_t maxRows = in.Byte() % 16 + 1;
    const std::size_t maxBytes = std::size_t(in.Byte()) * 8 + 1;
    const std::uint32_t choices = in.Byte() * 0x01010101u;

    static qb::InsertBatch batch(1, 1);
    batch.Start(qb::QuoteIdentifier(kStatementTable + std::to_string(columns)));
    batch.SetBounds(maxRows, maxBytes);
    static std::vector<ModelEntry> model;
    model.clear();
    qb::RecordSplitter splitter(separator, shape & 4);
    long line = 0;
    for (std::string_view rest = in.rest; !rest.empty();) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view record = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        ++line;
        const auto& fields = splitter.Split(record);
        if (fields.empty())
            continue;  // the sender passes over an empty line
        const qb::RecordSpan span{line, 0, record.size(), line - 1};
        ModelEntry& entry = model.emplace_back();
        entry.line = line;
        if (fields.size() < columns) {
            entry.kind = qb::InsertBatch::Kind::Refused;
            entry.text.assign(record);
            batch.AddRefused(record, static_cast<int>(line), span);
        } else {
            entry.kind = fields.size() > columns ? qb::InsertBatch::Kind::Alone : qb::InsertBatch::Kind::Row;
            for (const std::string_view field : fields)
                entry.values.push_back(field.empty() && !qb::IsQuotedEmpty(field) ? Value() : Value(std::string(field)));
            if (entry.kind == qb::InsertBatch::Kind::Row)
                batch.AddRow(fields, span);
            else
                batch.AddAlone(fields, span);
        }
        Require(batch.RowsIn(0, batch.Entries().size()) < maxRows || batch.Full());
        if (batch.Full()) {
            CheckBatch(batch, model, columns, choices);
            batch.Clear();
            model.clear();
            Require(batch.Empty());
        }
    }
    if (!batch.Empty())
        CheckBatch(batch, model, columns, choices);
    batch.Clear();
}

// ManifestRound's model: what the manifest is to say of each line.
enum class Line : char { Unsent, Stored, Refused };
struct FileModel {
    std::vector<Line> lines;  // from 1
    std::vector<bool> blank;  // lines the sender passes over: never counted
    long last = 0;
    bool finished = false;
};

const std::string kDigest = "d";
const std::string kTarget = "t'x";

// The manifest and the lines table hold what the model says, as does the file's progress.
void CheckManifest(sqlite3* db, const FileModel& model, const qb::FileProgress* progress)
{
    static std::vector<Value> got;
    static std::vector<Value> refused, stored;
    refused.clear();
    stored.clear();
    for (std::size_t line = 1; line < model.lines.size(); ++line) {
        if (model.lines[line] != Line::Unsent)
            (model.lines[line] == Line::Stored ? stored : refused).emplace_back(std::to_string(line));
        // Every line up to the last is counted: a later run passes over them.
        Require(static_cast<long>(line) > model.last || model.blank[line] || model.lines[line] != Line::Unsent);
    }
    const std::string where = " WHERE \"digest\" = 'd' AND \"target\" = 't''x'";
    Read(db, "SELECT \"stored\", \"refused\", \"last_line\", \"finished\" IS NOT NULL FROM \"quillbarrow_sys_imports\"" + where, got);
    Require(got.size() == 4 && got[0] == std::to_string(stored.size()) && got[1] == std::to_string(refused.size()) &&
            got[2] == std::to_string(model.last) && got[3] == std::string(model.finished ? "1" : "0"));
    Read(db, "SELECT \"line\" FROM \"quillbarrow_sys_refused_lines\"" + where + " ORDER BY \"line\"", got);
    Require(got == refused);
    Read(db, "SELECT \"line\" FROM \"lines\" ORDER BY \"line\"", got);
    Require(got == stored);
    Require(!progress || (progress->Stored() == static_cast<long>(stored.size()) &&
                          progress->RefusedCount() == static_cast<long>(refused.size())));
}

// Runs over one file, each going on from what the last committed, with its
// lines stored or refused in stretches whose commits may fail, some refused
// by themselves, and an end or a stop. Steps: bits 0-1 what (0 the next line
// refused by itself, 3 the run stops, else a stretch of 1 + bits 2-4 lines,
// each line's fate a bit of the next byte), bit 7 the commit fails.
void ManifestRound(Bytes in)
{
    sqlite3* db = TheDatabase().db;
    qb::BulkLoader& loader = *TheDatabase().loader;
    const std::string where = " WHERE \"target\" = 't''x'";
    Delete(db, "\"quillbarrow_sys_imports\"" + where);
    Delete(db, "\"quillbarrow_sys_refused_lines\"" + where);
    Delete(db, "\"lines\"");
    const std::size_t count = in.Byte() % 24 + 1;
    FileModel model;
    model.lines.assign(count + 1, Line::Unsent);
    model.blank.assign(count + 1, false);
    std::uint8_t bits = 0;
    for (std::size_t line = 1; line <= count; ++line) {
        bits = (line - 1) % 8 ? bits >> 1 : in.Byte();
        model.blank[line] = bits & 1;
    }
    const long lastLine = static_cast<long>(count);
    bool begun = false;
    static std::vector<std::string> numbers;
    static std::vector<View> values;
    static std::vector<Value> got;
    for (int run = 0; run < 4 && !in.rest.empty(); ++run) {
        const bool retry = in.Byte() & 1;
        std::optional<qb::ManifestEntry> earlier;
        std::vector<long> retried;
        if (begun) {
            Read(db, "SELECT \"stored\", \"refused\", \"last_line\", \"finished\" FROM \"quillbarrow_sys_imports\"" + where, got);
            Require(got.size() == 4);
            earlier = qb::ManifestEntry{kDigest, kTarget, "n", 0, std::stol(*got[0]), std::stol(*got[1]), std::stol(*got[2]), "s", got[3]};
            if (earlier->Done(retry))
                continue;
            if (earlier->Retries(retry)) {
                Read(db, "SELECT \"line\" FROM \"quillbarrow_sys_refused_lines\"" + where + " ORDER BY \"line\"", got);
                for (const Value& line : got)
                    retried.push_back(std::stol(*line));
            }
        } else {
            Require(Run(db, "INSERT INTO \"quillbarrow_sys_imports\" VALUES('d', 't''x', 'n', 0, 0, 0, 0, 's', NULL)"));
            begun = true;
        }
        qb::FileProgress progress(kDigest, kTarget, earlier ? &*earlier : nullptr, retried);
        // What the earlier runs dealt with, but their refused lines when they are sent again.
        const long earlierLast = model.last;
        const std::vector<Line> before = model.lines;
        const auto skips = [&](long line) {
            return line <= earlierLast && !(retry && before[line] == Line::Refused);
        };
        for (long line = 1; line <= lastLine; ++line)
            Require(progress.Skips(line) == skips(line));

        std::vector<long> pending, stored, refusedWith;
        long next = 1;  // the first line not yet dealt with
        const auto nextSent = [&](long line) {
            while (line <= lastLine && (skips(line) || model.blank[line]))
                ++line;
            return line;
        };
        bool stopped = false;
        while (!stopped && (next = nextSent(next)) <= lastLine) {
            const std::uint8_t step = in.Byte();
            if ((step & 3) == 3) {
                stopped = true;
            } else if ((step & 3) == 0) {
                progress.Refused(next);
                pending.push_back(next++);
            } else {
                stored.clear();
                refusedWith.clear();
                const std::uint8_t fates = in.Byte();
                long line = next;
                for (int k = 0; k <= ((step >> 2) & 7) && line <= lastLine; ++k, line = nextSent(line + 1))
                    ((fates >> k) & 1 ? refusedWith : stored).push_back(line);
                const long last = std::max(stored.empty() ? 0 : stored.back(), refusedWith.empty() ? 0 : refusedWith.back());
                const bool fail = step & 0x80;
                numbers.clear();
                for (const long number : stored)
                    numbers.push_back(std::to_string(number));
                values.clear();
                for (const std::string& number : numbers) {
                    values.emplace_back(number);
                    values.emplace_back("x");
                }
                if (fail) {  // a value the table refuses: nothing of the stretch may stay
                    values.emplace_back("0");
                    values.emplace_back();
                }
                bool loaded = true;
                try {
                    loader.Load("\"lines\"", 2, values, progress.Staged(static_cast<long>(stored.size()), last, refusedWith));
                } catch (const std::exception&) {
                    loaded = false;
                }
                Require(loaded == !fail);
                if (loaded) {
                    progress.Committed();
                    for (const long number : stored)
                        model.lines[number] = Line::Stored;
                    for (const auto* refused : {&refusedWith, &pending})
                        for (const long number : *refused)
                            model.lines[number] = Line::Refused;
                    pending.clear();
                    model.last = std::max(model.last, last);
                    next = last + 1;
                }
                CheckManifest(db, model, &progress);
            }
        }
        if (stopped)
            continue;
        // Every line dealt with: the file's end, committed or not.
        const bool fail = in.Byte() & 0x80;
        Require(Run(db, "BEGIN"));
        for (const std::string& statement : progress.Finished(lastLine, "2026-01-02 03:04:05"))
            Require(Run(db, statement));
        Require(Run(db, fail ? "ROLLBACK" : "COMMIT"));
        if (!fail) {
            progress.Committed();
            for (const long number : pending)
                model.lines[number] = Line::Refused;
            model.last = std::max(model.last, lastLine);
            model.finished = true;
        }
        CheckManifest(db, model, &progress);
    }
    // The other file's row and lines are as they were.
    Read(db, "SELECT \"stored\", \"refused\", \"last_line\", \"finished\" FROM \"quillbarrow_sys_imports\" WHERE \"target\" <> 't''x'", got);
    Require(got == std::vector<Value>{"1", "2", "9", std::nullopt});
    Read(db, "SELECT \"line\" FROM \"quillbarrow_sys_refused_lines\" WHERE \"target\" <> 't''x' ORDER BY \"line\"", got);
    Require(got == std::vector<Value>{"3", "4"});
}

}  // namespace

void SendRound(std::string_view bytes)
{
    BatchRound({bytes});
    // Runs over a file cost the most: they have their bit.
    if (!bytes.empty() && (bytes.front() & 0x20))
        ManifestRound({bytes});
}
