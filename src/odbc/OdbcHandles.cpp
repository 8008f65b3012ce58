#include "odbc/OdbcHandles.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

namespace qb::odbc {

namespace {

// A driver that never answers SQL_NO_DATA must not keep us looping.
constexpr SQLSMALLINT kMaxRecords = 100;

std::string Text(const SQLCHAR* bytes, std::size_t capacity, SQLSMALLINT reported)
{
    // Trust the reported length, but never past the buffer or its terminator.
    const std::size_t length = reported < 0 ? 0 : static_cast<std::size_t>(reported);
    const char* chars = reinterpret_cast<const char*>(bytes);
    return std::string(chars, ::strnlen(chars, std::min(length, capacity)));
}

}  // namespace

std::vector<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle,
                                              SQLSMALLINT firstBuffer) noexcept
{
    std::vector<DiagnosticRecord> records;
    if (handle == SQL_NULL_HANDLE)
        return records;
    try {
        std::vector<SQLCHAR> message;
        for (SQLSMALLINT number = 1; number <= kMaxRecords; ++number) {
            SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
            SQLINTEGER native = 0;
            SQLSMALLINT length = 0;
            message.assign(static_cast<std::size_t>(std::max<SQLSMALLINT>(firstBuffer, 1)), 0);
            SQLRETURN result = SQLGetDiagRec(handleType, handle, number, state, &native, message.data(),
                                             static_cast<SQLSMALLINT>(message.size()), &length);
            if (result == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())
                && length < SHRT_MAX) {
                // Truncated: read the same record again with room for all of it.
                message.assign(static_cast<std::size_t>(length) + 1, 0);
                result = SQLGetDiagRec(handleType, handle, number, state, &native, message.data(),
                                       static_cast<SQLSMALLINT>(message.size()), &length);
            }
            if (!SQL_SUCCEEDED(result))
                break;  // SQL_NO_DATA after the last record
            records.push_back({Text(state, SQL_SQLSTATE_SIZE, SQL_SQLSTATE_SIZE), static_cast<long>(native),
                               Text(message.data(), message.size() - 1, length)});
        }
    } catch (...) {
        // Out of memory while reporting: keep what was read.
    }
    return records;
}

void Check(SQLRETURN result, SQLSMALLINT handleType, SQLHANDLE handle)
{
    if (SQL_SUCCEEDED(result))
        return;
    if (result == SQL_INVALID_HANDLE)
        throw DatabaseError("HY000", "The ODBC driver manager reported an invalid handle");
    throw DatabaseError(ReadDiagnostics(handleType, handle));
}

Environment::Environment()
{
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_handle)))
        throw DatabaseError("HY001", "Could not allocate an ODBC environment");
    const SQLRETURN result =
        SQLSetEnvAttr(m_handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(result)) {
        DatabaseError error(ReadDiagnostics(SQL_HANDLE_ENV, m_handle));
        SQLFreeHandle(SQL_HANDLE_ENV, m_handle);
        throw error;
    }
}

Environment::~Environment()
{
    SQLFreeHandle(SQL_HANDLE_ENV, m_handle);
}

ConnectionHandle::ConnectionHandle(const Environment& environment, std::string_view dataSourceName)
{
    Check(SQLAllocHandle(SQL_HANDLE_DBC, environment.Get(), &m_handle), SQL_HANDLE_ENV, environment.Get());
    // Ask drivers that honour it not to wait forever on an unreachable server; others may refuse.
    SQLSetConnectAttr(m_handle, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN{30}), 0);
    // Credentials come from the data source's own configuration.
    SQLCHAR empty[1] = {0};
    const SQLRETURN result =
        SQLConnect(m_handle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(dataSourceName.data())),
                   static_cast<SQLSMALLINT>(dataSourceName.size()), empty, 0, empty, 0);
    if (!SQL_SUCCEEDED(result)) {
        DatabaseError error(ReadDiagnostics(SQL_HANDLE_DBC, m_handle));
        SQLFreeHandle(SQL_HANDLE_DBC, m_handle);
        throw error;
    }
}

ConnectionHandle::~ConnectionHandle()
{
    if (!SQL_SUCCEEDED(SQLDisconnect(m_handle))) {
        // An open transaction blocks the disconnect: give it up and try once more.
        SQLEndTran(SQL_HANDLE_DBC, m_handle, SQL_ROLLBACK);
        SQLDisconnect(m_handle);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, m_handle);
}

StatementHandle::StatementHandle(const ConnectionHandle& connection)
{
    Check(SQLAllocHandle(SQL_HANDLE_STMT, connection.Get(), &m_handle), SQL_HANDLE_DBC, connection.Get());
}

StatementHandle::~StatementHandle()
{
    SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
}

CursorScope::~CursorScope()
{
    SQLFreeStmt(m_handle, SQL_CLOSE);
}

}  // namespace qb::odbc
