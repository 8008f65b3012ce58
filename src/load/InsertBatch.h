#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace qb {

class KeyCount;
struct KeyRule;

// Where a record is: the line it began on in the file, and its bytes in the
// working copy (none for a record that was never read back).
struct RecordSpan {
    long line = 0;
    off_t offset = 0;
    std::size_t length = 0;
    long record = -1;  // its place among the working copy's records
};

// Consecutive data lines gathered to be sent together: as one multi-row
// INSERT, or as values for a database's own bulk path. Each row's values
// are kept as they are, so any row, or any run of rows, can be sent again
// on its own. Lines that do not go with the rows keep their place, so that
// reports come out in file order.
class InsertBatch {
public:
    enum class Kind {
        Row,      // one of the batch's rows
        Alone,    // certain to be refused: sent by itself, for the database's own words
        Refused,  // refused before sending; its text is the report
    };
    struct Entry {
        std::size_t begin;  // a Row's or Alone's values, or a Refused one's text
        std::size_t end;
        Kind kind;
        int step;  // a Refused entry's report line
        RecordSpan record;
    };
    // A value: bytes in the batch's buffer, or NULL.
    struct Value {
        std::size_t begin;
        std::size_t size;
        bool null;
    };

    InsertBatch(std::size_t maxRows, std::size_t maxBytes);

    // quotedTarget: the table (and its column list) as the statement writes it; before and after: what a
    // statement writes before "INSERT" and after its rows.
    void Start(std::string_view quotedTarget, std::string_view before = {}, std::string_view after = {});
    void SetBounds(std::size_t maxRows, std::size_t maxBytes)
    {
        m_maxRows = maxRows;
        m_maxBytes = maxBytes;
    }
    void AddRow(std::span<const std::string_view> fields, const RecordSpan& record);
    void AddAlone(std::span<const std::string_view> fields, const RecordSpan& record);
    void AddRefused(std::string_view description, int step, const RecordSpan& record);
    // Full once the next row could pass a bound.
    bool Full() const;
    bool Empty() const { return m_entries.empty(); }
    const std::vector<Entry>& Entries() const { return m_entries; }

    // One statement for the rows among entries [first, last); none when
    // there are none. Valid until the next call.
    std::string_view Statement(std::size_t first, std::size_t last);
    std::size_t RowsIn(std::size_t first, std::size_t last) const;
    // The values of the rows among entries [first, last), row after row;
    // NULL as std::nullopt. Valid until the batch changes.
    void RowValues(std::size_t first, std::size_t last, std::vector<std::optional<std::string_view>>& values) const;
    // Whether any value of the batch holds a NUL byte.
    bool HoldsNul() const { return m_bytes.find('\0') != std::string::npos; }
    // The statement of a Row or Alone entry by itself. Valid until the next call.
    std::string_view RowStatement(const Entry& entry);
    // The keys of the rows among entries [first, last), or of the one entry, into count.
    void AddKeys(std::size_t first, std::size_t last, const KeyRule& rule, KeyCount& count) const;
    void AddKeys(const Entry& entry, const KeyRule& rule, KeyCount& count) const;
    // A Refused entry's text: why it was refused.
    std::string_view RefusalText(const Entry& entry) const
    {
        return std::string_view(m_side).substr(entry.begin, entry.end - entry.begin);
    }
    void Clear();

private:
    void Keep(std::span<const std::string_view> fields, Kind kind, const RecordSpan& record);
    void AppendRow(std::string& statement, const Entry& entry) const;
    std::string_view Text(const Value& value) const
    {
        return std::string_view(m_bytes).substr(value.begin, value.size);
    }

    std::size_t m_maxRows;
    std::size_t m_maxBytes;
    std::string m_head;       // "INSERT INTO "T" VALUES"
    std::string m_tail;       // after the rows
    std::string m_bytes;      // the values' bytes
    std::vector<Value> m_values;
    std::string m_side;       // texts of refused entries
    std::string m_statement;  // the last statement built
    std::vector<Entry> m_entries;
    std::size_t m_rows = 0;
};

}  // namespace qb
