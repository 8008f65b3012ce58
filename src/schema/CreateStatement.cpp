#include "schema/CreateStatement.h"

#include "odbc/SqlText.h"
#include "schema/Naming.h"

#include <algorithm>

namespace qb {

std::string BuildCreate(std::string_view table, std::span<const std::string> names, std::span<const std::string> types,
                        std::span<const std::string> key)
{
    std::string statement = "CREATE TABLE ";
    AppendQuotedIdentifier(statement, table);
    statement += '(';
    for (std::size_t i = 0; i < names.size(); ++i) {
        AppendQuotedIdentifier(statement, names[i]);
        statement += ' ';
        statement += i < types.size() ? types[i] : "TEXT";
        if (std::find(key.begin(), key.end(), names[i]) != key.end())
            statement += " NOT NULL";
        statement += ", ";
    }
    if (!key.empty()) {
        statement += "PRIMARY KEY (";
        for (const std::string& column : key) {
            AppendQuotedIdentifier(statement, column);
            statement += ',';
        }
        statement.back() = ')';
        statement += ", ";
    }
    // With no columns at all the statement stays broken, and the database refuses it, as it should.
    if (!names.empty())
        statement.resize(statement.size() - 2);
    statement += ");";
    return statement;
}

std::string BuildCreateFromFields(std::string_view table, std::span<const std::string_view> header, bool keepLetters,
                                  std::span<const std::string> types)
{
    return BuildCreate(table, ColumnNames(header, keepLetters), types);
}

}  // namespace qb
