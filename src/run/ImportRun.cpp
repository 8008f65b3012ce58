#include "run/ImportRun.h"

#include "base/AsciiCase.h"
#include "base/ErrorReport.h"
#include "base/SafeFile.h"
#include "base/StepFailure.h"
#include "base/TemporaryFiles.h"
#include "files/PathHelpers.h"
#include "base/Sha256.h"
#include "load/BusyWait.h"
#include "schema/CreateChecks.h"
#include "load/FileClaim.h"
#include "load/ImportManifest.h"
#include "run/FileReports.h"
#include "load/LineSender.h"
#include "run/LogAndRejects.h"
#include "read/Records.h"
#include "run/RunTexts.h"
#include "odbc/SqlText.h"
#include "schema/Naming.h"
#include "schema/CreateStatement.h"
#include "schema/TypeNames.h"
#include "run/AskedNames.h"
#include "load/StatementBuilder.h"
#include "run/WorkingCopy.h"
#include "load/BulkChoice.h"
#include "odbc/Database.h"

#include <chrono>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <sys/stat.h>
#include <unistd.h>

namespace qb {
namespace {

constexpr InsertLoopLines kFromFirstLineLoop{202, 208, 232};
constexpr InsertLoopLines kUserSpecifiedLoop{264, 270, 292};
constexpr InsertLoopLines kAppendLoop{316, 322, 344};

// A CREATE that the checks refuse ends its step, and its file, with a report.
void Refuse(int step, const std::string& refusal)
{
    if (!refusal.empty())
        throw StepFailure(step, refusal);
}

// No first line and no records: nothing to name a column.
bool IsEmpty(const PreparedCopy& copy)
{
    return copy.header.empty() && copy.lines.empty();
}

// One file of a run: where its reports go, the steps they come from, and
// its working copy once written.
struct OneFile {
    OneFile(FileReports& fileReports, StepRunner& fileSteps, std::string listedAs)
        : reports(fileReports), steps(fileSteps), listed(std::move(listedAs))
    {
    }

    FileReports& reports;
    StepRunner& steps;
    PreparedCopy copy;
    std::optional<TypeLearning> types;  // learnt while copying, when the run guesses them
    std::string listed;  // the file as the list names it
    // Where the manifest is kept: the file's bytes, opened once to be known by their digest.
    UniqueFd input;
    std::string digest;
    std::uint64_t size = 0;
    std::string target;  // the table as the manifest names it
    std::optional<FileClaim> claim;  // held while the file is imported
    std::optional<ManifestEntry> earlier;  // the manifest's row from an earlier run: go on from there
    bool startedOver = false;  // the manifest's row was forgotten: into the table it made, from the first line
    std::optional<FileProgress> progress;
    bool interrupted = false;  // the run was stopped before the file's end
};

// Runs one import: checks, the lock, then each file in turn.
class ImportRun {
public:
    ImportRun(ImportSettings& settings, ImportHost& host)
        : m_settings(settings), m_host(host), m_workingCopy(WorkingCopyPath()), m_sender(m_connection, SendOptionsOf(settings))
    {
    }

    ImportSummary Run();

private:
    bool Checked();
    bool Locked(std::optional<WorkingCopyLock>& lock);
    bool ResumeAllowed();
    std::string KeepManifest();
    UniqueFd OpenFile(const std::string& path, bool standardInput);
    bool Recall(OneFile& file, const std::string& path, bool standardInput, const std::string& table, RunLog& log);
    void StartManifest(OneFile& file);
    void ImportFile(RunTally& tally, int counter);
    std::string TargetOf(int counter, const std::string& path) const;
    std::string ManifestTarget(const std::string& table) const;
    void KnowFile(OneFile& file, const std::string& path, bool standardInput, const std::string& table, RunLog& log);
    bool StillHolds(const std::string& table, const std::string& target, RunLog& log);
    void FinishUnsent(OneFile& file, int step);
    bool Prepare(OneFile& file, const std::string& path, bool standardInput);
    void CreateFromFirstLine(OneFile& file, const std::string& table, bool exists);
    void CreateFromAnswers(OneFile& file, const std::string& table, bool exists);
    void Append(OneFile& file, const std::string& path);
    void SendLines(OneFile& file, const std::string& table, std::size_t columns, const InsertLoopLines& lines,
                   const std::vector<bool>& kept = {});
    void Skip() { ++m_summary.filesSkipped; }
    bool Connected(StepRunner& steps, FileReports& reports);
    // A statement of a file, waited for while the database is busy as the file's lines are.
    template <typename Work>
    void Patiently(FileReports& reports, Work&& work)
    {
        WaitWhileBusy(m_settings.BusySeconds, [&] { return reports.KeepGoing(); }, std::forward<Work>(work));
    }
    // The new table's column types: none (TEXT) unless the run guesses them.
    std::vector<std::string> Types(const OneFile& file, std::size_t columns)
    {
        return file.types ? TypesFor(file.types->guesser, m_connection.Kind(), columns)
                          : std::vector<std::string>{};
    }
    void List(const std::string& table)
    {
        m_listed.emplace(LowerText(table), table);
        m_listedExactly.insert(table);
    }
    void ListCreated(const std::string& table)
    {
        m_created.push_back(table);
        List(table);
        m_host.TableCreated(table);
    }

