#include "files/PackedFiles.h"
#include "support/Packed.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace qb {
namespace {

std::string ReadBack(const UniqueFd& fd)
{
    std::string bytes;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd.Get(), buffer, sizeof buffer, at);
        if (got <= 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
}

const std::string kText = "a,b\r\n1,x\r\n2,\xC3\xA9\r\n";

TEST(PackedFilesTest, CompressedFilesReadAsTheirText)
{
    test::TempDir dir;
    for (const int filter : {ARCHIVE_FILTER_NONE, ARCHIVE_FILTER_GZIP, ARCHIVE_FILTER_BZIP2, ARCHIVE_FILTER_XZ,
                             ARCHIVE_FILTER_ZSTD}) {
        // Known by their first bytes, whatever their names say.
        const std::string path = dir.Write("f.txt", filter == ARCHIVE_FILTER_NONE ? kText : test::Compress(kText, filter));
        EXPECT_EQ(ReadBack(OpenForImport(path, dir.Path())), kText) << filter;
        EXPECT_EQ(ListEntries(path), std::vector<std::string>{path});
        // Text that another compression's guessing could take for its own stays as it is.
        if (filter != ARCHIVE_FILTER_NONE) {
            // So does text that begins as a zip does and is none.
            for (const std::string text : {"begin 644 x\n#86)C\n`\nend\n", "#mtree\n% type=file\n. type=dir\n",
                                           "PK\3\4a,b\n1,2\n", "PK\5\6a,b\n"}) {
                const std::string packed = dir.Write("u.txt", test::Compress(text, filter));
                EXPECT_EQ(ReadBack(OpenForImport(packed, dir.Path())), text);
                EXPECT_EQ(ListEntries(packed), std::vector<std::string>{packed});
            }
        }
    }
}

TEST(PackedFilesTest, ArchivesListAndReadTheirFiles)
{
    test::TempDir dir;
    const std::vector<std::pair<std::string, std::string>> members{{"one.csv", kText}, {"sub/two.csv", "x\r\n"}};
    const std::pair<int, int> kinds[] = {{ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE},
                                         {ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_NONE},
                                         {ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_GZIP}};
    for (const auto& [format, filter] : kinds) {
        const std::string path = dir.Write("a.pack", test::Pack(members, format, filter));
        ASSERT_EQ(ListEntries(path), (std::vector<std::string>{path + "!/one.csv", path + "!/sub/two.csv"})) << format;
        EXPECT_EQ(ReadBack(OpenForImport(path + "!/one.csv", dir.Path())), kText);
        EXPECT_EQ(ReadBack(OpenForImport(path + "!/sub/two.csv", dir.Path())), "x\r\n");
        EXPECT_THROW(OpenForImport(path + "!/none.csv", dir.Path()), PackedFileError);
        // The archive itself is no text to import.
        EXPECT_THROW(OpenForImport(path, dir.Path()), PackedFileError);
    }
}

TEST(PackedFilesTest, DamageIsReportedWithItsPlace)
{
    test::TempDir dir;
    const std::string packed = test::Compress(std::string(100000, 'x'), ARCHIVE_FILTER_GZIP);
    std::string digits;
    for (unsigned i = 1; digits.size() < 400000; i = i * 1103515245u + 12345u)
        digits += std::to_string(i >> 8);
    const std::string big = test::Compress(digits, ARCHIVE_FILTER_GZIP);
    const std::string zip = test::Pack({{"one.csv", kText}}, ARCHIVE_FORMAT_ZIP);
    const auto cut = [](const std::string& bytes, std::size_t size) {
        return std::pair{bytes.substr(0, size), "it ends early, at byte " + std::to_string(size)};
    };
    // A file cut short says so, before its first byte of text or after many.
    for (const auto& [bytes, said] : {cut(packed, packed.size() / 2), cut(big, big.size() / 2), cut(zip, 40),
                                      std::pair{"PK\3\4" + std::string(40, '\x01'), std::string("at byte ")},
                                      std::pair{std::string("\x1F\x8B\x08\x00") + "not deflated", std::string("at byte ")}}) {
        const std::string path = dir.Write("d.gz", bytes);
        try {
            OpenForImport(path, dir.Path());
            ADD_FAILURE() << "a damaged file read";
        } catch (const PackedFileError& error) {
            EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(said), std::string::npos) << error.what();
        }
        // A list still takes it, for its import to say what is wrong.
        EXPECT_EQ(ListEntries(path), std::vector<std::string>{path});
    }
}

// An archive's files as a list names them, read in the order given: each its text, or refused with a reason.
struct ArchiveRead {
    std::string entry;  // after the archive's path
    std::string text;
    bool refused = false;  // text is then part of the reason
};
struct ArchiveCase {
    std::string name;
    std::string folder;  // where the archive lies in the test's folder
    int format;
    std::vector<std::pair<std::string, std::string>> members;
    std::vector<std::string> entries;  // after the archive's path
    std::vector<ArchiveRead> reads;
};

void PrintTo(const ArchiveCase& row, std::ostream* out)
{
    *out << row.name;
}

class ArchiveCasesTest : public testing::TestWithParam<ArchiveCase> {};

