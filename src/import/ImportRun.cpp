#include "import/ImportRun.h"

#include "odbc/Database.h"
#include "base/AsciiCase.h"
#include "files/PathHelpers.h"
#include "base/ErrorReport.h"
#include "import/LineReader.h"
#include "import/LineSender.h"
#include "import/Records.h"
#include "import/RunRecords.h"
#include "import/StatementBuilder.h"
#include "import/TextDecoder.h"
#include "import/WorkingCopy.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <sys/stat.h>

namespace qb {
namespace {

constexpr InsertLoopLines kFromFirstLineLoop{202, 208, 232};
constexpr InsertLoopLines kUserSpecifiedLoop{264, 270, 292};
constexpr InsertLoopLines kAppendLoop{316, 322, 344};

std::uint64_t FileSize(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
}

// Runs one import. It is its own error reporter, so that every report
// raised while a file is imported carries where it comes from, and every
// rejected line is counted, logged and kept.
class ImportRun : private ErrorReporter, private SendSink {
public:
    ImportRun(ImportSettings& settings, ImportHost& host)
        : m_settings(settings), m_host(host), m_steps(*this, ProcedurePath("Form2", "PushButton1_Click")),
          m_workingCopy(WorkingCopyPath()), m_sender(m_connection, m_steps, *this, settings),
          m_start(std::chrono::steady_clock::now())
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
    void Skip() { ++m_summary.filesSkipped; }
    void ListCreated(const std::string& table)
    {
        m_settings.TableList.insert(m_settings.TableList.begin(), table);
        m_host.TableCreated(table);
    }
    double Seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override;
    void Stored(long rows, off_t reached) override;
    void At(const InsertBatch::Place& place, bool rejected) override;
    bool KeepGoing() override;
    void Progress(off_t reached);
    bool StopRequested();

