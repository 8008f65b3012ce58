#pragma once

#include <string>

namespace qb {

// 1204331 as "1,204,331".
std::string GroupedNumber(long value);

// "1 file", "1,204 files": the grouped count and the word that fits it.
std::string CountText(long count, const char* one, const char* many);

}  // namespace qb
