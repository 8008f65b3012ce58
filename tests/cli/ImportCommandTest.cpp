#include "odbc/Database.h"
#include "support/DataSources.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <random>
#include <regex>
#include <sstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// The import as a shell command line with TEMP set, its output to OUT.stdout and OUT.stderr in dir.
std::string ImportLine(const test::TempDir& dir, const std::string& temp, const std::vector<std::string>& arguments,
                       const std::string& out = "")
{
    std::string line = "TEMP=" + ShellQuote(temp) + " XDG_STATE_HOME=" + ShellQuote(dir.Path("state")) + " exec " +
                       ShellQuote(QB_IMPORT_EXE);
    for (const auto& argument : arguments)
        line += " " + ShellQuote(argument);
    return line + " >" + ShellQuote(dir.Path(out + "stdout")) + " 2>" + ShellQuote(dir.Path(out + "stderr"));
}

int ExitStatus(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits up to ten seconds for a condition that another process brings about.
template <typename Condition>
bool Eventually(Condition condition)
{
    for (int i = 0; i < 10000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// What runs keep in the private folder: their folders, and the working copies and temporaries in them.
std::vector<std::string> Temporaries(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        found.push_back(entry.path().lexically_relative(folder).string());
    return found;
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
        const int status = std::system(
            ("TEMP=" + ShellQuote(m_dir.Path()) + " XDG_STATE_HOME=" + ShellQuote(m_dir.Path("state")) + " " + line)
                .c_str());
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
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(again.err.rfind("quillbarrow-import: Table(s) already exist.\nquillbarrow-import: failed: 1 of 1 file "
                              "skipped; log: ", 0), 0u) << again.err;
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
    EXPECT_EQ(unanswered.out, "");
}

// Every problem is said once on standard error, led by the program's name and without the window's report
// lines; a run that started and failed ends with one line of what failed, and prints no "Done.".
TEST_P(ImportCommandTest, FailuresAndTheirStatus)
{
    const std::string path = File("wide.csv", "1,2,3\r\n");
    OpenConnection().Execute(R"(CREATE TABLE "Narrow"("a" TEXT))");
    const std::string failed = "quillbarrow-import: failed: 1 of 1 file skipped; log: ";
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int status;
        std::string errPart;
        bool ran = false;  // the run started: its last line says what failed
    } cases[] = {
        {"NoFiles", {"--dsn", Dsn()}, 1, "quillbarrow-import: No files added.\n"},
        {"Mismatch", {"--dsn", Dsn(), "--append", "Narrow", path}, 1,
         "quillbarrow-import: The columns in the text file and the columns in the table must be identical.\n  " +
             path + " was split by , and has 3 columns. The table Narrow has 1 columns.\n" + failed,
         true},
        {"UnopenableSource", {"--dsn", "NoSuchSource", path}, 1, "[IM002] "},
        {"MissingFile", {"--dsn", Dsn(), "/no/such/file.csv"}, 1,
         "quillbarrow-import: /no/such/file.csv: Cannot open /no/such/file.csv: No such file or directory\n" + failed,
         true},
        {"TableExists", {"--dsn", Dsn(), "--table-name", "Narrow", path}, 1,
         "quillbarrow-import: Table name already exists.\n"},
        {"UnknownOption", {"--dsn", Dsn(), "--colour"}, 2, "usage: quillbarrow-import"},
        {"NoDsn", {path}, 2, "--dsn is required"},
        {"MissingValue", {"--dsn"}, 2, "missing value"},
        {"QuietAndVerbose", {"--dsn", Dsn(), "-q", "--verbose", path}, 2, "contradict"},
        {"ListUnopenable", {"--dsn", "NoSuchSource", "--list-tables"}, 1, "[IM002] "},
        {"DryRunUnopenable", {"--dsn", "NoSuchSource", "--dry-run", path}, 1, "[IM002] "},
        {"RejectsIntoAnInput", {"--dsn", Dsn(), "--rejects", path, "--dry-run", path}, 1,
         "quillbarrow-import: The rejected lines cannot be written to " + path +
             ": it is one of the files to import.\n"},
        {"RejectsIntoAnInputByLink", {"--dsn", Dsn(), "--rejects", m_dir.Path("link.csv"), path}, 1,
         "quillbarrow-import: The rejected lines cannot be written to " + m_dir.Path("link.csv") +
             ": it is one of the files to import.\n"},
        {"ReasonsIntoAnInput", {"--dsn", Dsn(), "--rejects-reasons", path, path}, 1,
         "quillbarrow-import: The reasons for rejected lines cannot be written to " + path +
             ": it is one of the files to import.\n"},
        {"SummaryIntoAnInput", {"--dsn", Dsn(), "--summary", m_dir.Path("link.csv"), path}, 1,
         "quillbarrow-import: The summary cannot be written to " + m_dir.Path("link.csv") +
             ": it is one of the files to import.\n"},
    };
    std::filesystem::create_hard_link(path, m_dir.Path("link.csv"));
    for (const auto& c : cases) {
        const Outcome outcome = Command(c.arguments);
        EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.err;
        EXPECT_EQ(outcome.out, "") << c.name;
        EXPECT_NE(outcome.err.find(c.errPart), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_EQ(outcome.err.find(c.errPart), outcome.err.rfind(c.errPart)) << c.name << ": said twice";
        if (c.status != 1)
            continue;
        // Each line is the program's, or the indented rest of its message; none said twice.
        std::istringstream lines(outcome.err);
        std::vector<std::string> said;
        for (std::string line; std::getline(lines, line);) {
            EXPECT_TRUE(line.starts_with("quillbarrow-import: ") || line.starts_with("  ")) << c.name << ": " << line;
            EXPECT_EQ(std::count(said.begin(), said.end(), line), 0) << c.name << ": " << outcome.err;
            said.push_back(line);
        }
        EXPECT_EQ(outcome.err.find("at line"), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_EQ(outcome.err.find("screenshot"), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_EQ(!said.empty() && said.back().starts_with(failed), c.ran) << c.name << ": " << outcome.err;
    }
    EXPECT_EQ(Command({"--help"}).status, 0);
    EXPECT_EQ(ReadAll(path), "1,2,3\r\n");
}

// -q leaves only what went wrong; -v adds a line per file as it ends, and the summary, on standard output.
TEST_P(ImportCommandTest, QuietAndVerboseSayLessAndMore)
{
    const std::string goodFile = File("good.csv", "a,b\r\n1,2\r\n3,4\r\n");
    const std::string badFile = File("bad.csv", "a,b\r\n5\r\n6,7\r\n");
    // The paths as patterns that match only themselves.
    const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    const std::string good = std::regex_replace(goodFile, special, R"(\$&)");
    const std::string bad = std::regex_replace(badFile, special, R"(\$&)");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int status;
        std::string out;  // a pattern
        std::string err;  // a pattern
    } cases[] = {
        {"QuietSuccess", {"-q", goodFile}, 0, "", ""},
        {"QuietFailure", {"--quiet", badFile}, 1, "",
         "quillbarrow-import: " + bad + ":2: The line has 1 values[^\n]*\n"},
        {"Verbose", {"-v", goodFile, badFile}, 1,
         good + ": 2 rows stored, 0 refused, via [^,]+, [0-9.]+ s\n" + bad +
             ": 1 row stored, 1 refused, via [^,]+, [0-9.]+ s\n",
         "quillbarrow-import: " + bad + ":2: [^\n]*\nquillbarrow-import: failed: 1 line refused; log: [^\n]+\n"},
        {"VerboseSuccess", {"--verbose", goodFile}, 0,
         good + ": 2 rows stored, 0 refused, via [^,]+, [0-9.]+ s\nDone\\.\n1 file, 2 rows imported, [^\n]+\n", ""},
    };
    for (const auto& c : cases) {
        test::ResetDataSource(GetParam());
        std::vector<std::string> arguments{"--dsn", Dsn(), "--table-name", "T[counter]"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const Outcome outcome = Command(arguments);
        EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.err;
        EXPECT_TRUE(std::regex_match(outcome.out, std::regex(c.out))) << c.name << ": " << outcome.out;
        EXPECT_TRUE(std::regex_match(outcome.err, std::regex(c.err))) << c.name << ": " << outcome.err;
    }
}

TEST_P(ImportCommandTest, ReadsFilesAsTheyCome)
{
    using Rows = std::vector<TextRow>;
    const auto t = [](const char* text) { return std::optional<std::string>(text); };
    struct Case {
        const char* name;
        std::vector<std::string> options;
        std::string bytes;
        Rows rows;  // of NewTable1, ordered by its first column
    } cases[] = {
        {"LinuxLineEnds", {}, "a,b\n1,2\n3,4\n", {{t("1"), t("2")}, {t("3"), t("4")}}},
        {"SpreadsheetCsv", {"--quoted"}, "name,said\r\n\"Smith, John\",\"said \"\"hi\"\"\"\r\n\"\",\r\n",
         {{t(""), std::nullopt}, {t("Smith, John"), t("said \"hi\"")}}},
        {"Utf16UnicodeText", {"--separator", "\\t"},
         std::string("\xFF\xFEn\0\t\0v\0\r\0\n\0\xE9\0\t\0\xAC\x20\r\0\n\0", 20), {{t("\xC3\xA9"), t("\xE2\x82\xAC")}}},
        {"Latin1", {"--encoding", "latin1"}, "n\r\ncaf\xE9\r\n", {{t("caf\xC3\xA9")}}},
        {"Utf8ByteOrderMark", {}, "\xEF\xBB\xBFid\r\n7\r\n", {{t("7")}}},
    };
    for (const auto& c : cases) {
        test::ResetDataSource(GetParam());
        std::vector<std::string> arguments{"--dsn", Dsn()};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back(File("f.txt", c.bytes));
        const Outcome outcome = Command(arguments);
        EXPECT_EQ(outcome.status, 0) << c.name << ": " << outcome.err;
        EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT * FROM "NewTable1" ORDER BY 1)"), c.rows) << c.name;
    }
    const Outcome unknown = Command({"--dsn", Dsn(), "--encoding", "klingon", File("f.txt", "a\r\n")});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown encoding klingon"), std::string::npos) << unknown.err;
}

TEST_P(ImportCommandTest, ADashReadsStandardInputInItsPlace)
{
    const Outcome outcome =
        Command({"--dsn", Dsn(), "--table-name", "T[counter]", File("a.csv", "a\r\n1\r\n"), "-"}, "x,y\n1,2\n3\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err.rfind("quillbarrow-import: standard input:3: The line has 1 values", 0), 0u) << outcome.err;
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT * FROM "T2")"),
              (std::vector<TextRow>{{std::string("1"), std::string("2")}}));
}

TEST_P(ImportCommandTest, AClosedStandardInputReadsAsEmpty)
{
    // Descriptor 0 closed: the run's folder must not take it and pass for standard input.
    const int status =
        std::system(("(exec 0<&-; " + ImportLine(m_dir, m_dir.Path(), {"--dsn", Dsn(), "-"}) + ")").c_str());
    EXPECT_EQ(ExitStatus(status), 1);
    const std::string err = ReadAll(m_dir.Path("stderr"));
    EXPECT_NE(err.find("standard input is empty"), std::string::npos) << err;
    EXPECT_THROW(OpenConnection().ColumnCount(R"(SELECT * FROM "NewTable1")"), DatabaseError);
}

TEST_P(ImportCommandTest, RejectedLinesAreLocatedKeptAndLogged)
{
    // A long refused line is kept whole in the rejects file and cut in the log.
    const std::string longLine = "\"q\"" + std::string(1500, 'q');
    const std::string path = File("r.csv", "a,1\r\nb,x\r\n" + longLine + "\r\nc,3\r\nd,4,5\r\n");
    const auto permissions = [](const std::string& file) {
        struct stat info {};
        return ::stat(file.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    };
    const mode_t umask = ::umask(0);  // they hold refused lines: only we may read them, whatever the umask
    for (const char* mode : {"--row-by-row", "--quoted"}) {
        test::ResetDataSource(GetParam());
        std::filesystem::remove_all(m_dir.Path("state"));
        OpenConnection().Execute(R"(CREATE TABLE "T"("a" TEXT, "b" TEXT CHECK ("b" <> 'x')))");
        const std::string rejects = m_dir.Path("rejects.csv");
        m_dir.Write("rejects.csv", "old content");
        const Outcome outcome = Command({"--dsn", Dsn(), "--append", "T", mode, "--rejects", rejects, path});
        EXPECT_EQ(outcome.status, 1) << mode;
        // Every report names its file and line first; no terminal, no summary.
        for (const char* line : {":3: ", ":5: "})
            EXPECT_NE(outcome.err.find("\nquillbarrow-import: " + path + line), std::string::npos)
                << mode << line << outcome.err;
        EXPECT_EQ(outcome.err.rfind("quillbarrow-import: " + path + ":2: ", 0), 0u) << outcome.err;
        EXPECT_EQ(outcome.err.find("rows imported"), std::string::npos);
        EXPECT_EQ(ReadAll(rejects), "b,x\r\n" + longLine + "\r\nd,4,5\r\n") << mode;
        EXPECT_EQ(permissions(rejects), 0600u) << mode;
        EXPECT_EQ(permissions(m_dir.Path("state/quillbarrow")), 0700u) << mode;
        std::string log;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path("state/quillbarrow"))) {
            log += ReadAll(entry.path());
            EXPECT_EQ(permissions(entry.path()), 0600u) << mode;
        }
        const std::string cut = "\n  " + longLine.substr(0, 1000) + "\u2026 (1503 bytes in all)\n";
        EXPECT_NE(log.find(cut), std::string::npos) << log;
        EXPECT_NE(log.find("File: " + path + "\nNote: Read as UTF-8.\nTable: T\nRejected line 2: "), std::string::npos) << log;
        EXPECT_NE(log.find("Rows sent: 2\n"), std::string::npos) << log;
        // Batches name the database's own path they take; line by line takes none.
        EXPECT_EQ(log.find("Note: Batches go through ") != std::string::npos, mode == std::string("--quoted")) << log;
        EXPECT_NE(log.find("3 lines rejected"), std::string::npos) << log;
        EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT * FROM "T" ORDER BY 1)"),
                  (std::vector<TextRow>{{std::string("a"), std::string("1")}, {std::string("c"), std::string("3")}}));
    }
    ::umask(umask);
}

