#include "load/RecordRoute.h"

#include "load/BatchHalving.h"
#include "load/ManifestStaging.h"
#include "load/OneLine.h"
#include "load/StatementBuilder.h"

#include <span>
#include <string_view>
#include <vector>

namespace qb {
namespace {

// A line of the file's fields as the table's columns take them: in their order, without the ones left out.
// A line of another length goes as it is, for the database's own words.
std::span<const std::string_view> TableFields(FileSend& send, const std::vector<std::string_view>& fields)
{
    const auto& order = send.target.fields;
    if (order.empty() || fields.size() != send.lineColumns)
        return fields;
    send.tableFields.clear();
    for (const std::size_t field : order)
        send.tableFields.push_back(fields[field]);
    return send.tableFields;
}

// Line by line: each line is its own statement, a too long one with its values bound.
bool SendLine(FileSend& send, int step, const RecordSpan& record)
{
    const auto& all = send.stage.Apply(send.splitter.SplitInPlace(send.record.text), send.splitter.Quoted());
    switch (RouteOf(all.size(), send.record.text.size(), send.lineColumns, send.options.bindAbove)) {
    case Route::Nothing:
        return true;
    case Route::Short:
        return RouteRefusal(send, ShortLineText(all.size(), send.table, send.lineColumns), step, record);
    case Route::Bound:
        return SendBound(send, TableFields(send, all), step, record) != Sent::Lost;
    case Route::TooMany:
    case Route::Row:
        break;
    }
    const auto fields = TableFields(send, all);
    BuildInsertInto(send.statement, send.quotedTable, fields, send.keys.before, send.keys.after);
    if (!send.keys.Keyed()) {
        ReleaseIfHuge(send.record.text);
        return SendOne(send, send.statement, {}, step, record) != Sent::Lost;
    }
    const Sent sent = SendOne(send, send.statement, {}, step, record,
                              [&](KeyCount& count) { count.AddFields(send.keys, fields); });
    ReleaseIfHuge(send.record.text);
    return sent != Sent::Lost;
}

// In batches: reports wait for the batch, so that none is shown while it is
// unsent and all come out in file order.
bool Batched(FileSend& send, int step, const RecordSpan& record)
{
    InsertBatch& batch = send.batch;
    const auto& all = send.stage.Apply(send.splitter.SplitInPlace(send.record.text), send.splitter.Quoted());
    switch (RouteOf(all.size(), send.record.text.size(), send.lineColumns, send.options.bindAbove)) {
    case Route::Nothing:
        return true;
    case Route::Short:
        batch.AddRefused(ShortLineText(all.size(), send.table, send.lineColumns), step, record);
        break;
    case Route::Bound:
        // Too big for a statement text: what is gathered (or went ahead) goes first, to keep the order.
        if (!SendBatch(send, step))
            return false;
        return SendBound(send, TableFields(send, all), step, record) != Sent::Lost;
    case Route::TooMany:
        // Where the manifest counts lines, the line is refused before the lines after it are stored, so
        // that no stretch skips it.
        if (send.progress && !batch.Empty() && !SendBatch(send, step))
            return false;
        batch.AddAlone(all, record);
        if (send.progress)
            return SendBatch(send, step);
        break;
    case Route::Row:
        batch.AddRow(TableFields(send, all), record);
        break;
    }
    if (!batch.Full())
        return true;
    ReleaseIfHuge(send.record.text);
    return SendBatch(send, step, true);
}

}  // namespace

bool RouteRecord(FileSend& send, int step, const RecordSpan& record)
{
    return send.sending == Sending::InBatches ? Batched(send, step, record) : SendLine(send, step, record);
}

bool RouteRefusal(FileSend& send, const std::string& description, int step, const RecordSpan& record)
{
    if (send.sending == Sending::LineByLine) {
        RefusedHere(send, step, description, record);
        return true;
    }
    send.batch.AddRefused(description, step, record);
    return !send.batch.Full() || SendBatch(send, step, true);
}

std::string ShortLineText(std::size_t values, const std::string& table, std::size_t columns)
{
    return "The line has " + std::to_string(values) + " values, but the table " + table + " has " +
           std::to_string(columns) + " columns. It was not sent.";
}

}  // namespace qb
