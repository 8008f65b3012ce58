#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb {

// Cuts a line at every exact, non-overlapping match of the separator, left
// to right, into views of the line in the caller's vector, which is reused.
// An empty line has no fields; an empty separator gives the whole line as
// one field. Quotes mean nothing and nothing is trimmed.
void SplitFieldsInto(std::string_view line, std::string_view separator, std::vector<std::string_view>& fields);

}  // namespace qb
