#pragma once

#include "import/ImportHost.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// Every "[counter]" (exact case) replaced by the counter in decimal.
std::string ExpandTableName(std::string_view pattern, int counter);

// The name between double quotes; a double quote inside is doubled so that
// it cannot end the identifier early.
std::string QuoteIdentifier(std::string_view name);

// Keeps only A-Z, a-z and 0-9.
std::string CleanColumnName(std::string_view text);

// The columns the CREATE makes of a header: one per non-empty field.
std::size_t NamedColumns(std::span<const std::string_view> header);

// CREATE TABLE with one TEXT column per non-empty header field, the fields
// as the file's rules cut them.
std::string BuildCreateFromFields(std::string_view table, std::span<const std::string_view> header, ImportHost& host);
// The same for a caller without a host to yield to.
std::string BuildCreateFromFields(std::string_view table, std::span<const std::string_view> header);

struct CreateStatement {
    std::string text;
    bool execute = false;  // false once an answer came back empty
    std::vector<std::string> names;  // the columns' names as cleaned
};

// Asks for one name per column, one per header field, empty fields
// included, and stops asking at the first empty answer.
CreateStatement BuildCreateFromAnswers(std::string_view table, std::size_t columns, ImportHost& host);

// One INSERT for the fields of a line, written into statement, whose storage
// is reused; empty fields are NULL in their own place. False, leaving it
// empty, for a line without fields.
bool BuildInsertInto(std::string& statement, std::string_view table, std::span<const std::string_view> fields);

// The query whose result's column count is the table's.
std::string BuildColumnCountQuery(std::string_view table);

}  // namespace qb
