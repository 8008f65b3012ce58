#include "odbc/Database.h"

#include "odbc/ConnectionHandles.h"
#include "odbc/OdbcCalls.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <type_traits>
#include <utility>

namespace qb {
namespace {

using namespace odbc;

void CheckDataSourceName(const std::string& name)
{
    if (name.empty())
        throw DatabaseError("IM002", "No data source name was given");
    if (name.size() > SQL_MAX_DSN_LENGTH)
        throw DatabaseError("IM010", "The data source name is " + std::to_string(name.size())
                                         + " bytes long; at most " + std::to_string(SQL_MAX_DSN_LENGTH)
                                         + " are allowed");
    // The driver manager reads names up to a NUL, so "Real\0junk" would reach "Real".
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x20 || byte == 0x7f)
            throw DatabaseError("IM002", "The data source name holds a control character at byte "
                                             + std::to_string(i + 1));
    }
}

// Drivers connect and disconnect with process-wide state (psqlODBC sets the locale, for one): a run's jobs
// take turns at it.
std::mutex g_connecting;

}  // namespace

Connection::Connection() = default;
Connection::~Connection()
{
    Close();
}
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&& other) noexcept
{
    if (this != &other) {
        Close();
        m_handles = std::move(other.m_handles);
    }
    return *this;
}

void Connection::Open(const std::string& dataSourceName)
{
    Close();
    CheckDataSourceName(dataSourceName);
    std::unique_lock connecting(g_connecting);
    auto handles = std::make_unique<ConnectionState>(dataSourceName);
    connecting.unlock();
    // Every statement must be committed on its own; state it rather than trust each driver's default.
    const SQLHDBC connection = handles->connection.Get();
    Check(SetAutocommit(connection, true), SQL_HANDLE_DBC, connection);
    handles->kind = KindOf(InfoText(connection, SQL_DBMS_NAME));
    m_handles = std::move(handles);
    if (m_handles->MysqlFamily()) {
        // Double quotes name things and a backslash is an ordinary byte, as everywhere else; the
        // session's other modes stay.
        Execute("SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), "
                "'ANSI_QUOTES', 'NO_BACKSLASH_ESCAPES')");
    }
}

bool Connection::IsOpen() const noexcept
{
    return m_handles != nullptr;
}

bool Connection::Alive() noexcept
{
    if (!m_handles)
        return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    // A driver that cannot say is taken at its word that nothing failed yet.
    if (!SQL_SUCCEEDED(SQLGetConnectAttr(m_handles->connection.Get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)))
        return true;
    return dead != SQL_CD_TRUE;
}

void Connection::Close() noexcept
{
    if (!m_handles)
        return;
    const std::lock_guard connecting(g_connecting);
    m_handles.reset();
}

void Connection::Execute(std::string_view sqlText)
{
    const StatementHandle& statement = Current().statement;
    CursorScope cursor(statement);
    ExecuteDirect(statement.Get(), sqlText);
}

void Connection::Execute(std::string_view sqlText, std::span<const std::optional<std::string_view>> values)
{
    RunBound(sqlText, values, nullptr);
}

std::vector<TextRow> Connection::QueryStrings(std::string_view queryText,
                                              std::span<const std::optional<std::string_view>> values)
{
    std::vector<TextRow> rows;
    RunBound(queryText, values, &rows);
    return rows;
}

