#include "run/ImportRun.h"

#include "base/ErrorReport.h"
#include "files/PathHelpers.h"
#include "load/BulkChoice.h"
#include "read/WorkingFolder.h"
#include "read/SeparatorGuess.h"
#include "run/Importer.h"
#include "run/RunTexts.h"
#include "schema/Naming.h"

#include <chrono>

namespace qb {

ImportSummary Importer::Run()
{
    m_summary.started = true;
    if (!Checked() || !Placed() || !ResumeAllowed())
        return m_summary;
    Begin();
    const WorkingCopyGuard copyGuard(*m_runFolder, m_workingCopy);
    RunLog log(m_settings.LogFolder, std::time(nullptr));
    RejectsFile rejects(m_settings.RejectsPath, m_settings.RejectReasonsPath);
    RunTally tally{m_host, m_summary, log, rejects, ProcedurePath("Form2", "PushButton1_Click")};
    std::unordered_set<std::string> names, repeated;
    for (const auto& path : m_settings.Files) {
        tally.bytesTotal += FileSize(path);
        if (!names.insert(BaseName(path)).second)
            repeated.insert(BaseName(path));
    }
    tally.repeatedNames = &repeated;
    if (const int jobs = JobsFor(log); jobs > 1) {
        RunJobs(tally, jobs);
    } else {
        for (int counter = 1; counter <= m_summary.files && !m_summary.stopped; ++counter) {
            ImportFile(tally, counter);
            tally.StopRequested();
        }
    }
    m_settings.TableList.insert(m_settings.TableList.begin(), m_created.rbegin(), m_created.rend());
    m_settings.Separator = m_separator;
    m_summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - tally.start).count();
    m_summary.finalMessage =
        m_summary.stopped ? "Import stopped." : m_allTablesNew ? "Done." : "Table(s) already exist.";
    if (!m_bulkNote.empty())
        log.Note(m_bulkNote);
    log.Finish(m_summary.stopped ? SummaryText(m_summary) : m_summary.finalMessage + " " + SummaryText(m_summary));
    m_summary.logPath = log.Path();
    for (const std::string* problem : {&log.Error(), &rejects.Error(), &rejects.ReasonsError()}) {
        if (!problem->empty())
            m_summary.problems.push_back(*problem);
    }
    m_host.RunEnded(m_summary);
    if (m_summary.stopped)
        m_host.ShowStoppedMessage(m_summary.finalMessage + "\r\n\r\n" + StoppedText(m_summary));
    else
        m_host.ShowFinalMessage(m_summary.finalMessage, OutcomeText(m_summary));
    return m_summary;
}

void Importer::Begin()
{
    m_summary.files = static_cast<int>(m_settings.Files.size());
    if (m_settings.Mode == ImportMode::AppendToExistingTable)
        m_summary.onDuplicate = m_settings.OnDuplicateKey;
    for (const auto& name : m_settings.TableList)
        List(name);
    if (m_settings.Mode == ImportMode::CreateNewTable)
        m_replace.insert(m_settings.ReplaceTables.begin(), m_settings.ReplaceTables.end());
    m_emptyPending = m_settings.Replace && m_settings.Mode == ImportMode::AppendToExistingTable;
}

bool Importer::Checked()
{
    m_summary.finalMessage = CheckSettings(m_settings);
    if (m_summary.finalMessage.empty())
        return true;
    m_host.ShowMessage(m_summary.finalMessage);
    return false;
}

bool Importer::Placed()
{
    // In a folder of its own: another run's copy is never read, and runs go side by side.
    try {
        m_runFolder.emplace(PrivateFolder());
        m_workingCopy = m_runFolder->WorkingCopy();
        return true;
    } catch (const std::exception& error) {
        m_summary.finalMessage = error.what();
    }
    m_host.ShowMessage(m_summary.finalMessage);
    return false;
}

// The file's bytes: standard input kept aside first, a file decompressed where packed.
UniqueFd Importer::OpenFile(const std::string& path, bool standardInput)
{
    return standardInput ? SpoolStandardInput(ParentFolder(m_workingCopy)) : OpenSource(path, m_workingCopy);
}

std::string Importer::TargetOf(int counter, const std::string& path) const
{
    return m_settings.Mode == ImportMode::CreateNewTable
               ? ExpandTableName(m_settings.TableNamePattern, counter, path, m_settings.KeepLetters)
               : m_settings.TargetTable.value_or("");
}

