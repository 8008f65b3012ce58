#include "files/PathHelpers.h"

#include "base/AsciiCase.h"

#include <filesystem>
#include <sys/stat.h>

namespace qb {
namespace {

std::string HalveSeparatorPairs(std::string_view path, char separator)
{
    std::string result;
    result.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        result += path[i];
        if (path[i] == separator && i + 1 < path.size() && path[i + 1] == separator)
            ++i;
    }
    return result;
}

}  // namespace

char PathSeparator(PathStyle style)
{
    return style == PathStyle::Windows ? '\\' : '/';
}

std::string ParentFolder(std::string_view path, PathStyle style)
{
    const auto last = path.rfind(PathSeparator(style));
    if (last == std::string_view::npos)
        return {};
    return std::string(path.substr(0, last + 1));
}

std::string NormalizePath(std::string_view path, PathStyle style)
{
    const char separator = PathSeparator(style);
    if (path.empty() || path.front() != separator)
        return HalveSeparatorPairs(path, separator);
    auto rest = path.find_first_not_of(separator, 1);
    if (rest == std::string_view::npos)
        rest = path.size();
    const std::string prefix(style == PathStyle::Windows ? 2 : 1, separator);
    return prefix + HalveSeparatorPairs(path.substr(rest), separator);
}

bool IsDirectory(const std::string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

bool FileExistsOnDisk(const std::string& path)
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool MatchesPattern(std::string_view name, std::string_view pattern)
{
    if (pattern == "*.*")
        return true;
    // Iterative wildcard match with one backtracking point for the last '*'.
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace qb
