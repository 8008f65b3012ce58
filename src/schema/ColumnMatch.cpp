#include "schema/ColumnMatch.h"

#include "base/AsciiCase.h"
#include "schema/Naming.h"

#include <unordered_map>

namespace qb {
namespace {

bool FoldsCase(DatabaseKind database)
{
    return database == DatabaseKind::Sqlite || database == DatabaseKind::Mariadb;
}

std::string Key(std::string_view name, DatabaseKind database)
{
    return FoldsCase(database) ? LowerAscii(name) : std::string(name);
}

std::string Listed(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

bool SameColumn(std::string_view a, std::string_view b, DatabaseKind database)
{
    return Key(a, database) == Key(b, database);
}

std::string ColumnMapping::Described() const
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i ? ", " : "";
        text += i < targets.size() && !targets[i].empty() ? names[i] + " -> " + targets[i] : names[i] + " left out";
    }
    if (!unfilled.empty())
        text += "; not in the file: " + Listed(unfilled);
    return text;
}

ColumnMapping MatchColumns(std::span<const std::string_view> header, const std::vector<std::string>& tableColumns,
                           const MatchOptions& options)
{
    ColumnMapping mapping;
    const bool planned = options.plan && !options.plan->edits.empty();
    if (header.empty() || options.matching == ColumnMatching::ByPosition)
        return mapping;
    // Only a header that names every column of the table once is taken as meant by name.
    if (options.matching == ColumnMatching::Automatic && !planned && header.size() != tableColumns.size())
        return mapping;
    mapping.names = ColumnNames(header, options.keepLetters);
    const auto& names = mapping.names;
    // Built once per file: the cost of a name's look-up must not grow with the table's width.
    std::unordered_map<std::string, std::size_t> places;
    for (std::size_t j = 0; j < tableColumns.size(); ++j)
        places.emplace(Key(tableColumns[j], options.database), j);
    const auto place = [&](const std::string& name) {
        const auto found = places.find(Key(name, options.database));
        return found == places.end() ? tableColumns.size() : found->second;
    };
    if (options.matching == ColumnMatching::Automatic && !planned) {
        std::vector<bool> seen(tableColumns.size());
        bool reordered = false;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::size_t j = place(names[i]);
            if (j == tableColumns.size() || seen[j])
                return mapping;
            seen[j] = true;
            reordered |= j != i;
        }
        if (!reordered)
            return mapping;  // the same by position
    }
    mapping.byName = true;
    mapping.targets.resize(names.size());
    std::vector<bool> filled(tableColumns.size());
    std::vector<std::string> lacking, twice;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string wanted = names[i];
        bool edited = false;
        if (planned) {
            if (const auto edit = options.plan->edits.find(names[i]); edit != options.plan->edits.end()) {
                if (edit->second.leftOut)
                    continue;
                edited = !edit->second.name.empty();
                if (edited)
                    wanted = edit->second.name;
            }
        }
        const std::size_t j = place(wanted);
        if (j == tableColumns.size()) {
            // A column chosen in the preview is meant: its absence is never passed over.
            if (!options.ignoreExtra || edited)
                lacking.push_back(wanted);
            continue;
        }
        if (filled[j]) {
            twice.push_back(tableColumns[j]);
            continue;
        }
        filled[j] = true;
        mapping.columns.push_back(tableColumns[j]);
        mapping.fields.push_back(i);
        mapping.targets[i] = tableColumns[j];
    }
    for (std::size_t j = 0; j < tableColumns.size(); ++j) {
        if (!filled[j])
            mapping.unfilled.push_back(tableColumns[j]);
    }
    if (!lacking.empty())
        mapping.refusal = "The table " + options.table + (lacking.size() == 1 ? " has no column " : " has no columns ") +
                          Listed(lacking) + ", which the first line of " + options.file +
                          " names. Nothing of the file was sent.";
    else if (!twice.empty())
        mapping.refusal = "More than one column of " + options.file + " goes to " + Listed(twice) + " of the table " +
                          options.table + ". Nothing of the file was sent.";
    else if (mapping.columns.empty())
        mapping.refusal = "No column of " + options.file + " goes to a column of the table " + options.table +
                          ". Nothing of the file was sent.";
    return mapping;
}

}  // namespace qb