// The summary is JSON whatever bytes a path holds, its counts are the run's, and each refused line's reason
// stands in the order of the rejects file.
TEST_P(ImportCommandTest, SummaryAndReasonsRecordTheRun)
{
    OpenConnection().Execute(R"(CREATE TABLE "T"("a" TEXT, "b" TEXT CHECK ("b" <> 'x')))");
    const std::string odd = File("odd\t\xFF\".csv", "a,1\r\nb,x\r\nc,3\r\nd,x\r\n");
    const std::string wide = File("wide.csv", "1,2,3\r\n");
    const std::string summary = m_dir.Path("summary.json"), rejects = m_dir.Path("rejects.csv"),
                      reasons = m_dir.Path("reasons.tsv");
    // What a script would read of it, through a real JSON parser.
    const auto read = [&] {
        const std::string script =
            "import json,sys\n"
            "d=json.load(open(sys.argv[1],encoding='utf-8'))\n"
            "t=d['totals']\n"
            "print(d['exit_status'],t['rows_stored'],t['lines_refused'],t['files_done'],t['files_skipped'])\n"
            "for f in d['files']:\n"
            "  print(json.dumps(f['path']),f['outcome'],f['rows_stored'],[r['line'] for r in f['refused']],f['bytes'])\n";
        const std::string parsed = m_dir.Path("parsed");
        EXPECT_EQ(std::system(("python3 -c " + ShellQuote(script) + " " + ShellQuote(summary) + " >" +
                               ShellQuote(parsed))
                                  .c_str()),
                  0)
            << ReadAll(summary);
        return ReadAll(parsed);
    };
    const Outcome outcome = Command({"--dsn", Dsn(), "--append", "T", "--rejects", rejects, "--rejects-reasons",
                                     reasons, "--summary", summary, odd, wide});
    EXPECT_EQ(outcome.status, 1);
    for (const char* line : {":2: ", ":4: "})
        EXPECT_NE(outcome.err.find(odd + line), std::string::npos) << outcome.err;
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT COUNT(*) FROM "T")"), (std::vector<TextRow>{{std::string("2")}}));
    EXPECT_EQ(read(), "1 2 2 1 1\n\"" + m_dir.Path("odd") + "\\t\\ufffd\\\".csv\" done 2 [2, 4] 20\n\"" + wide +
                          "\" skipped 0 [] 7\n");
    EXPECT_EQ(ReadAll(rejects), "b,x\r\nd,x\r\n");
    std::istringstream lines(ReadAll(reasons));
    std::vector<std::string> prefixes;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 2) << line;
        EXPECT_GT(line.size(), line.rfind('\t') + 1) << "no reason: " << line;
        prefixes.push_back(line.substr(0, line.rfind('\t')));
    }
    const std::string shown = m_dir.Path("odd \xFF\".csv");
    EXPECT_EQ(prefixes, (std::vector<std::string>{shown + "\t2", shown + "\t4"}));
    // A run refused before it starts still says so.
    EXPECT_EQ(Command({"--dsn", Dsn(), "--summary", summary}).status, 1);
    EXPECT_EQ(read(), "1 0 0 0 0\n");
}

