#pragma once

#include "import/ImportHost.h"
#include "import/ImportSettings.h"

#include <string>
#include <vector>

namespace qb {

// What a run came to, for front ends that need more than the messages.
struct ImportSummary {
    bool started = false;       // false when another run was under way
    std::string finalMessage;   // the check message, "Done." or "Table(s) already exist."
    int filesSkipped = 0;       // for any reason: listed table, mismatch, no answer, failure
    int errorReports = 0;
    long rowsSent = 0;
};

// True when some entry equals name, ignoring case.
bool TableListed(const std::vector<std::string>& list, const std::string& name);

// Imports every file of the settings; each table created goes to the front
// of settings.TableList. Everything the user should see goes through host.
ImportSummary RunImport(ImportSettings& settings, ImportHost& host);

}  // namespace qb
