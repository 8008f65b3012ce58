#include "schema/TypeNames.h"

#include "schema/TypeLimits.h"

#include <algorithm>

namespace qb {
namespace {

std::string DecimalType(std::size_t precision, std::size_t scale)
{
    return "DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
}

}  // namespace

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

std::string TypeFor(const ColumnGuess& guess, DatabaseKind database)
{
    using enum ColumnGuess::Kind;
    const ColumnGuess::Findings& found = guess.Found();
    const bool postgres = database == DatabaseKind::Postgres;
    const bool mariadb = database == DatabaseKind::Mariadb;
    const bool sqlite = database == DatabaseKind::Sqlite;
    const std::string text = mariadb && found.longText ? "LONGTEXT" : "TEXT";
    if (found.kinds == 0 || found.kinds == kText || database == DatabaseKind::Other)
        return text;
    const bool numericFits = static_cast<long long>(found.integerDigits) <= kNumericIntegerDigits &&
                             static_cast<long long>(found.scale) <= kNumericScale;
    if (found.kinds == kInteger) {
        if (postgres && !found.beyondInt32)
            return "INTEGER";
        if (!found.beyondInt64)
            return sqlite ? "INTEGER" : "BIGINT";
        // SQLite would keep a wider integer as an inexact REAL.
        if (postgres && numericFits)
            return "NUMERIC";
        if (mariadb && found.integerDigits <= kDecimalPrecision)
            return DecimalType(found.integerDigits, 0);
        return text;
    }
    if (found.kinds & kDecimal) {
        if (found.GroupingComma())
            return text;
        // Places written alike (money) are kept, and sums stay exact; other decimals go as doubles where
        // a double gives each back.
        const std::size_t precision = found.integerDigits + found.scale;
        const bool fixed = found.FixedPlaces();
        if (postgres) {
            if (fixed && precision <= kNumericPrecision)
                return "NUMERIC(" + std::to_string(precision) + "," + std::to_string(found.scale) + ")";
            return !found.inexact ? "DOUBLE PRECISION" : numericFits ? "NUMERIC" : text;
        }
        const bool decimalFits = mariadb && !found.exponent && precision <= kDecimalPrecision &&
                                 found.scale <= kDecimalScale;
        if (decimalFits && (fixed || found.inexact))
            return DecimalType(precision, found.scale);
        if (found.inexact)
            return text;
        return mariadb ? "DOUBLE" : "REAL";
    }
    if (found.kinds == kDate)
        return sqlite ? text : "DATE";
    if (found.kinds & kTimestamp) {
        // PostgreSQL's TIMESTAMP drops a zone, and a bare date in TIMESTAMPTZ
        // takes the session's; MariaDB keeps no zone at all.
        if (postgres && found.zoned)
            return !found.unzoned && !(found.kinds & kDate) ? "TIMESTAMPTZ" : text;
        if (postgres)
            return "TIMESTAMP";
        return mariadb && !found.zoned ? "DATETIME(6)" : text;
    }
    return postgres ? "BOOLEAN" : text;
}

std::string KeyType(const std::string& type, const ColumnGuess* guess, DatabaseKind database, std::size_t keyColumns)
{
    if (database != DatabaseKind::Mariadb || (type != "TEXT" && type != "LONGTEXT"))
        return type;
    // InnoDB keys take 3,072 bytes, four a character.
    constexpr std::size_t kKeyCharacters = 768;
    const std::size_t most = kKeyCharacters / std::max<std::size_t>(keyColumns, 1);
    const std::size_t length = guess ? std::max<std::size_t>(guess->Found().longest, 1) : 255;
    return "VARCHAR(" + std::to_string(std::min(length, most)) + ")";
}

std::vector<std::string> TypesFor(const TypeGuesser& guesser, DatabaseKind database, std::size_t columns)
{
    const std::vector<ColumnGuess>& seen = guesser.Columns();
    std::vector<std::string> types;
    types.reserve(columns);
    for (std::size_t i = 0; i < columns; ++i)
        types.push_back(i < seen.size() ? TypeFor(seen[i], database) : "TEXT");
    return types;
}

}  // namespace qb
