#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qb {

class Connection;
struct KeyRule;

// A load where the table's key decides what a row does whose key is there: how many rows it inserted.
struct KeyedLoad {
    const KeyRule& rule;
    long inserted = 0;
};

// A database's own way of storing many rows at once, faster than statement
// texts through its ODBC driver. It stores exactly what the same rows as one
// multi-row INSERT would: the values' bytes as they are, NULL as NULL.
class BulkLoader {
public:
    virtual ~BulkLoader() = default;
    // Stores rows of `columns` values each (row after row) into the table,
    // all of them or none. Throws DatabaseError, in the database's words where
    // it has them: ConnectionLost() and Busy() mean what they mean for a statement.
    // quotedTable: the table's name as a statement writes it. No value holds a NUL byte: a statement's
    // text reads one differently, so the caller sends those rows as statements.
    // also: statements that commit with the rows, in the same transaction.
    // keyed: where a key decides, the rule (whose columns quotedTable names), and the count it fills;
    // rows of one key within the values end as they would, sent one after the other.
    virtual void Load(const std::string& quotedTable, std::size_t columns,
                      std::span<const std::optional<std::string_view>> values,
                      std::span<const std::string> also = {}, KeyedLoad* keyed = nullptr) = 0;
    // Whether Start and Finish part a load of rows alone (nothing also, no key) in two, so that the next
    // rows are read while the database stores these.
    virtual bool GoesAhead() const { return false; }
    // The rows go, their outcome left to Finish. Throws nothing: what Load would throw, Finish throws.
    virtual void Start(const std::string& /*quotedTable*/, std::size_t /*columns*/,
                       std::span<const std::optional<std::string_view>> /*values*/)
    {
    }
    // Awaits the rows Start sent: stored, or thrown as Load throws.
    virtual void Finish() {}
};

}  // namespace qb
