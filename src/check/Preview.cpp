#include "check/Preview.h"

#include "base/SafeFile.h"
#include "schema/ColumnMatch.h"
#include "schema/CreateChecks.h"
#include "read/Records.h"
#include "schema/Naming.h"
#include "read/TextDecoder.h"
#include "schema/TypeNames.h"
#include "schema/ValueGuess.h"
#include "run/WorkingCopy.h"

#include <algorithm>
#include <system_error>
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

std::optional<std::vector<std::string>> FirstLineNames(const std::string& path, const FileFormat& format,
                                                       bool keepLetters)
{
    try {
        const UniqueFd in = OpenInput(path);
        FileRecords records(in.Get(), path, format, true);
        if (!records.HasHeader())
            return std::nullopt;
        RecordSplitter splitter(format.separator, format.quoted, format.quote);
        const NamingFields naming(splitter.Split(records.Header()), format.headerIsData);
        return ColumnNames(naming.Fields(), keepLetters);
    } catch (const std::exception&) {
        return std::nullopt;  // the preview of that file says why
    }
}

namespace {

// Appending with a header: each file column headed by the table column it goes to, as the run would map it;
// the first line's names and the edits make the columns editable, as a new table's are.
void MapToTable(Preview& preview, std::span<const std::string_view> header, const std::string& path,
                const PreviewOptions& options)
{
    const ColumnMapping mapping =
        MatchColumns(header, options.tableNames,
                     {options.matching, options.ignoreExtra, options.keepLetters, options.database, options.plan ? &*options.plan : nullptr,
                      path, options.table});
    preview.named = ColumnNames(header, options.keepLetters);
    preview.tableColumns = options.tableNames;
    preview.byName = mapping.byName;
    preview.targets = mapping.targets;
    if (mapping.byName) {
        preview.columns = header.size();  // a line holds the header's columns
        if (!mapping.refusal.empty())
            preview.messages.push_back(mapping.refusal);
    } else {
        preview.targets.assign(preview.named.size(), std::string());
        for (std::size_t i = 0; i < preview.named.size() && i < options.tableNames.size(); ++i)
            preview.targets[i] = options.tableNames[i];
    }
    preview.kept.resize(preview.named.size());
    if (options.plan)
        preview.edits.resize(preview.named.size());
    for (std::size_t i = 0; i < preview.named.size(); ++i) {
        // By position a column past the table's is not left out: its records are refused.
        preview.kept[i] = !mapping.byName || !preview.targets[i].empty();
        preview.headers.push_back(ForDisplay(preview.targets[i].empty() ? preview.named[i] : preview.targets[i]));
        if (options.plan)
            if (const auto edit = options.plan->edits.find(preview.named[i]); edit != options.plan->edits.end())
                preview.edits[i] = edit->second;
    }
}

}  // namespace

