#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qb {

// Which mark a number's decimals may follow: the point, the comma (as the
// user says), or either, one per column (the separator is not a comma).
enum class DecimalMark : std::uint8_t { Point, Comma, Either };

// What every non-empty value of one column is, learnt value by value.
// Conservative: a type only where the database takes every value's text
// unchanged in meaning, so leading zeros, signed zeros, spaces, digits a
// double would lose and zones a column would drop all leave TEXT.
// Each database's type for it is TypeFor's (schema/TypeNames.h).
class ColumnGuess {
public:
    enum Kind : std::uint8_t {
        kInteger = 1,
        kDecimal = 2,
        kDate = 4,
        kTimestamp = 8,
        kBoolean = 16,
        kText = 32,
    };

    // What the values observed so far showed.
    struct Findings {
        std::uint8_t kinds = 0;          // the kinds of value seen; kText alone once they cannot share a type
        bool longText = false;           // a value longer than MariaDB's TEXT holds
        bool beyondInt32 = false;
        bool beyondInt64 = false;
        bool exponent = false;
        bool inexact = false;            // a number a double would not give back
        bool zoned = false;              // a timestamp with a zone
        bool unzoned = false;            // a timestamp without one
        std::size_t integerDigits = 0;   // most digits before the point, exponent applied
        std::size_t scale = 0;           // most digits after the point, exponent applied
        bool pointMark = false;          // a number with a decimal point
        bool commaMark = false;          // a number with a decimal comma
        bool commaClear = false;         // one whose comma cannot be a thousands' one ("1,5", "0,125")
        bool bareFraction = false;       // one without a digit before its mark (".5"): sent with a 0
        bool varyingPlaces = false;      // numbers with other places than the first, or in exponent form
        std::size_t places = 0;          // the first number's digits after its mark
        bool numberSeen = false;

        // The column's numbers take a comma as their decimal mark, sent as a point.
        bool DecimalComma() const { return commaMark && commaClear; }
        // Every comma could group thousands, and none was named the mark: left as text.
        bool GroupingComma() const { return commaMark && !commaClear; }
        // Every number is written with the same places after its mark, none in exponent form (money).
        bool FixedPlaces() const { return numberSeen && !varyingPlaces && places > 0; }
    };

    explicit ColumnGuess(DecimalMark mark = DecimalMark::Point) : m_mark(mark) {}

    // The value's exact text; empty text is NULL and decides nothing.
    void Observe(std::string_view value);
    // An empty text that is not NULL (a field written as ""): only a text column takes it.
    void ObserveEmptyText();
    const Findings& Found() const { return m_found; }

private:
    Findings m_found;
    DecimalMark m_mark;
};

// One guess per column of a file, fed record by record.
class TypeGuesser {
public:
    explicit TypeGuesser(DecimalMark mark = DecimalMark::Point) : m_mark(mark) {}
    // Fields beyond the known columns add columns; a field written as "" is
    // the empty text, not NULL.
    void Observe(std::span<const std::string_view> fields);
    const std::vector<ColumnGuess>& Columns() const { return m_columns; }

private:
    std::vector<ColumnGuess> m_columns;
    DecimalMark m_mark;
};

}  // namespace qb
