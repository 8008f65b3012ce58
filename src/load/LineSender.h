#pragma once

#include "load/InsertTarget.h"
#include "load/SendSink.h"
#include "read/PreparedCopy.h"

#include <string>
#include <vector>

namespace qb {

class BulkLoader;
class Connection;
class FileProgress;
class StepRunner;

// Sends a working copy's records to one table: one statement per line, or
// batches whose refusals are sent again until the outcome is the one line
// by line would have had. Reports come out in file order. What it holds of
// a file (see FileSend) lives only while that file is sent.
class LineSender {
public:
    LineSender(Connection& connection, SendOptions options) : m_connection(connection), m_options(std::move(options)) {}

    // sending: in batches for this file's connection, or line by line; bulk: the database's own path
    // for batches, or null. Returns when the file is done, the connection was lost, or the run is to
    // stop: false in the second case. A working copy that cannot be read further is reported through
    // steps. target: the table, and which of the file's fields fill which of its columns.
    // progress: where the manifest is kept, the file's, whose statements commit with every line
    // stored; the lines it holds as done are not sent. It is told of the file's end.
    // rewrites: per field of the file, how its values are written for its column's type.
    bool Send(const PreparedCopy& file, const InsertTarget& target, std::size_t columns, const InsertLoopLines& lines, Sending sending, BulkLoader* bulk, StepRunner& steps, SendSink& sink,
              FileProgress* progress = nullptr, const std::vector<ColumnRewrite>& rewrites = {});
    // The separator of the files sent next, where each file's own is guessed.
    void SetSeparator(const std::string& separator)
    {
        m_options.separator = separator;
        m_options.format.separator = separator;
    }
    // The last Send ended because the run is to stop, before the file's end.
    bool Stopped() const { return m_stopped; }
    // The last Send's target's first statements ran and committed.
    bool FirstRan() const { return m_firstRan; }
    // What the options changed of the last Send's values.
    const ValueStage::Changes& Changed() const { return m_changed; }

private:
    Connection& m_connection;
    SendOptions m_options;
    bool m_stopped = false;
    bool m_firstRan = false;
    ValueStage::Changes m_changed;
};

}  // namespace qb
