#include "load/OneLine.h"

#include "load/ManifestStaging.h"
#include "odbc/SqlText.h"

#include <exception>
#include <string>
#include <vector>

namespace qb {

Sent SendOne(FileSend& send, std::string_view statement, std::span<const std::optional<std::string_view>> values,
             int step, const RecordSpan& record)
{
    try {
        StoreStaged(send, 1, record.line, {}, [&](std::span<const std::string> also) {
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
        RefusedHere(send, step, error.what(), record);
        return Sent::Refused;
    } catch (const std::exception& error) {
        RefusedHere(send, step, error.what(), record);
        return Sent::Refused;
    }
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
    send.statement = "INSERT INTO " + send.quotedTable + " VALUES(";
    std::vector<std::optional<std::string_view>> values;
    for (const auto field : fields) {
        send.statement += "?,";
        values.push_back(field.empty() && !IsQuotedEmpty(field) ? std::nullopt : std::optional(field));
    }
    send.statement.back() = ')';
    send.statement += ';';
    const Sent outcome = SendOne(send, send.statement, values, step, record);
    ReleaseIfHuge(send.record.text);
    return outcome;
}

}  // namespace qb
