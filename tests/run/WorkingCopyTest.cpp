#include "base/StepFailure.h"
#include "run/RunFolder.h"
#include "run/WorkingCopy.h"
#include "support/ScriptedHost.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qb {
namespace {

using test::ReadAll;
using test::ScriptedHost;
using test::TempDir;

struct PrepareCase {
    const char* name;
    std::string source;
    bool skipFirstLine;
    std::string workingCopy;
    std::string header;
};

void PrintTo(const PrepareCase& c, std::ostream* out)
{
    *out << c.name;
}

class PrepareWorkingCopyTest : public testing::TestWithParam<PrepareCase> {};

TEST_P(PrepareWorkingCopyTest, RewritesDataLines)
{
    const PrepareCase& c = GetParam();
    TempDir dir;
    ScriptedHost host;
    const std::string source = dir.Write("in.txt", c.source);
    const std::string copy = dir.Path("upload.txt");
    // The header is kept aside only when it is not data.
    EXPECT_EQ(PrepareWorkingCopy(source, copy, c.skipFirstLine, host).header, c.skipFirstLine ? c.header : "");
    EXPECT_EQ(ReadAll(copy), c.workingCopy);
    EXPECT_EQ(ReadAll(source), c.source);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrepareWorkingCopyTest,
    testing::Values(
        PrepareCase{"NoFinalTerminator", "a,b\r\nc,d", false, "a,b\r\nc,d\r\n", "a,b"},
        PrepareCase{"HeaderDropped", "h1,h2\r\nc,d\r\n", true, "c,d\r\n", "h1,h2"},
        PrepareCase{"LoneCrBecomesCrLf", "a\rb\r", false, "a\r\nb\r\n", "a"},
        PrepareCase{"LfOnlyFileHasLfLineEnds", "a\nb\n\nc", false, "a\r\nb\r\n\r\nc\r\n", "a"},
        PrepareCase{"LoneLfStaysInLineBesideCr", "a\nb\nc\r", false, "a\nb\nc\r\n", "a\nb\nc"},
        PrepareCase{"Utf8ByteOrderMarkDropped", "\xEF\xBB\xBFh\r\nx\r\n", false, "h\r\nx\r\n", "h"},
        PrepareCase{"Utf16LittleEndian", std::string("\xFF\xFEh\0,\0\xE9\0\r\0\n\0\xAC\x20\r\0\n\0", 16), false,
                    "h,\xC3\xA9\r\n\xE2\x82\xAC\r\n", "h,\xC3\xA9"},
        PrepareCase{"Utf16BigEndianLfOnly", std::string("\xFE\xFF\0a\0\n\0b", 8), false, "a\r\nb\r\n", "a"},
        PrepareCase{"MixedEnds", "h\r\nx\ry\nz\r\n", true, "x\r\ny\nz\r\n", "h"},
        PrepareCase{"BlankLinesKeptInPlace", "a\r\n\r\nb\r\n\r\n", false, "a\r\n\r\nb\r\n\r\n", "a"},
        PrepareCase{"EmptyFile", "", false, "", ""},
        PrepareCase{"EmptyFileSkipping", "", true, "", ""},
        PrepareCase{"OnlyLineDropped", "header\r\n", true, "", "header"},
        PrepareCase{"NulAndUtf8Bytes", std::string("\0\xC3\xA9\xFF,\x01\r\n", 8), false,
                    std::string("\0\xC3\xA9\xFF,\x01\r\n", 8), std::string("\0\xC3\xA9\xFF,\x01", 6)}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(PrepareWorkingCopyLongTest, LongLinesAndYieldPerLine)
{
    TempDir dir;
    ScriptedHost host;
    const std::string big(3 * 1024 * 1024, 'q');
    const std::string source = dir.Write("in.txt", "h\r" + big + "\r\nend");
    EXPECT_EQ(PrepareWorkingCopy(source, dir.Path("upload.txt"), true, host).header, "h");
    EXPECT_EQ(ReadAll(dir.Path("upload.txt")), big + "\r\nend\r\n");
    EXPECT_GE(host.yields, 2);
}

TEST(PrepareWorkingCopyFailureTest, FailedCopyLeavesNoStaleContent)
{
    TempDir dir;
    ScriptedHost host;
    const std::string copy = dir.Path("upload.txt");
    PrepareWorkingCopy(dir.Write("first.txt", "old,data\r\n"), copy, false, host);

    struct Case {
        std::string source;
        std::string copy;
        std::string message;
    } cases[] = {{dir.Path("missing.txt"), copy, "Cannot open " + dir.Path("missing.txt") + ": No such file or directory"},
                 {dir.Path(), copy, "Not a regular file: " + dir.Path() + ": Is a directory"},
                 {"   ", copy, "Cannot open    : No such file or directory"},
                 {dir.Write("ok.txt", "x"), dir.Path("no-folder/upload.txt"),
                  "Cannot create a file beside " + dir.Path("no-folder/upload.txt") + ": No such file or directory"}};
    for (const auto& c : cases) {
        try {
            PrepareWorkingCopy(c.source, c.copy, false, host);
            ADD_FAILURE() << "no failure for " << c.source;
        } catch (const StepFailure& failure) {
            EXPECT_EQ(failure.Line(), 126);
            EXPECT_EQ(failure.what(), c.message);
        }
        EXPECT_FALSE(std::filesystem::exists(copy)) << c.source;
    }
}

// A file that is one line over the limit, with no line end at all, is not text.
TEST(PrepareWorkingCopyFailureTest, ALineOverTheLimitWithoutALineEndFailsTheFile)
{
    TempDir dir;
    ScriptedHost host;
    const std::string source = dir.Write("in.txt", "this line is too long");
    try {
        PrepareWorkingCopy(source, dir.Path("upload.txt"), false, host, {",", false, "", 8});
        ADD_FAILURE() << "no failure";
    } catch (const StepFailure& failure) {
        EXPECT_EQ(failure.Line(), 136);
        EXPECT_EQ(std::string(failure.what()),
                  "Line 1 of " + source + " is longer than 8 bytes: this is not a text file that can be imported.");
    }
}

TEST(PrepareWorkingCopyFailureTest, PlantedOrForeignWorkingCopyIsRefused)
{
    TempDir dir;
    ScriptedHost host;
    const std::string source = dir.Write("in.txt", "secret,row\r\n");
    const std::string victim = dir.Write("victim.txt", "precious");
    const std::string copy = dir.Path("upload.txt");
    std::filesystem::create_symlink(victim, copy);

    EXPECT_THROW(PrepareWorkingCopy(source, copy, false, host), StepFailure);
    EXPECT_EQ(ReadAll(victim), "precious");

    if (::geteuid() != 0)
        GTEST_SKIP() << "handing a file to another user needs root";
    std::filesystem::remove(copy);
    dir.Write("upload.txt", "theirs");
    ASSERT_EQ(::chown(copy.c_str(), 65534, 65534), 0);
    EXPECT_THROW(PrepareWorkingCopy(source, copy, false, host), StepFailure);
}

TEST(PrivateFolderTest, FollowsTempThenTmpdir)
{
    const char* savedTemp = std::getenv("TEMP");
    const std::string keep = savedTemp ? savedTemp : "";
    ::setenv("TEMP", "/some/folder/", 1);
    EXPECT_EQ(PrivateFolder(), "/some/folder");
    ::setenv("TEMP", "", 1);
    ::setenv("TMPDIR", "/other", 1);
    EXPECT_EQ(PrivateFolder(), "/other");
    ::unsetenv("TMPDIR");
    ::unsetenv("TEMP");
    EXPECT_EQ(PrivateFolder(), "/tmp/quillbarrow-" + std::to_string(::geteuid()));
    if (savedTemp)
        ::setenv("TEMP", keep.c_str(), 1);
}

// The default folder is every user's: our folder in it is made ours alone, and one that is not is refused.
TEST(RunFolderTest, ThePrivateFolderIsMadeOrRefused)
{
    const std::string name = "quillbarrow-" + std::to_string(::geteuid());
    struct Case {
        const char* name;
        std::function<void(const TempDir& dir, const std::string& folder)> plant;
        bool taken;
    } cases[] = {
        {"Missing", [](auto&, auto&) {}, true},
        {"Private", [](auto&, auto& folder) { ::mkdir(folder.c_str(), 0700); }, true},
        {"WorldWritable", [](auto&, auto& folder) { ::mkdir(folder.c_str(), 0700), ::chmod(folder.c_str(), 01777); },
         false},
        {"GroupReadable", [](auto&, auto& folder) { ::mkdir(folder.c_str(), 0700), ::chmod(folder.c_str(), 0750); },
         false},
        {"LinkToAPrivateFolder",
         [](auto& dir, auto& folder) {
             ::mkdir(dir.Path("elsewhere").c_str(), 0700), ::symlink("elsewhere", folder.c_str());
         },
         false},
        {"File", [&name](auto& dir, auto&) { dir.Write(name, ""); }, false},
        // Only root can hand a folder to another user; for anyone else it stays ours.
        {"Foreign",
         [](auto&, auto& folder) { ::mkdir(folder.c_str(), 0700), (void)::chown(folder.c_str(), 65534, 65534); },
         ::geteuid() != 0},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string folder = dir.Path(name);
        c.plant(dir, folder);
        try {
            std::string made;
            {
                const RunFolder run(folder);
                made = run.Path();
                dir.Write(made.substr(dir.Path().size() + 1) + "/upload.txt", "a copy");
            }
            EXPECT_TRUE(c.taken) << c.name;
            EXPECT_EQ(made.rfind(folder + "/run-", 0), 0u) << made;
            EXPECT_FALSE(std::filesystem::exists(made)) << "the run's folder goes with what it holds";
            struct stat info {};
            ASSERT_EQ(::lstat(folder.c_str(), &info), 0) << c.name;
            EXPECT_TRUE(S_ISDIR(info.st_mode) && (info.st_mode & 07777) == 0700) << c.name;
        } catch (const std::system_error& error) {
            EXPECT_FALSE(c.taken) << c.name << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find(folder), std::string::npos) << error.what();
        }
    }
}

}  // namespace
}  // namespace qb
