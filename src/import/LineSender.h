#pragma once

#include "import/InsertBatch.h"
#include "import/Records.h"
#include "import/WorkingCopy.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qb {

class Connection;
class StepRunner;
struct ImportSettings;

// The report line numbers of one insert loop.
struct InsertLoopLines {
    int open;
    int read;
    int execute;
};

// What the sender tells the run it works for.
class SendSink {
public:
    virtual ~SendSink() = default;
    // Rows were stored; the working copy has been read up to reached.
    virtual void Stored(long rows, off_t reached) = 0;
    // The next report concerns this line; rejected: it was not stored.
    virtual void At(const InsertBatch::Place& place, bool rejected) = 0;
    // Asked at every record: lets the window breathe; false once the run is to stop.
    virtual bool KeepGoing() = 0;
};

// One file's working copy as the sender reads it.
struct PreparedFile {
    int fd;
    std::string name;
    std::vector<RecordNote> notes;
    std::vector<LineJump> jumps;
};

// Sends a working copy's records to one table: one statement per line, or
// batches whose refusals are sent again until the outcome is the one line
// by line would have had. Every report goes through the steps, in file order.
class LineSender {
public:
    LineSender(Connection& connection, StepRunner& steps, SendSink& sink, const ImportSettings& settings);

    // batching: for this file's connection. Returns when the file is done,
    // the connection was lost, or the run is to stop.
    void Send(const PreparedFile& file, const std::string& table, std::size_t columns, const InsertLoopLines& lines,
              bool batching);

private:
    enum class Sent { Stored, Refused, Lost };
    long SourceLine(long record);
    bool SendLine(std::size_t columns, int step, const InsertBatch::Place& place);
    bool Batched(std::size_t columns, int step, const InsertBatch::Place& place);
    bool Refuse(const std::string& description, int step, const InsertBatch::Place& place);
    bool SendBatch(int step);
    bool SendEntries(std::size_t first, std::size_t last, int step);
    bool SendEntriesAlone(std::size_t first, std::size_t last, int step, bool withRows);
    Sent SendOne(std::string_view statement, std::span<const std::optional<std::string_view>> values, int step,
                 const InsertBatch::Place& place);
    Sent SendBound(std::span<const std::string_view> fields, int step, const InsertBatch::Place& place);

    Connection& m_connection;
    StepRunner& m_steps;
    SendSink& m_sink;
    const ImportSettings& m_settings;
    RecordSplitter m_splitter;
    InsertBatch m_batch;
    std::string m_table;
    std::string m_line;
    std::string m_statement;
    const PreparedFile* m_file = nullptr;
    std::size_t m_jump = 0;
    bool m_batching = false;
};

// The lines of a message that says why a line was not sent.
std::string ShortLineText(std::size_t values, const std::string& table, std::size_t columns);

}  // namespace qb
