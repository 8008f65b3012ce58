#include "cli/CommandLine.h"
#include "cli/SummaryJson.h"
#include "read/TextDecoder.h"
#include "cli/TerminalHost.h"
#include "cli/ProfileArguments.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <regex>
#include <sstream>
#include <unistd.h>

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
    EXPECT_EQ(line.settings.Encoding, kAutoEncoding);
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

    line = ParseCommandLine({"--dsn", "D", "--quoted", "--encoding", "latin1", "--row-by-row", "--keep-letters"});
    EXPECT_TRUE(line.settings.Quoted);
    EXPECT_EQ(line.settings.Encoding, "latin1");
    EXPECT_EQ(ParseCommandLine({"--dsn", "D", "--encoding", "as-is"}).settings.Encoding, "");
    EXPECT_EQ(line.settings.Jobs, 0);  // as serves the database
    EXPECT_EQ(ParseCommandLine({"--dsn", "D", "--jobs", "16"}).settings.Jobs, 16);
    EXPECT_TRUE(line.settings.RowByRow);
    EXPECT_TRUE(line.settings.KeepLetters);
    EXPECT_FALSE(line.settings.GuessTypes);
    EXPECT_TRUE(ParseCommandLine({"--dsn", "D", "--types", "guess"}).settings.GuessTypes);
    EXPECT_FALSE(ParseCommandLine({"--dsn", "D", "--types", "text"}).settings.GuessTypes);
    EXPECT_FALSE(line.settings.DateFormat);
    EXPECT_EQ(ParseCommandLine({"--dsn", "D", "--date-format", "dd/mm/yyyy HH:MM"}).settings.DateFormat,
              ParseDateFormat("DD/MM/YYYY HH:MM"));

    line = ParseCommandLine({"--dsn", "D", "--separator", "||", "--table-name", "T[counter]", "--ask-columns"});
    EXPECT_EQ(line.settings.Separator, "||");
    EXPECT_EQ(line.settings.TableNamePattern, "T[counter]");
    EXPECT_EQ(line.settings.ColumnNames, ColumnNameSource::UserSpecified);
    EXPECT_TRUE(line.settings.Files.empty());

    EXPECT_EQ(ParseCommandLine({"--dsn", "D", "--list-tables"}).action, CommandLine::Action::ListTables);
    EXPECT_EQ(ParseCommandLine({"--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(ParseCommandLine({"a.csv", "--help", "--bogus"}).action, CommandLine::Action::Help);
    EXPECT_EQ(ParseCommandLine({"--dsn", "D", "--separator", ""}).settings.Separator, "");

    // Types by the column's name as the CREATE cleans it, in capitals.
    line = ParseCommandLine({"--dsn", "D", "--null", "NA", "--null", "\\N", "--trim", "--decimal-comma", "--type",
                             "Net Amount=numeric(12,2)"});
    EXPECT_EQ(line.settings.NullMarkers, (std::vector<std::string>{"NA", "\\N"}));
    EXPECT_TRUE(line.settings.Trim && line.settings.DecimalComma);
    EXPECT_EQ(line.settings.ColumnTypes, (std::map<std::string, std::string>{{"NetAmount", "NUMERIC(12,2)"}}));
    line = ParseCommandLine({"--dsn", "D", "--separator", "auto", "--quote", "'", "--skip-lines", "3", "--no-header"});
    EXPECT_TRUE(line.settings.GuessSeparator && line.settings.Quoted && line.settings.NoHeader);
    EXPECT_EQ(line.settings.Separator, ",");  // for a file none fits
    EXPECT_EQ(line.settings.Quote, '\'');
    EXPECT_EQ(line.settings.SkipLines, 3);
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
        // "latin1" serves as any other option's value, and as a file for the others.
        const std::string name = found->str();
        // Those for new tables go without --append.
        const bool creating = name == "--if-exists" || name == "--key" || name == "--type";
        EXPECT_NO_THROW(ParseCommandLine({"--dsn", "D", creating ? "--table-name" : "--append", "T", "--resume", name,
                                          name == "--types"          ? "guess"
                                          : name == "--if-exists"    ? "append"
                                          : name == "--on-duplicate" ? "update"
                                          : name == "--columns"      ? "by-position"
                                          : name == "--jobs"         ? "auto"
                                          : name == "--date-format"  ? "DD.MM.YYYY"
                                          : name == "--type"         ? "a=TEXT"
                                          : name == "--skip-lines"   ? "2"
                                          : name == "--quote"        ? "'"
                                                                     : "latin1"}))
            << name;
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
        {"--dsn", "D", "--types", "TEXT"},
        {"--dsn", "D", "--types"},
        {"--dsn", "D", "--retry-refused"},
        {"--dsn", "D", "--replace"},
        {"--dsn", "D", "--append", "T", "--if-exists", "replace"},
        {"--dsn", "D", "--if-exists", "drop"},
        {"--dsn", "D", "--append", "T", "--key", "id"},
        {"--dsn", "D", "--ask-columns", "--key", "id"},
        {"--dsn", "D", "--key", "id,,n"},
        {"--dsn", "D", "--on-duplicate", "skip"},
        {"--dsn", "D", "--append", "T", "--on-duplicate", "replace"},
        {"--dsn", "D", "--append", "T", "--columns", "by-name"},
        {"--dsn", "D", "--append", "T", "--skip-header", "--columns", "sideways"},
        {"--dsn", "D", "--date-format"},
        {"--dsn", "D", "--null", ""},
        {"--dsn", "D", "--type", "amount"},
        {"--dsn", "D", "--type", "a=TEXT); DROP TABLE t; --"},
        {"--dsn", "D", "--append", "T", "--type", "a=TEXT"},
        {"--dsn", "D", "--quote", "''"},
        {"--dsn", "D", "--quote", ""},
        {"--dsn", "D", "--skip-lines", "-1"},
        {"--dsn", "D", "--skip-lines", "2x"},
        {"--dsn", "D", "--no-header", "--append", "T", "--skip-header"},
        {"--dsn", "D", "--jobs", "0"},
        {"--dsn", "D", "--jobs", "17"},
        {"--dsn", "D", "--jobs", "2x"},
    };
    for (const auto& arguments : cases)
        EXPECT_THROW(ParseCommandLine(arguments), UsageError) << testing::PrintToString(arguments);
    try {
        ParseCommandLine({"--dsn", "D", "--date-format", "DD.MM.YY"});
        ADD_FAILURE() << "a two-digit year taken";
    } catch (const UsageError& error) {
        EXPECT_NE(error.message.find("DD.MM.YY; known: "), std::string::npos) << error.message;
        EXPECT_NE(error.message.find("MM/DD/YYYY"), std::string::npos) << error.message;
    }
}

// Profiles live under a private XDG_CONFIG_HOME for each test.
class ProfileTest : public testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", m_home.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }
    std::string Write(const std::string& name, const std::string& text)
    {
        std::filesystem::create_directories(m_home.Path("quillbarrow/profiles"));
        return m_home.Write("quillbarrow/profiles/" + name + ".conf", text);
    }
    CommandLine Parse(const std::vector<std::string>& arguments)
    {
        return ParseCommandLine(ExpandProfile(arguments).arguments);
    }
    test::TempDir m_home;
};

