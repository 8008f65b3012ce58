#include "read/Input.h"
#include "read/Records.h"
#include "run/WorkingCopy.h"
#include "support/ScriptedHost.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

// A field as the INSERT sends it: N for NULL, '' for the empty text.
std::vector<std::string> Shown(const std::vector<std::string_view>& fields)
{
    std::vector<std::string> shown;
    for (const auto field : fields)
        shown.push_back(field.empty() ? (IsQuotedEmpty(field) ? "''" : "N") : std::string(field));
    return shown;
}

TEST(SplitQuotedTest, Cuts)
{
    struct Case {
        const char* name;
        std::string record;
        std::string separator;
        std::vector<std::string> fields;
        char quote = '"';
    } cases[] = {
        {"Plain", "a,b", ",", {"a", "b"}},
        {"SeparatorInQuotes", R"("Smith, John",x)", ",", {"Smith, John", "x"}},
        {"DoubledQuotes", R"("said ""hi""",y)", ",", {R"(said "hi")", "y"}},
        {"QuotedEmptyIsText", R"("",,"")", ",", {"''", "N", "''"}},
        {"TextAfterClosingQuoteKept", R"("ab"cd,e)", ",", {"abcd", "e"}},
        {"QuoteInsideUnquotedIsLiteral", R"(a"b,"c")", ",", {R"(a"b)", "c"}},
        {"LongSeparatorInQuotes", "\"x||y\"||z||", "||", {"x||y", "z", "N"}},
        {"LineEndsInQuotes", "\"1\r\n2\n3\r\",4", ",", {"1\r\n2\n3\r", "4"}},
        {"EmptySeparatorStillUnquotes", R"("a""b")", "", {R"(a"b)"}},
        {"NeverClosedTakesTheRest", R"(a,"b,c)", ",", {"a", "b,c"}},
        {"EmptyRecordHasNoFields", "", ",", {}},
        {"UnquotedAfterQuotedMovesUp", R"("a""b",cd,"",e""f,"g")", ",", {R"(a"b)", "cd", "''", R"(e""f)", "g"}},
        {"OtherQuoteChar", R"('a,b','it''s',"c",'')", ",", {"a,b", "it's", R"("c")", "''"}, '\''},
    };
    std::vector<std::string_view> fields;
    std::string arena;
    for (const auto& c : cases) {
        SplitQuotedInto(c.record, c.separator, fields, arena, c.quote);
        EXPECT_EQ(Shown(fields), c.fields) << c.name;
        std::string record = c.record;
        SplitQuotedInPlace(record, c.separator, fields, c.quote);
        EXPECT_EQ(Shown(fields), c.fields) << c.name << ", in place";
    }
}

struct FormatCase {
    const char* name;
    std::string source;
    FileFormat format;
    std::string workingCopy;
    std::string header;
    std::vector<std::string> notes;  // "record: description"
};

void PrintTo(const FormatCase& c, std::ostream* out)
{
    *out << c.name;
}

class ReadFormatTest : public testing::TestWithParam<FormatCase> {};

TEST_P(ReadFormatTest, WritesTheWorkingCopy)
{
    const FormatCase& c = GetParam();
    test::TempDir dir;
    test::ScriptedHost host;
    const std::string source = dir.Write("in.txt", c.source);
    const PreparedCopy prepared = PrepareWorkingCopy(source, dir.Path("upload.txt"), true, host, c.format);
    EXPECT_EQ(test::ReadAll(dir.Path("upload.txt")), c.workingCopy);
    EXPECT_EQ(prepared.header, c.header);
    std::vector<std::string> notes;
    for (const auto& note : prepared.notes) {
        std::string text = note.description;
        const auto at = text.find(source);
        if (at != std::string::npos)
            text.replace(at, source.size(), "F");
        notes.push_back(std::to_string(note.record) + ": " + text);
    }
    EXPECT_EQ(notes, c.notes);
}

// Auto reads each file as what it is and says which, and when that is a guess; a single-byte encoding chosen
// for a UTF-8 file with letters beyond ASCII is warned of, as it would store them as other letters.
TEST(ReadFormatTest, AutoAndAWrongSingleByteEncoding)
{
    struct Case {
        std::string source;
        std::string encoding;
        std::string copy;
        std::string readAs;
        bool warned;
        bool guessed = false;
    };
    // Ten Polish cities and three Russian ones, in their Windows code pages and in UTF-8.
    const std::string polish = "\xA3\xF3" "d\x9F,Krak\xF3w,Gda\xF1sk,Wroc\xB3" "aw,Pozna\xF1,Zielona G\xF3ra,Bielsko-Bia\xB3"
                               "a,\x8Cwi\xEAtoch\xB3owice,Cz\xEAstochowa,\xAFyrard\xF3w";
    const std::string polishUtf8 = "\xC5\x81\xC3\xB3" "d\xC5\xBA,Krak\xC3\xB3w,Gda\xC5\x84sk,Wroc\xC5\x82" "aw,Pozna\xC5\x84,"
                                   "Zielona G\xC3\xB3ra,Bielsko-Bia\xC5\x82" "a,\xC5\x9Awi\xC4\x99toch\xC5\x82owice,"
                                   "Cz\xC4\x99stochowa,\xC5\xBByrard\xC3\xB3w";
    const std::string russian = "\xCC\xEE\xF1\xEA\xE2\xE0,\xCA\xE0\xE7\xE0\xED\xFC,\xCD\xEE\xE2\xEE\xF1\xE8\xE1\xE8\xF0\xF1\xEA";
    const std::string russianUtf8 = "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0,\xD0\x9A\xD0\xB0\xD0\xB7\xD0\xB0"
                                    "\xD0\xBD\xD1\x8C,\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD0\xB8\xD0\xB1\xD0\xB8"
                                    "\xD1\x80\xD1\x81\xD0\xBA";
    const Case cases[] = {
        {"h\r\nP\xC3\xA9" "cs\r\n", "Auto", "P\xC3\xA9" "cs\r\n", "UTF-8", false},
        {"\xEF\xBB\xBFh\r\n\xC3\x84\r\n", "Auto", "\xC3\x84\r\n", "UTF-8", false},
        {"h\r\n" + polish + "\r\n", "Auto", polishUtf8 + "\r\n", "Windows-1250", false},
        {"h\r\n" + russian + "\r\n", "Auto", russianUtf8 + "\r\n", "Windows-1251", false},
        // One letter is too little to go on; bytes no code page reads, nothing.
        {"h\r\nJos\xE9\r\n", "Auto", "Jos\xC3\xA9\r\n", "Windows-1252", false, true},
        {"h\r\n\x81\x8D\x8F\x90\x9D\r\n", "Auto", "\xFF\xFF\xFF\xFF\xFF\r\n", "Windows-1252", false, true},
        {"h\r\nP\xC3\xA9" "cs\r\n", "ISO-8859-1", "P\xC3\x83\xC2\xA9" "cs\r\n", "", true},
        {"h\r\nPecs\r\n", "ISO-8859-1", "Pecs\r\n", "", false},
        // A code page that combines letters with marks keeps each letter on its own line.
        {"h\r\na\xF3\r\nb\r\n", "WINDOWS-1258", "a\xC3\xB3\r\nb\r\n", "", false},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        test::ScriptedHost host;
        const PreparedCopy prepared = PrepareWorkingCopy(dir.Write("in.txt", c.source), dir.Path("upload.txt"), true,
                                                         host, FileFormat{",", false, c.encoding});
        EXPECT_EQ(test::ReadAll(dir.Path("upload.txt")), c.copy) << c.source;
        EXPECT_EQ(prepared.readAs, c.readAs) << c.source;
        EXPECT_EQ(!prepared.encodingWarning.empty(), c.warned) << c.source;
        EXPECT_EQ(!prepared.encodingDoubt.empty(), c.guessed) << c.source << prepared.encodingDoubt;
    }
}

const FileFormat kQuoted{",", true, ""};

// A format with the quote character, the lines skipped, and whether the first line is data.
FileFormat Reading(FileFormat format, char quote, long skipLines, bool headerIsData = false)
{
    format.quote = quote;
    format.skipLines = skipLines;
    format.headerIsData = headerIsData;
    return format;
}

// Skipped lines leave the lines after them their own numbers; a file that ends within them holds nothing.
TEST(ReadFormatTest, NothingPastTheSkippedLines)
{
    test::TempDir dir;
    const std::string path = dir.Write("in.txt", "Title\r\n\r\n");
    const UniqueFd in = OpenInput(path);
    try {
        FileRecords records(in.Get(), "in.txt", Reading({}, '"', 2), true);
        ADD_FAILURE() << "read";
    } catch (const NotImportable& error) {
        EXPECT_STREQ(error.what(), "There is nothing to import in in.txt: it has 2 lines, and the first 2 are skipped.");
    }
}

// A CR LF file whose quoted cell holds far more LF-separated text than the limit: a doubled quote cut by
// the 64 KiB pieces it is read past in, and a closing quote that a separator before it would make an opening one.
std::string CellOverTheLimit()
{
    std::string cell;
    while (cell.size() < 65532)
        cell += "text\n";
    cell.resize(65532);
    cell += "\"\"";
    while (cell.size() < 150000)
        cell += "more, \"\"quoted\"\"\n";
    return "h\r\n1,a\r\n2,\"" + cell + ",\",x\r\n3,c\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadFormatTest,
    testing::Values(
        FormatCase{"QuotedRecordAcrossCrLf", "h\r\n\"a\r\nb\",c\r\nd,e\r\n", kQuoted, "\"a\r\nb\",c\r\nd,e\r\n", "h", {}},
        FormatCase{"QuotedRecordAcrossLf", "h\n\"a\nb\",\"c\"\"\"\nd\n", kQuoted, "\"a\nb\",\"c\"\"\"\r\nd\r\n", "h", {}},
        FormatCase{"QuotedHeaderAcrossLines", "\"a\r\nb\",c\r\n1,2\r\n", kQuoted, "1,2\r\n", "\"a\r\nb\",c", {}},
        FormatCase{"UnclosedAtTheEnd", "h\r\n1,2\r\n3,\"open\r\n4,5\r\n", kQuoted, "1,2\r\n3,\"open\r\n4,5\r\n", "h",
                   {"1: The record that begins on line 3 of F has a double quote that is never closed. It was not sent."}},
        FormatCase{"QuotedRecordPastTheLimit", "h\r\n\"12345\r\n12345\",x\r\nb\r\n", {",", true, "", 10}, "\r\nb\r\n",
                   "h", {"0: The record that begins on line 2 of F is longer than 10 bytes. It was not sent."}},
        FormatCase{"OneLinePastTheLimit", CellOverTheLimit(), {",", true, "", 1000}, "1,a\r\n\r\n3,c\r\n", "h",
                   {"1: The record that begins on line 3 of F is longer than 1000 bytes. It was not sent."}},
        FormatCase{"QuotedHeaderPastTheLimit", "\"12345\r\n12345\",x\r\nb\r\n", {",", true, "", 10}, "\r\nb\r\n", "",
                   {"0: The record that begins on line 1 of F is longer than 10 bytes. It was not sent."}},
        FormatCase{"QuotesMeanNothingWhenOff", "h\r\n\"a\r\nb\"\r\n", FileFormat{}, "\"a\r\nb\"\r\n", "h", {}},
        FormatCase{"Latin1", "n\xE9\r\ncaf\xE9\r\n", FileFormat{",", false, "latin1"}, "caf\xC3\xA9\r\n",
                   "n\xC3\xA9", {}},
        FormatCase{"Utf8MarkWinsOverTheChosenEncoding", "\xEF\xBB\xBFh\r\n\xC3\x84pfel\r\n", FileFormat{",", false, "latin1"},
                   "\xC3\x84pfel\r\n", "h", {}},
        FormatCase{"Windows1252Euro", "h\n\x80 5\n", FileFormat{",", false, "cp1252"}, "\xE2\x82\xAC 5\r\n", "h", {}},
        FormatCase{"Utf16WithoutMark", std::string("h\0\n\0x\0", 6), FileFormat{",", false, "utf-16le"}, "x\r\n", "h",
                   {}},
        FormatCase{"UndecodableLineIsNoted", "h\r\nok\r\nbad \xFF\r\nok2\r\n", FileFormat{",", false, "UTF-8"},
                   "ok\r\nbad \xFF\r\nok2\r\n", "h",
                   {"1: Line 3 of F cannot be converted from UTF-8 to UTF-8. It was not sent."}},
        // Its name holds "32", but a bad byte must not swallow the line end after it.
        FormatCase{"Cp932BadByteKeepsTheNextLine", "h\r\na,b\r\nx,\x81\r\ny,z\r\nw\r\n", FileFormat{",", false, "CP932"},
                   "a,b\r\nx,\xFF\r\ny,z\r\nw\r\n", "h",
                   {"1: Line 3 of F cannot be converted from CP932 to UTF-8. It was not sent."}},
        FormatCase{"Utf16BadUnitSkipsTwoBytes", std::string("h\0\n\0\x00\xD8\n\0x\0", 10), FileFormat{",", false, "utf-16le"},
                   "\xFF\r\nx\r\n", "h", {"0: Line 2 of F cannot be converted from utf-16le to UTF-8. It was not sent."}},
        FormatCase{"PastTheLastCodePointIsNoted", "h\r\nx\xF6\xB2\xB2\xB2\r\n", FileFormat{",", false, "UTF-8"},
                   "x\xFF\xFF\xFF\xFF\r\n", "h", {"0: Line 2 of F cannot be converted from UTF-8 to UTF-8. It was not sent."}},
        FormatCase{"BytesAsTheyAreByDefault", "h\r\nbad \xFF\r\n", FileFormat{}, "bad \xFF\r\n", "h", {}},
        FormatCase{"SkippedLinesKeepTheFileLineNumbers", "Title\r\n\r\nh\r\nok\r\nbad \xFF\r\n",
                   Reading({",", false, "UTF-8"}, '"', 2), "ok\r\nbad \xFF\r\n", "h",
                   {"1: Line 5 of F cannot be converted from UTF-8 to UTF-8. It was not sent."}},
        FormatCase{"SkippedLinesArePhysicalWhateverTheirQuotes", "\"Report\r\nh\r\n\"1\r\n2\",3\r\n",
                   Reading(kQuoted, '"', 1), "\"1\r\n2\",3\r\n", "h", {}},
        FormatCase{"OtherQuoteSpansLinesAndDoubleQuotesAreText", "h\r\n'a\r\nb',\"c\r\nd\r\n",
                   Reading(kQuoted, '\'', 0), "'a\r\nb',\"c\r\nd\r\n", "h", {}},
        FormatCase{"OtherQuoteNeverClosed", "h\r\n'a\r\nb\r\n", Reading(kQuoted, '\'', 0), "'a\r\nb\r\n", "h",
                   {"0: The record that begins on line 2 of F has a quote ' that is never closed. It was not sent."}},
        FormatCase{"FirstLineIsDataToo", "Title\r\na,b\r\nc,d\r\n", Reading({}, '"', 1, true), "a,b\r\nc,d\r\n",
                   "a,b", {}}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace qb