// Refused lines of a converted file are kept as the file holds them, so
// that importing the rejects file again with the same options refuses them again.
TEST_P(ImportCommandTest, RejectedConvertedLinesKeepTheirOwnBytes)
{
    const std::string refused = "caf\xE9,\x81x\r\n\xE9,y,z\r\n";
    const std::string path = File("w.csv", "a,b\r\nok,\xE9\r\n" + refused);
    const std::string rejects = m_dir.Path("rejects.csv");
    const Outcome outcome = Command({"--dsn", Dsn(), "--encoding", "cp1252", "--rejects", rejects, path});
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_EQ(ReadAll(rejects), refused);
    const std::string again = m_dir.Path("again.csv");
    // Read again as auto, which takes these few bytes for Windows-1252, and says so.
    EXPECT_EQ(Command({"--dsn", Dsn(), "--encoding", "auto", "--append", "NewTable1", "--rejects", again, rejects})
                  .status,
              1);
    EXPECT_EQ(ReadAll(again), refused);
    std::string logs;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path("state/quillbarrow")))
        logs += ReadAll(entry.path());
    EXPECT_NE(logs.find("File: " + rejects + "\nNote: Read as Windows-1252"), std::string::npos) << logs;
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT * FROM "NewTable1")"),
              (std::vector<TextRow>{{std::string("ok"), std::string("\xC3\xA9")}}));
}

TEST_P(ImportCommandTest, ADryRunChangesNothing)
{
    OpenConnection().Execute(R"(CREATE TABLE "T1"("a" TEXT))");
    OpenConnection().Execute(R"(CREATE TABLE "Two"("a" TEXT, "b" TEXT))");
    OpenConnection().Execute(R"(INSERT INTO "Two" VALUES('x', 'y'))");
    const std::string upload = m_dir.Write("upload.txt", "an earlier run's working copy");
    const std::string a = File("a.csv", "a\r\n1\r\n"), b = File("b.csv", "x,y\n1,2\n3\n\n"), h = File("c.csv", "p,q\r\n");
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;
    } cases[] = {
        {{"--table-name", "T[counter]", a, b}, 1,
         a + ": T1, 1 record, 0 mismatched: skipped: the table T1 exists already\n" + b +
             ": T2, 2 records, 1 mismatched: would be created\n"
             "2 files: 1 would be created, 1 skipped; 3 records, 1 mismatched\n"},
        {{"--append", "Two", h, b}, 1,
         h + ": Two, 1 record, 0 mismatched: would be appended\n" + b +
             ": Two, 3 records, 1 mismatched: would be appended\n"
             "2 files: 2 would be appended; 4 records, 1 mismatched\n"},
        {{"--table-name", "New[counter]", h}, 0, h + ": New1, 0 records, 0 mismatched: would be created\n"
                                                 "1 file: 1 would be created; 0 records, 0 mismatched\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"--dsn", Dsn(), "--dry-run"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const Outcome outcome = Command(arguments);
        EXPECT_EQ(outcome.status, c.status) << outcome.err;
        EXPECT_EQ(outcome.out, c.out);
    }
    // Nothing was written: the same tables, the same rows, the same working copy.
    EXPECT_EQ(Command({"--dsn", Dsn(), "--list-tables"}).out, "T1\nTwo\n");
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT COUNT(*) FROM "Two")"), (std::vector<TextRow>{{std::string("1")}}));
    EXPECT_EQ(ReadAll(upload), "an earlier run's working copy");
}

// A header that names the table's columns in another order, one more or one less: by name the values go to
// the columns named, a column the table lacks refuses the file before anything is sent, and the dry run says
// the same beforehand.
TEST_P(ImportCommandTest, AppendsByTheHeadersNames)
{
    const bool exactCase = GetParam().kind == test::DriverKind::Postgres;
    const std::string reordered = File("r.csv", "qty,day,item\r\n5,d1,widget\r\n");
    const std::string extra = File("e.csv", "qty,day,item,note\r\n6,d2,gadget,x\r\n");
    const std::string missing = File("m.csv", "item,day\r\nbolt,d3\r\n");
    const std::string cased = File("c.csv", "Qty,DAY,item\r\n8,d4,nut\r\n");
    const std::string refusal = "The table sales has no column note, which the first line of " + extra +
                                " names. Nothing of the file was sent.";
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int status;
        std::vector<TextRow> rows;  // day, item, qty
        std::string told;           // in the log, or on standard output for the dry run
    } cases[] = {
        {"Reordered", {reordered}, 0, {{"d1", "widget", "5"}}, "Note: Columns by name: qty -> qty, day -> day, item -> item.\n"},
        {"ReorderedByPosition", {"--columns", "by-position", reordered}, 0, {{"5", "d1", "widget"}}, "Rows sent: 1\n"},
        {"Extra", {"--columns", "by-name", extra}, 1, {}, refusal},
        {"ExtraFoundByTheDryRun", {"--dry-run", "--columns", "by-name", extra}, 1, {}, "skipped: " + refusal},
        {"ExtraIgnored", {"--columns", "by-name", "--ignore-extra-columns", extra}, 0, {{"d2", "gadget", "6"}},
         "note left out.\n"},
        {"MissingGetsTheDefault", {"--columns", "by-name", missing}, 0, {{"d3", "bolt", "0"}}, "; not in the file: qty.\n"},
        {"MappingInTheDryRun", {"--dry-run", reordered}, 0, {},
         "would be appended; columns by name: qty -> qty, day -> day, item -> item\n"},
        {"CaseAsTheDatabaseCompares", {"--columns", "by-name", cased}, exactCase ? 1 : 0,
         exactCase ? std::vector<TextRow>{} : std::vector<TextRow>{{"d4", "nut", "8"}},
         exactCase ? "has no columns Qty, DAY" : "Qty -> qty, DAY -> day"},
    };
    for (const auto& c : cases) {
        for (const char* statement : {R"(DROP TABLE IF EXISTS "sales")",
                                      R"(CREATE TABLE "sales"("day" TEXT, "item" TEXT, "qty" TEXT DEFAULT '0'))"})
            OpenConnection().Execute(statement);
        std::vector<std::string> arguments{"--dsn", Dsn(), "--append", "sales", "--skip-header"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const Outcome outcome = Command(arguments);
        EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.out << outcome.err;
        std::string told = outcome.out + outcome.err;
        if (std::filesystem::exists(m_dir.Path("state/quillbarrow")))
            for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path("state/quillbarrow")))
                told += ReadAll(entry.path());
        std::filesystem::remove_all(m_dir.Path("state/quillbarrow"));
        EXPECT_NE(told.find(c.told), std::string::npos) << c.name << ": " << told;
        EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT "day", "item", "qty" FROM "sales")"), c.rows) << c.name;
    }
}

// Dates written day first with dots make a DATE column (TEXT in SQLite), go in ISO form and sort as dates;
// the dry run and the log name their form.
TEST_P(ImportCommandTest, DatesWrittenDayFirstSortAsDates)
{
    const std::string path = File("d.csv", "born,name\r\n31.12.1999,a\r\n1.2.2024,b\r\n15.06.2010,c\r\n");
    const std::string type = GetParam().kind == test::DriverKind::Sqlite ? "TEXT" : "DATE";
    const Outcome dry = Command({"--dsn", Dsn(), "--types", "guess", "--dry-run", path});
    EXPECT_NE(dry.out.find("would be created (born " + type + " (DD.MM.YYYY), name TEXT)"), std::string::npos)
        << dry.out;
    const Outcome run = Command({"--dsn", Dsn(), "--types", "guess", path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT "born", "name" FROM "NewTable1" ORDER BY "born")"),
              (std::vector<TextRow>{{std::string("1999-12-31"), std::string("a")},
                                    {std::string("2010-06-15"), std::string("c")},
                                    {std::string("2024-02-01"), std::string("b")}}));
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path("state/quillbarrow")))
        log += ReadAll(entry.path());
    EXPECT_NE(log.find("Note: Dates: born as DD.MM.YYYY; sent in ISO form.\n"), std::string::npos) << log;
}

