#include "run/Importer.h"

#include "base/SafeFile.h"
#include "base/Sha256.h"
#include "files/PathHelpers.h"
#include "odbc/SqlText.h"
#include "run/RunTexts.h"

#include <sys/stat.h>

// What a run remembers of earlier runs: the manifest, each file's claim on its row, and whether a table
// still holds what was stored in it.
namespace qb {

// Remembering needs each batch and its count to commit together: refused up front where they cannot.
bool Importer::ResumeAllowed()
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
std::string Importer::KeepManifest()
{
    m_manifest.emplace(m_connection);
    std::string refusal = ResumeRefusal(m_connection, m_settings, true);
    if (!refusal.empty())
        m_manifest.reset();
    return refusal;
}

// The table as the manifest knows it: as listed, where the database took the name in another case.
std::string Importer::ManifestTarget(const std::string& table) const
{
    if (m_listedExactly.contains(table))
        return table;
    const auto listed = m_listed.find(LowerText(table));
    return listed == m_listed.end() ? table : listed->second;
}

// Knows the file by its bytes' digest, and claims its row of the manifest. False when the manifest holds
// it as imported into the same table already (said in the log), it cannot be read, or another run is
// importing it into the same table (reported).
bool Importer::Recall(OneFile& file, const std::string& path, bool standardInput, const std::string& table,
                       RunLog& log)
{
    if (!m_manifest)
        return true;
    if (!file.steps.Run(124, [&] { KnowFile(file, path, standardInput, table, log); })) {
        Skip();
        return false;
    }
    // The table was emptied by the run that began it, and it holds what was stored since: it is not emptied again.
    if (file.earlier && m_emptyPending) {
        m_emptyPending = false;
        log.Note("The table " + table + " is not emptied: " + file.reports.Path() +
                 " was imported into it before, and this run goes on from there.");
    }
    if (!file.earlier || !file.earlier->Done(m_settings.RetryRefused))
        return true;
    log.Note(file.reports.Path() + ": already imported on " + *file.earlier->finished + " into " + table + ".");
    ++m_summary.filesAlreadyImported;
    return false;
}

void Importer::KnowFile(OneFile& file, const std::string& path, bool standardInput, const std::string& table,
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
    // Another run's claim is a busy database to this run, waited for the same way: one that was killed
    // lets go once its server notices.
    try {
        WhileBusy(file.reports, [&] {
            std::optional<FileClaim> claim = FileClaim::Take(m_connection, file.digest, file.target);
            if (!claim)
                throw DatabaseError("HYT00", "claimed by another run");
            file.claim.emplace(std::move(*claim));
        });
    } catch (const DatabaseError& error) {
        if (!error.Busy() || file.claim)
            throw;
        throw StepFailure(124, "Another run is importing " + file.reports.Path() + " into " + table +
                                   " at this moment, so it was left to that run.");
    }
    WhileBusy(file.reports, [&] { file.earlier = m_manifest->Find(file.digest, file.target); });
    if (file.earlier && !StillHolds(table, file.target, log)) {
        file.earlier.reset();
        file.startedOver = true;
    }
}

// Whether the table holds at least the rows the manifest says were stored in it, asked once a run. When
// not (it was dropped, emptied or made again), what was remembered of it is forgotten: its files start
// again from their first line.
bool Importer::StillHolds(const std::string& table, const std::string& target, RunLog& log)
{
    if (!m_checkedTargets.insert(target).second)
        return true;
    std::string why;
    if (m_settings.Mode == ImportMode::CreateNewTable && !m_listed.contains(LowerText(table))) {
        why = "the table does not exist any more";
    } else if (m_summary.onDuplicate != OnDuplicate::Error) {
        return true;  // rows skipped or updated count as stored: the table may hold fewer
    } else {
        // What the manifest holds first: rows and their count commit together, so rows stored by runs
        // going on meanwhile can only add to the table's count, never make it look short.
        const long stored = m_manifest->StoredInto(target);
        long rows = 0;
        try {
            rows = std::stol(m_connection.QueryStrings("SELECT COUNT(*) FROM " + QuoteIdentifier(table))
                                 .at(0).at(0).value_or("0"));
        } catch (const std::exception&) {
            return true;  // a table that cannot be counted fails on its own when the file reaches it
        }
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
void Importer::StartManifest(OneFile& file)
{
    if (!m_manifest)
        return;
    // No earlier row: none was found under the file's claim, or the table's were forgotten.
    if (!file.earlier)
        WhileBusy(file.reports, [&] {
            m_manifest->Begin({file.digest, file.target, file.reports.Path(), file.size, 0, 0, 0,
                               ManifestTime(std::time(nullptr)), std::nullopt});
        });
    else if (!file.earlier->finished) {
        ++m_summary.filesContinued;
        file.reports.Continued(file.earlier->lastLine, file.earlier->stored);
    }
    std::vector<long> refused;
    if (file.earlier && file.earlier->Retries(m_settings.RetryRefused))
        WhileBusy(file.reports, [&] { refused = m_manifest->RefusedLines(file.digest, file.target); });
    file.progress.emplace(file.digest, file.target, file.earlier ? &*file.earlier : nullptr, std::move(refused));
}

// A file whose lines are all dealt with before any is sent: the manifest holds it as done, in the
// transaction of the statements of first. False when that failed.
bool Importer::FinishUnsent(OneFile& file, int step, std::span<const std::string> first)
{
    if (!file.progress && first.empty())
        return true;
    return file.steps.Run(step, [&] {
        const std::vector<std::string> finish =
            file.progress ? file.progress->Finished(0, ManifestTime(std::time(nullptr))) : std::vector<std::string>{};
        WhileBusy(file.reports, [&] {
            m_connection.InOneTransaction(
                [&] {
                    for (const std::string& statement : first)
                        m_connection.Execute(statement);
                },
                finish);
        });
        if (file.progress)
            file.progress->Committed();
    });
}

}  // namespace qb
