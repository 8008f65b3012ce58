#include "odbc/DatabaseError.h"
#include "odbc/OdbcHandles.h"
#include "support/DataSources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qb::test {
namespace {

TEST(DatabaseErrorText, JoinsEveryRecord)
{
    struct Case {
        const char* what;
        std::vector<DiagnosticRecord> records;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"one record", {{"42S02", 1, "no such table: x"}}, "[42S02] no such table: x"},
        {"several records", {{"01000", 0, "warning"}, {"HY000", 7, "failed\n"}}, "[01000] warning\n[HY000] failed"},
        {"no records", {}, "[HY000] The ODBC call failed without a diagnostic record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DatabaseError error(c.records);
        EXPECT_STREQ(error.what(), c.description.c_str());
        EXPECT_EQ(error.Records().size(), std::max<std::size_t>(c.records.size(), 1));
    }
}

using DiagnosticsTest = DataSourceTest;

// A message longer than the first buffer loses nothing: SQLite's comes again whole, psqlodbc cuts it
// into several records that together hold all of it.
TEST_P(DiagnosticsTest, MessagesLongerThanTheFirstBufferAreReadWhole)
{
    const std::string token(300, 'q');
    const std::string sql = IsPostgres() ? "SELECT '" + token + "'::integer" : "SELECT * FROM " + token;
    odbc::Environment environment;
    odbc::ConnectionHandle connection(environment, GetParam().dsn);
    odbc::StatementHandle statement(connection);
    auto* text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data()));
    ASSERT_EQ(SQLExecDirect(statement.Get(), text, static_cast<SQLINTEGER>(sql.size())), SQL_ERROR);

    const std::vector<DiagnosticRecord> records =
        odbc::ReadDiagnostics(SQL_HANDLE_STMT, statement.Get(), 64);
    ASSERT_FALSE(records.empty());
    std::string joined;
    for (const DiagnosticRecord& record : records) {
        EXPECT_EQ(record.sqlState, records.front().sqlState);
        joined += record.message;
    }
    // MariaDB quotes at most 100 bytes of a name, still more than the first buffer.
    EXPECT_NE(joined.find(token.substr(0, IsMariadb() ? 100 : token.size())), std::string::npos) << joined;
}

INSTANTIATE_TEST_SUITE_P(Drivers, DiagnosticsTest, testing::ValuesIn(AllDataSources()), DataSourceLabel());

}  // namespace
}  // namespace qb::test
