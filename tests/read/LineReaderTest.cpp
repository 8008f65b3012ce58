#include "read/LineReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

namespace qb {
namespace {

using Lines = std::vector<std::string>;

Lines ReadLines(const std::string& path)
{
    LineReader reader(path, false);
    Lines lines;
    std::string line;
    while (reader.Next(line))
        lines.push_back(line);
    return lines;
}

struct ReadCase {
    const char* name;
    std::string bytes;
    Lines lines;
};

void PrintTo(const ReadCase& c, std::ostream* out)
{
    *out << c.name;
}

class LineReaderTest : public testing::TestWithParam<ReadCase> {};

TEST_P(LineReaderTest, Reads)
{
    test::TempDir dir;
    EXPECT_EQ(ReadLines(dir.Write("f.txt", GetParam().bytes)), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineReaderTest,
    testing::Values(ReadCase{"Empty", "", {}},
                    ReadCase{"NoTerminator", "a,b\r\nc,d", {"a,b", "c,d"}},
                    ReadCase{"FinalTerminator", "a,b\r\nc,d\r\n", {"a,b", "c,d"}},
                    ReadCase{"LoneCr", "a\rb\r", {"a", "b"}},
                    ReadCase{"LoneLfIsData", "a\nb\n", {"a\nb\n"}},
                    ReadCase{"Mixed", "a\r\nb\rc\nd\r\n", {"a", "b", "c\nd"}},
                    ReadCase{"BlankLinesKept", "a\r\n\r\n\r\nb\r\n\r\n", {"a", "", "", "b", ""}},
                    ReadCase{"CrThenCrLf", "a\r\r\n", {"a", ""}},
                    ReadCase{"LfCr", "a\n\rb", {"a\n", "b"}},
                    ReadCase{"OnlyTerminator", "\r\n", {""}},
                    ReadCase{"NulBytes", std::string("a\0b\r\n\0", 6), {std::string("a\0b", 3), std::string(1, '\0')}},
                    ReadCase{"Utf8", "\xC3\xA9t\xC3\xA9\r\n\xE2\x82\xAC", {"\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC"}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(LineReaderLongTest, LinesAcrossBufferEdges)
{
    test::TempDir dir;
    // A several-megabyte line, and CR LF pairs cut at every buffer offset.
    const std::string big(5 * 1024 * 1024 + 17, 'x');
    std::string bytes = big + "\r\n";
    Lines expected{big};
    for (int i = 0; i < 3000; ++i) {
        std::string line(static_cast<std::size_t>(i % 97), 'y');
        bytes += line + (i % 2 ? "\r\n" : "\r");
        expected.push_back(line);
    }
    EXPECT_EQ(ReadLines(dir.Write("big.txt", bytes)), expected);
}

// Not held but read to its end, its text handed on to whoever follows it, and the next line read after it.
TEST(LineReaderLongTest, ALineOverTheLimitIsReadPast)
{
    struct Taken final : SkippedText {
        void Take(std::string_view piece) override { text.append(piece); }
        std::string text;
    };
    test::TempDir dir;
    const std::string big(200000, '\xAB');
    const struct {
        const char* name;
        std::string bytes;
        std::size_t limit;
        Lines lines;
        std::string skipped;
    } cases[] = {
        {"InTheBuffer", "0123456789\r\n01234567890\r\nnext", 10, {"0123456789", "", "next"}, "01234567890"},
        {"AcrossBuffers", "a\r\n" + big + "\r\nnext", 100000, {"a", "", "next"}, big},
        {"NeverEnded", big, 100000, {""}, big},
        {"Last", "0123456789\r\n01234567890", 10, {"0123456789", ""}, "01234567890"},
    };
    for (const auto& c : cases) {
        for (const bool follow : {false, true}) {
            LineReader reader(dir.Write("f.txt", c.bytes), false, c.limit);
            Taken taken;
            Lines lines;
            std::string skipped;
            for (std::string line; reader.Next(line, follow ? &taken : nullptr);) {
                lines.push_back(line);
                EXPECT_EQ(reader.Skipped(), line.empty()) << c.name;
            }
            EXPECT_EQ(lines, c.lines) << c.name;
            EXPECT_TRUE(taken.text == (follow ? c.skipped : "")) << c.name;
        }
    }
}

TEST(LineReaderLongTest, RefusesWhatIsNotAPlainFile)
{
    test::TempDir dir;
    const std::string real = dir.Write("real.txt", "x");
    std::filesystem::create_symlink(real, dir.Path("link"));
    EXPECT_THROW(LineReader(dir.Path("missing"), false), std::system_error);
    EXPECT_THROW(LineReader(dir.Path(), false), std::system_error);
    EXPECT_THROW(LineReader(dir.Path("link"), true), std::system_error);
    EXPECT_EQ(ReadLines(dir.Path("link")), Lines{"x"});
}

}  // namespace
}  // namespace qb
