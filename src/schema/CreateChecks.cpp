#include "schema/CreateChecks.h"

#include "base/AsciiCase.h"
#include "base/CountText.h"
#include "schema/Naming.h"

#include <algorithm>
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

PlannedTable Planned(const std::vector<std::string>& names, const std::vector<std::string>& types,
                     const ColumnPlan* plan)
{
    PlannedTable table;
    table.names = names;
    table.types = types;
    table.types.resize(names.size(), "TEXT");
    if (!plan)
        return table;
    std::size_t found = 0;
    table.kept.assign(names.size(), true);
    std::vector<std::string> keptNames, keptTypes;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto edit = plan->edits.find(names[i]);
        if (edit != plan->edits.end()) {
            ++found;
            table.kept[i] = !edit->second.leftOut;
            if (!edit->second.name.empty())
                table.names[i] = edit->second.name;
            if (!edit->second.type.empty())
                table.types[i] = edit->second.type;
        }
        if (table.kept[i]) {
            keptNames.push_back(std::move(table.names[i]));
            keptTypes.push_back(std::move(table.types[i]));
        }
    }
    table.names = std::move(keptNames);
    table.types = std::move(keptTypes);
    if (std::find(table.kept.begin(), table.kept.end(), false) == table.kept.end())
        table.kept.clear();
    if (found < plan->edits.size()) {
        for (const auto& [name, edit] : plan->edits) {
            if (std::find(names.begin(), names.end(), name) == names.end())
                table.missing.push_back(name);
        }
    }
    return table;
}

std::string MissingEdits(std::string_view path, const PlannedTable& table)
{
    if (table.missing.empty())
        return {};
    std::string listed;
    for (std::size_t i = 0; i < table.missing.size(); ++i)
        listed += (i == 0 ? "" : i + 1 == table.missing.size() ? " and " : ", ") + ("\"" + Shown(table.missing[i]) + "\"");
    return "The first line of " + std::string(path) + " no longer names " +
           (table.missing.size() == 1 ? "the column " : "the columns ") + listed +
           " edited in the preview, so " + (table.missing.size() == 1 ? "that edit does" : "those edits do") +
           " nothing.";
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
