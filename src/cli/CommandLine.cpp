#include "cli/CommandLine.h"

#include "read/TextDecoder.h"
#include "schema/Naming.h"

#include <charconv>
#include <initializer_list>
#include <utility>

namespace qb::cli {
namespace {

// Each job holds a connection and a working copy: more than this only queues at the server.
constexpr int kMaxJobs = 16;

// COLUMN=TYPE: the type in capitals, made only of what a type name holds ("NUMERIC(12,2)").
std::pair<std::string, std::string> NamedType(const std::string& text)
{
    const std::size_t equals = text.rfind('=');
    std::string type = equals == std::string::npos ? std::string() : text.substr(equals + 1);
    for (char& c : type)
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    const bool named = equals != std::string::npos && equals > 0 && !type.empty() && type[0] >= 'A' &&
                       type[0] <= 'Z' &&
                       type.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 (),") == std::string::npos;
    if (!named)
        throw UsageError{"--type takes COLUMN=TYPE, such as amount=NUMERIC(12,2), not " + text};
    return {text.substr(0, equals), type};
}

// The value of an option that takes one of a few words: "--types takes text or guess, not TEXT" otherwise.
template <typename T>
T OneOf(const std::string& option, const std::string& value,
        std::initializer_list<std::pair<const char*, T>> words)
{
    std::string listed;
    std::size_t left = words.size();
    for (const auto& [word, meant] : words) {
        if (value == word)
            return meant;
        listed += word;
        --left;
        listed += left > 1 ? ", " : left == 1 ? " or " : "";
    }
    throw UsageError{option + " takes " + listed + ", not " + value};
}

}  // namespace

const char* const kUsage =
    "usage: quillbarrow-import --dsn NAME [--separator TEXT] [--table-name PATTERN] [--ask-columns]\n"
    "                          [--append TABLE [--skip-header] [--on-duplicate error|skip|update]]\n"
    "                          [--quoted] [--encoding NAME] [--row-by-row]\n"
    "                          [--columns by-name|by-position] [--ignore-extra-columns]\n"
    "                          [--types text|guess] [--keep-letters] [--resume [--retry-refused]]\n"
    "                          [--date-format FORM]\n"
    "                          [--quiet | --verbose]\n"
    "                          [--no-header] [--skip-lines N] [--quote CHAR]\n"
    "                          [--rejects FILE] [--rejects-reasons FILE] [--summary FILE|-]\n"
    "                          [--dry-run] [FILE...]\n"
    "                          [--replace] [--if-exists fail|append|replace] [--key COLUMN[,COLUMN...]]\n"
    "                          [--null TEXT]... [--trim] [--decimal-comma] [--type COLUMN=TYPE]...\n"
    "                          [--profile NAME] [--save-profile NAME] [--jobs N|auto]\n"
    "       quillbarrow-import --dsn NAME --list-tables\n"
    "       quillbarrow-import --list-sources\n"
    "       quillbarrow-import --help | --version\n";

const char* const kHelp =
    "\n"
    "Imports each FILE into a table of the ODBC data source NAME: by default a new\n"
    "table per file, its columns named by the file's first line. A FILE of \"-\" is\n"
    "standard input: its position counts for [counter] like any file, and messages\n"
    "call it standard input. A FILE compressed with gzip, bzip2, xz or zstd is read\n"
    "through its decompressor; a zip or tar archive stands for each file it holds.\n"
    "Errors and warnings go to standard error, each led by \"quillbarrow-import:\"\n"
    "and the file and line they concern; a run that fails ends there with one\n"
    "line of what failed, one that succeeds prints \"Done.\" on standard output.\n"
    "\n"
    "Options:\n"
    "  --dsn NAME            the data source to import into (required)\n"
    "  --separator TEXT      the text between fields, exactly as typed\n"
    "                        (default \",\"); \\t means a tab, an empty TEXT keeps\n"
    "                        each line whole; auto guesses each file's from its\n"
    "                        first lines (comma, semicolon, tab, pipe or space,\n"
    "                        logged per file), a comma where none can be\n"
    "                        guessed\n"
    "  --table-name PATTERN  the new tables' names; every [counter] becomes the\n"
    "                        file's position in the list, every [file] the file's\n"
    "                        name without folder and extension, cleaned as a\n"
    "                        column name is (default \"NewTable[counter]\")\n"
    "  --ask-columns         ask each column's name on the terminal, one line per\n"
    "                        answer (default: the first line names the columns)\n"
    "  --append TABLE        append every file to the existing TABLE instead of\n"
    "                        creating tables (default: create)\n"
    "  --skip-header         with --append: leave out each file's first line\n"
    "                        (default: import it)\n"
    "  --on-duplicate error|skip|update\n"
    "                        with --append: what a line does whose key (the\n"
    "                        table's primary key, else a unique index) the table\n"
    "                        holds already: refused with the database's report,\n"
    "                        skipped (the row there is kept), or the row updated\n"
    "                        with the line's values; skip and update refuse a\n"
    "                        table without a key (default: error)\n"
    "  --columns by-name|by-position\n"
    "                        with --append --skip-header: match the file's\n"
    "                        columns to the table's by the header's names (the\n"
    "                        table must have each; one it lacks refuses the file,\n"
    "                        one the file lacks gets NULL or its default), or in\n"
    "                        the table's order (default: by name when the header\n"
    "                        names exactly the table's columns in another order,\n"
    "                        else by position)\n"
    "  --ignore-extra-columns\n"
    "                        matching by name: leave out a header column the\n"
    "                        table lacks instead of refusing the file\n"
    "  --quoted              fields may be in double quotes\n"
    "                        (default: quotes are text)\n"
    "  --quote CHAR          fields may be in quotes of CHAR, such as ';\n"
    "                        implies --quoted (default: \")\n"
    "  --no-header           new tables: the files have no header line; every\n"
    "                        line is data, and the columns, as many as the\n"
    "                        first line has fields, are named Column1,\n"
    "                        Column2, ... (with --ask-columns: asked for)\n"
    "  --skip-lines N        leave out each file's first N lines (a title, a\n"
    "                        blank line) before its header or first data line;\n"
    "                        lines keep their numbers in the file (default: 0)\n"
    "  --jobs N|auto         read and send N files at once, each over a connection\n"
    "                        of its own; reports, log and summary stay in the\n"
    "                        list's order (default: auto: 1 for SQLite, else\n"
    "                        one per core, up to 4)\n"
    "  --encoding NAME       convert files from the iconv encoding NAME to UTF-8;\n"
    "                        auto reads a file that is valid UTF-8 as it is and\n"
    "                        any other in the encoding its bytes point to, and\n"
    "                        logs which, and where that is only a guess; as-is\n"
    "                        sends the bytes as they are; an unknown NAME is a\n"
    "                        usage error (default: auto)\n"
    "  --row-by-row          one statement per line instead of batches, which go\n"
    "                        through the database's own bulk path where its driver\n"
    "                        has one (default: batches)\n"
    "  --types text|guess    a new table's column types: TEXT throughout, or the\n"
    "                        narrowest type of the database that takes every value\n"
    "                        of the file (default: text)\n"
    "  --date-format FORM    with --types guess: a column whose dates are all in\n"
    "                        FORM, e.g. DD.MM.YYYY, MM/DD/YYYY HH:MM or MON D YYYY,\n"
    "                        is DATE or TIMESTAMP and its dates go in ISO form\n"
    "                        (default: each column's form is learnt from its\n"
    "                        values, and day and month are in the locale's order\n"
    "                        where no day is over 12)\n"
    "  --keep-letters        column names keep the letters and digits of every\n"
    "                        alphabet, and underscores (default: only A-Z,\n"
    "                        a-z and 0-9)\n"
    "  --resume              remember what was imported, in the table\n"
    "                        quillbarrow_sys_imports of NAME: a file imported\n"
    "                        before into the same table (known by its content,\n"
    "                        not its name) is skipped, and one cut short goes on\n"
    "                        after its last stored line; each batch and its count\n"
    "                        commit together (default: every file is imported)\n"
    "  --retry-refused       with --resume: send the lines refused before again\n"
    "                        (default: they stay refused)\n"
    "  --rejects FILE        write every refused line to FILE, ended by CR LF;\n"
    "                        FILE is created empty when the run starts\n"
    "                        (default: none)\n"
    "  --rejects-reasons FILE\n"
    "                        write PATH<TAB>LINE<TAB>REASON for every refused\n"
    "                        line, in the order of --rejects (given or not);\n"
    "                        tabs and line ends in PATH and REASON become\n"
    "                        spaces (default: none)\n"
    "  --summary FILE        when the run ends, however it ends, write one JSON\n"
    "                        document to FILE (- for standard output, after\n"
    "                        the messages): \"options\", \"files\" (per file\n"
    "                        reached: path, table, outcome, rows_stored,\n"
    "                        lines_refused, the first 100 refused lines as\n"
    "                        line and reason, bytes, read_as, sent_by,\n"
    "                        seconds), \"totals\" and \"exit_status\"; bytes\n"
    "                        that are not UTF-8 are written as \\ufffd\n"
    "                        (default: none)\n"
    "  --replace             with --append: empty TABLE once a run, in the\n"
    "                        transaction of the first rows stored (line by line:\n"
    "                        the first line's); a table without transactions is\n"
    "                        emptied by itself first; a file with no data lines\n"
    "                        empties it too, one whose every line is refused does\n"
    "                        not; with --resume, a file imported before goes on\n"
    "                        and the table is not emptied (default: keep the rows)\n"
    "  --if-exists fail|append|replace\n"
    "                        creating tables, when a file's table exists: skip\n"
    "                        the file, append to the table as --append does, or\n"
    "                        drop it and create it again from the file, once a\n"
    "                        run (default: fail)\n"
    "  --key COLUMN[,COLUMN...]\n"
    "                        creating tables: make these columns, as the first\n"
    "                        line names them, the new table's primary key, each\n"
    "                        NOT NULL; a line that repeats a key is refused\n"
    "                        (default: no key)\n"
    "  --dry-run             read, connect and check everything but change\n"
    "                        nothing; one line per file and a summary; exit 0\n"
    "                        when the real run would go through cleanly\n"
    "  --quiet, -q           say only what went wrong: no progress line, no\n"
    "                        warnings or notes, no \"Done.\" and no summary\n"
    "  --verbose, -v         also print, on standard output, a line per file as\n"
    "                        it ends (PATH: rows stored, lines refused, how they\n"
    "                        were sent, seconds) and the run's summary\n"
    "  --null TEXT           a field that is exactly TEXT (after --trim) is NULL;\n"
    "                        may be given again for more markers; a quoted field\n"
    "                        is never NULL (default: only an empty field is NULL)\n"
    "  --trim                spaces and tabs around unquoted fields go (default:\n"
    "                        values are sent as written)\n"
    "  --decimal-comma       numbers take a comma as their decimal mark and are\n"
    "                        sent with a point (default: a point; with a separator\n"
    "                        that is not a comma, a column whose numbers all use a\n"
    "                        comma is taken so)\n"
    "  --type COLUMN=TYPE    create the column COLUMN (as the first line names it)\n"
    "                        with TYPE, over the guess; may be given again\n"
    "  --profile NAME        read options from the profile NAME, the file\n"
    "                        $XDG_CONFIG_HOME/quillbarrow/profiles/NAME.conf\n"
    "                        (else ~/.config/...): one \"option = value\" a line,\n"
    "                        such as \"dsn = Sales\" or \"trim = true\"; an option\n"
    "                        given on the command line replaces the profile's\n"
    "  --save-profile NAME   save the run's options, but not its files, as the\n"
    "                        profile NAME, then go on with the run (with no\n"
    "                        FILE: only save)\n"
    "  --list-tables         list the user tables of NAME, one a line, and exit\n"
    "  --list-sources        list the user and system data sources, one a line as\n"
    "                        NAME<TAB>DRIVER, and exit\n"
    "  --help, -h            print this help and exit\n"
    "  --version             print the version and exit\n"
    "  --                    every argument after it is a FILE\n"
    "\n"
    "Exit status:\n"
    "  0    the run ended with \"Done.\" and nothing went wrong\n"
    "  1    otherwise: a file skipped, a line rejected, a run refused because\n"
    "       another holds the working copy, a data source that cannot be opened\n"
    "  2    usage error\n"
    "  130  stopped by a first SIGINT; 143 by a first SIGTERM; 129 by a first SIGHUP\n";

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine line;
    ImportSettings& settings = line.settings;
    settings.Encoding = kAutoEncoding;
    settings.Jobs = 0;
    bool haveDsn = false, listTables = false, listSources = false, skipHeader = false, optionsEnded = false,
         dryRun = false, ifExistsGiven = false, onDuplicate = false;
    std::vector<std::pair<std::string, std::string>> namedTypes;
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
        } else if (argument == "--version") {
            line.action = CommandLine::Action::Version;
            return line;
        } else if (argument == "--list-sources") {
            listSources = true;
        } else if (argument == "--quiet" || argument == "-q") {
            line.quiet = true;
        } else if (argument == "--verbose" || argument == "-v") {
            line.verbose = true;
        } else if (argument == "--dsn") {
            settings.DataSourceName = value();
            haveDsn = true;
        } else if (argument == "--separator") {
            settings.Separator = value() == "\\t" ? "\t" : arguments[i];
            settings.GuessSeparator = settings.Separator == "auto";
            if (settings.GuessSeparator)
                settings.Separator = ",";
        } else if (argument == "--table-name") {
            settings.TableNamePattern = value();
        } else if (argument == "--ask-columns") {
            settings.ColumnNames = ColumnNameSource::UserSpecified;
        } else if (argument == "--append") {
            settings.Mode = ImportMode::AppendToExistingTable;
            settings.TargetTable = value();
        } else if (argument == "--skip-header") {
            skipHeader = true;
        } else if (argument == "--on-duplicate") {
            settings.OnDuplicateKey = OneOf<OnDuplicate>(argument, value(), {{"error", OnDuplicate::Error},
                                                                {"skip", OnDuplicate::Skip},
                                                                {"update", OnDuplicate::Update}});
            onDuplicate = true;
        } else if (argument == "--columns") {
            settings.Matching = OneOf<ColumnMatching>(argument, value(), {{"by-name", ColumnMatching::ByName},
                                                          {"by-position", ColumnMatching::ByPosition}});
        } else if (argument == "--ignore-extra-columns") {
            settings.IgnoreExtraColumns = true;
        } else if (argument == "--quoted") {
            settings.Quoted = true;
        } else if (argument == "--quote") {
            const std::string& quote = value();
            if (quote.size() != 1 || quote[0] == '\r' || quote[0] == '\n')
                throw UsageError{"--quote takes one character, not " + quote};
            settings.Quote = quote[0];
            settings.Quoted = true;
        } else if (argument == "--no-header") {
            settings.NoHeader = true;
        } else if (argument == "--skip-lines") {
            const std::string& lines = value();
            std::size_t used = 0;
            long count = -1;
            try {
                count = lines.empty() || lines[0] == '-' || lines[0] == '+' ? -1 : std::stol(lines, &used);
            } catch (const std::exception&) {
            }
            if (count < 0 || used != lines.size())
                throw UsageError{"--skip-lines takes a number of lines, not " + lines};
            settings.SkipLines = count;
        } else if (argument == "--jobs") {
            const std::string& jobs = value();
            int count = 0;
            const auto [end, error] = std::from_chars(jobs.data(), jobs.data() + jobs.size(), count);
            if (jobs != "auto" && (error != std::errc{} || end != jobs.data() + jobs.size() || count < 1 || count > kMaxJobs))
                throw UsageError{"--jobs takes a number of files from 1 to " + std::to_string(kMaxJobs) + ", or auto, not " + jobs};
            settings.Jobs = jobs == "auto" ? 0 : count;
        } else if (argument == "--encoding") {
            settings.Encoding = value();
            if (settings.Encoding == "auto")
                settings.Encoding = kAutoEncoding;
            else if (settings.Encoding == "as-is")
                settings.Encoding.clear();
            else if (!TextDecoder::Known(settings.Encoding))
                throw UsageError{"unknown encoding " + settings.Encoding};
        } else if (argument == "--rejects") {
            settings.RejectsPath = value();
        } else if (argument == "--summary") {
            line.summaryPath = value();
            if (line.summaryPath.empty())
                throw UsageError{"--summary takes a file, or - for standard output"};
        } else if (argument == "--rejects-reasons") {
            settings.RejectReasonsPath = value();
            if (settings.RejectReasonsPath.empty())
                throw UsageError{"--rejects-reasons takes a file"};
        } else if (argument == "--dry-run") {
            dryRun = true;
        } else if (argument == "--row-by-row") {
            settings.RowByRow = true;
        } else if (argument == "--types") {
            settings.GuessTypes = OneOf<bool>(argument, value(), {{"text", false}, {"guess", true}});
        } else if (argument == "--date-format") {
            const std::string form = value();
            settings.DateFormat = ParseDateFormat(form);
            if (!settings.DateFormat)
                throw UsageError{"unknown date format " + form + "; known: " + KnownDateFormats()};
        } else if (argument == "--keep-letters") {
            settings.KeepLetters = true;
        } else if (argument == "--resume") {
            settings.Resume = true;
        } else if (argument == "--retry-refused") {
            settings.RetryRefused = true;
        } else if (argument == "--replace") {
            settings.Replace = true;
        } else if (argument == "--if-exists") {
            settings.IfTableExists = OneOf<IfExists>(argument, value(), {{"fail", IfExists::Fail},
                                                               {"append", IfExists::Append},
                                                               {"replace", IfExists::Replace}});
            ifExistsGiven = true;
        } else if (argument == "--key") {
            settings.Key.clear();
            const std::string& columns = value();
            for (std::size_t from = 0;;) {
                const std::size_t comma = columns.find(',', from);
                settings.Key.push_back(columns.substr(from, comma - from));
                if (settings.Key.back().empty())
                    throw UsageError{"--key names an empty column in " + columns};
                if (comma == std::string::npos)
                    break;
                from = comma + 1;
            }
        } else if (argument == "--list-tables") {
            listTables = true;
        } else if (argument == "--null") {
            if (value().empty())
                throw UsageError{"--null takes a marker; an empty field is NULL already"};
            settings.NullMarkers.push_back(arguments[i]);
        } else if (argument == "--trim") {
            settings.Trim = true;
        } else if (argument == "--decimal-comma") {
            settings.DecimalComma = true;
        } else if (argument == "--profile" || argument == "--save-profile") {
            value();  // read and taken out by ExpandProfile before
        } else if (argument == "--type") {
            namedTypes.push_back(NamedType(value()));
        } else {
            throw UsageError{"unknown option " + argument};
        }
    }
    settings.DashIsStandardInput = true;
    if (line.quiet && line.verbose)
        throw UsageError{"--quiet and --verbose contradict each other"};
    // The data sources are listed without one chosen.
    if (listSources) {
        line.action = CommandLine::Action::ListSources;
        return line;
    }
    if (!haveDsn)
        throw UsageError{"--dsn is required"};
    if (skipHeader && settings.Mode != ImportMode::AppendToExistingTable)
        throw UsageError{"--skip-header goes with --append"};
    settings.IgnoreFirstLine = skipHeader;
    if (onDuplicate && settings.Mode != ImportMode::AppendToExistingTable)
        throw UsageError{"--on-duplicate goes with --append"};
    // Names come only from a header.
    if (settings.Matching == ColumnMatching::ByName && !skipHeader)
        throw UsageError{"--columns by-name goes with --append and --skip-header"};
    if (settings.NoHeader && skipHeader)
        throw UsageError{"--no-header and --skip-header contradict each other"};
    if (settings.RetryRefused && !settings.Resume)
        throw UsageError{"--retry-refused goes with --resume"};
    const bool append = settings.Mode == ImportMode::AppendToExistingTable;
    if (settings.Replace && !append)
        throw UsageError{"--replace goes with --append (creating tables: --if-exists replace)"};
    if (ifExistsGiven && append)
        throw UsageError{"--if-exists goes with creating tables, not --append"};
    if (!settings.Key.empty() && (append || settings.ColumnNames == ColumnNameSource::UserSpecified))
        throw UsageError{"--key goes with creating tables whose first line names the columns"};
    if (!namedTypes.empty() && (settings.Mode != ImportMode::CreateNewTable ||
                                settings.ColumnNames != ColumnNameSource::FromFirstLine))
        throw UsageError{"--type goes with new tables whose first line names the columns"};
    // Named as the first line's names are cleaned, once --keep-letters is known.
    for (const auto& [column, type] : namedTypes) {
        const std::string_view name = column;
        settings.ColumnTypes[ColumnNames(std::span(&name, 1), settings.KeepLetters).front()] = type;
    }
    // A record of what a run did: a dry run does nothing to record.
    if ((!line.summaryPath.empty() || !settings.RejectReasonsPath.empty()) && (dryRun || listTables))
        throw UsageError{"--summary and --rejects-reasons go with an import, not --dry-run or --list-tables"};
    if (listTables)
        line.action = CommandLine::Action::ListTables;
    else if (dryRun)
        line.action = CommandLine::Action::DryRun;
    return line;
}

}  // namespace qb::cli
