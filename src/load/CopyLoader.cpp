#include "load/NativeLoaders.h"

#include "load/CopyText.h"
#include "load/KeyRule.h"
#include "odbc/DataSources.h"
#include "odbc/Database.h"
#include "odbc/SqlText.h"

#include <cctype>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <utility>
#include <map>
#include <libpq-fe.h>

namespace qb {
namespace {

// A value for a libpq connection string: quoted, with quotes and backslashes escaped.
void AppendSetting(std::string& conninfo, const char* key, const std::string& value)
{
    if (value.empty())
        return;
    conninfo += key;
    conninfo += "='";
    for (const char c : value) {
        if (c == '\'' || c == '\\')
            conninfo += '\\';
        conninfo += c;
    }
    conninfo += "' ";
}

// psqlODBC's way of reading a password kept in odbc.ini: URL-encoded ('+' a space, %XX a byte), braces and all.
std::string Decoded(const std::string& value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '+') {
            out += ' ';
        } else if (value[i] == '%' && i + 2 < value.size()) {
            int byte = 0;
            for (const char c : {value[i + 1], value[i + 2]})
                byte = byte * 16 + (c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c - '0');
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

// psqlODBC decodes ConnSettings only when it reads as encoded: at most two words, since encoding leaves no space.
std::string DecodedSettings(const std::string& value)
{
    std::size_t words = 0;
    bool space = true;
    for (const char c : value) {
        const bool isSpace = std::isspace(static_cast<unsigned char>(c)) != 0;
        words += space && !isSpace;
        space = isSpace;
    }
    return words <= 2 ? Decoded(value) : value;
}

// Who and where a session is, as the server tells it; the start time as a number, whatever the session's time zone.
constexpr const char* kWhoAmI =
    "SELECT inet_server_addr(), inet_server_port(), extract(epoch from pg_postmaster_start_time()), "
    "current_database(), current_user, session_user";

std::string Describe(const TextRow& row)
{
    const auto text = [&](std::size_t i) { return i < row.size() && row[i] ? *row[i] : std::string("none"); };
    return "user " + text(4) + " (session user " + text(5) + ") on database " + text(3) + " of the server at " +
           (row.size() > 0 && row[0] ? *row[0] : std::string("a local socket")) + " port " + text(1) +
           ", started at " + text(2);
}

// Data goes to the server in pieces about this big.
constexpr std::size_t kCopyPiece = std::size_t(256) << 10;

class CopyLoader : public BulkLoader {
public:
    CopyLoader(Connection& connection, const std::string& dataSourceName)
    {
        // Only the entries psqlODBC itself reads from odbc.ini, read as it reads them: what it ignores (Server,
        // UID, PWD) must not send the rows elsewhere. Missing ones fall to libpq's defaults, as they do for the driver.
        const auto entry = [&](const char* key) { return DataSourceSetting(dataSourceName, key); };
        std::string conninfo;
        AppendSetting(conninfo, "host", entry("Servername"));
        AppendSetting(conninfo, "port", entry("Port"));
        AppendSetting(conninfo, "dbname", entry("Database"));
        AppendSetting(conninfo, "user", entry("Username"));
        AppendSetting(conninfo, "password", Decoded(entry("Password")));
        AppendSetting(conninfo, "sslmode", entry("SSLmode"));
        // The bytes are converted, or not, exactly as the driver's session has them converted.
        const auto encoding = connection.QueryStrings("SHOW client_encoding");
        if (!encoding.empty() && !encoding.front().empty() && encoding.front().front())
            AppendSetting(conninfo, "client_encoding", *encoding.front().front());
        AppendSetting(conninfo, "connect_timeout", "30");
        // Further libpq options the data source gives its driver, as they are.
        conninfo += entry("pqopt");
        m_settings = DecodedSettings(entry("ConnSettings"));
        m_conn = PQconnectdb(conninfo.c_str());
        try {
            if (PQstatus(m_conn) != CONNECTION_OK)
                throw DatabaseError("08001", PQerrorMessage(m_conn));
            Settle();
            // Whatever the entries say, the rows go only where the driver's own rows go.
            const std::vector<TextRow> driver = connection.QueryStrings(kWhoAmI);
            const TextRow mine = Ask(kWhoAmI);
            if (driver.size() != 1 || driver.front() != mine)
                throw DatabaseError("HY000", "COPY would reach " + Describe(mine) + ", but the ODBC driver reached " +
                                                 (driver.empty() ? std::string("none") : Describe(driver.front())));
        } catch (...) {
            PQfinish(m_conn);
            throw;
        }
    }
    ~CopyLoader() override { PQfinish(m_conn); }

    void Load(const std::string& quotedTable, std::size_t columns,
              std::span<const std::optional<std::string_view>> values, std::span<const std::string> also,
              KeyedLoad* keyed) override
    {
        Ready();
        if (!also.empty() || keyed)
            Expect(PQexec(m_conn, "BEGIN"), PGRES_COMMAND_OK);
        if (keyed)
            StartMerge(quotedTable, keyed->rule);
        else
            Expect(PQexec(m_conn, ("COPY " + quotedTable + " FROM STDIN").c_str()), PGRES_COPY_IN);
        PutRows(columns, values);
        Expect(PQgetResult(m_conn), PGRES_COMMAND_OK);
        if (keyed)
            keyed->inserted = Merge(quotedTable, keyed->rule);
        if (!also.empty() || keyed) {
            for (const std::string& statement : also)
                Expect(PQexec(m_conn, statement.c_str()), PGRES_COMMAND_OK);
            Expect(PQexec(m_conn, "COMMIT"), PGRES_COMMAND_OK);
        }
    }

    bool GoesAhead() const override { return true; }

    void Start(const std::string& quotedTable, std::size_t columns,
               std::span<const std::optional<std::string_view>> values) override
    {
        try {
            Ready();
            Expect(PQexec(m_conn, ("COPY " + quotedTable + " FROM STDIN").c_str()), PGRES_COPY_IN);
            PutRows(columns, values);
            m_started = true;
        } catch (...) {
            m_startFailure = std::current_exception();
        }
    }

    void Finish() override
    {
        if (const std::exception_ptr failure = std::exchange(m_startFailure, nullptr))
            std::rethrow_exception(failure);
        if (std::exchange(m_started, false))
            Expect(PQgetResult(m_conn), PGRES_COMMAND_OK);
    }

private:
    // The session open and settled, and no outcome of rows started still to come.
    void Ready()
    {
        if (m_started || m_startFailure)
            throw std::logic_error("The outcome of the rows sent before was not awaited.");
        if (PQstatus(m_conn) != CONNECTION_OK) {
            m_settled = false;
            PQreset(m_conn);
            if (PQstatus(m_conn) != CONNECTION_OK)
                Fail(nullptr);
        }
        // A new session: the data source's settings (a lock wait, say) hold in it too.
        if (!m_settled)
            Settle();
    }
    // The rows as COPY's text, in pieces, and the COPY's end; its outcome is still to be read.
    void PutRows(std::size_t columns, std::span<const std::optional<std::string_view>> values)
    {
        m_data.clear();
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (values[i])
                AppendCopyEscaped(m_data, *values[i]);
            else
                m_data += "\\N";
            m_data += (i + 1) % columns ? '\t' : '\n';
            if (m_data.size() >= kCopyPiece) {
                Put();
                m_data.clear();
            }
        }
        Put();
        if (m_data.capacity() > 4 * kCopyPiece)
            std::string().swap(m_data);
        if (PQputCopyEnd(m_conn, nullptr) != 1)
            Fail(nullptr);
    }

    // Where a key decides, the rows go to a table of the transaction's own, as the table takes them
    // (its types, NOT NULL and CHECK: a row refused there is refused whatever its key), to be merged.
    void StartMerge(const std::string& quotedTable, const KeyRule& rule)
    {
        Expect(PQexec(m_conn, ("CREATE TEMPORARY TABLE quillbarrow_merge (LIKE " + rule.table +
                               " INCLUDING CONSTRAINTS) ON COMMIT DROP").c_str()),
               PGRES_COMMAND_OK);
        // Columns the file does not fill take their defaults in the table, not NULL here.
        auto loosen = m_loosen.find(quotedTable);
        if (loosen == m_loosen.end()) {
            PGresult* result = PQexec(m_conn, "SELECT attname FROM pg_attribute WHERE attrelid = "
                                              "'pg_temp.quillbarrow_merge'::regclass AND attnum > 0 AND "
                                              "NOT attisdropped AND attnotnull");
            if (PQresultStatus(result) != PGRES_TUPLES_OK)
                Fail(result);
            std::string alter;
            const std::string sent = "," + rule.columns + ",";
            for (int i = 0; i < PQntuples(result); ++i) {
                const std::string name = QuoteIdentifier(PQgetvalue(result, i, 0));
                if (sent.find("," + name + ",") == std::string::npos)
                    alter += (alter.empty() ? "ALTER TABLE quillbarrow_merge ALTER " : ", ALTER ") + name + " DROP NOT NULL";
            }
            PQclear(result);
            loosen = m_loosen.emplace(quotedTable, alter).first;
        }
        if (!loosen->second.empty())
            Expect(PQexec(m_conn, loosen->second.c_str()), PGRES_COMMAND_OK);
        Expect(PQexec(m_conn, ("COPY quillbarrow_merge (" + rule.columns + ") FROM STDIN").c_str()), PGRES_COPY_IN);
    }
    // The rows into the table in file order; rows of one key as line by line leaves them: the first
    // where it is skipped, the last where it is updated (a statement may not update a row twice). A
    // fresh table's rows lie in the order they came. Returns the rows inserted.
    long Merge(const std::string& quotedTable, const KeyRule& rule)
    {
        // A key holding NULL meets no row: each such row stands alone.
        std::string nulls;
        for (const std::string& name : rule.keyNames)
            nulls += (nulls.empty() ? "" : " OR ") + name + " IS NULL";
        const std::string distinct = rule.key + ", CASE WHEN " + nulls + " THEN ctid END";
        const std::string rows = rule.mode == OnDuplicate::Update
                                     ? "SELECT DISTINCT ON (" + distinct + ") " + rule.columns +
                                           " FROM quillbarrow_merge ORDER BY " + distinct + ", ctid DESC"
                                     : "SELECT " + rule.columns + " FROM quillbarrow_merge ORDER BY ctid";
        PGresult* result = PQexec(m_conn, (rule.before + "INSERT INTO " + quotedTable + " " + rows + rule.after).c_str());
        if (PQresultStatus(result) != PGRES_TUPLES_OK || PQntuples(result) != 1)
            Fail(result);
        const long inserted = std::atol(PQgetvalue(result, 0, 0));
        PQclear(result);
        return inserted;
    }
    // The session settings the data source gives its driver's sessions.
    void Settle()
    {
        if (!m_settings.empty()) {
            PGresult* result = PQexec(m_conn, m_settings.c_str());
            const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
            if (!ok)
                Fail(result);
            PQclear(result);
        }
        m_settled = true;
    }
    // One row of a query on the COPY session, as text.
    TextRow Ask(const char* query)
    {
        PGresult* result = PQexec(m_conn, query);
        TextRow row;
        if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1) {
            for (int i = 0; i < PQnfields(result); ++i)
                row.push_back(PQgetisnull(result, 0, i) ? std::nullopt : std::optional<std::string>(PQgetvalue(result, 0, i)));
        }
        PQclear(result);
        return row;
    }
    void Put()
    {
        // A refusal midway shows in the result after the end; a broken link shows here.
        if (!m_data.empty() && PQputCopyData(m_conn, m_data.data(), static_cast<int>(m_data.size())) != 1)
            Fail(nullptr);
    }
    void Expect(PGresult* result, ExecStatusType wanted)
    {
        if (PQresultStatus(result) == wanted) {
            PQclear(result);
            return;
        }
        Fail(result);
    }
    // Throws the result's error (or the connection's), after reading what
    // remains, so that the connection takes the next COPY.
    [[noreturn]] void Fail(PGresult* result)
    {
        // Copied out: the result's own texts go with it.
        const char* field = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        const std::string state = field ? field : "";
        std::string message = result && *PQresultErrorMessage(result) ? PQresultErrorMessage(result) : PQerrorMessage(m_conn);
        PQclear(result);
        while (PQstatus(m_conn) == CONNECTION_OK) {
            PGresult* rest = PQgetResult(m_conn);
            if (!rest)
                break;
            const bool copying = PQresultStatus(rest) == PGRES_COPY_IN;
            PQclear(rest);
            if (copying && PQputCopyEnd(m_conn, "refused") != 1)
                break;
        }
        // Nothing of a refused transaction stays, and the connection takes the next.
        const PGTransactionStatusType transaction = PQtransactionStatus(m_conn);
        if (transaction == PQTRANS_INTRANS || transaction == PQTRANS_INERROR)
            PQclear(PQexec(m_conn, "ROLLBACK"));
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        const bool lost = PQstatus(m_conn) != CONNECTION_OK;
        throw DatabaseError(lost ? "08006" : !state.empty() ? state : "HY000", message);
    }

    PGconn* m_conn = nullptr;
    std::string m_settings;
    bool m_settled = false;  // the settings hold in the session open now
    std::string m_data;
    bool m_started = false;            // rows went by Start, their outcome still to be read
    std::exception_ptr m_startFailure;  // what Start met, for Finish to throw
    std::map<std::string, std::string> m_loosen;  // per target, what lets the columns it leaves out be NULL
};

}  // namespace

void AppendCopyEscaped(std::string& out, std::string_view value)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const char* escape = c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
        if (!escape)
            continue;
        out.append(value.data() + start, i - start);
        out += escape;
        start = i + 1;
    }
    out.append(value.data() + start, value.size() - start);
}

std::unique_ptr<BulkLoader> OpenCopyLoader(Connection& connection, const std::string& dataSourceName)
{
    return std::make_unique<CopyLoader>(connection, dataSourceName);
}

}  // namespace qb
