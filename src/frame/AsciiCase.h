#pragma once

#include <string>
#include <string_view>

namespace qb {

// Case folding of A-Z only: names are bytes, and other bytes keep their case.
char LowerAscii(char c);
std::string LowerAscii(std::string_view text);

}  // namespace qb