    ImportSettings& m_settings;
    ImportHost& m_host;
    const std::string m_workingCopy;
    Connection m_connection;
    std::unique_ptr<BulkLoader> m_bulk;  // for m_connection's data source, where it has one
    bool m_bulkChosen = false;  // for the connection open now
    std::string m_bulkNote;  // which way batches went, or why not the bulk path: once, at the log's end
    LineSender m_sender;
    std::optional<ImportManifest> m_manifest;  // when the run remembers what it imported
    ImportSummary m_summary;
    bool m_allTablesNew = true;
    // The listed names as they compare, learnt once: a file's cost must not
    // grow with the number of tables.
    // Folded as the databases that ignore case in names fold them, to the first name listed so.
    std::unordered_map<std::string, std::string> m_listed;
    std::unordered_set<std::string> m_listedExactly;
    // Tables whose rows were checked against what the manifest says was stored in them.
    std::unordered_set<std::string> m_checkedTargets;
    // Tables made, in order: put at the front of the list when the run ends, not one by one.
    std::vector<std::string> m_created;
};

ImportSummary ImportRun::Run()
{
    m_summary.started = true;
    std::optional<WorkingCopyLock> lock;
    if (!Checked() || !Locked(lock) || !ResumeAllowed())
        return m_summary;
    m_summary.files = static_cast<int>(m_settings.Files.size());
    for (const auto& name : m_settings.TableList)
        List(name);
    // The working copy holds a file's data: it goes when the run ends, however it ends.
    const TemporaryFileGuard copyOnSignal(m_workingCopy);
    struct RemoveCopy {
        const std::string& path;
        ~RemoveCopy() { ::unlink(path.c_str()); }
    } removeCopy{m_workingCopy};
    RunLog log(m_settings.LogFolder, std::time(nullptr));
    RejectsFile rejects(m_settings.RejectsPath);
    RunTally tally{m_host, m_summary, log, rejects, ProcedurePath("Form2", "PushButton1_Click")};
    for (const auto& path : m_settings.Files)
        tally.bytesTotal += FileSize(path);
    for (int counter = 1; counter <= m_summary.files && !m_summary.stopped; ++counter) {
        ImportFile(tally, counter);
        tally.StopRequested();
    }
    m_settings.TableList.insert(m_settings.TableList.begin(), m_created.rbegin(), m_created.rend());
    m_summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - tally.start).count();
    m_summary.finalMessage =
        m_summary.stopped ? "Import stopped." : m_allTablesNew ? "Done." : "Table(s) already exist.";
    if (!m_bulkNote.empty())
        log.Note(m_bulkNote);
    log.Finish(m_summary.stopped ? SummaryText(m_summary) : m_summary.finalMessage + " " + SummaryText(m_summary));
    m_summary.logPath = log.Path();
    for (const std::string* problem : {&log.Error(), &rejects.Error()}) {
        if (!problem->empty())
            m_summary.problems.push_back(*problem);
    }
    m_host.RunEnded(m_summary);
    if (m_summary.stopped)
        m_host.ShowMessage(m_summary.finalMessage + "\r\n\r\n" + StoppedText(m_summary));
    else
        m_host.ShowFinalMessage(m_summary.finalMessage, OutcomeText(m_summary));
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

// Remembering needs each batch and its count to commit together: refused up front where they cannot.
bool ImportRun::ResumeAllowed()
{
    if (!m_settings.Resume)
        return true;
    try {
        m_connection.Open(m_settings.DataSourceName);
        m_summary.finalMessage = KeepManifest();
    } catch (const std::exception&) {
        m_manifest.reset();
        m_connection.Close();
        return true;  // each file reports the connection, as it would without the manifest
    }
    if (m_summary.finalMessage.empty())
        return true;
    m_host.ShowMessage(m_summary.finalMessage);
    return false;
}

// The manifest on the open connection, made when missing; why it cannot be kept there, or empty text.
std::string ImportRun::KeepManifest()
{
    m_manifest.emplace(m_connection);
    std::string refusal = ResumeRefusal(m_connection, m_settings, true);
    if (!refusal.empty())
        m_manifest.reset();
    return refusal;
}

// The file's bytes: standard input kept aside first, a file decompressed where packed.
UniqueFd ImportRun::OpenFile(const std::string& path, bool standardInput)
{
    return standardInput ? SpoolStandardInput(ParentFolder(m_workingCopy)) : OpenSource(path, m_workingCopy);
}

std::string ImportRun::TargetOf(int counter, const std::string& path) const
{
    return m_settings.Mode == ImportMode::CreateNewTable
               ? ExpandTableName(m_settings.TableNamePattern, counter, path, m_settings.KeepLetters)
               : m_settings.TargetTable.value_or("");
}

// The table as the manifest knows it: as listed, where the database took the name in another case.
std::string ImportRun::ManifestTarget(const std::string& table) const
{
    if (m_listedExactly.contains(table))
        return table;
    const auto listed = m_listed.find(LowerText(table));
    return listed == m_listed.end() ? table : listed->second;
}

// Knows the file by its bytes' digest, and claims its row of the manifest. False when the manifest holds
// it as imported into the same table already (said in the log), it cannot be read, or another run is
// importing it into the same table (reported).
bool ImportRun::Recall(OneFile& file, const std::string& path, bool standardInput, const std::string& table,
                       RunLog& log)
{
    if (!m_manifest)
        return true;
    if (!file.steps.Run(124, [&] { KnowFile(file, path, standardInput, table, log); })) {
        Skip();
        return false;
    }
    if (!file.earlier || !file.earlier->Done(m_settings.RetryRefused))
        return true;
    log.Note(file.reports.Path() + ": already imported on " + *file.earlier->finished + " into " + table + ".");
    ++m_summary.filesAlreadyImported;
    return false;
}

void ImportRun::KnowFile(OneFile& file, const std::string& path, bool standardInput, const std::string& table,
                         RunLog& log)
{
    UniqueFd input = OpenFile(path, standardInput);
    // The digest names the bytes imported: they are copied aside in the pass that reads them, so that a
    // file changed meanwhile is imported whole as it was when it was known. A nameless copy is ours already.
    try {
        struct stat info {};
        if (::fstat(input.Get(), &info) == 0 && info.st_nlink == 0) {
            file.digest = ContentDigest(input.Get());
            file.input = std::move(input);
        } else {
            file.input = NamelessFile(ParentFolder(m_workingCopy), path);
            file.digest = ContentDigest(input.Get(), file.input.Get());
        }
    } catch (const std::exception& error) {
        throw StepFailure(126, error.what());
    }
    struct stat info {};
    if (::fstat(file.input.Get(), &info) == 0)
        file.size = static_cast<std::uint64_t>(info.st_size);
    file.target = ManifestTarget(table);
    // Another run's claim is waited for as a busy database is: one that was killed lets go once its
    // server notices.
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(m_settings.BusySeconds);
    for (auto pause = std::chrono::milliseconds(20);; pause = std::min(pause * 2, std::chrono::milliseconds(1000))) {
        Patiently(file.reports, [&] {
            if (std::optional<FileClaim> claim = FileClaim::Take(m_connection, file.digest, file.target))
                file.claim.emplace(std::move(*claim));
        });
        if (file.claim)
            break;
        if (std::chrono::steady_clock::now() + pause > until || !file.reports.KeepGoing())
            throw StepFailure(124, "Another run is importing " + file.reports.Path() + " into " + table +
                                       " at this moment, so it was left to that run.");
        std::this_thread::sleep_for(pause);
    }
    Patiently(file.reports, [&] { file.earlier = m_manifest->Find(file.digest, file.target); });
    if (file.earlier && !StillHolds(table, file.target, log)) {
        file.earlier.reset();
        file.startedOver = true;
    }
}

// Whether the table holds at least the rows the manifest says were stored in it, asked once a run. When
// not (it was dropped, emptied or made again), what was remembered of it is forgotten: its files start
// again from their first line.
bool ImportRun::StillHolds(const std::string& table, const std::string& target, RunLog& log)
{
    if (!m_checkedTargets.insert(target).second)
        return true;
    std::string why;
    if (m_settings.Mode == ImportMode::CreateNewTable && !m_listed.contains(LowerText(table))) {
        why = "the table does not exist any more";
    } else {
        long rows = 0;
        try {
            rows = std::stol(m_connection.QueryStrings("SELECT COUNT(*) FROM " + QuoteIdentifier(table))
                                 .at(0).at(0).value_or("0"));
        } catch (const std::exception&) {
            return true;  // a table that cannot be counted fails on its own when the file reaches it
        }
        const long stored = m_manifest->StoredInto(target);
        if (rows >= stored)
            return true;
        why = "the table holds " + GroupedNumber(rows) + " rows of the " + GroupedNumber(stored) +
              " stored in it";
    }
    m_manifest->Forget(target);
    log.Note("What was remembered of the imports into " + table + " was forgotten (" + why +
             "): its files are imported from their first line.");
    return false;
}

// The file's row in the manifest: new, or the earlier run's to go on from.
void ImportRun::StartManifest(OneFile& file)
{
    if (!m_manifest)
        return;
    if (!file.earlier)
        Patiently(file.reports, [&] {
            m_manifest->Begin({file.digest, file.target, file.reports.Path(), file.size, 0, 0, 0,
                               ManifestTime(std::time(nullptr)), std::nullopt});
        });
    else if (!file.earlier->finished)
        ++m_summary.filesContinued;
    std::vector<long> refused;
    if (file.earlier && file.earlier->Retries(m_settings.RetryRefused))
        Patiently(file.reports, [&] { refused = m_manifest->RefusedLines(file.digest, file.target); });
    file.progress.emplace(file.digest, file.target, file.earlier ? &*file.earlier : nullptr, std::move(refused));
}

void ImportRun::ImportFile(RunTally& tally, int counter)
{
    std::string path = m_settings.Files[static_cast<std::size_t>(counter - 1)];
    const std::string listed = path;
    const bool standardInput = m_settings.DashIsStandardInput && path == "-";
    if (standardInput)
        path = "standard input";
    FileReports reports(tally, counter, path);
    m_host.SetBusy(true);
    struct Idle {
        ImportHost& host;
        ~Idle() { host.SetBusy(false); }
    } idle{m_host};
    StepRunner steps(reports, tally.procedure);
    OneFile file(reports, steps, listed);
    ++m_summary.filesReached;
    const int passedOver = m_summary.filesSkipped + m_summary.filesCut + m_summary.filesAlreadyImported;
    struct Tally {
        ImportSummary& summary;
        const OneFile& file;
        int passedOver;
        ~Tally()
        {
            if (summary.filesSkipped + summary.filesCut + summary.filesAlreadyImported > passedOver)
                return;
            ++(file.interrupted ? summary.filesInterrupted : summary.filesDone);
        }
    } countOnEnd{m_summary, file, passedOver};

    // Whatever a file throws that no step caught ends that file only.
    const bool done = steps.Run(122, [&] {
        if (!Connected(steps, reports)) {
            Skip();
            return;
        }
        const std::string table = TargetOf(counter, path);
        if (!Recall(file, path, standardInput, table, tally.log))
            return;
        if (!Prepare(file, path, standardInput)) {
            if (!m_summary.stopped)
                Skip();
        } else if (m_settings.Mode == ImportMode::CreateNewTable) {
            // A file cut short goes on into the table it made.
            const bool exists = m_listed.contains(LowerText(table));
            if (exists && !file.earlier && !file.startedOver) {
                m_allTablesNew = false;
                Skip();
            } else if (m_settings.TableNamePattern.empty()) {
                Skip();  // nothing to name a table after: the file is read and left alone
            } else {
                StartManifest(file);
                if (m_settings.ColumnNames == ColumnNameSource::FromFirstLine)
                    CreateFromFirstLine(file, table, exists);
                else
                    CreateFromAnswers(file, table, exists);
            }
        } else {
            StartManifest(file);
            Append(file, path);
        }
    });
    if (!done)
        Skip();
}

// One connection serves every file; a new one only where it never opened or was lost. One that does not
// open costs one report, then the next file tries again.
bool ImportRun::Connected(StepRunner& steps, FileReports& reports)
{
    if (!m_connection.Alive()) {
        m_bulk.reset();
        m_bulkChosen = false;
        if (!steps.Run(120, [&] {
                // The manifest, where the run's first connection could not make it.
                const bool makeManifest = m_settings.Resume && !m_manifest;
                std::string refusal;
                Patiently(reports, [&] {
                    m_connection.Open(m_settings.DataSourceName);
                    if (makeManifest)
                        refusal = KeepManifest();
                });
                if (!refusal.empty()) {
                    m_connection.Close();
                    throw StepFailure(120, refusal);
                }
            }))
            return false;
    }
    // Once per connection, whichever opened it.
    if (m_bulkChosen || m_settings.RowByRow || !m_settings.BulkPath)
        return true;
    // Without its bulk path a run still goes on, through the driver.
    BulkChoice choice;
    try {
        Patiently(reports, [&] { choice = ChooseBulkLoader(m_connection, m_settings.DataSourceName); });
    } catch (const std::exception& error) {
        // Still busy after the wait: this file goes through the driver, the next one asks again.
        if (const auto* database = dynamic_cast<const DatabaseError*>(&error); database && database->Busy())
            return true;
        choice.note = error.what();
    }
    m_bulkChosen = true;
    m_bulk = std::move(choice.loader);
    if (m_bulkNote.empty())
        m_bulkNote = m_bulk ? "Batches go through " + choice.path + "." : choice.note;
    return true;
}

bool ImportRun::Prepare(OneFile& file, const std::string& path, bool standardInput)
{
    return file.steps.Run(124, [&] {
        try {
            const FileFormat format = FormatOf(m_settings);
            if (m_settings.GuessTypes && m_settings.Mode == ImportMode::CreateNewTable)
                file.types.emplace(TypeLearning{RecordSplitter(m_settings.Separator, m_settings.Quoted), {}, 0});
            TypeLearning* types = file.types ? &*file.types : nullptr;
            // Opened once: where the manifest is kept, its digest was read from it already.
            if (!file.input.Valid())
                file.input = OpenFile(path, standardInput);
            file.copy = PrepareWorkingCopy(file.input.Get(), path, m_workingCopy, SkipFirstLine(m_settings), m_host,
                                           format, types);
            file.reports.Copied(file.copy);
        } catch (const ImportStopped&) {
            m_summary.stopped = true;
            file.interrupted = true;
        }
    }) && !m_summary.stopped;
}

void ImportRun::CreateFromFirstLine(OneFile& file, const std::string& table, bool exists)
{
    RecordSplitter splitter(m_settings.Separator, m_settings.Quoted);
    const auto& fields = splitter.Split(file.copy.header);
    const std::size_t columns = fields.size();
    // Columns edited in the preview, by name; what the edits leave alone follows the options.
    const ColumnPlan* plan = PlanFor(m_settings, file.listed);
    const PlannedTable planned = Planned(ColumnNames(fields, m_settings.KeepLetters), Types(file, columns), plan);
    // Edits that do nothing are said, and the file goes on without them.
    if (!exists && !IsEmpty(file.copy) && !planned.missing.empty())
        file.steps.Run(200, [&] { Refuse(200, MissingEdits(file.reports.Path(), planned)); });
    // Rows for a table that was not created would each fail on their own.
    const bool created = exists || file.steps.Run(200, [&] {
        Refuse(200, CheckCreateFromFields(file.reports.Path(), table, IsEmpty(file.copy), fields,
                                          m_connection.Limits(), m_settings.KeepLetters));
        if (plan)
            Refuse(200, CheckPlan(file.reports.Path(), planned, m_connection.Limits()));
        const std::string create = BuildCreate(table, planned.names, planned.types);
        Patiently(file.reports, [&] { m_connection.Execute(create); });
    });
    if (!created) {
        Skip();
        return;
    }
    SendLines(file, table, columns, kFromFirstLineLoop, planned.kept);
    if (!exists)
        ListCreated(table);
}

void ImportRun::CreateFromAnswers(OneFile& file, const std::string& table, bool exists)
{
    bool created = exists;
    const std::size_t columns = RecordSplitter(m_settings.Separator, m_settings.Quoted).Split(file.copy.header).size();
    if (!exists)
        file.steps.Run(262, [&] {
        // Refused before a name is asked for.
        const NameLimits& limits = m_connection.Limits();
        Refuse(262, CheckNewTable({file.reports.Path(), table, IsEmpty(file.copy), columns}, limits));
        const CreateStatement create =
            BuildCreateFromAnswers(table, columns, m_host, m_settings.KeepLetters, Types(file, columns));
        if (create.execute) {
            Refuse(262, CheckColumnNames(create.names, limits));
            Patiently(file.reports, [&] { m_connection.Execute(create.text); });
            created = true;
        }
    });
    if (!created) {
        Skip();
        return;
    }
    SendLines(file, table, columns, kUserSpecifiedLoop);
    if (!exists)
        ListCreated(table);
}

void ImportRun::Append(OneFile& file, const std::string& path)
{
    const std::string& target = *m_settings.TargetTable;
    int tableColumns = 0;
    if (!file.steps.Run(304, [&] {
            Patiently(file.reports, [&] { tableColumns = m_connection.ColumnCount(BuildColumnCountQuery(target)); });
        })) {
        Skip();
        return;
    }
    FileRecord first;
    bool hasRecord = false;
    if (!file.steps.Run(306, [&] {
            FileRecords records(FileRecords::WorkingCopy{}, file.copy.copy.Get(), file.copy.name, FormatOf(m_settings));
            hasRecord = records.Next(first);
        })) {
        Skip();
        return;
    }
    if (!hasRecord) {
        FinishUnsent(file, 306);  // nothing to append: done all the same
        return;
    }
    const auto fileColumns = RecordSplitter(m_settings.Separator, m_settings.Quoted).Split(first.text).size();
    if (fileColumns == static_cast<std::size_t>(tableColumns)) {
        SendLines(file, target, fileColumns, kAppendLoop);
        return;
    }
    Skip();
    m_host.ShowMessage("The columns in the text file and the columns in the table must be identical.\r\n\r\n" + path +
                       " was split by " + m_settings.Separator + " and has " + std::to_string(fileColumns) +
                       " columns. The table " + target + " has " + std::to_string(tableColumns) + " columns.");
}

// A file whose lines are all dealt with before any is sent: the manifest holds it as done.
void ImportRun::FinishUnsent(OneFile& file, int step)
{
    if (!file.progress)
        return;
    file.steps.Run(step, [&] {
        const auto& finish = file.progress->Finished(0, ManifestTime(std::time(nullptr)));
        Patiently(file.reports, [&] { m_connection.Together([] {}, finish); });
        file.progress->Committed();
    });
}

void ImportRun::SendLines(OneFile& file, const std::string& table, std::size_t columns, const InsertLoopLines& lines,
                          const std::vector<bool>& kept)
{
    file.reports.Table(table);
    // A table without transactions may keep part of a refused batch: line by line there. Nor can it
    // commit its lines with their count in the manifest.
    bool transactional = false;
    if (!m_settings.RowByRow || file.progress) {
        const bool known = file.steps.Run(lines.open, [&] {
            Patiently(file.reports, [&] { transactional = m_connection.IsTransactional(table); });
            if (file.progress && !transactional)
                throw StepFailure(lines.open, "The table " + table + " keeps no transactions, so its lines and "
                                              "their count could not be stored together. It was left alone.");
        });
        // Without the manifest, a table not known to keep transactions goes line by line.
        if (!known && file.progress) {
            Skip();
            return;
        }
    }
    const bool batching = transactional && !m_settings.RowByRow;
    // After a lost connection the next file starts on a new one, whatever its driver knows.
    if (!m_sender.Send(file.copy, table, columns, kept, lines, batching, batching ? m_bulk.get() : nullptr,
                       file.steps, file.reports, file.progress ? &*file.progress : nullptr)) {
        m_bulk.reset();
        m_connection.Close();
    }
    file.interrupted = m_sender.Stopped();
}

}  // namespace

bool Succeeded(const ImportSummary& summary)
{
    // A file cut short is a failure too, whatever the word.
    return summary.finalMessage == "Done." && summary.filesSkipped == 0 && summary.filesCut == 0 &&
           summary.errorReports == 0 && summary.problems.empty();
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
