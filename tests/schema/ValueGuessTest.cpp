#include "schema/ValueGuess.h"
#include "read/Records.h"
#include "schema/TypeNames.h"
#include "schema/ValueFits.h"
#include "schema/ValueStage.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

using enum DatabaseKind;
using Values = std::vector<std::string>;

constexpr DatabaseKind kDatabases[] = {Postgres, Mariadb, Sqlite};

struct ColumnCase {
    const char* name;
    Values values;
    std::string postgres, mariadb, sqlite;
};

void PrintTo(const ColumnCase& c, std::ostream* out)
{
    *out << c.name;
}

ColumnGuess Guess(const Values& values)
{
    ColumnGuess guess;
    for (const auto& value : values)
        guess.Observe(value);
    return guess;
}

class ValueGuessTypes : public testing::TestWithParam<ColumnCase> {};

// The type for each database, whatever the values' order, and every value fits it.
TEST_P(ValueGuessTypes, Types)
{
    const ColumnCase& c = GetParam();
    const ColumnGuess guess = Guess(c.values);
    const ColumnGuess reversed = Guess(Values(c.values.rbegin(), c.values.rend()));
    const std::string expected[] = {c.postgres, c.mariadb, c.sqlite};
    for (std::size_t d = 0; d < std::size(kDatabases); ++d) {
        const std::string type = TypeFor(guess, kDatabases[d]);
        EXPECT_EQ(type, expected[d]);
        EXPECT_EQ(TypeFor(reversed, kDatabases[d]), type);
        // As the stage sends them.
        ValueStage stage({}, RewritesFor({type}, nullptr, {}));
        for (const auto& value : c.values) {
            const std::string_view sent = stage.Apply({value}, {}).front();
            EXPECT_TRUE(ValueFits(sent, type, kDatabases[d])) << sent.substr(0, 40) << " in " << type;
        }
    }
    EXPECT_EQ(TypeFor(guess, Other), "TEXT");
}

const std::string kZeros38(38, '0');