Preview BuildPreview(const std::string& path, const PreviewOptions& options)
{
    Preview preview;
    bool started = false;  // a record was read, the header included
    bool headerRead = false;
    try {
        const UniqueFd in = OpenInput(path);
        // The same reading as the import's, of which only the first records are taken.
        FileRecords records(in.Get(), path, options.format, options.createMode || options.skipFirstLine);
        headerRead = started = records.HasHeader();
        RecordSplitter splitter(options.format.separator, options.format.quoted, options.format.quote);
        // A byte order mark may have chosen another encoding than the one named.
        const bool converted = !records.Encoding().empty();
        const std::string readAs = records.Encoding() == options.format.encoding && !options.encodingName.empty()
                                       ? options.encodingName
                                       : records.Encoding();
        if (converted)
            preview.undecodableNote = "This line holds bytes that are not valid " + readAs + ".";
        bool decoded = false;
        bool undecodable = false;
        const auto look = [&](std::string_view text) {
            for (const char c : text) {
                undecodable |= c == kUndecodable;
                decoded |= c != kUndecodable && c != '\r' && c != '\n';
            }
        };
        if (converted && headerRead)
            look(records.Header());
        if (!options.createMode) {
            preview.columns = options.tableColumns;
            if (!options.tableNames.empty()) {
                preview.columns = options.tableNames.size();
                if (records.HasHeader())
                    MapToTable(preview, splitter.Split(records.Header()), path, options);
                else
                    for (const std::string& name : options.tableNames)
                        preview.headers.push_back(ForDisplay(name));
            }
        } else if (records.HasHeader()) {
            // A file without a header line: its first line is data, its columns numbered.
            const NamingFields naming(splitter.Split(records.Header()), options.format.headerIsData);
            const auto& fields = naming.Fields();
            if (options.namesFromFirstLine) {
                preview.headers = ColumnNames(fields, options.keepLetters);
                preview.columns = preview.headers.size();
                preview.named = preview.headers;
                if (options.plan) {
                    preview.edits.resize(preview.named.size());
                    preview.kept.assign(preview.named.size(), true);
                    for (std::size_t i = 0; i < preview.named.size(); ++i) {
                        const auto edit = options.plan->edits.find(preview.named[i]);
                        if (edit == options.plan->edits.end())
                            continue;
                        preview.edits[i] = edit->second;
                        if (!edit->second.name.empty())
                            preview.headers[i] = edit->second.name;
                        preview.kept[i] = !edit->second.leftOut;
                    }
                    const std::string missing = MissingEdits(path, Planned(preview.named, {}, &*options.plan));
                    if (!missing.empty())
                        preview.messages.push_back(missing);
                }
            } else {
                preview.columns = fields.size();
            }
        }
        std::size_t widest = 0;
        FileRecord record;
        // The cells show values as they would be sent: trimmed, NULL by a marker, then as their type writes them.
        ValueStage reading(options.values);
        if (reading.WantsQuotes())
            splitter.KeepQuoted();
        TypeGuesser guesser(MarkFor(options.values, options.format.separator), options.dateFormat);
        const bool guessing = options.createMode && options.guessTypes && preview.columns;
        const auto learn = [&](const std::vector<std::string_view>& fields) {
            if (guessing && record.note.empty() && fields.size() == *preview.columns)
                guesser.Observe(fields);
        };
        bool end = false;
        while (preview.records.size() < options.maxRecords) {
            if (!records.Next(record)) {
                end = true;
                break;
            }
            started = true;
            if (converted)
                look(record.text);
            const auto& fields = reading.Apply(splitter.Split(record.text), splitter.Quoted());
            learn(fields);
            if (fields.empty() && record.note.empty())
                continue;  // an empty line sends nothing
            std::vector<PreviewCell> cells;
            for (const auto field : fields)
                cells.push_back({ForDisplay(field), field.empty() && !IsQuotedEmpty(field)});
            const bool marked = !record.note.empty() || (preview.columns && fields.size() != *preview.columns);
            preview.mismatched += marked;
            preview.marked.push_back(marked);
            preview.undecodable.push_back(converted && record.text.find(kUndecodable) != std::string::npos);
            preview.lines.push_back(record.line);
            preview.records.push_back(std::move(cells));
            widest = std::max(widest, fields.size());
        }
        if (guessing) {
            // The import guesses from every record; a very long file is only forecast here.
            while (!preview.typesFromPart && records.Next(record)) {
                preview.typesFromPart = static_cast<std::uint64_t>(record.end) > options.guessBytes;
                learn(reading.Apply(splitter.SplitInPlace(record.text), splitter.Quoted()));
            }
            preview.types = TypesFor(guesser, *options.guessTypes, *preview.columns);
            preview.dateForms.resize(preview.types.size());
            for (std::size_t i = 0; i < preview.dateForms.size() && i < guesser.Columns().size(); ++i)
                if (const auto form = guesser.Columns()[i].DateFormOf(); form && !form->Iso())
                    preview.dateForms[i] = DateFormName(*form);
        }
        // Types chosen in the preview over those guessed; with edits every column shows its type.
        if (options.createMode && !preview.edits.empty()) {
            preview.types.resize(preview.edits.size(), "TEXT");
            for (std::size_t i = 0; i < preview.edits.size(); ++i) {
                if (!preview.edits[i].type.empty())
                    preview.types[i] = preview.edits[i].type;
                if (!preview.edits[i].type.empty() && i < preview.dateForms.size())
                    preview.dateForms[i].clear();
            }
        }
        if (options.createMode && !preview.types.empty()) {
            ValueStage typed({}, RewritesFor(preview.types, guessing ? &guesser : nullptr, options.values));
            std::vector<std::string_view> fields;
            for (auto& cells : preview.records) {
                if (!typed.Active())
                    break;
                fields.clear();
                for (const PreviewCell& cell : cells)
                    fields.push_back(cell.text);
                const auto& sent = typed.Apply(fields, {});
                std::vector<std::string> texts(sent.begin(), sent.end());
                for (std::size_t i = 0; i < cells.size(); ++i)
                    cells[i].text = std::move(texts[i]);
            }
        }
        if (preview.headers.empty()) {
            const std::size_t count = std::max(widest, preview.columns.value_or(0));
            for (std::size_t i = 1; i <= count; ++i)
                preview.headers.push_back("Column " + std::to_string(i));
        }
        if (preview.records.empty())
            preview.messages.push_back(!started     ? "The file is empty."
                                       : headerRead ? "The file holds nothing after its first line."
                                                    : "The file holds only empty lines.");
        if (undecodable && !decoded)
            preview.messages.push_back((end ? "Nothing in this file could be read as "
                                            : "Nothing in the first " + std::to_string(preview.records.size()) +
                                                  " records of this file could be read as ") +
                                       readAs + ".");
        if (!records.EncodingDoubt().empty())
            preview.messages.push_back("Read as " + records.ReadAs() + ", a guess: " + records.EncodingDoubt() + ".");
        // The reader has looked: in the chosen encoding's name as the window gives it.
        if (!records.EncodingWarning().empty())
            preview.messages.push_back("This file reads as UTF-8, but " + readAs +
                                       " is chosen: letters beyond ASCII will be stored wrongly.");
    } catch (const NotImportable& error) {
        preview.error = error.what();
        preview.messages.push_back(started ? preview.error
                                           : "The first record is longer than " +
                                                 SizeText(options.format.maxRecordLength) +
                                                 ", so nothing can be shown.");
    } catch (const std::system_error& error) {
        preview.error = error.what();
        preview.messages.push_back("This file cannot be read: " + error.code().message() + ".");
    } catch (const std::exception& error) {
        preview.error = error.what();
        preview.messages.push_back(preview.error);
    }
    return preview;
}

}  // namespace qb
