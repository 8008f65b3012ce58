// The batched import must come to exactly what the line-by-line one does.
#include "odbc/Database.h"
#include "odbc/TableCatalogue.h"
#include "check/DryRun.h"
#include "run/ImportRun.h"
#include "check/Preview.h"
#include "odbc/SqlText.h"
#include "schema/Naming.h"
#include "support/DataSources.h"
#include "support/ScriptedHost.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace qb {
namespace {

using test::ScriptedHost;
using namespace std::string_literals;

// Checks, whenever a box is up, that everything sent so far is committed:
// another connection sees exactly the rows the run has stored.
class BoxCheckingHost : public ScriptedHost {
public:
    BoxCheckingHost(std::string dsn, std::string table) : m_dsn(std::move(dsn)), m_table(std::move(table)) {}
    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override
    {
        ScriptedHost::ShowErrorReport(procedure, line, description);
        Connection other;
        other.Open(m_dsn);
        std::vector<TextRow> count{{std::string("0")}};  // while no table is made
        try {
            count = other.QueryStrings("SELECT COUNT(*) FROM " + test::QuoteIdentifier(m_table));
        } catch (const DatabaseError&) {
        }
        EXPECT_EQ(count.at(0).at(0), std::to_string(m_stored + m_before)) << "while showing: " << description;
    }
    void ShowLineReport(const std::string& procedure, int line, const std::string& description,
                        const LineContext& context) override
    {
        if (context.rejected) {
            ++m_files[context.path].rejected;
            m_files[context.path].rejectedLines[context.line] = description;
        } else {
            m_files[context.path].fileReports.push_back(description);
        }
        ShowErrorReport(procedure, line, description);
    }
    void ReportProgress(const ImportProgress& progress) override
    {
        m_stored = progress.rows;
        m_files[progress.path].stored = progress.rowsInFile;
    }
    // What the run did with each file, by its path.
    struct FileOutcome {
        long stored = 0;
        long rejected = 0;
        std::map<long, std::string> rejectedLines;  // line: the report's description
        std::vector<std::string> fileReports;       // reports about the whole file
    };
    std::map<std::string, FileOutcome> m_files;
    long m_before = 0;  // rows the table held before the run

private:
    std::string m_dsn;
    std::string m_table;
    long m_stored = 0;
};

struct Outcome {
    std::vector<std::pair<std::string, std::vector<TextRow>>> tables;
    std::vector<std::string> messages;
    std::vector<std::string> reports;  // line and description
    std::vector<std::string> prompts;
    std::vector<std::string> tableList;
    std::map<std::string, BoxCheckingHost::FileOutcome> files;
    long rowsSent;
    int filesSkipped;
    int errorReports;
    std::map<std::string, std::vector<std::string>> columnNames;  // by table, as the database's catalogue has them
};

struct DiffCase {
    const char* name;
    ImportMode mode;
    ColumnNameSource names;
    const char* target;  // CREATE TABLE for append, run before the import
    std::vector<std::string> files;
    std::size_t batchRows;
    bool quoted = false;
    const char* encoding = "";
    bool ignoreFirstLine = false;
    std::size_t limit = kMaxLineLength;
    const char* tableName = "NewTable[counter]";
    bool replace = false;  // the target is emptied with the first rows stored
    ColumnMatching matching = ColumnMatching::Automatic;
    std::size_t bindAbove = ImportSettings().BindAbove;  // where the runs' own is the default
};

void PrintTo(const DiffCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string Lines(int from, int to, const std::string& pattern)
{
    std::string body;
    for (int i = from; i <= to; ++i) {
        std::string line = pattern;
        for (auto at = line.find('#'); at != std::string::npos; at = line.find('#', at))
            line.replace(at, 1, std::to_string(i));
        body += line + "\r\n";
    }
    return body;
}

std::string LfOnly(std::string text)
{
    std::erase(text, '\r');
    return text;
}

// Bad lines at every position of a batch of four: first, second, third,
// last; then a batch made only of bad lines.
std::string EveryPosition(const std::string& bad)
{
    std::string body;
    for (int i = 0; i < 24; ++i)
        body += (i % 5 == 0 || i >= 20 ? bad : "v" + std::to_string(i) + ",x" + std::to_string(i) + ",u" +
                                                   std::to_string(i)) + "\r\n";
    return body;
}

// Sixty lines with refusals of every kind scattered, for batches that are
// halved before they come down to single lines.
std::string Scattered()
{
    std::string body;
    for (int i = 0; i < 60; ++i) {
        const std::string n = std::to_string(i);
        if (i == 3 || i == 17 || i == 18 || i == 59)
            body += n + ",bad," + n;  // refused by the database
        else if (i == 25)
            body += n + ",x";  // too few values
        else if (i == 41)
            body += n + ",x," + n + ",extra";  // too many
        else if (i == 50)
            body += "dup,x,5";  // a value that an earlier line holds
        else
            body += n + ",x," + n;
        body += "\r\n";
    }
    return body;
}

// A first line of that many columns, c1 to cN.
std::string Header(int columns, char separator = ',')
{
    std::string line;
    for (int i = 1; i <= columns; ++i)
        line += (i > 1 ? std::string(1, separator) : "") + "c" + std::to_string(i);
    return line + "\r\n";
}

const char* const kConstrained =
    R"(CREATE TABLE "Target"("a" TEXT NOT NULL, "b" TEXT CHECK ("b" <> 'bad'), "c" TEXT UNIQUE))";

const DiffCase kCases[] = {
    {"CleanAcrossBatches", ImportMode::CreateNewTable, ColumnNameSource::FromFirstLine, nullptr,
     {"id,name,note\r\n" + Lines(1, 2500, "#,name #,it's ''#''")}, 1000},
    {"TooManyAndTooFewFields", ImportMode::CreateNewTable, ColumnNameSource::FromFirstLine, nullptr,
     {"a,b,c\r\n1,2,3\r\n4,5\r\n6,7,8,9\r\n,,\r\n10,,12\r\n13\r\n14,15,16"}, 4},
    {"NotNullEveryPosition", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {EveryPosition(",n,n")}, 4},
    {"CheckEveryPosition", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {EveryPosition("x,bad,")}, 4},
    {"UniqueWithinAndAcrossBatches", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine,
     kConstrained, {"a,b,same\r\nc,d,other\r\ne,f,same\r\ng,h,last\r\ni,j,other\r\n", "k,l,last\r\nm,n,new\r\n"}, 2},
    {"HalvedBatches", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {Scattered()}, 64},
    {"ShortLinesInsideBatches", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {"1,2,3\r\n4,5\r\n6,bad,7\r\n8\r\n9,10,11\r\n\r\n12,13,14\r\n"}, 3},
    {"TypedColumns", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine,
     R"(CREATE TABLE "Target"("n" INTEGER, "d" DATE, "t" TEXT))",
     {"1,2021-08-31,a\r\n2,2021-09-01,b\r\nthree,2021-09-02,c\r\n4,not a date,d\r\n5,,e\r\n6,2021-09-03,f\r\n"
      "7,,g\r\n8,2021-09-04,h\r\n"}, 4},
    {"EmptyAndLongLines", ImportMode::CreateNewTable, ColumnNameSource::FromFirstLine, nullptr,
     {"a,b\r\n\r\n" + std::string(700000, 'x') + ",1\r\n\r\n" + std::string(700000, 'y') + ",2\r\n3,4\r\n\r\n"}, 1000},
    // Batches sent ahead of their outcome, then a line too long for a statement's text, then a refused batch.
    {"BoundLineAfterRowsSentAhead", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {Lines(1, 10, "#,x,u#") + "11,bad,u11\r\n12,x,u12\r\n" + std::string(700000, 'z') + ",bad,long\r\n" +
      Lines(14, 20, "#,x,u#") + "21,bad,u21\r\n" + Lines(22, 30, "#,x,u#")},
     3, false, "", false, kMaxLineLength, "NewTable[counter]", false, ColumnMatching::Automatic, 100000},
    {"QuotedRecords", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {"\"a,1\",\"\",\"u1\"\r\n,x,u2\r\n\"multi\r\nline\",\"bad\",u3\r\n\"ok\",\"\"\"q\"\"\",u4\r\n"
      "\"short\"\r\n5,6,\"open\r\n7,8,9\r\n"},
     3, true},
    {"UndecodableLines", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {"a,\xC3\xA9,1\r\nb,\xE9,2\r\n,c,3\r\nd,bad,4\r\n\xFF,e,5\r\nf,g,6\r\n"}, 3, false, "UTF-8"},
    // Bytes a bulk path writes differently from a statement's text: escapes, a NUL, bytes that are not UTF-8.
    {"RawBytes", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {"a,\xE9t\xE9,1\r\nb,nul\0byte,2\r\nc,tab\there,3\r\nd,back\\slash \\N,4\r\n"
      "e,\xC3\xA9,5\r\nf,bad,6\r\ng,\\.,7\r\n"s}, 3},
    {"UserSpecifiedColumns", ImportMode::CreateNewTable, ColumnNameSource::UserSpecified, nullptr,
     {"h1;h2\r\n1;2\r\n3\r\n4;5\r\n", "h\r\n6;7\r\n"}, 2},
    // No CR in the first megabyte, but one after it: the whole file has CR line
    // ends, so its LF-ended start is one ignored header line.
    {"CrLfAfterTheFirstMegabyte", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {"h\n" + LfOnly(Lines(1, 100000, "#,x,u#")) + "\r\n7,y,u7\r\n8,bad,u8\r\n9,z\r\n10,w,u10\r\n"}, 4, false, "", true},
    // Each line of the quoted cell is short, the cell is not: it is refused and the
    // lines after it go on; the next file's cell is within the limit.
    {"QuotedCellPastTheLimit", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {"1,x,u1\r\n\"" + std::string(40, 'a') + "\r\n" + std::string(40, 'b') + "\",y,u2\r\n3,z,u3\r\n",
      "4,\"" + std::string(20, 'c') + "\r\n" + std::string(20, 'd') + "\",u4\r\n5,w,u5\r\n"},
     2, true, "", false, 64},
    // Tables the import refuses to create, or that the database refuses; after a good one, so that
    // the boxes' row counts stay those of NewTable1. 2,000 columns: fewer than we refuse, more than
    // PostgreSQL and MariaDB's InnoDB take, as many as SQLite takes. Names of 70 bytes are longer than
    // PostgreSQL and MariaDB take.
    {"RefusedCreates", ImportMode::CreateNewTable, ColumnNameSource::FromFirstLine, nullptr,
     {"id,name\r\n1,a\r\n2,b\r\n", "", ",,\r\n1,2\r\n", Header(5000) + "1\r\n", Header(2000),
      "a," + std::string(70, 'x') + "\r\n"},
     2},
    // Names that clean to nothing or to an earlier one's, mended the same way by the preview, the dry
    // run and the import.
    {"MendedNames", ImportMode::CreateNewTable, ColumnNameSource::FromFirstLine, nullptr,
     {"id,Full Name,FullName,fullname\r\n1,a,b,c\r\n", "!!,\xC3\xA9\r\n1,2\r\n"}, 2},
    {"AskedColumnsRefused", ImportMode::CreateNewTable, ColumnNameSource::UserSpecified, nullptr,
     {"h1;h2\r\n1;2\r\n", "", Header(5000, ';') + "1\r\n"}, 2},
    {"OverlongTableName", ImportMode::CreateNewTable, ColumnNameSource::FromFirstLine, nullptr, {"a\r\n1\r\n"}, 2,
     false, "", false, kMaxLineLength,
     "Table[counter]_named_at_such_length_that_PostgreSQL_and_MariaDB_would_not_take_it_whole"},
    // The old row goes with the first rows stored, once: the second file's "last" is no repeat of it.
    {"ReplacedWithTheFirstRowsStored", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine,
     kConstrained, {"k0,l,u0\r\n" + EveryPosition(",n,n"), "k,l,last\r\n"}, 4, false, "", false, kMaxLineLength,
     "NewTable[counter]", true},
    // A header naming the table's columns in another order goes by name, refusals and all; by name, a
    // column the file lacks is NULL and one the table lacks refuses its file.
    {"ByNameReordered", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {"c,b,a\r\nu1,x,1\r\nu2,bad,2\r\nu3,y\r\nlast,w,4\r\nu5,v,\r\nu6,w,6,extra\r\nu7,q,7\r\n"}, 3, false, "",
     true},
    {"ByNameMissingAndExtra", ImportMode::AppendToExistingTable, ColumnNameSource::FromFirstLine, kConstrained,
     {"b,a\r\nx,1\r\nbad,2\r\ny,\r\nz,3\r\n", "a,b,c,zz\r\n1,2,3,4\r\n"}, 2, false, "", true, kMaxLineLength,
     "NewTable[counter]", false, ColumnMatching::ByName},
};

// What the dry run and the preview say of the files before the import.
struct Foresight {
    DryRunResult dryRun;
    std::vector<Preview> previews;
};

// The names of a table's columns in order, from the catalogue: what the database made of the CREATE.
std::string ColumnNamesQuery(test::DriverKind kind, const std::string& table)
{
    std::string literal = "'";
    for (const char c : table)
        literal += c == '\'' ? std::string("''") : std::string(1, c);
    literal += "'";
    if (kind == test::DriverKind::Sqlite)
        return "SELECT name FROM pragma_table_info(" + literal + ") ORDER BY cid";
    return "SELECT column_name FROM information_schema.columns WHERE table_name = " + literal + " AND table_schema = " +
           (kind == test::DriverKind::Mariadb ? "DATABASE()" : "'public'") + " ORDER BY ordinal_position";
}

class BatchDifferentialTest : public testing::TestWithParam<std::tuple<test::DataSource, DiffCase>> {
protected:
    void SetUp() override
    {
        const test::DataSource& source = std::get<0>(GetParam());
        if (source.dsn.empty()) {
            if (test::AllDataSourcesRequired())
                FAIL() << source.label << " data source is not configured";
            GTEST_SKIP() << source.label << " data source is not configured";
        }
        ::setenv("TEMP", m_dir.Path().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("TEMP"); }

    Outcome Import(bool rowByRow, std::size_t bindAbove = ImportSettings().BindAbove, Foresight* foresight = nullptr,
                   bool bulk = true)
    {
        const test::DataSource& source = std::get<0>(GetParam());
        const DiffCase& c = std::get<1>(GetParam());
        test::ResetDataSource(source);
        long before = 0;
        if (c.target) {
            Connection connection;
            connection.Open(source.dsn);
            connection.Execute(c.target);
            if (c.target == kConstrained) {
                connection.Execute(R"(INSERT INTO "Target" VALUES('0', '0', 'last'))");
                before = 1;
            }
        }
        ImportSettings settings;
        settings.DataSourceName = source.dsn;
        settings.Mode = c.mode;
        settings.ColumnNames = c.names;
        settings.TargetTable = "Target";
        settings.Separator = c.names == ColumnNameSource::UserSpecified ? ";" : ",";
        settings.RowByRow = rowByRow;
        settings.BatchRows = c.batchRows;
        settings.BulkPath = bulk;
        settings.BulkRows = c.batchRows;
        settings.BindAbove = bindAbove == ImportSettings().BindAbove ? c.bindAbove : bindAbove;
        settings.Quoted = c.quoted;
        settings.Encoding = c.encoding;
        settings.IgnoreFirstLine = c.ignoreFirstLine;
        settings.MaxRecordLength = c.limit;
        settings.TableNamePattern = c.tableName;
        settings.Replace = c.replace;
        if (c.replace)
            before = 0;
        settings.Matching = c.matching;
        for (std::size_t i = 0; i < c.files.size(); ++i)
            settings.Files.push_back(m_dir.Write("f" + std::to_string(i) + ".csv", c.files[i]));
        if (foresight)
            Foresee(settings, *foresight);
        BoxCheckingHost host(source.dsn, c.target ? "Target" : ExpandTableName(c.tableName, 1));
        host.m_before = before;
        host.answers = {"First", "Second", "Only"};
        const ImportSummary summary = RunImport(settings, host);

        Outcome outcome{{}, host.messages, {}, host.prompts, settings.TableList, host.m_files,
                        summary.rowsSent, summary.filesSkipped, summary.errorReports, {}};
        for (const auto& report : host.reports)
            outcome.reports.push_back(std::to_string(report.line) + ": " + report.description);
        Connection connection;
        connection.Open(source.dsn);
        for (const auto& table : ListUserTables(source.dsn)) {
            const auto columns = connection.ColumnCount("SELECT * FROM " + test::QuoteIdentifier(table));
            std::string order;
            for (int i = 1; i <= columns; ++i)
                order += (i > 1 ? "," : "") + std::to_string(i);
            outcome.tables.emplace_back(
                table, connection.QueryStrings("SELECT * FROM " + test::QuoteIdentifier(table) + " ORDER BY " + order));
            for (const TextRow& row : connection.QueryStrings(ColumnNamesQuery(source.kind, table)))
                outcome.columnNames[table].push_back(row.at(0).value_or(""));
        }
        return outcome;
    }

    void Foresee(const ImportSettings& settings, Foresight& foresight)
    {
        foresight.dryRun = DryRun(settings);
        PreviewOptions options;
        options.format = FormatOf(settings);
        options.createMode = settings.Mode == ImportMode::CreateNewTable;
        options.namesFromFirstLine = settings.ColumnNames == ColumnNameSource::FromFirstLine;
        options.skipFirstLine = settings.IgnoreFirstLine;
        if (!options.createMode) {
            Connection connection;
            connection.Open(settings.DataSourceName);
            options.tableColumns = connection.ColumnCount(R"(SELECT * FROM "Target")");
            options.tableNames = connection.ColumnNames(R"(SELECT * FROM "Target" WHERE 1=0)");
            options.matching = settings.Matching;
            options.database = connection.Kind();
            options.table = "Target";
        }
        for (const auto& file : settings.Files)
            foresight.previews.push_back(BuildPreview(file, options));
    }

    test::TempDir m_dir;
};

// The preview's records and marks, the dry run's counts and the import's
// outcome come from one reading of each file, so they agree: a record the
// preview marks is refused, one it does not mark is not refused before
// sending, and the dry run counts what the import stores or refuses. A new
// table is skipped by the dry run exactly when the import makes none, for
// the same reason, and one it passes is made with the names it and the
// preview foresaw.
void ExpectAgreement(const Foresight& foresight, const Outcome& outcome, const DiffCase& c)
{
    int skipped = 0;
    for (std::size_t i = 0; i < foresight.dryRun.files.size(); ++i) {
        const DryRunFile& dry = foresight.dryRun.files[i];
        const Preview& preview = foresight.previews.at(i);
        SCOPED_TRACE(dry.path);
        const auto found = outcome.files.find(dry.path);
        const BoxCheckingHost::FileOutcome done =
            found == outcome.files.end() ? BoxCheckingHost::FileOutcome{} : found->second;
        skipped += dry.skipped;
        EXPECT_EQ(!preview.error.empty(), dry.outcome.starts_with("skipped: cannot be read")) << preview.error;
        if (c.mode == ImportMode::CreateNewTable) {
            const auto made = outcome.columnNames.find(dry.table);
            EXPECT_EQ(dry.skipped, made == outcome.columnNames.end()) << dry.outcome;
            if (made != outcome.columnNames.end() && c.names == ColumnNameSource::FromFirstLine) {
                EXPECT_EQ(made->second, preview.headers);
            }
        }
        if (dry.skipped && !done.fileReports.empty()) {
            std::string said = done.fileReports.front();
            std::replace(said.begin(), said.end(), '\n', ' ');
            EXPECT_EQ(dry.outcome, "skipped: " + said);
        }
        if (dry.skipped) {
            EXPECT_EQ(done.stored + done.rejected, 0);
            EXPECT_FALSE(done.fileReports.empty() && outcome.messages.size() < 2) << "skipped without a word";
            continue;
        }
        EXPECT_EQ(dry.records, done.stored + done.rejected);
        EXPECT_LE(dry.mismatched, done.rejected);
        ASSERT_EQ(preview.records.size(), static_cast<std::size_t>(std::min(dry.records, 100L)));
        long marked = 0;
        for (std::size_t r = 0; r < preview.records.size(); ++r) {
            const auto refused = done.rejectedLines.find(preview.lines[r]);
            marked += preview.marked[r];
            if (preview.marked[r]) {
                EXPECT_NE(refused, done.rejectedLines.end()) << "marked line " << preview.lines[r] << " was stored";
            } else if (refused != done.rejectedLines.end()) {
                EXPECT_FALSE(refused->second.ends_with("It was not sent.")) << "line " << preview.lines[r];
            }
        }
        if (dry.records <= 100) {
            EXPECT_EQ(marked, dry.mismatched);
        }
    }
    EXPECT_EQ(skipped, outcome.filesSkipped);
}

TEST_P(BatchDifferentialTest, SameOutcomeAsLineByLine)
{
    Foresight foresight;
    const Outcome reference = Import(true, ImportSettings().BindAbove, &foresight);
    ExpectAgreement(foresight, reference, std::get<1>(GetParam()));
    const Outcome batched = Import(false);
    EXPECT_EQ(batched.tables, reference.tables);
    EXPECT_EQ(batched.messages, reference.messages);
    EXPECT_EQ(batched.reports, reference.reports);
    EXPECT_EQ(batched.prompts, reference.prompts);
    EXPECT_EQ(batched.tableList, reference.tableList);
    EXPECT_EQ(batched.rowsSent, reference.rowsSent);
    EXPECT_EQ(batched.filesSkipped, reference.filesSkipped);
    EXPECT_EQ(batched.errorReports, reference.errorReports);
    // The statements' way, which a driver without a bulk path takes.
    const Outcome statements = Import(false, ImportSettings().BindAbove, nullptr, false);
    EXPECT_EQ(statements.tables, reference.tables);
    EXPECT_EQ(statements.reports, reference.reports);
    EXPECT_EQ(statements.rowsSent, reference.rowsSent);
    // The corpus means to exercise refusals, not to pass for want of them.
    if (std::get<1>(GetParam()).target == kConstrained) {
        EXPECT_FALSE(reference.reports.empty());
    }
    if (std::any_of(foresight.dryRun.files.begin(), foresight.dryRun.files.end(),
                    [](const DryRunFile& file) { return !file.skipped; })) {
        EXPECT_FALSE(reference.tables.empty());
    }

    // Values bound rather than written into the text (as huge lines go):
    // the same rows and the same lines refused; only the database's words may differ.
    const Outcome bound = Import(false, 0);
    EXPECT_EQ(bound.tables, reference.tables);
    EXPECT_EQ(bound.messages, reference.messages);
    ASSERT_EQ(bound.reports.size(), reference.reports.size());
    for (std::size_t i = 0; i < bound.reports.size(); ++i)
        EXPECT_EQ(bound.reports[i].substr(0, bound.reports[i].find(':')),
                  reference.reports[i].substr(0, reference.reports[i].find(':')))
            << bound.reports[i] << "\nwhere line by line said\n" << reference.reports[i];
    EXPECT_EQ(bound.rowsSent, reference.rowsSent);
}

// Where a key decides what a line does whose row is there, every path comes to what line by line does:
// the rows, the lines refused and the counts. Keys repeat inside batches, across them and against rows
// there before; lines refused for other reasons (NOT NULL, CHECK, a value too long) sit among them, one
// of them followed in its batch by a good line of its key.
class KeyedDifferentialTest : public testing::TestWithParam<std::tuple<test::DataSource, OnDuplicate>> {
protected:
    struct Keyed {
        std::vector<TextRow> rows;
        std::vector<std::string> reports;  // line: description
        long inserted, updated, skipped, sent, rejected;
    };
    class LineHost : public ScriptedHost {
    public:
        void ShowLineReport(const std::string&, int, const std::string& description, const LineContext& context) override
        {
            lines.push_back(std::to_string(context.line) + ": " + description);
        }
        std::vector<std::string> lines;
    };

    void SetUp() override
    {
        if (std::get<0>(GetParam()).dsn.empty())
            GTEST_SKIP() << std::get<0>(GetParam()).label << " data source is not configured";
        ::setenv("TEMP", m_dir.Path().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("TEMP"); }

    static std::string Corpus()
    {
        std::string body;
        for (int i = 0; i < 70; ++i) {
            const int key = i == 11 ? 10 : i % 5 == 4 ? (i - 1) % 13 : i % 13 == 7 ? 40 : i % 13;
            std::string a = "v" + std::to_string(i), b = "w";
            if (i == 10 || i == 52)
                a.clear();  // NOT NULL
            if (i == 23)
                b = "bad";
            if (i == 37)
                a = "far too long a value";
            body += std::to_string(key) + "," + a + "," + b + "\r\n";
        }
        return body;
    }

    Keyed Import(bool rowByRow, bool bulk, std::size_t bindAbove = ImportSettings().BindAbove)
    {
        const test::DataSource& source = std::get<0>(GetParam());
        test::ResetDataSource(source);
        {
            Connection connection;
            connection.Open(source.dsn);
            connection.Execute(R"(CREATE TABLE "Target"("k" INTEGER PRIMARY KEY, "a" VARCHAR(10) NOT NULL,)"
                               R"( "b" VARCHAR(10) CHECK ("b" <> 'bad')))");
            connection.Execute(R"(INSERT INTO "Target" VALUES(1, 'old1', 'x'), (5, 'old5', 'x'), (40, 'old40', 'x'))");
        }
        ImportSettings settings;
        settings.DataSourceName = source.dsn;
        settings.Mode = ImportMode::AppendToExistingTable;
        settings.TargetTable = "Target";
        settings.OnDuplicateKey = std::get<1>(GetParam());
        settings.RowByRow = rowByRow;
        settings.BulkPath = bulk;
        settings.BatchRows = 8;
        settings.BulkRows = 16;
        settings.BindAbove = bindAbove;
        settings.Files = {m_dir.Write("f.csv", Corpus())};
        LineHost host;
        const ImportSummary summary = RunImport(settings, host);
        Connection connection;
        connection.Open(source.dsn);
        return {connection.QueryStrings(R"(SELECT * FROM "Target" ORDER BY 1)"), host.lines, summary.rowsInserted,
                summary.rowsUpdated, summary.rowsSkipped, summary.rowsSent, summary.linesRejected};
    }

    test::TempDir m_dir;
};

TEST_P(KeyedDifferentialTest, SameOutcomeAsLineByLine)
{
    const Keyed reference = Import(true, false);
    const bool update = std::get<1>(GetParam()) == OnDuplicate::Update;
    // The corpus means to exercise both outcomes and refusals.
    EXPECT_GT(reference.inserted, 0);
    EXPECT_GT(update ? reference.updated : reference.skipped, 0);
    EXPECT_EQ(update ? reference.skipped : reference.updated, 0);
    EXPECT_GE(reference.rejected, 3);
    EXPECT_EQ(reference.inserted + reference.updated + reference.skipped, reference.sent);
    EXPECT_EQ(static_cast<long>(reference.rows.size()), 3 + reference.inserted);
    EXPECT_EQ(reference.sent + reference.rejected, 70);
    for (const auto& [name, bulk, bindAbove] : {std::tuple{"bulk", true, ImportSettings().BindAbove},
                                                std::tuple{"statements", false, ImportSettings().BindAbove},
                                                std::tuple{"bound", false, std::size_t(0)}}) {
        SCOPED_TRACE(name);
        const Keyed batched = Import(false, bulk, bindAbove);
        EXPECT_EQ(batched.rows, reference.rows);
        if (bindAbove > 0) {
            EXPECT_EQ(batched.reports, reference.reports);
        } else {
            ASSERT_EQ(batched.reports.size(), reference.reports.size());
            for (std::size_t i = 0; i < batched.reports.size(); ++i)
                EXPECT_EQ(batched.reports[i].substr(0, batched.reports[i].find(':')),
                          reference.reports[i].substr(0, reference.reports[i].find(':')));
        }
        EXPECT_EQ(batched.inserted, reference.inserted);
        EXPECT_EQ(batched.updated, reference.updated);
        EXPECT_EQ(batched.skipped, reference.skipped);
        EXPECT_EQ(batched.sent, reference.sent);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, KeyedDifferentialTest,
                         testing::Combine(testing::ValuesIn(test::AllDataSources()),
                                          testing::Values(OnDuplicate::Skip, OnDuplicate::Update)),
                         [](const auto& param) {
                             return std::get<0>(param.param).label +
                                    (std::get<1>(param.param) == OnDuplicate::Skip ? "_Skip" : "_Update");
                         });

INSTANTIATE_TEST_SUITE_P(Corpus, BatchDifferentialTest,
                         testing::Combine(testing::ValuesIn(test::AllDataSources()), testing::ValuesIn(kCases)),
                         [](const auto& param) {
                             return std::get<0>(param.param).label + "_" + std::get<1>(param.param).name;
                         });

}  // namespace
}  // namespace qb
