#include "run/FileReports.h"

#include "run/LogAndRejects.h"
#include "base/CountText.h"

#include <algorithm>

#include <sys/stat.h>

namespace qb {

std::uint64_t FileSize(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
}

FileReports::FileReports(RunTally& run, int position, std::string path)
    : m_run(run), m_position(position), m_path(std::move(path)), m_size(FileSize(m_path)),
      m_nameRepeats(m_run.repeatedNames && m_run.repeatedNames->contains(BaseName(m_path)))
{
    m_run.log.File(m_path);
    // Reading a big file takes a while before its first rows are stored.
    Progress(0);
}

FileReports::~FileReports()
{
    m_run.log.FileDone(m_rows);
    m_result.path = m_path;
    m_result.rowsStored = m_rows;
    m_result.continuedAfter = m_continuedAfter;
    m_result.bytes = m_size;
    m_result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    m_run.summary.fileResults.push_back(std::move(m_result));
    m_run.host.FileEnded(m_run.summary.fileResults.back());
    m_run.bytesBefore += m_size;
    m_run.workBefore += WorkDone();
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void FileReports::Continued(long afterLine, long earlierRows)
{
    m_continuedAfter = afterLine;
    m_earlierRows = earlierRows;
    m_run.log.Note("Continued after line " + GroupedNumber(afterLine) + ".");
}

void FileReports::Note(const std::string& text)
{
    m_run.log.Note(text);
}

// This file's bytes read, and its share of the working copy sent, by this run.
std::uint64_t FileReports::WorkDone() const
{
    if (m_copySize == 0)
        return 0;
    const off_t from = m_sentFrom.value_or(0);
    const double sent = static_cast<double>(m_reached > from ? m_reached - from : 0);
    return m_size + static_cast<std::uint64_t>(static_cast<double>(m_size) * sent / static_cast<double>(m_copySize));
}

void FileReports::Table(const std::string& table)
{
    m_run.log.Table(table);
    m_result.table = table;
}

void FileReports::Copied(const PreparedCopy& copy)
{
    m_prepared = &copy;
    m_result.readAs = copy.readAs;
    if (!copy.readAs.empty() && copy.encodingDoubt.empty())
        m_run.log.Note("Read as " + copy.readAs + ".");
    if (!copy.encodingDoubt.empty()) {
        m_run.log.Note("Read as " + copy.readAs + ", a guess: " + copy.encodingDoubt + ".");
        m_run.summary.encodingGuesses.push_back(m_path + ": read as " + copy.readAs + " (guessed)");
    }
    if (!copy.encodingWarning.empty()) {
        m_run.log.Note(copy.encodingWarning);
        m_run.summary.utf8ReadAsSingleByte.push_back(m_path);
    }
    struct stat info {};
    m_copySize = ::fstat(copy.copy.Get(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

void FileReports::Progress(off_t reached)
{
    m_reached = reached;
    const ImportSummary& summary = m_run.summary;
    ImportProgress progress{m_position, summary.files, m_path, m_earlierRows + m_rows, summary.rowsSent,
                            m_run.bytesBefore, m_run.bytesTotal,
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_run.start).count()};
    progress.nameRepeats = m_nameRepeats;
    progress.continuedAfter = m_continuedAfter;
    std::uint64_t sent = 0;
    if (m_copySize > 0)
        sent = static_cast<std::uint64_t>(static_cast<double>(m_size) * static_cast<double>(reached) /
                                          static_cast<double>(m_copySize));
    progress.bytesDone += sent;
    // Read once and sent once: each byte not yet past counts twice.
    const std::uint64_t past = (m_copySize > 0 ? m_size : 0) + sent;
    const std::uint64_t rest = 2 * (m_run.bytesTotal - std::min(m_run.bytesBefore, m_run.bytesTotal));
    progress.workLeft = rest > past ? rest - past : 0;
    progress.workDone = m_run.workBefore + WorkDone();
    m_run.host.ReportProgress(progress);
}

bool RunTally::StopRequested()
{
    if (!summary.stopped && host.StopRequested())
        summary.stopped = true;
    return summary.stopped;
}

void FileReports::ShowErrorReport(const std::string& procedure, int line, const std::string& description)
{
    ++m_run.summary.errorReports;
    m_run.host.ShowLineReport(procedure, line, description, {m_path, 0, {}, false});
}

void FileReports::Stored(long rows, off_t reached)
{
    // The lines an earlier run stored are passed over at once: no work of this run's.
    if (m_continuedAfter > 0 && !m_sentFrom)
        m_sentFrom = reached;
    m_run.summary.rowsSent += rows;
    m_rows += rows;
    Progress(reached);
}

void FileReports::Inserted(long inserted, long found)
{
    ImportSummary& summary = m_run.summary;
    summary.rowsInserted += inserted;
    (summary.onDuplicate == OnDuplicate::Update ? summary.rowsUpdated : summary.rowsSkipped) += found;
}

void FileReports::Refused(int step, const std::string& description, const RecordSpan& record)
{
    ++m_run.summary.linesRejected;
    if (m_result.linesRefused++ < static_cast<long>(FileResult::kRefusedKept))
        m_result.refused.push_back({record.line, description});
    m_run.rejects.AddReason(m_path, record.line, description);
    m_run.log.Rejected(record.line, description, CopyFd(), record.offset, record.length);
    // A converted line goes to the rejects file as the file holds it, so that
    // it reads the same again with the same options.
    off_t start = 0, end = 0;
    if (m_prepared && SourceSpan(*m_prepared, record.record, start, end))
        m_run.rejects.Add(m_prepared->source.Get(), start, static_cast<std::size_t>(end - start));
    else
        m_run.rejects.Add(CopyFd(), record.offset, record.length);
    Show(step, description, record, true);
}

void FileReports::Lost(int step, const std::string& description, const RecordSpan& record)
{
    ++m_run.summary.filesCut;
    Show(step, description, record, false);
}

void FileReports::Show(int step, const std::string& description, const RecordSpan& record, bool rejected)
{
    LineContext context{m_path, record.line, {}, rejected};
    if (record.length > 0)
        context.bytes = ReadBytes(CopyFd(), record.offset, record.length, kContextBytes);
    ++m_run.summary.errorReports;
    m_run.host.ShowLineReport(m_run.procedure, step, description, context);
}

bool FileReports::KeepGoing()
{
    m_run.host.Yield();
    return !m_run.StopRequested();
}

}  // namespace qb
