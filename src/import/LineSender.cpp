#include "import/LineSender.h"

#include "odbc/Database.h"
#include "base/ErrorReport.h"
#include "import/ImportSettings.h"
#include "import/LineReader.h"
#include "import/StatementBuilder.h"
#include "base/StepFailure.h"

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

LineSender::LineSender(Connection& connection, StepRunner& steps, SendSink& sink, const ImportSettings& settings)
    : m_connection(connection), m_steps(steps), m_sink(sink), m_settings(settings),
      m_splitter(settings.Separator, settings.Quoted), m_batch(settings.BatchRows, settings.BatchBytes)
{
}

long LineSender::SourceLine(long record)
{
    const auto& jumps = m_file->jumps;
    while (m_jump + 1 < jumps.size() && jumps[m_jump + 1].record <= record)
        ++m_jump;
    if (jumps.empty())
        return 0;
    return record + (jumps[m_jump].line - jumps[m_jump].record);
}

void LineSender::Send(const PreparedFile& file, const std::string& table, std::size_t columns,
                      const InsertLoopLines& lines, bool batching)
{
    m_file = &file;
    m_jump = 0;
    m_table = table;
    m_batching = batching;
    std::optional<LineReader> reader;
    if (!m_steps.Run(lines.open, [&] { reader.emplace(file.fd, file.name); }))
        return;
    RecordReader records(*reader, m_settings.Separator, m_settings.Quoted);
    m_batch.Start(table);
    std::size_t nextNote = 0;
    bool goOn = true;
    for (long record = 0; goOn && m_sink.KeepGoing(); ++record) {
        bool more = false;
        // A file that cannot be read further ends the loop rather than failing at every step.
        if (!m_steps.Run(lines.read, [&] { more = records.Next(m_line); }) || !more)
            break;
        const InsertBatch::Place place{SourceLine(record), records.Start(), m_line.size()};
        if (nextNote < file.notes.size() && file.notes[nextNote].record == record)
            goOn = Refuse(file.notes[nextNote++].description, lines.read, place);
        else
            goOn = m_batching ? Batched(columns, lines.execute, place) : SendLine(columns, lines.execute, place);
    }
    // Once the run is to stop, what is gathered and not yet sent stays unsent.
    goOn = goOn && m_sink.KeepGoing();
    // A record whose quote never closed ends the file after every other.
    for (; goOn && nextNote < file.notes.size(); ++nextNote)
        goOn = Refuse(file.notes[nextNote].description, lines.read, {file.notes[nextNote].line, 0, 0});
    if (goOn && m_batching)
        SendBatch(lines.execute);
    m_batch.Clear();
    ReleaseIfHuge(m_line);
    ReleaseIfHuge(m_statement);
}

// A record refused before sending: reported in its place among the others.
bool LineSender::Refuse(const std::string& description, int step, const InsertBatch::Place& place)
{
    if (!m_batching) {
        m_sink.At(place, true);
        m_steps.Run(step, [&] { throw StepFailure(step, description); });
        return true;
    }
    m_batch.AddRefused(description, step, place);
    return !m_batch.Full() || SendBatch(step);
}

// False when nothing more is to be sent for this file.
bool LineSender::SendLine(std::size_t columns, int step, const InsertBatch::Place& place)
{
    const auto& fields = m_splitter.SplitInPlace(m_line);
    if (fields.empty())
        return true;
    // Some databases fill missing trailing columns with NULL; none may.
    if (fields.size() < columns)
        return Refuse(ShortLineText(fields.size(), m_table, columns), step, place);
    if (m_line.size() > m_settings.BindAbove)
        return SendBound(fields, step, place) != Sent::Lost;
    BuildInsertInto(m_statement, m_table, fields);
    ReleaseIfHuge(m_line);
    return SendOne(m_statement, {}, step, place) != Sent::Lost;
}

