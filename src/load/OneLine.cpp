#include "load/OneLine.h"

#include "load/ManifestStaging.h"
#include "odbc/SqlText.h"

#include <exception>
#include <string>
#include <vector>

namespace qb {
namespace {

// The database's words, but for MariaDB's refusal of a line that meets a row by another unique index than
// the key (see KeyRuleOf), whose own words would say nothing of it.
std::string RefusalText(const FileSend& send, const DatabaseError& error)
{
    const auto& records = error.Records();
    if (send.keys.Keyed() && send.keys.kind == DatabaseKind::Mariadb && !records.empty() &&
        records.front().nativeError == kNotTheKeysRowError)
        return "[23000] A row of the table holds a value of the line already, under a unique index other than " +
               KeyText(send.target.key) + ", so the line was not stored.";
    return error.what();
}

}  // namespace

long StoreKeyed(FileSend& send, std::string_view statement, std::span<const std::optional<std::string_view>> values,
                std::span<const std::string> also, const AddKeys& addKeys)
{
    long inserted = 0;
    const auto store = [&] {
        if (send.keys.Answers()) {
            inserted = InsertedOf(values.empty() ? send.connection.QueryStrings(statement)
                                                 : send.connection.QueryStrings(statement, values));
            return;
        }
        send.keyCount.Start(send.keys);
        addKeys(send.keyCount);
        inserted = send.keyCount.Around(send.connection, [&] {
            if (values.empty())
                send.connection.Execute(statement);
            else
                send.connection.Execute(statement, values);
        });
    };
    // The counts before and after the rows must see nothing else between them; the target's first
    // statements, while they are still to run, go in the same transaction.
    if (send.firstPending)
        WithStatements(send, also, store);
    else if (send.keys.Answers() && also.empty())
        store();
    else
        send.connection.InOneTransaction(store, also);
    return inserted;
}

Sent SendOne(FileSend& send, std::string_view statement, std::span<const std::optional<std::string_view>> values,
             int step, const RecordSpan& record, const AddKeys& addKeys)
{
    long inserted = 0;
    try {
        StoreStaged(send, 1, record.line, {}, [&](std::span<const std::string> also) {
            if (send.keys.Keyed()) {
                inserted = StoreKeyed(send, statement, values, also, addKeys);
                return;
            }
            WithStatements(send, also, [&] {
                if (values.empty())
                    send.connection.Execute(statement);
                else
                    send.connection.Execute(statement, values);
            });
        });
    } catch (const DatabaseError& error) {
        if (EndsTheFile(send, error)) {
            send.sink.Lost(step, LineUnsent(error), record);
            return Sent::Lost;
        }
        RefusedHere(send, step, RefusalText(send, error), record);
        return Sent::Refused;
    } catch (const std::exception& error) {
        RefusedHere(send, step, error.what(), record);
        return Sent::Refused;
    }
    if (send.keys.Keyed())
        send.sink.Inserted(inserted, 1 - inserted);
    send.sink.Stored(1, record.offset + static_cast<off_t>(record.length));
    return Sent::Stored;
}

Sent SendBound(FileSend& send, std::span<const std::string_view> fields, int step, const RecordSpan& record)
{
    // In a statement's text a NUL byte cuts the statement short and it is refused; a bound value would be
    // stored cut short, or whole, depending on the driver.
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].find('\0') != std::string_view::npos) {
            RefusedHere(send, step,
                        "Value " + std::to_string(i + 1) + " holds a NUL byte, which is not text. The line was not sent.",
                        record);
            return Sent::Refused;
        }
    }
    send.statement = send.keys.before + "INSERT INTO " + send.quotedTable + " VALUES(";
    std::vector<std::optional<std::string_view>> values;
    for (const auto field : fields) {
        send.statement += "?,";
        values.push_back(field.empty() && !IsQuotedEmpty(field) ? std::nullopt : std::optional(field));
    }
    send.statement.back() = ')';
    send.statement += send.keys.after;
    send.statement += ';';
    const Sent outcome = SendOne(send, send.statement, values, step, record,
                                 [&](KeyCount& count) { count.AddFields(send.keys, fields); });
    ReleaseIfHuge(send.record.text);
    return outcome;
}

}  // namespace qb
