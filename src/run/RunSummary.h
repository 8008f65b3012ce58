#pragma once

#include "load/InsertTarget.h"

#include <string>
#include <vector>

namespace qb {

// What a run came to, for front ends that need more than the messages.
struct ImportSummary {
    bool started = false;       // false when another run was under way
    bool stopped = false;       // the host asked it to stop
    std::string finalMessage;   // the check message, "Done.", "Table(s) already exist." or "Import stopped."
    int files = 0;
    int filesReached = 0;       // begun; the rest were not reached before a stop
    int filesDone = 0;          // read and sent to their end
    int filesInterrupted = 0;   // stopped midway
    int filesSkipped = 0;       // for any reason: listed table, mismatch, no answer, failure
    int filesCut = 0;           // ended early: the connection was lost or the database stayed busy
    int filesAlreadyImported = 0;  // held by the manifest as done, into the same table
    int filesContinued = 0;     // gone on after the last line an earlier run stored
    int errorReports = 0;
    long rowsSent = 0;
    long linesRejected = 0;     // lines refused by the database or before sending
    // Where a key decides (not Error): of the rows sent, those inserted, and those whose key was there,
    // updated or skipped as the mode says.
    OnDuplicate onDuplicate = OnDuplicate::Error;
    long rowsInserted = 0;
    long rowsUpdated = 0;
    long rowsSkipped = 0;
    double seconds = 0;
    std::string logPath;        // empty when no log was kept
    std::vector<std::string> problems;  // the log or the rejected lines could not be written
    // "PATH: read as X (guessed)", per file whose encoding Auto could not tell for sure.
    std::vector<std::string> encodingGuesses;
    // The paths of files that are UTF-8 with letters beyond ASCII, read in a single-byte encoding.
    std::vector<std::string> utf8ReadAsSingleByte;
};

}  // namespace qb
