#include "run/AskedNames.h"

#include "files/PathHelpers.h"
#include "schema/CreateStatement.h"
#include "schema/Naming.h"

namespace qb {
namespace {

// A field offered as an answer: a line with no breaks in it could make it the whole file.
constexpr std::size_t kMostOffered = 256;

std::string Offered(std::string_view field)
{
    if (field.size() <= kMostOffered)
        return std::string(field);
    std::size_t end = kMostOffered;
    while (end > 0 && (static_cast<unsigned char>(field[end]) & 0xC0) == 0x80)
        --end;  // not within a UTF-8 sequence
    return std::string(field.substr(0, end));
}

}  // namespace

CreateStatement BuildCreateFromAnswers(std::string_view table, std::string_view path,
                                       std::span<const std::string_view> header, ImportHost& host,
                                       bool keepLetters, std::span<const std::string> types)
{
    const std::string file(path.substr(ParentFolder(path).size()));
    CreateStatement create;
    std::vector<std::size_t> places;
    for (std::size_t n = 1; n <= header.size(); ++n) {
        const std::string answer =
            host.AskText(file + ": Enter name for column #" + std::to_string(n) + ":", Offered(header[n - 1]));
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
