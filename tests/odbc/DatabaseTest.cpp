#include "odbc/Database.h"
#include "support/DataSources.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qb::test {
namespace {

std::optional<DatabaseError> ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const DatabaseError& error) {
        return error;
    }
    return std::nullopt;
}

// A usable error: SQLSTATEs of the expected class, each shown in the description.
void ExpectWellFormed(const DatabaseError& error, const std::string& expectedClass)
{
    const std::vector<DiagnosticRecord>& records = error.Records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().sqlState.substr(0, 2), expectedClass) << error.what();
    const std::string description = error.what();
    for (const DiagnosticRecord& record : records) {
        EXPECT_EQ(record.sqlState.size(), 5u) << description;
        EXPECT_NE(description.find("[" + record.sqlState + "] "), std::string::npos) << description;
    }
}

std::string Literal(const std::string& value)
{
    std::string literal = "'";
    for (char c : value) {
        literal += c;
        if (c == '\'')
            literal += '\'';
    }
    return literal + "'";
}

// Stores one value and reads it back.
std::optional<std::string> RoundTrip(Connection& connection, const std::string& value)
{
    connection.Execute("DELETE FROM qb_values");
    connection.Execute("INSERT INTO qb_values VALUES(" + Literal(value) + ")");
    const std::vector<TextRow> rows = connection.QueryStrings("SELECT v FROM qb_values");
    if (rows.size() != 1 || rows[0].size() != 1)
        return "<" + std::to_string(rows.size()) + " rows>";
    return rows[0][0];
}

using DatabaseTest = DataSourceTest;

TEST_P(DatabaseTest, OpensWorkingDataSourceAndClosesOnFailedReopen)
{
    Connection connection = OpenConnection();
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_EQ(connection.ColumnCount("SELECT 1, 2"), 2);

    const auto error = ErrorOf([&] { connection.Open("QbNoSuchDataSource"); });
    ASSERT_TRUE(error);
    EXPECT_FALSE(connection.IsOpen());

    connection.Open(GetParam().dsn);
    EXPECT_EQ(connection.ColumnCount("SELECT 1"), 1);
    connection.Close();
    EXPECT_FALSE(connection.IsOpen());
}

