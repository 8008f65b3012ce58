#include "odbc/Database.h"

#include "odbc/ConnectionHandles.h"
#include "odbc/OdbcCalls.h"

#include <algorithm>
#include <map>

// A table's keys, from the driver's catalogue functions.
namespace qb {
namespace {

using namespace odbc;

// A catalogue column's number as text, or a big one where it is missing.
long Ordinal(const std::optional<std::string>& text)
{
    try {
        return text ? std::stol(*text) : 1L << 30;
    } catch (const std::exception&) {
        return 1L << 30;
    }
}

}  // namespace

std::vector<std::vector<std::string>> Connection::Keys(const std::string& table)
{
    ConnectionState& handles = Current();
    const StatementHandle& statement = handles.statement;
    std::string catalog;
    if (handles.MysqlFamily())
        catalog = InfoText(handles.connection.Get(), SQL_DATABASE_NAME);
    auto* catalogName = catalog.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(catalog.data());
    const auto catalogLength = static_cast<SQLSMALLINT>(catalog.size());
    std::string name = table;
    auto* tableName = reinterpret_cast<SQLCHAR*>(name.data());
    const auto tableLength = static_cast<SQLSMALLINT>(name.size());
    std::vector<std::vector<std::string>> keys;
    // Where a table of the name lives in several schemas, the first one listed counts.
    const auto firstSchema = [](std::vector<TextRow>& rows, std::size_t schema) {
        std::erase_if(rows, [&](const TextRow& row) {
            return row.size() <= schema || row[schema] != rows.front()[schema];
        });
    };
    {
        CursorScope cursor(statement);
        Check(SQLPrimaryKeys(statement.Get(), catalogName, catalogLength, nullptr, 0, tableName, tableLength),
              SQL_HANDLE_STMT, statement.Get());
        // TABLE_SCHEM 2, COLUMN_NAME 4, KEY_SEQ 5.
        std::vector<TextRow> rows = FetchAll(statement.Get());
        if (!rows.empty() && rows.front().size() >= 5) {
            firstSchema(rows, 1);
            std::stable_sort(rows.begin(), rows.end(),
                             [](const TextRow& a, const TextRow& b) { return Ordinal(a[4]) < Ordinal(b[4]); });
            auto& key = keys.emplace_back();
            for (const TextRow& row : rows)
                key.push_back(row[3].value_or(""));
        }
    }
    CursorScope cursor(statement);
    Check(SQLStatistics(statement.Get(), catalogName, catalogLength, nullptr, 0, tableName, tableLength,
                        SQL_INDEX_UNIQUE, SQL_QUICK),
          SQL_HANDLE_STMT, statement.Get());
    // TABLE_SCHEM 2, NON_UNIQUE 4, INDEX_NAME 6, TYPE 7, ORDINAL_POSITION 8, COLUMN_NAME 9.
    std::vector<TextRow> rows = FetchAll(statement.Get());
    std::erase_if(rows, [](const TextRow& row) {
        return row.size() < 9 || !row[5] || !row[8] || row[6] == std::string("0") || row[3] == std::string("1");
    });
    if (rows.empty())
        return keys;
    firstSchema(rows, 1);
    // Indexes in the catalogue's order, each one's columns by their position in it.
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::pair<long, std::string>>> indexes;
    for (const TextRow& row : rows) {
        auto& columns = indexes[*row[5]];
        if (columns.empty())
            order.push_back(*row[5]);
        columns.emplace_back(Ordinal(row[7]), *row[8]);
    }
    for (const std::string& index : order) {
        auto& columns = indexes[index];
        std::stable_sort(columns.begin(), columns.end());
        std::vector<std::string> key;
        for (const auto& column : columns)
            key.push_back(column.second);
        // The primary key's own index is listed again among the unique ones.
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            keys.push_back(std::move(key));
    }
    return keys;
}

}  // namespace qb
