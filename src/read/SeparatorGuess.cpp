#include "read/SeparatorGuess.h"

#include "base/UniqueFd.h"
#include "read/FieldSplitter.h"
#include "read/Records.h"
#include "read/Input.h"

#include <algorithm>
#include <map>
#include <system_error>
#include <vector>

namespace qb {
namespace {

// How many records each field count was seen on, for one choice. One field
// says nothing: any choice absent from a line gives that.
class Tally {
public:
    void Add(std::size_t fields)
    {
        if (fields > 1)
            ++m_counts[fields];
    }
    std::size_t Agreeing() const
    {
        std::size_t most = 0;
        for (const auto& [fields, records] : m_counts)
            most = std::max(most, records);
        return most;
    }

private:
    std::map<std::size_t, std::size_t> m_counts;
};

// The first records as the import would send them: a blank line sends
// nothing, and a refused record (an open quote, bytes the encoding cannot
// take) is no evidence either way.
template <typename Each>
void ReadFirst(int fd, const std::string& name, const FileFormat& format, std::size_t records, Each each)
{
    FileRecords file(fd, name, format, false);
    FileRecord record;
    for (std::size_t n = 0; n < records && file.Next(record); ++n)
        if (record.note.empty() && !record.text.empty())
            each(record.text);
}

}  // namespace

std::optional<std::string> GuessSeparator(int fd, const std::string& name, const FileFormat& format,
                                          std::size_t records)
{
    std::array<Tally, kSeparatorChoices.size()> tallies;
    FileFormat reading = format;
    if (!format.quoted) {
        // Unquoted records end at line ends whatever the separator: one reading serves every choice.
        std::vector<std::string_view> fields;
        ReadFirst(fd, name, reading, records, [&](const std::string& text) {
            for (std::size_t i = 0; i < kSeparatorChoices.size(); ++i) {
                SplitFieldsInto(text, kSeparatorChoices[i], fields);
                tallies[i].Add(fields.size());
            }
        });
    } else {
        // Where a quoted record ends depends on the separator: each choice reads the file its own way.
        for (std::size_t i = 0; i < kSeparatorChoices.size(); ++i) {
            reading.separator = kSeparatorChoices[i];
            RecordSplitter splitter(reading.separator, true, reading.quote);
            ReadFirst(fd, name, reading, records,
                      [&](const std::string& text) { tallies[i].Add(splitter.Split(text).size()); });
        }
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < tallies.size(); ++i)
        if (tallies[i].Agreeing() > tallies[best].Agreeing())
            best = i;
    if (tallies[best].Agreeing() == 0)
        return std::nullopt;
    return std::string(kSeparatorChoices[best]);
}

std::optional<std::string> GuessSeparator(const std::string& path, const FileFormat& format)
{
    const UniqueFd in = OpenInput(path);
    return GuessSeparator(in.Get(), path, format);
}

std::string SeparatorName(std::string_view separator)
{
    return separator == "\t" ? "tab" : separator == " " ? "space" : std::string(separator);
}

FileSeparator GuessFileSeparator(int fd, const std::string& name, const FileFormat& format,
                                 const std::string& fallback)
{
    std::optional<std::string> guess;
    try {
        guess = GuessSeparator(fd, name, format);
    } catch (const NotImportable&) {
    } catch (const std::system_error&) {
    }
    if (guess)
        return {*guess, "separator guessed: " + SeparatorName(*guess)};
    return {fallback, "no separator could be guessed: the lines are cut at " +
                          (fallback.empty() ? std::string("nothing") : SeparatorName(fallback))};
}

}  // namespace qb
