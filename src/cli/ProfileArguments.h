#pragma once

#include "run/Profiles.h"

#include <string>
#include <vector>

namespace qb::cli {

// The command line with --profile's options put before its own and --profile
// and --save-profile taken out.
struct ProfileArguments {
    std::vector<std::string> arguments;  // for ParseCommandLine
    std::string saveTo;                  // --save-profile's file, else empty
    std::vector<ProfileEntry> toSave;    // the run's options but its files
};

// Throws UsageError: a bad name, an unreadable profile, a bad line or an
// unknown option in it (naming the file and line).
ProfileArguments ExpandProfile(const std::vector<std::string>& arguments);

}  // namespace qb::cli