INSTANTIATE_TEST_SUITE_P(
    Columns, ValueGuessTypes,
    testing::Values(
        ColumnCase{"Int32Edges", {"2147483647", "-2147483648", "0", "+7"}, "INTEGER", "BIGINT", "INTEGER"},
        ColumnCase{"PastInt32", {"2147483648"}, "BIGINT", "BIGINT", "INTEGER"},
        ColumnCase{"BelowInt32", {"-2147483649"}, "BIGINT", "BIGINT", "INTEGER"},
        ColumnCase{"Int64Edges", {"9223372036854775807", "-9223372036854775808"}, "BIGINT", "BIGINT", "INTEGER"},
        ColumnCase{"PastInt64", {"9223372036854775808", "1"}, "NUMERIC", "DECIMAL(19,0)", "TEXT"},
        ColumnCase{"BelowInt64", {"-9223372036854775809"}, "NUMERIC", "DECIMAL(19,0)", "TEXT"},
        ColumnCase{"SixtyFiveDigits", {std::string(65, '9')}, "NUMERIC", "DECIMAL(65,0)", "TEXT"},
        ColumnCase{"SixtySixDigits", {"1" + std::string(65, '0')}, "NUMERIC", "TEXT", "TEXT"},
        ColumnCase{"IntegersJoinDecimals", {"12", "-3.25", "0.5"}, "DOUBLE PRECISION", "DOUBLE", "REAL"},
        ColumnCase{"SixteenDigits", {"1234567890.123456"}, "NUMERIC(16,6)", "DECIMAL(16,6)", "TEXT"},
        ColumnCase{"WideIntegerAmongDecimals", {"1.5", "12345678901234567"}, "NUMERIC", "DECIMAL(18,1)", "TEXT"},
        ColumnCase{"Exponents", {"1.5e10", "2E-3", "-4e+2", "7"}, "DOUBLE PRECISION", "DOUBLE", "REAL"},
        ColumnCase{"PastDouble", {"1e400"}, "NUMERIC", "TEXT", "TEXT"},
        ColumnCase{"BelowDouble", {"1e-320"}, "NUMERIC", "TEXT", "TEXT"},
        ColumnCase{"ScaleOf38", {"0." + kZeros38.substr(1) + "1"}, "NUMERIC(39,38)", "DECIMAL(39,38)", "REAL"},
        ColumnCase{"ScaleOver38", {"0." + kZeros38 + "1"}, "NUMERIC(40,39)", "DOUBLE", "REAL"},
        ColumnCase{"ManyDigitsBothSides", {"1" + kZeros38 + ".5" + kZeros38}, "NUMERIC(78,39)", "TEXT", "TEXT"},
        // Places written alike are kept; varying ones, or exponents, go as doubles.
        ColumnCase{"Money", {"6580.70", "404.83", "-0.10"}, "NUMERIC(6,2)", "DECIMAL(6,2)", "REAL"},
        ColumnCase{"VaryingPlaces", {"1.10", "2.5"}, "DOUBLE PRECISION", "DOUBLE", "REAL"},
        ColumnCase{"BareFractions", {".097", "-.5", "1.5"}, "DOUBLE PRECISION", "DOUBLE", "REAL"},
        ColumnCase{"BareFractionsAlike", {".25", "-.50"}, "NUMERIC(2,2)", "DECIMAL(2,2)", "REAL"},
        ColumnCase{"LeapDays", {"2024-02-29", "2000-02-29", "1000-01-01", "9999-12-31"}, "DATE", "DATE", "TEXT"},
        ColumnCase{"Timestamps", {"2024-01-02 03:04", "2024-01-02T23:59:59.123456", "2024-01-03"}, "TIMESTAMP",
                   "DATETIME(6)", "TEXT"},
        ColumnCase{"ZonedTimestamps",
                   {"2024-01-02T03:04:05Z", "2024-01-02 03:04+05:30", "2024-01-02 03:04:05.5-0800",
                    "2024-01-02 03:04:05+14"},
                   "TIMESTAMPTZ", "TEXT", "TEXT"},
        ColumnCase{"MixedZones", {"2024-01-02 03:04Z", "2024-01-02 03:04"}, "TEXT", "TEXT", "TEXT"},
        ColumnCase{"DateAmongZoned", {"2024-01-02 03:04Z", "2024-01-02"}, "TEXT", "TEXT", "TEXT"},
        ColumnCase{"Booleans", {"true", "FALSE", "True"}, "BOOLEAN", "TEXT", "TEXT"},
        ColumnCase{"NullsDecideNothing", {"", "5", ""}, "INTEGER", "BIGINT", "INTEGER"},
        ColumnCase{"OnlyNulls", {"", ""}, "TEXT", "TEXT", "TEXT"},
        ColumnCase{"NoValues", {}, "TEXT", "TEXT", "TEXT"},
        ColumnCase{"IntegerAndDate", {"1", "2024-01-02"}, "TEXT", "TEXT", "TEXT"},
        ColumnCase{"DecimalAndBoolean", {"1.5", "true"}, "TEXT", "TEXT", "TEXT"},
        ColumnCase{"NumberAndWord", {"1", "abc", "2"}, "TEXT", "TEXT", "TEXT"},
        ColumnCase{"LongText", {std::string(65536, 'x')}, "TEXT", "LONGTEXT", "TEXT"},
        ColumnCase{"LongestText", {std::string(65535, 'x')}, "TEXT", "TEXT", "TEXT"},
        ColumnCase{"LongDigits", {std::string(70000, '7')}, "NUMERIC", "LONGTEXT", "TEXT"}),
    [](const auto& param) { return std::string(param.param.name); });

