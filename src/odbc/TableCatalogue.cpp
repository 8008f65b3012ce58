#include "odbc/TableCatalogue.h"

#include "base/AsciiCase.h"

#include <algorithm>

namespace qb {

bool IsUserTable(const TableEntry& entry)
{
    if (entry.type != "TABLE")
        return false;
    return LowerAscii(entry.name).find("sys") == std::string::npos;
}

std::vector<std::string> UserTableNames(const std::vector<TableEntry>& entries, const std::function<void()>& yield)
{
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        if (entry.type != "TABLE")
            continue;
        if (yield)
            yield();
        if (IsUserTable(entry))
            names.push_back(entry.name);
    }
    return names;
}

std::vector<std::string> ListUserTables(const std::string& dataSourceName, const std::function<void()>& yield)
{
    Connection connection;
    connection.Open(dataSourceName);
    return UserTableNames(connection.Tables(), yield);
}

bool TableListed(const std::vector<std::string>& list, const std::string& name)
{
    const std::string wanted = LowerText(name);
    return std::any_of(list.begin(), list.end(), [&](const std::string& entry) { return LowerText(entry) == wanted; });
}

}  // namespace qb
