#pragma once

#include "run/ImportHost.h"
#include "run/ImportSettings.h"
#include "run/RunSummary.h"

#include <string>
#include <vector>

namespace qb {

// Whether the run did all it was asked, every file imported whole and nothing kept from being written.
bool Succeeded(const ImportSummary& summary);

// Imports every file of the settings; each table created goes to the front
// of settings.TableList. Everything the user should see goes through host.
ImportSummary RunImport(ImportSettings& settings, ImportHost& host);

}  // namespace qb
