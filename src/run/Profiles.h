#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qb {

// A profile: a run's options kept under a name, one "option = value" a line,
// read and written the same way by the command line and the window.
struct ProfileEntry {
    std::string option;  // the long option's name without its dashes
    std::string value;
    int line = 0;  // where it stood in the file; 0 for an entry not read from one
};

// A profile file that cannot be read or a line that is not "option = value";
// the message names the file and, for a bad line, its number.
struct ProfileError {
    std::string message;
};

// Letters, digits, '-', '_' and '.', not '.' first: never a path.
bool ValidProfileName(const std::string& name);

// $XDG_CONFIG_HOME/quillbarrow/profiles/NAME.conf, else under ~/.config.
// Throws ProfileError for a name that is not valid.
std::string ProfilePath(const std::string& name);

// Throws ProfileError.
std::vector<ProfileEntry> ReadProfile(const std::string& path);

// Replaces the file (made 0600, its folder 0700). Throws ProfileError.
void WriteProfile(const std::string& path, const std::vector<ProfileEntry>& entries);

}  // namespace qb
