#include "schema/ColumnTypes.h"

#include "read/Records.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <chrono>
#include <cmath>

namespace qb {
namespace {

enum Kind : std::uint8_t {
    kInteger = 1,
    kDecimal = 2,
    kDate = 4,
    kTimestamp = 8,
    kBoolean = 16,
    kText = 32,
};
constexpr std::uint8_t kNumbers = kInteger | kDecimal;
constexpr std::uint8_t kTimes = kDate | kTimestamp;

constexpr std::size_t kMariadbTextBytes = 65535;
// PostgreSQL's NUMERIC holds this many digits before the point and after it.
constexpr long long kNumericIntegerDigits = 131072;
constexpr long long kNumericScale = 16383;
// MariaDB's DECIMAL.
constexpr std::size_t kDecimalPrecision = 65;
constexpr std::size_t kDecimalScale = 38;
// A double gives back any text of this many significant digits whose first
// one stands between these powers of ten: normal numbers, clear of the largest.
constexpr std::size_t kDoubleDigits = 15;
constexpr long kDoubleLowestPower = -307;
constexpr long kDoubleHighestPower = 307;

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
    std::string_view integer;  // the digits before the point
    long long integerDigits = 0;  // with the exponent applied, and the scale likewise
    long long scale = 0;
    bool negative = false;
    bool pointOrExponent = false;
    bool exponent = false;
    bool roundTrips = false;
};

// [+-]digits[.digits][(e|E)[+-]d{1,3}]: no leading zero but a lone one
// before the point, no sign on a zero, and nothing else.
bool ReadNumber(std::string_view v, Number& n)
{
    const bool signedValue = v[0] == '+' || v[0] == '-';
    n.negative = v[0] == '-';
    std::size_t i = signedValue ? 1 : 0;
    const std::size_t start = i;
    while (i < v.size() && IsDigit(v[i]))
        ++i;
    n.integer = v.substr(start, i - start);
    if (n.integer.empty() || (n.integer[0] == '0' && n.integer.size() > 1))
        return false;
    std::string_view fraction;
    if (i < v.size() && v[i] == '.') {
        const std::size_t from = ++i;
        while (i < v.size() && IsDigit(v[i]))
            ++i;
        fraction = v.substr(from, i - from);
        if (fraction.empty())
            return false;
        n.pointOrExponent = true;
    }
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
    if (n.integer[0] == '0') {
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

std::string DecimalType(std::size_t precision, std::size_t scale)
{
    return "DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
}

}  // namespace

void ColumnGuess::ObserveEmptyText()
{
    m_kinds = kText;
}

void ColumnGuess::Observe(std::string_view value)
{
    if (value.size() > kMariadbTextBytes)
        m_long = true;
    if (value.empty() || m_kinds == kText)
        return;
    std::uint8_t kind = kText;
    Number number;
    bool zoned = false;
    const char first = value[0];
    if (value.size() >= 10 && value[4] == '-' && IsDigit(first)) {
        if (ReadDate(value))
            kind = value.size() == 10 ? kDate : ReadTime(value, zoned) ? kTimestamp : kText;
    } else if (IsDigit(first) || first == '+' || first == '-') {
        if (ReadNumber(value, number))
            kind = number.pointOrExponent ? kDecimal : kInteger;
    } else if (IsBoolean(value)) {
        kind = kBoolean;
    }

    // Integers join decimals and dates join timestamps; any other mix is text.
    const std::uint8_t kinds = m_kinds | kind;
    if ((kinds & ~kNumbers) != 0 && (kinds & ~kTimes) != 0 && kinds != kBoolean) {
        m_kinds = kText;
        return;
    }
    m_kinds = kinds;
    if (kind & kNumbers) {
        m_exponent = m_exponent || number.exponent;
        m_inexact = m_inexact || !number.roundTrips;
        m_integerDigits = std::max(m_integerDigits, static_cast<std::size_t>(number.integerDigits));
        m_scale = std::max(m_scale, static_cast<std::size_t>(number.scale));
        if (kind == kInteger) {
            m_beyondInt32 = m_beyondInt32 || !AtMost(number.integer, number.negative ? "2147483648" : "2147483647");
            m_beyondInt64 = m_beyondInt64 || !AtMost(number.integer, number.negative ? "9223372036854775808"
                                                                                     : "9223372036854775807");
        }
    } else if (kind == kTimestamp) {
        (zoned ? m_zoned : m_unzoned) = true;
    }
}

std::vector<std::string> TypeChoices(DatabaseKind database)
{
    switch (database) {
    case DatabaseKind::Sqlite:
        return {"TEXT", "INTEGER", "REAL", "NUMERIC"};
    case DatabaseKind::Postgres:
        return {"TEXT", "INTEGER", "BIGINT", "NUMERIC", "DOUBLE PRECISION", "DATE", "TIMESTAMP", "TIMESTAMPTZ", "BOOLEAN"};
    case DatabaseKind::Mariadb:
        return {"TEXT", "LONGTEXT", "BIGINT", "DOUBLE", "DATE", "DATETIME(6)"};
    case DatabaseKind::Other:
        break;
    }
    return {"TEXT"};
}

std::string ColumnGuess::TypeFor(DatabaseKind database) const
{
    const bool postgres = database == DatabaseKind::Postgres;
    const bool mariadb = database == DatabaseKind::Mariadb;
    const bool sqlite = database == DatabaseKind::Sqlite;
    const std::string text = mariadb && m_long ? "LONGTEXT" : "TEXT";
    if (m_kinds == 0 || m_kinds == kText || database == DatabaseKind::Other)
        return text;
    const bool numericFits = static_cast<long long>(m_integerDigits) <= kNumericIntegerDigits &&
                             static_cast<long long>(m_scale) <= kNumericScale;
    if (m_kinds == kInteger) {
        if (postgres && !m_beyondInt32)
            return "INTEGER";
        if (!m_beyondInt64)
            return sqlite ? "INTEGER" : "BIGINT";
        // SQLite would keep a wider integer as an inexact REAL.
        if (postgres && numericFits)
            return "NUMERIC";
        if (mariadb && m_integerDigits <= kDecimalPrecision)
            return DecimalType(m_integerDigits, 0);
        return text;
    }
    if (m_kinds & kDecimal) {
        if (postgres)
            return !m_inexact ? "DOUBLE PRECISION" : numericFits ? "NUMERIC" : text;
        if (mariadb && !m_exponent && m_integerDigits + m_scale <= kDecimalPrecision && m_scale <= kDecimalScale)
            return DecimalType(m_integerDigits + m_scale, m_scale);
        if (m_inexact)
            return text;
        return mariadb ? "DOUBLE" : "REAL";
    }
    if (m_kinds == kDate)
        return sqlite ? text : "DATE";
    if (m_kinds & kTimestamp) {
        // PostgreSQL's TIMESTAMP drops a zone, and a bare date in TIMESTAMPTZ
        // takes the session's; MariaDB keeps no zone at all.
        if (postgres && m_zoned)
            return !m_unzoned && !(m_kinds & kDate) ? "TIMESTAMPTZ" : text;
        if (postgres)
            return "TIMESTAMP";
        return mariadb && !m_zoned ? "DATETIME(6)" : text;
    }
    return postgres ? "BOOLEAN" : text;
}

void TypeGuesser::Observe(std::span<const std::string_view> fields)
{
    if (fields.size() > m_columns.size())
        m_columns.resize(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (IsQuotedEmpty(fields[i]))
            m_columns[i].ObserveEmptyText();
        else
            m_columns[i].Observe(fields[i]);
    }
}

std::vector<std::string> TypeGuesser::TypesFor(DatabaseKind database, std::size_t columns) const
{
    std::vector<std::string> types;
    types.reserve(columns);
    for (std::size_t i = 0; i < columns; ++i)
        types.push_back(i < m_columns.size() ? m_columns[i].TypeFor(database) : "TEXT");
    return types;
}

// The checks below read values apart from the guess: through the standard
// library's conversions and calendar, and by searching rather than scanning.
namespace {

bool OnlyDigits(std::string_view s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Digits only, read whole as a number no more than most.
bool InRange(std::string_view s, int most)
{
    int n = 0;
    return OnlyDigits(s) && std::from_chars(s.data(), s.data() + s.size(), n).ptr == s.data() + s.size() &&
           n <= most;
}

// A number's text cut at its point and exponent.
struct NumberText {
    std::string_view whole, fraction;
    int exponent = 0;
    bool point = false, withExponent = false;
};

bool CutNumber(std::string_view v, NumberText& n)
{
    const bool signedValue = v.starts_with('+') || v.starts_with('-');
    std::string_view rest = v.substr(signedValue ? 1 : 0);
    const auto e = rest.find_first_of("eE");
    if (e != std::string_view::npos) {
        std::string_view power = rest.substr(e + 1);
        const bool negative = power.starts_with('-');
        if (negative || power.starts_with('+'))
            power.remove_prefix(1);
        if (!OnlyDigits(power) || power.size() > 3)
            return false;
        std::from_chars(power.data(), power.data() + power.size(), n.exponent);
        n.exponent = negative ? -n.exponent : n.exponent;
        n.withExponent = true;
        rest = rest.substr(0, e);
    }
    const auto point = rest.find('.');
    n.point = point != std::string_view::npos;
    n.whole = rest.substr(0, point);
    n.fraction = n.point ? rest.substr(point + 1) : std::string_view();
    if (!OnlyDigits(n.whole) || (n.point && !OnlyDigits(n.fraction)) || (n.whole.size() > 1 && n.whole[0] == '0'))
        return false;
    const bool zero = n.whole == "0" && n.fraction.find_first_not_of('0') == std::string_view::npos;
    return !(zero && signedValue);
}

template <class T>
bool WholeNumberFits(std::string_view v)
{
    NumberText n;
    if (!CutNumber(v, n) || n.point || n.withExponent)
        return false;
    if (v.starts_with('+'))
        v.remove_prefix(1);
    T value;
    const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), value);
    return error == std::errc() && end == v.data() + v.size();
}

bool NumericFits(std::string_view v)
{
    NumberText n;
    return CutNumber(v, n) && static_cast<long long>(n.whole.size()) + n.exponent <= kNumericIntegerDigits &&
           static_cast<long long>(n.fraction.size()) - n.exponent <= kNumericScale;
}

// typeName is DECIMAL(p,s).
bool DecimalFits(std::string_view v, std::string_view typeName)
{
    std::string_view sizes = typeName.substr(8);
    const auto comma = sizes.find(',');
    if (!sizes.ends_with(')') || comma == std::string_view::npos)
        return false;
    const std::string_view precisionText = sizes.substr(0, comma);
    const std::string_view scaleText = sizes.substr(comma + 1, sizes.size() - comma - 2);
    std::size_t precision = 0, scale = 0;
    if (!OnlyDigits(precisionText) || !OnlyDigits(scaleText))
        return false;
    std::from_chars(precisionText.data(), precisionText.data() + precisionText.size(), precision);
    std::from_chars(scaleText.data(), scaleText.data() + scaleText.size(), scale);
    NumberText n;
    return precision >= 1 && precision <= kDecimalPrecision && scale <= kDecimalScale && scale <= precision &&
           CutNumber(v, n) && !n.withExponent && n.whole.size() <= precision - scale && n.fraction.size() <= scale;
}

// The double nearest the text, printed to fifteen digits, is the same number.
bool DoubleFits(std::string_view v)
{
    NumberText n;
    if (!CutNumber(v, n))
        return false;
    if (v.starts_with('+'))
        v.remove_prefix(1);
    double d = 0;
    const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), d);
    if (error != std::errc() || end != v.data() + v.size())
        return false;
    const std::size_t count = n.whole.size() + n.fraction.size();
    const auto digit = [&](std::size_t k) { return k < n.whole.size() ? n.whole[k] : n.fraction[k - n.whole.size()]; };
    std::size_t first = 0;
    while (first < count && digit(first) == '0')
        ++first;
    if (first == count)
        return d == 0;
    if (!std::isfinite(d) || std::fabs(d) < DBL_MIN)
        return false;
    // D.DDDDDDDDDDDDDDe±XX
    char printed[32];
    const char* const printedEnd =
        std::to_chars(printed, printed + sizeof printed, std::fabs(d), std::chars_format::scientific, 14).ptr;
    int printedPower = 0;
    std::from_chars(printed + 18, printedEnd, printedPower);
    if (printed[17] == '-')
        printedPower = -printedPower;
    if (static_cast<long long>(n.whole.size()) - 1 - static_cast<long long>(first) + n.exponent != printedPower)
        return false;
    for (std::size_t k = 0; first + k < count || k < kDoubleDigits; ++k) {
        const char mine = first + k < count ? digit(first + k) : '0';
        const char theirs = k == 0 ? printed[0] : k < kDoubleDigits ? printed[k + 1] : '0';
        if (mine != theirs)
            return false;
    }
    return true;
}

