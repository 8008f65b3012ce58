#include "odbc/TableCatalogue.h"
#include "support/DataSources.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

using Names = std::vector<std::string>;

class TableCatalogueTest : public test::DataSourceTest {
protected:
    void Exec(const std::string& sql) { OpenConnection().Execute(sql); }
};

TEST_P(TableCatalogueTest, AnEmptyDataSourceListsNothing)
{
    int yields = 0;
    EXPECT_EQ(ListUserTables(GetParam().dsn, [&] { ++yields; }), Names{});
}

TEST_P(TableCatalogueTest, ListsUserTablesOnly)
{
    for (const char* table : {"orders", "Analysys", "Sales", "MySystem", "SYSTEMS", "sYsLog"})
        Exec(std::string("CREATE TABLE \"") + table + "\"(\"a\" TEXT)");
    Exec(R"(CREATE VIEW "SalesView" AS SELECT * FROM "Sales")");
    int yields = 0;
    const Names names = ListUserTables(GetParam().dsn, [&] { ++yields; });
    // The catalogue's own order: SQLite's is creation order, PostgreSQL's by name, MariaDB's by name
    // ignoring case.
    EXPECT_EQ(names, (IsPostgres() ? Names{"Sales", "orders"} : Names{"orders", "Sales"}));
    EXPECT_EQ(yields, 6);
}

TEST_P(TableCatalogueTest, TablesOfTwoSchemasAreBothListed)
{
    if (IsSqlite())
        GTEST_SKIP() << "one schema per SQLite data source";
    // MariaDB's schemas are databases of the server: only the data source's own is listed.
    Exec("CREATE SCHEMA \"alpha\"");
    Exec(R"(CREATE TABLE "alpha"."Dup"("a" TEXT))");
    Exec(IsMariadb() ? R"(CREATE TABLE "Dup"("a" TEXT))" : R"(CREATE TABLE "public"."Dup"("a" TEXT))");
    EXPECT_EQ(ListUserTables(GetParam().dsn), (IsMariadb() ? Names{"Dup"} : Names{"Dup", "Dup"}));
    if (IsMariadb())
        Exec("DROP SCHEMA \"alpha\"");
}

TEST_P(TableCatalogueTest, AnUnopenableDataSourceThrows)
{
    EXPECT_THROW(ListUserTables("NoSuchDataSource"), DatabaseError);
}

INSTANTIATE_TEST_SUITE_P(Drivers, TableCatalogueTest, testing::ValuesIn(test::AllDataSources()), test::DataSourceLabel());

TEST(IsUserTableTest, TypeAndName)
{
    struct Case {
        TableEntry entry;
        bool user;
    } cases[] = {{{"TABLE", "Sales"}, true},      {{"TABLE", "Analysys"}, false}, {{"TABLE", "mysystem"}, false},
                 {{"VIEW", "Sales"}, false},      {{"table", "Sales"}, false},    {{"SYSTEM TABLE", "x"}, false},
                 {{"TABLE", "S_Y_S"}, true},      {{"TABLE", ""}, true}};
    for (const auto& c : cases)
        EXPECT_EQ(IsUserTable(c.entry), c.user) << c.entry.type << " " << c.entry.name;
}

TEST(TableListedTest, IgnoresCaseBeyondAscii)
{
    const std::vector<std::string> listed{"\xC3\x84pfel", "SALES", "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91", "bad\xFF"};
    struct Case {
        std::string name;
        bool found;
    } cases[] = {{"\xC3\xA4pfel", true}, {"sales", true}, {"\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1", true},
                 {"BAD\xFF", true}, {"apfel", false}, {"\xC3\xA4pfel2", false}};
    for (const auto& c : cases)
        EXPECT_EQ(TableListed(listed, c.name), c.found) << c.name;
}

}  // namespace
}  // namespace qb
