#include "import/InsertBatch.h"

#include "import/Records.h"
#include "import/StatementBuilder.h"

namespace qb {
namespace {

// Room above this is given back after a batch rather than kept for the next.
std::size_t KeptRoom(std::size_t maxBytes)
{
    return 2 * maxBytes + (std::size_t(1) << 20);
}

}  // namespace

void AppendValues(std::string& statement, std::span<const std::string_view> fields)
{
    statement += '(';
    for (const auto field : fields) {
        if (field.empty()) {
            statement += IsQuotedEmpty(field) ? "''," : "NULL,";
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

void InsertBatch::AddRow(std::span<const std::string_view> fields, const RecordSpan& record)
{
    const std::size_t begin = m_statement.size();
    AppendValues(m_statement, fields);
    m_entries.push_back({begin, m_statement.size(), Kind::Row, 0, record});
    m_statement += ',';
    ++m_rows;
}

void InsertBatch::AddAlone(std::span<const std::string_view> fields, const RecordSpan& record)
{
    const std::size_t begin = m_side.size();
    AppendValues(m_side, fields);
    m_entries.push_back({begin, m_side.size(), Kind::Alone, 0, record});
}

void InsertBatch::AddRefused(std::string_view description, int step, const RecordSpan& record)
{
    const std::size_t begin = m_side.size();
    m_side.append(description);
    m_entries.push_back({begin, m_side.size(), Kind::Refused, step, record});
}

bool InsertBatch::Full() const
{
    return m_rows >= m_maxRows || m_statement.size() - m_prefix + m_side.size() >= m_maxBytes;
}

std::string_view InsertBatch::Fragment(const Entry& entry) const
{
    const std::string& buffer = entry.kind == Kind::Row ? m_statement : m_side;
    return std::string_view(buffer).substr(entry.begin, entry.end - entry.begin);
}

std::size_t InsertBatch::RowsIn(std::size_t first, std::size_t last) const
{
    std::size_t rows = 0;
    for (std::size_t i = first; i < last; ++i)
        rows += m_entries[i].kind == Kind::Row;
    return rows;
}

std::string_view InsertBatch::Statement(std::size_t first, std::size_t last)
{
    if (first == 0 && last == m_entries.size()) {
        if (m_rows == 0)
            return {};
        m_statement.back() = ';';
        return m_statement;
    }
    m_part.assign(m_statement, 0, m_prefix);
    for (std::size_t i = first; i < last; ++i) {
        if (m_entries[i].kind == Kind::Row) {
            m_part.append(Fragment(m_entries[i]));
            m_part += ',';
        }
    }
    if (m_part.size() == m_prefix)
        return {};
    m_part.back() = ';';
    return m_part;
}

std::string_view InsertBatch::Single(const Entry& entry)
{
    if (entry.kind == Kind::Refused)
        return Fragment(entry);
    m_part.assign(m_statement, 0, m_prefix);
    m_part.append(Fragment(entry));
    m_part += ';';
    return m_part;
}

void InsertBatch::Clear()
{
    if (m_statement.capacity() > KeptRoom(m_maxBytes))
        std::string(m_statement, 0, m_prefix).swap(m_statement);
    for (std::string* buffer : {&m_side, &m_part}) {
        if (buffer->capacity() > KeptRoom(m_maxBytes))
            std::string().swap(*buffer);
    }
    m_statement.resize(m_prefix);
    m_side.clear();
    m_entries.clear();
    m_rows = 0;
}

}  // namespace qb
