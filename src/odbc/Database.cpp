#include "odbc/Database.h"

#include "odbc/OdbcHandles.h"
#include "base/AsciiCase.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <utility>

namespace qb {

struct Connection::Handles {
    explicit Handles(std::string_view dataSourceName)
        : connection(environment, dataSourceName), statement(connection)
    {
    }

    DatabaseKind kind = DatabaseKind::Other;
    // MySQL or MariaDB, whose defaults read our texts otherwise.
    bool MysqlFamily() const { return kind == DatabaseKind::Mariadb; }
    std::optional<NameLimits> limits;  // asked once
    bool together = false;  // inside Together's transaction
    // Parameter arrays: the INSERT prepared on the array statement, and room for a chunk's values.
    std::string prepared;
    std::vector<char> arrayBytes;
    std::vector<SQLLEN> arrayLengths;
    std::vector<SQLUSMALLINT> arrayStatus;

    // Declared in the order they must be created; destroyed in reverse.
    odbc::Environment environment;
    odbc::ConnectionHandle connection;
    odbc::StatementHandle statement;  // reused by every call, its cursor closed after each
    std::optional<odbc::StatementHandle> arrays;  // keeps its prepared INSERT between calls
};

namespace {

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

// A statement text as the driver interface takes it: by explicit length, not
// SQL_NTS, so NUL bytes and any 8-bit bytes go through as they are.
SQLCHAR* TextBytes(std::string_view text)
{
    static SQLCHAR noText = 0;
    if (text.size() > static_cast<std::size_t>(INT_MAX))
        throw DatabaseError("HY090", "The statement text is longer than the driver interface allows");
    return text.empty() ? &noText : reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.data()));
}

// The driver's answer, unchecked.
SQLRETURN ExecuteDirectRaw(SQLHSTMT statement, std::string_view text)
{
    return SQLExecDirect(statement, TextBytes(text), static_cast<SQLINTEGER>(text.size()));
}

void CheckExecuted(SQLHSTMT statement, SQLRETURN result)
{
    // SQL_NO_DATA: a searched UPDATE or DELETE that matched no row.
    if (result != SQL_NO_DATA)
        odbc::Check(result, SQL_HANDLE_STMT, statement);
}

void ExecuteDirect(SQLHSTMT statement, std::string_view text)
{
    CheckExecuted(statement, ExecuteDirectRaw(statement, text));
}

// A value sent at execution goes in pieces of this size, so the driver's copy of a piece stays small.
constexpr std::size_t kPutDataPiece = std::size_t{1} << 20;

void PutInPieces(SQLHSTMT statement, std::string_view value)
{
    static char noText = 0;
    std::size_t offset = 0;
    do {
        const std::size_t size = std::min(kPutDataPiece, value.size() - offset);
        char* bytes = size ? const_cast<char*>(value.data() + offset) : &noText;
        odbc::Check(SQLPutData(statement, bytes, static_cast<SQLLEN>(size)), SQL_HANDLE_STMT, statement);
        offset += size;
    } while (offset < value.size());
}

// Prepared, not run.
void PrepareText(SQLHSTMT statement, std::string_view text)
{
    odbc::Check(SQLPrepare(statement, TextBytes(text), static_cast<SQLINTEGER>(text.size())), SQL_HANDLE_STMT,
                statement);
}

std::optional<std::string> ReadText(SQLHSTMT statement, SQLUSMALLINT column)
{
    std::string value;
    char buffer[4096];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN result = SQLGetData(statement, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (result == SQL_NO_DATA)
            break;  // the previous part was the last
        odbc::Check(result, SQL_HANDLE_STMT, statement);
        if (indicator == SQL_NULL_DATA)
            return std::nullopt;
        const bool truncated = result == SQL_SUCCESS_WITH_INFO
            && (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer));
        if (!truncated) {
            value.append(buffer, static_cast<std::size_t>(indicator < 0 ? 0 : indicator));
            break;
        }
        // The buffer holds one part and its terminator; the next call returns the rest.
        value.append(buffer, sizeof buffer - 1);
    }
    return value;
}

