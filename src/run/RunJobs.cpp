#include "run/Importer.h"

#include "run/ReportTape.h"
#include "schema/Naming.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <optional>
#include <thread>
#include <unistd.h>

// A run's files several at once: each job reads and sends its own over a connection of its own, and the
// run shows what each file did in the list's order, as one job would.
namespace qb {

namespace {

// What a job hands back of one file.
struct FileDone {
    ImportSummary share;  // the file's part of the run's totals
    bool allTablesNew = true;
    std::string bulkNote;
    std::string log;  // the file's part of the log as far as it stayed in memory
    std::uint64_t bytes = 0, work = 0;  // for the run's progress
};

void AddShare(ImportSummary& total, ImportSummary&& share)
{
    total.stopped = total.stopped || share.stopped;
    for (auto [to, from] : {std::pair{&total.filesReached, share.filesReached}, {&total.filesDone, share.filesDone},
                            {&total.filesInterrupted, share.filesInterrupted}, {&total.filesSkipped, share.filesSkipped},
                            {&total.filesCut, share.filesCut}, {&total.filesAlreadyImported, share.filesAlreadyImported},
                            {&total.filesContinued, share.filesContinued}, {&total.errorReports, share.errorReports}})
        *to += from;
    for (auto [to, from] : {std::pair{&total.rowsSent, share.rowsSent}, {&total.linesRejected, share.linesRejected},
                            {&total.rowsInserted, share.rowsInserted}, {&total.rowsUpdated, share.rowsUpdated},
                            {&total.rowsSkipped, share.rowsSkipped}})
        *to += from;
    for (auto [to, from] : {std::pair{&total.problems, &share.problems}, {&total.encodingGuesses, &share.encodingGuesses},
                            {&total.utf8ReadAsSingleByte, &share.utf8ReadAsSingleByte}})
        to->insert(to->end(), std::make_move_iterator(from->begin()), std::make_move_iterator(from->end()));
    total.fileResults.insert(total.fileResults.end(), std::make_move_iterator(share.fileResults.begin()),
                             std::make_move_iterator(share.fileResults.end()));
}

}  // namespace

// What a run's jobs share: the next file to take, the files done and not yet shown, and the stop.
class JobBoard {
public:
    JobBoard(int files, std::string folder) : m_files(files), m_folder(std::move(folder)) {}

    // Where a job puts one file's reports (kind "tape"), log, rejected lines and their reasons.
    std::string Part(int counter, const char* kind) const
    {
        return m_folder + "/" + std::to_string(counter) + "." + kind;
    }

    // The next file of the list, or 0 when none is left or the run is stopping.
    int Take()
    {
        const std::lock_guard hold(m_lock);
        if (stop.load() || m_next > m_files)
            return 0;
        m_inFlight.insert(m_next);
        return m_next++;
    }
    void Finished(int counter, FileDone&& done)
    {
        {
            const std::lock_guard hold(m_lock);
            m_inFlight.erase(counter);
            m_rowsDone += done.share.rowsSent;
            m_bytesDone += done.bytes;
            m_workDone += done.work;
            m_done.emplace(counter, std::move(done));
        }
        m_changed.notify_all();
    }
    void JobEnded(const std::string& failure)
    {
        {
            const std::lock_guard hold(m_lock);
            ++m_jobsEnded;
            if (!failure.empty())
                m_failures.push_back(failure);
        }
        m_changed.notify_all();
    }
    void WaitForTurn(int position)
    {
        std::unique_lock hold(m_lock);
        m_changed.wait(hold, [&] { return *m_inFlight.begin() >= position; });
    }
    // The next file to show, once its job is done with it; waits a little for it. nullopt: not yet, and
    // ended set when no job is left to do it.
    std::optional<FileDone> Next(int counter, int jobs, bool& ended, std::vector<std::string>& failures)
    {
        std::unique_lock hold(m_lock);
        m_changed.wait_for(hold, std::chrono::milliseconds(20),
                           [&] { return m_done.contains(counter) || m_jobsEnded == jobs; });
        failures = std::exchange(m_failures, {});
        ended = m_jobsEnded == jobs && !m_done.contains(counter);
        const auto found = m_done.find(counter);
        if (found == m_done.end())
            return std::nullopt;
        FileDone done = std::move(found->second);
        m_done.erase(found);
        return done;
    }

