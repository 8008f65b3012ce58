#include "schema/ValueGuess.h"

#include "read/Records.h"
#include "schema/TypeLimits.h"

#include <algorithm>

namespace qb {
namespace {

using enum ColumnGuess::Kind;
constexpr std::uint8_t kNumbers = kInteger | kDecimal;
constexpr std::uint8_t kTimes = kDate | kTimestamp;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits within a limit of the same width compare as text.
bool AtMost(std::string_view digits, std::string_view limit)
{
    return digits.size() < limit.size() || (digits.size() == limit.size() && digits <= limit);
}

// What the guess keeps of a number's text.
struct Number {
    std::string_view integer;  // the digits before the mark
    long long integerDigits = 0;  // with the exponent applied, and the scale likewise
    long long scale = 0;
    std::size_t places = 0;  // digits after the mark as written
    char mark = 0;           // '.' or ',' where the number has one
    bool negative = false;
    bool pointOrExponent = false;
    bool exponent = false;
    bool roundTrips = false;
};

// [+-]digits[(.|,)digits][(e|E)[+-]d{1,3}], or [+-](.|,)digits[...]: no
// leading zero but a lone one before the mark, no sign on a zero, and
// nothing else. Which marks count is the column's choice.
bool ReadNumber(std::string_view v, Number& n, DecimalMark marks)
{
    const bool signedValue = v[0] == '+' || v[0] == '-';
    n.negative = v[0] == '-';
    std::size_t i = signedValue ? 1 : 0;
    const std::size_t start = i;
    while (i < v.size() && IsDigit(v[i]))
        ++i;
    n.integer = v.substr(start, i - start);
    if (n.integer.size() > 1 && n.integer[0] == '0')
        return false;
    std::string_view fraction;
    if (i < v.size() && (v[i] == '.' || v[i] == ',')) {
        n.mark = v[i];
        if ((n.mark == '.' && marks == DecimalMark::Comma) || (n.mark == ',' && marks == DecimalMark::Point))
            return false;
        const std::size_t from = ++i;
        while (i < v.size() && IsDigit(v[i]))
            ++i;
        fraction = v.substr(from, i - from);
        if (fraction.empty())
            return false;
        n.places = fraction.size();
        n.pointOrExponent = true;
    }
    if (n.integer.empty() && fraction.empty())
        return false;
    long exponent = 0;
    if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
        const bool negative = ++i < v.size() && v[i] == '-';
        if (i < v.size() && (v[i] == '+' || v[i] == '-'))
            ++i;
        const std::size_t from = i;
        for (; i < v.size() && IsDigit(v[i]) && i - from < 3; ++i)
            exponent = exponent * 10 + (v[i] - '0');
        if (i == from)
            return false;
        exponent = negative ? -exponent : exponent;
        n.pointOrExponent = n.exponent = true;
    }
    if (i != v.size())
        return false;

