#pragma once

#include "read/FileRecords.h"
#include "load/InsertBatch.h"
#include "read/Records.h"
#include "read/PreparedCopy.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qb {

class BulkLoader;
class Connection;
class FileProgress;
class StepRunner;

// The run's settings as the sender needs them.
struct SendOptions {
    FileFormat format;  // how the working copy reads
    std::string separator = ",";
    bool quoted = false;
    // A batch's bounds, and a bulk path's (bigger, until one is refused).
    std::size_t batchRows = 1000;
    std::size_t batchBytes = std::size_t(1) << 20;
    std::size_t bulkRows = 20000;
    std::size_t bulkBytes = std::size_t(8) << 20;
    // A line longer than this goes with its values bound to the statement.
    std::size_t bindAbove = std::size_t(16) << 20;
    // How long a busy database is waited for.
    double busySeconds = 60;
};

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
    // The record was not stored: the database or the sender refused it.
    virtual void Refused(int step, const std::string& description, const RecordSpan& record) = 0;
    // The connection was lost while the record (or a batch from it) was
    // sent: it may or may not be stored.
    virtual void Lost(int step, const std::string& description, const RecordSpan& record) = 0;
    // Asked at every record: lets the window breathe; false once the run is to stop.
    virtual bool KeepGoing() = 0;
};

// Sends a working copy's records to one table: one statement per line, or
// batches whose refusals are sent again until the outcome is the one line
// by line would have had. Reports come out in file order.
class LineSender {
public:
    LineSender(Connection& connection, SendOptions options);

    // batching: for this file's connection; bulk: the database's own path
    // for batches, or null. Returns when the file is done, the connection
    // was lost, or the run is to stop: false in the second case. A working
    // copy that cannot be read further is reported through steps.
    // kept: per column of the file, whether its values go to the table (empty: all of them).
    // progress: where the manifest is kept, the file's, whose statements commit with every line
    // stored; the lines it holds as done are not sent. It is told of the file's end.
    bool Send(const PreparedCopy& file, const std::string& table, std::size_t columns, const std::vector<bool>& kept,
              const InsertLoopLines& lines, bool batching, BulkLoader* bulk, StepRunner& steps, SendSink& sink,
              FileProgress* progress = nullptr);
    // The last Send ended because the run is to stop, before the file's end.
    bool Stopped() const { return m_stopped; }

private:
    enum class Sent { Stored, Refused, Lost };
    long SourceLine(long record);
    bool SendLine(std::size_t columns, int step, const RecordSpan& record);
    bool Batched(std::size_t columns, int step, const RecordSpan& record);
    bool Refuse(const std::string& description, int step, const RecordSpan& record);
    std::span<const std::string_view> Kept(const std::vector<std::string_view>& fields);
    bool SendBatch(int step);
    bool SendEntries(std::size_t first, std::size_t last, int step);
    void StoreRows(std::size_t first, std::size_t last);
    bool SendEntriesAlone(std::size_t first, std::size_t last, int step, bool withRows);
    void ReportRefused(const InsertBatch::Entry& entry, bool counted);
    void ReportRefusedAfter(std::size_t at);
    void RefusedHere(int step, const std::string& description, const RecordSpan& record);
    template <typename Store>
    void WithProgress(long rows, long last, const std::vector<long>& refusedWith, Store&& store);
    template <typename Execute>
    void WithStatements(std::span<const std::string> also, Execute&& execute);
    Sent SendOne(std::string_view statement, std::span<const std::optional<std::string_view>> values, int step,
                 const RecordSpan& record);
    Sent SendBound(std::span<const std::string_view> fields, int step, const RecordSpan& record);
    template <typename Execute>
    void Patiently(Execute&& execute);

    Connection& m_connection;
    const SendOptions m_options;
    SendSink* m_sink = nullptr;
    RecordSplitter m_splitter;
    InsertBatch m_batch;
    std::string m_table;
    std::string m_quotedTable;
    std::size_t m_columns = 0;  // the table's
    const std::vector<bool>* m_kept = nullptr;
    std::vector<std::string_view> m_keptFields;
    BulkLoader* m_bulk = nullptr;
    bool m_bulkNow = false;    // this file's batches go by m_bulk
    bool m_refusedAny = false;  // a batch of this file was refused
    std::vector<std::optional<std::string_view>> m_values;  // a batch's values for the bulk path
    bool m_lost = false;
    bool m_stopped = false;
    FileRecord m_record;
    std::string m_statement;
    const PreparedCopy* m_file = nullptr;
    std::size_t m_mark = 0;  // the file's line mark in force
    bool m_batching = false;
    FileProgress* m_progress = nullptr;
    std::vector<long> m_refusedWith;  // lines refused before sending among the rows being stored
};

// The lines of a message that says why a line was not sent.
std::string ShortLineText(std::size_t values, const std::string& table, std::size_t columns);

}  // namespace qb
