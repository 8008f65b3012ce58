// Input: one byte of flags and separator length, the separator, then a file body.
#include "import/FieldSplitter.h"
#include "import/ImportHost.h"
#include "import/LineReader.h"
#include "import/StatementBuilder.h"
#include "import/WorkingCopy.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

class QuietHost : public qb::ImportHost {
public:
    void ShowMessage(const std::string&) override {}
    void ShowErrorReport(const std::string&, int, const std::string&) override {}
    std::string AskText(const std::string& prompt) override { return prompt; }
    void Yield() override {}
    void SetBusy(bool) override {}
};

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// The line rules, written plainly over a whole buffer, to compare with.
std::vector<std::string> ModelLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string line;
    bool started = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            lines.push_back(line);
            line.clear();
            started = false;
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += bytes[i];
            started = true;
        }
    }
    if (started)
        lines.push_back(line);
    return lines;
}

// INSERT INTO "<name>" VALUES(<NULL or '...'>{,<...>});
bool WellQuotedInsert(const std::string& statement, const std::string& table)
{
    const std::string prefix = "INSERT INTO " + qb::QuoteIdentifier(table) + " VALUES(";
    if (statement.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::size_t i = prefix.size();
    for (;;) {
        if (statement.compare(i, 4, "NULL") == 0) {
            i += 4;
        } else if (i < statement.size() && statement[i] == '\'') {
            for (++i;; ++i) {
                if (i >= statement.size())
                    return false;
                if (statement[i] == '\'') {
                    if (i + 1 < statement.size() && statement[i + 1] == '\'')
                        ++i;
                    else
                        break;
                }
            }
            ++i;
        } else {
            return false;
        }
        if (i < statement.size() && statement[i] == ',') {
            ++i;
            continue;
        }
        return statement.compare(i, std::string::npos, ");") == 0;
    }
}

std::string Join(const std::vector<std::string>& fields, const std::string& separator)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i ? separator : "") + fields[i];
    return line;
}

const std::string& Folder()
{
    static const std::string folder = [] {
        std::string pattern = "/tmp/qb-fuzz-XXXXXX";
        return std::string(::mkdtemp(pattern.data()));
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool skipFirst = data[0] & 0x80;
    const std::size_t separatorLength = std::min<std::size_t>(data[0] & 0x03, size - 1);
    const std::string separator(reinterpret_cast<const char*>(data) + 1, separatorLength);
    const std::string body(reinterpret_cast<const char*>(data) + 1 + separatorLength, size - 1 - separatorLength);
    const std::string table(body.substr(0, std::min<std::size_t>(body.size(), 5)));

    const std::string source = Folder() + "/in.txt";
    const std::string copy = Folder() + "/upload.txt";
    std::ofstream(source, std::ios::binary | std::ios::trunc) << body;

    QuietHost host;
    const std::string header = qb::PrepareWorkingCopy(source, copy, skipFirst, host).header;
    std::vector<std::string> expected = ModelLines(body);
    Check(header == (expected.empty() ? std::string() : expected.front()));
    if (skipFirst && !expected.empty())
        expected.erase(expected.begin());

    qb::LineReader reader(copy, true);
    std::string line;
    std::size_t index = 0;
    while (reader.Next(line)) {
        Check(index < expected.size() && line == expected[index++]);
        const auto fields = qb::SplitFields(line, separator);
        Check(Join(fields, separator) == line);
        Check(fields.empty() == line.empty());
        const std::vector<std::string_view> views(fields.begin(), fields.end());
        const auto insert = qb::BuildInsert(table, views);
        Check(insert.has_value() == !fields.empty());
        if (insert)
            Check(WellQuotedInsert(*insert, table));
    }
    Check(index == expected.size());
    qb::BuildCreateFromHeader(table, header, separator, host);
    qb::BuildCreateFromAnswers(table, header, separator, host);
    return 0;
}