    // The run's progress: the files done, and each job's file in flight as its host last said it.
    ImportProgress Progress(const std::vector<TapeHost*>& hosts, std::uint64_t bytesTotal)
    {
        ImportProgress total;
        total.bytesTotal = bytesTotal;
        std::uint64_t inFlightWork = 0;
        const std::lock_guard hold(m_lock);
        total.rows = m_rowsDone;
        total.bytesDone = m_bytesDone;
        total.workDone = m_workDone;
        total.file = m_inFlight.empty() ? m_next - 1 : *m_inFlight.begin();
        for (std::size_t job = 0; job < hosts.size(); ++job) {
            const ImportProgress file = hosts[job]->LastProgress();
            if (!m_inFlight.contains(file.file))
                continue;
            total.rows += file.rows;
            total.bytesDone += file.bytesDone;
            total.workDone += file.workDone;
            inFlightWork += file.workDone;
            if (file.file == total.file) {
                total.path = file.path;
                total.rowsInFile = file.rowsInFile;
                total.nameRepeats = file.nameRepeats;
                total.continuedAfter = file.continuedAfter;
            }
        }
        // Each byte of the files not done counts twice, read and sent, less what the jobs did of them.
        const std::uint64_t rest = 2 * (bytesTotal - std::min(m_bytesDone, bytesTotal));
        total.workLeft = rest > inFlightWork ? rest - inFlightWork : 0;
        return total;
    }

