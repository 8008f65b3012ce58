#pragma once

#include "read/FileRecords.h"

#include <cstdint>
#include <string_view>

// A file's bytes read the other ways a format allows, each held against the
// usual reading: another quote character (the file with that character and
// the double quote swapped reads as the same records, swapped back), lines
// skipped before the first record (the same records past them, with the
// file's own line numbers), and a first line that is data as well as the
// header. choices picks the character and the number of lines.
void FormatRound(std::string_view file, const qb::FileFormat& format, std::uint32_t choices);