bool DateFits(std::string_view v)
{
    int year = 0, month = 0, day = 0;
    if (v.size() != 10 || v[4] != '-' || v[7] != '-' || !OnlyDigits(v.substr(0, 4)) ||
        !OnlyDigits(v.substr(5, 2)) || !OnlyDigits(v.substr(8, 2)))
        return false;
    std::from_chars(v.data(), v.data() + 4, year);
    std::from_chars(v.data() + 5, v.data() + 7, month);
    std::from_chars(v.data() + 8, v.data() + 10, day);
    const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    return year >= 1000 && year <= 9999 && date.ok();
}

// A date, or a date and time; with a zone exactly when zoned.
bool TimestampFits(std::string_view v, bool zoned)
{
    if (v.size() == 10)
        return !zoned && DateFits(v);
    if (v.size() < 16 || !DateFits(v.substr(0, 10)) || (v[10] != 'T' && v[10] != ' '))
        return false;
    std::string_view time = v.substr(11);
    const auto zoneAt = time.find_first_of("Z+-");
    std::string_view zone = zoneAt == std::string_view::npos ? std::string_view() : time.substr(zoneAt);
    time = time.substr(0, zoneAt);
    if (zone.empty() == zoned)
        return false;
    const std::size_t length = time.size();
    if (length != 5 && length != 8 && (length < 10 || length > 15 || time[8] != '.'))
        return false;
    if (!InRange(time.substr(0, 2), 23) || time[2] != ':' || !InRange(time.substr(3, 2), 59))
        return false;
    if (length >= 8 && (time[5] != ':' || !InRange(time.substr(6, 2), 59)))
        return false;
    if (length >= 10 && !OnlyDigits(time.substr(9)))
        return false;
    if (zone.empty() || zone == "Z")
        return true;
    if (zone[0] == 'Z')
        return false;
    zone.remove_prefix(1);
    const std::string_view minutes = zone.size() == 2   ? std::string_view("00")
                                     : zone.size() == 4 ? zone.substr(2)
                                     : zone.size() == 5 && zone[2] == ':' ? zone.substr(3)
                                                                          : std::string_view();
    return InRange(zone.substr(0, 2), 14) && InRange(minutes, 59);
}

