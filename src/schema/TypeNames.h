#pragma once

#include "odbc/DatabaseKind.h"
#include "schema/ValueGuess.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qb {

// The narrowest type of that database that takes every value the guess
// observed as it stands; "TEXT" otherwise (and for Other, and for a column
// with no non-empty value). MariaDB's is "LONGTEXT" once a value outgrows TEXT.
std::string TypeFor(const ColumnGuess& guess, DatabaseKind database);

// One type per column; TEXT for columns the guesser never saw.
std::vector<std::string> TypesFor(const TypeGuesser& guesser, DatabaseKind database, std::size_t columns);

// A key column's type: MariaDB keys no TEXT, so a text column there becomes VARCHAR, as long as the longest
// value guessed (none: 255), within what a key of that many columns may take. Others as they are.
std::string KeyType(const std::string& type, const ColumnGuess* guess, DatabaseKind database, std::size_t keyColumns);

// The types a person may give a new column of that database, TEXT first.
std::vector<std::string> TypeChoices(DatabaseKind database);

}  // namespace qb
