#include "import/Preview.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

// A record as the grid shows it: cells joined by |, N for NULL, * when marked.
std::vector<std::string> Shown(const Preview& preview)
{
    std::vector<std::string> rows;
    for (std::size_t r = 0; r < preview.records.size(); ++r) {
        std::string row = preview.marked[r] ? "*" : "";
        for (std::size_t c = 0; c < preview.records[r].size(); ++c)
            row += (c ? "|" : "") + (preview.records[r][c].null ? std::string("N") : preview.records[r][c].text);
        rows.push_back(row);
    }
    return rows;
}

struct PreviewCase {
    const char* name;
    std::string bytes;
    PreviewOptions options;
    std::vector<std::string> headers;
    std::vector<std::string> rows;
    std::size_t mismatched;
};

PreviewOptions Options(FileFormat format, bool create = true, bool names = true, std::optional<std::size_t> table = {})
{
    PreviewOptions options;
    options.format = std::move(format);
    options.createMode = create;
    options.namesFromFirstLine = names;
    options.tableColumns = table;
    return options;
}

TEST(PreviewTest, ShowsRecordsAsTheImportReadsThem)
{
    const FileFormat plain;
    const FileFormat quoted{",", true, ""};
    const PreviewCase cases[] = {
        {"CleanedNamesAndMarks", "id,Full Name,,e-mail\n1,Ann,,a@x\n2,Bo\n\n3,C,x,y,z\n", Options(plain),
         {"id", "FullName", "email"}, {"*1|Ann|N|a@x", "*2|Bo", "*3|C|x|y|z"}, 3},
        {"QuotedAcrossLines", "a,b\r\n\"x\r\ny\",\"\"\r\n", Options(quoted), {"a", "b"}, {"x\r\ny|"}, 0},
        {"UserSpecifiedNames", "h1;h2\r\n1;2\r\n3\r\n", Options({";", false, ""}, true, false),
         {"Column 1", "Column 2"}, {"1|2", "*3"}, 1},
        {"AppendAgainstTheTable", "1,2\r\n3,4,5\r\n", Options(plain, false, true, 2), {"Column 1", "Column 2", "Column 3"},
         {"1|2", "*3|4|5"}, 1},
        {"Utf16WithMark", std::string("\xFF\xFEh\0\n\0\xE9\0", 8), Options(plain), {"h"}, {"\xC3\xA9"}, 0},
        {"Latin1", "n\r\ncaf\xE9\r\n", Options({",", false, "latin1"}), {"n"}, {"caf\xC3\xA9"}, 0},
        {"UndecodableShowsReplacement", "n\r\nbad \xFF\r\n", Options(plain), {"n"}, {"bad \xEF\xBF\xBD"}, 0},
        {"UndecodableIsMarked", "n\r\nok\r\nbad \xFF\r\n", Options({",", false, "UTF-8"}), {"n"},
         {"ok", "*bad \xEF\xBF\xBD"}, 1},
        {"ExactlyOneMegabyteKeepsItsLastRecord", "n\r\n" + std::string((1 << 20) - 9, 'x') + "\r\nlast", Options(plain),
         {"n"}, {std::string((1 << 20) - 9, 'x'), "last"}, 0},
        {"LineEndsFollowTheWholeFile", std::string(1 << 20, 'x') + "\n1,2\n\r\n3,4\r\n", Options(plain, true, false),
         {"Column 1", "Column 2"}, {"3|4"}, 0},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const Preview preview = BuildPreview(dir.Write("f.txt", c.bytes), c.options);
        EXPECT_EQ(preview.error, "") << c.name;
        EXPECT_EQ(preview.headers, c.headers) << c.name;
        EXPECT_EQ(Shown(preview), c.rows) << c.name;
        EXPECT_EQ(preview.mismatched, c.mismatched) << c.name;
    }
    EXPECT_NE(BuildPreview(dir.Path("missing"), Options(plain)).error, "");
}

TEST(PreviewTest, StopsAtTheRecordLimit)
{
    test::TempDir dir;
    std::string bytes = "n\n";
    for (int i = 0; i < 500; ++i)
        bytes += std::to_string(i) + "\n";
    PreviewOptions options = Options({});
    EXPECT_EQ(BuildPreview(dir.Write("f.txt", bytes), options).records.size(), 100u);

    // Types come from every record past the shown ones that the import would send, up to the bound.
    bytes += "7,x\n";
    options.guessTypes = DatabaseKind::Postgres;
    const std::string path = dir.Write("g.txt", bytes + "1.5\n");
    Preview preview = BuildPreview(path, options);
    EXPECT_EQ(preview.types, std::vector<std::string>{"DOUBLE PRECISION"});
    EXPECT_FALSE(preview.typesFromPart);
    options.guessBytes = bytes.size() / 2;
    preview = BuildPreview(path, options);
    EXPECT_EQ(preview.types, std::vector<std::string>{"INTEGER"});
    EXPECT_TRUE(preview.typesFromPart);
}

}  // namespace
}  // namespace qb
