#include "import/CreateChecks.h"

#include "base/AsciiCase.h"
#include "import/RunTexts.h"
#include "import/StatementBuilder.h"

#include <unordered_set>
#include <vector>

namespace qb {
namespace {

constexpr const char* kNotCreated = ". The table was not created.";

// A name as a message shows it: a very long one by its start, cut between characters.
std::string Shown(std::string_view name)
{
    constexpr std::size_t kShown = 100;
    if (name.size() <= kShown)
        return std::string(name);
    std::size_t cut = kShown - 20;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(name.substr(0, cut)) + "...";
}

// A name over the limit (0: none known).
std::string TooLong(const char* what, std::string_view name, std::size_t limit)
{
    if (limit == 0 || name.size() <= limit)
        return {};
    return std::string("The ") + what + " name " + Shown(name) + " is " +
           GroupedNumber(static_cast<long>(name.size())) + " bytes long; the database takes at most " + GroupedNumber(static_cast<long>(limit)) + kNotCreated;
}

}  // namespace

PlannedTable Planned(const ColumnPlan& plan)
{
    PlannedTable table;
    for (const PlannedColumn& column : plan.columns) {
        table.kept.push_back(column.kept);
        if (!column.kept)
            continue;
        table.names.push_back(column.name);
        table.types.push_back(column.type.empty() ? "TEXT" : column.type);
    }
    return table;
}

std::string CheckPlan(std::string_view path, const PlannedTable& table, const NameLimits& limits)
{
    if (table.names.empty())
        return "Every column of " + std::string(path) + " is left out" + kNotCreated;
    std::unordered_set<std::string> taken;
    for (const std::string& name : table.names) {
        if (name.empty() || !taken.insert(LowerAscii(name)).second)
            return "The column name \"" + Shown(name) + "\" of " + std::string(path) + " is " +
                   (name.empty() ? "empty" : "given twice") + kNotCreated;
    }
    return CheckColumnNames(table.names, limits);
}

std::string CheckNewTable(const NewTable& table, const NameLimits& limits)
{
    const std::string path(table.path);
    if (table.emptyFile)
        return path + " is empty: there is no first line to name the columns.";
    const std::size_t most = limits.maxColumns ? limits.maxColumns : kMaxColumnsWhenUnknown;
    if (table.columns > most)
        return "The first line of " + path + " names " + GroupedNumber(static_cast<long>(table.columns)) +
               " columns; the database takes at most " + GroupedNumber(static_cast<long>(most)) + kNotCreated;
    return TooLong("table", table.table, limits.maxTableName);
}

std::string CheckColumnNames(std::span<const std::string> names, const NameLimits& limits)
{
    for (const std::string& name : names) {
        std::string refusal = TooLong("column", name, limits.maxColumnName);
        if (!refusal.empty())
            return refusal;
    }
    return {};
}

std::string CheckCreateFromFields(std::string_view path, std::string_view table, bool emptyFile,
                                  std::span<const std::string_view> header, const NameLimits& limits, bool keepLetters)
{
    const std::size_t columns = header.size();
    std::string refusal = CheckNewTable({path, table, emptyFile, columns}, limits);
    if (!refusal.empty())
        return refusal;
    // An empty first line: the CREATE could only fail.
    if (columns == 0)
        return "The first line of " + std::string(path) + " names no columns: it is empty" + kNotCreated;
    return CheckColumnNames(ColumnNames(header, keepLetters), limits);
}

}  // namespace qb
