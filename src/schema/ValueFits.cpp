#include "schema/ValueFits.h"

#include "schema/TypeLimits.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace qb {

// These checks read values apart from the guess: through the standard
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

// typeName is DECIMAL(p,s) (MariaDB's limits) or NUMERIC(p,s) (PostgreSQL's). A lone 0 before the
// point is no digit of the precision.
bool DecimalFits(std::string_view v, std::string_view typeName, std::size_t mostPrecision, std::size_t mostScale)
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
    return precision >= 1 && precision <= mostPrecision && scale <= mostScale && scale <= precision &&
           CutNumber(v, n) && !n.withExponent && (n.whole == "0" ? 0 : n.whole.size()) <= precision - scale &&
           n.fraction.size() <= scale;
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
               : typeName.starts_with("NUMERIC(") ? DecimalFits(value, typeName, kNumericPrecision, kNumericPrecision)
               : typeName == "DOUBLE PRECISION" ? DoubleFits(value)
               : typeName == "DATE"             ? DateFits(value)
               : typeName == "TIMESTAMP"        ? TimestampFits(value, false)
               : typeName == "TIMESTAMPTZ"      ? TimestampFits(value, true)
               : typeName == "BOOLEAN"          ? BooleanFits(value)
                                                : false;
    case Mariadb:
        return typeName == "BIGINT"               ? WholeNumberFits<std::int64_t>(value)
               : typeName.starts_with("DECIMAL(") ? DecimalFits(value, typeName, kDecimalPrecision, kDecimalScale)
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
