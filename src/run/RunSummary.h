#pragma once

#include "load/InsertTarget.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qb {

// One refused line of a file: its number and why.
struct RefusedLine {
    long line = 0;
    std::string reason;
};

// What became of one file of a run, for a front end's own record of it.
struct FileResult {
    static constexpr std::size_t kRefusedKept = 100;  // the rest are only counted

    std::string path;   // as messages name it
    std::string table;  // empty where none was reached
    long rowsStored = 0;  // by this run
    long linesRefused = 0;
    std::vector<RefusedLine> refused;  // the first kRefusedKept
    // "done", "skipped", "already imported", "continued", "cut short" or "stopped".
    std::string outcome;
    long continuedAfter = 0;  // the last line an earlier run stored, where it went on
    std::uint64_t bytes = 0;
    std::string readAs;  // the encoding it was read in; empty: as it is
    std::string sentBy;  // the bulk path, "batches" or "line by line"; empty: nothing sent
    double seconds = 0;
};

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
    std::vector<FileResult> fileResults;  // each file reached, in order
};

}  // namespace qb