std::vector<TextRow> FetchAll(SQLHSTMT statement)
{
    SQLSMALLINT columns = 0;
    odbc::Check(SQLNumResultCols(statement, &columns), SQL_HANDLE_STMT, statement);
    std::vector<TextRow> rows;
    if (columns <= 0)
        return rows;
    for (;;) {
        const SQLRETURN result = SQLFetch(statement);
        if (result == SQL_NO_DATA)
            break;
        odbc::Check(result, SQL_HANDLE_STMT, statement);
        TextRow& row = rows.emplace_back();
        row.reserve(static_cast<std::size_t>(columns));
        for (SQLSMALLINT column = 1; column <= columns; ++column)
            row.push_back(ReadText(statement, static_cast<SQLUSMALLINT>(column)));
    }
    return rows;
}

std::string InfoText(SQLHDBC connection, SQLUSMALLINT type)
{
    char text[256] = {};
    SQLSMALLINT length = 0;
    odbc::Check(SQLGetInfo(connection, type, text, sizeof text, &length), SQL_HANDLE_DBC, connection);
    return std::string(text, static_cast<std::size_t>(std::clamp<SQLSMALLINT>(length, 0, sizeof text - 1)));
}

std::string DbmsName(SQLHDBC connection)
{
    return InfoText(connection, SQL_DBMS_NAME);
}

// A number the driver reports; 0 when it cannot say.
std::size_t InfoNumber(SQLHDBC connection, SQLUSMALLINT type)
{
    SQLUSMALLINT value = 0;
    return SQL_SUCCEEDED(SQLGetInfo(connection, type, &value, sizeof value, nullptr)) ? value : 0;
}

SQLUSMALLINT TransactionCapability(SQLHDBC connection)
{
    SQLUSMALLINT capable = SQL_TC_NONE;
    odbc::Check(SQLGetInfo(connection, SQL_TXN_CAPABLE, &capable, sizeof capable, nullptr), SQL_HANDLE_DBC,
                connection);
    return capable;
}

SQLRETURN SetAutocommit(SQLHDBC connection, bool on)
{
    const SQLULEN mode = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    return SQLSetConnectAttr(connection, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(mode), SQL_IS_UINTEGER);
}

// MySQL and MariaDB take names of 64 characters; MariaDB's driver says 256 and 255.
constexpr std::size_t kMysqlNameLength = 64;

DatabaseKind KindOf(const std::string& dbms)
{
    const std::string lower = LowerAscii(dbms);
    const auto holds = [&](const char* part) { return lower.find(part) != std::string::npos; };
    return holds("sqlite")                      ? DatabaseKind::Sqlite
           : holds("postgresql")                ? DatabaseKind::Postgres
           : holds("mysql") || holds("mariadb") ? DatabaseKind::Mariadb
                                                : DatabaseKind::Other;
}

}  // namespace

Connection::Connection() = default;
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

void Connection::Open(const std::string& dataSourceName)
{
    Close();
    CheckDataSourceName(dataSourceName);
    auto handles = std::make_unique<Handles>(dataSourceName);
    // Every statement must be committed on its own; state it rather than trust each driver's default.
    const SQLHDBC connection = handles->connection.Get();
    odbc::Check(SetAutocommit(connection, true), SQL_HANDLE_DBC, connection);
    handles->kind = KindOf(DbmsName(connection));
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
    m_handles.reset();
}

void Connection::Execute(std::string_view sqlText)
{
    const odbc::StatementHandle& statement = Current().statement;
    odbc::CursorScope cursor(statement);
    ExecuteDirect(statement.Get(), sqlText);
}

