#pragma once

#include <string>
#include <string_view>

namespace qb {

// The name between double quotes; a double quote inside is doubled so that
// it cannot end the identifier early.
std::string QuoteIdentifier(std::string_view name);
// The same, written in place: no statement needs its own copy.
void AppendQuotedIdentifier(std::string& statement, std::string_view name);

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

}  // namespace qb
