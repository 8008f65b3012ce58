// Each database's own bulk path stores exactly the bytes given, all rows or none.
#include "load/BulkChoice.h"
#include "odbc/Database.h"
#include "support/DataSources.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace qb {
namespace {

using namespace std::string_literals;
using Values = std::vector<std::optional<std::string_view>>;

class BulkLoaderTest : public test::DataSourceTest {};

TEST_P(BulkLoaderTest, StoresEveryByteOrNothing)
{
    Connection connection = OpenConnection();
    const std::string table = R"("Odd ""name"" t")";
    connection.Execute("CREATE TABLE " + table + R"(("a" TEXT, "b" TEXT CHECK ("b" <> 'bad')))");
    BulkChoice choice = ChooseBulkLoader(connection, GetParam().dsn);
    ASSERT_TRUE(choice.loader) << choice.note;
    EXPECT_FALSE(choice.path.empty());

    // Bytes a text format must escape, the word a format may read as NULL, quotes, empty text and NULL.
    const std::string tricky = "tab\there\\N back\\slash\r\nnew line 'q' \"d\" \xC3\xA9";
    choice.loader->Load(table, 2, Values{"1", tricky, "2", ""s, "\\.", std::nullopt});
    const auto expected = std::vector<TextRow>{{"1", tricky}, {"2", ""}, {"\\.", std::nullopt}};
    EXPECT_EQ(connection.QueryStrings("SELECT * FROM " + table + " ORDER BY 1"), expected);

    // A row the table refuses, last of its load: none of the load is stored, and the next load goes on.
    try {
        choice.loader->Load(table, 2, Values{"3", "fine", "4", "bad"});
        ADD_FAILURE() << "a refused row was stored";
    } catch (const DatabaseError& error) {
        EXPECT_FALSE(error.ConnectionLost() || error.Busy()) << error.what();
    }
    choice.loader->Load(table, 2, Values{"5", "after"});
    EXPECT_EQ(connection.QueryStrings("SELECT COUNT(*) FROM " + table), (std::vector<TextRow>{{"4"}}));
}

// Statements given with the rows commit with them; a refused one takes the rows down too.
TEST_P(BulkLoaderTest, StatementsGivenWithTheRowsShareTheirFate)
{
    Connection connection = OpenConnection();
    connection.Execute(R"(CREATE TABLE "T"("a" VARCHAR(20)))");
    connection.Execute(R"(CREATE TABLE "N"("n" INTEGER))");
    connection.Execute(R"(INSERT INTO "N" VALUES(0))");
    BulkChoice choice = ChooseBulkLoader(connection, GetParam().dsn);
    ASSERT_TRUE(choice.loader) << choice.note;
    const std::string counted[] = {R"(UPDATE "N" SET "n" = 2)"};
    choice.loader->Load(R"("T")", 1, Values{"x", "y"}, counted);
    const std::string refused[] = {R"(UPDATE "N" SET "n" = 4)", R"(UPDATE "Missing" SET "n" = 4)"};
    EXPECT_THROW(choice.loader->Load(R"("T")", 1, Values{"z", "w"}, refused), DatabaseError);
    EXPECT_EQ(connection.QueryStrings(R"(SELECT COUNT(*), MAX("n") FROM "T", "N")"), (std::vector<TextRow>{{"2", "2"}}));
    // The connection's statements go the same way.
    EXPECT_THROW(connection.InOneTransaction([&] { connection.Execute(R"(INSERT INTO "T" VALUES('v'))"); }, refused),
                 DatabaseError);
    connection.InOneTransaction([&] { connection.Execute(R"(INSERT INTO "T" VALUES('v'))"); }, counted);
    EXPECT_EQ(connection.QueryStrings(R"(SELECT COUNT(*) FROM "T")"), (std::vector<TextRow>{{"3"}}));
}

// A lock held by another session is the database being busy, not a refusal of the rows. The impatient
// data sources give up on a lock at once.
TEST_P(BulkLoaderTest, ALockHeldElsewhereIsBusy)
{
    const char* const impatient[] = {"QB_TEST_SQLITE_IMPATIENT_DSN", "QB_TEST_PG_IMPATIENT_DSN",
                                     "QB_TEST_MARIADB_IMPATIENT_DSN"};
    OpenConnection().Execute(R"(CREATE TABLE "T"("a" VARCHAR(20) UNIQUE))");
    Connection holder = OpenConnection();
    holder.Execute(IsMariadb() ? "START TRANSACTION" : "BEGIN");
    holder.Execute(R"(INSERT INTO "T" VALUES('held'))");
    const std::string dsn = test::EnvironmentValue(impatient[static_cast<int>(GetParam().kind)]);
    Connection connection;
    connection.Open(dsn);
    const BulkChoice choice = ChooseBulkLoader(connection, dsn);
    ASSERT_TRUE(choice.loader) << choice.note;
    try {
        choice.loader->Load(R"("T")", 1, Values{"free", "held"});
        ADD_FAILURE() << "stored while the lock was held";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(error.Busy()) << error.what();
    }
    holder.Execute("ROLLBACK");
    choice.loader->Load(R"("T")", 1, Values{"free", "held"});
    EXPECT_EQ(holder.QueryStrings(R"(SELECT COUNT(*) FROM "T")"), (std::vector<TextRow>{{"2"}}));
}

TEST_P(BulkLoaderTest, AnUnreachableServerLeavesTheDriversWay)
{
    if (!IsPostgres())
        GTEST_SKIP() << "only COPY connects beside the driver";
    Connection connection = OpenConnection();
    // The driver's connection is open; the entries libpq is given name a port nobody listens on.
    const BulkChoice choice = ChooseBulkLoader(connection, std::getenv("QB_TEST_PG_UNREACHABLE_DSN"));
    EXPECT_FALSE(choice.loader);
    EXPECT_NE(choice.note.find("bulk path could not be used"), std::string::npos) << choice.note;
}

// The role the odd-password data source logs in as: its password holds what an encoding must get right.
void MakeOddRole(Connection& admin)
{
    admin.Execute("DROP ROLE IF EXISTS qb_odd");
    admin.Execute(R"(CREATE ROLE qb_odd LOGIN PASSWORD 'a%b= c''d"e')");
    admin.Execute("GRANT USAGE ON SCHEMA public TO qb_odd");
}

// COPY reads the entries psqlODBC reads, as it reads them: keys the driver ignores (Server, UID) send the rows
// nowhere else, and a password it decodes logs in.
TEST_P(BulkLoaderTest, CopyConnectsAsTheDriverDoes)
{
    if (!IsPostgres())
        GTEST_SKIP() << "only COPY connects beside the driver";
    Connection admin = OpenConnection();
    MakeOddRole(admin);
    admin.Execute(R"(CREATE TABLE "T"("a" TEXT))");
    admin.Execute(R"(GRANT SELECT, INSERT ON "T" TO qb_odd)");
    for (const char* variable : {"QB_TEST_PG_STRAY_KEYS_DSN", "QB_TEST_PG_ODD_PASSWORD_DSN"}) {
        SCOPED_TRACE(variable);
        const std::string dsn = test::EnvironmentValue(variable);
        Connection connection;
        connection.Open(dsn);
        const BulkChoice choice = ChooseBulkLoader(connection, dsn);
        EXPECT_TRUE(choice.loader) << choice.note;
        if (choice.loader)
            choice.loader->Load(R"("T")", 1, Values{dsn});
    }
    EXPECT_EQ(admin.QueryStrings(R"(SELECT COUNT(*) FROM "T")"), (std::vector<TextRow>{{"2"}}));
}

// Whatever the entries say, COPY's session must be the driver's server, database and user, or the driver's way is taken.
TEST_P(BulkLoaderTest, CopyGoesNowhereTheDriverDoesNot)
{
    if (!IsPostgres())
        GTEST_SKIP() << "only COPY connects beside the driver";
    Connection connection = OpenConnection();
    MakeOddRole(connection);
    connection.Execute("SET ROLE qb_odd");
    const BulkChoice choice = ChooseBulkLoader(connection, GetParam().dsn);
    EXPECT_FALSE(choice.loader);
    EXPECT_NE(choice.note.find("the ODBC driver reached user qb_odd"), std::string::npos) << choice.note;
}

// A COPY session lost and opened again keeps the data source's settings: the impatient one's lock wait.
TEST_P(BulkLoaderTest, ANewCopySessionKeepsTheSettings)
{
    if (!IsPostgres())
        GTEST_SKIP() << "only COPY connects beside the driver";
    Connection holder = OpenConnection();
    holder.Execute(R"(CREATE TABLE "T"("a" VARCHAR(20) UNIQUE))");
    const std::string dsn = test::EnvironmentValue("QB_TEST_PG_IMPATIENT_DSN");
    Connection connection;
    connection.Open(dsn);
    const BulkChoice choice = ChooseBulkLoader(connection, dsn);
    ASSERT_TRUE(choice.loader) << choice.note;
    // Every other session ends, COPY's with them: the next load finds it lost, the one after opens a new one.
    const std::string others = "FROM pg_stat_activity WHERE pid <> pg_backend_pid() AND backend_type = 'client backend'";
    holder.QueryStrings("SELECT pg_terminate_backend(pid) " + others);
    for (int i = 0; i < 250 && holder.QueryStrings("SELECT COUNT(*) " + others) != std::vector<TextRow>{{"0"}}; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_THROW(choice.loader->Load(R"("T")", 1, Values{"lost"}), DatabaseError);
    holder.Execute("BEGIN");
    holder.Execute(R"(INSERT INTO "T" VALUES('held'))");
    // Committed a little later, in case the load waits for the lock: it then meets the key stored instead.
    std::thread commit([&] {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        holder.Execute("COMMIT");
    });
    try {
        choice.loader->Load(R"("T")", 1, Values{"held"});
        ADD_FAILURE() << "stored while the lock was held";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(error.Busy()) << error.what();
    }
    commit.join();
}

// A database the data source opens read-only is not written through SQLite's own library either.
TEST_P(BulkLoaderTest, AReadOnlyDatabaseStaysReadOnly)
{
    if (!IsSqlite())
        GTEST_SKIP() << "only SQLite's library opens the database beside the driver";
    OpenConnection().Execute(R"(CREATE TABLE "T"("a" TEXT))");
    const std::string dsn = test::EnvironmentValue("QB_TEST_SQLITE_READONLY_DSN");
    Connection connection;
    connection.Open(dsn);
    EXPECT_THROW(connection.Execute(R"(INSERT INTO "T" VALUES('x'))"), DatabaseError);
    const BulkChoice choice = ChooseBulkLoader(connection, dsn);
    EXPECT_FALSE(choice.loader);
    EXPECT_NE(choice.note.find("read-only"), std::string::npos) << choice.note;
}

INSTANTIATE_TEST_SUITE_P(Drivers, BulkLoaderTest, testing::ValuesIn(test::AllDataSources()), test::DataSourceLabel{});

}  // namespace
}  // namespace qb
