#include "schema/DateForms.h"

#include <langinfo.h>
#include <locale.h>

namespace qb {
namespace {

using Order = DateForm::Order;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c;
}

bool IsLetter(char c)
{
    return Lower(c) >= 'a' && Lower(c) <= 'z';
}

// What one value holds, before the order of its day and month is known.
struct Reading {
    int parts[2] = {};  // numbers alone: the day and the month as written; a named month's day first
    int year = 0;
    int month = 0;      // a named month's number
    char separator = 0;
    bool yearFirst = false;
    bool monthName = false;
    bool nameFirst = false;
    bool time = false;
    bool seconds = false;
    bool twelveHour = false;
    bool pm = false;
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::string_view fraction;
};

struct Cursor {
    std::string_view v;
    std::size_t i = 0;

    bool End() const { return i == v.size(); }
    bool Take(char c)
    {
        if (i < v.size() && v[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    // From least to most digits, as a number; -1 when fewer.
    int Digits(std::size_t least, std::size_t most)
    {
        const std::size_t from = i;
        int n = 0;
        while (i < v.size() && IsDigit(v[i]) && i - from < most)
            n = n * 10 + (v[i++] - '0');
        return i - from < least ? -1 : n;
    }
    // Four digits, the years 1000 to 9999.
    int Year()
    {
        const std::size_t from = i;
        const int year = Digits(4, 4);
        return year >= 0 && v[from] != '0' ? year : -1;
    }
    // An English month's name, in full or its first three letters, in any letter case; 0 otherwise.
    int Month()
    {
        static constexpr std::string_view kMonths[] = {"january", "february", "march",     "april",
                                                       "may",     "june",     "july",      "august",
                                                       "september", "october", "november", "december"};
        const std::size_t from = i;
        while (i < v.size() && IsLetter(v[i]))
            ++i;
        const std::string_view word = v.substr(from, i - from);
        for (int m = 0; m < 12; ++m) {
            const std::string_view name = kMonths[m];
            if (word.size() != 3 && word.size() != name.size())
                continue;
            std::size_t k = 0;
            while (k < word.size() && Lower(word[k]) == name[k])
                ++k;
            if (k == word.size())
                return m + 1;
        }
        return 0;
    }
};

// H:MM or HH:MM, then perhaps :SS and a fraction of up to six digits, then perhaps AM or PM.
bool ReadTime(Cursor& c, Reading& r)
{
    r.time = true;
    r.hour = c.Digits(1, 2);
    if (r.hour < 0 || !c.Take(':'))
        return false;
    r.minute = c.Digits(2, 2);
    if (r.minute < 0 || r.minute > 59)
        return false;
    if (c.Take(':')) {
        r.second = c.Digits(2, 2);
        if (r.second < 0 || r.second > 59)
            return false;
        r.seconds = true;
        if (c.Take('.')) {
            const std::size_t from = c.i;
            if (c.Digits(1, 6) < 0)
                return false;
            r.fraction = c.v.substr(from, c.i - from);
        }
    }
    const std::size_t before = c.i;
    c.Take(' ');
    if (c.i + 2 == c.v.size() && (Lower(c.v[c.i]) == 'a' || Lower(c.v[c.i]) == 'p') && Lower(c.v[c.i + 1]) == 'm') {
        r.twelveHour = true;
        r.pm = Lower(c.v[c.i]) == 'p';
        c.i += 2;
    } else {
        c.i = before;
    }
    return c.End() && (r.twelveHour ? r.hour >= 1 && r.hour <= 12 : r.hour <= 23);
}

// "Jan 1 2000", "January 1, 2000", "1 Jan 2000", "01-Jan-2000", "2000/01/31", "31.01.2000", "1/31/2000",
// each perhaps followed by a space and a time.
bool Read(std::string_view value, Reading& r)
{
    Cursor c{value};
    if (value.empty())
        return false;
    if (IsLetter(value[0])) {
        r.monthName = r.nameFirst = true;
        r.separator = ' ';
        r.month = c.Month();
        if (r.month == 0 || !c.Take(' ') || (r.parts[0] = c.Digits(1, 2)) < 0)
            return false;
        c.Take(',');
        if (!c.Take(' '))
            return false;
    } else {
        const std::size_t from = c.i;
        const int first = c.Digits(1, 4);
        const std::size_t width = c.i - from;
        if (first < 0 || c.End() || width == 3)
            return false;
        const char separator = r.separator = value[c.i++];
        if (c.i < value.size() && IsLetter(value[c.i])) {
            r.monthName = true;
            r.parts[0] = first;
            if ((separator != ' ' && separator != '-') || width > 2 || (r.month = c.Month()) == 0)
                return false;
        } else {
            if (separator != '-' && separator != '/' && separator != '.')
                return false;
            r.yearFirst = width == 4;
            if (r.yearFirst && value[from] == '0')
                return false;
            (r.yearFirst ? r.year : r.parts[0]) = first;
            r.parts[r.yearFirst ? 0 : 1] = c.Digits(1, 2);
            if (r.parts[r.yearFirst ? 0 : 1] < 0)
                return false;
            if (r.yearFirst) {
                if (!c.Take(separator) || (r.parts[1] = c.Digits(1, 2)) < 0)
                    return false;
                return c.End() || (c.Take(' ') && ReadTime(c, r));
            }
        }
        if (!c.Take(separator))
            return false;
    }
    if ((r.year = c.Year()) < 0)
        return false;
    return c.End() || (c.Take(' ') && ReadTime(c, r));
}

bool RealDay(int year, int month, int day)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// The day and the month of r with that order, when they make a real day.
bool DayAndMonth(const Reading& r, Order order, int& day, int& month)
{
    if (r.monthName) {
        day = r.parts[0];
        month = r.month;
    } else if (r.yearFirst || order == Order::MonthDayYear) {
        month = r.parts[0];
        day = r.parts[1];
    } else {
        day = r.parts[0];
        month = r.parts[1];
    }
    return RealDay(r.year, month, day);
}

// Numbers alone with the day or the month first: which, the values decide.
bool Undecided(const Reading& r)
{
    return !r.yearFirst && !r.monthName;
}

DateForm ShapeOf(const Reading& r)
{
    DateForm form;
    form.order = r.yearFirst ? Order::YearMonthDay : r.nameFirst ? Order::MonthDayYear : Order::DayMonthYear;
    form.separator = r.separator;
    form.monthName = r.monthName;
    form.time = r.time;
    form.twelveHour = r.twelveHour;
    form.seconds = r.seconds;
    return form;
}

// Whether r is written in form, seconds or not.
bool Fits(const Reading& r, const DateForm& form)
{
    DateForm shape = ShapeOf(r);
    shape.seconds = form.seconds;
    if (Undecided(r) && form.order != Order::YearMonthDay)
        shape.order = form.order;
    return shape == form;
}

Order EnvironmentOrder()
{
    static const Order order = [] {
        locale_t locale = newlocale(LC_TIME_MASK, "", locale_t(0));
        const Order found = DayMonthOrderOf(locale ? nl_langinfo_l(D_FMT, locale) : "%m/%d/%y");
        if (locale)
            freelocale(locale);
        return found;
    }();
    return order;
}

char* Put(char* at, int n, int width)
{
    for (int k = width - 1; k >= 0; --k, n /= 10)
        at[k] = static_cast<char>('0' + n % 10);
    return at + width;
}

}  // namespace

DateForm::Order DayMonthOrderOf(std::string_view format)
{
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        // Flags and a width may come between the % and its letter.
        while (i + 1 < format.size() && std::string_view("-_0^#123456789").find(format[i + 1]) != std::string_view::npos)
            ++i;
        if (i + 1 >= format.size())
            break;
        const char letter = format[++i];
        if (letter == 'd' || letter == 'e')
            return Order::DayMonthYear;
        if (letter == 'm' || letter == 'D' || letter == 'b' || letter == 'B')
            return Order::MonthDayYear;
    }
    return Order::MonthDayYear;
}

DateLearning DateLearning::Named(const DateForm& form)
{
    DateLearning learning;
    learning.m_named = true;
    learning.m_form = form;
    return learning;
}

void DateLearning::Observe(std::string_view value)
{
    if (value.empty() || m_failed)
        return;
    Reading r;
    int day = 0, month = 0;
    if (!Read(value, r)) {
        m_failed = true;
    } else if (m_named) {
        // ISO dates are the guess's own rules, stricter than these.
        m_failed = m_form.Iso() || !Fits(r, m_form) || !DayAndMonth(r, m_form.order, day, month);
    } else {
        DateForm shape = ShapeOf(r);
        shape.seconds = m_form.seconds;
        if (m_seen ? shape != m_form : shape.Iso()) {
            m_failed = true;
            return;
        }
        m_form = shape;
        m_form.seconds = m_form.seconds || r.seconds;
        if (Undecided(r)) {
            m_undecided = true;
            m_dayFirst = m_dayFirst && DayAndMonth(r, Order::DayMonthYear, day, month);
            // Dots are the day's, then the month's: no one writes the month first with them.
            m_monthFirst = m_monthFirst && r.separator != '.' && DayAndMonth(r, Order::MonthDayYear, day, month);
            m_failed = !m_dayFirst && !m_monthFirst;
        } else {
            m_failed = !DayAndMonth(r, m_form.order, day, month);
        }
    }
    m_seen = true;
}

std::optional<DateForm> DateLearning::Form() const
{
    if (!m_seen || m_failed)
        return std::nullopt;
    DateForm form = m_form;
    if (m_undecided && !m_named)
        form.order = !m_monthFirst                ? Order::DayMonthYear
                     : !m_dayFirst                ? Order::MonthDayYear
                     : m_localeOrder              ? *m_localeOrder
                                                  : EnvironmentOrder();
    return form;
}

bool DateLearning::OrderFromLocale() const
{
    return m_seen && !m_failed && !m_named && m_undecided && m_dayFirst && m_monthFirst;
}

bool AppendIso(std::string_view value, const DateForm& form, std::string& out)
{
    if (form.Iso()) {
        out.append(value);
        return true;
    }
    Reading r;
    int day = 0, month = 0;
    if (!Read(value, r) || !Fits(r, form) || !DayAndMonth(r, form.order, day, month))
        return false;
    char text[20];
    char* at = Put(text, r.year, 4);
    *at++ = '-';
    at = Put(at, month, 2);
    *at++ = '-';
    at = Put(at, day, 2);
    if (r.time) {
        // 12 AM is midnight, 12 PM noon.
        const int hour = r.twelveHour ? r.hour % 12 + (r.pm ? 12 : 0) : r.hour;
        *at++ = ' ';
        at = Put(at, hour, 2);
        *at++ = ':';
        at = Put(at, r.minute, 2);
        *at++ = ':';
        at = Put(at, r.second, 2);
    }
    out.append(text, static_cast<std::size_t>(at - text));
    if (!r.fraction.empty())
        out.append(".").append(r.fraction);
    return true;
}

namespace {

std::string_view Word(std::string_view& rest)
{
    const std::size_t end = rest.find(' ');
    const std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return word;
}

enum class Token { None, Year, Month, Day, Name };

Token TokenOf(std::string_view word)
{
    if (word == "YYYY")
        return Token::Year;
    if (word == "MM" || word == "M")
        return Token::Month;
    if (word == "DD" || word == "D")
        return Token::Day;
    if (word == "MON" || word == "MONTH" || word == "MMM")
        return Token::Name;
    return Token::None;
}

// The date's three parts, in the order written, as a form; false when they make none.
bool DateOf(Token a, Token b, Token c, char separator, DateForm& form)
{
    using enum Token;
    form.separator = separator;
    const bool spaced = separator == ' ';
    if (a == Year && b == Month && c == Day && !spaced)
        form.order = Order::YearMonthDay;
    else if (a == Day && b == Month && c == Year && !spaced)
        form.order = Order::DayMonthYear;
    else if (a == Month && b == Day && c == Year && !spaced)
        form.order = Order::MonthDayYear;
    else if (a == Day && b == Name && c == Year && (spaced || separator == '-'))
        form.order = Order::DayMonthYear;
    else if (a == Name && b == Day && c == Year && spaced)
        form.order = Order::MonthDayYear;
    else
        return false;
    form.monthName = b == Name || a == Name;
    return true;
}

}  // namespace

std::optional<DateForm> ParseDateFormat(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    std::string_view rest = upper;
    DateForm form;
    const std::string_view date = Word(rest);
    const std::size_t cut = date.find_first_of("-/.");
    if (cut != std::string_view::npos) {
        const char separator = date[cut];
        const std::size_t next = date.find(separator, cut + 1);
        if (next == std::string_view::npos ||
            !DateOf(TokenOf(date.substr(0, cut)), TokenOf(date.substr(cut + 1, next - cut - 1)),
                    TokenOf(date.substr(next + 1)), separator, form))
            return std::nullopt;
    } else {
        std::string_view second = Word(rest);
        if (second.ends_with(','))
            second.remove_suffix(1);
        const std::string_view third = Word(rest);
        if (!DateOf(TokenOf(date), TokenOf(second), TokenOf(third), ' ', form))
            return std::nullopt;
    }
    if (!rest.empty()) {
        const std::string_view time = Word(rest);
        form.time = true;
        form.seconds = time == "HH:MM:SS" || time == "H:MM:SS";
        if (!form.seconds && time != "HH:MM" && time != "H:MM")
            return std::nullopt;
    }
    if (!rest.empty()) {
        const std::string_view half = Word(rest);
        form.twelveHour = true;
        if ((half != "AM/PM" && half != "AM" && half != "PM") || !rest.empty() || form.Iso())
            return std::nullopt;
    }
    return form;
}

std::string DateFormName(const DateForm& form)
{
    const std::string s(1, form.separator);
    std::string name;
    if (form.monthName)
        name = form.order == Order::MonthDayYear ? "MON D YYYY" : "DD" + s + "MON" + s + "YYYY";
    else if (form.order == Order::YearMonthDay)
        name = "YYYY" + s + "MM" + s + "DD";
    else if (form.order == Order::DayMonthYear)
        name = "DD" + s + "MM" + s + "YYYY";
    else
        name = "MM" + s + "DD" + s + "YYYY";
    if (form.time)
        name += form.seconds ? " HH:MM:SS" : " HH:MM";
    if (form.time && form.twelveHour)
        name += " AM/PM";
    return name;
}

std::string KnownDateFormats()
{
    return "YYYY-MM-DD, YYYY/MM/DD, YYYY.MM.DD, DD.MM.YYYY, DD/MM/YYYY, MM/DD/YYYY, DD-MM-YYYY, MM-DD-YYYY, "
           "MON D YYYY, DD MON YYYY, DD-MON-YYYY; each may be followed by HH:MM or HH:MM:SS, and that by AM/PM";
}

}  // namespace qb
