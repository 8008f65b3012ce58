#pragma once

#include <string>
#include <string_view>

namespace qb {

// Appends a value in COPY's text format: backslash, tab, LF and CR escaped,
// every other byte as it is. The value holds no NUL byte (see BulkLoader::Load).
void AppendCopyEscaped(std::string& out, std::string_view value);

}  // namespace qb