void Connection::Execute(std::string_view sqlText, std::span<const std::optional<std::string_view>> values)
{
    Handles& handles = Current();
    const odbc::StatementHandle& statement = handles.statement;
    odbc::CursorScope cursor(statement);
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
        odbc::Check(SQLBindParameter(statement.Get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR,
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
}

int Connection::ColumnCount(std::string_view queryText)
{
    const odbc::StatementHandle& statement = Current().statement;
    odbc::CursorScope cursor(statement);
    // Prepared, not run: the drivers describe the result without reading a row of it.
    PrepareText(statement.Get(), queryText);
    SQLSMALLINT columns = 0;
    odbc::Check(SQLNumResultCols(statement.Get(), &columns), SQL_HANDLE_STMT, statement.Get());
    return columns;
}

std::vector<std::string> Connection::ColumnNames(std::string_view queryText)
{
    const odbc::StatementHandle& statement = Current().statement;
    odbc::CursorScope cursor(statement);
    PrepareText(statement.Get(), queryText);
    SQLSMALLINT columns = 0;
    odbc::Check(SQLNumResultCols(statement.Get(), &columns), SQL_HANDLE_STMT, statement.Get());
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
            odbc::Check(SQLDescribeCol(statement.Get(), c, name.data(), static_cast<SQLSMALLINT>(name.size()), &length,
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

void Connection::CheckCreate(std::string_view quotedTable, std::string_view createText)
{
    Handles& handles = Current();
    {
        odbc::CursorScope cursor(handles.statement);
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
    odbc::Check(SetAutocommit(connection, false), SQL_HANDLE_DBC, connection);
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
            odbc::Check(undone, SQL_HANDLE_DBC, connection);
        } catch (...) {
            Close();
            throw;
        }
    }
    odbc::Check(SetAutocommit(connection, true), SQL_HANDLE_DBC, connection);
    if (refused)
        std::rethrow_exception(refused);
}

const NameLimits& Connection::Limits()
{
    Handles& handles = Current();
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

std::vector<TableEntry> Connection::Tables()
{
    Handles& handles = Current();
    const odbc::StatementHandle& statement = handles.statement;
    // A MySQL-family server's catalogs are its databases: only the data source's own counts.
    std::string catalog;
    if (handles.MysqlFamily())
        catalog = InfoText(handles.connection.Get(), SQL_DATABASE_NAME);
    odbc::CursorScope cursor(statement);
    // Null patterns otherwise: every catalog, schema, table and type.
    odbc::Check(SQLTables(statement.Get(),
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
    const odbc::StatementHandle& statement = Current().statement;
    odbc::CursorScope cursor(statement);
    ExecuteDirect(statement.Get(), queryText);
    return FetchAll(statement.Get());
}

DatabaseKind Connection::Kind() const
{
    return Current().kind;
}

std::string Connection::DriverName()
{
    return InfoText(Current().connection.Get(), SQL_DRIVER_NAME);
}

namespace {

// The most bytes one chunk of a parameter array takes: columns are bound at
// the width of their longest value, so an odd long value must not multiply.
constexpr std::size_t kArrayBytes = std::size_t(8) << 20;

// Runs the prepared statement over rows [first, first + rows) of values,
// bound column by column; throws when any row is refused.
void ExecuteChunk(SQLHSTMT statement, std::size_t columns, std::span<const std::optional<std::string_view>> values,
                  std::size_t first, std::size_t rows, const std::vector<std::size_t>& widths,
                  std::vector<char>& bytes, std::vector<SQLLEN>& lengths, std::vector<SQLUSMALLINT>& status)
{
    std::size_t total = 0;
    for (const std::size_t width : widths)
        total += width * rows;
    bytes.resize(std::max<std::size_t>(total, 1));
    lengths.resize(columns * rows);
    status.assign(rows, SQL_PARAM_UNUSED);
    std::size_t at = 0;
    for (std::size_t column = 0; column < columns; ++column) {
        char* const base = bytes.data() + at;
        SQLLEN* const length = lengths.data() + column * rows;
        for (std::size_t row = 0; row < rows; ++row) {
            const auto& value = values[(first + row) * columns + column];
            if (!value) {
                length[row] = SQL_NULL_DATA;
                continue;
            }
            std::copy(value->begin(), value->end(), base + row * widths[column]);
            length[row] = static_cast<SQLLEN>(value->size());
        }
        odbc::Check(SQLBindParameter(statement, static_cast<SQLUSMALLINT>(column + 1), SQL_PARAM_INPUT, SQL_C_CHAR,
                                     SQL_LONGVARCHAR, widths[column], 0, base, static_cast<SQLLEN>(widths[column]),
                                     length),
                    SQL_HANDLE_STMT, statement);
        at += widths[column] * rows;
    }
    odbc::Check(SQLSetStmtAttr(statement, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0),
                SQL_HANDLE_STMT, statement);
    odbc::Check(SQLSetStmtAttr(statement, SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0), SQL_HANDLE_STMT, statement);
    const SQLRETURN result = SQLExecute(statement);
    odbc::Check(result, SQL_HANDLE_STMT, statement);
    // A driver may take the array and still mark single rows as refused.
    for (const SQLUSMALLINT row : status) {
        if (row == SQL_PARAM_ERROR || (result == SQL_SUCCESS_WITH_INFO && row == SQL_PARAM_DIAG_UNAVAILABLE))
            throw DatabaseError(odbc::ReadDiagnostics(SQL_HANDLE_STMT, statement));
    }
}

}  // namespace

void Connection::InsertRows(std::string_view quotedTable, std::size_t columns,
                            std::span<const std::optional<std::string_view>> values)
{
    Handles& handles = Current();
    if (columns == 0 || values.empty())
        return;
    const std::size_t rows = values.size() / columns;
    std::string text = "INSERT INTO " + std::string(quotedTable) + " VALUES(";
    for (std::size_t i = 0; i < columns; ++i)
        text += "?,";
    text.back() = ')';
    if (!handles.arrays || handles.prepared != text) {
        handles.prepared.clear();
        handles.arrays.emplace(handles.connection);
        const SQLHSTMT statement = handles.arrays->Get();
        odbc::Check(SQLSetStmtAttr(statement, SQL_ATTR_PARAM_BIND_TYPE,
                                   reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_PARAM_BIND_BY_COLUMN}), 0),
                    SQL_HANDLE_STMT, statement);
        PrepareText(statement, text);
        handles.prepared = text;
    }
    std::vector<std::size_t> widths(columns, 1);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i])
            widths[i % columns] = std::max(widths[i % columns], values[i]->size());
    }
    std::size_t rowBytes = 0;
    for (const std::size_t width : widths)
        rowBytes += width;
    const std::size_t chunk = std::max<std::size_t>(1, kArrayBytes / rowBytes);

    const auto chunks = [&] {
        try {
            for (std::size_t first = 0; first < rows; first += chunk)
                ExecuteChunk(handles.arrays->Get(), columns, values, first, std::min(chunk, rows - first), widths,
                             handles.arrayBytes, handles.arrayLengths, handles.arrayStatus);
        } catch (...) {
            SQLFreeStmt(handles.arrays->Get(), SQL_CLOSE);
            throw;
        }
        SQLFreeStmt(handles.arrays->Get(), SQL_CLOSE);
    };
    if (handles.together)
        chunks();
    else
        Together(chunks, {});
    // A batch of huge values gives its room back.
    if (handles.arrayBytes.size() > kArrayBytes) {
        handles.arrayBytes.clear();
        handles.arrayBytes.shrink_to_fit();
    }
}

void Connection::Together(const std::function<void()>& work, std::span<const std::string> also)
{
    Handles& handles = Current();
    if (handles.together)
        throw DatabaseError("HY010", "A transaction is already under way");
    const SQLHDBC connection = handles.connection.Get();
    odbc::Check(SetAutocommit(connection, false), SQL_HANDLE_DBC, connection);
    handles.together = true;
    try {
        work();
        for (const std::string& statement : also)
            Execute(statement);
        odbc::Check(SQLEndTran(SQL_HANDLE_DBC, connection, SQL_COMMIT), SQL_HANDLE_DBC, connection);
    } catch (...) {
        handles.together = false;
        SQLEndTran(SQL_HANDLE_DBC, connection, SQL_ROLLBACK);
        SetAutocommit(connection, true);
        throw;
    }
    handles.together = false;
    odbc::Check(SetAutocommit(connection, true), SQL_HANDLE_DBC, connection);
}

Connection::Handles& Connection::Current() const
{
    if (!m_handles)
        throw DatabaseError("08003", "The connection is not open");
    return *m_handles;
}

}  // namespace qb
