#pragma once

#include "odbc/SqlText.h"

#include <span>
#include <string>
#include <string_view>

namespace qb {

// Appends "(v1,v2,...)": quoted texts with apostrophes doubled, NULL for
// empty fields but '' for a field written as "". The fields must not be empty.
void AppendValues(std::string& statement, std::span<const std::string_view> fields);

// One INSERT for the fields of a line, written into statement, whose storage
// is reused; empty fields are NULL in their own place. False, leaving it
// empty, for a line without fields. quotedTarget: the table (and its column
// list) as the statement writes it; before and after: the words a key adds around it, as InsertBatch takes them.
bool BuildInsertInto(std::string& statement, std::string_view quotedTarget, std::span<const std::string_view> fields,
                     std::string_view before = {}, std::string_view after = {});

// The query whose result's column count is the table's.
std::string BuildColumnCountQuery(std::string_view table);
// The query whose result's columns are the table's, and which fetches no row even when a driver runs it.
std::string BuildColumnNamesQuery(std::string_view table);

}  // namespace qb
