#include "cli/CommandLine.h"
#include "cli/TerminalHost.h"

#include <gtest/gtest.h>

namespace qb::cli {
namespace {

TEST(CommandLineTest, DefaultsAreTheMainWindowsInitialValues)
{
    const CommandLine line = ParseCommandLine({"--dsn", "Demo", "a.csv", "b.csv"});
    EXPECT_EQ(line.action, CommandLine::Action::Import);
    EXPECT_EQ(line.settings.DataSourceName, "Demo");
    EXPECT_EQ(line.settings.Separator, ",");
    EXPECT_EQ(line.settings.Mode, ImportMode::CreateNewTable);
    EXPECT_EQ(line.settings.ColumnNames, ColumnNameSource::FromFirstLine);
    EXPECT_EQ(line.settings.TableNamePattern, "NewTable[counter]");
    EXPECT_FALSE(line.settings.TargetTable.has_value());
    EXPECT_FALSE(line.settings.IgnoreFirstLine);
    EXPECT_EQ(line.settings.Files, (std::vector<std::string>{"a.csv", "b.csv"}));
}

TEST(CommandLineTest, Options)
{
    CommandLine line = ParseCommandLine({"--separator", "\\t", "--dsn", " My DSN;x", "--append", "Sales",
                                         "--skip-header", "--", "--odd-name.csv", "-"});
    EXPECT_EQ(line.settings.Separator, "\t");
    EXPECT_EQ(line.settings.DataSourceName, " My DSN;x");
    EXPECT_EQ(line.settings.Mode, ImportMode::AppendToExistingTable);
    EXPECT_EQ(line.settings.TargetTable, std::optional<std::string>("Sales"));
    EXPECT_TRUE(line.settings.IgnoreFirstLine);
    EXPECT_EQ(line.settings.Files, (std::vector<std::string>{"--odd-name.csv", "-"}));

    line = ParseCommandLine({"--dsn", "D", "--separator", "||", "--table-name", "T[counter]", "--ask-columns"});
    EXPECT_EQ(line.settings.Separator, "||");
    EXPECT_EQ(line.settings.TableNamePattern, "T[counter]");
    EXPECT_EQ(line.settings.ColumnNames, ColumnNameSource::UserSpecified);
    EXPECT_TRUE(line.settings.Files.empty());

    EXPECT_EQ(ParseCommandLine({"--dsn", "D", "--list-tables"}).action, CommandLine::Action::ListTables);
    EXPECT_EQ(ParseCommandLine({"--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(ParseCommandLine({"a.csv", "--help", "--bogus"}).action, CommandLine::Action::Help);
    EXPECT_EQ(ParseCommandLine({"--dsn", "D", "--separator", ""}).settings.Separator, "");
}

TEST(CommandLineTest, UsageErrors)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"a.csv"},
        {"--dsn"},
        {"--dsn", "D", "--separator"},
        {"--dsn", "D", "--append"},
        {"--dsn", "D", "--frobnicate"},
        {"--dsn", "D", "--skip-header"},
    };
    for (const auto& arguments : cases)
        EXPECT_THROW(ParseCommandLine(arguments), UsageError) << testing::PrintToString(arguments);
}

TEST(TerminalTextTest, BreaksBecomeNewlines)
{
    EXPECT_EQ(TerminalText("a\r\nb\r\rc"), "a\nb\nc");
    EXPECT_EQ(TerminalText("keep\nlf and lone\rcr\r"), "keep\nlf and lone\rcr\r");
    EXPECT_EQ(TerminalText(ErrorReportText("in Quillbarrow2021/08/31.Form2.PushButton1_Click ", 120, "No DSN")),
              "No DSN\nin Quillbarrow2021/08/31.Form2.PushButton1_Click at line 120\n"
              "Please email screenshot of this message to support@tolvane.example");
}

}  // namespace
}  // namespace qb::cli
