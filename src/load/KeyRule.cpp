#include "load/KeyRule.h"

#include "load/StatementBuilder.h"
#include "odbc/Database.h"
#include "odbc/SqlText.h"
#include "read/Records.h"

#include <algorithm>

namespace qb {
namespace {

std::string QuotedList(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names) {
        if (!text.empty())
            text += ',';
        AppendQuotedIdentifier(text, name);
    }
    return text;
}

// What fails MariaDB's statement where a line meets a row by another unique index than the key.
const char* const kNotTheKeysRow = "(SELECT 1 UNION ALL SELECT 2)";

}  // namespace

std::string KeyText(const std::vector<std::string>& key)
{
    std::string text = "the key (";
    for (std::size_t i = 0; i < key.size(); ++i)
        text += (i > 0 ? ", " : "") + key[i];
    return text + ")";
}

KeyChoice ChooseKey(Connection& connection, InsertTarget target)
{
    KeyChoice choice{std::move(target), {}};
    InsertTarget& chosen = choice.target;
    if (chosen.onDuplicate == OnDuplicate::Error)
        return choice;
    const char* const what = chosen.onDuplicate == OnDuplicate::Skip ? "kept" : "updated";
    const auto keys = connection.Keys(chosen.table);
    if (keys.empty()) {
        choice.refusal = "The table " + chosen.table + " has neither a primary key nor a unique index, so a line "
                         "whose row is there already cannot be told and the rows there cannot be " + what +
                         ". The file was not sent.";
        return choice;
    }
    if (chosen.columns.empty())
        chosen.columns = connection.ColumnNames(BuildColumnNamesQuery(chosen.table));
    for (const auto& key : keys) {
        if (std::all_of(key.begin(), key.end(), [&](const std::string& column) {
                return std::find(chosen.columns.begin(), chosen.columns.end(), column) != chosen.columns.end();
            })) {
            chosen.key = key;
            return choice;
        }
    }
    choice.refusal = "The file fills no key of the table " + chosen.table + " whole (" + KeyText(keys.front()) +
                     " first), so the rows there cannot be " + what + ". The file was not sent.";
    return choice;
}

KeyRule KeyRuleOf(const InsertTarget& target, DatabaseKind kind)
{
    KeyRule rule;
    rule.mode = target.onDuplicate;
    rule.kind = kind;
    if (!rule.Keyed())
        return rule;
    rule.table = QuoteIdentifier(target.table);
    rule.columns = QuotedList(target.columns);
    for (const auto& column : target.columns)
        rule.columnNames.push_back(QuoteIdentifier(column));
    rule.key = QuotedList(target.key);
    for (const auto& column : target.key) {
        rule.keyNames.push_back(QuoteIdentifier(column));
        const auto at = std::find(target.columns.begin(), target.columns.end(), column);
        rule.keyValues.push_back(static_cast<std::size_t>(at - target.columns.begin()));
    }
    const bool mariadb = kind == DatabaseKind::Mariadb;
    if (rule.mode == OnDuplicate::Update) {
        for (const auto& column : target.columns) {
            if (std::find(target.key.begin(), target.key.end(), column) != target.key.end())
                continue;
            const std::string name = QuoteIdentifier(column);
            rule.set += (rule.set.empty() ? "" : ",") + name + (mariadb ? "=VALUES(" + name + ")" : "=excluded." + name);
        }
    }
    // MariaDB meets a row by any unique index of the table, not by the key alone: a line that meets one by
    // another index would change a row that is not its own. The first assignment leaves the key as it is
    // where the row is the line's, and fails the statement otherwise (a subquery of two rows), so that the
    // line is refused as elsewhere; the rest follow only then. Skipping: MariaDB has no "do nothing"
    // limited to a duplicate key (INSERT IGNORE passes over other errors too), so that assignment is all.
    if (mariadb) {
        const std::string first = QuoteIdentifier(target.key.front());
        std::string same;
        for (const std::string& name : rule.keyNames)
            same += (same.empty() ? "" : " AND ") + name + "=VALUES(" + name + ")";  // NULL meets no key
        rule.after = " ON DUPLICATE KEY UPDATE " + first + "=IF(" + same + "," + first + "," + kNotTheKeysRow + ")" +
                     (rule.set.empty() ? "" : "," + rule.set);
    } else {
        rule.after = " ON CONFLICT (" + rule.key + ") DO " + (rule.set.empty() ? "NOTHING" : "UPDATE SET " + rule.set);
    }
    // A row there that holds the line's values already is not written again (a file delivered again is
    // mostly such rows); compared as text, which every type has.
    if (kind == DatabaseKind::Postgres && !rule.set.empty()) {
        std::string there, line;
        for (const auto& column : target.columns) {
            const std::string name = QuoteIdentifier(column);
            there += (there.empty() ? "" : ",") + rule.table + "." + name + "::text";
            line += (line.empty() ? "" : ",") + ("excluded." + name + "::text");
        }
        rule.after += " WHERE ROW(" + there + ") IS DISTINCT FROM ROW(" + line + ")";
    }
    if (rule.Answers()) {
        // An updated row's new version carries our transaction as its locker; an inserted one none.
        rule.before = "WITH quillbarrow_rows AS (";
        rule.after += " RETURNING (xmax = 0) AS inserted) SELECT COUNT(*) FILTER (WHERE inserted) FROM quillbarrow_rows";
    }
    return rule;
}

void KeyCount::Start(const KeyRule& rule)
{
    m_query = "SELECT COUNT(*) FROM " + rule.table + " WHERE ";
    if (rule.keyValues.size() > 1)
        m_query += "(" + rule.key + ") IN (" + (rule.kind == DatabaseKind::Sqlite ? "VALUES" : "");
    else
        m_query += rule.key + " IN (";
    m_head = m_query.size();
    m_nullKeys = 0;
    m_any = false;
}

void KeyCount::AppendQuoted(std::string_view value)
{
    AppendQuotedText(m_query, value);
}

void KeyCount::AddFields(const KeyRule& rule, std::span<const std::string_view> fields)
{
    Add(rule, [&](std::size_t i) -> std::optional<std::string_view> {
        if (i >= fields.size() || (fields[i].empty() && !IsQuotedEmpty(fields[i])))
            return std::nullopt;
        return fields[i];
    });
}

void KeyCount::AddValues(const KeyRule& rule, std::span<const std::optional<std::string_view>> values,
                         std::size_t columns)
{
    for (std::size_t first = 0; first + columns <= values.size(); first += columns)
        Add(rule, [&](std::size_t i) { return values[first + i]; });
}

long KeyCount::Around(Connection& connection, const std::function<void()>& store)
{
    if (!m_any) {
        store();
        return m_nullKeys;
    }
    if (m_query.size() == m_head || m_query.back() != ';')
        m_query += ");";
    const auto count = [&] { return InsertedOf(connection.QueryStrings(m_query)); };
    const long before = count();
    store();
    return count() - before + m_nullKeys;
}

long InsertedOf(const std::vector<std::vector<std::optional<std::string>>>& rows)
{
    if (rows.empty() || rows.front().empty() || !rows.front().front())
        throw DatabaseError("HY000", "The database did not say how many rows it inserted");
    return std::stol(*rows.front().front());
}

}  // namespace qb
