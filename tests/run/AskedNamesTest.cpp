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
        std::vector<std::string_view> header;
        std::deque<std::string> answers;
        std::vector<std::string> prompts;
        const char* statement;
        bool execute;
    } cases[] = {
        {"AllAnswered", {"id", "amt", ""}, {"Customer ID", "Amount", "#"},
         {"p.csv: Enter name for column #1:", "p.csv: Enter name for column #2:", "p.csv: Enter name for column #3:"},
         R"(CREATE TABLE "T"("CustomerID" TEXT, "Amount" TEXT, "Column3" TEXT);)", true},
        {"Repeated", {"a", "b"}, {"Amount", "amount"},
         {"p.csv: Enter name for column #1:", "p.csv: Enter name for column #2:"},
         R"(CREATE TABLE "T"("Amount" TEXT, "amount_2" TEXT);)", true},
        {"SecondCancelled", {"a", "b", "c"}, {"One", ""},
         {"p.csv: Enter name for column #1:", "p.csv: Enter name for column #2:"}, R"(CREATE TABLE "T"("One" TEXT);)",
         false},
        {"FirstCancelled", {"a", "b"}, {""}, {"p.csv: Enter name for column #1:"}, R"(CREATE TABLE "T"();)", false},
        {"NoColumns", {}, {}, {}, R"(CREATE TABLE "T"();)", false},
    };
    for (const auto& c : cases) {
        ScriptedHost host;
        host.answers = c.answers;
        const CreateStatement create = BuildCreateFromAnswers("T", "/data/p.csv", c.header, host);
        EXPECT_EQ(host.prompts, c.prompts) << c.name;
        EXPECT_EQ(create.text, c.statement) << c.name;
        EXPECT_EQ(create.execute, c.execute) << c.name;
    }
}

TEST(CreateFromAnswersTest, OffersEachHeaderFieldCutShortWithinACharacter)
{
    ScriptedHost host;
    host.answers = {"a", "b", "c"};
    const std::string longField = std::string(255, 'x') + "\xC3\xA9" + "tail";
    const std::vector<std::string_view> header{"order_date", "", longField};
    BuildCreateFromAnswers("T", "archive.zip!/people.csv", header, host);
    EXPECT_EQ(host.prompts.front(), "people.csv: Enter name for column #1:");
    EXPECT_EQ(host.proposed, (std::vector<std::string>{"order_date", "", std::string(255, 'x')}));
}

}  // namespace
}  // namespace qb
