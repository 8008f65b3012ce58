#pragma once

#include "run/ImportSettings.h"
#include "run/RunSummary.h"

#include <string>
#include <string_view>

namespace qb::cli {

// text as a JSON string, quotes included: quotes, backslashes and control
// bytes escaped, and each byte that is not part of valid UTF-8 (paths may
// hold any) written as \ufffd.
std::string JsonString(std::string_view text);

// The run as one JSON document (--summary): its options, each file reached,
// the totals and the exit status, ended by a newline.
std::string SummaryJson(const ImportSettings& settings, const ImportSummary& summary, int exitStatus);

}  // namespace qb::cli