void Importer::ImportFile(RunTally& tally, int counter)
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
    OneFile file(reports, steps, listed, counter);
    ++m_summary.filesReached;
    struct Tally {
        ImportSummary& summary;
        const OneFile& file;
        // The counts as the file began.
        int cut = summary.filesCut, already = summary.filesAlreadyImported, skipped = summary.filesSkipped,
            continued = summary.filesContinued;
        ~Tally()
        {
            const char* outcome = summary.filesCut > cut                       ? "cut short"
                                  : summary.filesAlreadyImported > already     ? "already imported"
                                  : summary.filesSkipped > skipped             ? "skipped"
                                  : file.interrupted                           ? "stopped"
                                  : summary.filesContinued > continued         ? "continued"
                                                                               : "done";
            file.reports.Outcome(outcome);
            if (summary.filesSkipped + summary.filesCut + summary.filesAlreadyImported > skipped + cut + already)
                return;
            ++(file.interrupted ? summary.filesInterrupted : summary.filesDone);
        }
    } countOnEnd{m_summary, file};

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
            bool exists = m_listed.contains(LowerText(table));
            const bool anew = exists && !file.earlier && !file.startedOver;
            // Replaced once a run: a later file of the run appends to what the first made.
            const IfExists ifExists = m_settings.IfTableExists;
            const bool madeHere = m_madeHere.contains(LowerText(table));
            std::string dropped = table;  // as the list names it, where it is replaced
            if (anew && ifExists == IfExists::Replace && !madeHere) {
                dropped = m_listed.at(LowerText(table));
                m_replace.insert(dropped);
                m_madeHere.insert(LowerText(table));
                exists = false;
            }
            if (anew && (ifExists == IfExists::Append || (ifExists == IfExists::Replace && madeHere))) {
                StartManifest(file);
                Append(file, path, table);
            } else if (anew && exists) {
                m_allTablesNew = false;
                Skip();
            } else if (m_settings.TableNamePattern.empty()) {
                Skip();  // nothing to name a table after: the file is read and left alone
            } else {
                StartManifest(file);
                if (m_settings.ColumnNames == ColumnNameSource::FromFirstLine)
                    CreateFromFirstLine(file, table, dropped, exists);
                else
                    CreateFromAnswers(file, table, dropped, exists);
            }
        } else {
            StartManifest(file);
            Append(file, path, *m_settings.TargetTable);
        }
    });
    if (!done)
        Skip();
}

// One connection serves every file; a new one only where it never opened or was lost. One that does not
// open costs one report, then the next file tries again.
bool Importer::Connected(StepRunner& steps, FileReports& reports)
{
    if (!m_connection.Alive()) {
        m_bulk.reset();
        m_bulkChosen = false;
        if (!steps.Run(120, [&] {
                // The manifest, where the run's first connection could not make it.
                const bool makeManifest = m_settings.Resume && !m_manifest;
                std::string refusal;
                WhileBusy(reports, [&] {
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
        WhileBusy(reports, [&] { choice = ChooseBulkLoader(m_connection, m_settings.DataSourceName); });
    } catch (const std::exception& error) {
        // Still busy after the wait: this file goes through the driver, the next one asks again.
        if (const auto* database = dynamic_cast<const DatabaseError*>(&error); database && database->Busy())
            return true;
        choice.note = error.what();
    }
    m_bulkChosen = true;
    m_bulk = std::move(choice.loader);
    m_bulkPath = choice.path;
    if (m_bulkNote.empty())
        m_bulkNote = m_bulk ? "Batches go through " + choice.path + "." : choice.note;
    return true;
}

bool Importer::Prepare(OneFile& file, const std::string& path, bool standardInput)
{
    return file.steps.Run(124, [&] {
        try {
            // Opened once: where the manifest is kept, its digest was read from it already.
            if (!file.input.Valid())
                file.input = OpenFile(path, standardInput);
            if (m_settings.GuessSeparator)
                GuessSeparatorOf(file);
            const FileFormat format = FormatOf(m_settings);
            // The types are learnt beside the copy, in the same pass.
            CopyWatch watch;
            // Decimal commas, bare fractions and dates are learnt per column for the types a new table gets.
            const bool typed = m_settings.GuessTypes || m_settings.DecimalComma || !m_settings.ColumnTypes.empty() ||
                               !m_settings.ColumnPlans.empty() || !m_settings.ColumnPlansByNames.empty();
            if (typed && m_settings.Mode == ImportMode::CreateNewTable) {
                TypeLearning& types = file.types.emplace(m_settings.Separator, m_settings.Quoted, m_settings.Quote,
                                                         ValueOptionsOf(m_settings), m_settings.DateFormat);
                watch.header = [&types](std::string_view header) { types.Header(header); };
                watch.record = [&types](std::string& record) { types.Record(record); };
            }
            file.copy = PrepareWorkingCopy(file.input.Get(), path, m_workingCopy, SkipFirstLine(m_settings), m_host,
                                           format, watch);
            file.reports.Copied(file.copy);
            TakeTurn(file.position);
        } catch (const ImportStopped&) {
            m_summary.stopped = true;
            file.interrupted = true;
        }
    }) && !m_summary.stopped;
}

// Each file read, split and sent by its own separator, as the window's guess would choose it: the
// manifest knows a file by its bytes, so a file cut short is guessed the same when it goes on.
void Importer::GuessSeparatorOf(OneFile& file)
{
    const FileSeparator guessed =
        GuessFileSeparator(file.input.Get(), file.reports.Path(), FormatOf(m_settings), m_separator);
    m_settings.Separator = guessed.separator;
    m_sender.SetSeparator(guessed.separator);
    file.reports.Note(guessed.note);
}

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
    return Importer(settings, host).Run();
}

}  // namespace qb