void Connection::RunBound(std::string_view sqlText, std::span<const std::optional<std::string_view>> values,
                          std::vector<TextRow>* rows)
{
    ConnectionState& handles = Current();
    const StatementHandle& statement = handles.statement;
    CursorScope cursor(statement);
    struct Unbind {
        SQLHSTMT handle;
        ~Unbind() { SQLFreeStmt(handle, SQL_RESET_PARAMS); }
    } unbind{statement.Get()};
    // MariaDB's client library builds the execute packet in one buffer that it doubles for any value
    // after a large one (a copy of the line, twice over); a value sent at execution goes out piece by piece.
    const bool atExecution = handles.MysqlFamily();
    // Lengths live until the statement has run; the driver reads them then.
    std::vector<SQLLEN> lengths(values.size());
    static char noText = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto& value = values[i];
        const SQLULEN size = value && !value->empty() ? value->size() : 1;
        SQLPOINTER bytes = value && !value->empty() ? const_cast<char*>(value->data()) : &noText;
        SQLLEN bufferLength = static_cast<SQLLEN>(size);
        lengths[i] = value ? static_cast<SQLLEN>(value->size()) : SQL_NULL_DATA;
        if (value && atExecution) {
            lengths[i] = SQL_DATA_AT_EXEC;
            bytes = const_cast<std::optional<std::string_view>*>(&value);  // given back by SQLParamData
            bufferLength = 0;
        }
        Check(SQLBindParameter(statement.Get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR,
                                     SQL_LONGVARCHAR, size, 0, bytes, bufferLength, &lengths[i]),
                    SQL_HANDLE_STMT, statement.Get());
    }
    // A statement left waiting for data takes no other call until it is cancelled.
    struct Cancel {
        SQLHSTMT handle;
        bool waiting = false;
        ~Cancel()
        {
            if (waiting)
                SQLCancel(handle);
        }
    } cancel{statement.Get()};
    SQLRETURN result = ExecuteDirectRaw(statement.Get(), sqlText);
    while (result == SQL_NEED_DATA) {
        cancel.waiting = true;
        SQLPOINTER token = nullptr;
        result = SQLParamData(statement.Get(), &token);
        if (result != SQL_NEED_DATA)
            break;
        const auto* value = static_cast<const std::optional<std::string_view>*>(token);
        if (!value || !*value)
            throw DatabaseError("HY000", "The driver asked for a value that was not bound at execution");
        PutInPieces(statement.Get(), **value);
    }
    cancel.waiting = false;
    CheckExecuted(statement.Get(), result);
    if (rows)
        *rows = FetchAll(statement.Get());
}

int Connection::ColumnCount(std::string_view queryText)
{
    const StatementHandle& statement = Current().statement;
    CursorScope cursor(statement);
    // Prepared, not run: the drivers describe the result without reading a row of it.
    PrepareText(statement.Get(), queryText);
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(statement.Get(), &columns), SQL_HANDLE_STMT, statement.Get());
    return columns;
}

std::vector<std::string> Connection::ColumnNames(std::string_view queryText)
{
    const StatementHandle& statement = Current().statement;
    CursorScope cursor(statement);
    PrepareText(statement.Get(), queryText);
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(statement.Get(), &columns), SQL_HANDLE_STMT, statement.Get());
    std::vector<std::string> names;
    constexpr std::size_t kMaxNameBuffer = 32767;  // what an SQLSMALLINT can say
    std::vector<SQLCHAR> name(256);
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
        SQLSMALLINT length = 0;
        // Every output given room: not every driver takes a null one.
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        const auto describe = [&] {
            Check(SQLDescribeCol(statement.Get(), c, name.data(), static_cast<SQLSMALLINT>(name.size()), &length,
                                       &type, &size, &digits, &nullable),
                        SQL_HANDLE_STMT, statement.Get());
        };
        describe();
        // A name that fills the buffer may have been cut: some drivers then tell the cut length, not
        // the whole, so the buffer grows until the name falls short of it.
        while (length >= static_cast<SQLSMALLINT>(name.size() - 1) && name.size() < kMaxNameBuffer) {
            name.resize(std::min(std::max(name.size() * 2, static_cast<std::size_t>(length) + 1), kMaxNameBuffer));
            describe();
        }
        names.emplace_back(reinterpret_cast<const char*>(name.data()),
                           std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                                 name.size() - 1));
    }
    return names;
}

std::vector<TableEntry> Connection::Tables()
{
    ConnectionState& handles = Current();
    const StatementHandle& statement = handles.statement;
    // A MySQL-family server's catalogs are its databases: only the data source's own counts.
    std::string catalog;
    if (handles.MysqlFamily())
        catalog = InfoText(handles.connection.Get(), SQL_DATABASE_NAME);
    CursorScope cursor(statement);
    // Null patterns otherwise: every catalog, schema, table and type.
    Check(SQLTables(statement.Get(),
                          catalog.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(catalog.data()),
                          catalog.empty() ? 0 : static_cast<SQLSMALLINT>(catalog.size()), nullptr, 0, nullptr, 0,
                          nullptr, 0),
                SQL_HANDLE_STMT, statement.Get());
    std::vector<TableEntry> tables;
    for (TextRow& row : FetchAll(statement.Get())) {
        // TABLE_NAME is column 3 and TABLE_TYPE column 4 of every conforming driver.
        if (row.size() < 4)
            throw DatabaseError("HY000", "The driver's tables catalogue has fewer than 4 columns");
        tables.push_back({row[3].value_or(std::string()), row[2].value_or(std::string())});
    }
    return tables;
}

