#include "odbc/ConnectionHandles.h"
#include "odbc/Database.h"

#include "base/AsciiCase.h"
#include "odbc/OdbcCalls.h"

#include <algorithm>
#include <exception>

// What the database behind a connection can do and take, as its driver and server tell.
namespace qb {
namespace {

using namespace odbc;

// MySQL and MariaDB take names of 64 characters; MariaDB's driver says 256 and 255.
constexpr std::size_t kMysqlNameLength = 64;

}  // namespace

DatabaseKind KindOf(const std::string& dbms)
{
    const std::string lower = LowerAscii(dbms);
    const auto holds = [&](const char* part) { return lower.find(part) != std::string::npos; };
    return holds("sqlite")                      ? DatabaseKind::Sqlite
           : holds("postgresql")                ? DatabaseKind::Postgres
           : holds("mysql") || holds("mariadb") ? DatabaseKind::Mariadb
                                                : DatabaseKind::Other;
}

void Connection::CheckCreate(std::string_view quotedTable, std::string_view createText)
{
    ConnectionState& handles = Current();
    {
        CursorScope cursor(handles.statement);
        PrepareText(handles.statement.Get(), createText);
    }
    if (handles.MysqlFamily()) {
        // A temporary table neither commits nor outlives the session, and is checked as a table is.
        constexpr std::string_view create = "CREATE TABLE ";
        if (!createText.starts_with(create))
            throw DatabaseError("HY000", "Only a CREATE TABLE statement can be checked");
        Execute("CREATE TEMPORARY TABLE " + std::string(createText.substr(create.size())));
        Execute("DROP TEMPORARY TABLE " + std::string(quotedTable));
        return;
    }
    const SQLHDBC connection = handles.connection.Get();
    if (TransactionCapability(connection) != SQL_TC_ALL)
        return;
    Check(SetAutocommit(connection, false), SQL_HANDLE_DBC, connection);
    std::exception_ptr refused;
    try {
        Execute(createText);
    } catch (...) {
        refused = std::current_exception();
    }
    const SQLRETURN undone = SQLEndTran(SQL_HANDLE_DBC, connection, SQL_ROLLBACK);
    if (!SQL_SUCCEEDED(undone)) {
        // Autocommit would now commit what could not be undone: the connection goes instead.
        try {
            Check(undone, SQL_HANDLE_DBC, connection);
        } catch (...) {
            Close();
            throw;
        }
    }
    Check(SetAutocommit(connection, true), SQL_HANDLE_DBC, connection);
    if (refused)
        std::rethrow_exception(refused);
}

const NameLimits& Connection::Limits()
{
    ConnectionState& handles = Current();
    if (!handles.limits) {
        const SQLHDBC connection = handles.connection.Get();
        NameLimits limits{InfoNumber(connection, SQL_MAX_COLUMNS_IN_TABLE),
                          InfoNumber(connection, SQL_MAX_TABLE_NAME_LEN),
                          InfoNumber(connection, SQL_MAX_COLUMN_NAME_LEN)};
        if (handles.MysqlFamily()) {
            for (std::size_t* length : {&limits.maxTableName, &limits.maxColumnName})
                *length = *length ? std::min(*length, kMysqlNameLength) : kMysqlNameLength;
        }
        handles.limits = limits;
    }
    return *handles.limits;
}

bool Connection::IsTransactional(const std::string& table)
{
    if (!SupportsTransactions())
        return false;
    if (!Current().MysqlFamily())
        return true;
    // MySQL's engines differ per table: a MyISAM table keeps the rows of a refused statement before the
    // refused one, so a batch could not be sent again.
    std::string literal = "'";
    for (const char c : table)
        literal += c == '\'' ? std::string("''") : std::string(1, c);
    literal += "'";
    const auto rows = QueryStrings("SELECT e.TRANSACTIONS FROM information_schema.TABLES t JOIN "
                                   "information_schema.ENGINES e ON e.ENGINE = t.ENGINE WHERE "
                                   "t.TABLE_SCHEMA = DATABASE() AND t.TABLE_NAME = " + literal);
    return !rows.empty() && !rows.front().empty() && rows.front().front() == std::string("YES");
}

bool Connection::SupportsTransactions()
{
    return TransactionCapability(Current().connection.Get()) != SQL_TC_NONE;
}

DatabaseKind Connection::Kind() const
{
    return Current().kind;
}

std::string Connection::DriverName()
{
    return InfoText(Current().connection.Get(), SQL_DRIVER_NAME);
}

}  // namespace qb
