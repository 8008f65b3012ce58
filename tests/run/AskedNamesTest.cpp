#include "run/AskedNames.h"
#include "support/ScriptedHost.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

using test::ScriptedHost;

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

}  // namespace
}  // namespace qb
