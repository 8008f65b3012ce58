#include "check/FileCount.h"

#include "base/SafeFile.h"
#include "base/Sha256.h"
#include "check/KeyCheck.h"
#include "read/FileRecords.h"
#include "read/Records.h"
#include "read/SeparatorGuess.h"
#include "run/LogAndRejects.h"
#include "run/WorkingCopy.h"
#include "schema/Naming.h"
#include "schema/TableKey.h"
#include "schema/TypeLearning.h"
#include "schema/ValueFits.h"

#include <algorithm>

namespace qb {
namespace {

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

}  // namespace

bool Cancelled(const DryRunControl& control)
{
    return control.cancel && control.cancel->load(std::memory_order_relaxed);
}

// Reads a file as the import would and counts its data records against columns
// (none: count against the header, as a new table's columns).
// database: where the run would send the records; none when it cannot be reached.
// tableNames: appending with a header, the table's columns, which its names may go to.
// settings: the run's, whose separator becomes the file's own where each file's is guessed.
FileTally Count(const std::string& path, ImportSettings& settings, const std::string& fallbackSeparator,
                std::optional<std::size_t> columns, const DryRunControl& control,
                std::optional<DatabaseKind> database, const std::vector<std::string>* tableNames)
{
    const bool standardInput = settings.DashIsStandardInput && path == "-";
    const UniqueFd in = standardInput ? SpoolStandardInput(SpoolFolder()) : OpenInput(path);
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
    if (tableNames && database && records.HasHeader()) {
        const auto& fields = splitter.Split(records.Header());
        tally.mapping = AppendMapping(settings, path, standardInput ? "standard input" : path, fields, *tableNames,
                                      *database);
        // By name, a line holds the header's columns, whatever the table's count.
        if (tally.mapping.byName)
            columns = fields.size();
    }
    KeyCheck key({}, {});
    if (!columns && records.HasHeader()) {
        const NamingFields naming(splitter.Split(records.Header()), settings.NoHeader);
        const auto& fields = naming.Fields();
        const bool named =
            settings.Mode == ImportMode::CreateNewTable && settings.ColumnNames == ColumnNameSource::FromFirstLine;
        columns = fields.size();
        const std::vector<std::string> names =
            named ? ColumnNames(fields, settings.KeepLetters) : std::vector<std::string>{};
        const std::optional<ColumnPlan> edits = named ? PlanFor(settings, path, names) : std::nullopt;
        const ColumnPlan* keyPlan = edits ? &*edits : nullptr;
        if (named && (keyPlan || !settings.Key.empty())) {
            PlannedKey planned = PlanKey(names, Planned(names, {}, keyPlan), keyPlan, settings.Key,
                                         settings.KeepLetters, standardInput ? "standard input" : path);
            tally.keyRefusal = planned.refusal;
            key = KeyCheck(std::move(planned.fields), std::move(planned.names));
        }
        if (const ColumnPlan* plan = keyPlan) {
            tally.missingEdits = MissingEdits(standardInput ? "standard input" : path, Planned(names, {}, plan));
            // SQLite's columns take any value whatever their type: it refuses none.
            for (std::size_t i = 0; database && *database != DatabaseKind::Sqlite && i < names.size(); ++i) {
                const auto edit = plan->edits.find(names[i]);
                if (edit != plan->edits.end() && !edit->second.type.empty() && !edit->second.leftOut)
                    chosen.push_back({i, edit->second.type, edit->second.name.empty() ? names[i] : edit->second.name});
            }
        }
    }
    // Values as the run sends them: the options' stage, and for the chosen types, each column's rewrite
    // learnt from the whole file first, as the run learns it while copying.
    const ValueOptions options = ValueOptionsOf(settings);
    ValueStage reading(options);
    if (reading.WantsQuotes())
        splitter.KeepQuoted();
    tally.types = TypeGuesser(MarkFor(options, settings.Separator), settings.DateFormat);
    ValueStage typed;
    if (!chosen.empty()) {
        std::vector<std::string> fieldTypes(*columns, "TEXT");
        for (const ChosenType& type : chosen)
            fieldTypes[type.column] = type.type;
        TypeLearning learnt(settings.Separator, settings.Quoted, settings.Quote, options, settings.DateFormat);
        FileRecords again(in.Get(), path, FormatOf(settings), SkipFirstLine(settings));
        learnt.Header(again.Header());
        FileRecord record;
        for (long read = 1; again.Next(record) && !(read % kCancelStride == 0 && Cancelled(control)); ++read)
            if (record.note.empty())
                learnt.Record(record.text);
        typed = ValueStage(options, RewritesFor(fieldTypes, &learnt.Guesser(), options));
    }
    FileRecord record;
    for (long read = 1; records.Next(record); ++read) {
        if (read % kCancelStride == 0 && Cancelled(control)) {
            tally.stopped = true;
            break;
        }
        const auto& split = splitter.Split(record.text);
        const auto& fields = reading.Apply(split, splitter.Quoted());
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
            const auto& sent = chosen.empty() ? fields : typed.Apply(split, splitter.Quoted());
            const auto refused = std::find_if(chosen.begin(), chosen.end(), [&](const ChosenType& type) {
                return !Takes(type, sent[type.column], *database);
            });
            std::string keyProblem;
            if (refused != chosen.end()) {
                ++tally.mismatched;
                KeepProblem(tally, in.Get(), record, NotTaken(*refused, sent[refused->column]));
            } else if (key.Active() && !(keyProblem = key.Problem(sent, record.line)).empty()) {
                ++tally.mismatched;
                KeepProblem(tally, in.Get(), record, std::move(keyProblem));
            } else if (settings.GuessTypes) {
                tally.types.Observe(fields);
            }
        }
    }
    return tally;
}

}  // namespace qb
