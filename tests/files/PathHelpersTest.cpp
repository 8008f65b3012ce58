#include "files/PathHelpers.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace qb {
namespace {

using test::ReadAll;
using test::TempDir;

// Cases are written with '\' and run in both styles: for POSIX every '\' becomes '/'.
struct PathCase {
    const char* name;
    const char* input;
    const char* windows;
    const char* posix;  // nullptr: same as windows, with '/'
};

void PrintTo(const PathCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string ToPosix(std::string text)
{
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

class NormalizePathTest : public testing::TestWithParam<PathCase> {};

TEST_P(NormalizePathTest, InBothStyles)
{
    const PathCase& c = GetParam();
    EXPECT_EQ(NormalizePath(c.input, PathStyle::Windows), c.windows);
    const std::string posix = c.posix ? c.posix : ToPosix(c.windows);
    EXPECT_EQ(NormalizePath(ToPosix(c.input), PathStyle::Posix), posix);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormalizePathTest,
    testing::Values(PathCase{"Empty", "", "", nullptr},
                    PathCase{"LoneSeparator", "\\", "\\\\", "/"},
                    PathCase{"ThreeSeparatorsOnly", "\\\\\\", "\\\\", "/"},
                    PathCase{"CleanDrivePath", "C:\\data\\a.txt", "C:\\data\\a.txt", nullptr},
                    PathCase{"DoubledAfterDrive", "C:\\\\data\\a.txt", "C:\\data\\a.txt", nullptr},
                    PathCase{"RunOfThreeInside", "C:\\data\\\\\\a.txt", "C:\\data\\\\a.txt", nullptr},
                    PathCase{"RunOfFourInside", "C:\\data\\\\\\\\a.txt", "C:\\data\\\\a.txt", nullptr},
                    PathCase{"NetworkThreeLeading", "\\\\\\server\\share", "\\\\server\\share", "/server/share"},
                    PathCase{"OneLeading", "\\server\\share", "\\\\server\\share", "/server/share"},
                    PathCase{"LeadingThenDoubled", "\\\\srv\\\\x", "\\\\srv\\x", "/srv/x"},
                    PathCase{"NoSeparator", "a.txt", "a.txt", nullptr}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ParentFolderTest, InBothStyles)
{
    struct Case {
        const char* input;
        const char* parent;
    } cases[] = {{"a.txt", ""},
                 {"C:\\data\\a.txt", "C:\\data\\"},
                 {"C:\\data\\", "C:\\data\\"},
                 {"\\\\server\\share\\f", "\\\\server\\share\\"},
                 {"", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(ParentFolder(c.input, PathStyle::Windows), c.parent) << c.input;
        EXPECT_EQ(ParentFolder(ToPosix(c.input), PathStyle::Posix), ToPosix(c.parent)) << c.input;
    }
    // Each style knows only its own separator.
    EXPECT_EQ(ParentFolder("a/b\\c", PathStyle::Windows), "a/b\\");
    EXPECT_EQ(ParentFolder("a\\b/c", PathStyle::Posix), "a\\b/");
}

TEST(PresenceTest, FoldersFilesLinksAndOddEntries)
{
    TempDir dir;
    const std::string file = dir.Write("a.txt", "x");
    const std::string hidden = dir.Write(".hidden", "x");
    const std::string readOnly = dir.Write("ro.txt", "x");
    ::chmod(readOnly.c_str(), 0400);
    const std::string unreadable = dir.Write("none.txt", "x");
    ::chmod(unreadable.c_str(), 0);
    std::filesystem::create_directory(dir.Path("sub"));
    std::filesystem::create_symlink(file, dir.Path("filelink"));
    std::filesystem::create_symlink(dir.Path("sub"), dir.Path("dirlink"));
    std::filesystem::create_symlink(dir.Path("gone"), dir.Path("dangling"));
    ::mkfifo(dir.Path("pipe").c_str(), 0600);

    struct Case {
        std::string path;
        bool isDirectory;
        bool fileExists;
    } cases[] = {{dir.Path("sub"), true, false},
                 {dir.Path("sub") + "/", true, false},
                 {file, false, true},
                 {hidden, false, true},
                 {readOnly, false, true},
                 {unreadable, false, true},
                 {dir.Path("filelink"), false, true},
                 {dir.Path("dirlink"), true, false},
                 {dir.Path("dangling"), false, false},
                 {dir.Path("pipe"), false, false},
                 {"/dev/null", false, false},
                 {dir.Path("missing"), false, false},
                 {"", false, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsDirectory(c.path), c.isDirectory) << c.path;
        EXPECT_EQ(FileExistsOnDisk(c.path), c.fileExists) << c.path;
    }
    EXPECT_EQ(ReadAll(file), "x");
}

TEST(MatchesPatternTest, CaseInsensitiveWildcards)
{
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    } cases[] = {{"a.TXT", "*.txt", true},   {"a.txt", "*.CSV", false}, {"README", "*.*", true},
                 {"abc", "a?c", true},       {"ac", "a?c", false},      {"a.b.c", "*.c", true},
                 {"x", "*", true},           {"", "*", true},           {"abc", "abc*", true},
                 {"abxbc", "a*bc", true},    {"abxb", "a*bc", false},   {"data.csv", "d*.c?v", true}};
    for (const auto& c : cases)
        EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
}

}  // namespace
}  // namespace qb