TEST_F(ProfileTest, TheProfilesOptionsGoUnderTheCommandLines)
{
    Write("daily", "# the nightly sales load\n\ndsn = Sales\n  separator = ;  \nnull = NA\nnull = \"\"\"\n"
                   "trim = true\nquoted = false\ntable-name = \" T[counter] \"\n");
    CommandLine line = Parse({"--profile", "daily", "a.csv"});
    EXPECT_EQ(line.settings.DataSourceName, "Sales");
    EXPECT_EQ(line.settings.Separator, ";");
    EXPECT_EQ(line.settings.NullMarkers, (std::vector<std::string>{"NA", "\""}));
    EXPECT_TRUE(line.settings.Trim);
    EXPECT_FALSE(line.settings.Quoted);
    EXPECT_EQ(line.settings.TableNamePattern, " T[counter] ");
    EXPECT_EQ(line.settings.Files, std::vector<std::string>{"a.csv"});

    // The command line wins, a repeatable option's values replaced whole.
    line = Parse({"--null", "-", "--dsn", "Test", "--profile", "daily", "--", "--profile"});
    EXPECT_EQ(line.settings.DataSourceName, "Test");
    EXPECT_EQ(line.settings.NullMarkers, std::vector<std::string>{"-"});
    EXPECT_EQ(line.settings.Files, std::vector<std::string>{"--profile"});

    // Saved: what the run had, files left out, read back the same.
    const ProfileArguments saving = ExpandProfile({"--profile", "daily", "--null", "-", "--save-profile", "copy",
                                                   "a.csv"});
    WriteProfile(saving.saveTo, saving.toSave);
    EXPECT_EQ(std::filesystem::status(saving.saveTo).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const CommandLine copy = Parse({"--profile", "copy"});
    EXPECT_EQ(copy.settings.NullMarkers, std::vector<std::string>{"-"});
    EXPECT_EQ(copy.settings.TableNamePattern, " T[counter] ");
    EXPECT_TRUE(copy.settings.Trim);
    EXPECT_TRUE(copy.settings.Files.empty());
}

TEST_F(ProfileTest, BadProfilesAreUsageErrorsNamingTheFileAndLine)
{
    const std::string path = Write("bad", "dsn = D\n#\nseparator ;\n");
    Write("unknown", "dsn = D\nlist-tables = true\n");
    Write("flag", "trim = yes\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--profile", "bad"}, path + ", line 3: "},
        {{"--profile", "unknown"}, "unknown.conf, line 2: unknown option list-tables"},
        {{"--profile", "flag"}, "flag.conf, line 1: trim takes true or false"},
        {{"--profile", "missing"}, "missing.conf: "},
        {{"--profile", "../bad"}, "not ../bad"},
        {{"--profile", ".hidden"}, "not .hidden"},
        {{"--dsn", "D", "--save-profile", "a/b"}, "not a/b"},
        {{"--profile"}, "missing value for --profile"},
    };
    for (const auto& [arguments, message] : cases) {
        try {
            Parse(arguments);
            ADD_FAILURE() << testing::PrintToString(arguments);
        } catch (const UsageError& error) {
            EXPECT_NE(error.message.find(message), std::string::npos) << error.message;
        }
    }
}

