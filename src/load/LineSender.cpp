#include "load/LineSender.h"

#include "base/ErrorReport.h"
#include "load/BulkLoader.h"
#include "load/BusyWait.h"
#include "odbc/Database.h"
#include "read/FileRecords.h"
#include "load/ImportManifest.h"
#include "odbc/SqlText.h"
#include "load/StatementBuilder.h"

#include <algorithm>
#include <optional>

namespace qb {
namespace {

// Buffers that held one huge line are given back rather than kept for the
// next, so that the statement and the driver's copies of it have room.
constexpr std::size_t kKeptBuffer = std::size_t(16) << 20;

void ReleaseIfHuge(std::string& buffer)
{
    if (buffer.capacity() > kKeptBuffer)
        std::string().swap(buffer);
}

// A batch refused this small goes line by line rather than in halves.
constexpr std::size_t kLineByLine = 8;

const char* const kReplyLost =
    "\r\nThe connection was lost while this line was sent, so it may or may not be stored. "
    "The rest of the file was not sent.";

const char* const kStayedBusy =
    "\r\nThe database stayed busy, so this line was not stored. The rest of the file was not sent.";

std::string BatchBusy(std::size_t rows)
{
    return "\r\nThe database stayed busy, so a batch of " + std::to_string(rows) +
           " lines was not stored. The rest of the file was not sent.";
}

std::string BatchLost(std::size_t rows)
{
    return "\r\nThe connection was lost while a batch of " + std::to_string(rows) +
           " lines was sent, so they may or may not be stored. The rest of the file was not sent.";
}

}  // namespace

std::string ShortLineText(std::size_t values, const std::string& table, std::size_t columns)
{
    return "The line has " + std::to_string(values) + " values, but the table " + table + " has " +
           std::to_string(columns) + " columns. It was not sent.";
}

LineSender::LineSender(Connection& connection, SendOptions options)
    : m_connection(connection), m_options(std::move(options)), m_splitter(m_options.separator, m_options.quoted),
      m_batch(m_options.batchRows, m_options.batchBytes)
{
}

long LineSender::SourceLine(long record)
{
    const auto& marks = m_file->lines;
    while (m_mark + 1 < marks.size() && marks[m_mark + 1].record <= record)
        ++m_mark;
    if (marks.empty())
        return 0;
    return record + (marks[m_mark].line - marks[m_mark].record);
}

bool LineSender::Send(const PreparedCopy& file, const std::string& table, std::size_t columns,
                      const std::vector<bool>& kept, const InsertLoopLines& lines, bool batching, BulkLoader* bulk,
                      StepRunner& steps, SendSink& sink, FileProgress* progress)
{
    m_progress = progress;
    m_kept = kept.empty() ? nullptr : &kept;
    m_file = &file;
    m_sink = &sink;
    m_mark = 0;
    m_table = table;
    m_quotedTable = QuoteIdentifier(table);
    m_columns = m_kept ? static_cast<std::size_t>(std::count(kept.begin(), kept.end(), true)) : columns;
    m_batching = batching;
    m_bulk = bulk;
    m_lost = false;
    m_stopped = false;
    std::optional<FileRecords> records;
    if (!steps.Run(lines.open, [&] { records.emplace(FileRecords::WorkingCopy{}, file.copy.Get(), file.name, m_options.format); }))
        return true;
    m_batch.Start(table);
    m_batch.SetBounds(m_options.batchRows, m_options.batchBytes);
    m_bulkNow = false;
    m_refusedAny = false;
    std::size_t nextNote = 0;
    bool goOn = true;
    bool readAll = false;
    long lastLine = 0;
    while (goOn && sink.KeepGoing()) {
        bool more = false;
        // A file that cannot be read further ends the loop rather than failing at every step.
        if (!steps.Run(lines.read, [&] { more = records->Next(m_record); }))
            break;
        if (!more) {
            readAll = true;
            break;
        }
        const RecordSpan record{SourceLine(m_record.index), m_record.offset, m_record.text.size(), m_record.index};
        lastLine = record.line;
        const bool noted = nextNote < file.notes.size() && file.notes[nextNote].record == m_record.index;
        if (m_progress && m_progress->Skips(record.line))
            nextNote += noted;
        else if (noted)
            goOn = Refuse(file.notes[nextNote++].description, lines.read, record);
        else
            goOn = m_batching ? Batched(columns, lines.execute, record) : SendLine(columns, lines.execute, record);
    }
    // Once the run is to stop, what is gathered and not yet sent stays unsent.
    m_stopped = goOn && !sink.KeepGoing();
    goOn = goOn && !m_stopped;
    // A record whose quote never closed ends the file after every other.
    for (; goOn && nextNote < file.notes.size(); ++nextNote) {
        const RecordNote& note = file.notes[nextNote];
        lastLine = std::max(lastLine, note.line);
        if (!m_progress || !m_progress->Skips(note.line))
            goOn = Refuse(note.description, lines.read, {note.line, 0, 0, note.record});
    }
    if (goOn && m_batching)
        goOn = SendBatch(lines.execute);
    // Every line dealt with: the manifest holds the file as done.
    if (m_progress && goOn && readAll && sink.KeepGoing() && !m_lost)
        steps.Run(lines.execute, [&] {
            const auto& finish = m_progress->Finished(lastLine, ManifestTime(std::time(nullptr)));
            Patiently([&] { m_connection.InOneTransaction([] {}, finish); });
            m_progress->Committed();
        });
    m_batch.Clear();
    m_values.clear();
    ReleaseIfHuge(m_record.text);
    ReleaseIfHuge(m_statement);
    return !m_lost;
}

// A record refused before sending: reported in its place among the others.
bool LineSender::Refuse(const std::string& description, int step, const RecordSpan& record)
{
    if (!m_batching) {
        RefusedHere(step, description, record);
        return true;
    }
    m_batch.AddRefused(description, step, record);
    return !m_batch.Full() || SendBatch(step);
}

// A line of the file's columns, as the table takes it: without the ones left out.
std::span<const std::string_view> LineSender::Kept(const std::vector<std::string_view>& fields)
{
    if (!m_kept || fields.size() != m_kept->size())
        return fields;
    m_keptFields.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if ((*m_kept)[i])
            m_keptFields.push_back(fields[i]);
    }
    return m_keptFields;
}

