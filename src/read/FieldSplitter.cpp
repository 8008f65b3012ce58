#include "read/FieldSplitter.h"

#include <cstring>

namespace qb {

void SplitFieldsInto(std::string_view line, std::string_view separator, std::vector<std::string_view>& fields)
{
    fields.clear();
    if (line.empty())
        return;
    if (separator.empty()) {
        fields.push_back(line);
        return;
    }
    const char* const end = line.data() + line.size();
    const char first = separator.front();
    const char* start = line.data();
    const char* at = start;
    for (;;) {
        at = static_cast<const char*>(std::memchr(at, first, static_cast<std::size_t>(end - at)));
        if (!at || static_cast<std::size_t>(end - at) < separator.size()) {
            fields.emplace_back(start, static_cast<std::size_t>(end - start));
            return;
        }
        if (std::memcmp(at, separator.data(), separator.size()) != 0) {
            ++at;
            continue;
        }
        fields.emplace_back(start, static_cast<std::size_t>(at - start));
        at += separator.size();
        start = at;
    }
}

}  // namespace qb
