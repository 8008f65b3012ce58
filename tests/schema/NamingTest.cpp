#include "odbc/SqlText.h"
#include "schema/Naming.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

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
                 {"_ #!", "", "_"},
                 {"Caf\xC3\xA9", "Caf", "Caf\xC3\xA9"},
                 {"order_date", "orderdate", "order_date"},
                 {"a1_b2", "a1b2", "a1_b2"},
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

}  // namespace
}  // namespace qb
