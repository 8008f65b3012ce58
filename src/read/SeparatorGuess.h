#pragma once

#include "read/FileRecords.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

// The separators offered beside the separator box, in the order a tie is
// settled in: comma, semicolon, tab, pipe, space.
inline constexpr std::array<std::string_view, 5> kSeparatorChoices = {",", ";", "\t", "|", " "};

// The choice that cuts the most of the file's first `records` records into
// the same number of fields, more than one; nothing when none does. The
// file is read as the import reads it in `format` (its quotes, encoding and
// limit; its separator is ignored). Throws as FileRecords does.
std::optional<std::string> GuessSeparator(int fd, const std::string& name, const FileFormat& format,
                                          std::size_t records = 100);

// The same for a file to import, opened as the import opens it (a packed one
// is spooled first). Throws std::system_error, PackedFileError and NotImportable.
std::optional<std::string> GuessSeparator(const std::string& path, const FileFormat& format);

}  // namespace qb
