#pragma once

#include "base/UniqueFd.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace qb {

// A data record that is refused instead of sent, and why.
struct RecordNote {
    long record;  // its place among the working copy's records
    long line;    // where it began in the file
    std::string description;
};

// Record `record` began on line `line` of the file, and the records after
// it on the lines that follow, up to the next such mark.
struct RecordLine {
    long record;
    long line;
};

// A file read once into its working copy, for the sender to read back.
struct PreparedCopy {
    std::string header;  // the first record as read (UTF-8 when converted); empty when there is none
    UniqueFd copy;       // the working copy as written, to be read through this
    std::string name;    // the working copy's path, for messages
    std::vector<RecordNote> notes;  // in record order
    std::vector<RecordLine> lines;  // in record order; the first is record 0's
    std::string readAs;             // as FileRecords::ReadAs tells
    std::string encodingDoubt;      // as FileRecords::EncodingDoubt tells
    std::string encodingWarning;    // as FileRecords::EncodingWarning tells
    // A converted file's records in its own bytes, for the rejected lines:
    // the source, and per record its start and end there (two off_t each).
    UniqueFd source;
    UniqueFd spans;
};

// A converted record's bytes as the file holds them: its start and end.
// False when the copy keeps no such spans.
bool SourceSpan(const PreparedCopy& copy, long record, off_t& start, off_t& end);

}  // namespace qb
