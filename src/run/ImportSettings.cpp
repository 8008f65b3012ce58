#include "run/ImportSettings.h"

#include "load/ImportManifest.h"
#include "odbc/Database.h"

#include "read/FileRecords.h"
#include "read/TextDecoder.h"
#include "odbc/TableCatalogue.h"
#include "schema/Naming.h"

#include <sys/stat.h>

namespace qb {

bool OneOfTheInputs(const ImportSettings& settings, const std::string& path)
{
    struct stat written {};
    if (path.empty() || ::stat(path.c_str(), &written) != 0)
        return false;
    for (const auto& file : settings.Files) {
        struct stat input {};
        if (!(settings.DashIsStandardInput && file == "-") && ::stat(file.c_str(), &input) == 0 &&
            input.st_dev == written.st_dev && input.st_ino == written.st_ino)
            return true;
    }
    return false;
}

std::optional<ColumnPlan> PlanFor(const ImportSettings& settings, const std::string& path,
                                  const std::vector<std::string>& names)
{
    std::optional<ColumnPlan> plan;
    if (const auto found = settings.ColumnPlans.find(path); found != settings.ColumnPlans.end())
        plan = found->second;
    else if (const auto shared = settings.ColumnPlansByNames.find(names); shared != settings.ColumnPlansByNames.end())
        plan = shared->second;
    for (const auto& [name, type] : settings.ColumnTypes) {
        if (!plan)
            plan.emplace();
        ColumnEdit& edit = plan->edits[name];
        if (edit.type.empty())
            edit.type = type;
    }
    if (plan && plan->edits.empty())
        plan.reset();
    return plan;
}

ColumnMapping AppendMapping(const ImportSettings& settings, const std::string& listed, const std::string& shown,
                            std::span<const std::string_view> header, const std::vector<std::string>& tableColumns,
                            DatabaseKind database)
{
    MatchOptions options{settings.Matching, settings.IgnoreExtraColumns, settings.KeepLetters, database, nullptr,
                         shown, settings.TargetTable.value_or("")};
    std::optional<ColumnPlan> plan;
    if (!header.empty() && (!settings.ColumnPlans.empty() || !settings.ColumnPlansByNames.empty()))
        plan = PlanFor(settings, listed, ColumnNames(header, settings.KeepLetters));
    options.plan = plan ? &*plan : nullptr;
    return MatchColumns(header, tableColumns, options);
}

FileFormat FormatOf(const ImportSettings& settings)
{
    FileFormat format{settings.Separator, settings.Quoted, settings.Encoding, settings.MaxRecordLength};
    format.quote = settings.Quote;
    format.skipLines = settings.SkipLines;
    format.headerIsData = settings.NoHeader && settings.Mode == ImportMode::CreateNewTable;
    return format;
}

RecordSplitter SplitterOf(const ImportSettings& settings)
{
    return RecordSplitter(settings.Separator, settings.Quoted, settings.Quote);
}

ValueOptions ValueOptionsOf(const ImportSettings& settings)
{
    return {settings.NullMarkers, settings.Trim, settings.DecimalComma};
}

SendOptions SendOptionsOf(const ImportSettings& settings)
{
    return {FormatOf(settings), settings.Separator, settings.Quoted, settings.BatchRows, settings.BatchBytes,
            settings.BulkRows, settings.BulkBytes, settings.BindAbove, settings.BusySeconds,
            ValueOptionsOf(settings)};
}

std::string ResumeRefusal(Connection& connection, const ImportSettings& settings, bool manifestMade)
{
    std::string without;
    if (manifestMade ? !connection.IsTransactional(std::string(ImportManifest::kTable)) : !connection.SupportsTransactions())
        without = "the data source " + settings.DataSourceName;
    else if (settings.Mode == ImportMode::AppendToExistingTable && settings.TargetTable &&
             !connection.IsTransactional(*settings.TargetTable))
        without = "the table " + *settings.TargetTable;
    if (without.empty())
        return {};
    return "What was imported cannot be remembered: " + without +
           " keeps no transactions, so lines and their count could not be stored together. "
           "Import without remembering (--resume).";
}

std::string CheckSettings(const ImportSettings& settings)
{
    const bool create = settings.Mode == ImportMode::CreateNewTable;
    if (settings.Files.empty())
        return "No files added.";
    if (!create && !settings.TargetTable)
        return "Please select a table.";
    // Remembering, a file cut short goes on into the table it made: each file asks the manifest.
    if (create && !settings.Resume && settings.IfTableExists == IfExists::Fail &&
        TableListed(settings.TableList, settings.TableNamePattern))
        return "Table name already exists.";
    if (!settings.Encoding.empty() && !TextDecoder::Known(settings.Encoding))
        return "The encoding " + settings.Encoding + " is not known.";
    if (OneOfTheInputs(settings, settings.RejectsPath))
        return "The rejected lines cannot be written to " + settings.RejectsPath + ": it is one of the files to import.";
    if (OneOfTheInputs(settings, settings.RejectReasonsPath))
        return "The reasons for rejected lines cannot be written to " + settings.RejectReasonsPath +
               ": it is one of the files to import.";
    return {};
}

}  // namespace qb