TEST(TerminalTextTest, BreaksBecomeNewlines)
{
    EXPECT_EQ(TerminalText("a\r\nb\r\rc"), "a\nb\nc");
    EXPECT_EQ(TerminalText("keep\nlf and lone\rcr\r"), "keep\nlf and lone\rcr\r");
    EXPECT_EQ(TerminalText(ErrorReportText("in Quillbarrow2021/08/31.Form2.PushButton1_Click ", 120, "No DSN")),
              "No DSN\nin Quillbarrow2021/08/31.Form2.PushButton1_Click at line 120\n"
              "Please email screenshot of this message to support@tolvane.example");
}

TEST(TerminalTextTest, ATerminalGetsNoControlBytes)
{
    struct Case {
        std::string text, onTerminal;
    } cases[] = {
        {"red \x1b[31mX\x1b[0m", "red \\x1b[31mX\\x1b[0m"},
        {std::string("a\r\nb\rc\td\a\x7f\0", 11), "a\nb\\x0dc\td\\x07\\x7f\\x00"},
        {"\xc2\x9b" "2J caf\xc3\xa9", "\\xc2\\x9b2J caf\xc3\xa9"},  // a C1 CSI as UTF-8
    };
    for (const auto& c : cases)
        EXPECT_EQ(TerminalText(c.text, true), c.onTerminal);
    // A file or a pipe gets the text itself, for grep.
    EXPECT_EQ(TerminalText("red \x1b[31mX", false), "red \x1b[31mX");
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
        host.ReportProgress({1, 2, "/d/a.csv", 10, 10, 50, 100, 2.0, 50, 50});
        host.ReportProgress({1, 2, "/d/a.csv", 11, 11, 60, 100, 2.1});  // too soon to redraw
        host.ShowMessage("Line one\r\n\r\nLine two");
        EXPECT_EQ(host.AskText("Enter name for column #1:"), "First");
        EXPECT_EQ(host.AskText("Enter name for column #2:"), "Second");
        EXPECT_EQ(host.AskText("Enter name for column #3:"), "");
        host.ReportProgress({2, 2, "/d/b.csv", 2, 12, 75, 100, 0});
        host.ShowLineReport("in P ", 232, "rejected", {"/d/b.csv", 7, "x,y", true});
        host.ShowLineReport("in P ", 120, "no connection\r\n[08001] refused", {"/d/b.csv", 0, "", false});
        host.ShowErrorReport("in P ", 114, "no table list");
        host.Say("Done.");
    }
    EXPECT_EQ(Contents(out), "Done.\n");
    EXPECT_EQ(Contents(err),
              "\r\033[KFile 1 of 2: a.csv, 10 rows, 5 rows/s, about 0:02 left\r\033[K"
              "quillbarrow-import: Line one\n  Line two\n"
              "Enter name for column #1: Enter name for column #2: Enter name for column #3: "
              "\r\033[KFile 2 of 2: b.csv, 2 rows\r\033[K"
              "quillbarrow-import: /d/b.csv:7: rejected\n"
              "quillbarrow-import: /d/b.csv: no connection\n  [08001] refused\n"
              "quillbarrow-import: no table list\n");

    std::FILE* quietErr = std::tmpfile();
    {
        TerminalHost quiet(out, quietErr, in, true, Verbosity::Quiet);
        quiet.ReportProgress({1, 1, "a", 1, 1, 1, 1, 1});
        quiet.Note("a.csv: read as Windows-1252 (guessed)");
        quiet.Problem("kept");
    }
    EXPECT_EQ(Contents(quietErr), "quillbarrow-import: kept\n");
}

