#include "check/KeyCheck.h"

#include "read/Records.h"

namespace qb {

std::string KeyCheck::Problem(std::span<const std::string_view> fields, long line)
{
    m_key.clear();
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const std::string_view field = fields[m_fields[i]];
        // An empty field is NULL, which a key column does not take; "" is the empty text.
        if (field.empty() && !IsQuotedEmpty(field))
            return "the key column " + m_names[i] + " is empty";
        // Each value by its length first, so that no two keys run together alike.
        m_key += std::to_string(field.size());
        m_key += ':';
        m_key += field;
    }
    const auto [seen, added] = m_seen.try_emplace(m_key, line);
    if (added)
        return {};
    return "line " + std::to_string(line) + " repeats the key of line " + std::to_string(seen->second);
}

}  // namespace qb