// Each run keeps its working copy in a folder of its own: two runs go at once, into one table.
TEST_P(ImportCommandTest, RunsGoSideBySide)
{
    OpenConnection().Execute(R"(CREATE TABLE "T"("n" TEXT))");
    // The first run holds its folder while it waits for the rest of standard input.
    std::FILE* first =
        ::popen(ImportLine(m_dir, m_dir.Path(), {"--dsn", Dsn(), "--append", "T", "-"}, "first.").c_str(), "w");
    ASSERT_NE(first, nullptr);
    std::fputs("a1\r\n", first);
    std::fflush(first);
    EXPECT_TRUE(Eventually([&] {
        const auto kept = Temporaries(m_dir.Path());
        return std::any_of(kept.begin(), kept.end(), [](const std::string& name) { return name.starts_with("run-"); });
    }));
    const int second = std::system(
        ImportLine(m_dir, m_dir.Path(), {"--dsn", Dsn(), "--append", "T", File("b.csv", "b1\r\nb2\r\n")}).c_str());
    EXPECT_EQ(ExitStatus(second), 0) << ReadAll(m_dir.Path("stderr"));
    std::fputs("a2\r\n", first);
    EXPECT_EQ(ExitStatus(::pclose(first)), 0) << ReadAll(m_dir.Path("first.stderr"));
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT * FROM "T" ORDER BY 1)"),
              (std::vector<TextRow>{{std::string("a1")}, {std::string("a2")}, {std::string("b1")}, {std::string("b2")}}));
}

TEST_P(ImportCommandTest, AppendingToABigTableReadsNoneOfItsRows)
{
    Connection connection = OpenConnection();
    connection.Execute(R"(CREATE TABLE "Big"("a" TEXT, "b" TEXT))");
    connection.Execute(IsSqlite()     ? R"(INSERT INTO "Big" WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1
                                           FROM n WHERE i < 1000000) SELECT 'row ' || i, 'some text of row ' || i FROM n)"
                       : IsPostgres() ? R"(INSERT INTO "Big" SELECT 'row ' || i, 'some text of row ' || i
                                           FROM generate_series(1, 1000000) AS i)"
                                      : R"(INSERT INTO "Big" SELECT CONCAT('row ', seq), CONCAT('some text of row ', seq)
                                           FROM seq_1_to_1000000)");
    const int status = std::system(ImportLine(m_dir, m_dir.Path(), {"--dsn", Dsn(), "--append", "Big",
                                                                    File("two.csv", "x,y\r\nz,w\r\n")}).c_str());
    EXPECT_EQ(ExitStatus(status), 0) << ReadAll(m_dir.Path("stderr"));
    // The import is the only child this test process has waited for. A sanitizer keeps freed memory
    // back, so its build cannot be measured.
#if !defined(QB_SANITIZED)
    struct rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "peak kB";
#endif
    EXPECT_EQ(connection.QueryStrings(R"(SELECT COUNT(*) FROM "Big")"), (std::vector<TextRow>{{std::string("1000002")}}));
}

// What the runs wrote to their logs.
std::string Logs(const test::TempDir& dir)
{
    std::string logs;
    if (std::filesystem::is_directory(dir.Path("state/quillbarrow")))
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path("state/quillbarrow")))
            logs += ReadAll(entry.path());
    return logs;
}

const char* const kManifestCounts = R"(SELECT "stored", "refused", "finished" IS NOT NULL FROM quillbarrow_sys_imports)";

// Killed at random moments, an append run with --resume goes on each time from its last commit: in the
// end every line is stored once, and the manifest counts them.
TEST_P(ImportCommandTest, KilledAnywhereEveryLineIsStoredOnce)
{
#if defined(QB_SANITIZED)
    constexpr int kKills = 5;
#else
    constexpr int kKills = 20;
#endif
    constexpr int kLines = 300000;
    std::string text;
    std::vector<std::string> expected;
    for (int i = 1; i <= kLines; ++i) {
        // Now and then a line too short for the table, refused before it is sent.
        if (i % 40000 == 0) {
            text += "short" + std::to_string(i) + "\r\n";
            continue;
        }
        expected.push_back(std::to_string(i));
        text += expected.back() + ",value " + std::to_string(i % 977) + "\r\n";
    }
    const std::string file = File("big.csv", text);
    OpenConnection().Execute(R"(CREATE TABLE "Big"("n" VARCHAR(20), "v" VARCHAR(20)))");
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    // Each run is killed once the manifest counts a random share of the lines, and then a random while
    // later: before, inside or after a batch's commit.
    std::vector<long> shares(kKills);
    for (long& share : shares)
        share = std::uniform_int_distribution<long>(0, kLines)(random);
    std::sort(shares.begin(), shares.end());
    std::uniform_int_distribution<int> later(0, 150);
    const auto storedNow = [&](Connection& watcher) -> long {
        try {
            const auto rows = watcher.QueryStrings(R"(SELECT "stored" FROM quillbarrow_sys_imports)");
            return rows.empty() ? 0 : std::stol(rows.front().at(0).value_or("0"));
        } catch (const DatabaseError&) {
            return 0;  // not made yet
        }
    };
    int killed = 0;
    for (const long share : shares) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c",
                    ImportLine(m_dir, m_dir.Path(), {"--dsn", Dsn(), "--append", "Big", "--resume", file}).c_str(),
                    nullptr);
            ::_exit(127);
        }
        Connection watcher = OpenConnection();
        bool ended = false;
        while (!(ended = ::waitpid(child, nullptr, WNOHANG) == child) && storedNow(watcher) < share)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (ended)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(later(random)));
        killed += ::kill(child, SIGKILL) == 0;
        ::waitpid(child, nullptr, 0);
    }
    EXPECT_GE(killed, kKills / 2) << "seed " << seed << ": the runs ended before they could be killed";
    const Outcome last = Command({"--dsn", Dsn(), "--append", "Big", "--resume", file});
    EXPECT_TRUE(last.status == 0 || last.status == 1) << last.err;
    // Remembering keeps the database's own bulk path.
    EXPECT_NE(Logs(m_dir).find("Note: Batches go through "), std::string::npos);
    std::vector<std::string> stored;
    for (const TextRow& row : OpenConnection().QueryStrings(R"(SELECT "n" FROM "Big")"))
        stored.push_back(row.at(0).value_or("NULL"));
    std::sort(stored.begin(), stored.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(stored == expected) << "seed " << seed << ": " << stored.size() << " rows stored of "
                                    << expected.size();
    EXPECT_EQ(OpenConnection().QueryStrings(kManifestCounts),
              (std::vector<TextRow>{{std::to_string(expected.size()), std::to_string(kLines / 40000), "1"}}))
        << "seed " << seed;
}

// A finished file is not imported again, in either mode; a changed one is a new file; refused lines are
// sent again only when asked.
TEST_P(ImportCommandTest, RunningAgainImportsOnlyWhatIsNew)
{
    const std::string a = File("a.csv", "x\r\na1\r\na2\r\n");
    const std::string b = File("b.csv", "x\r\nb1\r\n");
    const std::vector<std::string> create = {"--dsn", Dsn(), "--table-name", "[file]", "--resume", a, b};
    EXPECT_EQ(Command(create).status, 0);
    const Outcome again = Command(create);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "Done.\n");
    EXPECT_NE(Logs(m_dir).find(a + ": already imported on "), std::string::npos) << Logs(m_dir);
    EXPECT_NE(Logs(m_dir).find(" into b.\n"), std::string::npos) << Logs(m_dir);
    std::vector<std::string> dry = create;
    dry.push_back("--dry-run");
    const Outcome checked = Command(dry);
    EXPECT_EQ(checked.status, 0) << checked.out;
    EXPECT_NE(checked.out.find(a + ": a, 2 records, 0 mismatched: already imported on "), std::string::npos)
        << checked.out;
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT COUNT(*) FROM "a")"), (std::vector<TextRow>{{"2"}}));

    // Appending: the one whose bytes changed goes again, whole.
    Connection connection = OpenConnection();
    connection.Execute(R"(CREATE TABLE "All"("x" TEXT))");
    const std::vector<std::string> append = {"--dsn", Dsn(), "--append", "All", "--resume", a, b};
    EXPECT_EQ(Command(append).status, 0);
    EXPECT_EQ(Command(append).status, 0);
    File("b.csv", "x\r\nb1\r\nb2\r\n");
    EXPECT_EQ(Command(append).status, 0);
    EXPECT_EQ(connection.QueryStrings(R"(SELECT "x" FROM "All" ORDER BY 1)"),
              (std::vector<TextRow>{{"a1"}, {"a2"}, {"b1"}, {"b1"}, {"b2"}, {"x"}, {"x"}, {"x"}}));

    // A line refused stays refused until asked for.
    connection.Execute(R"(CREATE TABLE "U"("x" VARCHAR(10) UNIQUE))");
    connection.Execute(R"(INSERT INTO "U" VALUES('a2'))");
    // Line by line, each line commits with its count.
    std::vector<std::string> unique = {"--dsn", Dsn(), "--append", "U", "--resume", "--row-by-row", a};
    EXPECT_EQ(Command(unique).status, 1);
    connection.Execute(R"(DELETE FROM "U" WHERE "x" = 'a2')");
    EXPECT_EQ(Command(unique).status, 0);
    const auto rows = [&] { return connection.QueryStrings(R"(SELECT COUNT(*) FROM "U")"); };
    EXPECT_EQ(rows(), (std::vector<TextRow>{{"2"}}));
    unique.push_back("--retry-refused");
    EXPECT_EQ(Command(unique).status, 0);
    EXPECT_EQ(Command(unique).status, 0);
    EXPECT_EQ(rows(), (std::vector<TextRow>{{"3"}}));
    EXPECT_EQ(connection.QueryStrings(
                  R"(SELECT "stored", "refused", "last_line" FROM quillbarrow_sys_imports WHERE "target" = 'U')"),
              (std::vector<TextRow>{{"3", "0", "3"}}));

    // A table that cannot commit its lines with their count is refused whole.
    if (IsMariadb()) {
        connection.Execute(R"(CREATE TABLE "Loose"("x" TEXT) ENGINE=MyISAM)");
        const Outcome loose = Command({"--dsn", Dsn(), "--append", "Loose", "--resume", a});
        EXPECT_EQ(loose.status, 1);
        EXPECT_NE(loose.err.find("the table Loose keeps no transactions"), std::string::npos) << loose.err;
        EXPECT_EQ(connection.QueryStrings(R"(SELECT COUNT(*) FROM "Loose")"), (std::vector<TextRow>{{"0"}}));
    }
}

