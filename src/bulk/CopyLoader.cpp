#include "bulk/NativeLoaders.h"

#include "odbc/DataSources.h"
#include "odbc/Database.h"

#include <cctype>
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

// The first of the entries the data source has.
std::string Setting(const std::string& dataSourceName, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        std::string value = DataSourceSetting(dataSourceName, key);
        if (!value.empty())
            return value;
    }
    return {};
}

// psqlODBC keeps some entries URL-encoded ('+' a space, %XX a byte) unless they are in braces.
std::string Decoded(const std::string& value)
{
    if (value.size() >= 2 && value.front() == '{' && value.back() == '}')
        return value.substr(1, value.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '+') {
            out += ' ';
        } else if (value[i] == '%' && i + 2 < value.size() && std::isxdigit(static_cast<unsigned char>(value[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(value[i + 2]))) {
            out += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

// The text format's escapes; values hold no NUL byte (see BulkLoader::Load).
void AppendEscaped(std::string& out, std::string_view value)
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

// Data goes to the server in pieces about this big.
constexpr std::size_t kCopyPiece = std::size_t(256) << 10;

class CopyLoader : public BulkLoader {
public:
    CopyLoader(Connection& connection, const std::string& dataSourceName)
    {
        std::string conninfo;
        AppendSetting(conninfo, "host", Setting(dataSourceName, {"Servername", "Server"}));
        AppendSetting(conninfo, "port", Setting(dataSourceName, {"Port"}));
        AppendSetting(conninfo, "dbname", Setting(dataSourceName, {"Database"}));
        AppendSetting(conninfo, "user", Setting(dataSourceName, {"Username", "UID", "User"}));
        AppendSetting(conninfo, "password", Setting(dataSourceName, {"Password", "PWD"}));
        AppendSetting(conninfo, "sslmode", Setting(dataSourceName, {"SSLmode"}));
        // The bytes are converted, or not, exactly as the driver's session has them converted.
        const auto encoding = connection.QueryStrings("SHOW client_encoding");
        if (!encoding.empty() && !encoding.front().empty() && encoding.front().front())
            AppendSetting(conninfo, "client_encoding", *encoding.front().front());
        AppendSetting(conninfo, "connect_timeout", "30");
        // Further libpq options the data source gives its driver, as they are.
        conninfo += Decoded(Setting(dataSourceName, {"pqopt"}));
        m_conn = PQconnectdb(conninfo.c_str());
        if (PQstatus(m_conn) != CONNECTION_OK) {
            const std::string why = PQerrorMessage(m_conn);
            PQfinish(m_conn);
            throw DatabaseError("08001", why);
        }
        // The session settings the data source gives its driver's sessions (a lock wait, say) hold here too.
        const std::string settings = Decoded(Setting(dataSourceName, {"ConnSettings"}));
        if (!settings.empty()) {
            PGresult* result = PQexec(m_conn, settings.c_str());
            const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
            PQclear(result);
            if (!ok) {
                const std::string why = PQerrorMessage(m_conn);
                PQfinish(m_conn);
                throw DatabaseError("HY000", why);
            }
        }
    }
    ~CopyLoader() override { PQfinish(m_conn); }

    void Load(const std::string& quotedTable, std::size_t columns,
              std::span<const std::optional<std::string_view>> values, std::span<const std::string> also) override
    {
        if (PQstatus(m_conn) != CONNECTION_OK)
            PQreset(m_conn);
        if (PQstatus(m_conn) != CONNECTION_OK)
            Fail(nullptr);
        if (!also.empty())
            Expect(PQexec(m_conn, "BEGIN"), PGRES_COMMAND_OK);
        Expect(PQexec(m_conn, ("COPY " + quotedTable + " FROM STDIN").c_str()), PGRES_COPY_IN);
        m_data.clear();
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (values[i])
                AppendEscaped(m_data, *values[i]);
            else
                m_data += "\\N";
            m_data += (i + 1) % columns ? '\t' : '\n';
            if (m_data.size() >= kCopyPiece) {
                Put();
                m_data.clear();
            }
        }
        Put();
        if (PQputCopyEnd(m_conn, nullptr) != 1)
            Fail(nullptr);
        Expect(PQgetResult(m_conn), PGRES_COMMAND_OK);
        if (!also.empty()) {
            for (const std::string& statement : also)
                Expect(PQexec(m_conn, statement.c_str()), PGRES_COMMAND_OK);
            Expect(PQexec(m_conn, "COMMIT"), PGRES_COMMAND_OK);
        }
        if (m_data.capacity() > 4 * kCopyPiece)
            std::string().swap(m_data);
    }

private:
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
    std::string m_data;
};

}  // namespace

std::unique_ptr<BulkLoader> OpenCopyLoader(Connection& connection, const std::string& dataSourceName)
{
    return std::make_unique<CopyLoader>(connection, dataSourceName);
}

}  // namespace qb
