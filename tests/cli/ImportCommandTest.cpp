#include "connection/Database.h"
#include "support/DataSources.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace qb {
namespace {

using test::ReadAll;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class ImportCommandTest : public test::DataSourceTest {
protected:
    Outcome Command(const std::vector<std::string>& arguments, const std::string& input = {})
    {
        std::string line = ShellQuote(QB_IMPORT_EXE);
        for (const auto& argument : arguments)
            line += " " + ShellQuote(argument);
        const std::string in = m_dir.Write("stdin", input);
        line += " <" + ShellQuote(in) + " >" + ShellQuote(m_dir.Path("stdout")) + " 2>" +
                ShellQuote(m_dir.Path("stderr"));
        const int status = std::system(("TEMP=" + ShellQuote(m_dir.Path()) + " " + line).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(m_dir.Path("stdout")),
                ReadAll(m_dir.Path("stderr"))};
    }

    std::string Dsn() const { return GetParam().dsn; }
    std::string File(const std::string& name, const std::string& bytes) { return m_dir.Write(name, bytes); }

    test::TempDir m_dir;
};

TEST_P(ImportCommandTest, ImportsAndListsTables)
{
    const Outcome imported = Command({"--dsn", Dsn(), "--separator", "\\t", "--table-name", "Sheet[counter]",
                                      File("a.tsv", "x\ty\r\n1\t2\r\n"), File("b.tsv", "z\r\n3\r\n")});
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, "Done.\n");
    EXPECT_EQ(imported.err, "");

    OpenConnection().Execute(R"(CREATE VIEW "SheetView" AS SELECT * FROM "Sheet1")");
    OpenConnection().Execute(R"(CREATE TABLE "MySystem"("a" TEXT))");
    const Outcome listed = Command({"--dsn", Dsn(), "--list-tables"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, "Sheet1\nSheet2\n");

    // Already listed now: skipped, and the run says so.
    const Outcome again = Command({"--dsn", Dsn(), "--table-name", "Sheet[counter]", File("c.csv", "q\r\n")});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, "Table(s) already exist.\n");
}

TEST_P(ImportCommandTest, AsksColumnsOnTheTerminalAndAppends)
{
    const Outcome created = Command({"--dsn", Dsn(), "--ask-columns", "--table-name", "T", File("a.csv", "h1,h2\r\n1,2\r\n")},
                                    "First\nSecond\r\n");
    EXPECT_EQ(created.status, 0) << created.err;
    EXPECT_NE(created.err.find("Enter name for column #2:"), std::string::npos);
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT "First", "Second" FROM "T")"),
              (std::vector<TextRow>{{std::string("1"), std::string("2")}}));

    const Outcome appended = Command({"--dsn", Dsn(), "--append", "T", "--skip-header", File("b.csv", "h\r\n3,4\r\n")});
    EXPECT_EQ(appended.status, 0) << appended.err;
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT COUNT(*) FROM "T")"), (std::vector<TextRow>{{std::string("2")}}));

    // End of input is an empty answer: the file is skipped and the exit status says so.
    const Outcome unanswered = Command({"--dsn", Dsn(), "--ask-columns", "--table-name", "U", File("c.csv", "a\r\n")});
    EXPECT_EQ(unanswered.status, 1);
    EXPECT_EQ(unanswered.out, "Done.\n");
}

TEST_P(ImportCommandTest, FailuresAndTheirStatus)
{
    const std::string path = File("wide.csv", "1,2,3\r\n");
    OpenConnection().Execute(R"(CREATE TABLE "Narrow"("a" TEXT))");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string errPart;
    } cases[] = {
        {"NoFiles", {"--dsn", Dsn()}, 1, "No files added.\n", ""},
        {"Mismatch", {"--dsn", Dsn(), "--append", "Narrow", path}, 1,
         "The columns in the text file and the columns in the table must be identical.\n\n" + path +
             " was split by , and has 3 columns. The table Narrow has 1 columns.\nDone.\n",
         ""},
        {"UnopenableSource", {"--dsn", "NoSuchSource", path}, 1, "Done.\n",
         "\nin Quillbarrow2021/08/31.Form2.PushButton1_Click at line 120\n"
         "Please email screenshot of this message to support@tolvane.example\n"},
        {"MissingFile", {"--dsn", Dsn(), "/no/such/file.csv"}, 1, "Done.\n", "at line 126\n"},
        {"UnknownOption", {"--dsn", Dsn(), "--colour"}, 2, "", "usage: quillbarrow-import"},
        {"NoDsn", {path}, 2, "", "--dsn is required"},
        {"MissingValue", {"--dsn"}, 2, "", "missing value"},
        {"ListUnopenable", {"--dsn", "NoSuchSource", "--list-tables"}, 1, "", "IM002"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Command(c.arguments);
        EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.err;
        EXPECT_EQ(outcome.out, c.out) << c.name;
        EXPECT_NE(outcome.err.find(c.errPart), std::string::npos) << c.name << ": " << outcome.err;
    }
    EXPECT_EQ(Command({"--help"}).status, 0);
}

INSTANTIATE_TEST_SUITE_P(Drivers, ImportCommandTest, testing::ValuesIn(test::AllDataSources()), test::DataSourceLabel());

}  // namespace
}  // namespace qb