// A file delivered again: its lines keep the rows there or update them, counted; a table without a
// key is refused for it before anything is sent, by the run and the dry run.
TEST_P(ImportCommandTest, ARedeliveredFileKeepsOrUpdatesTheRowsThere)
{
    Connection connection = OpenConnection();
    connection.Execute(R"(CREATE TABLE "K"("id" INTEGER PRIMARY KEY, "name" VARCHAR(20)))");
    connection.Execute(R"(CREATE TABLE "Loose"("id" INTEGER, "name" VARCHAR(20)))");
    const auto append = [&](const char* table, const char* mode, const std::string& file, bool resume = false) {
        std::vector<std::string> arguments{"--dsn", Dsn(), "--append", table, "--on-duplicate", mode, file};
        if (resume)
            arguments.push_back("--resume");
        return Command(arguments);
    };
    const auto rows = [&] { return connection.QueryStrings(R"(SELECT "id", "name" FROM "K" ORDER BY 1)"); };
    EXPECT_EQ(append("K", "error", File("y.csv", "1,a\r\n2,b\r\n")).out, "Done.\n");

    const Outcome skipped = append("K", "skip", File("t.csv", "2,B\r\n3,c\r\n3,C\r\n"), true);
    EXPECT_EQ(skipped.status, 0) << skipped.err;
    EXPECT_EQ(skipped.out, "Done. 1 row inserted, 0 updated, 2 skipped.\n");
    EXPECT_EQ(rows(), (std::vector<TextRow>{{"1", "a"}, {"2", "b"}, {"3", "c"}}));
    EXPECT_EQ(connection.QueryStrings(R"(SELECT "stored", "last_line" FROM quillbarrow_sys_imports)"),
              (std::vector<TextRow>{{"3", "3"}}));

    const Outcome updated = append("K", "update", File("u.csv", "1,A\r\n3,C\r\n4,d\r\n4,D\r\n"));
    EXPECT_EQ(updated.status, 0) << updated.err;
    EXPECT_EQ(updated.out, "Done. 1 row inserted, 3 updated, 0 skipped.\n");
    EXPECT_EQ(rows(), (std::vector<TextRow>{{"1", "A"}, {"2", "b"}, {"3", "C"}, {"4", "D"}}));
    const Outcome foreseen = Command({"--dsn", Dsn(), "--append", "K", "--on-duplicate", "update", "--dry-run",
                                      File("u.csv", "1,A\r\n")});
    EXPECT_NE(foreseen.out.find(": would be appended; the key (id) tells a line whose row is there: the row would be "
                                "updated"), std::string::npos) << foreseen.out;

    const std::string neither = "The table Loose has neither a primary key nor a unique index";
    const Outcome keyless = append("Loose", "skip", File("y.csv", "1,a\r\n"));
    EXPECT_EQ(keyless.status, 1);
    EXPECT_NE(keyless.err.find(neither), std::string::npos) << keyless.err;
    EXPECT_EQ(connection.QueryStrings(R"(SELECT COUNT(*) FROM "Loose")"), (std::vector<TextRow>{{"0"}}));
    const Outcome dry = Command({"--dsn", Dsn(), "--append", "Loose", "--on-duplicate", "update", "--dry-run",
                                 File("y.csv", "1,a\r\n")});
    EXPECT_EQ(dry.status, 1);
    EXPECT_NE(dry.out.find("skipped: " + neither), std::string::npos) << dry.out;
    EXPECT_EQ(Command({"--dsn", Dsn(), "--on-duplicate", "skip", File("y.csv", "1,a\r\n")}).status, 2);

    // A line whose row is another's by a unique index other than the key is refused, on every database;
    // the row there stays as it was.
    connection.Execute(R"(CREATE TABLE "KU"("id" INTEGER PRIMARY KEY, "email" VARCHAR(20) UNIQUE, "name" VARCHAR(20)))");
    connection.Execute(R"(INSERT INTO "KU" VALUES(1, 'a@x', 'first'))");
    for (const char* mode : {"update", "skip"}) {
        const Outcome other = append("KU", mode, File("o.csv", "1,a@x,again\r\n2,a@x,second\r\n3,b@x,third\r\n"));
        EXPECT_EQ(other.status, 1) << mode;
        EXPECT_NE(other.err.find("o.csv:2: "), std::string::npos) << other.err;
        EXPECT_EQ(other.err.find("o.csv:1: "), std::string::npos) << other.err;
    }
    EXPECT_EQ(connection.QueryStrings(R"(SELECT "id", "email", "name" FROM "KU" ORDER BY 1)"),
              (std::vector<TextRow>{{"1", "a@x", "again"}, {"3", "b@x", "third"}}));

    // A NULL key meets no row, not even one of the same batch: each such line is a row of its own.
    connection.Execute(R"(CREATE TABLE "N"("code" VARCHAR(20) UNIQUE, "name" VARCHAR(20)))");
    std::string nulls;
    for (int i = 0; i < 2500; ++i)
        nulls += ",n" + std::to_string(i) + "\r\n";
    EXPECT_EQ(append("N", "update", File("n.csv", nulls)).out, "Done. 2,500 rows inserted, 0 updated, 0 skipped.\n");
    EXPECT_EQ(connection.QueryStrings(R"(SELECT COUNT(*) FROM "N")"), (std::vector<TextRow>{{"2500"}}));
}

