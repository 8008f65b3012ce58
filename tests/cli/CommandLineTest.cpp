#include "cli/CommandLine.h"
#include "cli/TerminalHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>

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

    line = ParseCommandLine({"--dsn", "D", "--quoted", "--encoding", "latin1", "--row-by-row"});
    EXPECT_TRUE(line.settings.Quoted);
    EXPECT_EQ(line.settings.Encoding, "latin1");
    EXPECT_TRUE(line.settings.RowByRow);

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

TEST(CommandLineTest, VersionAndDataSourceListNeedNoDataSource)
{
    EXPECT_EQ(ParseCommandLine({"--version", "--bogus"}).action, CommandLine::Action::Version);
    EXPECT_EQ(ParseCommandLine({"--list-sources"}).action, CommandLine::Action::ListSources);
    EXPECT_EQ(ParseCommandLine({"--dsn", "D", "--list-sources"}).action, CommandLine::Action::ListSources);
}

TEST(CommandLineTest, TheHelpNamesOnlyOptionsThatExist)
{
    const std::string help = std::string(kUsage) + kHelp;
    const std::regex option("--[a-z][a-z-]*");
    int named = 0;
    for (auto found = std::sregex_iterator(help.begin(), help.end(), option); found != std::sregex_iterator();
         ++found, ++named) {
        // "latin1" serves as any option's value, and as a file for the others.
        const std::string name = found->str();
        EXPECT_NO_THROW(ParseCommandLine({"--dsn", "D", "--append", "T", name, "latin1"})) << name;
    }
    EXPECT_GT(named, 0);
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
        {"--dsn", "D", "--encoding", "no-such-encoding"},
        {"--dsn", "D", "--encoding"},
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

std::string Contents(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

TEST(TerminalHostTest, ProgressNeverMixesWithMessages)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::istringstream in("First\r\nSecond\n");
    {
        TerminalHost host(out, err, in, true);
        host.ReportProgress({1, 2, "/d/a.csv", 10, 10, 50, 100, 2.0});
        host.ReportProgress({1, 2, "/d/a.csv", 11, 11, 60, 100, 2.1});  // too soon to redraw
        host.ShowMessage("Line one\r\nLine two");
        EXPECT_EQ(host.AskText("Enter name for column #1:"), "First");
        EXPECT_EQ(host.AskText("Enter name for column #2:"), "Second");
        EXPECT_EQ(host.AskText("Enter name for column #3:"), "");
        host.ReportProgress({2, 2, "/d/b.csv", 2, 12, 75, 100, 0});
        host.ShowLineReport("in P ", 232, "rejected", {"/d/b.csv", 7, "x,y", true});
        host.ShowLineReport("in P ", 120, "no connection", {"/d/b.csv", 0, "", false});
        host.ShowOnTerminal("summary");
    }
    EXPECT_EQ(Contents(out), "Line one\nLine two\n");
    EXPECT_EQ(Contents(err),
              "\r\033[KFile 1 of 2: a.csv, 10 rows, 5 rows/s, about 0:02 left\r\033[K"
              "Enter name for column #1: Enter name for column #2: Enter name for column #3: "
              "\r\033[KFile 2 of 2: b.csv, 2 rows\r\033[K"
              "/d/b.csv:7: rejected\nin P at line 232\nPlease email screenshot of this message to support@tolvane.example\n"
              "/d/b.csv: no connection\nin P at line 120\nPlease email screenshot of this message to "
              "support@tolvane.example\nsummary\n");

    std::FILE* quietErr = std::tmpfile();
    {
        TerminalHost quiet(out, quietErr, in, false);
        quiet.ReportProgress({1, 1, "a", 1, 1, 1, 1, 1});
        quiet.ShowOnTerminal("summary");
    }
    EXPECT_EQ(Contents(quietErr), "");
}

}  // namespace
}  // namespace qb::cli