// Each alone leaves a column TEXT everywhere.
TEST(ValueGuessText, OddValues)
{
    const char* const values[] = {
        "007", "00", "-07", "-0", "+0", "-0.0", "-", "+", " 1", "1 ", "1\t", "1,5", ".", "-.", "5.", "-.0", "00.5", "1e",
        "1e1234", "1.2.3", "NaN", "Infinity", "inf", "0x10", "1_000", "2023-02-29", "2023-02-30", "1900-02-29",
        "0999-12-31", "2024-13-01", "2024-04-31", "2024-1-01", "2024-01-02 24:00", "2024-01-02 03:60",
        "2024-01-02 03:04:60", "2024-01-02 03:04:05.1234567", "2024-01-02 03:04.5", "2024-01-02 03:04+15",
        "2024-01-02 03:04+05:60", "2024-01-02 03:04+05:", "2024-01-02  03:04", "2024-01-02t03:04",
        "2024-01-02 03:04Zx", "2024-01-02 3:04", "yes", "tru", "truex"};
    for (const char* value : values)
        for (DatabaseKind database : kDatabases)
            EXPECT_EQ(TypeFor(Guess({value}), database), "TEXT") << value;
}

TEST(ValueGuessGuesser, ColumnsGrowWithRecords)
{
    TypeGuesser guesser;
    const std::vector<std::vector<std::string_view>> records = {{"1", "a"}, {"2", "b", "2024-01-02"}, {"3"}};
    for (const auto& record : records)
        guesser.Observe(record);
    EXPECT_EQ(guesser.Columns().size(), 3u);
    EXPECT_EQ(TypesFor(guesser, Postgres, 4), (std::vector<std::string>{"INTEGER", "TEXT", "DATE", "TEXT"}));
    EXPECT_EQ(TypesFor(guesser, Sqlite, 1), (std::vector<std::string>{"INTEGER"}));
    // A field written as "" is the empty text, which no number column takes; an empty field is NULL.
    TypeGuesser quoted;
    quoted.Observe(std::vector<std::string_view>{"", std::string_view(kQuotedEmpty, 0)});
    quoted.Observe(std::vector<std::string_view>{"5", "6"});
    EXPECT_EQ(TypesFor(quoted, Postgres, 2), (std::vector<std::string>{"INTEGER", "TEXT"}));
}

// Dates in another form than ISO: one form per column, never mixed with ISO ones, or the one named.
TEST(ValueGuessGuesser, DatesInOtherForms)
{
    TypeGuesser guesser;
    const std::vector<std::vector<std::string_view>> records = {
        {"01.02.2024", "2024-01-02", "Jan 1 2000 10:00 PM", "01.02.2024"},
        {"31.12.1999", "02.01.2024", "Feb 29 2000 9:15:30 AM", "2024-01-02"}};
    for (const auto& record : records)
        guesser.Observe(record);
    EXPECT_EQ(TypesFor(guesser, Postgres, 4), (std::vector<std::string>{"DATE", "TEXT", "TIMESTAMP", "TEXT"}));
    EXPECT_EQ(TypesFor(guesser, Mariadb, 3), (std::vector<std::string>{"DATE", "TEXT", "DATETIME(6)"}));
    const auto& columns = guesser.Columns();
    EXPECT_EQ(ShownType(columns[0], "TEXT"), "TEXT (DD.MM.YYYY)");
    EXPECT_FALSE(columns[1].DateFormOf());
    EXPECT_EQ(DateFormName(*columns[2].DateFormOf()), "MON D YYYY HH:MM:SS AM/PM");
    EXPECT_EQ(DatesNote(guesser, {"born", "x", "seen", "y"}),
              "Dates: born as DD.MM.YYYY, seen as MON D YYYY HH:MM:SS AM/PM; sent in ISO form.");

    TypeGuesser iso;
    iso.Observe(std::vector<std::string_view>{"2024-01-02 03:04"});
    EXPECT_TRUE(iso.Columns()[0].DateFormOf()->Iso());
    EXPECT_EQ(ShownType(iso.Columns()[0], "TIMESTAMP"), "TIMESTAMP");
    EXPECT_EQ(DatesNote(iso, {"a"}), "");

    TypeGuesser named(DecimalMark::Point, ParseDateFormat("MM/DD/YYYY"));
    for (const auto& record : std::vector<std::vector<std::string_view>>{{"02/03/2024", "02.03.2024", "2024-02-03"},
                                                                        {"12/31/2024", "31.12.2024", "2024-12-31"}})
        named.Observe(record);
    EXPECT_EQ(TypesFor(named, Postgres, 3), (std::vector<std::string>{"DATE", "TEXT", "DATE"}));
    EXPECT_EQ(named.Columns()[0].DateFormOf(), ParseDateFormat("MM/DD/YYYY"));
}

