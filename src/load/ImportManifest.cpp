#include "load/ImportManifest.h"

#include "odbc/SqlText.h"
#include "odbc/Database.h"

#include <time.h>

namespace qb {
namespace {

std::string Where(std::string_view digest, std::string_view target)
{
    return " WHERE \"digest\" = " + QuoteText(digest) + " AND \"target\" = " + QuoteText(target);
}

long Number(const std::optional<std::string>& text)
{
    return text ? std::stol(*text) : 0;
}

}  // namespace

ImportManifest::ImportManifest(Connection& connection) : m_connection(connection)
{
    m_connection.Execute("CREATE TABLE IF NOT EXISTS " + QuoteIdentifier(kRefusedTable) +
                         "(\"digest\" VARCHAR(64) NOT NULL, \"target\" VARCHAR(255) NOT NULL, "
                         "\"line\" BIGINT NOT NULL, PRIMARY KEY(\"digest\", \"target\", \"line\"))");
    // Keys of bounded length: MySQL's engines index no unbounded text.
    m_connection.Execute("CREATE TABLE IF NOT EXISTS " + QuoteIdentifier(kTable) +
                         "(\"digest\" VARCHAR(64) NOT NULL, \"target\" VARCHAR(255) NOT NULL, \"name\" TEXT NOT NULL, "
                         "\"size\" BIGINT NOT NULL, \"stored\" BIGINT NOT NULL, \"refused\" BIGINT NOT NULL, "
                         "\"last_line\" BIGINT NOT NULL, \"started\" VARCHAR(32) NOT NULL, \"finished\" VARCHAR(32), "
                         "PRIMARY KEY(\"digest\", \"target\"))");
}

std::optional<ManifestEntry> ImportManifest::Find(std::string_view digest, std::string_view target)
{
    const auto rows = m_connection.QueryStrings(
        "SELECT \"digest\", \"target\", \"name\", \"size\", \"stored\", \"refused\", \"last_line\", \"started\", "
        "\"finished\" FROM " + QuoteIdentifier(kTable) + Where(digest, target));
    if (rows.empty() || rows.front().size() < 9)
        return std::nullopt;
    const TextRow& row = rows.front();
    return ManifestEntry{row[0].value_or(""), row[1].value_or(""), row[2].value_or(""),
                         static_cast<std::uint64_t>(std::stoull(row[3].value_or("0"))), Number(row[4]),
                         Number(row[5]), Number(row[6]), row[7].value_or(""), row[8]};
}

std::vector<long> ImportManifest::RefusedLines(std::string_view digest, std::string_view target)
{
    std::vector<long> lines;
    for (const TextRow& row : m_connection.QueryStrings("SELECT \"line\" FROM " + QuoteIdentifier(kRefusedTable) +
                                                        Where(digest, target) + " ORDER BY \"line\""))
        lines.push_back(Number(row.at(0)));
    return lines;
}

long ImportManifest::StoredInto(std::string_view target)
{
    const auto rows = m_connection.QueryStrings("SELECT SUM(\"stored\") FROM " + QuoteIdentifier(kTable) +
                                                " WHERE \"target\" = " + QuoteText(target));
    return rows.empty() || rows.front().empty() ? 0 : Number(rows.front().front());
}

void ImportManifest::Forget(std::string_view target)
{
    for (const std::string_view table : {kRefusedTable, kTable})
        m_connection.Execute("DELETE FROM " + QuoteIdentifier(table) + " WHERE \"target\" = " + QuoteText(target));
}

void ImportManifest::Begin(const ManifestEntry& entry)
{
    // The name as bound text: a file's name may hold any byte.
    const std::string name = entry.name;
    const std::optional<std::string_view> values[] = {name};
    m_connection.Execute("INSERT INTO " + QuoteIdentifier(kTable) + " VALUES(" + QuoteText(entry.digest) + ", " +
                             QuoteText(entry.target) + ", ?, " + std::to_string(entry.size) + ", " +
                             std::to_string(entry.stored) + ", " + std::to_string(entry.refused) + ", " +
                             std::to_string(entry.lastLine) + ", " + QuoteText(entry.started) + ", NULL)",
                         values);
}

std::string ImportManifest::Progress(std::string_view digest, std::string_view target, long stored, long refused,
                                     long lastLine)
{
    return "UPDATE " + QuoteIdentifier(kTable) + " SET \"stored\" = " + std::to_string(stored) +
           ", \"refused\" = " + std::to_string(refused) + ", \"last_line\" = " + std::to_string(lastLine) +
           Where(digest, target);
}

void ImportManifest::Finish(std::string_view digest, std::string_view target, std::string_view at)
{
    m_connection.Execute(FinishText(digest, target, at));
}

std::string ImportManifest::FinishText(std::string_view digest, std::string_view target, std::string_view at)
{
    return "UPDATE " + QuoteIdentifier(kTable) + " SET \"finished\" = " + QuoteText(at) + Where(digest, target);
}

std::vector<std::string> ImportManifest::RefusedText(std::string_view digest, std::string_view target,
                                                     const std::vector<long>& lines)
{
    // In pieces, so that no statement grows past what a server takes.
    constexpr std::size_t kPiece = 500;
    std::vector<std::string> statements;
    const std::string key = "(" + QuoteText(digest) + ", " + QuoteText(target) + ", ";
    for (std::size_t first = 0; first < lines.size(); first += kPiece) {
        std::string text = "INSERT INTO " + QuoteIdentifier(kRefusedTable) + " VALUES";
        for (std::size_t i = first; i < std::min(lines.size(), first + kPiece); ++i)
            text += (i == first ? "" : ",") + key + std::to_string(lines[i]) + ")";
        statements.push_back(std::move(text));
    }
    return statements;
}

std::vector<std::string> ImportManifest::ForgetOthersText(std::string_view digest, std::string_view target)
{
    std::vector<std::string> statements;
    for (const std::string_view table : {kRefusedTable, kTable})
        statements.push_back("DELETE FROM " + QuoteIdentifier(table) + " WHERE \"target\" = " + QuoteText(target) +
                             " AND \"digest\" <> " + QuoteText(digest));
    return statements;
}

std::string ImportManifest::ForgetText(std::string_view digest, std::string_view target, long after, long upTo)
{
    return "DELETE FROM " + QuoteIdentifier(kRefusedTable) + Where(digest, target) + " AND \"line\" > " +
           std::to_string(after) + " AND \"line\" <= " + std::to_string(upTo);
}

std::string ManifestTime(std::time_t at)
{
    std::tm local{};
    ::localtime_r(&at, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

FileProgress::FileProgress(std::string digest, std::string target, const ManifestEntry* earlier,
                           std::vector<long> retry)
    : m_digest(std::move(digest)), m_target(std::move(target)), m_retry(std::move(retry))
{
    if (earlier) {
        m_earlierLast = earlier->lastLine;
        m_stored = earlier->stored;
        m_refused = earlier->refused;
        m_lastLine = earlier->lastLine;
    }
    // Lines sent again are forgotten as refused stretch by stretch, from the start.
    m_committedUpTo = m_retry.empty() ? m_earlierLast : 0;
}

void FileProgress::Stage(long rows, long last, const std::vector<long>& refusedWith)
{
    m_statements.clear();
    long forgotten = 0;
    const long upTo = std::min(last, m_earlierLast);
    if (upTo > m_committedUpTo) {
        const auto from = std::upper_bound(m_retry.begin(), m_retry.end(), m_committedUpTo);
        forgotten = std::upper_bound(m_retry.begin(), m_retry.end(), upTo) - from;
        if (forgotten > 0)
            m_statements.push_back(ImportManifest::ForgetText(m_digest, m_target, m_committedUpTo, upTo));
    }
    std::vector<long> refused = m_pending;
    refused.insert(refused.end(), refusedWith.begin(), refusedWith.end());
    for (std::string& text : ImportManifest::RefusedText(m_digest, m_target, refused))
        m_statements.push_back(std::move(text));
    m_stagedPending = m_pending.size();
    m_stagedStored = m_stored + rows;
    m_stagedRefused = m_refused - forgotten + static_cast<long>(refused.size());
    m_stagedLast = std::max(m_lastLine, last);
    m_stagedUpTo = std::max(m_committedUpTo, last);
    m_statements.push_back(
        ImportManifest::Progress(m_digest, m_target, m_stagedStored, m_stagedRefused, m_stagedLast));
}

const std::vector<std::string>& FileProgress::Staged(long rows, long last, const std::vector<long>& refusedWith)
{
    Stage(rows, last, refusedWith);
    return m_statements;
}

void FileProgress::Committed()
{
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(m_stagedPending));
    m_stored = m_stagedStored;
    m_refused = m_stagedRefused;
    m_lastLine = m_stagedLast;
    m_committedUpTo = m_stagedUpTo;
}

const std::vector<std::string>& FileProgress::Finished(long last, std::string_view at)
{
    Stage(0, std::max(last, m_earlierLast), {});
    m_statements.push_back(ImportManifest::FinishText(m_digest, m_target, at));
    return m_statements;
}

}  // namespace qb