// Files as people leave them: no header line, a title and a blank line above it, semicolons, quotes of '.
TEST_P(ImportCommandTest, ReadsHeaderlessTitledGuessedAndOtherwiseQuotedFiles)
{
    const std::string titled = File("t.csv", "Sales report\r\n\r\nid,amount\r\n1,5\r\n2,6,7\r\n3,8\r\n");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string query;
        std::vector<TextRow> rows;
        int status;
        std::vector<std::string> said;  // in the error output or the log
    } cases[] = {
        {"NoHeader", {"--no-header", "--types", "guess", "--table-name", "N", File("n.csv", "1,a\r\n2,b\r\n")},
         R"(SELECT "Column1", "Column2" FROM "N" ORDER BY 1)", {{"1", "a"}, {"2", "b"}}, 0, {}},
        {"SkipLines", {"--skip-lines", "2", "--resume", "--table-name", "S", titled},
         R"(SELECT "id", "amount" FROM "S" ORDER BY 1)", {{"1", "5"}, {"3", "8"}}, 1, {titled + ":5: "}},
        {"SeparatorGuessedPerFile",
         {"--separator", "auto", "--table-name", "A[counter]", File("a.csv", "id;name\r\n1;x\r\n"),
          File("b.tsv", "id\tname\r\n2\ty\r\n")},
         R"(SELECT "id", "name" FROM "A1" UNION ALL SELECT "id", "name" FROM "A2" ORDER BY 1)",
         {{"1", "x"}, {"2", "y"}}, 0, {"Note: separator guessed: ;\n", "Note: separator guessed: tab\n"}},
        {"SingleQuotes", {"--quote", "'", "--table-name", "Q", File("q.csv", "a,b\r\n'x,y','it''s \"ok\"'\r\n")},
         R"(SELECT "a", "b" FROM "Q")", {{"x,y", "it's \"ok\""}}, 0, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"--dsn", Dsn()};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const Outcome outcome = Command(arguments);
        EXPECT_EQ(outcome.status, c.status) << c.name << outcome.err;
        EXPECT_EQ(OpenConnection().QueryStrings(c.query), c.rows) << c.name;
        for (const std::string& said : c.said)
            EXPECT_NE((outcome.err + Logs(m_dir)).find(said), std::string::npos) << c.name << said << outcome.err;
    }
    // The manifest counts the titled file's lines as the file does.
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT "stored", "refused", "last_line" FROM quillbarrow_sys_imports)"),
              (std::vector<TextRow>{{"2", "1", "6"}}));
    // The dry run reads as the run does, and says what it guessed.
    EXPECT_EQ(Command({"--dsn", Dsn(), "--dry-run", "--skip-lines", "2", "--separator", "auto", "--table-name", "D",
                       titled})
                  .out,
              titled + ": D, 3 records, 1 mismatched: would be created; separator guessed: ,\n"
                       "1 file: 1 would be created; 3 records, 1 mismatched\n");
    // A file that ends within the lines to skip is said to hold nothing.
    const Outcome shorter = Command({"--dsn", Dsn(), "--skip-lines", "3", "--table-name", "E", File("e.csv", "x\r\n")});
    EXPECT_EQ(shorter.status, 1);
    EXPECT_NE(shorter.err.find("it has 1 line, and the first 3 are skipped."), std::string::npos) << shorter.err;
}

// A file is done, or goes on, only into a table that still holds what was stored in it; a file cut short
// goes on into the fixed table it made; a table named in another case is the same table where the
// database says so; a header alone is a file done.
TEST_P(ImportCommandTest, RunningAgainTrustsOnlyWhatTheTableStillHolds)
{
    Connection connection = OpenConnection();
    const auto count = [&](const std::string& table) {
        return connection.QueryStrings("SELECT COUNT(*) FROM \"" + table + "\"").at(0).at(0).value_or("");
    };
    const std::string f = File("f.csv", "x\r\nf1\r\nf2\r\nf3\r\n");
    const std::vector<std::string> named = {"--dsn", Dsn(), "--table-name", "[file]", "--resume", f};
    ASSERT_EQ(Command(named).status, 0);
    connection.Execute(R"(DROP TABLE "f")");
    std::vector<std::string> dry = named;
    dry.push_back("--dry-run");
    EXPECT_NE(Command(dry).out.find(": would be created"), std::string::npos);
    EXPECT_EQ(Command(named).status, 0);
    EXPECT_EQ(count("f"), "3");
    // Cut short after its first line, and the table lost with it.
    connection.Execute(R"(UPDATE quillbarrow_sys_imports SET "finished" = NULL, "stored" = 1, "last_line" = 2)");
    connection.Execute(R"(DROP TABLE "f")");
    EXPECT_EQ(Command(named).status, 0);
    EXPECT_EQ(count("f"), "3");
    // Emptied.
    connection.Execute(R"(DELETE FROM "f")");
    EXPECT_EQ(Command(named).status, 0);
    EXPECT_EQ(count("f"), "3");

    // A fixed name goes on where it stopped.
    const std::vector<std::string> fixed = {"--dsn", Dsn(), "--table-name", "Fixed", "--resume", f};
    ASSERT_EQ(Command(fixed).status, 0);
    connection.Execute(R"(UPDATE quillbarrow_sys_imports SET "finished" = NULL, "stored" = 1, "last_line" = 2 )"
                       R"(WHERE "target" = 'Fixed')");
    connection.Execute(R"(DELETE FROM "Fixed" WHERE "x" <> 'f1')");
    const Outcome goneOn = Command(fixed);
    EXPECT_EQ(goneOn.status, 0) << goneOn.out << goneOn.err;
    EXPECT_EQ(count("Fixed"), "3");

    connection.Execute(R"(CREATE TABLE "CaseT"("x" VARCHAR(10)))");
    EXPECT_EQ(Command({"--dsn", Dsn(), "--append", "CaseT", "--skip-header", "--resume", f}).status, 0);
    Command({"--dsn", Dsn(), "--append", "caset", "--skip-header", "--resume", f});
    EXPECT_EQ(count("CaseT"), "3");

    const std::string header = File("header.csv", "x\r\n");
    EXPECT_EQ(Command({"--dsn", Dsn(), "--append", "CaseT", "--skip-header", "--resume", header}).status, 0);
    EXPECT_EQ(connection.QueryStrings(R"(SELECT COUNT(*) FROM quillbarrow_sys_imports WHERE "finished" IS NULL)"),
              (std::vector<TextRow>{{"0"}}));
}

// A half-filled table, as a stopped run leaves it, made again from its file; or appended to on purpose.
TEST_P(ImportCommandTest, AnExistingTableIsReplacedOrAppendedToOnPurpose)
{
    Connection connection = OpenConnection();
    const auto rows = [&] { return connection.QueryStrings(R"(SELECT * FROM "Daily" ORDER BY 1)"); };
    const std::string file = File("daily.csv", "n,w\r\n1,a\r\n2,b\r\n");
    EXPECT_EQ(Command({"--dsn", Dsn(), "--table-name", "Daily", file}).status, 0);
    connection.Execute(R"(INSERT INTO "Daily" VALUES('0', 'left over'))");
    // A file refused before its CREATE leaves the table it would replace as it was.
    EXPECT_EQ(Command({"--dsn", Dsn(), "--table-name", "Daily", "--if-exists", "replace", "--key", "nosuch", file}).status, 1);
    EXPECT_EQ(rows(), (std::vector<TextRow>{{"0", "left over"}, {"1", "a"}, {"2", "b"}}));
    EXPECT_EQ(Command({"--dsn", Dsn(), "--table-name", "Daily", "--dry-run", "--if-exists", "replace", file}).out,
              file + ": Daily, 2 records, 0 mismatched: would be replaced\n"
                     "1 file: 1 would be replaced; 2 records, 0 mismatched\n");
    const Outcome replaced = Command({"--dsn", Dsn(), "--table-name", "Daily", "--if-exists", "replace", file});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(replaced.out, "Done.\n");
    EXPECT_EQ(rows(), (std::vector<TextRow>{{"1", "a"}, {"2", "b"}}));

    // Two files into one table: replaced by the first, appended to by the second.
    const std::string more = File("more.csv", "n,w\r\n3,c\r\n");
    EXPECT_EQ(Command({"--dsn", Dsn(), "--table-name", "Daily", "--if-exists", "replace", file, more}).status, 0);
    EXPECT_EQ(rows(), (std::vector<TextRow>{{"1", "a"}, {"2", "b"}, {"3", "c"}}));
    EXPECT_EQ(Command({"--dsn", Dsn(), "--table-name", "Daily", "--dry-run", "--if-exists", "append", more}).out,
              more + ": Daily, 1 record, 0 mismatched: would be appended to\n"
                     "1 file: 1 would be appended; 1 record, 0 mismatched\n");
    const Outcome appended = Command({"--dsn", Dsn(), "--table-name", "Daily", "--if-exists", "append", more});
    EXPECT_EQ(appended.out, "Done.\n") << appended.err;
    EXPECT_EQ(rows().size(), 4u);
}

