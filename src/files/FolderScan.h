#pragma once

#include "base/ErrorReport.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// Attribute bits, as the folder scan tests them. On Linux: hidden is a name
// beginning with ".", read-only a missing owner write bit, a reparse point a
// symbolic link; there is no system bit.
enum FileAttribute : int {
    kReadOnly = 1,
    kHidden = 2,
    kSystem = 4,
    kDirectory = 16,
    kArchive = 32,
    kReparsePoint = 1024,
};

// The sum of the path's attribute bits; 0 when it cannot be examined.
int FileAttributes(const std::string& path);

// True for a name the walk must not enter: a control character, a character
// from 127 to 159, a "?", or bytes that are not text in the locale's encoding.
bool HasUnusualCharacters(std::string_view name);

// The walk's surroundings: yield runs at every folder and sub-folder.
struct ScanHost {
    std::function<void()> yield;
    ErrorReporter& reporter;
};

// Extends the folder list (each entry ending with the separator) with the
// folders below its entries, level by level, names sorted within a parent.
// Folders that cannot be listed leave the list; links to folders are never
// followed, so a loop cannot make the walk endless.
void GetSubDirectories2016(std::vector<std::string>& folders, bool recurse, const ScanHost& host);

// The names of the files in folder matching pattern ('*' and '?', any case;
// "*.*" matches every name), in byte order.
std::vector<std::string> GetFilesInFolder(const std::string& folder, std::string_view pattern);

// Appends every file of the folder's tree whose name matches "*." + the
// extension, leaving out names beginning with "~" and writable hidden files.
void AddFilesFromFolderTree(const std::string& folder, const std::string& extension,
                            const std::function<void(const std::string&)>& append, const ScanHost& host);

}  // namespace qb
