#pragma once

#include "schema/ColumnPlan.h"
#include "odbc/Database.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// The most columns taken where the driver cannot say: no database we know takes more.
inline constexpr std::size_t kMaxColumnsWhenUnknown = 4096;

// What a new table for one file would be.
struct NewTable {
    std::string_view path;  // the file, as its reports name it
    std::string_view table;
    bool emptyFile = false;   // it has no first line and no records
    std::size_t columns = 0;  // the columns it would have, or the names that would be asked for
};

// What a new table named by a file's first line is made of, the preview's edits applied.
struct PlannedTable {
    std::vector<std::string> names;    // the kept columns', as edited or as cleaned
    std::vector<std::string> types;    // the kept columns', as chosen or as the options make them
    std::vector<bool> kept;            // per column of the file whether it is sent; empty: every one
    std::vector<std::string> missing;  // edited columns the first line no longer names
};
// names: the first line's, as cleaned; types: as the options make them (empty or short: TEXT).
PlannedTable Planned(const std::vector<std::string>& names, const std::vector<std::string>& types,
                     const ColumnPlan* plan);

// That the first line of a file no longer names columns edited in the preview, whose edits then do
// nothing; empty text when it names them all.
std::string MissingEdits(std::string_view path, const PlannedTable& table);

// A plan that leaves every column out, or names one with nothing or like another.
std::string CheckPlan(std::string_view path, const PlannedTable& table, const NameLimits& limits);

// The checks the import makes before a CREATE and the dry run makes in its place, so that the two cannot
// disagree. Each gives the refusal, in the words of the file's report, or empty text.

// Before anything is asked or sent: an empty file, more columns than the database takes, a longer table
// name than it takes.
std::string CheckNewTable(const NewTable& table, const NameLimits& limits);

// The columns' names as the CREATE gives them (cleaned): one longer than the database takes.
std::string CheckColumnNames(std::span<const std::string> names, const NameLimits& limits);

// All of them for a table named by the file's first line (header, as cut), and an empty first line.
std::string CheckCreateFromFields(std::string_view path, std::string_view table, bool emptyFile,
                                  std::span<const std::string_view> header, const NameLimits& limits,
                                  bool keepLetters = false);

}  // namespace qb
