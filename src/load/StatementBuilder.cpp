#include "load/StatementBuilder.h"

#include "read/Records.h"

namespace qb {

void AppendValues(std::string& statement, std::span<const std::string_view> fields)
{
    statement += '(';
    for (const auto field : fields) {
        if (field.empty() && !IsQuotedEmpty(field))
            statement += "NULL";
        else
            AppendQuotedText(statement, field);
        statement += ',';
    }
    statement.back() = ')';
}

bool BuildInsertInto(std::string& statement, std::string_view quotedTarget, std::span<const std::string_view> fields,
                     std::string_view before, std::string_view after)
{
    statement.clear();
    if (fields.empty())
        return false;
    std::size_t size = before.size() + quotedTarget.size() + after.size() + 32;
    for (const auto field : fields)
        size += field.size() + 8;
    statement.reserve(size);
    statement += before;
    statement += "INSERT INTO ";
    statement += quotedTarget;
    statement += " VALUES";
    AppendValues(statement, fields);
    statement += after;
    statement += ';';
    return true;
}

std::string BuildColumnCountQuery(std::string_view table)
{
    return "SELECT * FROM " + QuoteIdentifier(table);
}

std::string BuildColumnNamesQuery(std::string_view table)
{
    return BuildColumnCountQuery(table) + " WHERE 1=0";
}

}  // namespace qb
