#include "load/InsertBatch.h"

#include "load/KeyRule.h"
#include "read/Records.h"
#include "odbc/SqlText.h"

namespace qb {
namespace {

// Room above this is given back after a batch rather than kept for the next.
std::size_t KeptRoom(std::size_t maxBytes)
{
    return 2 * maxBytes + (std::size_t(1) << 20);
}

}  // namespace

InsertBatch::InsertBatch(std::size_t maxRows, std::size_t maxBytes) : m_maxRows(maxRows), m_maxBytes(maxBytes)
{
}

void InsertBatch::Start(std::string_view quotedTarget, std::string_view before, std::string_view after)
{
    m_head = std::string(before) + "INSERT INTO " + std::string(quotedTarget) + " VALUES";
    m_tail = after;
    Clear();
}

void InsertBatch::Keep(std::span<const std::string_view> fields, Kind kind, const RecordSpan& record)
{
    const std::size_t begin = m_values.size();
    for (const auto field : fields) {
        m_values.push_back({m_bytes.size(), field.size(), field.empty() && !IsQuotedEmpty(field)});
        m_bytes.append(field);
    }
    m_entries.push_back({begin, m_values.size(), kind, 0, record});
}

void InsertBatch::AddRow(std::span<const std::string_view> fields, const RecordSpan& record)
{
    Keep(fields, Kind::Row, record);
    ++m_rows;
}

void InsertBatch::AddAlone(std::span<const std::string_view> fields, const RecordSpan& record)
{
    Keep(fields, Kind::Alone, record);
}

void InsertBatch::AddRefused(std::string_view description, int step, const RecordSpan& record)
{
    const std::size_t begin = m_side.size();
    m_side.append(description);
    m_entries.push_back({begin, m_side.size(), Kind::Refused, step, record});
}

bool InsertBatch::Full() const
{
    // About the statement's size: each value's quotes and comma besides its bytes; and many tiny
    // values must not take more room in their lists than the bound allows for bytes.
    return m_rows >= m_maxRows || m_bytes.size() + 3 * m_values.size() + m_side.size() >= m_maxBytes ||
           m_values.size() * sizeof(Value) >= m_maxBytes;
}

std::size_t InsertBatch::RowsIn(std::size_t first, std::size_t last) const
{
    std::size_t rows = 0;
    for (std::size_t i = first; i < last; ++i)
        rows += m_entries[i].kind == Kind::Row;
    return rows;
}

void InsertBatch::AppendRow(std::string& statement, const Entry& entry) const
{
    statement += '(';
    for (std::size_t v = entry.begin; v < entry.end; ++v) {
        if (m_values[v].null)
            statement += "NULL";
        else
            AppendQuotedText(statement, Text(m_values[v]));
        statement += ',';
    }
    statement.back() = ')';
}

std::string_view InsertBatch::Statement(std::size_t first, std::size_t last)
{
    m_statement = m_head;
    for (std::size_t i = first; i < last; ++i) {
        if (m_entries[i].kind == Kind::Row) {
            AppendRow(m_statement, m_entries[i]);
            m_statement += ',';
        }
    }
    if (m_statement.size() == m_head.size())
        return {};
    m_statement.pop_back();
    m_statement += m_tail;
    m_statement += ';';
    return m_statement;
}

void InsertBatch::RowValues(std::size_t first, std::size_t last,
                            std::vector<std::optional<std::string_view>>& values) const
{
    values.clear();
    for (std::size_t i = first; i < last; ++i) {
        if (m_entries[i].kind != Kind::Row)
            continue;
        for (std::size_t v = m_entries[i].begin; v < m_entries[i].end; ++v)
            values.push_back(m_values[v].null ? std::nullopt : std::optional(Text(m_values[v])));
    }
}

std::string_view InsertBatch::RowStatement(const Entry& entry)
{
    m_statement = m_head;
    AppendRow(m_statement, entry);
    m_statement += m_tail;
    m_statement += ';';
    return m_statement;
}

void InsertBatch::AddKeys(const Entry& entry, const KeyRule& rule, KeyCount& count) const
{
    count.Add(rule, [&](std::size_t i) -> std::optional<std::string_view> {
        const std::size_t v = entry.begin + i;
        if (v >= entry.end || m_values[v].null)
            return std::nullopt;
        return Text(m_values[v]);
    });
}

void InsertBatch::AddKeys(std::size_t first, std::size_t last, const KeyRule& rule, KeyCount& count) const
{
    for (std::size_t i = first; i < last; ++i) {
        if (m_entries[i].kind == Kind::Row)
            AddKeys(m_entries[i], rule, count);
    }
}

void InsertBatch::Clear()
{
    for (std::string* buffer : {&m_bytes, &m_side, &m_statement}) {
        if (buffer->capacity() > KeptRoom(m_maxBytes))
            std::string().swap(*buffer);
        buffer->clear();
    }
    m_values.clear();
    m_entries.clear();
    m_rows = 0;
}

}  // namespace qb
