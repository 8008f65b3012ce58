#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// Consecutive data lines as one multi-row INSERT. Each row's value list is
// the one its own single-row statement would carry, so any row can be sent
// again alone. Lines refused before sending keep their place in the batch,
// so their reports come out in file order.
class InsertBatch {
public:
    struct Entry {
        std::size_t begin;  // the row's "(...)" in the statement, or the refusal text
        std::size_t end;
        bool refused;
    };

    InsertBatch(std::size_t maxRows, std::size_t maxBytes);

    void Start(std::string_view table);
    void AddRow(std::span<const std::string_view> fields);
    void AddRefused(std::string_view description);
    // Full once the next row could pass a bound.
    bool Full() const;
    bool Empty() const { return m_entries.empty(); }
    std::size_t Rows() const { return m_rows; }

    // Every row in one statement; valid until the next change.
    std::string_view Statement();
    const std::vector<Entry>& Entries() const { return m_entries; }
    // The single-row statement of a row entry, or the text of a refused one.
    std::string_view Single(const Entry& entry);
    void Clear();

private:
    std::size_t m_maxRows;
    std::size_t m_maxBytes;
    std::string m_statement;  // "INSERT INTO "T" VALUES" then "(...)," per row
    std::size_t m_prefix = 0;
    std::string m_refusals;
    std::string m_single;
    std::vector<Entry> m_entries;
    std::size_t m_rows = 0;
};

// Appends "(v1,v2,...)": quoted texts with apostrophes doubled, NULL for
// empty fields. The fields must not be empty.
void AppendValues(std::string& statement, std::span<const std::string_view> fields);

}  // namespace qb
