#pragma once

#include "odbc/DatabaseKind.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {


// What every non-empty value of one column is, learnt value by value.
// Conservative: a type only where the database takes every value's text
// unchanged in meaning, so leading zeros, signed zeros, spaces, digits a
// double would lose and zones a column would drop all leave TEXT.
class ColumnGuess {
public:
    // The value's exact text; empty text is NULL and decides nothing.
    void Observe(std::string_view value);
    // An empty text that is not NULL (a field written as ""): only a text column takes it.
    void ObserveEmptyText();
    // The narrowest type of that database that takes every value observed
    // as it stands; "TEXT" otherwise (and for Other, and for a column with
    // no non-empty value). MariaDB's is "LONGTEXT" once a value outgrows TEXT.
    std::string TypeFor(DatabaseKind database) const;

private:
    std::uint8_t m_kinds = 0;          // the kinds of value seen so far
    bool m_long = false;               // a value longer than MariaDB's TEXT holds
    bool m_beyondInt32 = false;
    bool m_beyondInt64 = false;
    bool m_exponent = false;
    bool m_inexact = false;            // a number a double would not give back
    bool m_zoned = false;              // a timestamp with a zone
    bool m_unzoned = false;            // a timestamp without one
    std::size_t m_integerDigits = 0;   // most digits before the point, exponent applied
    std::size_t m_scale = 0;           // most digits after the point, exponent applied
};

// One guess per column of a file, fed record by record.
class TypeGuesser {
public:
    // Fields beyond the known columns add columns; a field written as "" is
    // the empty text, not NULL.
    void Observe(std::span<const std::string_view> fields);
    // TEXT for columns never seen.
    std::vector<std::string> TypesFor(DatabaseKind database, std::size_t columns) const;
    const std::vector<ColumnGuess>& Columns() const { return m_columns; }

private:
    std::vector<ColumnGuess> m_columns;
};

// The types a person may give a new column of that database, TEXT first.
std::vector<std::string> TypeChoices(DatabaseKind database);

// Whether one value, alone, is taken by a column of that type name as
// TypeFor writes it, checked apart from the guess's own reading of values.
// An empty value is NULL, which every column takes.
bool ValueFits(std::string_view value, std::string_view typeName, DatabaseKind database);

}  // namespace qb
