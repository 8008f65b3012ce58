#include "check/DryRun.h"

#include "check/FileCount.h"
#include "check/KeyCheck.h"

#include "odbc/Database.h"
#include "files/PathHelpers.h"
#include "odbc/TableCatalogue.h"
#include "base/SafeFile.h"
#include "base/Sha256.h"
#include "schema/CreateChecks.h"
#include "load/ImportManifest.h"
#include "load/KeyRule.h"
#include "read/FileRecords.h"
#include "run/LogAndRejects.h"
#include "read/Records.h"
#include "read/SeparatorGuess.h"
#include "run/RunTexts.h"
#include "odbc/SqlText.h"
#include "schema/Naming.h"
#include "schema/CreateStatement.h"
#include "schema/TableKey.h"
#include "schema/TypeLearning.h"
#include "schema/TypeNames.h"
#include "schema/ValueFits.h"
#include "schema/ValueGuess.h"
#include "load/StatementBuilder.h"
#include "run/WorkingCopy.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <optional>

namespace qb {
namespace {

// Why the import would refuse the new table of a file, or empty text: the import's own checks, then the
// database's words on the CREATE it would send.
std::string CreateRefusal(Connection& connection, const ImportSettings& settings, const DryRunFile& file,
                          const FileTally& tally, const std::string& listed, bool replaced)
{
    const bool empty = tally.header.empty() && !tally.firstFields;
    RecordSplitter splitter = SplitterOf(settings);
    const NamingFields naming(splitter.Split(tally.header), settings.NoHeader);
    const auto& fields = naming.Fields();
    // Typed names are known only when the import asks for them.
    if (settings.ColumnNames == ColumnNameSource::UserSpecified)
        return CheckNewTable({file.path, file.table, empty, fields.size()}, connection.Limits());
    const std::vector<std::string> types =
        settings.GuessTypes ? TypesFor(tally.types, connection.Kind(), fields.size())
                            : std::vector<std::string>{};
    std::string refusal =
        CheckCreateFromFields(file.path, file.table, empty, fields, connection.Limits(), settings.KeepLetters);
    if (!refusal.empty())
        return refusal;
    const std::vector<std::string> names = ColumnNames(fields, settings.KeepLetters);
    const std::optional<ColumnPlan> edits = PlanFor(settings, listed, names);
    const ColumnPlan* plan = edits ? &*edits : nullptr;
    PlannedTable planned = Planned(names, types, plan);
    if (plan && !(refusal = CheckPlan(file.path, planned, connection.Limits())).empty())
        return refusal;
    if (!tally.keyRefusal.empty())
        return tally.keyRefusal;
    const PlannedKey key = PlanKey(names, planned, plan, settings.Key, settings.KeepLetters, file.path);
    KeyTypes(planned, key, settings.GuessTypes ? &tally.types : nullptr, connection.Kind());
    // The table it replaces is there still: the database would refuse its name.
    if (replaced)
        return {};
    try {
        connection.CheckCreate(QuoteIdentifier(file.table),
                               BuildCreate(file.table, planned.names, planned.types, key.names));
    } catch (const std::exception& error) {
        refusal = error.what();
        std::replace(refusal.begin(), refusal.end(), '\n', ' ');  // one line per file
    }
    return refusal;
}

// Whether the file's new table has columns edited in the preview.
bool Edited(const ImportSettings& settings, const FileTally& tally, const std::string& listed)
{
    if (settings.ColumnNames != ColumnNameSource::FromFirstLine)
        return false;
    RecordSplitter splitter = SplitterOf(settings);
    const NamingFields naming(splitter.Split(tally.header), settings.NoHeader);
    return PlanFor(settings, listed, ColumnNames(naming.Fields(), settings.KeepLetters)).has_value();
}

// "name TYPE" for each column of the new table, as the guess would make it.
std::vector<std::string> ColumnsWithTypes(Connection& connection, const ImportSettings& settings,
                                          const FileTally& tally, const std::string& listed)
{
    RecordSplitter splitter = SplitterOf(settings);
    const NamingFields naming(splitter.Split(tally.header), settings.NoHeader);
    const auto& fields = naming.Fields();
    std::vector<std::string> names;
    if (settings.ColumnNames == ColumnNameSource::FromFirstLine) {
        names = ColumnNames(fields, settings.KeepLetters);
        if (const std::optional<ColumnPlan> plan = PlanFor(settings, listed, names)) {
            const PlannedTable planned =
                Planned(names, TypesFor(tally.types, connection.Kind(), fields.size()), &*plan);
            // A guessed type shows its dates' form; a chosen one is as chosen.
            const auto& guessed = tally.types.Columns();
            std::vector<std::string> shown;
            for (std::size_t i = 0, k = 0; i < names.size() && k < planned.names.size(); ++i) {
                if (!planned.kept.empty() && !planned.kept[i])
                    continue;
                const auto edit = plan->edits.find(names[i]);
                const bool chosen = edit != plan->edits.end() && !edit->second.type.empty();
                shown.push_back(planned.names[k] + " " +
                                (chosen || i >= guessed.size() ? planned.types[k] : ShownType(guessed[i], planned.types[k])));
                ++k;
            }
            return shown;
        }
    } else {
        for (std::size_t i = 1; i <= fields.size(); ++i)
            names.push_back("#" + std::to_string(i));
    }
    const std::vector<std::string> types = TypesFor(tally.types, connection.Kind(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] += " " + (i < tally.types.Columns().size() ? ShownType(tally.types.Columns()[i], types[i]) : types[i]);
    return names;
}

}  // namespace

DryRunResult DryRun(const ImportSettings& settings, const DryRunControl& control)
{
    DryRunResult result;
    const bool create = settings.Mode == ImportMode::CreateNewTable;
    result.refusal = CheckSettings(settings);
    if (!result.refusal.empty())
        return result;

    std::string unreachable;
    std::optional<std::size_t> targetColumns;
    std::vector<std::string> tableNames;  // when a header may name them
    const bool named = !create && SkipFirstLine(settings);
    Connection connection;
    // Appending where a key decides: the key the run would use, or why it would refuse the files.
    std::optional<KeyChoice> key;
    try {
        connection.Open(settings.DataSourceName);
        if (named) {
            tableNames = connection.ColumnNames(BuildColumnNamesQuery(*settings.TargetTable));
            targetColumns = tableNames.size();
        } else if (!create) {
            targetColumns = static_cast<std::size_t>(connection.ColumnCount(BuildColumnCountQuery(*settings.TargetTable)));
        }
        if (!create && settings.OnDuplicateKey != OnDuplicate::Error) {
            InsertTarget target{*settings.TargetTable};
            target.onDuplicate = settings.OnDuplicateKey;
            key = ChooseKey(connection, target);
        }
    } catch (const std::exception& error) {
        unreachable = error.what();
    }
    // What was imported before, as the run would find it; nothing is made.
    std::optional<ImportManifest> manifest;
    if (settings.Resume && unreachable.empty()) {
        try {
            connection.ColumnCount("SELECT * FROM " + QuoteIdentifier(ImportManifest::kTable));
            manifest.emplace(connection, ImportManifest::Made{});
        } catch (const DatabaseError&) {
        }
        try {
            result.refusal = ResumeRefusal(connection, settings, manifest.has_value());
        } catch (const std::exception& error) {
            result.refusal = error.what();
        }
        if (!result.refusal.empty())
            return result;
    }

    // The names as they compare, folded once: a file's check must not grow with the tables listed.
    std::unordered_set<std::string> tables;
    for (const std::string& name : settings.TableList)
        tables.insert(LowerText(name));
    // Tables the run would make or replace, folded, and their columns: later files append to them.
    std::unordered_map<std::string, std::size_t> madeHere;
    // Appending with Replace: the first file that stores rows empties the table.
    bool emptyPending = settings.Replace && !create;
    // Where each file's separator is guessed, each file is read, checked and named with its own.
    ImportSettings reading = settings;
    for (std::size_t i = 0; i < settings.Files.size(); ++i) {
        if (Cancelled(control)) {
            result.cancelled = true;
            break;
        }
        DryRunFile file;
        file.path = settings.DashIsStandardInput && settings.Files[i] == "-" ? "standard input" : settings.Files[i];
        if (control.onFile)
            control.onFile(static_cast<int>(i + 1), static_cast<int>(settings.Files.size()), file.path);
        file.table = create ? ExpandTableName(settings.TableNamePattern, static_cast<int>(i + 1), file.path,
                                              settings.KeepLetters)
                            : *settings.TargetTable;
        const auto skip = [&](const std::string& why) {
            file.skipped = true;
            file.outcome = "skipped: " + why;
        };
        try {
            FileTally counted = Count(settings.Files[i], reading, settings.Separator, create ? std::nullopt : targetColumns,
                                      control, unreachable.empty() ? std::optional(connection.Kind()) : std::nullopt,
                                      named && unreachable.empty() ? &tableNames : nullptr);
            file.note = counted.separatorNote;
            file.records = counted.records;
            file.mismatched = counted.mismatched;
            file.warning = counted.warning;
            if (!counted.missingEdits.empty())
                file.warning += (file.warning.empty() ? "" : " ") + counted.missingEdits;
            file.problems = std::move(counted.problems);
            file.unlisted = counted.unlisted;
            if (counted.stopped) {
                file.finished = false;
                file.outcome = "not read to its end";
                result.files.push_back(std::move(file));
                result.cancelled = true;
                break;
            }
            std::optional<ManifestEntry> earlier =
                manifest ? manifest->Find(counted.digest, file.table) : std::nullopt;
            // A table dropped since is made again, and its files start over.
            if (earlier && create && !tables.contains(LowerText(file.table)))
                earlier.reset();
            const bool done = earlier && earlier->Done(settings.RetryRefused);
            const bool exists = create && tables.contains(LowerText(file.table));
            const auto made = madeHere.find(LowerText(file.table));
            const bool replaced = exists && !earlier && settings.IfTableExists == IfExists::Replace && made == madeHere.end();
            const bool appendedTo = exists && !earlier && !replaced && settings.IfTableExists != IfExists::Fail;
            std::optional<std::size_t> existingColumns;
            if (appendedTo && unreachable.empty() && counted.firstFields)
                existingColumns = made != madeHere.end() ? made->second
                                                         : static_cast<std::size_t>(connection.ColumnCount(
                                                               BuildColumnCountQuery(file.table)));
            if (earlier)
                emptyPending = false;  // the run that began it emptied the table
            // A file going by name fills only its header's columns: the key must be among them, as the run finds.
            std::optional<KeyChoice> fileKey = key;
            if (key && counted.mapping.byName && counted.mapping.refusal.empty()) {
                InsertTarget mapped{*settings.TargetTable, counted.mapping.columns};
                mapped.onDuplicate = settings.OnDuplicateKey;
                fileKey = ChooseKey(connection, mapped);
            }
            if (!unreachable.empty())
                skip("cannot connect: " + unreachable);
            else if (done)
                file.outcome = "already imported on " + *earlier->finished;
            else if (earlier)
                file.outcome = "would go on after line " + std::to_string(earlier->lastLine);
            else if (appendedTo && existingColumns && *existingColumns != *counted.firstFields)
                skip("the file has " + std::to_string(*counted.firstFields) + " columns, the table " + file.table +
                     " has " + std::to_string(*existingColumns));
            else if (appendedTo)
                file.outcome = "would be appended to";
            else if (exists && !replaced)
                skip("the table " + file.table + " exists already");
            else if (create && settings.TableNamePattern.empty())
                skip("no table name");
            else if (counted.mapping.byName && !counted.mapping.refusal.empty()) {
                file.problems.clear();
                file.unlisted = 0;
                skip(counted.mapping.refusal);
            } else if (!create && !counted.mapping.byName && counted.firstFields &&
                       *counted.firstFields != *targetColumns) {
                file.problems.clear();
                file.unlisted = 0;
                skip("the file has " + std::to_string(*counted.firstFields) + " columns, the table " + file.table +
                     " has " + std::to_string(*targetColumns));
            } else if (fileKey && !fileKey->refusal.empty() && counted.firstFields) {
                file.problems.clear();
                file.unlisted = 0;
                skip(fileKey->refusal);
            } else if (const std::string refusal = create ? CreateRefusal(connection, reading, file, counted, settings.Files[i], replaced) : "";
                     !refusal.empty())
                skip(refusal);
            else if (create)
                file.outcome = replaced ? "would be replaced" : "would be created";
            else if (emptyPending && (file.records == 0 || file.mismatched < file.records)) {
                file.outcome = "would be appended after the table is emptied";
                emptyPending = false;
            } else
                file.outcome = "would be appended";
            if (fileKey && !file.skipped)
                file.key = KeyText(fileKey->target.key) + " tells a line whose row is there: " +
                           (settings.OnDuplicateKey == OnDuplicate::Skip ? "the row would be kept"
                                                                          : "the row would be updated");
            if (create && (settings.GuessTypes || Edited(reading, counted, settings.Files[i])) && !file.skipped &&
                unreachable.empty() && !earlier && !appendedTo)
                file.columns = ColumnsWithTypes(connection, reading, counted, settings.Files[i]);
            if (create && !file.skipped && (replaced || !exists)) {
                tables.insert(LowerText(file.table));
                RecordSplitter splitter = SplitterOf(reading);
                madeHere.emplace(LowerText(file.table), splitter.Split(counted.header).size());
            }
            if (counted.mapping.byName && !file.skipped)
                file.mapping = "columns by name: " + counted.mapping.Described();
        } catch (const std::exception& error) {
            skip(std::string("cannot be read: ") + error.what());
        }
        result.files.push_back(std::move(file));
    }
    result.clean = !result.cancelled && std::none_of(result.files.begin(), result.files.end(),
                                [](const DryRunFile& f) { return f.skipped || f.mismatched > 0; });
    return result;
}

std::string DryRunLine(const DryRunFile& file)
{
    std::string line = file.path + ": " + file.table + ", " + GroupedNumber(file.records) +
                       (file.records == 1 ? " record, " : " records, ") + GroupedNumber(file.mismatched) +
                       " mismatched: " + file.outcome;
    if (!file.key.empty())
        line += "; " + file.key;
    if (!file.mapping.empty())
        line += "; " + file.mapping;
    for (std::size_t i = 0; i < file.columns.size(); ++i)
        line += (i ? ", " : " (") + file.columns[i] + (i + 1 == file.columns.size() ? ")" : "");
    if (!file.note.empty())
        line += "; " + file.note;
    if (!file.warning.empty())
        line += "; warning: " + file.warning;
    return line;
}

std::string DryRunSummary(const DryRunResult& result)
{
    long created = 0, replaced = 0, appended = 0, goOn = 0, done = 0, skipped = 0, records = 0, mismatched = 0;
    for (const DryRunFile& file : result.files) {
        created += file.outcome == "would be created";
        replaced += file.outcome == "would be replaced";
        appended += file.outcome.starts_with("would be appended");
        goOn += file.outcome.starts_with("would go on");
        done += file.outcome.starts_with("already imported");
        skipped += file.skipped;
        records += file.records;
        mismatched += file.mismatched;
    }
    std::string text = GroupedNumber(static_cast<long>(result.files.size())) + (result.files.size() == 1 ? " file: " : " files: ");
    std::vector<std::string> parts;
    if (created)
        parts.push_back(GroupedNumber(created) + " would be created");
    if (replaced)
        parts.push_back(GroupedNumber(replaced) + " would be replaced");
    if (appended)
        parts.push_back(GroupedNumber(appended) + " would be appended");
    if (goOn)
        parts.push_back(GroupedNumber(goOn) + " would go on");
    if (done)
        parts.push_back(GroupedNumber(done) + " already imported");
    if (skipped)
        parts.push_back(GroupedNumber(skipped) + " skipped");
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i ? ", " : "") + parts[i];
    return text + "; " + GroupedNumber(records) + (records == 1 ? " record, " : " records, ") + GroupedNumber(mismatched) +
           " mismatched";
}

}  // namespace qb
