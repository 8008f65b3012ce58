#pragma once

#include "load/BulkLoader.h"
#include "load/InsertBatch.h"
#include "load/InsertTarget.h"
#include "load/KeyRule.h"
#include "load/SendSink.h"
#include "read/FileRecords.h"
#include "read/PreparedCopy.h"
#include "read/Records.h"
#include "odbc/Database.h"
#include "odbc/SqlText.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

class Connection;
class FileProgress;

// What the sender holds of one file, made afresh for each: nothing of one
// file, not a batch's row nor a flag, can reach the next.
struct FileSend {
    FileSend(Connection& over, const SendOptions& sendOptions, const PreparedCopy& copy, const InsertTarget& into,
             std::size_t valuesPerLine, Sending how, BulkLoader* bulkPath, SendSink& reportsTo,
             FileProgress* fileProgress, const std::vector<ColumnRewrite>& rewrites = {})
        : connection(over), options(sendOptions), file(copy), sink(reportsTo), progress(fileProgress), target(into),
          table(into.table), quotedTable(QuotedTarget(into)), lineColumns(valuesPerLine),
          tableColumns(into.fields.empty() ? valuesPerLine : into.fields.size()), sending(how), bulk(bulkPath),
          keys(into.onDuplicate == OnDuplicate::Error ? KeyRule{} : KeyRuleOf(into, over.Kind())),
          splitter(sendOptions.separator, sendOptions.quoted, sendOptions.format.quote),
          stage(sendOptions.values, rewrites), batch(sendOptions.batchRows, sendOptions.batchBytes),
          ahead(sendOptions.batchRows, sendOptions.batchBytes), firstPending(!into.first.empty())
    {
        batch.Start(quotedTable, keys.before, keys.after);
        ahead.Start(quotedTable, keys.before, keys.after);
        if (stage.WantsQuotes())
            splitter.KeepQuoted();
    }
    // Every path awaits a batch sent ahead (SettleAhead); should one not, the rows' outcome is still
    // awaited here, so that the next file's rows never meet them.
    ~FileSend()
    {
        if (!ahead.Empty()) {
            try {
                bulk->Finish();
            } catch (...) {
            }
        }
    }
    FileSend(const FileSend&) = delete;
    FileSend& operator=(const FileSend&) = delete;

    Connection& connection;
    const SendOptions& options;
    const PreparedCopy& file;
    SendSink& sink;
    FileProgress* const progress;  // where the manifest is kept, or null
    const InsertTarget& target;
    const std::string& table;
    const std::string quotedTable;  // with the column list, where the target names one
    const std::size_t lineColumns;  // the values a line must have
    const std::size_t tableColumns;
    const Sending sending;
    BulkLoader* const bulk;  // the database's own path for batches, or null
    const KeyRule keys;  // where a key decides what a duplicate does
    KeyCount keyCount;  // the keys of the rows being stored, where the database does not count them

    RecordSplitter splitter;
    ValueStage stage;  // between splitting and sending
    FileRecord record;  // the one being sent
    std::string statement;
    std::vector<std::string_view> tableFields;  // the record's values the table takes
    InsertBatch batch;
    InsertBatch ahead;  // a batch sent by the bulk path whose outcome is still to come, or empty
    bool aheadNow = false;  // batch is the one sent ahead: its store awaits the outcome instead of sending
    std::vector<std::optional<std::string_view>> values;  // a batch's values for the bulk path
    std::vector<long> refusedWith;  // lines refused before sending among the rows being stored
    std::size_t mark = 0;  // the file's line mark in force
    bool bulkNow = false;  // the file's batches go by the bulk path
    bool refusedAny = false;  // a batch of the file was refused
    bool lost = false;  // the connection was lost
    bool firstPending;  // target.first is still to run
    bool firstRan = false;  // target.first ran and committed
    bool refusedLine = false;  // a line of the file was refused
};

// Buffers that held one huge line are given back rather than kept for the
// next, so that the statement and the driver's copies of it have room.
inline void ReleaseIfHuge(std::string& buffer)
{
    constexpr std::size_t kKeptBuffer = std::size_t(16) << 20;
    if (buffer.capacity() > kKeptBuffer)
        std::string().swap(buffer);
}

}  // namespace qb