    ImportSettings& m_settings;
    ImportHost& m_host;
    StepRunner m_steps;
    const std::string m_workingCopy;
    Connection m_connection;
    LineSender m_sender;
    PreparedFile m_file{-1, {}, {}, {}};
    UniqueFd m_copy;  // this file's working copy, as written
    std::uint64_t m_copySize = 0;
    std::string m_path;  // this file, as the list held it when the run reached it
    InsertBatch::Place m_place;
    bool m_inFile = false;
    bool m_rejected = false;
    std::optional<RunLog> m_log;
    std::optional<RejectsFile> m_rejects;
    ImportSummary m_summary;
    bool m_allTablesNew = true;
    int m_counter = 0;
    std::chrono::steady_clock::time_point m_start;
    std::uint64_t m_bytesTotal = 0;
    std::uint64_t m_bytesBefore = 0;  // of the files already done
    std::uint64_t m_fileSize = 0;
    long m_fileRows = 0;
};

ImportSummary ImportRun::Run()
{
    m_summary.started = true;
    std::optional<WorkingCopyLock> lock;
    if (Checked() && Locked(lock)) {
        m_summary.files = static_cast<int>(m_settings.Files.size());
        for (const auto& path : m_settings.Files)
            m_bytesTotal += FileSize(path);
        m_log.emplace(m_settings.LogFolder, std::time(nullptr));
        m_rejects.emplace(m_settings.RejectsPath);
        for (int counter = 1; counter <= m_summary.files && !m_summary.stopped; ++counter) {
            // Whatever a file throws that no step caught ends that file only.
            if (!m_steps.Run(122, [&] { ImportFile(counter); }))
                Skip();
            m_inFile = false;
            StopRequested();
        }
        m_summary.seconds = Seconds();
        m_summary.finalMessage =
            m_summary.stopped ? "Import stopped." : m_allTablesNew ? "Done." : "Table(s) already exist.";
        m_log->Finish(m_summary.finalMessage + " " + SummaryText(m_summary));
        m_summary.logPath = m_log->Path();
        for (const std::string* problem : {&m_log->Error(), &m_rejects->Error()}) {
            if (!problem->empty())
                m_summary.problems.push_back(*problem);
        }
        m_host.ShowMessage(m_summary.finalMessage);
    }
    m_summary.errorReports = m_steps.Reports();
    return m_summary;
}

bool ImportRun::Checked()
{
    m_summary.finalMessage = CheckSettings(m_settings);
    if (m_summary.finalMessage.empty())
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
    m_path = m_host.FileAt(counter, m_settings.Files[static_cast<std::size_t>(counter - 1)]);
    const bool standardInput = m_settings.DashIsStandardInput && m_path == "-";
    if (standardInput)
        m_path = "standard input";
    m_inFile = true;
    m_place = {};
    m_rejected = false;
    m_fileRows = 0;
    m_fileSize = FileSize(m_path);
    m_copySize = 0;
    // Reading a big file takes a while before its first rows are stored.
    Progress(0);
    m_log->File(m_path);
    m_host.SetBusy(true);
    struct FileEnd {
        ImportRun& run;
        ~FileEnd()
        {
            run.m_log->FileDone(run.m_fileRows);
            run.m_bytesBefore += run.m_fileSize;
            run.m_copy.Reset();
            run.m_host.SetBusy(false);
        }
    } fileEnd{*this};

    // Nothing can be sent through a connection that did not open: one report, then the next file.
    if (!m_steps.Run(120, [&] { m_connection.Open(m_settings.DataSourceName); })) {
        Skip();
        return;
    }
    std::string header;
    const FileFormat format{m_settings.Separator, m_settings.Quoted, m_settings.Encoding};
    const bool prepared = m_steps.Run(124, [&] {
        try {
            PreparedCopy copy;
            if (standardInput) {
                const UniqueFd in = SpoolStandardInput(ParentFolder(m_workingCopy));
                copy = PrepareWorkingCopy(in.Get(), m_path, m_workingCopy, SkipFirstLine(m_settings), m_host, format);
            } else {
                copy = PrepareWorkingCopy(m_path, m_workingCopy, SkipFirstLine(m_settings), m_host, format);
            }
            header = std::move(copy.header);
            m_copy = std::move(copy.copy);
            m_file = {m_copy.Get(), m_workingCopy, std::move(copy.notes), std::move(copy.jumps)};
            struct stat info {};
            m_copySize = ::fstat(m_copy.Get(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
        } catch (const ImportStopped&) {
            m_summary.stopped = true;
        }
    });
    if (m_summary.stopped)
        return;
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
    m_place = {};
    m_rejected = false;
    m_steps.Run(352, [&] { m_connection.Close(); });
}

void ImportRun::CreateFromFirstLine(const std::string& table, const std::string& header)
{
    RecordSplitter splitter(m_settings.Separator, m_settings.Quoted);
    const auto& fields = splitter.Split(header);
    const std::size_t columns = NamedColumns(fields);
    // Rows for a table that was not created would each fail on their own.
    const bool created = m_steps.Run(200, [&] { m_connection.Execute(BuildCreateFromFields(table, fields, m_host)); });
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
    const std::size_t columns = RecordSplitter(m_settings.Separator, m_settings.Quoted).Split(header).size();
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
    if (!hasLine)
        return;  // nothing to append
    const auto fileColumns = RecordSplitter(m_settings.Separator, m_settings.Quoted).Split(firstLine).size();
    if (fileColumns == static_cast<std::size_t>(tableColumns)) {
        SendLines(target, fileColumns, kAppendLoop);
        return;
    }
    Skip();
    m_host.ShowMessage("The columns in the text file and the columns in the table must be identical.\r\n\r\n" +
                       m_path + " was split by " + m_settings.Separator + " and has " + std::to_string(fileColumns) +
                       " columns. The table " + target + " has " + std::to_string(tableColumns) + " columns.");
}

void ImportRun::SendLines(const std::string& table, std::size_t columns, const InsertLoopLines& lines)
{
    m_log->Table(table);
    // A table without transactions may keep part of a refused batch: line by line there.
    bool batching = false;
    if (!m_settings.RowByRow)
        m_steps.Run(lines.open, [&] { batching = m_connection.IsTransactional(table); });
    m_sender.Send(m_file, table, columns, lines, batching);
    m_place = {};
    m_rejected = false;
}

void ImportRun::ShowErrorReport(const std::string& procedure, int line, const std::string& description)
{
    if (!m_inFile) {
        m_host.ShowErrorReport(procedure, line, description);
        return;
    }
    LineContext context{m_path, m_place.line, {}, m_rejected};
    if (m_place.length > 0)
        context.bytes = ReadBytes(m_copy.Get(), m_place.offset, m_place.length, kContextBytes);
    if (m_rejected) {
        ++m_summary.linesRejected;
        m_log->Rejected(m_place.line, description, m_copy.Get(), m_place.offset, m_place.length);
        m_rejects->Add(m_copy.Get(), m_place.offset, m_place.length);
    }
    m_host.ShowLineReport(procedure, line, description, context);
}

void ImportRun::Stored(long rows, off_t reached)
{
    m_summary.rowsSent += rows;
    m_fileRows += rows;
    m_place = {};
    m_rejected = false;
    Progress(reached);
}

// reached: how far into this file's working copy the run has come.
void ImportRun::Progress(off_t reached)
{
    ImportProgress progress{m_counter, m_summary.files, m_path, m_fileRows, m_summary.rowsSent, m_bytesBefore,
                            m_bytesTotal, Seconds()};
    if (m_copySize > 0)
        progress.bytesDone += static_cast<std::uint64_t>(static_cast<double>(m_fileSize) *
                                                         static_cast<double>(reached) / static_cast<double>(m_copySize));
    m_host.ReportProgress(progress);
}

void ImportRun::At(const InsertBatch::Place& place, bool rejected)
{
    m_place = place;
    m_rejected = rejected;
}

bool ImportRun::KeepGoing()
{
    m_host.Yield();
    return !StopRequested();
}

bool ImportRun::StopRequested()
{
    if (!m_summary.stopped && m_host.StopRequested())
        m_summary.stopped = true;
    return m_summary.stopped;
}

std::string Counted(long count, const char* one, const char* many)
{
    return GroupedNumber(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string CheckSettings(const ImportSettings& settings)
{
    const bool create = settings.Mode == ImportMode::CreateNewTable;
    if (settings.Files.empty())
        return "No files added.";
    if (!create && !settings.TargetTable)
        return "Please select a table.";
    if (create && TableListed(settings.TableList, settings.TableNamePattern))
        return "Table name already exists.";
    if (!settings.Encoding.empty() && !TextDecoder::Known(settings.Encoding))
        return "The encoding " + settings.Encoding + " is not known.";
    return {};
}

std::string GroupedNumber(long value)
{
    const std::string digits = std::to_string(value < 0 ? -value : value);
    std::string grouped = value < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

bool TableListed(const std::vector<std::string>& list, const std::string& name)
{
    const std::string wanted = LowerText(name);
    return std::any_of(list.begin(), list.end(),
                       [&](const std::string& entry) { return LowerText(entry) == wanted; });
}

std::string SummaryText(const ImportSummary& summary)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", summary.seconds);
    return Counted(summary.files, "file", "files") + ", " + Counted(summary.rowsSent, "row", "rows") +
           " imported, " + Counted(summary.linesRejected, "line", "lines") + " rejected, " +
           Counted(summary.filesSkipped, "file", "files") + " skipped, in " + seconds + " s";
}

std::string StatusText(const ImportProgress& progress)
{
    const std::size_t slash = progress.path.find_last_of('/');
    std::string text = "File " + std::to_string(progress.file) + " of " + std::to_string(progress.files) + ": " +
                       (slash == std::string::npos ? progress.path : progress.path.substr(slash + 1)) + ", " +
                       Counted(progress.rowsInFile, "row", "rows");
    // No rate before a row is stored: "0 rows/s" would say nothing.
    if (progress.seconds <= 0 || progress.rows == 0)
        return text;
    text += ", " + GroupedNumber(static_cast<long>(static_cast<double>(progress.rows) / progress.seconds)) + " rows/s";
    if (progress.bytesDone > 0 && progress.bytesTotal >= progress.bytesDone) {
        const double left = progress.seconds * static_cast<double>(progress.bytesTotal - progress.bytesDone) /
                            static_cast<double>(progress.bytesDone);
        const long whole = static_cast<long>(left + 0.5);
        char clock[32];
        std::snprintf(clock, sizeof clock, "%ld:%02ld", whole / 60, whole % 60);
        text += std::string(", about ") + clock + " left";
    }
    return text;
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