// Replacing: the table is emptied with the first rows stored, once a run; a file that stores nothing
// leaves it as it was.
TEST_P(ImportCommandTest, ReplacingEmptiesTheTableOnlyWithRowsThatCommit)
{
    Connection connection = OpenConnection();
    connection.Execute(R"(CREATE TABLE "R"("k" VARCHAR(10), "v" VARCHAR(10) NOT NULL))");
    connection.Execute(R"(INSERT INTO "R" VALUES('old', 'row'))");
    const auto rows = [&] { return connection.QueryStrings(R"(SELECT * FROM "R" ORDER BY 1)"); };
    const std::vector<TextRow> old{{"old", "row"}};
    // Every value refused by the NOT NULL column: the emptying goes back with the batch.
    const std::string refused = File("refused.csv", "a,\r\nb,\r\n");
    for (const char* how : {"--quoted", "--row-by-row"}) {
        const Outcome failed = Command({"--dsn", Dsn(), "--append", "R", "--replace", how, refused});
        EXPECT_EQ(failed.status, 1) << how;
        EXPECT_EQ(rows(), old) << how;
    }
    EXPECT_EQ(Command({"--dsn", Dsn(), "--append", "R", "--replace", File("wide.csv", "a,b,c\r\n")}).status, 1);
    EXPECT_EQ(rows(), old);
    EXPECT_EQ(Command({"--dsn", Dsn(), "--append", "R", "--replace", "--dry-run", refused, File("good.csv", "x,1\r\n")}).out,
              refused + ": R, 2 records, 0 mismatched: would be appended after the table is emptied\n" +
                  m_dir.Path("good.csv") + ": R, 1 record, 0 mismatched: would be appended\n"
                  "2 files: 2 would be appended; 3 records, 0 mismatched\n");

    // Emptied once, before the first file's rows; a line refused after them does not undo it.
    const Outcome done = Command({"--dsn", Dsn(), "--append", "R", "--replace", File("one.csv", "x,1\r\ny,\r\n"),
                                  File("two.csv", "z,2\r\n")});
    EXPECT_EQ(done.status, 1);
    EXPECT_EQ(done.out, "");
    EXPECT_EQ(rows(), (std::vector<TextRow>{{"x", "1"}, {"z", "2"}}));
    // A file with no data lines empties it too.
    EXPECT_EQ(Command({"--dsn", Dsn(), "--append", "R", "--replace", "--skip-header", File("head.csv", "k,v\r\n")}).status, 0);
    EXPECT_EQ(rows(), std::vector<TextRow>{});
}

TEST_P(ImportCommandTest, AKeyMakesRepeatedLinesRefused)
{
    const std::string file = File("keyed.csv", "Id,Part No,w\r\n1,a,x\r\n2,a,y\r\n1,a,z\r\n1,b,w\r\n");
    const Outcome dry = Command({"--dsn", Dsn(), "--table-name", "K", "--key", "Id,Part No", "--dry-run", file});
    EXPECT_EQ(dry.status, 1);
    EXPECT_NE(dry.out.find("K, 4 records, 1 mismatched: would be created"), std::string::npos) << dry.out;
    EXPECT_EQ(dry.err, "quillbarrow-import: " + file + ":4: line 4 repeats the key of line 2\n");
    const Outcome unknown = Command({"--dsn", Dsn(), "--table-name", "K", "--key", "Idx", file});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("names no column \"Idx\" for the key"), std::string::npos) << unknown.err;
    EXPECT_EQ(Command({"--dsn", Dsn(), "--list-tables"}).out, "");

    const Outcome run = Command({"--dsn", Dsn(), "--table-name", "K", "--key", "Id,Part No", "--types", "guess", file});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT "Id", "PartNo", "w" FROM "K" ORDER BY 1, 2)"),
              (std::vector<TextRow>{{"1", "a", "x"}, {"1", "b", "w"}, {"2", "a", "y"}}));
}

// Markers, spaces, decimal commas and bare fractions reach each database as its typed values, in
// batches (remembering what was imported) and line by line alike; money keeps its places.
TEST_P(ImportCommandTest, ValuesAsPeopleWriteThem)
{
    const std::string path = File("money.csv", "id;amount;rate;share;note\n1; 6580,70 ;,5;.097;NA\n"
                                               "2;404,83;-0,25;-.5;\" NA \"\n3;NA;1,125;2;  hi  \n");
    const std::vector<std::string> options{"--dsn", Dsn(), "--separator", ";", "--quoted", "--types", "guess",
                                           "--null", "NA", "--trim"};
    const auto text = [](const char* value) { return value ? std::optional<std::string>(value) : std::nullopt; };
    const bool fixed = !IsSqlite();  // NUMERIC(6,2), DECIMAL(6,2); SQLite's REAL drops the trailing zero
    const std::vector<TextRow> expected{
        {text("1"), text(fixed ? "6580.70" : "6580.7"), text("0.5"), text("0.097"), text(nullptr)},
        {text("2"), text("404.83"), text("-0.25"), text("-0.5"), text(" NA ")},
        {text("3"), text(nullptr), text("1.125"), text(IsSqlite() ? "2.0" : "2"), text("hi")}};
    for (const char* how : {"--resume", "--row-by-row"}) {
        test::ResetDataSource(GetParam());
        std::filesystem::remove_all(m_dir.Path("state"));
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {how, "--table-name", "M", path});
        const Outcome outcome = Command(arguments);
        ASSERT_EQ(outcome.status, 0) << how << outcome.err;
        EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT * FROM "M" ORDER BY "id")"), expected) << how;
        EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT SUM("amount") FROM "M")"),
                  (std::vector<TextRow>{{text("6985.53")}})) << how;
        std::string log;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path("state/quillbarrow")))
            log += ReadAll(entry.path());
        EXPECT_NE(log.find("Note: Values changed by the options: 2 values NULL by their markers, 2 values trimmed, "
                           "7 numbers sent with a decimal point.\n"),
                  std::string::npos)
            << log;
    }
    // A type named for a column is checked against its values where the database would refuse them.
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.end(), {"--dry-run", "--type", "amount=integer", "--table-name", "N", path});
    const Outcome checked = Command(arguments);
    EXPECT_NE(checked.out.find(IsSqlite() ? "3 records, 0 mismatched" : "3 records, 2 mismatched"), std::string::npos)
        << checked.out;
}

INSTANTIATE_TEST_SUITE_P(Drivers, ImportCommandTest, testing::ValuesIn(test::AllDataSources()), test::DataSourceLabel());

// How a file's bytes are read is the same for every driver.
class ImportEncodingTest : public ImportCommandTest {
protected:
    // The one run's log, taken away so that the next run's stands alone.
    std::string TakeLog()
    {
        std::string log;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path("state/quillbarrow")))
            log += ReadAll(entry.path());
        std::filesystem::remove_all(m_dir.Path("state/quillbarrow"));
        return log;
    }
};

// Without --encoding a Latin-1 file reaches the database as UTF-8, and the log says how it was read.
TEST_P(ImportEncodingTest, ByDefaultEachFileIsReadAsWhatItIs)
{
    const std::string path = File("latin1.csv", "name\r\nJos\xE9 M\xFCller,Fran\xE7oise,Ren\xE9" "e,K\xF6ln,Gen\xE8ve,Zo\xEB,\xC6r\xF8\r\n");
    const Outcome outcome = Command({"--dsn", Dsn(), "--separator", "", path});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const std::string log = TakeLog();
    EXPECT_NE(log.find("File: " + path + "\nNote: Read as Windows-1252.\n"), std::string::npos) << log;
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT * FROM "NewTable1")"),
              (std::vector<TextRow>{{std::string("Jos\xC3\xA9 M\xC3\xBCller,Fran\xC3\xA7oise,Ren\xC3\xA9" "e,K\xC3\xB6ln,"
                                                 "Gen\xC3\xA8ve,Zo\xC3\xAB,\xC3\x86r\xC3\xB8")}}));
}

// An encoding Auto only guessed, and a UTF-8 file read in a single-byte encoding, are told in the log and
// counted in the summary that ends it.
TEST_P(ImportEncodingTest, GuessesAndMisreadUtf8AreSummed)
{
    const struct {
        std::vector<std::string> options;
        std::string bytes;
        std::string note;
        std::string counted;
    } cases[] = {
        {{}, "a\r\nJos\xE9\r\n", "Note: Read as Windows-1252, a guess: too few letters beyond ASCII to tell.\n",
         "1 file read in a guessed encoding, "},
        {{"--encoding", "ISO-8859-1"}, "a\r\nJos\xC3\xA9\r\n", "Note: " + m_dir.Path("f.csv") + " reads as UTF-8",
         "1 UTF-8 file read in a single-byte encoding, "},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"--dsn", Dsn(), "--table-name", "T[counter]"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back(File("f.csv", c.bytes));
        Command(arguments);
        const std::string log = TakeLog();
        EXPECT_NE(log.find(c.note), std::string::npos) << log;
        EXPECT_NE(log.find(c.counted), std::string::npos) << log;
        OpenConnection().Execute(R"(DROP TABLE "T1")");
    }
}

INSTANTIATE_TEST_SUITE_P(Sqlite, ImportEncodingTest, testing::Values(test::AllDataSources().front()),
                         test::DataSourceLabel());

