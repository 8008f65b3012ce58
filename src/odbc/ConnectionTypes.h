#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qb {

// One row of the tables catalogue: bare names, as the driver reports them.
struct TableEntry {
    std::string type;  // e.g. "TABLE", "VIEW"
    std::string name;

    bool operator==(const TableEntry&) const = default;
};

// The most a database takes, as its driver tells; 0: not known.
struct NameLimits {
    std::size_t maxColumns = 0;     // columns in one table
    std::size_t maxTableName = 0;   // bytes of a table name
    std::size_t maxColumnName = 0;  // bytes of a column name
};

// A row of text values; std::nullopt is SQL NULL.
using TextRow = std::vector<std::optional<std::string>>;

// The length that marks a NULL in a parameter array.
inline constexpr std::int64_t kNullLength = -1;

// Rows of parameters, bound column after column: column c's values lie in bytes after the columns
// before it, each widths[c] bytes apart; their lengths (kNullLength for NULL) at lengths[c * rows + row].
struct ParameterArray {
    std::size_t rows = 0;
    std::span<const std::size_t> widths;
    std::span<char> bytes;
    std::span<std::int64_t> lengths;
};

}  // namespace qb
