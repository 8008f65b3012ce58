#pragma once

#include "odbc/ConnectionTypes.h"
#include "odbc/DatabaseKind.h"
#include "odbc/OdbcHandles.h"

#include <optional>
#include <string>
#include <vector>

namespace qb {

// What an open connection holds: shared by the connection's own files only.
struct ConnectionState {
    explicit ConnectionState(std::string_view dataSourceName)
        : connection(environment, dataSourceName), statement(connection)
    {
    }

    DatabaseKind kind = DatabaseKind::Other;
    // MySQL or MariaDB, whose defaults read our texts otherwise.
    bool MysqlFamily() const { return kind == DatabaseKind::Mariadb; }
    std::optional<NameLimits> limits;  // asked once
    bool inOneTransaction = false;  // inside InOneTransaction's work
    // Parameter arrays: the INSERT prepared on the array statement, and each row's outcome.
    std::string prepared;
    std::vector<SQLUSMALLINT> arrayStatus;

    // Declared in the order they must be created; destroyed in reverse.
    odbc::Environment environment;
    odbc::ConnectionHandle connection;
    odbc::StatementHandle statement;  // reused by every call, its cursor closed after each
    std::optional<odbc::StatementHandle> arrays;  // keeps its prepared INSERT between calls
};

// The database a product name names.
DatabaseKind KindOf(const std::string& dbms);

}  // namespace qb
