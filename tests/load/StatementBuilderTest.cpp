#include "load/StatementBuilder.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(InsertTest, Statements)
{
    struct Case {
        const char* name;
        const char* table;
        std::vector<std::string_view> fields;
        const char* statement;  // empty: none
    } cases[] = {
        {"Plain", "T1", {"a", "O'Brien", "3"}, R"(INSERT INTO "T1" VALUES('a','O''Brien','3');)"},
        {"Apostrophes", "T1", {"It's", "''"}, R"(INSERT INTO "T1" VALUES('It''s','''''');)"},
        {"BackslashAndQuote", "T1", {"C:\\x", "say \"hi\""}, R"(INSERT INTO "T1" VALUES('C:\x','say "hi"');)"},
        {"EmptyFieldsAreNull", "T1", {"", "b", ""}, R"(INSERT INTO "T1" VALUES(NULL,'b',NULL);)"},
        {"AllEmpty", "T1", {"", ""}, R"(INSERT INTO "T1" VALUES(NULL,NULL);)"},
        {"CommaApostropheKept", "T1", {"x", ",''y"}, R"(INSERT INTO "T1" VALUES('x',',''''y');)"},
        {"Utf8Unchanged", "T1", {"\xC3\xA9\xE2\x82\xAC"}, "INSERT INTO \"T1\" VALUES('\xC3\xA9\xE2\x82\xAC');"},
        {"QuotedTable", "x\"y", {"1"}, R"(INSERT INTO "x""y" VALUES('1');)"},
        {"NoFields", "T1", {}, ""},
    };
    // One string throughout, as the run reuses it: nothing of the last statement may stay.
    std::string statement = "left over";
    for (const auto& c : cases) {
        EXPECT_EQ(BuildInsertInto(statement, QuoteIdentifier(c.table), c.fields), *c.statement != '\0') << c.name;
        EXPECT_EQ(statement, c.statement) << c.name;
    }
}

TEST(ColumnCountQueryTest, QuotesTheTable)
{
    EXPECT_EQ(BuildColumnCountQuery("Sales 2021"), R"(SELECT * FROM "Sales 2021")");
    EXPECT_EQ(BuildColumnCountQuery("a\"b"), R"(SELECT * FROM "a""b")");
}

}  // namespace
}  // namespace qb
