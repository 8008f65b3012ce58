#include "import/InsertBatch.h"

#include "import/StatementBuilder.h"

namespace qb {

void AppendValues(std::string& statement, std::span<const std::string_view> fields)
{
    statement += '(';
    for (const auto field : fields) {
        if (field.empty()) {
            statement += "NULL,";
            continue;
        }
        statement += '\'';
        std::size_t start = 0;
        for (auto quote = field.find('\''); quote != std::string_view::npos; quote = field.find('\'', start)) {
            statement.append(field, start, quote + 1 - start);
            statement += '\'';
            start = quote + 1;
        }
        statement.append(field.substr(start));
        statement += "',";
    }
    statement.back() = ')';
}

InsertBatch::InsertBatch(std::size_t maxRows, std::size_t maxBytes) : m_maxRows(maxRows), m_maxBytes(maxBytes)
{
}

void InsertBatch::Start(std::string_view table)
{
    m_statement = "INSERT INTO " + QuoteIdentifier(table) + " VALUES";
    m_prefix = m_statement.size();
    Clear();
}

void InsertBatch::AddRow(std::span<const std::string_view> fields)
{
    const std::size_t begin = m_statement.size();
    AppendValues(m_statement, fields);
    m_entries.push_back({begin, m_statement.size(), false});
    m_statement += ',';
    ++m_rows;
}

void InsertBatch::AddRefused(std::string_view description)
{
    const std::size_t begin = m_refusals.size();
    m_refusals.append(description);
    m_entries.push_back({begin, m_refusals.size(), true});
}

bool InsertBatch::Full() const
{
    return m_rows >= m_maxRows || m_statement.size() - m_prefix >= m_maxBytes;
}

std::string_view InsertBatch::Statement()
{
    m_statement.back() = ';';
    return m_statement;
}

std::string_view InsertBatch::Single(const Entry& entry)
{
    if (entry.refused)
        return std::string_view(m_refusals).substr(entry.begin, entry.end - entry.begin);
    m_single.assign(m_statement, 0, m_prefix);
    m_single.append(m_statement, entry.begin, entry.end - entry.begin);
    m_single += ';';
    return m_single;
}

void InsertBatch::Clear()
{
    // One huge line's room is given back rather than kept for small ones.
    if (m_statement.capacity() > 2 * m_maxBytes + (std::size_t(1) << 20))
        std::string(m_statement, 0, m_prefix).swap(m_statement);
    if (m_single.capacity() > 2 * m_maxBytes + (std::size_t(1) << 20))
        std::string().swap(m_single);
    m_statement.resize(m_prefix);
    m_refusals.clear();
    m_entries.clear();
    m_rows = 0;
}

}  // namespace qb
