#include "odbc/DatabaseError.h"

#include "base/AsciiCase.h"

#include <string_view>
#include <utility>

namespace qb {

namespace {

std::vector<DiagnosticRecord> OrPlaceholder(std::vector<DiagnosticRecord> records)
{
    if (records.empty())
        records.push_back({"HY000", 0, "The ODBC call failed without a diagnostic record"});
    return records;
}

std::string Describe(const std::vector<DiagnosticRecord>& records)
{
    std::string text;
    for (const DiagnosticRecord& record : records) {
        if (!text.empty())
            text += '\n';
        text += '[';
        text += record.sqlState;
        text += "] ";
        // libpq ends its messages with a newline; the lines of the description are the records.
        const std::size_t end = record.message.find_last_not_of(" \t\r\n");
        text.append(record.message, 0, end == std::string::npos ? 0 : end + 1);
    }
    return text;
}

// What drivers say when they report a broken link under a general state.
constexpr std::string_view kLostConnectionTexts[] = {
    "connection lost", "lost connection", "connection has been lost", "server closed the connection", "terminating connection",
    "no connection to the server", "could not send data to server", "server has gone away",
};

bool MentionsLostConnection(const std::string& message)
{
    const std::string lower = LowerAscii(message);
    for (const std::string_view text : kLostConnectionTexts) {
        if (lower.find(text) != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace

DatabaseError::DatabaseError(std::vector<DiagnosticRecord> records)
    : std::runtime_error(Describe(OrPlaceholder(records))), m_records(OrPlaceholder(std::move(records)))
{
}

DatabaseError::DatabaseError(const std::string& sqlState, const std::string& message)
    : DatabaseError(std::vector<DiagnosticRecord>{{sqlState, 0, message}})
{
}

const std::vector<DiagnosticRecord>& DatabaseError::Records() const
{
    return m_records;
}

bool DatabaseError::ConnectionLost() const
{
    for (const DiagnosticRecord& record : m_records) {
        if (record.sqlState.compare(0, 2, "08") == 0 || MentionsLostConnection(record.message))
            return true;
    }
    return false;
}

bool DatabaseError::Busy() const
{
    // Serialization failure, deadlock, timeout, PostgreSQL's lock timeout;
    // MySQL's lock wait and deadlock codes; SQLite says so only in words.
    for (const DiagnosticRecord& record : m_records) {
        if (record.sqlState == "40001" || record.sqlState == "40P01" || record.sqlState == "HYT00" ||
            record.sqlState == "55P03" ||
            record.nativeError == 1205 || record.nativeError == 1213 ||
            LowerAscii(record.message).find("database is locked") != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace qb