    std::atomic<bool> stop{false};
    std::atomic<bool> paused{false};  // while the run shows a file's reports

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    const int m_files;
    const std::string m_folder;
    int m_next = 1;
    std::set<int> m_inFlight{};
    std::map<int, FileDone> m_done;
    int m_jobsEnded = 0;
    std::vector<std::string> m_failures;
    long m_rowsDone = 0;
    std::uint64_t m_bytesDone = 0, m_workDone = 0;
};

int Importer::JobsFor(RunLog& log)
{
    if (m_summary.files < 2 || m_settings.Jobs == 1)
        return 1;
    std::string why;
    if (m_settings.Mode == ImportMode::AppendToExistingTable && m_settings.Replace)
        why = "the table is emptied once, with the first rows stored";
    else if (m_settings.Mode == ImportMode::AppendToExistingTable && m_settings.OnDuplicateKey != OnDuplicate::Error)
        why = "a repeated key keeps the row of the file the list names first or last";
    else if (m_settings.Mode == ImportMode::CreateNewTable && m_settings.ColumnNames != ColumnNameSource::FromFirstLine)
        why = "the column names are asked for each file";
    else if (m_settings.Mode == ImportMode::CreateNewTable) {
        std::unordered_set<std::string> tables;
        for (int counter = 1; counter <= m_summary.files && why.empty(); ++counter) {
            const std::string& path = m_settings.Files[static_cast<std::size_t>(counter - 1)];
            const bool standardInput = m_settings.DashIsStandardInput && path == "-";
            if (!tables.insert(LowerText(TargetOf(counter, standardInput ? "standard input" : path))).second)
                why = "two files go into one table";
        }
    }
    if (!why.empty()) {
        if (m_settings.Jobs > 1)
            log.Note("One file at a time: " + why + ".");
        return 1;
    }
    int jobs = m_settings.Jobs;
    if (jobs == 0) {
        // As many as serve the database: its kind is known once connected.
        try {
            if (!m_connection.Alive())
                m_connection.Open(m_settings.DataSourceName);
        } catch (const std::exception&) {
            return 1;  // each file reports the connection, as it would one at a time
        }
        // SQLite: one. It writes one file at a time anyway, and each connection reads the whole schema
        // again after another made a table, so a second costs more than reading ahead saves.
        const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        jobs = m_connection.Kind() == DatabaseKind::Sqlite ? 1 : std::min(4, cores);
    }
    return std::min(jobs, m_summary.files);
}

void Importer::TakeTurn(int position)
{
    // SQLite has one writer: its jobs read and convert side by side, and write in the list's order.
    if (m_board && m_connection.Alive() && m_connection.Kind() == DatabaseKind::Sqlite)
        m_board->WaitForTurn(position);
}

void Importer::RunJob(JobBoard& board, const RunTally& run)
{
    auto& tape = static_cast<TapeHost&>(m_host);
    if (!Placed() || !ResumeAllowed()) {
        board.JobEnded(m_summary.finalMessage);
        return;
    }
    Begin();
    const WorkingCopyGuard copyGuard(*m_runFolder, m_workingCopy);
    const bool rejects = !m_settings.RejectsPath.empty(), reasons = !m_settings.RejectReasonsPath.empty();
    const ImportSummary fresh = m_summary;
    while (const int counter = board.Take()) {
        FileDone done;
        try {
            RunLog log(board.Part(counter, "log"));
            RejectsFile rejectsPart(rejects ? board.Part(counter, "rejects") : "", reasons ? board.Part(counter, "why") : "",
                                    true);
            RunTally tally{m_host, m_summary, log, rejectsPart, run.procedure, run.start, run.bytesTotal,
                           0, 0, run.repeatedNames};
            tape.Begin(board.Part(counter, "tape"));
            ImportFile(tally, counter);
            tape.End();
            done.log = log.TakePart();
            done.bytes = tally.bytesBefore;
            done.work = tally.workBefore;
            for (const std::string* problem : {&log.Error(), &rejectsPart.Error(), &rejectsPart.ReasonsError(), &tape.Error()})
                if (!problem->empty())
                    m_summary.problems.push_back(*problem);
        } catch (const std::exception& error) {
            m_summary.problems.push_back(error.what());
        }
        done.share = std::exchange(m_summary, fresh);
        done.allTablesNew = std::exchange(m_allTablesNew, true);
        done.bulkNote = m_bulkNote;
        board.Finished(counter, std::move(done));
    }
    board.JobEnded({});
}

void Importer::RunJobs(RunTally& tally, int jobs)
{
    JobBoard board(m_summary.files, m_runFolder->Path());
    struct Job {
        Job(const ImportSettings& runSettings, const std::atomic<bool>& stop, const std::atomic<bool>& paused)
            : settings(runSettings), host(stop, paused), importer(settings, host)
        {
        }
        ImportSettings settings;
        TapeHost host;
        Importer importer;
    };
    std::vector<std::unique_ptr<Job>> crew;
    std::vector<TapeHost*> hosts;
    for (int job = 0; job < jobs; ++job) {
        crew.push_back(std::make_unique<Job>(m_settings, board.stop, board.paused));
        crew.back()->importer.m_board = &board;
        hosts.push_back(&crew.back()->host);
    }
    m_host.SetBusy(true);
    std::vector<std::thread> threads;
    try {
        for (auto& job : crew)
            threads.emplace_back([&board, &tally, importer = &job->importer] {
                try {
                    importer->RunJob(board, tally);
                } catch (const std::exception& error) {
                    board.JobEnded(error.what());
                }
            });
    } catch (const std::system_error&) {
        // No more threads to be had: the jobs that started do the run, or the files go one at a time below.
    }
    jobs = static_cast<int>(threads.size());
    const auto report = [&](std::chrono::steady_clock::time_point now) {
        ImportProgress progress = board.Progress(hosts, tally.bytesTotal);
        progress.files = m_summary.files;
        progress.seconds = std::chrono::duration<double>(now - tally.start).count();
        if (progress.path.empty() && !m_summary.fileResults.empty())
            progress.path = m_summary.fileResults.back().path;  // every file done: the last one shown
        m_host.ReportProgress(progress);
    };
    auto shown = std::chrono::steady_clock::now();
    int counter = 1;
    for (; counter <= m_summary.files;) {
        bool ended = false;
        std::vector<std::string> failures;
        std::optional<FileDone> done = board.Next(counter, jobs, ended, failures);
        for (const std::string& failure : failures)
            m_host.ShowMessage(failure);
        if (done) {
            // As one job at a time would, the run waits while a report is shown.
            board.paused.store(true);
            if (!ReplayTape(board.Part(counter, "tape"), m_host, [this](const std::string& table) { ListCreated(table); }))
                done->share.problems.push_back("The reports of " + m_settings.Files[std::size_t(counter - 1)] +
                                               " could not be read back whole.");
            board.paused.store(false);
            ::unlink(board.Part(counter, "tape").c_str());
            tally.log.Append(done->log, board.Part(counter, "log"));
            tally.rejects.Append(m_settings.RejectsPath.empty() ? "" : board.Part(counter, "rejects"),
                                 m_settings.RejectReasonsPath.empty() ? "" : board.Part(counter, "why"));
            for (const FileResult& result : done->share.fileResults)
                m_host.FileEnded(result);
            AddShare(m_summary, std::move(done->share));
            m_allTablesNew = m_allTablesNew && done->allTablesNew;
            if (m_bulkNote.empty())
                m_bulkNote = done->bulkNote;
            tally.bytesBefore += done->bytes;
            tally.workBefore += done->work;
            ++counter;
        } else if (ended) {
            break;  // the jobs stopped, or could not start: what is left goes below
        }
        m_host.Yield();
        if (!board.stop.load() && m_host.StopRequested())
            board.stop.store(true);
        if (const auto now = std::chrono::steady_clock::now(); now - shown > std::chrono::milliseconds(100)) {
            shown = now;
            report(now);
        }
    }
    // The last word on progress is the whole run's, as one job's last batch leaves it.
    if (counter > m_summary.files)
        report(std::chrono::steady_clock::now());
    for (std::thread& thread : threads)
        thread.join();
    m_host.SetBusy(false);
    m_summary.stopped = m_summary.stopped || board.stop.load();
    // Files no job took, where none could start: one at a time, here.
    while (!m_summary.stopped) {
        const int untaken = board.Take();
        if (untaken == 0)
            break;
        ImportFile(tally, untaken);
        tally.StopRequested();
    }
}

}  // namespace qb
