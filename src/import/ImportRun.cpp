#include "import/ImportRun.h"

#include "connection/Database.h"
#include "frame/AsciiCase.h"
#include "frame/ErrorReport.h"
#include "import/FieldSplitter.h"
#include "import/InsertBatch.h"
#include "import/LineReader.h"
#include "import/Records.h"
#include "import/TextDecoder.h"
#include "import/StepFailure.h"
#include "import/StatementBuilder.h"
#include "import/WorkingCopy.h"

#include <algorithm>
#include <optional>

namespace qb {
namespace {

// The report line numbers of one insert loop.
struct InsertLoopLines {
    int open;
    int read;
    int execute;
};
constexpr InsertLoopLines kFromFirstLineLoop{202, 208, 232};
constexpr InsertLoopLines kUserSpecifiedLoop{264, 270, 292};
constexpr InsertLoopLines kAppendLoop{316, 322, 344};

// Buffers that held one huge line are given back rather than kept for the
// next, so that the statement and the driver's copies of it have room.
constexpr std::size_t kKeptBuffer = std::size_t(16) << 20;

void ReleaseIfHuge(std::string& buffer)
{
    if (buffer.capacity() > kKeptBuffer)
        std::string().swap(buffer);
}

const char* const kReplyLost =
    "\r\nThe connection was lost while this line was sent, so it may or may not be stored. "
    "The rest of the file was not sent.";

std::string BatchLost(std::size_t rows)
{
    return "\r\nThe connection was lost while a batch of " + std::to_string(rows) +
           " lines was sent, so they may or may not be stored. The rest of the file was not sent.";
}

class ImportRun {
public:
    ImportRun(ImportSettings& settings, ImportHost& host)
        : m_settings(settings), m_host(host), m_steps(host, ProcedurePath("Form2", "PushButton1_Click")),
          m_workingCopy(WorkingCopyPath())
    {
    }

    ImportSummary Run();

private:
    bool Checked();
    bool Locked(std::optional<WorkingCopyLock>& lock);
    void ImportFile(int counter);
    void CreateFromFirstLine(const std::string& table, const std::string& header);
    void CreateFromAnswers(const std::string& table, const std::string& header);
    void Append();
    void SendLines(const std::string& table, std::size_t columns, const InsertLoopLines& lines);
    enum class Sent { Stored, Refused, Lost };
    bool SendLine(const std::string& table, std::size_t columns, int step);
    bool Batched(const std::string& table, std::size_t columns, int step);
    bool SendBatch(int step);
    bool Refuse(const std::string& description, int step);
    bool SendEntries(std::size_t first, std::size_t last, int step);
    bool SendEntriesAlone(std::size_t first, std::size_t last, int step, bool withRows);
    Sent Send(std::string_view statement, int step);
    void Skip() { ++m_summary.filesSkipped; }
    void ListCreated(const std::string& table)
    {
        m_settings.TableList.insert(m_settings.TableList.begin(), table);
        m_host.TableCreated(table);
    }

