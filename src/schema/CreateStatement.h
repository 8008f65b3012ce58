#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qb {

// CREATE TABLE with one column per header field, named as ColumnNames names them.
std::string BuildCreateFromFields(std::string_view table, std::span<const std::string_view> header,
                                  bool keepLetters = false, std::span<const std::string> types = {});

// CREATE TABLE with these columns, in order; types: each column's, or none
// for TEXT throughout. key: the columns of its primary key, each NOT NULL (SQLite's keys take NULL otherwise).
std::string BuildCreate(std::string_view table, std::span<const std::string> names,
                        std::span<const std::string> types = {}, std::span<const std::string> key = {});

}  // namespace qb
