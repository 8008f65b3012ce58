#pragma once

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

// Keeps only A-Z, a-z and 0-9; with keepLetters, the letters and digits of
// every alphabet (the text read as UTF-8) and the underscore.
std::string CleanColumnName(std::string_view text, bool keepLetters = false);

// The names of a header's columns, one per field, cleaned; an empty one or
// one with nothing left is named "Column<N>" after its field's place (a
// data frame's unnamed index column, a line's trailing separator), and one that repeats an earlier name
// (letter case aside, as most databases compare them) gets "_2", "_3", ...,
// so that a CREATE never fails for its names.
std::vector<std::string> ColumnNames(std::span<const std::string_view> header, bool keepLetters = false);

// The fields that name a new table's columns: the header's own, or, for a
// file without a header line, "Column1", "Column2", ... one per field of its
// first line, which is data.
class NamingFields {
public:
    NamingFields(std::span<const std::string_view> header, bool numbered);
    NamingFields(const NamingFields&) = delete;
    NamingFields& operator=(const NamingFields&) = delete;
    const std::vector<std::string_view>& Fields() const { return m_fields; }

private:
    std::vector<std::string> m_numbered;
    std::vector<std::string_view> m_fields;
};

// Mends names in place: an empty one takes "Column<place>", a repeated one "_2", "_3", ...
void MendNames(std::vector<std::string>& names, std::span<const std::size_t> places, bool keepLetters);

}  // namespace qb
