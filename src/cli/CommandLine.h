#pragma once

#include "run/ImportSettings.h"

#include <string>
#include <vector>

namespace qb::cli {

struct CommandLine {
    enum class Action { Import, ListTables, ListSources, Help, Version, DryRun };
    Action action = Action::Import;
    ImportSettings settings;  // with the main window's initial values
    std::string summaryPath;  // --summary: where the run's JSON goes ("-": standard output); empty: none
    bool quiet = false;       // --quiet: errors only
    bool verbose = false;     // --verbose: a line per file too
};

// A usage error: unknown option, missing value, no data source.
struct UsageError {
    std::string message;
};

extern const char* const kUsage;
// What --help prints after the usage lines: the options and exit statuses.
extern const char* const kHelp;

// Throws UsageError.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace qb::cli
