#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

// How a column writes its dates and times: learnt over all its values, or named by the user.
struct DateForm {
    enum class Order : std::uint8_t { YearMonthDay, DayMonthYear, MonthDayYear };
    Order order = Order::YearMonthDay;
    char separator = '-';    // between the date's numbers: '-', '/' or '.'; ' ' where the month is named
    bool monthName = false;  // "Jan 1 2000", "1 January 2000"
    bool time = false;       // a time follows: the column is a TIMESTAMP, else a DATE
    bool twelveHour = false;  // the time's hour runs 1 to 12, followed by AM or PM
    bool seconds = false;     // a value gave seconds: said in the form's name; they may be left out all the same

    // Written as every database reads it already: its values go as they are.
    bool Iso() const { return order == Order::YearMonthDay && separator == '-' && !monthName; }
    bool operator==(const DateForm&) const = default;
};

// Learns, value by value, the one form every non-empty value of a column is written in.
// Years have four digits: "01.02.24" is no date, as no century can be told from it.
// ISO dates ("2024-02-01") are the type guess's own and are not learnt here.
class DateLearning {
public:
    // Day and month in the order of the environment's locale (LC_TIME), where no value settles it.
    DateLearning() = default;
    explicit DateLearning(DateForm::Order localeOrder) : m_localeOrder(localeOrder) {}
    // Every value must be in the form named; nothing is learnt.
    static DateLearning Named(const DateForm& form);

    void Observe(std::string_view value);
    // The form every value observed parses in; none when one does not, or none was seen.
    std::optional<DateForm> Form() const;
    // No value settled the order of day and month (none over 12): the locale's order was taken.
    bool OrderFromLocale() const;
    // A value seen did not parse in the form the others did: none will be a date.
    bool Failed() const { return m_failed; }
    // The values seen so far hold a time.
    bool Timed() const { return m_form.time; }

private:
    bool m_seen = false;
    bool m_failed = false;
    bool m_named = false;
    bool m_dayFirst = true;    // every day-or-month-first value reads as day, month, year
    bool m_monthFirst = true;  // and as month, day, year
    bool m_undecided = false;  // numbers alone, the day or the month first
    DateForm m_form;           // of the first value, or named
    std::optional<DateForm::Order> m_localeOrder;
};

// Appends the value, written in form, to out as ISO 8601 ("2024-02-01", "2024-02-01 13:05:00"); false,
// out unchanged, when it does not parse in that form. A value of an Iso() form is appended as it is.
bool AppendIso(std::string_view value, const DateForm& form, std::string& out);

// A form as the command line names it (--date-format), e.g. "DD.MM.YYYY" or "MM/DD/YYYY HH:MM"; none
// when the text names no form. DateFormName gives such a name back, for the log and the dry run.
std::optional<DateForm> ParseDateFormat(std::string_view text);
std::string DateFormName(const DateForm& form);
// The forms ParseDateFormat knows, for a message that names them.
std::string KnownDateFormats();

// The day and month order of a locale's date format (nl_langinfo(D_FMT), e.g. "%d/%m/%Y"): the month
// first unless the day comes before it.
DateForm::Order DayMonthOrderOf(std::string_view localeDateFormat);

}  // namespace qb
