#include "files/FolderScan.h"

#include "files/PathHelpers.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <langinfo.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb {
namespace {

constexpr std::size_t kPathLimit = PATH_MAX;  // 4096 on Linux
constexpr int kProtectedFolder = kHidden | kSystem | kDirectory;
constexpr int kProtectedJunction = kProtectedFolder | kReparsePoint;
constexpr int kHiddenWritableFile = kHidden | kArchive;

const char* const kWalkProcedure = "in Harnwick2021/08/31.AddFolder.GetSubDirectories2016 ";

// One character of name in the locale's encoding: its length in bytes, or
// 0 when the bytes are not text. A plain ASCII locale, as under CI or a bare
// shell, is read as UTF-8, the encoding file names on Linux are written in.
std::size_t DecodeCharacter(std::string_view text, std::uint32_t& code)
{
    static const bool utf8 = [] {
        const std::string codeset = ::nl_langinfo(CODESET);
        return codeset == "UTF-8" || codeset == "ANSI_X3.4-1968";
    }();
    if (!utf8) {
        std::mbstate_t state{};
        wchar_t character = 0;
        const std::size_t used = std::mbrtowc(&character, text.data(), text.size(), &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2))
            return 0;
        code = static_cast<std::uint32_t>(character);
        return used == 0 ? 1 : used;
    }
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

bool IsRootFolder(const std::string& folder)
{
    return folder.find_first_not_of(PathSeparator()) == std::string::npos;
}

bool MayWalkInto(const std::string& folder)
{
    const int attributes = FileAttributes(folder);
    return IsRootFolder(folder) || (attributes != kProtectedFolder && attributes != kProtectedJunction);
}

enum class Listing { Complete, Refused, Failed };

// The sub-folder names of folder, sorted; links to folders are left out.
Listing ListSubFolders(const std::string& folder, std::vector<std::string>& names, const ScanHost& host)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return errno == EACCES || errno == ENOENT || errno == ENOTDIR ? Listing::Refused : Listing::Failed;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        host.yield();
        const std::string name = entry->d_name;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode))
            continue;
        if (name.size() >= kPathLimit || HasUnusualCharacters(name) || name.find('?') != std::string::npos ||
            name == "." || name == "..")
            continue;
        names.push_back(name);
    }
    const int error = errno;
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    if (error == 0)
        return Listing::Complete;
    return error == EACCES || error == ENOENT ? Listing::Refused : Listing::Failed;
}

}  // namespace

int FileAttributes(const std::string& path)
{
    struct stat link {};
    if (path.empty() || ::lstat(path.c_str(), &link) != 0)
        return 0;
    struct stat info = link;
    int attributes = 0;
    if (S_ISLNK(link.st_mode)) {
        attributes |= kReparsePoint;
        if (::stat(path.c_str(), &info) != 0)
            return attributes;
    }
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == PathSeparator())
        trimmed.pop_back();
    const std::string name = trimmed.substr(ParentFolder(trimmed).size());
    if (!name.empty() && name.front() == '.' && name != "." && name != "..")
        attributes |= kHidden;
    if (!(info.st_mode & S_IWUSR))
        attributes |= kReadOnly;
    if (S_ISDIR(info.st_mode))
        attributes |= kDirectory;
    else if (S_ISREG(info.st_mode))
        attributes |= kArchive;
    return attributes;
}

bool HasUnusualCharacters(std::string_view name)
{
    for (std::size_t at = 0; at < name.size();) {
        std::uint32_t code = 0;
        const std::size_t used = DecodeCharacter(name.substr(at), code);
        if (used == 0 || code < 32 || (code >= 127 && code <= 159) || code == '?')
            return true;
        at += used;
    }
    return false;
}

void GetSubDirectories2016(std::vector<std::string>& folders, bool recurse, const ScanHost& host)
{
    StepRunner steps(host.reporter, kWalkProcedure);
    std::vector<std::string> found;
    const std::vector<std::string> pass = folders;
    for (const auto& folder : pass) {
        if (!IsDirectory(folder) || folder.size() >= kPathLimit)
            continue;
        host.yield();
        if (!MayWalkInto(folder))
            continue;
        std::vector<std::string> names;
        Listing listing = Listing::Failed;
        steps.Run(118, [&] { listing = ListSubFolders(folder, names, host); });
        for (const auto& name : names)
            found.push_back(folder + name + PathSeparator());
        if (listing == Listing::Refused) {
            const auto it = std::find(folders.begin(), folders.end(), folder);
            if (it != folders.end())
                folders.erase(it);
        }
    }
    if (recurse && !found.empty())
        GetSubDirectories2016(found, true, host);
    for (const auto& folder : found) {
        if (!IsDirectory(folder))
            continue;
        host.yield();
        if (MayWalkInto(folder))
            folders.push_back(folder);
    }
}

std::vector<std::string> GetFilesInFolder(const std::string& folder, std::string_view pattern)
{
    std::string base = folder;
    if (base.empty() || base.back() != PathSeparator())
        base += PathSeparator();
    std::vector<std::string> names;
    DIR* dir = ::opendir(base.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && MatchesPattern(name, pattern) && FileExistsOnDisk(base + name))
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void AddFilesFromFolderTree(const std::string& folder, const std::string& extension,
                            const std::function<void(const std::string&)>& append, const ScanHost& host)
{
    const char separator = PathSeparator();
    std::vector<std::string> folders{folder + separator};
    GetSubDirectories2016(folders, true, host);
    for (auto entry : folders) {
        entry.pop_back();
        for (const auto& name : GetFilesInFolder(entry, "*." + extension)) {
            if (name.front() == '~')
                continue;
            const std::string path = entry + separator + name;
            if (FileExistsOnDisk(path) && FileAttributes(path) != kHiddenWritableFile)
                append(NormalizePath(path));
        }
    }
}

}  // namespace qb
