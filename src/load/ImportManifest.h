#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

class Connection;

// What the manifest holds of one file's import into one table: the file by
// its content's digest, and how far its lines got.
struct ManifestEntry {
    std::string digest;  // SHA-256 of the file's bytes as read, in hex
    std::string target;  // the table
    std::string name;    // the file, as the run named it
    std::uint64_t size = 0;
    long stored = 0;     // lines stored
    long refused = 0;    // lines refused
    long lastLine = 0;   // the number of the last line sent, stored or refused
    std::string started;
    std::optional<std::string> finished;  // none while the file is not done

    // Lines refused are to be sent again, when that is asked for.
    bool Retries(bool retryRefused) const { return retryRefused && refused > 0; }
    // Nothing of the file is left to send.
    bool Done(bool retryRefused) const { return finished && !Retries(retryRefused); }

    bool operator==(const ManifestEntry&) const = default;
};

// The table of what was imported, in the target database itself, so that
// its rows commit with the lines they count. Its name holds "sys", which the
// table list leaves out.
class ImportManifest {
public:
    static constexpr std::string_view kTable = "quillbarrow_sys_imports";
    // The numbers of the lines each file had refused, for a later run to send again when asked.
    static constexpr std::string_view kRefusedTable = "quillbarrow_sys_refused_lines";

    // Makes the table when it is missing.
    explicit ImportManifest(Connection& connection);

    // One whose tables exist: nothing is made.
    struct Made {};
    ImportManifest(Connection& connection, Made) : m_connection(connection) {}

    std::optional<ManifestEntry> Find(std::string_view digest, std::string_view target);
    // The lines refused so far, in order.
    std::vector<long> RefusedLines(std::string_view digest, std::string_view target);
    // The lines stored into the table, as every file's row counts them.
    long StoredInto(std::string_view target);
    // Every file's row for the table, and their refused lines: what the table held is gone.
    void Forget(std::string_view target);
    // The file's row, new: Find found none under the file's claim, or its table's were forgotten (and
    // refused lines never outlive their row).
    void Begin(const ManifestEntry& entry);
    // The statement that records how far the file got: it runs in the
    // transaction of the lines it counts.
    static std::string Progress(std::string_view digest, std::string_view target, long stored, long refused,
                                long lastLine);
    void Finish(std::string_view digest, std::string_view target, std::string_view at);
    static std::string FinishText(std::string_view digest, std::string_view target, std::string_view at);
    // Statements that add these refused lines; none for none.
    static std::vector<std::string> RefusedText(std::string_view digest, std::string_view target,
                                                const std::vector<long>& lines);
    // The statements that forget every other file's row for the table, and their refused lines: they
    // commit with the table's emptying.
    static std::vector<std::string> ForgetOthersText(std::string_view digest, std::string_view target);
    // The statement that forgets the refused lines after `after`, up to `upTo`.
    static std::string ForgetText(std::string_view digest, std::string_view target, long after, long upTo);

private:
    Connection& m_connection;
};

// The time as the manifest keeps it: local, "2026-12-07 10:00:05".
std::string ManifestTime(std::time_t at);

// One file's way through its lines, as the manifest is to hold it after each
// commit: every statement that stores lines carries the statements that
// record them, so that the manifest and the table always agree.
class FileProgress {
public:
    // earlier: the file's row of an earlier run, to go on from; retry: its
    // refused lines, to be sent again (empty: none are).
    FileProgress(std::string digest, std::string target, const ManifestEntry* earlier, std::vector<long> retry);

    // Whether the line was dealt with by an earlier run and is not sent now.
    bool Skips(long line) const
    {
        return line <= m_earlierLast && !std::binary_search(m_retry.begin(), m_retry.end(), line);
    }
    // A line refused since the last commit.
    void Refused(long line) { m_pending.push_back(line); }
    // The statements that record a transaction storing `rows` lines, the last
    // of them (or of the lines it stands for) being line `last`; refusedWith:
    // lines refused in the same stretch, counted with it.
    const std::vector<std::string>& Staged(long rows, long last, const std::vector<long>& refusedWith = {});
    // The staged transaction committed: its counts hold.
    void Committed();
    // The statements that end the file, at the time given, after line `last`.
    const std::vector<std::string>& Finished(long last, std::string_view at);

    long Stored() const { return m_stored; }
    long RefusedCount() const { return m_refused; }

private:
    void Stage(long rows, long last, const std::vector<long>& refusedWith);

    std::string m_digest;
    std::string m_target;
    long m_earlierLast = 0;
    std::vector<long> m_retry;  // in order
    std::vector<long> m_pending;  // refused since the last commit
    long m_stored = 0;
    long m_refused = 0;
    long m_lastLine = 0;
    long m_committedUpTo = 0;  // the end of the last committed stretch
    // The staged transaction's.
    std::vector<std::string> m_statements;
    std::size_t m_stagedPending = 0;
    long m_stagedStored = 0, m_stagedRefused = 0, m_stagedLast = 0, m_stagedUpTo = 0;
};

}  // namespace qb