TEST_P(ArchiveCasesTest, ListsAndReads)
{
    const ArchiveCase& row = GetParam();
    test::TempDir dir;
    std::filesystem::create_directories(dir.Path(row.folder));
    const std::string path = dir.Write(row.folder + "/a.pack", test::Pack(row.members, row.format));
    std::vector<std::string> entries;
    for (const std::string& entry : row.entries)
        entries.push_back(path + entry);
    EXPECT_EQ(ListEntries(path), entries);
    for (const ArchiveRead& read : row.reads) {
        try {
            EXPECT_EQ(ReadBack(OpenForImport(path + read.entry, dir.Path())), read.text) << read.entry;
            EXPECT_FALSE(read.refused) << read.entry;
        } catch (const PackedFileError& error) {
            EXPECT_TRUE(read.refused) << read.entry << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find(read.text), std::string::npos) << error.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    PackedFilesTest, ArchiveCasesTest,
    testing::Values(
        // A member is undone as a file on disk is: one layer of compression, known by its first bytes.
        ArchiveCase{"CompressedMembers", ".", ARCHIVE_FORMAT_TAR_USTAR,
                    {{"g.csv.gz", test::Compress(kText, ARCHIVE_FILTER_GZIP)}, {"x.csv", test::Compress(kText, ARCHIVE_FILTER_ZSTD)}},
                    {"!/g.csv.gz", "!/x.csv"},
                    {{"!/g.csv.gz", kText}, {"!/x.csv", kText}}},
        // A tar appended to holds a name twice: its copies are told apart by place, in any order.
        ArchiveCase{"OneNameTwice", ".", ARCHIVE_FORMAT_TAR_USTAR,
                    {{"m.csv", "1\n"}, {"m.csv", "2\n"}, {"n.csv", "3\n"}, {"m.csv", "4\n"}},
                    {"!/m.csv", "!2/m.csv", "!/n.csv", "!3/m.csv"},
                    {{"!/m.csv", "1\n"}, {"!3/m.csv", "4\n"}, {"!2/m.csv", "2\n"}, {"!/n.csv", "3\n"},
                     {"!4/m.csv", "holds no copy 4 of a member m.csv", true}}},
        // An archive within one is no text.
        ArchiveCase{"ArchiveWithinAnArchive", ".", ARCHIVE_FORMAT_ZIP,
                    {{"inner.zip", test::Pack({{"in.csv", kText}}, ARCHIVE_FORMAT_ZIP)},
                     {"inner.tgz", test::Pack({{"in.csv", kText}}, ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_GZIP)},
                     {"after.csv", kText}},
                    {"!/inner.zip", "!/inner.tgz", "!/after.csv"},
                    {{"!/inner.zip", "is an archive within an archive", true},
                     {"!/inner.tgz", "is an archive within an archive", true},
                     {"!/after.csv", kText}}},
        // The archive is the first part of the path that is a file, whatever its folders are called.
        ArchiveCase{"FolderNamedLikeAMember", "x!/y!2", ARCHIVE_FORMAT_ZIP, {{"m.csv", kText}}, {"!/m.csv"},
                    {{"!/m.csv", kText}}}),
    [](const testing::TestParamInfo<ArchiveCase>& row) { return row.param.name; });

// The bytes this process has read so far, by any call.
long BytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string field;
    long count = 0;
    while (io >> field >> count && field != "rchar:") {
    }
    return count;
}

// Members asked for in order cost one reading of their compressed archive, not one each.
TEST(PackedFilesTest, AnArchiveIsReadOnceFrontToBack)
{
    test::TempDir dir;
    std::vector<std::pair<std::string, std::string>> members;
    for (unsigned i = 1; members.size() < 40; i = i * 1103515245u + 12345u) {
        std::string text;
        while (text.size() < 16000)
            text += std::to_string(i = i * 1103515245u + 12345u) + "\n";
        members.emplace_back("m" + std::to_string(members.size()) + ".csv", text);
    }
    const std::string packed = test::Pack(members, ARCHIVE_FORMAT_TAR_USTAR, ARCHIVE_FILTER_GZIP);
    const std::string path = dir.Write("a.tgz", packed);
    std::vector<UniqueFd> opened;
    const long before = BytesRead();
    for (const std::string& entry : ListEntries(path))
        opened.push_back(OpenForImport(entry, dir.Path()));
    const long read = BytesRead() - before;
    EXPECT_LT(read, 2 * static_cast<long>(packed.size()) + (1 << 17)) << packed.size();
    ASSERT_EQ(opened.size(), members.size());
    for (std::size_t i = 0; i < opened.size(); ++i)
        EXPECT_EQ(ReadBack(opened[i]), members[i].second) << i;
}

// What a file expands to stops at its first line over the limit, and says which line it is.
TEST(PackedFilesTest, ExpandingStopsAtALongLine)
{
    test::TempDir dir;
    const std::size_t limit = 100000;
    const std::string longest(limit, 'x');
    const std::string fits = longest + "\r\n" + longest + "\n" + longest;
    const std::string tar = test::Pack({{"ok.csv", fits}, {"long.csv", "a\n" + longest + "x\nb\n"}}, ARCHIVE_FORMAT_TAR_USTAR);
    const std::string zeros = test::Compress(std::string(1 << 20, '\0'), ARCHIVE_FILTER_GZIP);
    for (const auto& [path, line] : {std::pair{dir.Write("z.gz", zeros), 1L}, std::pair{dir.Write("t.tar", tar) + "!/long.csv", 2L}}) {
        try {
            OpenForImport(path, dir.Path(), limit);
            ADD_FAILURE() << path;
        } catch (const PackedLineTooLong& error) {
            EXPECT_EQ(error.Line(), line) << path;
            EXPECT_EQ(error.Name(), path);
        }
    }
    EXPECT_EQ(ReadBack(OpenForImport(dir.Path("t.tar") + "!/ok.csv", dir.Path(), limit)), fits);
    const std::string bz2 = dir.Write("f.bz2", test::Compress(fits, ARCHIVE_FILTER_BZIP2));
    EXPECT_EQ(ReadBack(OpenForImport(bz2, dir.Path(), limit)), fits);
}

}  // namespace
}  // namespace qb
