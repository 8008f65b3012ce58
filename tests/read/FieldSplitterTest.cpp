#include "read/FieldSplitter.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

using Fields = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::string line;
    std::string separator;
    Fields fields;
};

void PrintTo(const SplitCase& c, std::ostream* out)
{
    *out << c.name;
}

class SplitFieldsTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitFieldsTest, Cuts)
{
    const SplitCase& c = GetParam();
    std::vector<std::string_view> fields;
    SplitFieldsInto(c.line, c.separator, fields);
    EXPECT_EQ(Fields(fields.begin(), fields.end()), c.fields);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitFieldsTest,
    testing::Values(
        SplitCase{"Comma", "a,b,c", ",", {"a", "b", "c"}},
        SplitCase{"TwoCharacterSeparator", "a||b||||c", "||", {"a", "b", "", "c"}},
        SplitCase{"QuotesMeanNothing", "\"x,y\",z", ",", {"\"x", "y\"", "z"}},
        SplitCase{"EmptyEnds", ",a,", ",", {"", "a", ""}},
        SplitCase{"EmptySeparator", "a,b", "", {"a,b"}},
        SplitCase{"EmptyLine", "", ",", {}},
        SplitCase{"EmptyLineEmptySeparator", "", "", {}},
        SplitCase{"SeparatorOnly", ",", ",", {"", ""}},
        SplitCase{"NoMatch", "abc", ";", {"abc"}},
        SplitCase{"SelfOverlapping", "xaaay", "aa", {"x", "ay"}},
        SplitCase{"SelfOverlappingRun", "aaaa", "aa", {"", "", ""}},
        SplitCase{"CaseSensitive", "aXbxc", "x", {"aXb", "c"}},
        SplitCase{"Tab", "a\tb", "\t", {"a", "b"}},
        SplitCase{"NoTrimming", " a , b ", ",", {" a ", " b "}},
        SplitCase{"NulBytes", std::string("a\0b,c", 5), ",", {std::string("a\0b", 3), "c"}},
        SplitCase{"Utf8Separator", "a\xC2\xA7" "b", "\xC2\xA7", {"a", "b"}},
        SplitCase{"LineFeedIsData", "a\nb,c", ",", {"a\nb", "c"}}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace qb
