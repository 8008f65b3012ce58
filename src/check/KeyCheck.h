#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qb {

// The dry run's look at a new table's primary key: each record's key is whole and comes once. Holds one
// entry per distinct key, not the file.
class KeyCheck {
public:
    // fields: the file's fields of the key, names: its columns as the table names them.
    KeyCheck(std::vector<std::size_t> fields, std::vector<std::string> names)
        : m_fields(std::move(fields)), m_names(std::move(names))
    {
    }

    bool Active() const { return !m_fields.empty(); }
    // Why the run would refuse the record of this line for its key, or empty text.
    std::string Problem(std::span<const std::string_view> fields, long line);

private:
    std::vector<std::size_t> m_fields;
    std::vector<std::string> m_names;
    std::unordered_map<std::string, long> m_seen;  // each key, and the line that gave it first
    std::string m_key;
};

}  // namespace qb
