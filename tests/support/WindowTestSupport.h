#pragma once

#include "odbc/Database.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>

// Real data sources for the window tests, as scripts/with-test-datasources.sh sets them up.
namespace qb::test {

inline std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

inline std::string SqliteDsn()
{
    return Environment("QB_TEST_SQLITE_DSN");
}

inline std::string PostgresDsn()
{
    return Environment("QB_TEST_PG_DSN");
}

// Empties both data sources; no connection may be open.
inline void ResetDataSources()
{
    const std::string file = Environment("QB_TEST_SQLITE_DB");
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        std::remove((file + suffix).c_str());
    if (!PostgresDsn().empty()) {
        Connection connection;
        connection.Open(PostgresDsn());
        connection.Execute("DROP SCHEMA public CASCADE");
        connection.Execute("CREATE SCHEMA public");
    }
}

inline void Execute(const std::string& dsn, const std::string& sql)
{
    Connection connection;
    connection.Open(dsn);
    connection.Execute(sql);
}

inline std::vector<TextRow> Query(const std::string& dsn, const std::string& sql)
{
    Connection connection;
    connection.Open(dsn);
    return connection.QueryStrings(sql);
}

}  // namespace qb::test