// False when nothing more is to be sent for this file.
bool LineSender::SendLine(std::size_t columns, int step, const RecordSpan& record)
{
    const auto& all = m_splitter.SplitInPlace(m_record.text);
    if (all.empty())
        return true;
    // Some databases fill missing trailing columns with NULL; none may.
    if (all.size() < columns)
        return Refuse(ShortLineText(all.size(), m_table, columns), step, record);
    const auto fields = Kept(all);
    if (m_record.text.size() > m_options.bindAbove)
        return SendBound(fields, step, record) != Sent::Lost;
    BuildInsertInto(m_statement, m_table, fields);
    ReleaseIfHuge(m_record.text);
    return SendOne(m_statement, {}, step, record) != Sent::Lost;
}

// The line's values bound to markers: the statement text stays small and
// the values are read from the line itself.
LineSender::Sent LineSender::SendBound(std::span<const std::string_view> fields, int step, const RecordSpan& record)
{
    // In a statement's text a NUL byte cuts the statement short and it is refused; a bound value would be
    // stored cut short, or whole, depending on the driver.
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].find('\0') != std::string_view::npos) {
            RefusedHere(step, "Value " + std::to_string(i + 1) + " holds a NUL byte, which is not text. The line was not sent.", record);
            return Sent::Refused;
        }
    }
    m_statement = "INSERT INTO " + QuoteIdentifier(m_table) + " VALUES(";
    std::vector<std::optional<std::string_view>> values;
    for (const auto field : fields) {
        m_statement += "?,";
        values.push_back(field.empty() && !IsQuotedEmpty(field) ? std::nullopt : std::optional(field));
    }
    m_statement.back() = ')';
    m_statement += ';';
    const Sent outcome = SendOne(m_statement, values, step, record);
    ReleaseIfHuge(m_record.text);
    return outcome;
}

