#include "odbc/TableCatalogue.h"
#include "import/StatementBuilder.h"
#include "support/ScriptedHost.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

using test::ScriptedHost;

TEST(TableNameTest, ExpandsEveryCounterAndQuotes)
{
    struct Case {
        const char* pattern;
        int counter;
        const char* name;
    } cases[] = {{"NewTable[counter]", 1, "NewTable1"},
                 {"NewTable[counter]", 10, "NewTable10"},
                 {"[counter]_x_[counter]", 7, "7_x_7"},
                 {"Sales", 3, "Sales"},
                 {"T[Counter]", 2, "T[Counter]"},
                 {"T[counter", 2, "T[counter"},
                 {"[[counter]]", 4, "[4]"},
                 {"", 1, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(ExpandTableName(c.pattern, c.counter), c.name) << c.pattern;

    EXPECT_EQ(QuoteIdentifier("T1"), "\"T1\"");
    EXPECT_EQ(QuoteIdentifier("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(QuoteIdentifier("\""), "\"\"\"\"");
    EXPECT_EQ(QuoteIdentifier("it's [x]"), "\"it's [x]\"");
}

TEST(ColumnNameTest, KeepsOnlyLettersAndDigits)
{
    struct Case {
        const char* text;
        const char* cleaned;
    } cases[] = {{"Full Name", "FullName"},   {"e-mail", "email"}, {"Name", "Name"}, {"NAME", "NAME"},
                 {"_ #!", ""},               {"Caf\xC3\xA9", "Caf"}, {"a1_b2", "a1b2"}, {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(CleanColumnName(c.text), c.cleaned) << c.text;
}

TEST(CreateFromFieldsTest, Statements)
{
    struct Case {
        const char* table;
        std::vector<std::string_view> header;
        const char* statement;
    } cases[] = {
        {"T1", {"id", "Full Name", "e-mail"}, R"(CREATE TABLE "T1"("id" TEXT, "FullName" TEXT, "email" TEXT);)"},
        {"T1", {"a", "", "b", ""}, R"(CREATE TABLE "T1"("a" TEXT, "b" TEXT);)"},
        {"T1", {"Full Name", "FullName"}, R"(CREATE TABLE "T1"("FullName" TEXT, "FullName" TEXT);)"},
        {"T1", {"#", "a"}, R"(CREATE TABLE "T1"("" TEXT, "a" TEXT);)"},
        {"T1", {"", "", ""}, R"(CREATE TABLE "T1);)"},
        {"T1", {}, R"(CREATE TABLE "T1);)"},
        {"a\"b", {"c"}, R"(CREATE TABLE "a""b"("c" TEXT);)"},
    };
    for (const auto& c : cases) {
        ScriptedHost host;
        EXPECT_EQ(BuildCreateFromFields(c.table, c.header, host), c.statement);
    }
}

TEST(CreateFromAnswersTest, AsksPerColumnAndStopsAtEmptyAnswer)
{
    struct Case {
        const char* name;
        std::size_t columns;
        std::deque<std::string> answers;
        std::vector<std::string> prompts;
        const char* statement;
        bool execute;
    } cases[] = {
        {"AllAnswered", 3, {"Customer ID", "Amount", "#"},
         {"Enter name for column #1:", "Enter name for column #2:", "Enter name for column #3:"},
         R"(CREATE TABLE "T"("CustomerID" TEXT, "Amount" TEXT, "" TEXT);)", true},
        {"SecondCancelled", 3, {"One", ""},
         {"Enter name for column #1:", "Enter name for column #2:"},
         R"(CREATE TABLE "T"("One" TEXT, "" TEXT);)", false},
        {"FirstCancelled", 2, {""}, {"Enter name for column #1:"}, R"(CREATE TABLE "T"("" TEXT);)", false},
        {"NoColumns", 0, {}, {}, R"(CREATE TABLE "T);)", false},
    };
    for (const auto& c : cases) {
        ScriptedHost host;
        host.answers = c.answers;
        const CreateStatement create = BuildCreateFromAnswers("T", c.columns, host);
        EXPECT_EQ(host.prompts, c.prompts) << c.name;
        EXPECT_EQ(create.text, c.statement) << c.name;
        EXPECT_EQ(create.execute, c.execute) << c.name;
    }
}

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
        EXPECT_EQ(BuildInsertInto(statement, c.table, c.fields), *c.statement != '\0') << c.name;
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

namespace qb {
namespace {

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
