#pragma once

#include "read/LineReader.h"
#include "load/InsertTarget.h"
#include "load/SendSink.h"
#include "schema/ColumnMatch.h"
#include "schema/ColumnPlan.h"
#include "schema/DateForms.h"
#include "schema/ValueStage.h"

#include <cstddef>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

enum class ImportMode { CreateNewTable, AppendToExistingTable };

enum class ColumnNameSource { FromFirstLine, UserSpecified };

// Creating tables: what becomes of a file whose table exists already.
enum class IfExists { Fail, Append, Replace };

struct ImportSettings {
    std::vector<std::string> Files;
    std::string Separator = ",";
    ImportMode Mode = ImportMode::CreateNewTable;
    ColumnNameSource ColumnNames = ColumnNameSource::FromFirstLine;
    std::string TableNamePattern = "NewTable[counter]";
    std::optional<std::string> TargetTable;
    bool IgnoreFirstLine = false;
    std::vector<std::string> TableList;
    std::string DataSourceName;
    // Column names keep the letters and digits of every alphabet, not only A-Z, a-z and 0-9.
    bool KeepLetters = false;
    // A new table's columns get the narrowest type that takes every value of the file, not TEXT.
    bool GuessTypes = false;
    // The target database keeps what was imported (the manifest): a file imported before is not
    // imported again, and one cut short goes on after its last stored line.
    bool Resume = false;
    // Creating tables: ones a stopped run made, each dropped when its file is reached and made again.
    std::vector<std::string> ReplaceTables;
    // With Resume: lines the database refused before are sent again.
    bool RetryRefused = false;
    // Columns edited in the preview, by the file's path as listed: its new table gets exactly these.
    std::map<std::string, ColumnPlan> ColumnPlans;
    // Columns edited in the preview for every file whose first line gives these names (as cleaned),
    // where the file has none of its own by path.
    std::map<std::vector<std::string>, ColumnPlan> ColumnPlansByNames;
    // Fields may be in double quotes; a record may then span lines.
    bool Quoted = false;
    // Files are converted from it to UTF-8 (iconv's names); empty: as they are.
    std::string Encoding;
    // One autocommitted statement per line, as sent before batching.
    bool RowByRow = false;
    // Batches go through the database's own bulk path where its driver has
    // one (SQLite's library, PostgreSQL's COPY, MariaDB's parameter arrays).
    bool BulkPath = true;
    // A batch's bounds: enough rows that a round trip or a commit is shared
    // by many, few enough bytes that memory stays flat whatever the lines.
    std::size_t BatchRows = 1000;
    std::size_t BatchBytes = std::size_t(1) << 20;
    // A bulk path's batches: bigger, since each costs a commit the server
    // waits for, until one is refused; then the bounds above, for the rest
    // of the file, so that halving a refused batch stays cheap.
    std::size_t BulkRows = 20000;
    std::size_t BulkBytes = std::size_t(8) << 20;
    // A line longer than this goes with its values bound to the statement,
    // not copied into its text, since the drivers and engines copy a text
    // several times more.
    std::size_t BindAbove = std::size_t(16) << 20;
    // How long a busy or locked database is waited for, sending the same
    // statement again, before the file is given up.
    double BusySeconds = 60;
    // A line longer than this fails its file; a quoted record over several
    // lines that passes it is refused.
    std::size_t MaxRecordLength = kMaxLineLength;
    // Where the run's log goes (empty: none), and the file for every
    // refused line (empty: none).
    std::string LogFolder;
    std::string RejectsPath;
    // Why each refused line was refused, one "PATH<TAB>LINE<TAB>REASON" a line (empty: none).
    std::string RejectReasonsPath;
    // A file named "-" is standard input (the command line's convention).
    bool DashIsStandardInput = false;

