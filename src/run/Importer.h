#pragma once

#include "base/AsciiCase.h"
#include "base/StepFailure.h"
#include "load/BulkLoader.h"
#include "load/BusyWait.h"
#include "load/FileClaim.h"
#include "load/ImportManifest.h"
#include "load/LineSender.h"
#include "odbc/Database.h"
#include "run/FileReports.h"
#include "run/ImportHost.h"
#include "run/ImportSettings.h"
#include "run/LogAndRejects.h"
#include "run/RunFolder.h"
#include "run/RunSummary.h"
#include "run/WorkingCopy.h"
#include "schema/TypeLearning.h"
#include "schema/TypeNames.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// A run's parts, shared by the files that define them: the run and its files, what it remembers, and
// the tables it makes or appends to.
namespace qb {

// One file of a run: where its reports go, the steps they come from, and
// its working copy once written.
struct OneFile {
    OneFile(FileReports& fileReports, StepRunner& fileSteps, std::string listedAs, int counter)
        : reports(fileReports), steps(fileSteps), listed(std::move(listedAs)), position(counter)
    {
    }

    FileReports& reports;
    StepRunner& steps;
    PreparedCopy copy;
    std::optional<TypeLearning> types;  // learnt while copying, when the run guesses them or types values
    std::string listed;  // the file as the list names it
    int position;  // in the list, from 1
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
class JobBoard;

class Importer {
public:
    Importer(ImportSettings& settings, ImportHost& host)
        : m_settings(settings), m_host(host), m_sender(m_connection, SendOptionsOf(settings)),
          m_separator(settings.Separator)
    {
    }

    ImportSummary Run();

private:
    void Begin();
    // How many files go at once: one where the outcome depends on their order or a file asks something.
    int JobsFor(RunLog& log);
    void RunJobs(RunTally& tally, int jobs);
    // One job's share of a run: the files it takes from board, each file's reports and log put aside for
    // the run to show in the list's order.
    void RunJob(JobBoard& board, const RunTally& run);
    // Where one writer at a time serves the database best: waits until every file before this one is done.
    void TakeTurn(int position);
    bool Checked();
    bool Placed();
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
    bool FinishUnsent(OneFile& file, int step, std::span<const std::string> first = {});
    bool Prepare(OneFile& file, const std::string& path, bool standardInput);
    void GuessSeparatorOf(OneFile& file);
    void Create(OneFile& file, const std::string& dropped, const std::string& create);
    void CreateFromFirstLine(OneFile& file, const std::string& table, const std::string& dropped, bool exists);
    void CreateFromAnswers(OneFile& file, const std::string& table, const std::string& dropped, bool exists);
    void Append(OneFile& file, const std::string& path, const std::string& target);
    std::vector<std::string> Emptying(const OneFile& file, const std::string& table) const;
    void Emptied(OneFile& file, const std::string& table, const std::string& how);
    void SendLines(OneFile& file, const InsertTarget& target, std::size_t columns, const InsertLoopLines& lines,
                   const std::vector<std::string>& fieldTypes = {});
    void Skip() { ++m_summary.filesSkipped; }
    bool Connected(StepRunner& steps, FileReports& reports);
    // A statement of a file, waited for while the database is busy as the file's lines are.
    template <typename Work>
    void WhileBusy(FileReports& reports, Work&& work)
    {
        WaitWhileBusy(m_settings.BusySeconds, [&] { return reports.KeepGoing(); }, std::forward<Work>(work));
    }
    // The new table's column types: none (TEXT) unless the run guesses them.
    std::vector<std::string> Types(const OneFile& file, std::size_t columns)
    {
        return file.types && m_settings.GuessTypes ? TypesFor(file.types->Guesser(), m_connection.Kind(), columns)
                                                   : std::vector<std::string>{};
    }
    // Which columns' dates are read in which form, said in the log; names: per column of the file, empty
    // for one not sent.
    void NoteDates(OneFile& file, const std::vector<std::string>& names)
    {
        if (file.types)
            if (const std::string note = DatesNote(file.types->Guesser(), names); !note.empty())
                file.reports.Note(note);
    }
    void List(const std::string& table)
    {
        m_listed.emplace(LowerText(table), table);
        m_listedExactly.insert(table);
    }
    void ListCreated(const std::string& table)
    {
        // One replaced is on the list already.
        if (!m_madeHere.insert(LowerText(table)).second)
            return;
        m_created.push_back(table);
        List(table);
        m_host.TableCreated(table);
    }

    ImportSettings& m_settings;
    ImportHost& m_host;
    JobBoard* m_board = nullptr;  // a job's, where the run's files go several at once
    std::optional<RunFolder> m_runFolder;  // held from before the first working copy to the run's end
    std::string m_workingCopy;
    Connection m_connection;
    std::unique_ptr<BulkLoader> m_bulk;  // for m_connection's data source, where it has one
    bool m_bulkChosen = false;  // for the connection open now
    std::string m_bulkPath;  // what m_bulk is, for the files' record
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
    // Tables to drop before they are made again, as named.
    std::unordered_set<std::string> m_replace;
    // Appending with Replace: the table is still to be emptied, once, with the first rows stored.
    bool m_emptyPending = false;
    // Tables this run made or replaced, folded: later files of the run append to them where an existing
    // table would be appended to or replaced.
    std::unordered_set<std::string> m_madeHere;
    // The settings' separator: where each file's is guessed, the settings hold the file's own while it
    // is read and sent, and this one when none is guessed and after the run.
    const std::string m_separator;
};

}  // namespace qb
