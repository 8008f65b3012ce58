#pragma once

#include "import/ImportHost.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// Every "[counter]" (exact case) replaced by the counter in decimal, and
// every "[file]" by the file's name without its folder and last extension,
// cleaned as a column name is ("File<counter>" when nothing is left).
std::string ExpandTableName(std::string_view pattern, int counter, std::string_view path = {},
                            bool keepLetters = false);

// The name between double quotes; a double quote inside is doubled so that
// it cannot end the identifier early.
std::string QuoteIdentifier(std::string_view name);

// The text between single quotes, a single quote inside doubled; written in
// place by the first, so that no statement needs its own copy. Inline: a
// batch's statement takes it for every value.
inline void AppendQuotedText(std::string& statement, std::string_view text)
{
    statement += '\'';
    std::size_t start = 0;
    for (auto quote = text.find('\''); quote != std::string_view::npos; quote = text.find('\'', start)) {
        statement.append(text, start, quote + 1 - start);
        statement += '\'';
        start = quote + 1;
    }
    statement.append(text.substr(start));
    statement += '\'';
}
std::string QuoteText(std::string_view text);

// Keeps only A-Z, a-z and 0-9; with keepLetters, the letters and digits of
// every alphabet (the text read as UTF-8).
std::string CleanColumnName(std::string_view text, bool keepLetters = false);

// The names of a header's columns, one per field, cleaned; an empty one or
// one with nothing left is named "Column<N>" after its field's place (a
// data frame's unnamed index column, a line's trailing separator), and one that repeats an earlier name
// (letter case aside, as most databases compare them) gets "_2", "_3", ...,
// so that a CREATE never fails for its names.
std::vector<std::string> ColumnNames(std::span<const std::string_view> header, bool keepLetters = false);

// CREATE TABLE with one column per header field, named as ColumnNames names them.
std::string BuildCreateFromFields(std::string_view table, std::span<const std::string_view> header,
                                  bool keepLetters = false, std::span<const std::string> types = {});

// CREATE TABLE with these columns, in order; types: each column's, or none
// for TEXT throughout.
std::string BuildCreate(std::string_view table, std::span<const std::string> names,
                        std::span<const std::string> types = {});

struct CreateStatement {
    std::string text;
    bool execute = false;  // false once an answer came back empty
    std::vector<std::string> names;  // the columns' names as the CREATE gives them
};

// Asks for one name per column, one per header field, empty fields
// included, and stops asking at the first empty answer. The answers are
// cleaned and mended as ColumnNames does.
CreateStatement BuildCreateFromAnswers(std::string_view table, std::size_t columns, ImportHost& host,
                                       bool keepLetters = false, std::span<const std::string> types = {});

// One INSERT for the fields of a line, written into statement, whose storage
// is reused; empty fields are NULL in their own place. False, leaving it
// empty, for a line without fields.
bool BuildInsertInto(std::string& statement, std::string_view table, std::span<const std::string_view> fields);

// The query whose result's column count is the table's.
std::string BuildColumnCountQuery(std::string_view table);
// The query whose result's columns are the table's, and which fetches no row even when a driver runs it.
std::string BuildColumnNamesQuery(std::string_view table);

}  // namespace qb
