#pragma once

#include "odbc/DatabaseKind.h"
#include "schema/ColumnPlan.h"
#include "schema/CreateChecks.h"
#include "schema/ValueGuess.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// A new table's primary key: the file's fields it is made of, and its columns as the CREATE names them.
struct PlannedKey {
    std::vector<std::size_t> fields;  // in the file's order
    std::vector<std::string> names;
    std::string refusal;  // a key column the first line does not name, or one left out
};

// key: columns as a first line names them, cleaned here as column names are; the plan's columns marked Key
// join them. names: the first line's, as cleaned; planned: the table they make.
PlannedKey PlanKey(const std::vector<std::string>& names, const PlannedTable& planned, const ColumnPlan* plan,
                   std::span<const std::string> key, bool keepLetters, std::string_view path);

// The key columns' types made ones the database keys (KeyType); guesser: the file's values, when guessed.
void KeyTypes(PlannedTable& planned, const PlannedKey& key, const TypeGuesser* guesser, DatabaseKind database);

}  // namespace qb
