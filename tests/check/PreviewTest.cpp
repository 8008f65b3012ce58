#include "check/Preview.h"
#include "read/TextDecoder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

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
    PreviewOptions values = Options({";", true, ""});
    values.values = {{"NA"}, true, false};
    values.guessTypes = DatabaseKind::Sqlite;
    const PreviewCase cases[] = {
        {"ValuesAsTheyWouldBeSent", "n;m;q\n NA ;1,5;\"  x \"\n2;,5;y\n", values, {"n", "m", "q"},
         {"N|1.5|  x ", "2|0.5|y"}, 0},
        {"CleanedNamesAndMarks", "id,Full Name,,e-mail\n1,Ann,,a@x\n2,Bo\n\n3,C,x,y,z\n", Options(plain),
         {"id", "FullName", "Column3", "email"}, {"1|Ann|N|a@x", "*2|Bo", "*3|C|x|y|z"}, 2},
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

// Dates not in ISO form show their form beside their type; a form named reads them in that one only.
TEST(PreviewTest, ShowsTheFormOfDates)
{
    test::TempDir dir;
    const std::string path = dir.Write("d.txt", "d,e\n13/02/2024,x\n");
    PreviewOptions options = Options({});
    options.guessTypes = DatabaseKind::Postgres;
    Preview preview = BuildPreview(path, options);
    EXPECT_EQ(preview.types, (std::vector<std::string>{"DATE", "TEXT"}));
    EXPECT_EQ(preview.dateForms, (std::vector<std::string>{"DD/MM/YYYY", ""}));
    options.dateFormat = ParseDateFormat("MM/DD/YYYY");
    preview = BuildPreview(path, options);
    EXPECT_EQ(preview.types, (std::vector<std::string>{"TEXT", "TEXT"}));
    EXPECT_EQ(preview.dateForms, (std::vector<std::string>{"", ""}));
}

TEST(PreviewTest, SaysAboveTheGridWhyOrWhatIsWrong)
{
    PreviewOptions tiny = Options({});
    tiny.format.maxRecordLength = 10;
    PreviewOptions cp1252 = Options({",", false, "WINDOWS-1252"});
    cp1252.encodingName = "Windows-1252";
    PreviewOptions table = Options({}, false, true);
    table.tableNames = {"id", "name"};
    const struct {
        const char* name;
        std::string bytes;
        PreviewOptions options;
        std::vector<std::string> messages;
        std::vector<std::string> headers;
    } cases[] = {
        {"Empty", "", Options({}), {"The file is empty."}, {}},
        {"OnlyAByteOrderMark", "\xEF\xBB\xBF", Options({}), {"The file is empty."}, {}},
        {"OnlyTheHeader", "a,b\r\n\r\n", Options({}), {"The file holds nothing after its first line."}, {"a", "b"}},
        {"OnlyEmptyLines", "\n\n", Options({}, false), {"The file holds only empty lines."}, {}},
        {"FirstRecordTooLong", std::string(11, 'x'), tiny,
         {"The first record is longer than 10 bytes, so nothing can be shown."}, {}},
        {"NothingDecoded", "\xC0\xC1\n\xFF\n", Options({",", false, "UTF-8"}, false),
         {"Nothing in this file could be read as UTF-8."}, {"Column 1"}},
        {"Utf8ReadAsLegacy", "n\ncaf\xC3\xA9\n", cp1252,
         {"This file reads as UTF-8, but Windows-1252 is chosen: letters beyond ASCII will be stored wrongly."},
         {"n"}},
        {"AsciiReadAsLegacy", "n\ncafe\n", cp1252, {}, {"n"}},
        {"Latin1ReadAsLegacy", "n\ncaf\xE9\n", cp1252, {}, {"n"}},
        {"Utf8MarkDecides", "\xEF\xBB\xBFn\ncaf\xC3\xA9\n", cp1252, {}, {"n"}},
        {"AutoOnlyGuessed", "n\ncaf\xE9\n", Options({",", false, kAutoEncoding}),
         {"Read as Windows-1252, a guess: too few letters beyond ASCII to tell."}, {"n"}},
        {"TableNamesHeadAppends", "1,2,3\n", table, {}, {"id", "name"}},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const Preview preview = BuildPreview(dir.Write("f.txt", c.bytes), c.options);
        EXPECT_EQ(preview.messages, c.messages) << c.name;
        EXPECT_EQ(preview.headers, c.headers) << c.name;
    }

    // A later line too long is a marked record of its own; an unreadable file gives the system's reason.
    Preview later = BuildPreview(dir.Write("f.txt", "1\n" + std::string(11, 'x') + "\n2\n"), tiny);
    EXPECT_TRUE(later.messages.empty());
    EXPECT_EQ(later.marked, (std::vector<bool>{true, false}));
    EXPECT_EQ(later.lines, (std::vector<long>{2, 3}));
    EXPECT_EQ(BuildPreview(dir.Path("missing"), Options({})).messages,
              std::vector<std::string>{"This file cannot be read: No such file or directory."});
    EXPECT_EQ(BuildPreview(dir.Path(), Options({})).messages,
              std::vector<std::string>{"This file cannot be read: Is a directory."});
}

TEST(PreviewTest, MarksUndecodableRecords)
{
    test::TempDir dir;
    // 0x81 is not a character of Windows-1252; an unclosed quote is marked, but not as undecodable.
    const std::string path = dir.Write("f.txt", "ok\nbad \x81\n\"open\n");
    const Preview preview = BuildPreview(path, Options({",", true, "WINDOWS-1252"}, false));
    EXPECT_EQ(preview.undecodable, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(preview.undecodableNote, "This line holds bytes that are not valid WINDOWS-1252.");
    // Bytes taken as they are are never undecodable.
    EXPECT_EQ(BuildPreview(path, Options({",", true, ""}, false)).undecodable, (std::vector<bool>{false, false, false}));
}

TEST(Utf8ScanTest, TellsValidityAndBytesPastAscii)
{
    constexpr auto kAll = UINT64_MAX;
    const struct {
        const char* name;
        std::string bytes;
        std::uint64_t limit;
        bool valid;
        bool nonAscii;
    } cases[] = {
        {"Ascii", "plain,text\r\n", kAll, true, false},
        {"Utf8", "caf\xC3\xA9", kAll, true, true},
        {"ByteOrderMark", "\xEF\xBB\xBF" "abc", kAll, true, true},
        {"Latin1", "caf\xE9", kAll, false, true},
        {"CutByTheEnd", "ab\xC3", kAll, false, true},
        {"Surrogate", "\xED\xA0\x80", kAll, false, true},
        {"AcrossAPiece", std::string(65535, 'a') + "\xE2\x82\xAC", kAll, true, true},
        {"InvalidFarIn", std::string(70000, 'a') + "\xFF", kAll, false, true},
        {"InvalidPastTheLimit", "abc\xFF", 3, true, false},
        {"LimitCutsASequence", "ab\xC3\xA9", 3, true, true},
        {"LimitCutsAnInvalidOne", "ab\xC3x", 3, false, true},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.Write("f.txt", c.bytes);
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        const Utf8Scan file = ScanUtf8(fd, path, c.limit);
        ::close(fd);
        EXPECT_EQ(file.valid, c.valid) << c.name;
        EXPECT_EQ(file.nonAscii, c.nonAscii) << c.name;
        if (c.limit == kAll) {
            const Utf8Scan bytes = ScanUtf8(c.bytes);
            EXPECT_EQ(bytes.valid, c.valid) << c.name;
            EXPECT_EQ(bytes.nonAscii, c.nonAscii) << c.name;
        }
    }
    for (const char* legacy : {"WINDOWS-1252", "ISO-8859-1", "latin1", "cp437"})
        EXPECT_TRUE(LegacyEncoding(legacy)) << legacy;
    for (const char* unicode : {"", "UTF-8", "utf8", "UTF-16", "utf-16le", "UCS-2", "Auto"})
        EXPECT_FALSE(LegacyEncoding(unicode)) << unicode;
}

}  // namespace
}  // namespace qb
