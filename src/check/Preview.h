#pragma once

#include "read/FileRecords.h"

#include "odbc/DatabaseKind.h"
#include "run/ImportSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb {

struct PreviewOptions {
    FileFormat format;
    bool createMode = true;
    bool namesFromFirstLine = true;  // create mode: the first line names the columns
    bool skipFirstLine = false;      // append mode: "Ignore first line"
    std::optional<std::size_t> tableColumns;  // append mode: the chosen table's
    std::vector<std::string> tableNames;      // append mode: the chosen table's column names, which head the grid
    std::string encodingName;                 // how messages call the chosen encoding; empty: by its name
    bool keepLetters = false;                 // create mode: as the run's column names keep them
    // Create mode: each column's type guessed for this database, from the
    // records the import would send, in up to guessBytes of the file.
    std::optional<DatabaseKind> guessTypes;
    std::uint64_t guessBytes = std::uint64_t(32) << 20;
    // With guessTypes: as ImportSettings::DateFormat.
    std::optional<DateForm> dateFormat;
    // The file's edits, shown on the columns the first line still names; appending, each names the table
    // column its file column goes to.
    std::optional<ColumnPlan> plan{};
    // Appending with a header: how its columns find the table's (see MatchColumns), in the table named.
    ColumnMatching matching = ColumnMatching::Automatic;
    bool ignoreExtra = false;
    DatabaseKind database = DatabaseKind::Other;
    std::string table;
    // What is done to values as they are read (trimmed, NULL markers, decimal commas): the cells show
    // them as they would be sent.
    ValueOptions values{};
    std::size_t maxRecords = 100;
};

struct PreviewCell {
    std::string text;  // for the eye: bytes that are not UTF-8 show as U+FFFD
    bool null = false;
};

// A file's first records as the import reads them.
struct Preview {
    std::vector<std::string> headers;  // the CREATE's cleaned names, or "Column 1", "Column 2", ...
    std::vector<std::vector<PreviewCell>> records;
    std::vector<bool> marked;          // per record: it would be refused before sending, or its field count is not the column count
    std::vector<long> lines;           // per record: the file line it begins on
    std::size_t mismatched = 0;
    std::optional<std::size_t> columns;  // what records are held against, when known
    std::string error;                   // the file could not be read
    // What is said above the grid, in plain words: why nothing is shown, or what is wrong with what is.
    std::vector<std::string> messages;
    std::vector<bool> undecodable;  // per record: it holds bytes the encoding could not decode
    std::string undecodableNote;    // what such a record is marked with
    std::vector<std::string> types;      // per column, when guessed
    bool typesFromPart = false;          // guessed from the file's start only: it is longer than guessBytes
    std::vector<std::string> dateForms;  // per column with types: its dates' form where they are not ISO, else empty
    // The names the first line gives; with edits, per column whether it is kept and what is edited of it.
    std::vector<std::string> named;
    std::vector<bool> kept;
    std::vector<ColumnEdit> edits;
    // Appending with a header: per file column the table column it goes to (empty: left out), the table's
    // columns it may go to, and whether the file goes by name.
    std::vector<std::string> targets;
    std::vector<std::string> tableColumns;
    bool byName = false;
    // Files listed whose first line gives the same names, this one included: the edits hold for each.
    std::size_t sameColumns = 0;
};

Preview BuildPreview(const std::string& path, const PreviewOptions& options);

// The column names a file's first line gives, as the CREATE would clean them; none when it has no
// first line or cannot be read.
std::optional<std::vector<std::string>> FirstLineNames(const std::string& path, const FileFormat& format,
                                                       bool keepLetters);

// Text for the eye: each byte that does not belong to valid UTF-8 becomes U+FFFD.
std::string ForDisplay(std::string_view bytes);

}  // namespace qb
