#pragma once

#include "import/ImportSettings.h"

#include <string>
#include <vector>

namespace qb {

// What an import of one file would come to.
struct DryRunFile {
    std::string path;
    std::string table;
    long records = 0;     // data records that would be sent or refused
    long mismatched = 0;  // of them, those whose field count is not the column count
    std::string outcome;  // "would be created", "would be appended", "would go on after line N",
                          // "already imported on WHEN", or "skipped: " and why
    bool skipped = false;
    std::vector<std::string> columns;  // with guessed types: "name TYPE" for each column it would create
};

struct DryRunResult {
    std::string refusal;  // a check the run would stop at; then nothing else is filled
    std::vector<DryRunFile> files;
    bool clean = false;   // nothing skipped, nothing mismatched
};

// Everything an import does except change the database: reads every file
// with the chosen options, connects, checks the table names and the append
// target's column count. Writes no working copy and sends no statement that
// changes anything.
DryRunResult DryRun(const ImportSettings& settings);

// "path: table, 1,204 records, 3 mismatched: would be created"
std::string DryRunLine(const DryRunFile& file);
// "3 files: 2 would be created, 1 skipped; 1,210 records, 3 mismatched"
std::string DryRunSummary(const DryRunResult& result);

}  // namespace qb
