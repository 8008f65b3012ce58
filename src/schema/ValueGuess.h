#pragma once

#include "schema/DateForms.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
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
// Dates in other forms than ISO make a DATE or TIMESTAMP only where every
// value is written in one form (DateLearning), never mixed with ISO ones.
class ColumnGuess {
public:
    // mark: how numbers' decimals may be written; named: dates not in ISO form are taken in that form
    // only, not learnt.
    explicit ColumnGuess(DecimalMark mark = DecimalMark::Point, std::optional<DateForm> named = {})
        : m_dates(named ? DateLearning::Named(*named) : DateLearning()), m_mark(mark)
    {
    }

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
        std::size_t longest = 0;         // the longest value's bytes
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

    // The value's exact text; empty text is NULL and decides nothing.
    void Observe(std::string_view value);
    // An empty text that is not NULL (a field written as ""): only a text column takes it.
    void ObserveEmptyText();
    const Findings& Found() const { return m_found; }
    // The column's form when it is DATE or TIMESTAMP (an Iso() one for ISO dates); none otherwise.
    std::optional<DateForm> DateFormOf() const;
    // Dates not in ISO form, as learnt.
    const DateLearning& Dates() const { return m_dates; }

private:
    Findings m_found;
    DateLearning m_dates;
    bool m_isoDates = false;    // an ISO date or timestamp was seen
    bool m_otherDates = false;  // a date in another form was
    DecimalMark m_mark;
};

// One guess per column of a file, fed record by record.
class TypeGuesser {
public:
    // mark: how numbers' decimals may be written; dates: the one form dates not in ISO form are taken
    // in; none: each column learns its own.
    explicit TypeGuesser(DecimalMark mark = DecimalMark::Point, std::optional<DateForm> dates = {})
        : m_dates(dates), m_mark(mark)
    {
    }

    // Fields beyond the known columns add columns; a field written as "" is
    // the empty text, not NULL.
    void Observe(std::span<const std::string_view> fields);
    const std::vector<ColumnGuess>& Columns() const { return m_columns; }

private:
    std::vector<ColumnGuess> m_columns;
    std::optional<DateForm> m_dates;
    DecimalMark m_mark;
};

// "Dates: born as DD.MM.YYYY, seen as MM/DD/YYYY (no day over 12: day and month in the locale's order);
// sent in ISO form." for the columns read as dates in another form than ISO, named as the table names
// them (an empty name: a column not sent); empty text when there are none.
std::string DatesNote(const TypeGuesser& guesser, const std::vector<std::string>& names);

// The type as the preview and the dry run show it: with the form of dates not in ISO form, which are
// sent in ISO form, "DATE (DD.MM.YYYY)".
std::string ShownType(const ColumnGuess& guess, const std::string& type);

}  // namespace qb
