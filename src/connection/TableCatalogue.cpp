#include "connection/TableCatalogue.h"

namespace qb {

bool IsUserTable(const TableEntry& entry)
{
    if (entry.type != "TABLE")
        return false;
    std::string upper = entry.name;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper.find("SYS") == std::string::npos;
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

}  // namespace qb
