#pragma once

#include "load/InsertTarget.h"
#include "odbc/DatabaseKind.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

class Connection;

// How a file's rows meet the rows its table holds under the key: the words a statement takes around
// its rows, and how the rows it inserted are told from those whose key was there.
struct KeyRule {
    OnDuplicate mode = OnDuplicate::Error;
    DatabaseKind kind = DatabaseKind::Other;
    std::string table;    // quoted, without a column list
    std::string columns;  // the columns sent, quoted, comma-separated
    std::string key;      // the key's columns, the same way
    std::vector<std::string> keyNames;  // each quoted
    std::vector<std::string> columnNames;  // the columns sent, each quoted
    std::string set;      // update: each column sent but the key's, set from the row's value
    std::vector<std::size_t> keyValues;  // per key column, its place among a row's values
    std::string before;   // before "INSERT"
    std::string after;    // after the rows

    bool Keyed() const { return mode != OnDuplicate::Error; }
    // PostgreSQL's statement answers with the number of rows it inserted; elsewhere the keys are counted.
    bool Answers() const { return kind == DatabaseKind::Postgres; }
};

// The key a duplicate is known by, for a target of the table: its columns named (the table's, where the
// target names none) and the first of its keys whose columns it fills all. A refusal says why there is
// none. Throws DatabaseError.
struct KeyChoice {
    InsertTarget target;
    std::string refusal;
};
KeyChoice ChooseKey(Connection& connection, InsertTarget target);
// "the key (id)", "the key (a, b)": how the run and the dry run name it.
std::string KeyText(const std::vector<std::string>& key);

// MariaDB's error where its statement meets a row by another unique index than the key (see KeyRuleOf).
constexpr long kNotTheKeysRowError = 1242;  // "Subquery returns more than 1 row"

// The rule for a target whose columns are named (as the run names them where a key decides).
KeyRule KeyRuleOf(const InsertTarget& target, DatabaseKind kind);

// Counts how many of some rows' keys the table holds: a query, and the rows it cannot find.
class KeyCount {
public:
    void Start(const KeyRule& rule);
    // A row whose value i is value(i), std::nullopt for NULL.
    template <typename ValueAt>
    void Add(const KeyRule& rule, ValueAt&& value)
    {
        for (const std::size_t i : rule.keyValues) {
            if (!value(i)) {
                ++m_nullKeys;  // a NULL meets no key: always inserted
                return;
            }
        }
        m_query += m_any ? "," : "";
        m_query += rule.keyValues.size() > 1 ? "(" : "";
        for (std::size_t k = 0; k < rule.keyValues.size(); ++k) {
            if (k > 0)
                m_query += ',';
            AppendQuoted(*value(rule.keyValues[k]));
        }
        m_query += rule.keyValues.size() > 1 ? ")" : "";
        m_any = true;
    }
    // One line's values: an empty field is NULL, as sent.
    void AddFields(const KeyRule& rule, std::span<const std::string_view> fields);
    // The rows' values, row after row.
    void AddValues(const KeyRule& rule, std::span<const std::optional<std::string_view>> values, std::size_t columns);

    // Runs store (the rows' statement, in the transaction under way) between two counts of the keys
    // present, and returns the rows it inserted: rows whose key appeared.
    long Around(Connection& connection, const std::function<void()>& store);

private:
    void AppendQuoted(std::string_view value);

    std::string m_query;
    std::size_t m_head = 0;
    long m_nullKeys = 0;
    bool m_any = false;
};

// The number a PostgreSQL statement of the rule answers with: the rows it inserted.
long InsertedOf(const std::vector<std::vector<std::optional<std::string>>>& rows);

}  // namespace qb
