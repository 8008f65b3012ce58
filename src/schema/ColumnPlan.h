#pragma once

#include <map>
#include <string>

namespace qb {

// What the user changed of one column in the preview, and only that: what is not changed follows the
// file and the options at run time (a type not chosen is TEXT, or guessed from the whole file).
struct ColumnEdit {
    std::string name{};  // empty: as the first line names it
    std::string type{};  // empty: not chosen
    bool leftOut = false;  // not created, and its values not sent
    bool key = false;  // one of the new table's primary key columns

    bool operator==(const ColumnEdit&) const = default;
};

// The preview's edits of one file's new table, by the name the first line gives the column (as the
// CREATE would clean it). An edit holds while the first line still names its column.
struct ColumnPlan {
    std::map<std::string, ColumnEdit> edits;

    bool operator==(const ColumnPlan&) const = default;
};

}  // namespace qb