TEST(TerminalHostTest, ATerminalGetsTheDriversTextEscaped)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        GTEST_SKIP() << "no pseudo-terminal";
    std::FILE* terminal = std::fopen(::ptsname(master), "w");
    ASSERT_NE(terminal, nullptr);
    std::istringstream in;
    TerminalHost(terminal, terminal, in, false).ShowLineReport("in P ", 232, "\x1b[2J", {"/d/\x1b]0;b", 7, "", true});
    std::string shown;
    for (char chunk[512]; shown.find('\n') == std::string::npos;) {
        pollfd ready{master, POLLIN, 0};
        const ssize_t got = ::poll(&ready, 1, 5000) == 1 ? ::read(master, chunk, sizeof chunk) : -1;
        if (got <= 0)
            break;
        shown.append(chunk, static_cast<std::size_t>(got));
    }
    EXPECT_EQ(shown, "quillbarrow-import: /d/\\x1b]0;b:7: \\x1b[2J\r\n") << shown;
    std::fclose(terminal);
    ::close(master);
}

// Paths and reasons may hold any bytes: the summary stays valid JSON in UTF-8.
TEST(SummaryJsonTest, EscapesOddBytes)
{
    const struct {
        const char* name;
        std::string text;
        std::string json;
    } rows[] = {
        {"QuotesAndBackslashes", "a\"b\\c", "\"a\\\"b\\\\c\""},
        {"Controls", std::string("\t\n\r\b\f\x01\x1f\x7f\0", 9), "\"\\t\\n\\r\\b\\f\\u0001\\u001f\\u007f\\u0000\""},
        {"ValidUtf8Kept", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
        {"LoneAndCutShort", "\xFF.\xE9x\xC3", "\"\\ufffd.\\ufffdx\\ufffd\""},
        {"Overlong", "\xC0\xAF\xE0\x80\xAF", "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"SurrogateAndBeyond", "\xED\xA0\x80\xF4\x90\x80\x80",
         "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(JsonString(row.text), row.json) << row.name;
}

}  // namespace
}  // namespace qb::cli
