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

// A separator as the log names it: "tab" and "space", which cannot be seen; others as they are.
std::string SeparatorName(std::string_view separator);

// A file's separator where each file's is guessed, and what the log says of it: the guess, or, where
// the file gives none (one column, too few lines), fallback. A file that cannot be read gives
// fallback too, its reading saying why.
struct FileSeparator {
    std::string separator;
    std::string note;  // "separator guessed: ;"
};
FileSeparator GuessFileSeparator(int fd, const std::string& name, const FileFormat& format,
                                 const std::string& fallback);

}  // namespace qb
