#pragma once

#include "load/FileSend.h"

#include <functional>
#include <optional>
#include <span>
#include <string_view>

// A line sent by itself, as its own transaction.
namespace qb {

enum class Sent { Stored, Refused, Lost };

// Where a key decides: puts the rows' keys into a count.
using AddKeys = std::function<void(KeyCount&)>;

// Runs one line's statement; values, if any, are bound to its markers. addKeys: the line's key, where one decides.
Sent SendOne(FileSend& send, std::string_view statement, std::span<const std::optional<std::string_view>> values,
             int step, const RecordSpan& record, const AddKeys& addKeys = {});

// Runs a statement of the file's key rule (values bound, if any) with the statements of also, in one
// transaction where they must share it, and returns the rows it inserted.
long StoreKeyed(FileSend& send, std::string_view statement, std::span<const std::optional<std::string_view>> values,
                std::span<const std::string> also, const AddKeys& addKeys);

// The line's values bound to markers: the statement text stays small and
// the values are read from the line itself (send.record).
Sent SendBound(FileSend& send, std::span<const std::string_view> fields, int step, const RecordSpan& record);

}  // namespace qb
