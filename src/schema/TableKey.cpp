#include "schema/TableKey.h"

#include "base/AsciiCase.h"
#include "schema/Naming.h"
#include "schema/TypeNames.h"

#include <algorithm>

namespace qb {
namespace {

// The place among the kept columns of the file's field, or npos when it is left out.
std::size_t KeptPlace(const PlannedTable& planned, std::size_t field)
{
    if (planned.kept.empty())
        return field;
    if (!planned.kept[field])
        return std::string::npos;
    return static_cast<std::size_t>(std::count(planned.kept.begin(), planned.kept.begin() + static_cast<long>(field), true));
}

}  // namespace

PlannedKey PlanKey(const std::vector<std::string>& names, const PlannedTable& planned, const ColumnPlan* plan,
                   std::span<const std::string> key, bool keepLetters, std::string_view path)
{
    PlannedKey planKey;
    std::vector<bool> inKey(names.size(), false);
    for (const std::string& given : key) {
        const std::string cleaned = CleanColumnName(given, keepLetters);
        auto found = std::find(names.begin(), names.end(), cleaned);
        if (found == names.end())
            found = std::find_if(names.begin(), names.end(),
                                 [&](const std::string& name) { return LowerAscii(name) == LowerAscii(cleaned); });
        if (found == names.end()) {
            planKey.refusal = "The first line of " + std::string(path) + " names no column \"" + given +
                              "\" for the key. The table was not created.";
            return planKey;
        }
        inKey[static_cast<std::size_t>(found - names.begin())] = true;
    }
    for (std::size_t i = 0; plan && i < names.size(); ++i) {
        const auto edit = plan->edits.find(names[i]);
        inKey[i] = inKey[i] || (edit != plan->edits.end() && edit->second.key);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!inKey[i])
            continue;
        const std::size_t place = KeptPlace(planned, i);
        if (place == std::string::npos || place >= planned.names.size()) {
            planKey.refusal = "The key column \"" + names[i] + "\" of " + std::string(path) +
                              " is left out. The table was not created.";
            return planKey;
        }
        planKey.fields.push_back(i);
        planKey.names.push_back(planned.names[place]);
    }
    return planKey;
}

void KeyTypes(PlannedTable& planned, const PlannedKey& key, const TypeGuesser* guesser, DatabaseKind database)
{
    for (const std::size_t field : key.fields) {
        const std::size_t place = KeptPlace(planned, field);
        const ColumnGuess* guess =
            guesser && field < guesser->Columns().size() ? &guesser->Columns()[field] : nullptr;
        planned.types[place] = KeyType(planned.types[place], guess, database, key.fields.size());
    }
}

}  // namespace qb
