#include "import/StatementBuilder.h"

#include "import/InsertBatch.h"

#include <algorithm>

namespace qb {
namespace {

constexpr std::string_view kColumnNameAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

void AppendColumn(std::string& statement, std::string_view name)
{
    statement += '"';
    statement += CleanColumnName(name);
    statement += "\" TEXT, ";
}

// QuoteIdentifier's text, written in place: no statement needs its own copy.
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

// CREATE TABLE "<table>"( with the columns to come.
std::string OpenCreate(std::string_view table)
{
    std::string statement = "CREATE TABLE ";
    AppendQuotedIdentifier(statement, table);
    statement += '(';
    return statement;
}

// Drops the trailing ", " (or, with no columns at all, the quote and
// parenthesis: that statement is rejected by the database, as it should be).
void CloseCreate(std::string& statement)
{
    statement.resize(statement.size() - 2);
    statement += ");";
}

std::string BuildCreate(std::string_view table, std::span<const std::string_view> header, ImportHost* host)
{
    std::string statement = OpenCreate(table);
    for (const auto field : header) {
        if (host)
            host->Yield();
        if (!field.empty())
            AppendColumn(statement, field);
    }
    CloseCreate(statement);
    return statement;
}

}  // namespace

std::string ExpandTableName(std::string_view pattern, int counter)
{
    static constexpr std::string_view token = "[counter]";
    const std::string number = std::to_string(counter);
    std::string name;
    std::size_t start = 0;
    for (auto match = pattern.find(token); match != std::string_view::npos;
         match = pattern.find(token, start)) {
        name.append(pattern.substr(start, match - start));
        name += number;
        start = match + token.size();
    }
    name.append(pattern.substr(start));
    return name;
}

std::string QuoteIdentifier(std::string_view name)
{
    std::string quoted;
    AppendQuotedIdentifier(quoted, name);
    return quoted;
}

std::string CleanColumnName(std::string_view text)
{
    std::string name;
    for (char c : text) {
        if (kColumnNameAlphabet.find(c) != std::string_view::npos)
            name += c;
    }
    return name;
}

std::size_t NamedColumns(std::span<const std::string_view> header)
{
    return static_cast<std::size_t>(
        std::count_if(header.begin(), header.end(), [](std::string_view field) { return !field.empty(); }));
}

std::string BuildCreateFromFields(std::string_view table, std::span<const std::string_view> header, ImportHost& host)
{
    return BuildCreate(table, header, &host);
}

std::string BuildCreateFromFields(std::string_view table, std::span<const std::string_view> header)
{
    return BuildCreate(table, header, nullptr);
}

CreateStatement BuildCreateFromAnswers(std::string_view table, std::size_t columns, ImportHost& host)
{
    CreateStatement create{OpenCreate(table), false, {}};
    for (std::size_t n = 1; n <= columns; ++n) {
        const std::string answer = host.AskText("Enter name for column #" + std::to_string(n) + ":");
        AppendColumn(create.text, answer);
        create.names.push_back(CleanColumnName(answer));
        create.execute = !answer.empty();
        if (answer.empty())
            break;
    }
    CloseCreate(create.text);
    return create;
}

bool BuildInsertInto(std::string& statement, std::string_view table, std::span<const std::string_view> fields)
{
    statement.clear();
    if (fields.empty())
        return false;
    std::size_t size = table.size() + 32;
    for (const auto field : fields)
        size += field.size() + 8;
    statement.reserve(size);
    statement += "INSERT INTO ";
    AppendQuotedIdentifier(statement, table);
    statement += " VALUES";
    AppendValues(statement, fields);
    statement += ';';
    return true;
}

std::string BuildColumnCountQuery(std::string_view table)
{
    return "SELECT * FROM " + QuoteIdentifier(table);
}

}  // namespace qb
