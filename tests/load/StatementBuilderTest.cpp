#include "odbc/TableCatalogue.h"
#include "odbc/SqlText.h"
#include "schema/Naming.h"
#include "schema/CreateStatement.h"
#include "run/AskedNames.h"
#include "load/StatementBuilder.h"
#include "support/ScriptedHost.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

using test::ScriptedHost;

TEST(TableNameTest, ExpandsEveryCounterAndFileAndQuotes)
{
    struct Case {
        const char* pattern;
        int counter;
        const char* path;
        const char* name;
    } cases[] = {{"NewTable[counter]", 1, "", "NewTable1"},
                 {"NewTable[counter]", 10, "", "NewTable10"},
                 {"[counter]_x_[counter]", 7, "", "7_x_7"},
                 {"Sales", 3, "", "Sales"},
                 {"T[Counter]", 2, "", "T[Counter]"},
                 {"T[counter", 2, "", "T[counter"},
                 {"[[counter]]", 4, "", "[4]"},
                 {"", 1, "", ""},
                 {"sales_[file]", 1, "/data/2024 Q1.report.csv", "sales_2024Q1report"},
                 {"[file][counter]", 2, "dir.d/plain", "plain2"},
                 {"[file]", 3, "/x/.hidden", "hidden"},
                 {"[file]", 4, "/x/!!!.csv", "File4"},
                 {"[file]", 5, "/x/V\xC3\xA1ros.csv", "Vros"}};
    for (const auto& c : cases)
        EXPECT_EQ(ExpandTableName(c.pattern, c.counter, c.path), c.name) << c.pattern << " " << c.path;
    EXPECT_EQ(ExpandTableName("[file]", 5, "/x/V\xC3\xA1ros.csv", true), "V\xC3\xA1ros");

    EXPECT_EQ(QuoteIdentifier("T1"), "\"T1\"");
    EXPECT_EQ(QuoteIdentifier("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(QuoteIdentifier("\""), "\"\"\"\"");
    EXPECT_EQ(QuoteIdentifier("it's [x]"), "\"it's [x]\"");
}

TEST(ColumnNameTest, KeepsLettersAndDigits)
{
    struct Case {
        const char* text;
        const char* cleaned;
        const char* everyAlphabet;
    } cases[] = {{"Full Name", "FullName", "FullName"},
                 {"e-mail", "email", "email"},
                 {"_ #!", "", ""},
                 {"Caf\xC3\xA9", "Caf", "Caf\xC3\xA9"},
                 {"a1_b2", "a1b2", "a1b2"},
                 {"\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4 \xE2\x84\x96", "", "\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4"},  // Город №
                 {"\xE5\x90\x8D\xE5\x89\x8D\xEF\xBC\x91", "", "\xE5\x90\x8D\xE5\x89\x8D\xEF\xBC\x91"},  // 名前１
                 {"x\xFF\xC3y", "xy", "xy"},  // bytes that are not UTF-8
                 {"", "", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(CleanColumnName(c.text), c.cleaned) << c.text;
        EXPECT_EQ(CleanColumnName(c.text, true), c.everyAlphabet) << c.text;
    }
}

TEST(ColumnNameTest, NamesThatCannotWorkAreMended)
{
    struct Case {
        std::vector<std::string_view> header;
        bool keepLetters;
        std::vector<std::string> names;
    } cases[] = {
        {{"id", "Full Name", "FullName", "fullname"}, false, {"id", "FullName", "FullName_2", "fullname_3"}},
        {{"a", "", "#", "!!"}, false, {"a", "Column2", "Column3", "Column4"}},
        {{"N\xC3\xA9v", "V\xC3\xA1ros", "Ann\xC3\xA9" "e"}, false, {"Nv", "Vros", "Anne"}},
        {{"\xC3\xA9", "\xC3\xA1"}, false, {"Column1", "Column2"}},
        {{"N\xC3\xA9v", "N\xC3\x89V"}, true, {"N\xC3\xA9v", "N\xC3\x89V_2"}},
        {{"Column2", "#", "a", "a", "a"}, false, {"Column2", "Column2_2", "a", "a_2", "a_3"}},
        {{"", ""}, false, {"Column1", "Column2"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ColumnNames(c.header, c.keepLetters), c.names);
}

TEST(CreateFromFieldsTest, Statements)
{
    struct Case {
        const char* table;
        std::vector<std::string_view> header;
        const char* statement;
    } cases[] = {
        {"T1", {"id", "Full Name", "e-mail"}, R"(CREATE TABLE "T1"("id" TEXT, "FullName" TEXT, "email" TEXT);)"},
        {"T1", {"a", "", "b", ""}, R"(CREATE TABLE "T1"("a" TEXT, "Column2" TEXT, "b" TEXT, "Column4" TEXT);)"},
        {"T1", {}, R"(CREATE TABLE "T1"();)"},
        {"a\"b", {"c"}, R"(CREATE TABLE "a""b"("c" TEXT);)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildCreateFromFields(c.table, c.header), c.statement);
    const std::vector<std::string> names{"n", "when"}, types{"BIGINT", "DATE"};
    EXPECT_EQ(BuildCreate("T", names, types), R"(CREATE TABLE "T"("n" BIGINT, "when" DATE);)");
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
         R"(CREATE TABLE "T"("CustomerID" TEXT, "Amount" TEXT, "Column3" TEXT);)", true},
        {"Repeated", 2, {"Amount", "amount"}, {"Enter name for column #1:", "Enter name for column #2:"},
         R"(CREATE TABLE "T"("Amount" TEXT, "amount_2" TEXT);)", true},
        {"SecondCancelled", 3, {"One", ""}, {"Enter name for column #1:", "Enter name for column #2:"},
         R"(CREATE TABLE "T"("One" TEXT);)", false},
        {"FirstCancelled", 2, {""}, {"Enter name for column #1:"}, R"(CREATE TABLE "T"();)", false},
        {"NoColumns", 0, {}, {}, R"(CREATE TABLE "T"();)", false},
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
