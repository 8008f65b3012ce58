#include "load/BatchHalving.h"

#include "load/BulkLoader.h"
#include "load/ManifestStaging.h"
#include "load/OneLine.h"
#include "load/SendBusy.h"

#include <exception>
#include <string>
#include <utility>

namespace qb {
namespace {

// A batch refused this small goes line by line rather than in halves.
constexpr std::size_t kLineByLine = 8;

// What became of the batch's rows before its entries are sent one by one.
enum class RowsWere {
    Stored,  // as one: only the lines that are not rows go now; the manifest counted the refused ones
    Unsent,  // every row goes by itself too; the manifest counts each refusal by itself
};

// A line the batch held back as refused before sending, already counted by
// the manifest with the rows stored around it: its text is the report.
void ReportCountedRefusal(FileSend& send, const InsertBatch::Entry& entry)
{
    send.sink.Refused(entry.step, std::string(send.batch.RefusalText(entry)), entry.record);
}

// The same, for a line the manifest is still to count.
void ReportRefusal(FileSend& send, const InsertBatch::Entry& entry)
{
    RefusedHere(send, entry.step, std::string(send.batch.RefusalText(entry)), entry.record);
}

// The connection went while entry `at` was sent: the lines of the batch refused before sending are
// refused whatever became of it, and nothing after it is sent again.
void ReportRefusedAfter(FileSend& send, std::size_t at)
{
    const auto& entries = send.batch.Entries();
    for (std::size_t i = at + 1; i < entries.size(); ++i) {
        if (entries[i].kind == InsertBatch::Kind::Refused)
            ReportRefusal(send, entries[i]);
    }
}

// Sends each entry of [first, last) by itself (the rows too, unless they were stored) and reports the
// refused ones.
bool SendEntriesAlone(FileSend& send, std::size_t first, std::size_t last, int step, RowsWere rows)
{
    for (std::size_t i = first; i < last; ++i) {
        const InsertBatch::Entry& entry = send.batch.Entries()[i];
        if (entry.kind == InsertBatch::Kind::Refused) {
            if (rows == RowsWere::Stored)
                ReportCountedRefusal(send, entry);
            else
                ReportRefusal(send, entry);
        } else if ((rows == RowsWere::Unsent || entry.kind == InsertBatch::Kind::Alone) &&
                   SendOne(send, send.batch.RowStatement(entry), {}, step, entry.record,
                           [&](KeyCount& count) { send.batch.AddKeys(entry, send.keys, count); }) == Sent::Lost) {
            ReportRefusedAfter(send, i);
            return false;
        }
    }
    return true;
}

// Whether the batch's rows go by the database's own bulk path. A NUL byte reads differently in a statement's
// text: a batch holding one goes the statement's way; so does one whose transaction first runs the
// target's first statements, on the driver's connection.
bool ByBulkPath(const FileSend& send)
{
    return send.bulkNow && !send.batch.HoldsNul() && !send.firstPending;
}

// The rows among entries [first, last), all or none: through the database's
// own bulk path where it has one, as one statement otherwise. Returns the rows inserted, where a key decides.
long StoreRows(FileSend& send, std::size_t first, std::size_t last)
{
    long inserted = 0;
    const long rows = static_cast<long>(send.batch.RowsIn(first, last));
    const long end = send.batch.Entries()[last - 1].record.line;
    StageRefusalsAmong(send, first, last);
    if (ByBulkPath(send)) {
        bool gathered = false;
        StoreStaged(send, rows, end, send.refusedWith, [&](std::span<const std::string> also) {
            // Sent ahead, only the outcome is to come; a batch sent again after a busy wait goes whole.
            if (std::exchange(send.aheadNow, false)) {
                send.bulk->Finish();
                return;
            }
            if (!std::exchange(gathered, true))
                send.batch.RowValues(first, last, send.values);
            KeyedLoad keyed{send.keys};
            send.bulk->Load(send.quotedTable, send.tableColumns, send.values, also,
                            send.keys.Keyed() ? &keyed : nullptr);
            inserted = keyed.inserted;
        });
        return inserted;
    }
    StoreStaged(send, rows, end, send.refusedWith, [&](std::span<const std::string> also) {
        if (send.keys.Keyed()) {
            inserted = StoreKeyed(send, send.batch.Statement(first, last), {}, also,
                                  [&](KeyCount& count) { send.batch.AddKeys(first, last, send.keys, count); });
            return;
        }
        WithStatements(send, also, [&] { send.connection.Execute(send.batch.Statement(first, last)); });
    });
    return inserted;
}

// Sends the rows among entries [first, last) as one statement and the other
// entries in their places; halves of a refused one go again. False when the
// connection was lost or the database stayed busy.
bool SendEntries(FileSend& send, std::size_t first, std::size_t last, int step)
{
    const std::size_t rows = send.batch.RowsIn(first, last);
    if (rows > 1) {
        bool stored = false;
        long inserted = 0;
        try {
            inserted = StoreRows(send, first, last);
            stored = true;
        } catch (const DatabaseError& error) {
            if (EndsTheFile(send, error)) {
                // Lines refused before sending come first, as line by line they
                // would have been reported before the batch's first statement.
                std::size_t at = first;
                for (; send.batch.Entries()[at].kind == InsertBatch::Kind::Refused; ++at)
                    ReportRefusal(send, send.batch.Entries()[at]);
                send.sink.Lost(step, BatchUnsent(error, rows), send.batch.Entries()[at].record);
                ReportRefusedAfter(send, at);
                return false;
            }
        } catch (const std::exception&) {
        }
        if (stored) {
            const RecordSpan& end = send.batch.Entries()[last - 1].record;
            if (send.keys.Keyed())
                send.sink.Inserted(inserted, static_cast<long>(rows) - inserted);
            send.sink.Stored(static_cast<long>(rows), end.offset + static_cast<off_t>(end.length));
            return SendEntriesAlone(send, first, last, step, RowsWere::Stored);
        }
        send.refusedAny = true;
        if (last - first > kLineByLine) {
            const std::size_t middle = first + (last - first) / 2;
            return SendEntries(send, first, middle, step) && SendEntries(send, middle, last, step);
        }
    }
    return SendEntriesAlone(send, first, last, step, RowsWere::Unsent);
}

// Whether the batch's rows may go ahead of their outcome: rows alone by the bulk path, nothing counted
// or run with them.
bool MayGoAhead(const FileSend& send)
{
    return ByBulkPath(send) && send.bulk->GoesAhead() && !send.keys.Keyed() && !send.progress &&
           send.batch.RowsIn(0, send.batch.Entries().size()) > 1;
}

}  // namespace

bool SettleAhead(FileSend& send, int step)
{
    if (send.ahead.Empty())
        return true;
    std::swap(send.batch, send.ahead);
    send.aheadNow = true;
    const bool goOn = SendEntries(send, 0, send.batch.Entries().size(), step);
    send.aheadNow = false;
    send.batch.Clear();
    std::swap(send.batch, send.ahead);
    return goOn;
}

bool SendBatch(FileSend& send, int step, bool ahead)
{
    const bool full = send.batch.Full();
    // The batch before goes first, reports and all; where it ended the file, this one is never sent, as
    // it would never have been read.
    bool goOn = SettleAhead(send, step);
    if (goOn && ahead && MayGoAhead(send)) {
        send.batch.RowValues(0, send.batch.Entries().size(), send.values);
        send.bulk->Start(send.quotedTable, send.tableColumns, send.values);
        std::swap(send.batch, send.ahead);
    } else if (goOn) {
        goOn = SendEntries(send, 0, send.batch.Entries().size(), step);
    }
    send.batch.Clear();
    // A file longer than one batch goes on by the bulk path, in bigger batches until one is refused. A
    // smaller one never uses it: on SQLite its connection would read the whole schema again for each
    // table the driver's connection made.
    if (send.bulk && full) {
        send.bulkNow = true;
        if (send.refusedAny)
            send.batch.SetBounds(send.options.batchRows, send.options.batchBytes);
        else
            send.batch.SetBounds(send.options.bulkRows, send.options.bulkBytes);
    }
    return goOn;
}

}  // namespace qb
