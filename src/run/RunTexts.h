#pragma once

#include "run/ImportHost.h"
#include "base/CountText.h"
#include "run/RunSummary.h"

#include <string>

namespace qb {

// "12 files, 1,204,331 rows imported, 3 lines rejected, 1 file skipped, in 14.2 s"; where a key decides
// what a duplicate does, "5 rows inserted, 3 updated, 0 skipped, " in place of the rows imported (and
// in the final box's first line, of the rows stored),
// with ", 1 file cut short" before "in" when a file ended early. A stopped run's
// begins with "Import stopped." and StoppedText instead of the files and skipped.
// Either has "1 file read in a guessed encoding, " and "1 UTF-8 file read in a
// single-byte encoding, " before "in" where there are such files.
std::string SummaryText(const ImportSummary& summary);
// What a finished run did, a sentence a line, for the final box under its word:
// rows stored and lines refused, then only what happened: files skipped, already
// imported, continued, cut short.
std::string OutcomeText(const ImportSummary& summary);
// "5 rows inserted, 3 updated, 0 skipped." where a key decided what a duplicate did; else empty.
std::string KeyCountsText(const ImportSummary& summary);
// "3 of 12 files reached: 1 done, 1 skipped, 1 stopped midway; 9 not reached."
std::string StoppedText(const ImportSummary& summary);
// "File 3 of 12: orders.csv, 120,000 rows, 85,000 rows/s, about 0:42 left"; "orders.csv in /data/may"
// where another listed file has the same name; "(continued after line 1,221,001)" after the name
// where an earlier run stored part of the file, whose rows count too.
std::string StatusText(const ImportProgress& progress);

}  // namespace qb