bool BooleanFits(std::string_view v)
{
    char lower[5];
    if (v.size() > sizeof lower)
        return false;
    std::transform(v.begin(), v.end(), lower, [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    const std::string_view word(lower, v.size());
    return word == "true" || word == "false";
}

}  // namespace

bool ValueFits(std::string_view value, std::string_view typeName, DatabaseKind database)
{
    using enum DatabaseKind;
    if (value.empty())
        return true;
    if (typeName == "TEXT")
        return database != Mariadb || value.size() <= kMariadbTextBytes;
    if (typeName == "LONGTEXT")
        return database == Mariadb;
    switch (database) {
    case Postgres:
        return typeName == "INTEGER"            ? WholeNumberFits<std::int32_t>(value)
               : typeName == "BIGINT"           ? WholeNumberFits<std::int64_t>(value)
               : typeName == "NUMERIC"          ? NumericFits(value)
               : typeName == "DOUBLE PRECISION" ? DoubleFits(value)
               : typeName == "DATE"             ? DateFits(value)
               : typeName == "TIMESTAMP"        ? TimestampFits(value, false)
               : typeName == "TIMESTAMPTZ"      ? TimestampFits(value, true)
               : typeName == "BOOLEAN"          ? BooleanFits(value)
                                                : false;
    case Mariadb:
        return typeName == "BIGINT"               ? WholeNumberFits<std::int64_t>(value)
               : typeName.starts_with("DECIMAL(") ? DecimalFits(value, typeName)
               : typeName == "DOUBLE"             ? DoubleFits(value)
               : typeName == "DATE"               ? DateFits(value)
               : typeName == "DATETIME(6)"        ? TimestampFits(value, false)
                                                  : false;
    case Sqlite:
        return typeName == "INTEGER" ? WholeNumberFits<std::int64_t>(value)
               : typeName == "REAL"  ? DoubleFits(value)
                                     : false;
    case Other:
        break;
    }
    return false;
}

}  // namespace qb
