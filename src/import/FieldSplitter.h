#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb {

// Cuts a line at every exact, non-overlapping match of the separator, left
// to right. An empty line has no fields; an empty separator gives the whole
// line as one field. Quotes mean nothing and nothing is trimmed.
std::vector<std::string> SplitFields(std::string_view line, std::string_view separator);

// The same cut into views of the line, reusing the caller's vector.
void SplitFieldsInto(std::string_view line, std::string_view separator, std::vector<std::string_view>& fields);

}  // namespace qb
