#pragma once

#include "load/FileSend.h"

#include <optional>
#include <span>
#include <string_view>

// A line sent by itself, as its own transaction.
namespace qb {

enum class Sent { Stored, Refused, Lost };

// Runs one line's statement; values, if any, are bound to its markers.
Sent SendOne(FileSend& send, std::string_view statement, std::span<const std::optional<std::string_view>> values,
             int step, const RecordSpan& record);

// The line's values bound to markers: the statement text stays small and
// the values are read from the line itself (send.record).
Sent SendBound(FileSend& send, std::span<const std::string_view> fields, int step, const RecordSpan& record);

}  // namespace qb
