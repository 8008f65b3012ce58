#pragma once

#include "load/InsertBatch.h"
#include "read/FileRecords.h"
#include "schema/ValueStage.h"

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace qb {

// The run's settings as the sender needs them, made from them (SendOptionsOf): their defaults are the settings'.
struct SendOptions {
    FileFormat format;  // how the working copy reads
    std::string separator;
    bool quoted;
    // A batch's bounds, and a bulk path's (bigger, until one is refused).
    std::size_t batchRows;
    std::size_t batchBytes;
    std::size_t bulkRows;
    std::size_t bulkBytes;
    // A line longer than this goes with its values bound to the statement.
    std::size_t bindAbove;
    // How long a busy database is waited for.
    double busySeconds;
    // What is done to values between splitting and sending.
    ValueOptions values{};
};

// How a file's lines go: each as its own statement, or gathered in batches.
enum class Sending { LineByLine, InBatches };

// The report line numbers of one insert loop.
struct InsertLoopLines {
    int open;
    int read;
    int execute;
};

// What the sender tells of one file. Every report carries its own record.
class SendSink {
public:
    virtual ~SendSink() = default;
    // Rows were stored; the working copy has been read up to reached.
    virtual void Stored(long rows, off_t reached) = 0;
    // Where a key decides, told before Stored: of the rows stored, inserted were new and found met a
    // row of their key already there (updated or left as it was).
    virtual void Inserted(long /*inserted*/, long /*found*/) {}
    // The record was not stored: the database or the sender refused it.
    virtual void Refused(int step, const std::string& description, const RecordSpan& record) = 0;
    // The connection was lost while the record (or a batch from it) was
    // sent: it may or may not be stored.
    virtual void Lost(int step, const std::string& description, const RecordSpan& record) = 0;
    // Asked at every record: lets the window breathe; false once the run is to stop.
    virtual bool KeepGoing() = 0;
};

}  // namespace qb
