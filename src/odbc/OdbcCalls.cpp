#include "odbc/OdbcCalls.h"

#include <algorithm>
#include <climits>

namespace qb::odbc {

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
        Check(result, SQL_HANDLE_STMT, statement);
}

void ExecuteDirect(SQLHSTMT statement, std::string_view text)
{
    CheckExecuted(statement, ExecuteDirectRaw(statement, text));
}

namespace {

// A value sent at execution goes in pieces of this size, so the driver's copy of a piece stays small.
constexpr std::size_t kPutDataPiece = std::size_t{1} << 20;

}  // namespace

void PutInPieces(SQLHSTMT statement, std::string_view value)
{
    static char noText = 0;
    std::size_t offset = 0;
    do {
        const std::size_t size = std::min(kPutDataPiece, value.size() - offset);
        char* bytes = size ? const_cast<char*>(value.data() + offset) : &noText;
        Check(SQLPutData(statement, bytes, static_cast<SQLLEN>(size)), SQL_HANDLE_STMT, statement);
        offset += size;
    } while (offset < value.size());
}

// Prepared, not run.
void PrepareText(SQLHSTMT statement, std::string_view text)
{
    Check(SQLPrepare(statement, TextBytes(text), static_cast<SQLINTEGER>(text.size())), SQL_HANDLE_STMT,
                statement);
}

namespace {

std::optional<std::string> ReadText(SQLHSTMT statement, SQLUSMALLINT column)
{
    std::string value;
    char buffer[4096];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN result = SQLGetData(statement, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (result == SQL_NO_DATA)
            break;  // the previous part was the last
        Check(result, SQL_HANDLE_STMT, statement);
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

}  // namespace

std::vector<TextRow> FetchAll(SQLHSTMT statement)
{
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(statement, &columns), SQL_HANDLE_STMT, statement);
    std::vector<TextRow> rows;
    if (columns <= 0)
        return rows;
    for (;;) {
        const SQLRETURN result = SQLFetch(statement);
        if (result == SQL_NO_DATA)
            break;
        Check(result, SQL_HANDLE_STMT, statement);
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
    Check(SQLGetInfo(connection, type, text, sizeof text, &length), SQL_HANDLE_DBC, connection);
    return std::string(text, static_cast<std::size_t>(std::clamp<SQLSMALLINT>(length, 0, sizeof text - 1)));
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
    Check(SQLGetInfo(connection, SQL_TXN_CAPABLE, &capable, sizeof capable, nullptr), SQL_HANDLE_DBC,
                connection);
    return capable;
}

SQLRETURN SetAutocommit(SQLHDBC connection, bool on)
{
    const SQLULEN mode = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    return SQLSetConnectAttr(connection, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(mode), SQL_IS_UINTEGER);
}

}  // namespace qb::odbc