    // Appending: the table is emptied once a run, in the transaction of the first rows stored into it.
    bool Replace = false;
    // Creating: a table that exists is left alone (the file is skipped), appended to, or dropped and made again.
    IfExists IfTableExists = IfExists::Fail;
    // Creating: the new table's primary key, by the names the first line gives its columns (as cleaned).
    std::vector<std::string> Key;
    // Appending: what a line does whose key (the primary key, else a unique index) the table holds
    // already: refused, passed over, or the row updated with its values.
    OnDuplicate OnDuplicateKey = OnDuplicate::Error;

    // Appending with a header: how the file's columns find the table's (see MatchColumns), and whether
    // a header column the table lacks is left out rather than refusing the file.
    ColumnMatching Matching = ColumnMatching::Automatic;
    bool IgnoreExtraColumns = false;
    // With GuessTypes: dates not in ISO form are read in this form only; none: each column's form is
    // learnt from its values.
    std::optional<DateForm> DateFormat;
    // Values as people write them: fields equal to one of these (unquoted, after trimming) are NULL;
    // spaces and tabs around unquoted fields go; numbers take a comma as their decimal mark.
    std::vector<std::string> NullMarkers;
    bool Trim = false;
    bool DecimalComma = false;
    // A new table's column types by the column's name (as the CREATE cleans it), over the guess.
    std::map<std::string, std::string> ColumnTypes;
    // New tables: the files have no header line. Every line is data, and the columns, as many as the
    // first line has fields, are named Column1, Column2, ... (or asked for, with UserSpecified).
    bool NoHeader = false;
    // Physical lines dropped before the header or the first data line (a title, a blank line); the
    // lines keep their numbers in the file.
    long SkipLines = 0;
    // Each file's separator is guessed from its first lines as the window's guess makes it; a file
    // that gives none is cut by Separator.
    bool GuessSeparator = false;
    // What opens and closes a quoted field, when Quoted.
    char Quote = '"';
    // Files read and sent at once, each over a connection of its own; 0: as serves the database best
    // (the front ends' default).
    int Jobs = 1;
};


// The file's edits, by its path as listed, else by the names its first line gives (as cleaned), with
// the types named for columns (ColumnTypes) where the edits choose none; none when it has none. The run, Check and the preview all ask here.
std::optional<ColumnPlan> PlanFor(const ImportSettings& settings, const std::string& path,
                                  const std::vector<std::string>& names);

// How an appended file's columns go to the table's, by the header's fields: the run, the dry run, Check and
// the preview all ask here. listed: the file as the list names it (for its edits); shown: as messages name it.
ColumnMapping AppendMapping(const ImportSettings& settings, const std::string& listed, const std::string& shown,
                            std::span<const std::string_view> header, const std::vector<std::string>& tableColumns,
                            DatabaseKind database);

// How the settings' files are read.
FileFormat FormatOf(const ImportSettings& settings);

// What the settings ask of values as they are read.
ValueOptions ValueOptionsOf(const ImportSettings& settings);
// How the settings' records are cut into fields: by the separator, and the quotes when asked for.
RecordSplitter SplitterOf(const ImportSettings& settings);

// How the settings' lines are sent.
SendOptions SendOptionsOf(const ImportSettings& settings);

class Connection;

// Why a run cannot keep the manifest, or empty text: lines and their count must commit together.
// manifestMade: its table exists, and is asked; otherwise the data source is.
std::string ResumeRefusal(Connection& connection, const ImportSettings& settings, bool manifestMade);

// Whether path, a file the run writes over, is one of its inputs under whatever name or link.
bool OneOfTheInputs(const ImportSettings& settings, const std::string& path);

// The message of the first check a run would stop at, or empty text.
std::string CheckSettings(const ImportSettings& settings);

// Whether the first line is left out of the data: a new table's first line
// names its columns or is replaced by typed names, and an append may ignore
// a header. A file without a header line has its first line read as a
// header all the same, for its field count, and kept as data (FormatOf).
inline bool SkipFirstLine(const ImportSettings& settings)
{
    if (settings.Mode == ImportMode::AppendToExistingTable)
        return settings.IgnoreFirstLine;
    return true;
}

}  // namespace qb