TEST_P(DatabaseTest, RefusesNamesThatAreNotExactlyADataSource)
{
    const std::string dsn = GetParam().dsn;
    const std::string smuggledFile = "qb-s.db";  // short enough to pass the length check
    struct Case {
        const char* what;
        std::string name;
        std::string state = {};      // when it matters which check refused the name
        std::string mentioned = {};  // a part of the description that must be there
    };
    const std::vector<Case> cases = {
        {"missing", "QbNoSuchDataSource"},
        {"empty", "", "IM002", "No data source name"},
        {"attributes appended", dsn + ";DATABASE=" + smuggledFile, "IM002"},
        {"longer than allowed", dsn + std::string(40, 'x')},
        {"trailing space", dsn + " "},
        {"leading space", " " + dsn},
        {"braces", "{" + dsn + "}"},
        {"brackets", "[" + dsn + "]"},
        {"newline", dsn + "\n"},
        {"NUL byte", dsn + std::string(1, '\0') + "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Connection connection;
        const auto error = ErrorOf([&] { connection.Open(c.name); });
        ASSERT_TRUE(error);
        ExpectWellFormed(*error, "IM");
        if (!c.state.empty()) {
            EXPECT_EQ(error->Records().front().sqlState, c.state) << error->what();
        }
        EXPECT_NE(std::string(error->what()).find(c.mentioned), std::string::npos) << error->what();
        EXPECT_FALSE(connection.IsOpen());
    }
    EXPECT_FALSE(std::filesystem::exists(smuggledFile));
}

TEST_P(DatabaseTest, ExecutesStatementsAndReadsThemBack)
{
    Connection connection = OpenConnection();
    connection.Execute("CREATE TABLE qb_items(id integer, name varchar(20), note varchar(20))");
    EXPECT_EQ(connection.ColumnCount("SELECT * FROM qb_items"), 3);
    EXPECT_EQ(connection.ColumnCount("SELECT name FROM qb_items"), 1);
    EXPECT_EQ(connection.ColumnNames("SELECT * FROM qb_items WHERE 1=0"),
              (std::vector<std::string>{"id", "name", "note"}));
    if (IsSqlite()) {
        const std::string longName(300, 'n');  // past the first buffer
        EXPECT_EQ(connection.ColumnNames("SELECT 1 AS " + longName), std::vector<std::string>{longName});
    }
    EXPECT_TRUE(connection.QueryStrings("SELECT * FROM qb_items").empty());

    connection.Execute("INSERT INTO qb_items VALUES(1, 'one', NULL)");
    connection.Execute("INSERT INTO qb_items VALUES(2, 'two', '')");
    const std::vector<TextRow> expected = {{"1", "one", std::nullopt}, {"2", "two", ""}};
    EXPECT_EQ(connection.QueryStrings("SELECT id, name, note FROM qb_items ORDER BY id"), expected);

    // Statements that touch no row are not failures.
    connection.Execute("DELETE FROM qb_items WHERE id = 99");
    connection.Execute("UPDATE qb_items SET name = 'x' WHERE id = 99");
    EXPECT_EQ(connection.QueryStrings("SELECT count(*) FROM qb_items"), std::vector<TextRow>{{"2"}});
}

TEST_P(DatabaseTest, ExecutesExactlyTheGivenBytes)
{
    // The view ends before "junk": a driver reading to a terminator would see a broken statement.
    const std::string text = "CREATE TABLE qb_exact(a integer)junk";
    Connection connection = OpenConnection();
    connection.Execute(std::string_view(text).substr(0, text.size() - 4));
    EXPECT_EQ(connection.ColumnCount("SELECT * FROM qb_exact"), 1);

    const auto empty = ErrorOf([&] { connection.Execute(""); });
    ASSERT_TRUE(empty);
    ExpectWellFormed(*empty, "HY");
}

TEST_P(DatabaseTest, CommitsEachStatementOnItsOwn)
{
    Connection writer = OpenConnection();
    Connection reader = OpenConnection();
    writer.Execute("CREATE TABLE qb_commits(id integer)");
    writer.Execute("INSERT INTO qb_commits VALUES(1)");
    EXPECT_EQ(reader.QueryStrings("SELECT count(*) FROM qb_commits"), std::vector<TextRow>{{"1"}});
    writer.Execute("INSERT INTO qb_commits VALUES(2)");
    EXPECT_EQ(reader.QueryStrings("SELECT count(*) FROM qb_commits"), std::vector<TextRow>{{"2"}});
}

TEST_P(DatabaseTest, RejectedStatementsReportTheDriversDiagnostics)
{
    // SQLite's driver reports every statement error as HY000; PostgreSQL's passes the server's state.
    const std::string expectedClass = IsSqlite() ? "HY" : "42";
    Connection connection = OpenConnection();
    connection.Execute("CREATE TABLE qb_present(a integer)");
    struct Case {
        const char* sql;
        const char* mentioned;
    };
    const std::vector<Case> cases = {
        {"SELECT * FROM qb_absent", "qb_absent"},
        {"INSERT INTO qb_absent VALUES(1)", "qb_absent"},
        {"CREATE TABLE qb_present(a integer)", "qb_present"},
        {"SELEC 1", "SELEC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        const auto error = ErrorOf([&] { connection.Execute(c.sql); });
        ASSERT_TRUE(error);
        ExpectWellFormed(*error, expectedClass);
        EXPECT_NE(std::string(error->what()).find(c.mentioned), std::string::npos) << error->what();
    }
    // The column count's query is only prepared, and fails the same way.
    const auto counted = ErrorOf([&] { connection.ColumnCount(cases[0].sql); });
    ASSERT_TRUE(counted);
    EXPECT_EQ(counted->Records().front().sqlState,
              ErrorOf([&] { connection.Execute(cases[0].sql); })->Records().front().sqlState);
    // A failure leaves the connection usable.
    connection.Execute("INSERT INTO qb_present VALUES(7)");
    EXPECT_EQ(connection.QueryStrings("SELECT a FROM qb_present"), std::vector<TextRow>{{"7"}});
}

TEST_P(DatabaseTest, LongErrorMessagesArriveWhole)
{
    const std::string token(600, 'q');
    // PostgreSQL cuts identifiers to 63 bytes, so make it quote a long literal instead.
    const std::string sql = IsPostgres() ? "SELECT " + Literal(token) + "::integer" : "SELECT * FROM " + token;
    Connection connection = OpenConnection();
    const auto error = ErrorOf([&] { connection.Execute(sql); });
    ASSERT_TRUE(error);
    ExpectWellFormed(*error, IsSqlite() ? "HY" : IsPostgres() ? "22" : "42");
    // SQLite's messages pass through the driver manager, which keeps 512 bytes of each; MariaDB
    // quotes at most 100 bytes of a name.
    const std::string expected = token.substr(0, IsPostgres() ? token.size() : IsMariadb() ? 100 : 400);
    EXPECT_NE(std::string(error->what()).find(expected), std::string::npos) << error->what();
    EXPECT_EQ(error->Records().size(), 1u);
}

TEST_P(DatabaseTest, TablesListsTablesAndViewsByBareName)
{
    Connection connection = OpenConnection();
    EXPECT_TRUE(connection.Tables().empty());
    // Created in the order both catalogues list them: SQLite by creation, PostgreSQL by name.
    connection.Execute("CREATE TABLE \"qb \"\"odd\"\" name\"(a integer)");
    connection.Execute("CREATE TABLE qb_items(a integer)");
    connection.Execute("CREATE VIEW qb_items_view AS SELECT a FROM qb_items");
    const std::vector<TableEntry> expected = {
        {"TABLE", "qb \"odd\" name"},
        {"TABLE", "qb_items"},
        {"VIEW", "qb_items_view"},
    };
    EXPECT_EQ(connection.Tables(), expected);
    // The cursor of the catalogue is closed: the handle serves the next statement.
    connection.Execute("DROP VIEW qb_items_view");
    EXPECT_EQ(connection.Tables().size(), 2u);
}

TEST_P(DatabaseTest, NameLimitsAreTheLongestNamesKeptWhole)
{
    Connection connection = OpenConnection();
    const NameLimits limits = connection.Limits();
    // PostgreSQL keeps 63 bytes of a name, MariaDB 64 characters (its driver says 256); SQLite has no
    // limit of its own, and its driver's is taken as it says.
    if (!IsSqlite()) {
        EXPECT_EQ(limits.maxTableName, IsPostgres() ? 63u : 64u);
        EXPECT_EQ(limits.maxColumnName, IsPostgres() ? 63u : 64u);
    }
    ASSERT_GT(limits.maxTableName, 0u);
    ASSERT_GT(limits.maxColumnName, 0u);
    const std::string table(limits.maxTableName, 't'), column(limits.maxColumnName, 'c');
    connection.Execute("CREATE TABLE " + QuoteIdentifier(table) + "(" + QuoteIdentifier(column) + " TEXT)");
    EXPECT_EQ(connection.Tables(), (std::vector<TableEntry>{{"TABLE", table}}));
    connection.Execute("INSERT INTO " + QuoteIdentifier(table) + "(" + QuoteIdentifier(column) + ") VALUES('x')");
}

TEST_P(DatabaseTest, CheckCreateTellsTheDatabasesWordsAndCreatesNothing)
{
    Connection checker = OpenConnection();
    Connection other = OpenConnection();
    const std::string duplicate = R"(CREATE TABLE "qb_dup"("a" TEXT, "a" TEXT))";
    const auto checked = ErrorOf([&] { checker.CheckCreate("qb_dup", duplicate); });
    const auto created = ErrorOf([&] { other.Execute(duplicate); });
    ASSERT_TRUE(checked);
    ASSERT_TRUE(created);
    EXPECT_EQ(std::string(checked->what()), created->what());

    // Twice: nothing of the first is left, not even in its own session.
    const std::string fine = R"(CREATE TABLE "qb_fine"("a" TEXT))";
    checker.CheckCreate("qb_fine", fine);
    checker.CheckCreate("qb_fine", fine);
    EXPECT_TRUE(other.Tables().empty());
    // Each statement is committed on its own again.
    checker.Execute(fine);
    checker.Execute(R"(INSERT INTO "qb_fine" VALUES('x'))");
    EXPECT_EQ(other.QueryStrings(R"(SELECT "a" FROM "qb_fine")"), std::vector<TextRow>{{"x"}});
    // A temporary table may share an existing table's name: MariaDB's check cannot tell that it exists.
    EXPECT_EQ(ErrorOf([&] { checker.CheckCreate("qb_fine", fine); }).has_value(), !IsMariadb());
}

TEST_P(DatabaseTest, TextRoundTripsUnchanged)
{
    Connection connection = OpenConnection();
    connection.Execute("CREATE TABLE qb_values(v TEXT)");
    std::string longValue;
    for (int i = 0; longValue.size() < 10000; ++i)
        longValue += std::to_string(i) + ',';
    const std::vector<std::string> values = {
        "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80",  // Grüße – 日本 😀
        "O'Brien",
        "''",
        "C:\\temp\\new",
        "\\'",
        "trailing \\",
        "say \"hi\"",
        "{fn LCASE('X')} {d '2020-01-01'} ? $1",
        "-- not a comment /* nor this */",
        "tab\tline\nreturn\r\n",
        "",
        longValue,  // read back in several parts
    };
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        EXPECT_EQ(RoundTrip(connection, value), value);
    }
    // Characters, not bytes: the UTF-8 was stored as UTF-8, not re-encoded.
    RoundTrip(connection, values[0]);
    EXPECT_EQ(connection.QueryStrings(IsMariadb() ? "SELECT char_length(v) FROM qb_values" : "SELECT length(v) FROM qb_values"), std::vector<TextRow>{{"12"}});
}

TEST_P(DatabaseTest, OddBytesAreKeptOrRefusedNeverAltered)
{
    struct Case {
        const char* what;
        std::string value;
        bool keptBySqlite;
        const char* postgresClass;  // of the refusal
    };
    const std::vector<Case> cases = {
        // SQLite stores any bytes; a UTF-8 PostgreSQL database refuses invalid UTF-8.
        {"Latin-1 byte", "caf\xE9", true, "22"},
        // Both drivers end the text at a NUL and then reject the open literal.
        {"NUL byte", std::string("a\0b", 3), false, "42"},
    };
    Connection connection = OpenConnection();
    connection.Execute("CREATE TABLE qb_values(v varchar(20))");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (IsSqlite() && c.keptBySqlite) {
            EXPECT_EQ(RoundTrip(connection, c.value), c.value);
            continue;
        }
        const auto error = ErrorOf([&] { RoundTrip(connection, c.value); });
        ASSERT_TRUE(error);
        ExpectWellFormed(*error, IsSqlite() ? "HY" : c.postgresClass);
        EXPECT_TRUE(connection.QueryStrings("SELECT v FROM qb_values").empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DatabaseTest, testing::ValuesIn(AllDataSources()), DataSourceLabel());

TEST(DatabaseWithoutDataSource, EveryCallOnAClosedConnectionFails)
{
    Connection connection;
    const std::vector<std::function<void()>> calls = {
        [&] { connection.Execute("SELECT 1"); },
        [&] { connection.ColumnCount("SELECT 1"); },
        [&] { connection.Tables(); },
        [&] { connection.QueryStrings("SELECT 1"); },
    };
    for (const auto& call : calls) {
        const auto error = ErrorOf(call);
        ASSERT_TRUE(error);
        ExpectWellFormed(*error, "08");
    }
}

}  // namespace
}  // namespace qb::test