    // Where the first non-zero digit stands, and how many run from it.
    long power = static_cast<long>(n.integer.size()) - 1;
    std::size_t significant = n.integer.size() + fraction.size();
    if (n.integer.empty() || n.integer[0] == '0') {
        const std::size_t at = fraction.find_first_not_of('0');
        if (at == std::string_view::npos) {
            significant = 0;  // zero
        } else {
            power = -static_cast<long>(at) - 1;
            significant = fraction.size() - at;
        }
    }
    if (significant == 0 && signedValue)
        return false;
    power += exponent;
    n.roundTrips = significant == 0 || (significant <= kDoubleDigits && power >= kDoubleLowestPower &&
                                        power <= kDoubleHighestPower);
    n.integerDigits = std::max<long long>(0, static_cast<long long>(n.integer.size()) + exponent);
    n.scale = std::max<long long>(0, static_cast<long long>(fraction.size()) - exponent);
    return true;
}

// Two digits at at, as a number no more than most; -1 otherwise.
int TwoDigits(std::string_view v, std::size_t at, int most)
{
    if (at + 2 > v.size() || !IsDigit(v[at]) || !IsDigit(v[at + 1]))
        return -1;
    const int n = (v[at] - '0') * 10 + (v[at + 1] - '0');
    return n <= most ? n : -1;
}

// YYYY-MM-DD at the start of v (at least ten bytes), a real day of the years 1000 to 9999.
bool ReadDate(std::string_view v)
{
    if (!IsDigit(v[0]) || v[0] == '0' || !IsDigit(v[1]) || !IsDigit(v[2]) || !IsDigit(v[3]) || v[4] != '-' ||
        v[7] != '-')
        return false;
    const int year = (v[0] - '0') * 1000 + (v[1] - '0') * 100 + (v[2] - '0') * 10 + (v[3] - '0');
    const int month = TwoDigits(v, 5, 12);
    const int day = TwoDigits(v, 8, 31);
    if (month < 1 || day < 1)
        return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// After the date: (T| )HH:MM[:SS[.f{1,6}]][Z|±HH[[:]MM]]. A fraction only
// after seconds: PostgreSQL reads HH:MM.f as minutes and seconds.
bool ReadTime(std::string_view v, bool& zoned)
{
    if (v.size() < 16 || (v[10] != 'T' && v[10] != ' ') || TwoDigits(v, 11, 23) < 0 || v[13] != ':' ||
        TwoDigits(v, 14, 59) < 0)
        return false;
    std::size_t i = 16;
    if (i < v.size() && v[i] == ':') {
        if (TwoDigits(v, i + 1, 59) < 0)
            return false;
        i += 3;
        if (i < v.size() && v[i] == '.') {
            const std::size_t from = ++i;
            while (i < v.size() && IsDigit(v[i]))
                ++i;
            if (i == from || i - from > 6)
                return false;
        }
    }
    zoned = i < v.size();
    if (!zoned)
        return true;
    if (v[i] == 'Z')
        return i + 1 == v.size();
    if ((v[i] != '+' && v[i] != '-') || TwoDigits(v, i + 1, 14) < 0)
        return false;
    i += 3;
    if (i == v.size())
        return true;
    if (v[i] == ':')
        ++i;
    return TwoDigits(v, i, 59) >= 0 && i + 2 == v.size();
}

// true or false, in any letter case.
bool IsBoolean(std::string_view v)
{
    const auto is = [v](std::string_view word) {
        if (v.size() != word.size())
            return false;
        for (std::size_t i = 0; i < v.size(); ++i)
            if ((v[i] | 0x20) != word[i])
                return false;
        return true;
    };
    return is("true") || is("false");
}

}  // namespace

void ColumnGuess::ObserveEmptyText()
{
    m_found.kinds = kText;
}

void ColumnGuess::Observe(std::string_view value)
{
    Findings& found = m_found;
    found.longest = std::max(found.longest, value.size());
    if (value.size() > kMariadbTextBytes)
        found.longText = true;
    if (value.empty() || found.kinds == kText)
        return;
    std::uint8_t kind = kText;
    Number number;
    bool zoned = false;
    const char first = value[0];
    if (value.size() >= 10 && value[4] == '-' && IsDigit(first)) {
        if (ReadDate(value))
            kind = value.size() == 10 ? kDate : ReadTime(value, zoned) ? kTimestamp : kText;
    } else if (IsDigit(first) || first == '+' || first == '-' || first == '.' || first == ',') {
        if (ReadNumber(value, number, m_mark))
            kind = number.pointOrExponent ? kDecimal : kInteger;
    } else if (IsBoolean(value)) {
        kind = kBoolean;
    }
    // Dates all in ISO form or all in one other; a mix of the two is text.
    if (kind & kTimes) {
        m_isoDates = true;
        if (m_otherDates)
            kind = kText;
    } else if (kind == kText && !m_isoDates) {
        m_dates.Observe(value);
        if (!m_dates.Failed()) {
            m_otherDates = true;
            kind = m_dates.Timed() ? kTimestamp : kDate;
        }
    }

    // Integers join decimals and dates join timestamps; any other mix is text.
    const std::uint8_t kinds = found.kinds | kind;
    if ((kinds & ~kNumbers) != 0 && (kinds & ~kTimes) != 0 && kinds != kBoolean) {
        found.kinds = kText;
        return;
    }
    found.kinds = kinds;
    if (kind & kNumbers) {
        // A column's numbers share one decimal mark.
        (number.mark == ',' ? found.commaMark : found.pointMark) |= number.mark != 0;
        if (found.commaMark && found.pointMark) {
            found.kinds = kText;
            return;
        }
        // "1,500" may be a thousand written in groups: a comma column needs one
        // that cannot be, unless commas were named the mark.
        found.commaClear |= number.mark == ',' && (m_mark == DecimalMark::Comma || number.places != 3 ||
                                                   number.integer.empty() || number.integer == "0");
        found.bareFraction |= number.integer.empty();
        found.varyingPlaces |= number.exponent || (found.numberSeen && number.places != found.places);
        if (!found.numberSeen)
            found.places = number.places;
        found.numberSeen = true;
        found.exponent = found.exponent || number.exponent;
        found.inexact = found.inexact || !number.roundTrips;
        found.integerDigits = std::max(found.integerDigits, static_cast<std::size_t>(number.integerDigits));
        found.scale = std::max(found.scale, static_cast<std::size_t>(number.scale));
        if (kind == kInteger) {
            const bool negative = number.negative;
            found.beyondInt32 = found.beyondInt32 || !AtMost(number.integer, negative ? "2147483648" : "2147483647");
            found.beyondInt64 =
                found.beyondInt64 || !AtMost(number.integer, negative ? "9223372036854775808" : "9223372036854775807");
        }
    } else if (kind == kTimestamp) {
        (zoned ? found.zoned : found.unzoned) = true;
    }
}

std::optional<DateForm> ColumnGuess::DateFormOf() const
{
    if (m_found.kinds == 0 || (m_found.kinds & ~kTimes) != 0)
        return std::nullopt;
    if (m_otherDates)
        return m_dates.Form();
    DateForm iso;
    iso.time = (m_found.kinds & kTimestamp) != 0;
    return iso;
}

void TypeGuesser::Observe(std::span<const std::string_view> fields)
{
    if (fields.size() > m_columns.size())
        m_columns.resize(fields.size(), ColumnGuess(m_mark, m_dates));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (IsQuotedEmpty(fields[i]))
            m_columns[i].ObserveEmptyText();
        else
            m_columns[i].Observe(fields[i]);
    }
}

std::string DatesNote(const TypeGuesser& guesser, const std::vector<std::string>& names)
{
    std::string note;
    const auto& columns = guesser.Columns();
    for (std::size_t i = 0; i < columns.size() && i < names.size(); ++i) {
        const std::optional<DateForm> form = columns[i].DateFormOf();
        if (!form || form->Iso() || names[i].empty())
            continue;
        note += (note.empty() ? "Dates: " : ", ") + names[i] + " as " + DateFormName(*form);
        if (columns[i].Dates().OrderFromLocale())
            note += " (no day over 12: day and month in the locale's order)";
    }
    return note.empty() ? note : note + "; sent in ISO form.";
}

std::string ShownType(const ColumnGuess& guess, const std::string& type)
{
    const std::optional<DateForm> form = guess.DateFormOf();
    return form && !form->Iso() ? type + " (" + DateFormName(*form) + ")" : type;
}

}  // namespace qb
