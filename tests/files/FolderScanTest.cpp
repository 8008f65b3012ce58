#include "files/AddFiles.h"
#include "files/FolderScan.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qb {
namespace {

using test::TempDir;
using Paths = std::vector<std::string>;
namespace fs = std::filesystem;

class SilentReporter : public ErrorReporter {
public:
    int reports = 0;
    void ShowErrorReport(const std::string&, int, const std::string&) override { ++reports; }
};

class FolderScanTest : public testing::Test {
protected:
    Paths Scan(const std::string& folder, const std::string& extension)
    {
        Paths added;
        AddFilesFromFolderTree(folder, extension, [&](const std::string& path) { added.push_back(path); }, Host());
        return added;
    }

    ScanHost Host() { return {[this] { ++m_yields; }, m_reporter}; }

    std::string Make(const std::string& relative, const std::string& bytes = "x")
    {
        fs::create_directories(fs::path(m_dir.Path(relative)).parent_path());
        return m_dir.Write(relative, bytes);
    }

    std::string P(const std::string& relative) const { return m_dir.Path(relative); }

    TempDir m_dir;
    SilentReporter m_reporter;
    long m_yields = 0;
};

TEST_F(FolderScanTest, WalksLevelByLevelAndFiltersNames)
{
    Make("a.txt");
    Make("b.TXT");
    Make("c.csv");
    Make("caf\xE9.csv");  // not UTF-8: kept byte for byte
    Make("~lock.txt");
    Make(".hidden.txt");
    ::chmod(Make(".readonly.txt").c_str(), 0444);
    Make("sub1/x.txt");
    Make("sub1/deep/y.txt");
    Make("sub2/z.txt");
    Make("sub2/Data.Csv");
    fs::create_directory_symlink(P(""), P("sub1/loop"));
    fs::create_symlink(P("a.txt"), P("sub2/alias.txt"));

    EXPECT_EQ(Scan(P(""), "txt"), (Paths{P(".readonly.txt"), P("a.txt"), P("b.TXT"), P("sub1/x.txt"),
                                         P("sub2/alias.txt"), P("sub2/z.txt"), P("sub1/deep/y.txt")}));
    EXPECT_EQ(Scan(P(""), "CSV"), (Paths{P("c.csv"), P("caf\xE9.csv"), P("sub2/Data.Csv")}));
    EXPECT_EQ(Scan(P("") + "/", "*").size(), 10u);
    EXPECT_EQ(Scan(P("sub1"), "*"), (Paths{P("sub1/x.txt"), P("sub1/deep/y.txt")}));
    EXPECT_EQ(Scan(P("missing"), "*"), Paths{});
    EXPECT_GT(m_yields, 0);
    EXPECT_EQ(m_reporter.reports, 0);
}

TEST_F(FolderScanTest, FolderListOrderAndUnwalkableNames)
{
    for (const char* folder : {"b/b2", "a/a2/a3", "a/a1", "q?mark", "ctl\x01name", "bad\xff", "caf\xC3\xA9"})
        fs::create_directories(P(folder));
    std::vector<std::string> folders{P("") + "/"};
    GetSubDirectories2016(folders, true, Host());
    EXPECT_EQ(folders, (Paths{P("") + "/", P("a/"), P("b/"), P("caf\xC3\xA9/"), P("a/a1/"), P("a/a2/"), P("b/b2/"),
                              P("a/a2/a3/")}));

    // Without recursion only the first level is added.
    folders = {P("") + "/"};
    GetSubDirectories2016(folders, false, Host());
    EXPECT_EQ(folders.size(), 4u);
}

TEST(HasUnusualCharactersTest, InUtf8AndPlainLocales)
{
    struct Case {
        const char* name;
        bool unusual;
    } cases[] = {{"plain", false},       {"caf\xC3\xA9", false}, {"\xE2\x82\xAC", false}, {"a?b", true},
                 {"tab\there", true},    {"\x7F", true},         {"\xC2\x85", true},      {"\xC2\xA0", false},
                 {"bad\xFF", true},      {"\xC3", true},         {"\xC0\xAF", true},      {"\xED\xA0\x80", true},
                 {"", false}};
    for (const char* locale : {"C", "C.UTF-8"}) {
        if (!std::setlocale(LC_ALL, locale))
            continue;
        for (const auto& c : cases)
            EXPECT_EQ(HasUnusualCharacters(c.name), c.unusual) << locale << ": " << testing::PrintToString(c.name);
    }
    std::setlocale(LC_ALL, "C");
}

TEST_F(FolderScanTest, Attributes)
{
    ::chmod(Make(".ro").c_str(), 0444);
    fs::create_directory(P(".dir"));
    fs::create_symlink(P("plain"), P("link"));
    struct Case {
        std::string path;
        int attributes;
    } cases[] = {{Make(".hidden"), kHidden | kArchive},
                 {P(".ro"), kHidden | kArchive | kReadOnly},
                 {Make("plain"), kArchive},
                 {P(".dir"), kHidden | kDirectory},
                 {P(".dir") + "/", kHidden | kDirectory},
                 {P("link"), kReparsePoint | kArchive},
                 {P("missing"), 0}};
    for (const auto& c : cases)
        EXPECT_EQ(FileAttributes(c.path), c.attributes) << c.path;
}

// Runs the scan as an unprivileged user, since permissions do not stop root.
Paths ScanAsUnprivileged(const std::string& folder)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return {"pipe failed"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        SilentReporter reporter;
        std::string out;
        AddFilesFromFolderTree(folder, "*", [&](const std::string& path) { out += path + '\n'; },
                               {[] {}, reporter});
        if (::write(pipeEnds[1], out.data(), out.size()) != static_cast<ssize_t>(out.size()))
            ::_exit(4);
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {"child failed"};
    Paths paths;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        paths.push_back(text.substr(start, end - start));
    return paths;
}

TEST_F(FolderScanTest, UnlistableFoldersAreLeftOut)
{
    Make("ok1/a.txt");
    Make("locked1/b.txt");
    Make("locked2/inner/c.txt");
    Make("ok2/d.txt");
    Make("top.txt");
    for (const auto& entry : fs::recursive_directory_iterator(P("")))
        ::chmod(entry.path().c_str(), entry.is_directory() ? 0755 : 0644);
    ::chmod(P("").c_str(), 0755);
    ::chmod(P("locked1").c_str(), 0);
    ::chmod(P("locked2").c_str(), 0);

    EXPECT_EQ(ScanAsUnprivileged(P("")), (Paths{P("top.txt"), P("ok1/a.txt"), P("ok2/d.txt")}));
    EXPECT_EQ(ScanAsUnprivileged(P("locked1")), Paths{});
}

TEST_F(FolderScanTest, ARootFolderGivesSingleSeparators)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a private root folder needs chroot, which needs root";
    Make("r.txt");
    Make("sub/s.txt");
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chroot(P("").c_str()) != 0 || ::chdir("/") != 0)
            ::_exit(3);
        Paths added;
        SilentReporter reporter;
        AddFilesFromFolderTree("/", "txt", [&](const std::string& path) { added.push_back(path); }, {[] {}, reporter});
        ::_exit(added == Paths{"/r.txt", "/sub/s.txt"} ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PickedPathsTest, SingleAndMultipleResults)
{
    struct Case {
        std::string result;
        Paths paths;
    } cases[] = {{"", {}},
                 {"/home/u/a.txt", {"/home/u/a.txt"}},
                 {"/home/u//a.txt", {"/home/u//a.txt"}},
                 {std::string("/home/u\0a.txt\0b.csv\0c", 21), {"/home/u/a.txt", "/home/u/b.csv", "/home/u/c"}},
                 {std::string("/home/u\0a.txt\0", 14), {"/home/u/a.txt"}},
                 {std::string("/\0a.txt\0b.txt", 13), {"/a.txt", "/b.txt"}},
                 {std::string("/w/x\0a.txt\0/w/y//b.txt", 22), {"/w/x/a.txt", "/w/y//b.txt"}},
                 {std::string("/data/\0a.txt", 12), {"/data/a.txt"}}};
    for (const auto& c : cases)
        EXPECT_EQ(PickedPaths(c.result), c.paths) << testing::PrintToString(c.result);
}

TEST_F(FolderScanTest, DropsAddFilesAsDroppedAndFoldersByScan)
{
    Make("f1/a.txt");
    Make("f1/sub/b.doc");
    Make("f2/~c.txt");
    Make("f2/d.csv");
    const std::string loose = Make("~loose.TXT");
    Paths added;
    const auto append = [&](const std::string& path) { added.push_back(path); };
    AddDroppedPaths({loose, P("f1"), P("missing.txt"), P("f2"), loose}, append, Host());
    EXPECT_EQ(added, (Paths{loose, P("f1/a.txt"), P("f1/sub/b.doc"), P("missing.txt"), P("f2/d.csv"), loose}));
}

}  // namespace
}  // namespace qb
