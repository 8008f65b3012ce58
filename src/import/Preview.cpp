#include "import/Preview.h"

#include "base/SafeFile.h"
#include "import/Records.h"
#include "import/StatementBuilder.h"
#include "import/TextDecoder.h"
#include "import/WorkingCopy.h"

#include <algorithm>
#include <utility>

namespace qb {
std::string ForDisplay(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            ++i;
        } else {
            text.append(bytes.substr(i, length));
            i += length;
        }
    }
    return text;
}

Preview BuildPreview(const std::string& path, const PreviewOptions& options)
{
    Preview preview;
    try {
        const UniqueFd in = OpenInput(path);
        // The same reading as the import's, of which only the first records are taken.
        FileRecords records(in.Get(), path, options.format, options.createMode || options.skipFirstLine);
        RecordSplitter splitter(options.format.separator, options.format.quoted);
        if (!options.createMode) {
            preview.columns = options.tableColumns;
        } else if (records.HasHeader()) {
            const auto& fields = splitter.Split(records.Header());
            if (options.namesFromFirstLine) {
                preview.headers = ColumnNames(fields, options.keepLetters);
                preview.columns = preview.headers.size();
                preview.named = preview.headers;
                if (options.plan && PlanFits(*options.plan, preview.named)) {
                    preview.headers.clear();
                    for (const PlannedColumn& column : options.plan->columns) {
                        preview.headers.push_back(column.name);
                        preview.types.push_back(column.type.empty() ? "TEXT" : column.type);
                        preview.kept.push_back(column.kept);
                    }
                }
            } else {
                preview.columns = fields.size();
            }
        }
        std::size_t widest = 0;
        FileRecord record;
        TypeGuesser guesser;
        const bool guessing = options.createMode && options.guessTypes && preview.columns && preview.kept.empty();
        const auto learn = [&](const std::vector<std::string_view>& fields) {
            if (guessing && record.note.empty() && fields.size() == *preview.columns)
                guesser.Observe(fields);
        };
        while (preview.records.size() < options.maxRecords && records.Next(record)) {
            const auto& fields = splitter.Split(record.text);
            learn(fields);
            if (fields.empty() && record.note.empty())
                continue;  // an empty line sends nothing
            std::vector<PreviewCell> cells;
            for (const auto field : fields)
                cells.push_back({ForDisplay(field), field.empty() && !IsQuotedEmpty(field)});
            const bool marked = !record.note.empty() || (preview.columns && fields.size() != *preview.columns);
            preview.mismatched += marked;
            preview.marked.push_back(marked);
            preview.lines.push_back(record.line);
            preview.records.push_back(std::move(cells));
            widest = std::max(widest, fields.size());
        }
        if (guessing) {
            // The import guesses from every record; a very long file is only forecast here.
            while (!preview.typesFromPart && records.Next(record)) {
                preview.typesFromPart = static_cast<std::uint64_t>(record.end) > options.guessBytes;
                learn(splitter.SplitInPlace(record.text));
            }
            preview.types = guesser.TypesFor(*options.guessTypes, *preview.columns);
        }
        if (preview.headers.empty()) {
            const std::size_t count = std::max(widest, preview.columns.value_or(0));
            for (std::size_t i = 1; i <= count; ++i)
                preview.headers.push_back("Column " + std::to_string(i));
        }
    } catch (const std::exception& error) {
        preview.error = error.what();
    }
    return preview;
}

}  // namespace qb
