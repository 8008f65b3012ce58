#pragma once

#include "run/ImportSettings.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qb {

// A record the import would refuse, as the dry run found it.
struct DryRunProblem {
    long line = 0;       // the file line it begins on
    std::string reason;  // "3 values, the table has 4 columns", or the reader's own note
    std::string text;    // its first bytes as read (UTF-8 when converted), at most kDryRunProblemBytes
};
// Per file, so that memory stays flat however many records are refused.
inline constexpr std::size_t kDryRunProblemsKept = 100;
// Room for some 60 characters of any script.
inline constexpr std::size_t kDryRunProblemBytes = 240;

// What an import of one file would come to.
struct DryRunFile {
    std::string path;
    std::string table;
    long records = 0;     // data records that would be sent or refused
    long mismatched = 0;  // of them, those the run would refuse: a field count that is not the column count,
                          // or a value the type chosen for its column in the preview does not take
    std::string outcome;  // "would be created", "would be appended", "would go on after line N",
                          // "already imported on WHEN", "skipped: " and why, or "not read to its end"
                          // when cancelled
    bool skipped = false;
    std::string key;  // appending where a key decides: which, and what a line whose row is there would do
    std::vector<std::string> columns;  // with guessed types: "name TYPE" for each column it would create
    std::string mapping;  // appending by name: "columns by name: qty -> qty, day -> day, ..."
    // The first kDryRunProblemsKept mismatched records, in file order, and how many more there are.
    // None when the file is skipped for its column count: every record would say the same.
    std::vector<DryRunProblem> problems;
    long unlisted = 0;
    bool finished = true;  // false: the run was cancelled while it read this file
    // The file is UTF-8 with letters beyond ASCII and a single-byte encoding is chosen: why that would
    // store them wrongly; and columns edited in the preview that its first line no longer names. The run
    // goes through all the same.
    std::string warning;
    // How the file is read where that is decided per file: "separator guessed: ;".
    std::string note;
};

struct DryRunResult {
    std::string refusal;  // a check the run would stop at; then nothing else is filled
    std::vector<DryRunFile> files;
    bool clean = false;   // nothing skipped, nothing mismatched
    bool cancelled = false;  // files then holds those read so far, the last perhaps in part
};

// Lets a caller on another thread follow a dry run and stop it.
struct DryRunControl {
    // Before each file is read: its place from 1, the number of files, its path as messages name it.
    std::function<void(int file, int files, const std::string& path)> onFile;
    // Once set, the run stops before the next file or within a few thousand records.
    const std::atomic<bool>* cancel = nullptr;
};

// Everything an import does except change the database: reads every file
// with the chosen options, connects, checks the table names and the append
// target's column count. Writes no working copy and sends no statement that
// changes anything.
DryRunResult DryRun(const ImportSettings& settings, const DryRunControl& control = {});

// "path: table, 1,204 records, 3 mismatched: would be created"
std::string DryRunLine(const DryRunFile& file);
// "3 files: 2 would be created, 1 skipped; 1,210 records, 3 mismatched"
std::string DryRunSummary(const DryRunResult& result);

}  // namespace qb
