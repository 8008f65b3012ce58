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

    // Written as every database reads it already: its values go as they are.
    bool Iso() const { return order == Order::YearMonthDay && separator == '-' && !monthName; }
    bool operator==(const DateForm&) const = default;
};

// Learns, value by value, the one form every non-empty value of a column is written in.
class DateLearning {
public:
    void Observe(std::string_view value);
    // The form every value observed parses in; none when one does not, or none was seen.
    std::optional<DateForm> Form() const;
    // No value settled the order of day and month (none over 12): the locale's order was taken.
    bool OrderFromLocale() const;

private:
    bool m_seen = false;
    bool m_failed = false;
};

// Appends the value, written in form, to out as ISO 8601 ("2024-02-01", "2024-02-01 13:05:00"); false,
// out unchanged, when it does not parse in that form.
bool AppendIso(std::string_view value, const DateForm& form, std::string& out);

// A form as the command line names it (--date-format), e.g. "DD.MM.YYYY" or "MM/DD/YYYY HH:MM"; none
// when the text names no form. DateFormName gives such a name back, for the log and the dry run.
std::optional<DateForm> ParseDateFormat(std::string_view text);
std::string DateFormName(const DateForm& form);

}  // namespace qb
