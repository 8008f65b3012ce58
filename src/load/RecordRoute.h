#pragma once

#include "load/FileSend.h"

#include <cstddef>
#include <string>

// The routing of a record: refused before sending, sent alone, or gathered
// in the file's batch.
namespace qb {

enum class Route {
    Nothing,  // an empty record: nothing to send
    Short,    // fewer values than the line must have: refused before sending
    Bound,    // too long for a statement's text: alone, its values bound
    TooMany,  // more values than columns: no database takes it; alone, for the database's own words
    Row,      // one of the table's rows
};

// Where a record of values values and bytes bytes goes. Some databases fill
// missing trailing columns with NULL; none may.
inline Route RouteOf(std::size_t values, std::size_t bytes, std::size_t lineColumns, std::size_t bindAbove)
{
    if (values == 0)
        return Route::Nothing;
    if (values < lineColumns)
        return Route::Short;
    if (bytes > bindAbove)
        return Route::Bound;
    return values > lineColumns ? Route::TooMany : Route::Row;
}

// Sends or gathers the record read into send.record, as send.sending says.
// False when nothing more is to be sent for the file.
bool RouteRecord(FileSend& send, int step, const RecordSpan& record);

// A record refused before sending: reported in its place among the others.
bool RouteRefusal(FileSend& send, const std::string& description, int step, const RecordSpan& record);

// The lines of a message that says why a line was not sent.
std::string ShortLineText(std::size_t values, const std::string& table, std::size_t columns);

}  // namespace qb
