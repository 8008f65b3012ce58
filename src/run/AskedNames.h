#pragma once

#include "run/ImportHost.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

struct CreateStatement {
    std::string text;
    bool execute = false;  // false once an answer came back empty
    std::vector<std::string> names;  // the columns' names as the CREATE gives them
};

// Asks for one name per column, one per header field, empty fields
// included, each prompt naming the file and offering the field's text; stops
// asking at the first empty answer. The answers are cleaned and mended as
// ColumnNames does.
CreateStatement BuildCreateFromAnswers(std::string_view table, std::string_view path,
                                       std::span<const std::string_view> header, ImportHost& host,
                                       bool keepLetters = false, std::span<const std::string> types = {});

}  // namespace qb
