#include "cli/CommandLine.h"

#include "import/TextDecoder.h"

namespace qb::cli {

const char* const kUsage =
    "usage: quillbarrow-import --dsn NAME [--separator TEXT] [--table-name PATTERN] [--ask-columns]\n"
    "                          [--append TABLE [--skip-header]] [--quoted] [--encoding NAME] [--row-by-row]\n"
    "                          [--rejects FILE] [--dry-run] [FILE...]\n"
    "       quillbarrow-import --dsn NAME --list-tables\n"
    "       quillbarrow-import --help\n";

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine line;
    ImportSettings& settings = line.settings;
    bool haveDsn = false, listTables = false, skipHeader = false, optionsEnded = false, dryRun = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size())
                throw UsageError{"missing value for " + argument};
            return arguments[++i];
        };
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            settings.Files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            line.action = CommandLine::Action::Help;
            return line;
        } else if (argument == "--dsn") {
            settings.DataSourceName = value();
            haveDsn = true;
        } else if (argument == "--separator") {
            settings.Separator = value() == "\\t" ? "\t" : arguments[i];
        } else if (argument == "--table-name") {
            settings.TableNamePattern = value();
        } else if (argument == "--ask-columns") {
            settings.ColumnNames = ColumnNameSource::UserSpecified;
        } else if (argument == "--append") {
            settings.Mode = ImportMode::AppendToExistingTable;
            settings.TargetTable = value();
        } else if (argument == "--skip-header") {
            skipHeader = true;
        } else if (argument == "--quoted") {
            settings.Quoted = true;
        } else if (argument == "--encoding") {
            settings.Encoding = value();
            if (!TextDecoder::Known(settings.Encoding))
                throw UsageError{"unknown encoding " + settings.Encoding};
        } else if (argument == "--rejects") {
            settings.RejectsPath = value();
        } else if (argument == "--dry-run") {
            dryRun = true;
        } else if (argument == "--row-by-row") {
            settings.RowByRow = true;
        } else if (argument == "--list-tables") {
            listTables = true;
        } else {
            throw UsageError{"unknown option " + argument};
        }
    }
    settings.DashIsStandardInput = true;
    if (!haveDsn)
        throw UsageError{"--dsn is required"};
    if (skipHeader && settings.Mode != ImportMode::AppendToExistingTable)
        throw UsageError{"--skip-header goes with --append"};
    settings.IgnoreFirstLine = skipHeader;
    if (listTables)
        line.action = CommandLine::Action::ListTables;
    else if (dryRun)
        line.action = CommandLine::Action::DryRun;
    return line;
}

}  // namespace qb::cli
