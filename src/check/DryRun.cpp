#include "check/DryRun.h"

#include "odbc/Database.h"
#include "files/PathHelpers.h"
#include "odbc/TableCatalogue.h"
#include "base/SafeFile.h"
#include "base/Sha256.h"
#include "schema/CreateChecks.h"
#include "load/ImportManifest.h"
#include "read/FileRecords.h"
#include "run/LogAndRejects.h"
#include "read/Records.h"
#include "read/SeparatorGuess.h"
#include "run/RunTexts.h"
#include "odbc/SqlText.h"
#include "schema/Naming.h"
#include "schema/CreateStatement.h"
#include "schema/TypeNames.h"
#include "schema/ValueFits.h"
#include "schema/ValueGuess.h"
#include "load/StatementBuilder.h"
#include "run/WorkingCopy.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <unordered_set>
#include <optional>

namespace qb {
namespace {

// What reading one file as the import would comes to.
struct FileTally {
    long records = 0;
    long mismatched = 0;
    std::optional<std::size_t> firstFields;  // the first data record's
    std::string header;                      // the first line, when it is not data
    TypeGuesser types;                       // from the records that would be sent, when guessed
    std::string digest;                      // when the run would remember what it imported
    std::vector<DryRunProblem> problems;     // the first mismatched records
    long unlisted = 0;                       // mismatched records past those
    bool stopped = false;                    // cancelled before the end of the file
    std::string warning;                     // as FileRecords::EncodingWarning tells, or Auto's guess
    std::string missingEdits;                // as MissingEdits tells
    std::string separatorNote;               // the separator guessed, where each file's is
};

// A column whose type was chosen in the preview: the database refuses a value that type does not take,
// so each is tested, as the run would meet it.
struct ChosenType {
    std::size_t column;
    std::string type;
    std::string name;  // as the table calls it
};

bool Takes(const ChosenType& chosen, std::string_view field, DatabaseKind database)
{
    // A field written as "" is the empty text, not NULL.
    return IsQuotedEmpty(field) ? chosen.type == "TEXT" || chosen.type == "LONGTEXT"
                                : ValueFits(field, chosen.type, database);
}

std::string NotTaken(const ChosenType& chosen, std::string_view field)
{
    constexpr std::size_t kShownBytes = 40;
    std::size_t cut = std::min(field.size(), kShownBytes);
    while (cut < field.size() && cut > 0 && (static_cast<unsigned char>(field[cut]) & 0xC0) == 0x80)
        --cut;
    return "\"" + std::string(field.substr(0, cut)) + (cut < field.size() ? "...\"" : "\"") + " does not fit " +
           chosen.type + ", the type chosen for " + chosen.name;
}

// How often a file's reading looks at the cancel flag: at once for a person, free for the run.
constexpr long kCancelStride = 4096;

bool Cancelled(const DryRunControl& control)
{
    return control.cancel && control.cancel->load(std::memory_order_relaxed);
}

std::string MismatchReason(std::size_t values, std::size_t columns)
{
    return std::to_string(values) + (values == 1 ? " value" : " values") + ", the table has " +
           std::to_string(columns) + (columns == 1 ? " column" : " columns");
}

void KeepProblem(FileTally& tally, int fd, const FileRecord& record, std::string reason)
{
    if (tally.problems.size() >= kDryRunProblemsKept) {
        ++tally.unlisted;
        return;
    }
    // A record too long to keep comes without its text: its first bytes are read again.
    std::string text = record.text.empty() && record.end > record.offset
                           ? ReadBytes(fd, record.offset, static_cast<std::size_t>(record.end - record.offset),
                                       kDryRunProblemBytes)
                           : record.text.substr(0, kDryRunProblemBytes);
    tally.problems.push_back({record.line, std::move(reason), std::move(text)});
}

// Reads a file as the import would and counts its data records against columns
// (none: count against the header, as a new table's columns).
// database: where the run would send the records; none when it cannot be reached.
// settings: the run's, whose separator becomes the file's own where each file's is guessed.
FileTally Count(const std::string& path, ImportSettings& settings, const std::string& fallbackSeparator,
                std::optional<std::size_t> columns, const DryRunControl& control,
                std::optional<DatabaseKind> database)
{
    const bool standardInput = settings.DashIsStandardInput && path == "-";
    const UniqueFd in = standardInput ? SpoolStandardInput(ParentFolder(WorkingCopyPath())) : OpenInput(path);
    const std::string name = standardInput ? "standard input" : path;
    FileTally tally;
    if (settings.GuessSeparator) {
        FileSeparator guessed = GuessFileSeparator(in.Get(), name, FormatOf(settings), fallbackSeparator);
        settings.Separator = std::move(guessed.separator);
        tally.separatorNote = std::move(guessed.note);
    }
    FileRecords records(in.Get(), name, FormatOf(settings), SkipFirstLine(settings));
    RecordSplitter splitter = SplitterOf(settings);
    if (settings.Resume)
        tally.digest = ContentDigest(in.Get());
    tally.header = records.Header();
    tally.warning = records.EncodingDoubt().empty()
                        ? records.EncodingWarning()
                        : "read as " + records.ReadAs() + ", a guess: " + records.EncodingDoubt();
    std::vector<ChosenType> chosen;
    if (!columns && records.HasHeader()) {
        const NamingFields naming(splitter.Split(records.Header()), settings.NoHeader);
        const auto& fields = naming.Fields();
        const bool named =
            settings.Mode == ImportMode::CreateNewTable && settings.ColumnNames == ColumnNameSource::FromFirstLine;
        columns = fields.size();
        const std::vector<std::string> names =
            named ? ColumnNames(fields, settings.KeepLetters) : std::vector<std::string>{};
        if (const ColumnPlan* plan = named ? PlanFor(settings, path, names) : nullptr) {
            tally.missingEdits = MissingEdits(standardInput ? "standard input" : path, Planned(names, {}, plan));
            // SQLite's columns take any value whatever their type: it refuses none.
            for (std::size_t i = 0; database && *database != DatabaseKind::Sqlite && i < names.size(); ++i) {
                const auto edit = plan->edits.find(names[i]);
                if (edit != plan->edits.end() && !edit->second.type.empty() && !edit->second.leftOut)
                    chosen.push_back({i, edit->second.type, edit->second.name.empty() ? names[i] : edit->second.name});
            }
        }
    }
    FileRecord record;
    for (long read = 1; records.Next(record); ++read) {
        if (read % kCancelStride == 0 && Cancelled(control)) {
            tally.stopped = true;
            break;
        }
        const auto& fields = splitter.Split(record.text);
        if (!tally.firstFields)
            tally.firstFields = fields.size();
        if (!columns)
            columns = fields.size();
        if (fields.empty() && record.note.empty())
            continue;  // an empty line sends nothing
        ++tally.records;
        if (!record.note.empty() || fields.size() != *columns) {
            ++tally.mismatched;
            KeepProblem(tally, in.Get(), record,
                        record.note.empty() ? MismatchReason(fields.size(), *columns) : record.note);
        } else {
            const auto refused = std::find_if(chosen.begin(), chosen.end(), [&](const ChosenType& type) {
                return !Takes(type, fields[type.column], *database);
            });
            if (refused != chosen.end()) {
                ++tally.mismatched;
                KeepProblem(tally, in.Get(), record, NotTaken(*refused, fields[refused->column]));
            } else if (settings.GuessTypes) {
                tally.types.Observe(fields);
            }
        }
    }
    return tally;
}

// Why the import would refuse the new table of a file, or empty text: the import's own checks, then the
// database's words on the CREATE it would send.
std::string CreateRefusal(Connection& connection, const ImportSettings& settings, const DryRunFile& file,
                          const FileTally& tally, const std::string& listed)
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
    const ColumnPlan* plan = PlanFor(settings, listed, names);
    const PlannedTable planned = Planned(names, types, plan);
    if (plan && !(refusal = CheckPlan(file.path, planned, connection.Limits())).empty())
        return refusal;
    try {
        connection.CheckCreate(QuoteIdentifier(file.table), BuildCreate(file.table, planned.names, planned.types));
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
    return PlanFor(settings, listed, ColumnNames(naming.Fields(), settings.KeepLetters)) != nullptr;
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
        if (const ColumnPlan* plan = PlanFor(settings, listed, names)) {
            const PlannedTable planned =
                Planned(names, TypesFor(tally.types, connection.Kind(), fields.size()), plan);
            names.clear();
            for (std::size_t i = 0; i < planned.names.size(); ++i)
                names.push_back(planned.names[i] + " " + planned.types[i]);
            return names;
        }
    } else {
        for (std::size_t i = 1; i <= fields.size(); ++i)
            names.push_back("#" + std::to_string(i));
    }
    const std::vector<std::string> types = TypesFor(tally.types, connection.Kind(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] += " " + types[i];
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
    Connection connection;
    try {
        connection.Open(settings.DataSourceName);
        if (!create)
            targetColumns = static_cast<std::size_t>(connection.ColumnCount(BuildColumnCountQuery(*settings.TargetTable)));
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
                                      control, unreachable.empty() ? std::optional(connection.Kind()) : std::nullopt);
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
            if (!unreachable.empty())
                skip("cannot connect: " + unreachable);
            else if (done)
                file.outcome = "already imported on " + *earlier->finished;
            else if (earlier)
                file.outcome = "would go on after line " + std::to_string(earlier->lastLine);
            else if (create && tables.contains(LowerText(file.table)))
                skip("the table " + file.table + " exists already");
            else if (create && settings.TableNamePattern.empty())
                skip("no table name");
            else if (!create && counted.firstFields && *counted.firstFields != *targetColumns) {
                file.problems.clear();
                file.unlisted = 0;
                skip("the file has " + std::to_string(*counted.firstFields) + " columns, the table " + file.table +
                     " has " + std::to_string(*targetColumns));
            } else if (const std::string refusal = create ? CreateRefusal(connection, reading, file, counted, settings.Files[i]) : "";
                     !refusal.empty())
                skip(refusal);
            else
                file.outcome = create ? "would be created" : "would be appended";
            if (create && (settings.GuessTypes || Edited(reading, counted, settings.Files[i])) && !file.skipped &&
                unreachable.empty() && !earlier)
                file.columns = ColumnsWithTypes(connection, reading, counted, settings.Files[i]);
            if (create && !file.skipped)
                tables.insert(LowerText(file.table));
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
    long created = 0, appended = 0, goOn = 0, done = 0, skipped = 0, records = 0, mismatched = 0;
    for (const DryRunFile& file : result.files) {
        created += file.outcome == "would be created";
        appended += file.outcome == "would be appended";
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