// A daily load's options kept as a profile; the driver plays no part in how they are read.
class ImportProfileTest : public ImportCommandTest {
protected:
    void SetUp() override
    {
        ImportCommandTest::SetUp();
        ::setenv("XDG_CONFIG_HOME", m_dir.Path("config").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("XDG_CONFIG_HOME");
        ImportCommandTest::TearDown();
    }
};

TEST_P(ImportProfileTest, ASavedProfileCarriesTheNextRun)
{
    Outcome outcome = Command({"--dsn", Dsn(), "--separator", ";", "--null", "NA", "--table-name", "Daily[counter]",
                               "--trim", "--save-profile", "daily"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(outcome.out.empty()) << outcome.out;
    const std::string path = File("sales.csv", "region;amount\r\n north ;NA\r\nsouth;12\r\n");
    outcome = Command({"--profile", "daily", path});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT region, amount FROM "Daily1" ORDER BY region)"),
              (std::vector<TextRow>{{std::string("north"), std::nullopt}, {std::string("south"), std::string("12")}}));
    EXPECT_EQ(Command({"--profile", "nightly", path}).status, 2);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, ImportProfileTest, testing::Values(test::AllDataSources().front()),
                         test::DataSourceLabel());


// Faults of the process and its surroundings; the driver plays no part in them.
class ImportProcessTest : public test::DataSourceTest {
protected:
    int Shell(const std::string& prefix, const std::vector<std::string>& arguments)
    {
        return std::system(("(" + prefix + ImportLine(m_dir, m_temp, arguments) + ")").c_str());
    }
    std::string Err() const { return ReadAll(m_dir.Path("stderr")); }

    test::TempDir m_dir;
    test::TempDir m_tempDir;
    std::string m_temp = m_tempDir.Path();
};

TEST_P(ImportProcessTest, ATerminatedRunLeavesNoTemporaryFile)
{
    std::string body;
    body.reserve(96 << 20);
    while (body.size() < (96u << 20))
        body += "some,ordinary,text,line\r\n";
    const std::string big = m_dir.Write("big.csv", body);
    body.clear();

    for (const int signals : {1, 2}) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c", ImportLine(m_dir, m_temp, {"--dsn", GetParam().dsn, big}).c_str(), nullptr);
            ::_exit(127);
        }
        ASSERT_GT(child, 0);
        EXPECT_TRUE(Eventually([&] { return Temporaries(m_temp).size() > 1; }));  // a folder and a file in it
        for (int i = 0; i < signals; ++i)
            ::kill(child, SIGTERM);
        int status = 0;
        ::waitpid(child, &status, 0);
        // The first SIGTERM stops the run; a second one ends it at once.
        if (signals == 1) {
            EXPECT_EQ(ExitStatus(status), 128 + SIGTERM) << status;
        }
        EXPECT_EQ(Temporaries(m_temp), std::vector<std::string>{}) << signals;
    }

    // One that died harder (or a machine that stopped) leaves its folder; the next run of ours clears it,
    // but not a folder so young that a run starting beside it may have just made it.
    std::filesystem::create_directory(m_temp + "/run-Stale1");
    m_tempDir.Write("run-Stale1/upload.txt", "left by a killed run");
    std::filesystem::create_directory(m_temp + "/run-Young1");
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2);
    std::filesystem::last_write_time(m_temp + "/run-Stale1", old);
    EXPECT_EQ(ExitStatus(Shell("", {"--dsn", GetParam().dsn, m_dir.Write("small.csv", "a\r\n1\r\n")})), 0) << Err();
    EXPECT_EQ(Temporaries(m_temp), std::vector<std::string>{"run-Young1"});
}

// A first SIGINT, SIGTERM or SIGHUP stops after the batch in flight, and the log ends by saying so.
TEST_P(ImportProcessTest, AFirstSignalStopsAfterTheBatchInFlight)
{
    std::string body = "n,v\r\n";
    for (int i = 0; i < 600000; ++i)
        body += std::to_string(i) + ",some text\r\n";
    const std::string path = m_dir.Write("many.csv", body);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        test::ResetDataSource(GetParam());
        std::filesystem::remove_all(m_dir.Path("state"));
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c", ImportLine(m_dir, m_temp, {"--dsn", GetParam().dsn, path}).c_str(), nullptr);
            ::_exit(127);
        }
        ASSERT_GT(child, 0);
        const auto count = [&] {
            try {
                return std::stol(OpenConnection().QueryStrings(R"(SELECT COUNT(*) FROM "NewTable1")").at(0).at(0).value());
            } catch (const std::exception&) {
                return 0L;
            }
        };
        EXPECT_TRUE(Eventually([&] { return count() > 0; }));
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(ExitStatus(status), 128 + signal);
        const std::string counts = "1 of 1 file reached: 0 done, 0 skipped, 1 stopped midway; 0 not reached";
        EXPECT_EQ(ReadAll(m_dir.Path("stdout")), "") << signal;
        const std::string name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
        EXPECT_EQ(Err().rfind("quillbarrow-import: stopped by " + name + ": " + counts + "; log: ", 0), 0u) << Err();
        std::string log;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path("state/quillbarrow")))
            log += ReadAll(entry.path());
        EXPECT_NE(log.find("Import stopped. " + counts + "; "), std::string::npos) << log;
        const long stored = count();
        EXPECT_GT(stored, 0);
        EXPECT_LT(stored, 600000);
        EXPECT_EQ(stored % 1000, 0) << "a batch was half sent";
    }
}

TEST_P(ImportProcessTest, AFullDiskIsReportedInTheSystemsWords)
{
    const std::string big = m_dir.Write("big.csv", "a\r\n" + std::string(4 << 20, 'x') + "\r\n");
    // A small file system where we may mount one, else a file size limit.
    std::string prefix = "trap '' XFSZ; ulimit -f 1024; ";
    std::string cause = "File too large";
    const bool mounted = ::mount("tmpfs", m_temp.c_str(), "tmpfs", 0, "size=1m") == 0;
    if (mounted) {
        prefix.clear();
        cause = "No space left on device";
    }
    const int status = Shell(prefix, {"--dsn", GetParam().dsn, big});
    if (mounted)
        ::umount(m_temp.c_str());
    EXPECT_EQ(ExitStatus(status), 1);
    EXPECT_NE(Err().find("Cannot write " + m_temp + "/run-"), std::string::npos) << Err();
    EXPECT_NE(Err().find("/upload.txt: " + cause), std::string::npos) << Err();
}

TEST_P(ImportProcessTest, RefusedWorkingCopiesKeepNoDescriptor)
{
    // A file size limit refuses every copy after the source is open.
    std::vector<std::string> arguments{"--dsn", GetParam().dsn};
    for (int i = 0; i < 40; ++i)
        arguments.push_back(m_dir.Write("f" + std::to_string(i) + ".csv", "a\r\n" + std::string(64 << 10, 'x') + "\r\n"));
    EXPECT_EQ(ExitStatus(Shell("trap '' XFSZ; ulimit -f 32; ulimit -n 32; ", arguments)), 1);

    const std::string err = Err();
    const std::string refusal = "/upload.txt: File too large";
    std::size_t refusals = 0;
    for (auto at = err.find(refusal); at != std::string::npos; at = err.find(refusal, at + 1))
        ++refusals;
    EXPECT_EQ(refusals, 40u) << err;
    EXPECT_EQ(err.find("Cannot open"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Sqlite, ImportProcessTest, testing::Values(test::AllDataSources().front()),
                         test::DataSourceLabel());

// Read from ini files of the test's own: no driver is loaded.
TEST(ImportCommandInfoTest, ListsTheDataSourcesAndTellsItsVersion)
{
    test::TempDir dir, emptySystem;
    dir.Write("odbcinst.ini", "[SQLite3]\nDriver=/nowhere/libsqlite3odbc.so\n");
    dir.Write("odbc.ini", "[Shared]\nDriver=SQLite3\nDatabase=/nowhere/db\n");
    dir.Write("user.ini", "[Mine]\nDriver=SQLite3\n\n[Other Mine]\nDriver=PostgreSQL Unicode\n");
    const auto run = [&](const std::string& system, const std::string& user, const std::vector<std::string>& arguments) {
        const int status = std::system(("ODBCSYSINI=" + ShellQuote(system) + " ODBCINI=" + ShellQuote(user) + " " +
                                        ImportLine(dir, dir.Path(), arguments))
                                           .c_str());
        return Outcome{ExitStatus(status), ReadAll(dir.Path("stdout")), ReadAll(dir.Path("stderr"))};
    };

    const Outcome listed = run(dir.Path(), dir.Path("user.ini"), {"--list-sources"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, "Mine\tSQLite3\nOther Mine\tPostgreSQL Unicode\nShared\tSQLite3\n");

    const Outcome none = run(emptySystem.Path(), dir.Path("absent.ini"), {"--list-sources"});
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "");

    const Outcome version = run(dir.Path(), dir.Path("user.ini"), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "quillbarrow-import " QB_VERSION "\n");
}

}  // namespace
}  // namespace qb
