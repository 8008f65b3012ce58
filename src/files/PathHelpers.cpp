#include "files/PathHelpers.h"

#include "base/SafeFile.h"
#include "base/AsciiCase.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

bool CopyOneFile(const std::string& source, const std::string& destination)
{
    try {
        const UniqueFd fd = OpenRegularFileForReading(source, true);
        std::vector<char> buffer(1 << 16);
        SafeFileWriter writer(destination);
        for (;;) {
            const ssize_t got = ::read(fd.Get(), buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return false;
            if (got == 0)
                break;
            writer.Write({buffer.data(), static_cast<std::size_t>(got)});
        }
        writer.Commit();
        return true;
    } catch (...) {
        return false;
    }
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

bool CopyFileReporting(const std::string& source, const std::string& destination)
{
    const char separator = PathSeparator();
    const bool intoFolder = !destination.empty() && destination.back() == separator;
    const std::string folder = ParentFolder(source);
    const std::string name = source.substr(folder.size());

    if (FileExistsOnDisk(source))
        return CopyOneFile(source, intoFolder ? destination + name : destination);

    if (name.find_first_of("?*") == std::string::npos)
        return false;
    std::vector<std::string> matches;
    std::error_code error;
    std::filesystem::directory_iterator it(folder.empty() ? "." : folder, error), end;
    for (; !error && it != end; it.increment(error)) {
        const std::string entry = it->path().filename().string();
        if (MatchesPattern(entry, name) && FileExistsOnDisk(folder + entry))
            matches.push_back(entry);
    }
    std::sort(matches.begin(), matches.end());
    const std::string target = intoFolder ? destination : destination + separator;
    bool copied = false;
    for (const auto& entry : matches)
        copied = CopyOneFile(folder + entry, target + entry) || copied;
    return copied;
}

void CopyFileQuiet(const std::string& source, const std::string& destination)
{
    CopyFileReporting(source, destination);
}

}  // namespace qb
