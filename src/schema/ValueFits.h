#pragma once

#include "odbc/DatabaseKind.h"

#include <string_view>

namespace qb {

// Whether one value, alone, is taken by a column of that type name as
// TypeFor writes it, checked apart from the guess's own reading of values.
// An empty value is NULL, which every column takes.
bool ValueFits(std::string_view value, std::string_view typeName, DatabaseKind database);

}  // namespace qb