// Decimal commas: named, or guessed per column where the separator is not a comma and no comma could
// group thousands; each sent with a point.
TEST(ValueGuessMarks, DecimalCommas)
{
    struct Case {
        const char* name;
        DecimalMark mark;
        Values values;
        std::string postgres;
        Values sent;  // as a NUMERIC column's values go
    } cases[] = {
        {"Guessed", DecimalMark::Either, {"1,5", "-0,25", "7"}, "DOUBLE PRECISION", {"1.5", "-0.25", "7"}},
        {"Money", DecimalMark::Either, {"6580,70", ",10"}, "NUMERIC(6,2)", {"6580.70", "0.10"}},
        {"MayGroupThousands", DecimalMark::Either, {"1,500", "2,250"}, "TEXT", {"1,500", "2,250"}},
        {"NamedTakesThreePlaces", DecimalMark::Comma, {"1,500", "2,250"}, "NUMERIC(4,3)", {"1.500", "2.250"}},
        {"BothMarks", DecimalMark::Either, {"1,5", "2.5"}, "TEXT", {}},
        {"PointWhenCommaNamed", DecimalMark::Comma, {"2.5"}, "TEXT", {}},
        {"CommaSeparatedFile", DecimalMark::Point, {"1,5"}, "TEXT", {}},
    };
    for (const Case& c : cases) {
        TypeGuesser guesser(c.mark);
        for (const auto& value : c.values)
            guesser.Observe(std::vector<std::string_view>{value});
        EXPECT_EQ(TypesFor(guesser, Postgres, 1).front(), c.postgres) << c.name;
        if (c.sent.empty())
            continue;
        ValueStage stage({{}, false, c.mark == DecimalMark::Comma}, RewritesFor({"NUMERIC"}, &guesser, {}));
        for (std::size_t i = 0; i < c.values.size(); ++i)
            EXPECT_EQ(stage.Apply({c.values[i]}, {}).front(), c.sent[i]) << c.name;
    }
}

// Trimming and markers come before the guess: " 42 " is an integer, "NA" among numbers NULL; quoted
// fields keep their spaces and are never NULL.
TEST(ValueGuessMarks, TrimmedAndMarkedValues)
{
    ValueStage stage({{"NA", "-"}, true, false});
    const std::vector<std::string_view> fields{" 42 ", "\t7", "NA", " - ", " NA ", "", "x y "};
    const std::vector<char> quoted{0, 0, 0, 0, 1, 0, 0};
    const auto& sent = stage.Apply(fields, quoted);
    EXPECT_EQ(sent, (std::vector<std::string_view>{"42", "7", "", "", " NA ", "", "x y"}));
    EXPECT_TRUE(sent[2].empty() && !IsQuotedEmpty(sent[2]) && sent[2].data() != nullptr);
    EXPECT_EQ(ChangesText(stage.Changed()), "2 values NULL by their markers, 4 values trimmed");
    TypeGuesser guesser;
    guesser.Observe(std::vector<std::string_view>{sent[0], sent[2]});
    guesser.Observe(std::vector<std::string_view>{sent[1], sent[3]});
    EXPECT_EQ(TypesFor(guesser, Postgres, 2), (std::vector<std::string>{"INTEGER", "TEXT"}));
    // Nothing asked: the same fields, untouched.
    ValueStage none;
    EXPECT_EQ(&none.Apply(fields, quoted), &fields);
}

}  // namespace
}  // namespace qb
