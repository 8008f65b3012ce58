#include "import/FieldSplitter.h"

namespace qb {

std::vector<std::string> SplitFields(std::string_view line, std::string_view separator)
{
    std::vector<std::string> fields;
    if (line.empty())
        return fields;
    if (separator.empty()) {
        fields.emplace_back(line);
        return fields;
    }
    std::size_t start = 0;
    for (;;) {
        const auto match = line.find(separator, start);
        if (match == std::string_view::npos) {
            fields.emplace_back(line.substr(start));
            return fields;
        }
        fields.emplace_back(line.substr(start, match - start));
        start = match + separator.size();
    }
}

}  // namespace qb
