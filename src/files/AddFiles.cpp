#include "files/AddFiles.h"

#include "files/PathHelpers.h"

namespace qb {

std::vector<std::string> PickedPaths(const std::string& result)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = result.find('\0', start);
        parts.push_back(result.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (result.empty())
        return {};
    if (parts.size() == 1)
        return parts;
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].empty())  // a trailing separator names no file
            continue;
        if (parts[i].front() == PathSeparator())  // typed with its own folder
            paths.push_back(parts[i]);
        else
            paths.push_back(NormalizePath(parts[0] + PathSeparator() + parts[i]));
    }
    return paths;
}

void AddDroppedPaths(const std::vector<std::string>& paths, const std::function<void(const std::string&)>& append,
                     const ScanHost& host)
{
    for (const auto& path : paths) {
        if (IsDirectory(path))
            AddFilesFromFolderTree(path, "*", append, host);
        else
            append(path);
    }
}

}  // namespace qb
