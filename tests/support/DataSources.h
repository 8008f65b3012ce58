#pragma once

#include "odbc/Database.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

// Real ODBC data sources for tests, as scripts/with-test-datasources.sh configures them.
namespace qb::test {

enum class DriverKind { Sqlite, Postgres, Mariadb };

struct DataSource {
    std::string label;  // names the test case, e.g. "Sqlite"
    DriverKind kind;
    std::string dsn;         // empty when the environment does not configure it
    std::string sqliteFile;  // the database file behind an SQLite data source
};

// Names the data source in test listings instead of dumping its bytes.
inline void PrintTo(const DataSource& source, std::ostream* out)
{
    *out << source.label;
}

inline std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Both kinds, configured or not, so that test names are the same everywhere.
inline std::vector<DataSource> AllDataSources()
{
    return {
        {"Sqlite", DriverKind::Sqlite, EnvironmentValue("QB_TEST_SQLITE_DSN"), EnvironmentValue("QB_TEST_SQLITE_DB")},
        {"Postgres", DriverKind::Postgres, EnvironmentValue("QB_TEST_PG_DSN"), ""},
        {"Mariadb", DriverKind::Mariadb, EnvironmentValue("QB_TEST_MARIADB_DSN"), ""},
    };
}

inline bool AllDataSourcesRequired()
{
    return EnvironmentValue("QB_REQUIRE_ALL_DATASOURCES") == "1";
}

inline std::string QuoteIdentifier(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

// Empties a data source so that no test sees what another left behind. No connection may be open.
inline void ResetDataSource(const DataSource& source)
{
    if (source.kind == DriverKind::Sqlite) {
        if (source.sqliteFile.empty())
            throw std::runtime_error("QB_TEST_SQLITE_DB does not name the SQLite database file");
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            std::filesystem::remove(source.sqliteFile + suffix);
        return;
    }
    Connection connection;
    connection.Open(source.dsn);
    if (source.kind == DriverKind::Mariadb) {
        connection.Execute("DROP DATABASE IF EXISTS qbtest");
        connection.Execute("CREATE DATABASE qbtest CHARACTER SET utf8mb4");
        return;
    }
    const auto schemas = connection.QueryStrings(
        "SELECT nspname FROM pg_namespace WHERE nspname NOT IN ('public', 'information_schema') "
        "AND nspname NOT LIKE 'pg\\_%'");
    for (const TextRow& row : schemas)
        connection.Execute("DROP SCHEMA " + QuoteIdentifier(row.at(0).value_or("")) + " CASCADE");
    connection.Execute("DROP SCHEMA public CASCADE");
    connection.Execute("CREATE SCHEMA public");
}

// Runs each test against every data source: skipped when one is not configured, failed instead
// when QB_REQUIRE_ALL_DATASOURCES=1; reset to empty before each test.
class DataSourceTest : public testing::TestWithParam<DataSource> {
protected:
    void SetUp() override
    {
        const DataSource& source = GetParam();
        if (source.dsn.empty()) {
            if (AllDataSourcesRequired())
                FAIL() << source.label << " data source is not configured; run under scripts/with-test-datasources.sh";
            GTEST_SKIP() << source.label << " data source is not configured";
        }
        ResetDataSource(source);
    }

    Connection OpenConnection() const
    {
        Connection connection;
        connection.Open(GetParam().dsn);
        return connection;
    }

    bool IsSqlite() const { return GetParam().kind == DriverKind::Sqlite; }
    bool IsPostgres() const { return GetParam().kind == DriverKind::Postgres; }
    bool IsMariadb() const { return GetParam().kind == DriverKind::Mariadb; }
};

struct DataSourceLabel {
    std::string operator()(const testing::TestParamInfo<DataSource>& info) const { return info.param.label; }
};

}  // namespace qb::test
