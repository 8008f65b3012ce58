#include "schema/DateForms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qb {
namespace {

using Order = DateForm::Order;

struct LearnCase {
    const char* name;
    std::vector<std::string> values;
    std::string form;  // as DateFormName gives it; empty: no form
    bool fromLocale = false;
    std::string firstIso = {};  // the first value in ISO form
};

void PrintTo(const LearnCase& c, std::ostream* out)
{
    *out << c.name;
}

class DateFormsLearn : public testing::TestWithParam<LearnCase> {};

// The form learnt over a column, with the day first where the values leave it to the locale; every
// value then goes into ISO form.
TEST_P(DateFormsLearn, FormOverTheColumn)
{
    const LearnCase& c = GetParam();
    DateLearning learning(Order::DayMonthYear);
    for (const auto& value : c.values)
        learning.Observe(value);
    const std::optional<DateForm> form = learning.Form();
    ASSERT_EQ(form ? DateFormName(*form) : "", c.form);
    if (!form)
        return;
    EXPECT_EQ(learning.OrderFromLocale(), c.fromLocale);
    std::string first;
    EXPECT_TRUE(AppendIso(c.values[0], *form, first));
    EXPECT_EQ(first, c.firstIso);
    for (const auto& value : c.values) {
        std::string iso = "x";
        EXPECT_TRUE(AppendIso(value, *form, iso)) << value;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Columns, DateFormsLearn,
    testing::Values(
        LearnCase{"Dots", {"01.02.2024", "1.2.2024", "31.12.1999"}, "DD.MM.YYYY", false, "2024-02-01"},
        LearnCase{"DayOver12SettlesDayFirst", {"02/03/2024", "13/01/2024"}, "DD/MM/YYYY", false, "2024-03-02"},
        LearnCase{"DayOver12SettlesMonthFirst", {"02-03-2024", "01-13-2024"}, "MM-DD-YYYY", false, "2024-02-03"},
        LearnCase{"NothingSettlesTheOrder", {"02/03/2024", "04/05/2024"}, "DD/MM/YYYY", true, "2024-03-02"},
        LearnCase{"BothOrdersSettled", {"13/01/2024", "01/13/2024"}, ""},
        LearnCase{"AprilHas30DaysEitherWay", {"04/31/2024", "31/04/2024"}, ""},
        LearnCase{"YearFirstWithSlashes", {"2015/01/01 01:00:00", "2015/12/31 23:59"}, "YYYY/MM/DD HH:MM:SS", false,
                  "2015-01-01 01:00:00"},
        LearnCase{"MonthNamedFirst", {"Jan 1 2000", "February 29, 2000", "SEPTEMBER 9 2001", "may 31 2000"},
                  "MON D YYYY", false, "2000-01-01"},
        LearnCase{"MonthNamedSecond", {"1 January 2000", "31 Dec 1999"}, "DD MON YYYY", false, "2000-01-01"},
        LearnCase{"MonthNamedWithDashes", {"01-Jan-2000 13:05"}, "DD-MON-YYYY HH:MM", false, "2000-01-01 13:05:00"},
        LearnCase{"TwelveHour", {"2/1/2024 12:05 AM", "2/13/2024 1:30:15PM", "2/1/2024 12:00 pm"},
                  "MM/DD/YYYY HH:MM:SS AM/PM", false, "2024-02-01 00:05:00"},
        LearnCase{"SecondsAndTheirFraction", {"01.02.2024 10:00:00.123", "01.02.2024 9:59"}, "DD.MM.YYYY HH:MM:SS",
                  false, "2024-02-01 10:00:00.123"},
        LearnCase{"LeapDay", {"29.02.2024", "29.02.2000"}, "DD.MM.YYYY", false, "2024-02-29"},
        LearnCase{"NotALeapYear", {"29.02.2023"}, ""},
        LearnCase{"NotALeapCentury", {"29.02.1900"}, ""},
        LearnCase{"FormsMixed", {"01.02.2024", "01/02/2024"}, ""},
        LearnCase{"TimeOnlySometimes", {"01.02.2024", "01.02.2024 10:00"}, ""},
        LearnCase{"TwelveHourOnlySometimes", {"01/02/2024 10:00", "01/02/2024 10:00 AM"}, ""},
        LearnCase{"TwoDigitYear", {"01.02.24"}, ""},
        LearnCase{"YearBefore1000", {"01.02.0999"}, ""},
        LearnCase{"IsoIsTheGuessOwn", {"2024-1-5"}, ""},
        LearnCase{"HourPast23", {"01.02.2024 24:00"}, ""},
        LearnCase{"AfternoonHourWithPm", {"01.02.2024 13:00 PM"}, ""},
        LearnCase{"HourZeroWithAm", {"01.02.2024 0:00 AM"}, ""},
        LearnCase{"OneDigitMinute", {"01.02.2024 10:5"}, ""},
        LearnCase{"Zoned", {"01.02.2024 10:00+01"}, ""},
        LearnCase{"NoSuchMonth", {"Janu 1 2000"}, ""},
        LearnCase{"MonthDayOutOfRange", {"Feb 30 2000"}, ""},
        LearnCase{"ThreeDigitPart", {"001.02.2024"}, ""},
        LearnCase{"TrailingSpace", {"01.02.2024 "}, ""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(DateForms, NamedFormsAndTheirNames)
{
    const std::pair<const char*, const char*> known[] = {
        {"DD.MM.YYYY", "DD.MM.YYYY"},
        {"mm/dd/yyyy hh:mm", "MM/DD/YYYY HH:MM"},
        {"D/M/YYYY H:MM:SS AM/PM", "DD/MM/YYYY HH:MM:SS AM/PM"},
        {"MON D, YYYY", "MON D YYYY"},
        {"D MONTH YYYY", "DD MON YYYY"},
        {"DD-MON-YYYY", "DD-MON-YYYY"},
        {"YYYY/MM/DD", "YYYY/MM/DD"},
        {"YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM"},
    };
    for (const auto& [text, name] : known) {
        const std::optional<DateForm> form = ParseDateFormat(text);
        ASSERT_TRUE(form) << text;
        EXPECT_EQ(DateFormName(*form), name);
        EXPECT_EQ(ParseDateFormat(name), form) << name;
    }
    EXPECT_TRUE(ParseDateFormat("YYYY-MM-DD")->Iso());
    for (const char* bad : {"", "DD.MM.YY", "DD/MM", "MON/D/YYYY", "DD.MM.YYYY HH", "YYYY-MM-DD HH:MM AM",
                            "DD.MM.YYYY AM", "DD.MM.YYYY HH:MM XM", "YYYY.DD.MM", "DD MM YYYY"})
        EXPECT_FALSE(ParseDateFormat(bad)) << bad;
}

// A named form decides the order, however the values would settle it; a value not in it is refused
// and leaves out unchanged.
TEST(DateForms, NamedFormDecides)
{
    const DateForm monthFirst = *ParseDateFormat("MM/DD/YYYY");
    DateLearning named = DateLearning::Named(monthFirst);
    named.Observe("02/03/2024");
    EXPECT_EQ(named.Form(), monthFirst);
    EXPECT_FALSE(named.OrderFromLocale());
    named.Observe("13/01/2024");
    EXPECT_FALSE(named.Form());

    std::string out = "x";
    EXPECT_TRUE(AppendIso("02/03/2024", monthFirst, out));
    EXPECT_EQ(out, "x2024-02-03");
    for (const char* refused : {"13/01/2024", "02.03.2024", "02/03/2024 10:00", "2024-02-03", "", "02/03/2024x"}) {
        EXPECT_FALSE(AppendIso(refused, monthFirst, out)) << refused;
        EXPECT_EQ(out, "x2024-02-03");
    }
    // ISO dates stay the guess's own: a named ISO form learns nothing looser.
    DateLearning iso = DateLearning::Named(DateForm{});
    iso.Observe("2024-1-5");
    EXPECT_FALSE(iso.Form());
}

TEST(DateForms, LocaleOrder)
{
    EXPECT_EQ(DayMonthOrderOf("%d/%m/%Y"), Order::DayMonthYear);
    EXPECT_EQ(DayMonthOrderOf("%-d.%-m.%Y"), Order::DayMonthYear);
    EXPECT_EQ(DayMonthOrderOf("%e %b %Y"), Order::DayMonthYear);
    EXPECT_EQ(DayMonthOrderOf("%m/%d/%y"), Order::MonthDayYear);
    EXPECT_EQ(DayMonthOrderOf("%D"), Order::MonthDayYear);
    EXPECT_EQ(DayMonthOrderOf("%Y-%m-%d"), Order::MonthDayYear);
    EXPECT_EQ(DayMonthOrderOf(""), Order::MonthDayYear);
    DateLearning monthFirst(Order::MonthDayYear);
    monthFirst.Observe("02/03/2024");
    EXPECT_EQ(monthFirst.Form()->order, Order::MonthDayYear);
}

}  // namespace
}  // namespace qb