std::vector<TextRow> Connection::QueryStrings(std::string_view queryText)
{
    const StatementHandle& statement = Current().statement;
    CursorScope cursor(statement);
    ExecuteDirect(statement.Get(), queryText);
    return FetchAll(statement.Get());
}

static_assert(std::is_same_v<SQLLEN, std::int64_t> && kNullLength == SQL_NULL_DATA,
              "a parameter array's lengths are the driver's own");

void Connection::ExecuteArray(std::string_view insertText, const ParameterArray& array)
{
    ConnectionState& handles = Current();
    if (!handles.arrays || handles.prepared != insertText) {
        handles.prepared.clear();
        handles.arrays.emplace(handles.connection);
        const SQLHSTMT statement = handles.arrays->Get();
        Check(SQLSetStmtAttr(statement, SQL_ATTR_PARAM_BIND_TYPE,
                             reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_PARAM_BIND_BY_COLUMN}), 0),
              SQL_HANDLE_STMT, statement);
        PrepareText(statement, insertText);
        handles.prepared = insertText;
    }
    const SQLHSTMT statement = handles.arrays->Get();
    struct Close {
        SQLHSTMT handle;
        ~Close() { SQLFreeStmt(handle, SQL_CLOSE); }
    } close{statement};
    const std::size_t rows = array.rows;
    handles.arrayStatus.assign(rows, SQL_PARAM_UNUSED);
    char* base = array.bytes.data();
    for (std::size_t column = 0; column < array.widths.size(); ++column) {
        const std::size_t width = array.widths[column];
        Check(SQLBindParameter(statement, static_cast<SQLUSMALLINT>(column + 1), SQL_PARAM_INPUT, SQL_C_CHAR,
                               SQL_LONGVARCHAR, width, 0, base, static_cast<SQLLEN>(width),
                               array.lengths.data() + column * rows),
              SQL_HANDLE_STMT, statement);
        base += width * rows;
    }
    Check(SQLSetStmtAttr(statement, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0), SQL_HANDLE_STMT,
          statement);
    Check(SQLSetStmtAttr(statement, SQL_ATTR_PARAM_STATUS_PTR, handles.arrayStatus.data(), 0), SQL_HANDLE_STMT,
          statement);
    const SQLRETURN result = SQLExecute(statement);
    Check(result, SQL_HANDLE_STMT, statement);
    // A driver may take the array and still mark single rows as refused.
    for (const SQLUSMALLINT row : handles.arrayStatus) {
        if (row == SQL_PARAM_ERROR || (result == SQL_SUCCESS_WITH_INFO && row == SQL_PARAM_DIAG_UNAVAILABLE))
            throw DatabaseError(ReadDiagnostics(SQL_HANDLE_STMT, statement));
    }
}

void Connection::InOneTransaction(const std::function<void()>& work, std::span<const std::string> also)
{
    ConnectionState& handles = Current();
    if (handles.inOneTransaction)
        throw DatabaseError("HY010", "A transaction is already under way");
    const SQLHDBC connection = handles.connection.Get();
    Check(SetAutocommit(connection, false), SQL_HANDLE_DBC, connection);
    handles.inOneTransaction = true;
    try {
        work();
        for (const std::string& statement : also)
            Execute(statement);
        Check(SQLEndTran(SQL_HANDLE_DBC, connection, SQL_COMMIT), SQL_HANDLE_DBC, connection);
    } catch (...) {
        handles.inOneTransaction = false;
        SQLEndTran(SQL_HANDLE_DBC, connection, SQL_ROLLBACK);
        SetAutocommit(connection, true);
        throw;
    }
    handles.inOneTransaction = false;
    Check(SetAutocommit(connection, true), SQL_HANDLE_DBC, connection);
}

ConnectionState& Connection::Current() const
{
    if (!m_handles)
        throw DatabaseError("08003", "The connection is not open");
    return *m_handles;
}

}  // namespace qb
