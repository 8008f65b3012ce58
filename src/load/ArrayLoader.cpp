#include "load/NativeLoaders.h"

#include "load/KeyRule.h"
#include "odbc/Database.h"

#include <algorithm>
#include <vector>

namespace qb {
namespace {

// The most bytes one chunk of a parameter array takes: columns are bound at
// the width of their longest value, so an odd long value must not multiply.
constexpr std::size_t kArrayBytes = std::size_t(8) << 20;

class ArrayLoader : public BulkLoader {
public:
    explicit ArrayLoader(Connection& connection) : m_connection(connection) {}

    void Load(const std::string& quotedTable, std::size_t columns,
              std::span<const std::optional<std::string_view>> values, std::span<const std::string> also,
              KeyedLoad* keyed) override
    {
        if (columns == 0 || values.empty())
            return;
        std::string text = "INSERT INTO " + quotedTable + " VALUES(";
        for (std::size_t i = 0; i < columns; ++i)
            text += "?,";
        text.back() = ')';
        // Each row of the array goes as if by itself: a repeated key meets the row the one before it left.
        if (keyed) {
            text += keyed->rule.after;
            m_count.Start(keyed->rule);
            m_count.AddValues(keyed->rule, values, columns);
        }
        m_widths.assign(columns, 1);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (values[i])
                m_widths[i % columns] = std::max(m_widths[i % columns], values[i]->size());
        }
        std::size_t rowBytes = 0;
        for (const std::size_t width : m_widths)
            rowBytes += width;
        const std::size_t rows = values.size() / columns;
        const std::size_t chunk = std::max<std::size_t>(1, kArrayBytes / rowBytes);
        const auto store = [&] {
            for (std::size_t first = 0; first < rows; first += chunk)
                m_connection.ExecuteArray(text, Lay(values, columns, first, std::min(chunk, rows - first)));
        };
        m_connection.InOneTransaction(
            [&] {
                if (keyed)
                    keyed->inserted = m_count.Around(m_connection, store);
                else
                    store();
            },
            also);
        // A batch of huge values gives its room back.
        if (m_bytes.size() > kArrayBytes) {
            m_bytes.clear();
            m_bytes.shrink_to_fit();
        }
    }

private:
    // Rows [first, first + rows) laid out column after column, each value at its column's width.
    ParameterArray Lay(std::span<const std::optional<std::string_view>> values, std::size_t columns,
                       std::size_t first, std::size_t rows)
    {
        std::size_t total = 0;
        for (const std::size_t width : m_widths)
            total += width * rows;
        m_bytes.resize(std::max<std::size_t>(total, 1));
        m_lengths.resize(columns * rows);
        std::size_t at = 0;
        for (std::size_t column = 0; column < columns; ++column) {
            char* const base = m_bytes.data() + at;
            std::int64_t* const length = m_lengths.data() + column * rows;
            for (std::size_t row = 0; row < rows; ++row) {
                const auto& value = values[(first + row) * columns + column];
                if (!value) {
                    length[row] = kNullLength;
                    continue;
                }
                std::copy(value->begin(), value->end(), base + row * m_widths[column]);
                length[row] = static_cast<std::int64_t>(value->size());
            }
            at += m_widths[column] * rows;
        }
        return {rows, m_widths, m_bytes, {m_lengths.data(), columns * rows}};
    }

    Connection& m_connection;
    KeyCount m_count;
    std::vector<std::size_t> m_widths;
    std::vector<char> m_bytes;
    std::vector<std::int64_t> m_lengths;
};

}  // namespace

std::unique_ptr<BulkLoader> OpenArrayLoader(Connection& connection)
{
    return std::make_unique<ArrayLoader>(connection);
}

}  // namespace qb
