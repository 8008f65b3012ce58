#include "files/PackedFiles.h"
#include "support/Packed.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

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
            for (const std::string text : {"begin 644 x\n#86)C\n`\nend\n", "#mtree\n% type=file\n. type=dir\n"}) {
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
    const std::string zip = test::Pack({{"one.csv", kText}}, ARCHIVE_FORMAT_ZIP);
    for (const std::string& bytes : {packed.substr(0, packed.size() / 2), "PK\3\4" + std::string(40, '\x01'),
                                     std::string("\x1F\x8B\x08\x00") + "not deflated", zip.substr(0, 40)}) {
        const std::string path = dir.Write("d.gz", bytes);
        try {
            OpenForImport(path, dir.Path());
            ADD_FAILURE() << "a damaged file read";
        } catch (const PackedFileError& error) {
            EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find("at byte "), std::string::npos) << error.what();
        }
        // A list still takes it, for its import to say what is wrong.
        EXPECT_EQ(ListEntries(path), std::vector<std::string>{path});
    }
}

}  // namespace
}  // namespace qb
