#include "import/Preview.h"

#include "base/SafeFile.h"
#include "import/StatementBuilder.h"
#include "import/TextDecoder.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <sys/mman.h>
#include <unistd.h>

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
        const UniqueFd in = OpenRegularFileForReading(path, true);
        // The start of the file, in memory: a 2 GB file previews as fast as a small one.
        UniqueFd start(::memfd_create("preview", MFD_CLOEXEC));
        if (!start.Valid())
            throw std::system_error(errno, std::generic_category(), "Cannot preview " + path);
        std::string head(options.maxBytes, '\0');
        const std::size_t got = ReadFully(in.Get(), head.data(), head.size(), 0, path);
        const bool cut = got == head.size();
        WriteFully(start.Get(), {head.data(), got}, "Cannot preview " + path);

        FileRecords records(start.Get(), path, options.format);
        RecordSplitter splitter(options.format.separator, options.format.quoted);
        bool first = true;
        std::size_t widest = 0;
        if (!options.createMode)
            preview.columns = options.tableColumns;
        const auto take = [&](const std::string& record, bool unclosed) {
            const auto& fields = splitter.Split(record);
            if (std::exchange(first, false)) {
                if (options.createMode) {
                    if (options.namesFromFirstLine) {
                        for (const auto field : fields) {
                            if (!field.empty())
                                preview.headers.push_back(CleanColumnName(field));
                        }
                        preview.columns = preview.headers.size();
                    } else {
                        preview.columns = fields.size();
                    }
                    return;
                }
                if (options.skipFirstLine)
                    return;
            }
            if (fields.empty())
                return;  // an empty line sends nothing
            std::vector<PreviewCell> cells;
            for (const auto field : fields)
                cells.push_back({ForDisplay(field), field.empty() && !IsQuotedEmpty(field)});
            const bool marked = unclosed || (preview.columns && fields.size() != *preview.columns);
            preview.mismatched += marked;
            preview.marked.push_back(marked);
            preview.records.push_back(std::move(cells));
            widest = std::max(widest, fields.size());
        };
        // The last record of a cut start may itself be cut: it is left out.
        std::string record;
        std::string pending;
        bool havePending = false;
        bool pendingUnclosed = false;
        while (preview.records.size() < options.maxRecords && records.Next(record)) {
            if (havePending)
                take(pending, pendingUnclosed);
            pending.swap(record);
            pendingUnclosed = records.Unclosed();
            havePending = true;
        }
        if (havePending && preview.records.size() < options.maxRecords && !cut)
            take(pending, pendingUnclosed);
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