// Runs one line's statement as its own transaction; values, if any, are
// bound to its markers.
LineSender::Sent LineSender::SendOne(std::string_view statement,
                                     std::span<const std::optional<std::string_view>> values, int step,
                                     const RecordSpan& record)
{
    try {
        WithProgress(1, record.line, {}, [&](std::span<const std::string> also) {
            WithStatements(also, [&] {
                if (values.empty())
                    m_connection.Execute(statement);
                else
                    m_connection.Execute(statement, values);
            });
        });
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost() || error.Busy()) {
            m_lost = m_lost || error.ConnectionLost();
            m_sink->Lost(step, error.what() + std::string(error.Busy() ? kStayedBusy : kReplyLost), record);
            return Sent::Lost;
        }
        RefusedHere(step, error.what(), record);
        return Sent::Refused;
    } catch (const std::exception& error) {
        RefusedHere(step, error.what(), record);
        return Sent::Refused;
    }
    m_sink->Stored(1, record.offset + static_cast<off_t>(record.length));
    return Sent::Stored;
}

bool LineSender::Batched(std::size_t columns, int step, const RecordSpan& record)
{
    const auto& all = m_splitter.SplitInPlace(m_record.text);
    if (all.empty())
        return true;
    // Reports wait for the batch, so that none is shown while it is unsent
    // and all come out in file order.
    if (all.size() < columns) {
        m_batch.AddRefused(ShortLineText(all.size(), m_table, columns), step, record);
    } else if (m_record.text.size() > m_options.bindAbove) {
        // Too big for a statement text: what is gathered goes first, to keep the order.
        if (!m_batch.Empty() && !SendBatch(step))
            return false;
        return SendBound(Kept(all), step, record) != Sent::Lost;
    } else if (all.size() > columns) {
        // No database takes more values than columns. Where the manifest counts lines, the line is
        // refused before the lines after it are stored, so that no stretch skips it.
        if (m_progress && !m_batch.Empty() && !SendBatch(step))
            return false;
        m_batch.AddAlone(all, record);
        if (m_progress)
            return SendBatch(step);
    } else {
        m_batch.AddRow(Kept(all), record);
    }
    if (!m_batch.Full())
        return true;
    ReleaseIfHuge(m_record.text);
    return SendBatch(step);
}

// A refusal of the line by itself: the manifest counts it with the next commit.
void LineSender::RefusedHere(int step, const std::string& description, const RecordSpan& record)
{
    if (m_progress)
        m_progress->Refused(record.line);
    m_sink->Refused(step, description, record);
}

// Stores patiently: store(also) stores the rows and runs the statements of also in their transaction.
// Where the manifest is kept, those count the rows stored, up to line last, and the lines refused among
// them; otherwise there are none.
template <typename Store>
void LineSender::WithProgress(long rows, long last, const std::vector<long>& refusedWith, Store&& store)
{
    if (!m_progress) {
        Patiently([&] { store(std::span<const std::string>{}); });
        return;
    }
    Patiently([&] { store(m_progress->Staged(rows, last, refusedWith)); });
    m_progress->Committed();
}

// Runs a statement by itself, or in one transaction with the statements of also.
template <typename Execute>
void LineSender::WithStatements(std::span<const std::string> also, Execute&& execute)
{
    if (also.empty())
        execute();
    else
        m_connection.InOneTransaction(execute, also);
}

// A busy or locked database is waited for (see WaitWhileBusy).
template <typename Execute>
void LineSender::Patiently(Execute&& execute)
{
    WaitWhileBusy(m_options.busySeconds, [&] { return m_sink->KeepGoing(); }, std::forward<Execute>(execute));
}

bool LineSender::SendBatch(int step)
{
    const bool full = m_batch.Full();
    const bool goOn = SendEntries(0, m_batch.Entries().size(), step);
    m_batch.Clear();
    // A file longer than one batch goes on by the bulk path, in bigger batches until one is refused. A
    // smaller one never uses it: on SQLite its connection would read the whole schema again for each
    // table the driver's connection made.
    if (m_bulk && full) {
        m_bulkNow = true;
        if (m_refusedAny)
            m_batch.SetBounds(m_options.batchRows, m_options.batchBytes);
        else
            m_batch.SetBounds(m_options.bulkRows, m_options.bulkBytes);
    }
    return goOn;
}