// The line's values bound to markers: the statement text stays small and
// the values are read from the line itself.
LineSender::Sent LineSender::SendBound(std::span<const std::string_view> fields, int step,
                                       const InsertBatch::Place& place)
{
    m_statement = "INSERT INTO " + QuoteIdentifier(m_table) + " VALUES(";
    std::vector<std::optional<std::string_view>> values;
    for (const auto field : fields) {
        m_statement += "?,";
        values.push_back(field.empty() && !IsQuotedEmpty(field) ? std::nullopt : std::optional(field));
    }
    m_statement.back() = ')';
    m_statement += ';';
    const Sent outcome = SendOne(m_statement, values, step, place);
    ReleaseIfHuge(m_line);
    return outcome;
}

// Runs one line's statement under the step, as its own transaction; values,
// if any, are bound to its markers.
LineSender::Sent LineSender::SendOne(std::string_view statement,
                                     std::span<const std::optional<std::string_view>> values, int step,
                                     const InsertBatch::Place& place)
{
    Sent outcome = Sent::Refused;
    m_sink.At(place, true);
    m_steps.Run(step, [&] {
        try {
            if (values.empty())
                m_connection.Execute(statement);
            else
                m_connection.Execute(statement, values);
        } catch (const DatabaseError& error) {
            if (!error.ConnectionLost())
                throw;
            outcome = Sent::Lost;
            m_sink.At(place, false);
            throw StepFailure(step, error.what() + std::string(kReplyLost));
        }
        outcome = Sent::Stored;
    });
    if (outcome == Sent::Stored)
        m_sink.Stored(1, place.offset + static_cast<off_t>(place.length));
    return outcome;
}

bool LineSender::Batched(std::size_t columns, int step, const InsertBatch::Place& place)
{
    const auto& fields = m_splitter.SplitInPlace(m_line);
    if (fields.empty())
        return true;
    // Reports wait for the batch, so that none is shown while it is unsent
    // and all come out in file order.
    if (fields.size() < columns) {
        m_batch.AddRefused(ShortLineText(fields.size(), m_table, columns), step, place);
    } else if (m_line.size() > m_settings.BindAbove) {
        // Too big for a statement text: what is gathered goes first, to keep the order.
        if (!m_batch.Empty() && !SendBatch(step))
            return false;
        return SendBound(fields, step, place) != Sent::Lost;
    } else if (fields.size() > columns) {
        m_batch.AddAlone(fields, place);  // no database takes more values than columns
    } else {
        m_batch.AddRow(fields, place);
    }
    if (!m_batch.Full())
        return true;
    ReleaseIfHuge(m_line);
    return SendBatch(step);
}

bool LineSender::SendBatch(int step)
{
    const bool goOn = SendEntries(0, m_batch.Entries().size(), step);
    m_batch.Clear();
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
            m_connection.Execute(m_batch.Statement(first, last));
            stored = true;
        } catch (const DatabaseError& error) {
            if (error.ConnectionLost()) {
                m_sink.At(m_batch.Entries()[first].place, false);
                m_steps.Run(step, [&] { throw StepFailure(step, error.what() + BatchLost(rows)); });
                return false;
            }
        } catch (const std::exception&) {
        }
        if (stored) {
            const InsertBatch::Place& end = m_batch.Entries()[last - 1].place;
            m_sink.Stored(static_cast<long>(rows), end.offset + static_cast<off_t>(end.length));
            return SendEntriesAlone(first, last, step, false);
        }
        if (last - first > kLineByLine) {
            const std::size_t middle = first + (last - first) / 2;
            return SendEntries(first, middle, step) && SendEntries(middle, last, step);
        }
    }
    return SendEntriesAlone(first, last, step, true);
}

// Sends each entry of [first, last) by itself (rows too, when withRows) and
// reports the refused ones.
bool LineSender::SendEntriesAlone(std::size_t first, std::size_t last, int step, bool withRows)
{
    for (std::size_t i = first; i < last; ++i) {
        const InsertBatch::Entry& entry = m_batch.Entries()[i];
        if (entry.kind == InsertBatch::Kind::Refused) {
            m_sink.At(entry.place, true);
            m_steps.Run(step, [&] { throw StepFailure(entry.step, std::string(m_batch.Single(entry))); });
        } else if ((withRows || entry.kind == InsertBatch::Kind::Alone) &&
                   SendOne(m_batch.Single(entry), {}, step, entry.place) == Sent::Lost) {
            return false;
        }
    }
    return true;
}

}  // namespace qb
