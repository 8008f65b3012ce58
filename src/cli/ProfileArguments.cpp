#include "cli/ProfileArguments.h"

#include "cli/CommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace qb::cli {
namespace {

struct OptionShape {
    std::string_view name;
    bool takesValue;
};

// The run's options a profile may hold; those that only list, tell or name profiles are left out.
constexpr std::array kRunOptions{
    OptionShape{"dsn", true},           OptionShape{"separator", true},       OptionShape{"table-name", true},
    OptionShape{"ask-columns", false},  OptionShape{"append", true},          OptionShape{"skip-header", false},
    OptionShape{"on-duplicate", true},  OptionShape{"columns", true},         OptionShape{"ignore-extra-columns", false},
    OptionShape{"quoted", false},       OptionShape{"quote", true},           OptionShape{"no-header", false},
    OptionShape{"skip-lines", true},    OptionShape{"encoding", true},        OptionShape{"rejects", true},
    OptionShape{"dry-run", false},      OptionShape{"row-by-row", false},     OptionShape{"types", true},
    OptionShape{"date-format", true},   OptionShape{"keep-letters", false},   OptionShape{"resume", false},
    OptionShape{"retry-refused", false}, OptionShape{"replace", false},       OptionShape{"if-exists", true},
    OptionShape{"key", true},           OptionShape{"null", true},            OptionShape{"trim", false},
    OptionShape{"decimal-comma", false}, OptionShape{"type", true},         OptionShape{"summary", true},
    OptionShape{"rejects-reasons", true}, OptionShape{"jobs", true},
};

const OptionShape* RunOption(std::string_view name)
{
    const auto found = std::find_if(kRunOptions.begin(), kRunOptions.end(),
                                    [&](const OptionShape& shape) { return shape.name == name; });
    return found == kRunOptions.end() ? nullptr : &*found;
}

std::string ProfileFile(const std::string& name)
{
    try {
        return ProfilePath(name);
    } catch (const ProfileError& error) {
        throw UsageError{error.message};
    }
}

}  // namespace

ProfileArguments ExpandProfile(const std::vector<std::string>& arguments)
{
    ProfileArguments expanded;
    std::vector<std::string> own;
    std::vector<ProfileEntry> given;  // the command line's own run options, in order
    std::string profile;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool option = !optionsEnded && argument.size() > 2 && argument.starts_with("--");
        optionsEnded = optionsEnded || argument == "--";
        if (option && (argument == "--profile" || argument == "--save-profile")) {
            if (i + 1 >= arguments.size())
                throw UsageError{"missing value for " + argument};
            (argument == "--profile" ? profile : expanded.saveTo) = ProfileFile(arguments[++i]);
            continue;
        }
        own.push_back(argument);
        const OptionShape* shape = option ? RunOption(std::string_view(argument).substr(2)) : nullptr;
        if (shape == nullptr)
            continue;
        given.push_back({std::string(shape->name), shape->takesValue ? "" : "true", 0});
        if (shape->takesValue && i + 1 < arguments.size()) {
            given.back().value = arguments[++i];
            own.push_back(given.back().value);
        }
    }
    std::vector<ProfileEntry> kept;
    if (!profile.empty()) {
        try {
            kept = ReadProfile(profile);
        } catch (const ProfileError& error) {
            throw UsageError{error.message};
        }
    }
    // An option the command line gives replaces every value the profile has for it.
    std::erase_if(kept, [&](const ProfileEntry& entry) {
        return std::any_of(given.begin(), given.end(), [&](const ProfileEntry& g) { return g.option == entry.option; });
    });
    for (const ProfileEntry& entry : kept) {
        const std::string where = profile + ", line " + std::to_string(entry.line) + ": ";
        const OptionShape* shape = RunOption(entry.option);
        if (shape == nullptr)
            throw UsageError{where + "unknown option " + entry.option};
        if (shape->takesValue) {
            expanded.arguments.insert(expanded.arguments.end(), {"--" + entry.option, entry.value});
        } else if (entry.value == "true") {
            expanded.arguments.push_back("--" + entry.option);
        } else if (entry.value != "false") {
            throw UsageError{where + entry.option + " takes true or false, not " + entry.value};
        }
    }
    expanded.arguments.insert(expanded.arguments.end(), own.begin(), own.end());
    if (!expanded.saveTo.empty()) {
        expanded.toSave = std::move(kept);
        expanded.toSave.insert(expanded.toSave.end(), given.begin(), given.end());
        std::erase_if(expanded.toSave, [](const ProfileEntry& entry) { return entry.value == "false"; });
        for (ProfileEntry& entry : expanded.toSave)
            entry.line = 0;
    }
    return expanded;
}

}  // namespace qb::cli
