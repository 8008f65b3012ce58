#pragma once

#include "odbc/SqlText.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qb {

// What a line does whose key the table holds already.
enum class OnDuplicate { Error, Skip, Update };

// Where a file's values go: the table, its columns they fill, and which of the file's fields fill them.
struct InsertTarget {
    std::string table;
    // The columns filled, as the table names them; empty: all of its columns, in its order.
    std::vector<std::string> columns{};
    // Per value sent, the file's field it is; empty: every field, in the file's order.
    std::vector<std::size_t> fields{};
    OnDuplicate onDuplicate = OnDuplicate::Error;
    // The columns a duplicate is known by, where onDuplicate is not Error.
    std::vector<std::string> key{};
    // Statements run once, first, in the transaction of the first rows stored (the table emptied, say); at
    // the file's end when none was, unless a line was refused.
    std::vector<std::string> first{};
};

// The table, and its column list where one is named, as an INSERT or a COPY writes them: "T" or "T" ("a","b").
inline std::string QuotedTarget(const InsertTarget& target)
{
    std::string text = QuoteIdentifier(target.table);
    if (target.columns.empty())
        return text;
    text += " (";
    for (const auto& column : target.columns) {
        AppendQuotedIdentifier(text, column);
        text += ',';
    }
    text.back() = ')';
    return text;
}

}  // namespace qb
