#pragma once

#include <string>
#include <string_view>

namespace qb {

// Windows paths use the backslash and keep a doubled prefix for network
// paths; POSIX paths use the slash and have no such prefix.
enum class PathStyle { Windows, Posix };

inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;

char PathSeparator(PathStyle style = kNativePathStyle);

// The path up to and including its last separator; empty when it has none.
std::string ParentFolder(std::string_view path, PathStyle style = kNativePathStyle);

// Halves doubled separators in one pass; a leading run of separators becomes
// exactly two (Windows) or exactly one (POSIX).
std::string NormalizePath(std::string_view path, PathStyle style = kNativePathStyle);

// True for an existing folder, a link to one included. Never throws.
bool IsDirectory(const std::string& path);

// True for an existing regular file (a link to one included), whatever its
// permissions. Never reads, changes or throws.
bool FileExistsOnDisk(const std::string& path);

// Case-insensitive match with '*' and '?', as the file system's own patterns.
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace qb
