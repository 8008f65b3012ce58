#include "odbc/SqlText.h"

namespace qb {

void AppendQuotedIdentifier(std::string& statement, std::string_view name)
{
    statement += '"';
    for (char c : name) {
        statement += c;
        if (c == '"')
            statement += '"';
    }
    statement += '"';
}

std::string QuoteIdentifier(std::string_view name)
{
    std::string quoted;
    AppendQuotedIdentifier(quoted, name);
    return quoted;
}

std::string QuoteText(std::string_view text)
{
    std::string quoted;
    AppendQuotedText(quoted, text);
    return quoted;
}

}  // namespace qb
