#pragma once

#include "odbc/DatabaseError.h"

#include <sql.h>
#include <sqlext.h>

#include <string_view>
#include <vector>

// RAII owners of the unixODBC handles, used only inside the connection component.
namespace qb::odbc {

// Big enough for any message psqlodbc makes: it cuts a longer message into several records, each the
// size of the first buffer it is handed.
constexpr SQLSMALLINT kFirstMessageBuffer = 8192;

// All diagnostic records of a handle, in the driver's order. A message longer than the first buffer
// is read again with the length the driver reports.
std::vector<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle,
                                              SQLSMALLINT firstBuffer = kFirstMessageBuffer) noexcept;

// Throws the handle's diagnostics as a DatabaseError unless result is SQL_SUCCESS(_WITH_INFO).
void Check(SQLRETURN result, SQLSMALLINT handleType, SQLHANDLE handle);

class Environment {
public:
    Environment();
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    SQLHENV Get() const { return m_handle; }

private:
    SQLHENV m_handle = SQL_NULL_HENV;
};

// A connection handle that is connected for its whole life.
class ConnectionHandle {
public:
    ConnectionHandle(const Environment& environment, std::string_view dataSourceName);
    ~ConnectionHandle();
    ConnectionHandle(const ConnectionHandle&) = delete;
    ConnectionHandle& operator=(const ConnectionHandle&) = delete;

    SQLHDBC Get() const { return m_handle; }

private:
    SQLHDBC m_handle = SQL_NULL_HDBC;
};

class StatementHandle {
public:
    explicit StatementHandle(const ConnectionHandle& connection);
    ~StatementHandle();
    StatementHandle(const StatementHandle&) = delete;
    StatementHandle& operator=(const StatementHandle&) = delete;

    SQLHSTMT Get() const { return m_handle; }

private:
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
};

// Closes the statement's cursor (if any) when leaving the scope, so the handle can be reused.
class CursorScope {
public:
    explicit CursorScope(const StatementHandle& statement) : m_handle(statement.Get()) {}
    ~CursorScope();
    CursorScope(const CursorScope&) = delete;
    CursorScope& operator=(const CursorScope&) = delete;

private:
    SQLHSTMT m_handle;
};

}  // namespace qb::odbc
