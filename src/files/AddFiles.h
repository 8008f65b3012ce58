#pragma once

#include "files/FolderScan.h"

#include <functional>
#include <string>
#include <vector>

namespace qb {

// The open dialog's result: one full path, taken as it is; or the folder and
// then each picked name, separated by NUL characters, joined and normalised,
// except a name that is a full path, which is taken as it is. An empty
// result (cancelled) gives nothing.
std::vector<std::string> PickedPaths(const std::string& result);

// Dropped paths in drop order: a folder adds every file of its tree, anything
// else is appended exactly as dropped.
void AddDroppedPaths(const std::vector<std::string>& paths, const std::function<void(const std::string&)>& append,
                     const ScanHost& host);

}  // namespace qb
