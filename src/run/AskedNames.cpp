#include "run/AskedNames.h"

#include "schema/CreateStatement.h"
#include "schema/Naming.h"

namespace qb {

CreateStatement BuildCreateFromAnswers(std::string_view table, std::size_t columns, ImportHost& host,
                                       bool keepLetters, std::span<const std::string> types)
{
    CreateStatement create;
    std::vector<std::size_t> places;
    for (std::size_t n = 1; n <= columns; ++n) {
        const std::string answer = host.AskText("Enter name for column #" + std::to_string(n) + ":");
        create.execute = !answer.empty();
        if (answer.empty())
            break;
        create.names.push_back(CleanColumnName(answer, keepLetters));
        places.push_back(n);
    }
    MendNames(create.names, places, keepLetters);
    create.text = BuildCreate(table, create.names, types);
    return create;
}

}  // namespace qb
