#pragma once

#include "odbc/DatabaseKind.h"
#include "schema/ColumnPlan.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// How an appended file's columns find the table's.
enum class ColumnMatching {
    Automatic,   // by name when the header names exactly the table's columns in another order
    ByName,      // by the header's names, which the table must have
    ByPosition,  // the file's columns in the table's order, as many
};

struct MatchOptions {
    ColumnMatching matching = ColumnMatching::Automatic;
    bool ignoreExtra = false;  // a header column the table lacks is left out, not refused
    bool keepLetters = false;  // the header's names are cleaned as a new table's would be
    DatabaseKind database = DatabaseKind::Other;  // how names compare
    const ColumnPlan* plan = nullptr;  // the preview's edits: each names the table column its file column goes to
    std::string file;   // for messages
    std::string table;  // as messages name it
};

// Where each of a file's columns goes.
struct ColumnMapping {
    bool byName = false;
    std::vector<std::string> names;    // the header's, as cleaned
    std::vector<std::string> columns;  // by name: the table's columns filled, as the table names them
    std::vector<std::size_t> fields;   // by name: per column filled, the file's field
    std::vector<std::string> targets;  // by name: per file column, the table column it goes to; empty: left out
    std::vector<std::string> unfilled;  // by name: the table's columns no file column goes to
    std::string refusal;  // why the file cannot go by name; nothing is sent then

    // "qty -> qty, day -> day, note left out; not in the file: size"
    std::string Described() const;
};

// Whether two column names are one as the database compares quoted names: PostgreSQL (and a database
// not known) exactly, SQLite and MariaDB without regard to ASCII case.
bool SameColumn(std::string_view a, std::string_view b, DatabaseKind database);

// The header's columns against the table's. Without a header (empty) or by position: not by name.
ColumnMapping MatchColumns(std::span<const std::string_view> header, const std::vector<std::string>& tableColumns,
                           const MatchOptions& options);

}  // namespace qb
