#include "import/ImportManifest.h"

#include "import/StatementBuilder.h"
#include "odbc/Database.h"

namespace qb {
namespace {

std::string Literal(std::string_view text)
{
    std::string literal = "'";
    for (const char c : text) {
        literal += c;
        if (c == '\'')
            literal += '\'';
    }
    return literal + "'";
}

std::string Where(std::string_view digest, std::string_view target)
{
    return " WHERE \"digest\" = " + Literal(digest) + " AND \"target\" = " + Literal(target);
}

long Number(const std::optional<std::string>& text)
{
    return text ? std::stol(*text) : 0;
}

}  // namespace

ImportManifest::ImportManifest(Connection& connection) : m_connection(connection)
{
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

void ImportManifest::Begin(const ManifestEntry& entry)
{
    m_connection.Execute("DELETE FROM " + QuoteIdentifier(kTable) + Where(entry.digest, entry.target));
    // The name as bound text: a file's name may hold any byte.
    const std::string name = entry.name;
    const std::optional<std::string_view> values[] = {name};
    m_connection.Execute("INSERT INTO " + QuoteIdentifier(kTable) + " VALUES(" + Literal(entry.digest) + ", " +
                             Literal(entry.target) + ", ?, " + std::to_string(entry.size) + ", " +
                             std::to_string(entry.stored) + ", " + std::to_string(entry.refused) + ", " +
                             std::to_string(entry.lastLine) + ", " + Literal(entry.started) + ", NULL)",
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
    m_connection.Execute("UPDATE " + QuoteIdentifier(kTable) + " SET \"finished\" = " + Literal(at) +
                         Where(digest, target));
}

}  // namespace qb
