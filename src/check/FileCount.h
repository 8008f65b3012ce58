#pragma once

#include "check/DryRun.h"
#include "run/ImportSettings.h"
#include "schema/ColumnMatch.h"
#include "schema/ValueGuess.h"

#include <optional>
#include <string>
#include <vector>

// One file read as the import would read it, for the dry run: its records counted against the columns,
// the first mismatched ones kept, its types guessed.
namespace qb {

// What reading one file as the import would comes to.
struct FileTally {
    long records = 0;
    long mismatched = 0;
    std::optional<std::size_t> firstFields;  // the first data record's
    std::string header;                      // the first line, when it is not data
    TypeGuesser types;                       // from the records that would be sent, when guessed
    std::string digest;                      // when the run would remember what it imported
    std::vector<DryRunProblem> problems;     // the first mismatched records
    long unlisted = 0;                       // mismatched records past those
    bool stopped = false;                    // cancelled before the end of the file
    std::string warning;                     // as FileRecords::EncodingWarning tells, or Auto's guess
    std::string missingEdits;                // as MissingEdits tells
    ColumnMapping mapping;                   // appending: how the header's columns go to the table's
    std::string keyRefusal;                  // a key column the first line does not name, or left out
    std::string separatorNote;               // the separator guessed, where each file's is
};

// Whether the caller asked the dry run to stop.
bool Cancelled(const DryRunControl& control);

// Reads a file as the import would and counts its data records against columns
// (none: count against the header, as a new table's columns).
// database: where the run would send the records; none when it cannot be reached.
// tableNames: appending with a header, the table's columns, which its names may go to.
// settings: the run's, whose separator becomes the file's own where each file's is guessed.
FileTally Count(const std::string& path, ImportSettings& settings, const std::string& fallbackSeparator,
                std::optional<std::size_t> columns, const DryRunControl& control,
                std::optional<DatabaseKind> database, const std::vector<std::string>* tableNames);

}  // namespace qb