// Sends the rows among entries [first, last) as one statement and the other
// entries in their places. Should the database refuse the statement, none
// of it was stored: each half goes again, down to single lines sent as they
// would be line by line, so that every refusal gets its own report, in
// order. False when the connection was lost.
bool LineSender::SendEntries(std::size_t first, std::size_t last, int step)
{
    const std::size_t rows = m_batch.RowsIn(first, last);
    if (rows > 1) {
        bool stored = false;
        try {
            StoreRows(first, last);
            stored = true;
        } catch (const DatabaseError& error) {
            if (error.ConnectionLost() || error.Busy()) {
                m_lost = m_lost || error.ConnectionLost();
                // Lines refused before sending come first, as line by line they
                // would have been reported before the batch's first statement.
                std::size_t at = first;
                for (; m_batch.Entries()[at].kind == InsertBatch::Kind::Refused; ++at)
                    ReportRefused(m_batch.Entries()[at], false);
                m_sink->Lost(step, error.what() + (error.Busy() ? BatchBusy(rows) : BatchLost(rows)),
                             m_batch.Entries()[at].record);
                ReportRefusedAfter(at);
                return false;
            }
        } catch (const std::exception&) {
        }
        if (stored) {
            const RecordSpan& end = m_batch.Entries()[last - 1].record;
            m_sink->Stored(static_cast<long>(rows), end.offset + static_cast<off_t>(end.length));
            return SendEntriesAlone(first, last, step, false);
        }
        m_refusedAny = true;
        if (last - first > kLineByLine) {
            const std::size_t middle = first + (last - first) / 2;
            return SendEntries(first, middle, step) && SendEntries(middle, last, step);
        }
    }
    return SendEntriesAlone(first, last, step, true);
}

// The rows among entries [first, last), all or none: through the database's
// own bulk path where it has one, as one statement otherwise.
void LineSender::StoreRows(std::size_t first, std::size_t last)
{
    const auto& entries = m_batch.Entries();
    const long rows = static_cast<long>(m_batch.RowsIn(first, last));
    const long end = entries[last - 1].record.line;
    m_refusedWith.clear();
    if (m_progress) {
        for (std::size_t i = first; i < last; ++i) {
            if (entries[i].kind == InsertBatch::Kind::Refused)
                m_refusedWith.push_back(entries[i].record.line);
        }
    }
    // A NUL byte reads differently in a statement's text: a batch holding one goes the statement's way.
    if (m_bulkNow && !m_batch.HoldsNul()) {
        m_batch.RowValues(first, last, m_values);
        WithProgress(rows, end, m_refusedWith, [&](std::span<const std::string> also) {
            m_bulk->Load(m_quotedTable, m_columns, m_values, also);
        });
        return;
    }
    WithProgress(rows, end, m_refusedWith, [&](std::span<const std::string> also) {
        WithStatements(also, [&] { m_connection.Execute(m_batch.Statement(first, last)); });
    });
}

// A line the batch held back as refused before sending: its text is the report. counted: the manifest
// counted it with the rows stored around it.
void LineSender::ReportRefused(const InsertBatch::Entry& entry, bool counted)
{
    if (counted)
        m_sink->Refused(entry.step, std::string(m_batch.RefusalText(entry)), entry.record);
    else
        RefusedHere(entry.step, std::string(m_batch.RefusalText(entry)), entry.record);
}

// Sends each entry of [first, last) by itself (rows too, when withRows) and
// reports the refused ones.
bool LineSender::SendEntriesAlone(std::size_t first, std::size_t last, int step, bool withRows)
{
    for (std::size_t i = first; i < last; ++i) {
        const InsertBatch::Entry& entry = m_batch.Entries()[i];
        if (entry.kind == InsertBatch::Kind::Refused) {
            ReportRefused(entry, !withRows);
        } else if ((withRows || entry.kind == InsertBatch::Kind::Alone) &&
                   SendOne(m_batch.RowStatement(entry), {}, step, entry.record) == Sent::Lost) {
            ReportRefusedAfter(i);
            return false;
        }
    }
    return true;
}

// The connection went while entry `at` was sent: the lines of the batch refused before sending are
// refused whatever became of it, and nothing after it is sent again.
void LineSender::ReportRefusedAfter(std::size_t at)
{
    const auto& entries = m_batch.Entries();
    for (std::size_t i = at + 1; i < entries.size(); ++i) {
        if (entries[i].kind == InsertBatch::Kind::Refused)
            ReportRefused(entries[i], false);
    }
}

}  // namespace qb
