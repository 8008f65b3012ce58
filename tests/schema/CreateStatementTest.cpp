#include "schema/CreateStatement.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

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

}  // namespace
}  // namespace qb
