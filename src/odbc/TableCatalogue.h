#pragma once

#include "odbc/Database.h"

#include <functional>
#include <string>
#include <vector>

namespace qb {

// A user table: type "TABLE" exactly, and no "SYS" anywhere in its
// upper-cased name.
bool IsUserTable(const TableEntry& entry);

// The user tables' bare names, in the catalogue's order; yield runs per row.
std::vector<std::string> UserTableNames(const std::vector<TableEntry>& entries,
                                        const std::function<void()>& yield = {});

// True when some entry equals name, ignoring case, as table names compare.
bool TableListed(const std::vector<std::string>& list, const std::string& name);

// Opens the data source, reads its catalogue and closes it again.
// Throws DatabaseError.
std::vector<std::string> ListUserTables(const std::string& dataSourceName,
                                        const std::function<void()>& yield = {});

}  // namespace qb