    ImportSettings& m_settings;
    ImportHost& m_host;
    StepRunner m_steps;
    const std::string m_workingCopy;
    Connection m_connection;
    UniqueFd m_copy;  // this file's working copy, as written
    std::vector<RecordNote> m_notes;  // its records to refuse, in order
    std::size_t m_nextNote = 0;
    RecordSplitter m_splitter{m_settings.Separator, m_settings.Quoted};
    std::string m_line;
    std::string m_statement;
    InsertBatch m_batch{m_settings.BatchRows, m_settings.BatchBytes};
    bool m_batching = false;  // for this file's connection
    ImportSummary m_summary;
    bool m_allTablesNew = true;
    int m_counter = 0;
    int m_files = 0;
};

ImportSummary ImportRun::Run()
{
    m_summary.started = true;
    std::optional<WorkingCopyLock> lock;
    if (Checked() && Locked(lock)) {
        m_files = static_cast<int>(m_settings.Files.size());
        for (int counter = 1; counter <= m_files; ++counter) {
            // Whatever a file throws that no step caught ends that file only.
            if (!m_steps.Run(122, [&] { ImportFile(counter); }))
                Skip();
        }
        m_summary.finalMessage = m_allTablesNew ? "Done." : "Table(s) already exist.";
        m_host.ShowMessage(m_summary.finalMessage);
    }
    m_summary.errorReports = m_steps.Reports();
    return m_summary;
}

bool ImportRun::Checked()
{
    const bool create = m_settings.Mode == ImportMode::CreateNewTable;
    if (m_settings.Files.empty())
        m_summary.finalMessage = "No files added.";
    else if (!create && !m_settings.TargetTable)
        m_summary.finalMessage = "Please select a table.";
    else if (create && TableListed(m_settings.TableList, m_settings.TableNamePattern))
        m_summary.finalMessage = "Table name already exists.";
    else if (!m_settings.Encoding.empty() && !TextDecoder::Known(m_settings.Encoding))
        m_summary.finalMessage = "The encoding " + m_settings.Encoding + " is not known.";
    else
        return true;
    m_host.ShowMessage(m_summary.finalMessage);
    return false;
}

bool ImportRun::Locked(std::optional<WorkingCopyLock>& lock)
{
    // Refused before anything is sent: the other run's copy is never read.
    try {
        lock.emplace(m_workingCopy);
        return true;
    } catch (const std::exception& error) {
        m_summary.finalMessage = error.what();
    }
    m_host.ShowMessage(m_summary.finalMessage);
    return false;
}

void ImportRun::ImportFile(int counter)
{
    m_counter = counter;
    m_host.SetBusy(true);
    struct BusyOff {
        ImportHost& host;
        ~BusyOff() { host.SetBusy(false); }
    } busyOff{m_host};

    // Nothing can be sent through a connection that did not open: one report, then the next file.
    if (!m_steps.Run(120, [&] { m_connection.Open(m_settings.DataSourceName); })) {
        Skip();
        return;
    }
    // A driver without transactions may keep part of a failed batch: line by line there.
    m_batching = false;
    if (!m_settings.RowByRow)
        m_steps.Run(120, [&] { m_batching = m_connection.SupportsTransactions(); });
    std::string header;
    const std::string& path = m_settings.Files[static_cast<std::size_t>(counter - 1)];
    const FileFormat format{m_settings.Separator, m_settings.Quoted, m_settings.Encoding};
    const bool prepared = m_steps.Run(124, [&] {
        PreparedCopy copy = PrepareWorkingCopy(path, m_workingCopy, SkipFirstLine(m_settings), m_host, format);
        header = std::move(copy.header);
        m_copy = std::move(copy.copy);
        m_notes = std::move(copy.notes);
        m_nextNote = 0;
    });
    if (!prepared) {
        Skip();
    } else if (m_settings.Mode == ImportMode::CreateNewTable) {
        const std::string table = ExpandTableName(m_settings.TableNamePattern, counter);
        if (TableListed(m_settings.TableList, table)) {
            m_allTablesNew = false;
            Skip();
        } else if (m_settings.TableNamePattern.empty()) {
            Skip();  // nothing to name a table after: the file is read and left alone
        } else if (m_settings.ColumnNames == ColumnNameSource::FromFirstLine) {
            CreateFromFirstLine(table, header);
        } else {
            CreateFromAnswers(table, header);
        }
    } else {
        Append();
    }
    m_copy.Reset();
    m_steps.Run(352, [&] { m_connection.Close(); });
}

void ImportRun::CreateFromFirstLine(const std::string& table, const std::string& header)
{
    // Rows for a table that was not created would each fail on their own.
    const auto& headerFields = m_splitter.Split(header);
    const auto columns = static_cast<std::size_t>(
        std::count_if(headerFields.begin(), headerFields.end(), [](std::string_view f) { return !f.empty(); }));
    const bool created = m_steps.Run(200, [&] {
        m_connection.Execute(BuildCreateFromFields(table, headerFields, m_host));
    });
    if (!created) {
        Skip();
        return;
    }
    SendLines(table, columns, kFromFirstLineLoop);
    ListCreated(table);
}

void ImportRun::CreateFromAnswers(const std::string& table, const std::string& header)
{
    bool created = false;
    const std::size_t columns = m_splitter.Split(header).size();
    m_steps.Run(262, [&] {
        const CreateStatement create = BuildCreateFromAnswers(table, columns, m_host);
        if (create.execute) {
            m_connection.Execute(create.text);
            created = true;
        }
    });
    if (!created) {
        Skip();
        return;
    }
    SendLines(table, columns, kUserSpecifiedLoop);
    ListCreated(table);
}

void ImportRun::Append()
{
    const std::string& target = *m_settings.TargetTable;
    int tableColumns = 0;
    if (!m_steps.Run(304, [&] { tableColumns = m_connection.ColumnCount(BuildColumnCountQuery(target)); })) {
        Skip();
        return;
    }
    std::string firstLine;
    bool hasLine = false;
    if (!m_steps.Run(306, [&] {
            LineReader lines(m_copy.Get(), m_workingCopy);
            hasLine = RecordReader(lines, m_settings.Separator, m_settings.Quoted).Next(firstLine);
        })) {
        Skip();
        return;
    }
    if (!hasLine && m_notes.empty())
        return;  // nothing to append
    const auto fileColumns = m_splitter.Split(firstLine).size();
    if (!hasLine) {
        SendLines(target, fileColumns, kAppendLoop);  // only notes to report
        return;
    }
    if (fileColumns == static_cast<std::size_t>(tableColumns)) {
        SendLines(target, fileColumns, kAppendLoop);
        return;
    }
    Skip();
    m_host.ShowMessage("The columns in the text file and the columns in the table must be identical.\r\n\r\n" +
                       m_settings.Files[static_cast<std::size_t>(m_counter - 1)] + " was split by " +
                       m_settings.Separator + " and has " + std::to_string(fileColumns) +
                       " columns. The table " + target + " has " + std::to_string(tableColumns) + " columns.");
}

void ImportRun::SendLines(const std::string& table, std::size_t columns, const InsertLoopLines& lines)
{
    std::optional<LineReader> reader;
    if (!m_steps.Run(lines.open, [&] { reader.emplace(m_copy.Get(), m_workingCopy); }))
        return;
    RecordReader records(*reader, m_settings.Separator, m_settings.Quoted);
    m_batch.Start(table);
    for (long record = 0;; ++record) {
        bool more = false;
        // A file that cannot be read further ends the loop rather than failing at every step.
        if (!m_steps.Run(lines.read, [&] { more = records.Next(m_line); }) || !more)
            break;
        m_host.Yield();
        bool goOn = true;
        if (m_nextNote < m_notes.size() && m_notes[m_nextNote].record == record)
            goOn = Refuse(m_notes[m_nextNote++].description, lines.read);
        else
            goOn = m_batching ? Batched(table, columns, lines.execute) : SendLine(table, columns, lines.execute);
        if (!goOn)
            break;
    }
    // A record whose quote never closed ends the file after every other.
    while (m_nextNote < m_notes.size())
        Refuse(m_notes[m_nextNote++].description, lines.read);
    if (m_batching)
        SendBatch(lines.execute);
    m_batch.Clear();
    ReleaseIfHuge(m_line);
    ReleaseIfHuge(m_statement);
}

// A record refused before sending: reported in its place among the others.
bool ImportRun::Refuse(const std::string& description, int step)
{
    if (!m_batching) {
        m_steps.Run(step, [&] { throw StepFailure(step, description); });
        return true;
    }
    m_batch.AddRefused(description, step);
    return !m_batch.Full() || SendBatch(step);
}

std::string ShortLine(std::size_t values, const std::string& table, std::size_t columns)
{
    return "The line has " + std::to_string(values) + " values, but the table " + table + " has " +
           std::to_string(columns) + " columns. It was not sent.";
}

// False when nothing more can be sent for this file.
bool ImportRun::SendLine(const std::string& table, std::size_t columns, int step)
{
    const auto& fields = m_splitter.Split(m_line);
    if (fields.empty())
        return true;
    // Some databases fill missing trailing columns with NULL; none may.
    if (fields.size() < columns) {
        m_steps.Run(step, [&] { throw StepFailure(step, ShortLine(fields.size(), table, columns)); });
        return true;
    }
    BuildInsertInto(m_statement, table, fields);
    ReleaseIfHuge(m_line);
    return Send(m_statement, step) != Sent::Lost;
}

// Runs one line's statement under the step, as its own transaction.
ImportRun::Sent ImportRun::Send(std::string_view statement, int step)
{
    Sent outcome = Sent::Refused;
    m_steps.Run(step, [&] {
        try {
            m_connection.Execute(statement);
        } catch (const DatabaseError& error) {
            if (!error.ConnectionLost())
                throw;
            outcome = Sent::Lost;
            throw StepFailure(step, error.what() + std::string(kReplyLost));
        }
        outcome = Sent::Stored;
    });
    if (outcome == Sent::Stored)
        m_host.ReportProgress(m_counter, m_files, ++m_summary.rowsSent);
    return outcome;
}

bool ImportRun::Batched(const std::string& table, std::size_t columns, int step)
{
    const auto& fields = m_splitter.Split(m_line);
    if (fields.empty())
        return true;
    // Reports wait for the batch, so that none is shown while it is unsent
    // and all come out in file order.
    if (fields.size() < columns)
        m_batch.AddRefused(ShortLine(fields.size(), table, columns), step);
    else if (fields.size() > columns)
        m_batch.AddAlone(fields);  // no database takes more values than columns
    else
        m_batch.AddRow(fields);
    if (!m_batch.Full())
        return true;
    ReleaseIfHuge(m_line);
    return SendBatch(step);
}

bool ImportRun::SendBatch(int step)
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
bool ImportRun::SendEntries(std::size_t first, std::size_t last, int step)
{
    constexpr std::size_t kLineByLine = 8;
    const std::size_t rows = m_batch.RowsIn(first, last);
    if (rows > 1) {
        bool stored = false;
        try {
            m_connection.Execute(m_batch.Statement(first, last));
            stored = true;
        } catch (const DatabaseError& error) {
            if (error.ConnectionLost()) {
                m_steps.Run(step, [&] { throw StepFailure(step, error.what() + BatchLost(rows)); });
                return false;
            }
        } catch (const std::exception&) {
        }
        if (stored) {
            m_summary.rowsSent += static_cast<long>(rows);
            m_host.ReportProgress(m_counter, m_files, m_summary.rowsSent);
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
bool ImportRun::SendEntriesAlone(std::size_t first, std::size_t last, int step, bool withRows)
{
    for (std::size_t i = first; i < last; ++i) {
        const InsertBatch::Entry& entry = m_batch.Entries()[i];
        if (entry.kind == InsertBatch::Kind::Refused)
            m_steps.Run(step, [&] { throw StepFailure(entry.step, std::string(m_batch.Single(entry))); });
        else if ((withRows || entry.kind == InsertBatch::Kind::Alone) &&
                 Send(m_batch.Single(entry), step) == Sent::Lost)
            return false;
    }
    return true;
}

}  // namespace

bool TableListed(const std::vector<std::string>& list, const std::string& name)
{
    const std::string wanted = LowerText(name);
    return std::any_of(list.begin(), list.end(),
                       [&](const std::string& entry) { return LowerText(entry) == wanted; });
}

ImportSummary RunImport(ImportSettings& settings, ImportHost& host)
{
    // Two runs at once would share the one working copy; a second start while
    // the first yields does nothing.
    static bool running = false;
    if (running)
        return {};
    running = true;
    struct Reset {
        ~Reset() { running = false; }
    } reset;
    return ImportRun(settings, host).Run();
}

}  // namespace qb
