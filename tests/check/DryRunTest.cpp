#include "check/DryRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>

// The dry run's records of refused lines. No data source is reachable here: every file is still read.
namespace qb {
namespace {

ImportSettings Unreachable(std::vector<std::string> files)
{
    ImportSettings settings;
    settings.Files = std::move(files);
    settings.DataSourceName = "QuillbarrowNoSuchSource";
    return settings;
}

// A problem as "line|reason|text", PATH standing for the file's path in the reason.
std::vector<std::string> Shown(const DryRunFile& file)
{
    std::vector<std::string> shown;
    for (const DryRunProblem& problem : file.problems) {
        std::string reason = problem.reason;
        if (const auto at = reason.find(file.path); at != std::string::npos)
            reason.replace(at, file.path.size(), "PATH");
        shown.push_back(std::to_string(problem.line) + "|" + reason + "|" + problem.text);
    }
    return shown;
}

TEST(DryRunTest, RecordsEachRefusedLine)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::function<void(ImportSettings&)> choose;
        std::vector<std::string> problems;
    } cases[] = {
        {"FieldCountsAgainstTheHeader", "a,b\r\n1,2\r\n1,2,3\r\n\r\n4\r\n", {},
         {"3|3 values, the table has 2 columns|1,2,3", "5|1 value, the table has 2 columns|4"}},
        {"OneColumn", "a\nx,y\n", {}, {"2|2 values, the table has 1 column|x,y"}},
        {"UnclosedQuote", "a,b\n1,2\n\"x,3\n4,5\n", [](ImportSettings& s) { s.Quoted = true; },
         {"3|The record that begins on line 3 of PATH has a double quote that is never closed. It was not sent.|"
          "\"x,3\n4,5"}},
        {"UndecodableKeepsItsMark", "n,m\r\nok,1\r\nbad \xFF,2\r\n", [](ImportSettings& s) { s.Encoding = "UTF-8"; },
         {"3|Line 3 of PATH cannot be converted from UTF-8 to UTF-8. It was not sent.|bad \xFF,2"}},
        // Its text is not kept by the reader: the first bytes come from the file again.
        {"TooLongIsReadAgain", "a,b\n\"0123456789\n0123456789\n0123\",x\nok,1\n",
         [](ImportSettings& s) {
             s.Quoted = true;
             s.MaxRecordLength = 20;
         },
         {"2|The record that begins on line 2 of PATH is longer than 20 bytes. It was not sent.|"
          "\"0123456789\n0123456789\n0123\",x"}},
        {"TextIsCut", "a,b\n" + std::string(1000, 'z') + "\n", {},
         {"2|1 value, the table has 2 columns|" + std::string(kDryRunProblemBytes, 'z')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        ImportSettings settings = Unreachable({dir.Write("f.csv", c.bytes)});
        if (c.choose)
            c.choose(settings);
        const DryRunResult result = DryRun(settings);
        ASSERT_EQ(result.files.size(), 1u);
        EXPECT_EQ(Shown(result.files[0]), c.problems);
        EXPECT_EQ(result.files[0].mismatched, static_cast<long>(c.problems.size()));
        EXPECT_EQ(result.files[0].unlisted, 0);
        EXPECT_NE(result.files[0].outcome.find("skipped: cannot connect"), std::string::npos);
    }
}

// A UTF-8 file read in a single-byte encoding is warned of, in the file's line too.
TEST(DryRunTest, WarnsOfAUtf8FileReadInASingleByteEncoding)
{
    test::TempDir dir;
    ImportSettings settings = Unreachable({dir.Write("f.csv", "a\r\nP\xC3\xA9" "cs\r\n")});
    settings.Encoding = "ISO-8859-1";
    const DryRunFile file = DryRun(settings).files.at(0);
    EXPECT_NE(file.warning.find("reads as UTF-8, but ISO-8859-1 is chosen"), std::string::npos) << file.warning;
    EXPECT_NE(DryRunLine(file).find("; warning: " + file.warning), std::string::npos);
    settings.Encoding = kAutoEncoding;
    EXPECT_EQ(DryRun(settings).files.at(0).warning, "");
    // So is an encoding Auto could only guess.
    settings.Files = {dir.Write("g.csv", "a\r\nJos\xE9\r\n")};
    EXPECT_EQ(DryRun(settings).files.at(0).warning,
              "read as Windows-1252, a guess: too few letters beyond ASCII to tell");
}

// Cancelled while the second file is read: the first stays whole, the second keeps what was read, the third is
// never begun.
TEST(DryRunTest, StopsWhenCancelled)
{
    test::TempDir dir;
    std::string big = "a,b\n";
    for (int i = 0; i < 20000; ++i)
        big += i == 10 ? "bad\n" : "1,2\n";
    const ImportSettings settings =
        Unreachable({dir.Write("1.csv", "a\n1\n"), dir.Write("2.csv", big), dir.Write("3.csv", "a\n1\n")});
    std::atomic<bool> cancel{false};
    std::vector<std::string> seen;
    DryRunControl control;
    control.cancel = &cancel;
    control.onFile = [&](int file, int files, const std::string& path) {
        seen.push_back(std::to_string(file) + "/" + std::to_string(files) + " " + path.substr(dir.Path().size()));
        cancel = file == 2;
    };
    const DryRunResult result = DryRun(settings, control);
    EXPECT_EQ(seen, (std::vector<std::string>{"1/3 /1.csv", "2/3 /2.csv"}));
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.clean);
    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_TRUE(result.files[0].finished);
    EXPECT_FALSE(result.files[1].finished);
    EXPECT_LT(result.files[1].records, 20000);
    EXPECT_EQ(Shown(result.files[1]), std::vector<std::string>{"12|1 value, the table has 2 columns|bad"});

    // Cancelled before it begins: nothing is read.
    cancel = true;
    const DryRunResult none = DryRun(settings, {nullptr, &cancel});
    EXPECT_TRUE(none.cancelled && none.files.empty());
}

}  // namespace
}  // namespace qb
