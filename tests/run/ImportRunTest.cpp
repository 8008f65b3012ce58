#include "odbc/Database.h"
#include "odbc/TableCatalogue.h"
#include "check/DryRun.h"
#include "load/FileClaim.h"
#include "run/ImportRun.h"
#include "run/RunTexts.h"
#include "base/Sha256.h"
#include "base/UniqueFd.h"
#include "support/DataSources.h"
#include "support/Packed.h"
#include "support/ScriptedHost.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace qb {
namespace {

using test::ScriptedHost;
using test::TempDir;
using Rows = std::vector<TextRow>;

const char* const kProcedure = "in Quillbarrow2021/08/31.Form2.PushButton1_Click ";

std::optional<std::string> T(const char* text)
{
    return std::string(text);
}

class ImportRunTest : public test::DataSourceTest {
protected:
    void SetUp() override
    {
        test::DataSourceTest::SetUp();
        ::setenv("TEMP", m_dir.Path().c_str(), 1);
        m_settings.DataSourceName = Dsn();
    }

    void TearDown() override { ::unsetenv("TEMP"); }

    std::string File(const std::string& name, const std::string& bytes) { return m_dir.Write(name, bytes); }

    ImportSummary Run() { return RunImport(m_settings, m_host); }

    std::string Dsn() const { return GetParam().dsn; }

    Rows Select(const std::string& table, const std::string& orderBy = "1")
    {
        return OpenConnection().QueryStrings("SELECT * FROM \"" + table + "\" ORDER BY " + orderBy);
    }

    void Exec(const std::string& sql) { OpenConnection().Execute(sql); }

    std::vector<int> ReportLines() const
    {
        std::vector<int> lines;
        for (const auto& report : m_host.reports) {
            EXPECT_EQ(report.procedure, kProcedure);
            lines.push_back(report.line);
        }
        return lines;
    }

    TempDir m_dir;
    ScriptedHost m_host;
    ImportSettings m_settings;
};

TEST_P(ImportRunTest, CreatesFromTheFirstLineWhichIsNotARow)
{
    m_settings.Files = {File("a.csv", "id,Full Name,e-mail\r\n1,Ann,a@x\r\n2,O'Brien,\r\n")};
    m_settings.TableList = {"Other"};
    const ImportSummary summary = Run();

    EXPECT_EQ(m_host.messages, std::vector<std::string>{"Done."});
    EXPECT_TRUE(m_host.reports.empty());
    EXPECT_EQ(m_settings.TableList, (std::vector<std::string>{"NewTable1", "Other"}));
    EXPECT_EQ(Select("NewTable1", "\"id\""), (Rows{{T("1"), T("Ann"), T("a@x")}, {T("2"), T("O'Brien"), std::nullopt}}));
    EXPECT_EQ(m_host.busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(summary.rowsSent, 2);
    EXPECT_EQ(summary.filesSkipped, 0);
    // The file is shown as reached before a row of it is stored.
    ASSERT_FALSE(m_host.progressShown.empty());
    EXPECT_EQ(m_host.progressShown.front().file, 1);
    EXPECT_EQ(m_host.progressShown.front().path, m_settings.Files[0]);
    EXPECT_EQ(m_host.progressShown.front().rowsInFile, 0);
    EXPECT_EQ(m_host.progressShown.back().rowsInFile, 2);
}

TEST_P(ImportRunTest, UserSpecifiedColumnsDropTheHeader)
{
    m_settings.ColumnNames = ColumnNameSource::UserSpecified;
    m_settings.TableNamePattern = "People[counter]";
    m_settings.Separator = "\t";
    m_settings.Files = {File("a.txt", "x\ty\r\n1\tone\r2\ttwo")};
    m_host.answers = {"Customer ID", "Name!"};
    Run();

    EXPECT_EQ(m_host.prompts,
              (std::vector<std::string>{"a.txt: Enter name for column #1:", "a.txt: Enter name for column #2:"}));
    EXPECT_EQ(m_host.proposed, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(Select("People1", "\"CustomerID\""), (Rows{{T("1"), T("one")}, {T("2"), T("two")}}));
    EXPECT_EQ(m_host.messages, std::vector<std::string>{"Done."});
}

TEST_P(ImportRunTest, AnEmptyAnswerSkipsTheFile)
{
    m_settings.ColumnNames = ColumnNameSource::UserSpecified;
    m_settings.Files = {File("a.csv", "a,b\r\n1,2\r\n"), File("b.csv", "c\r\n3\r\n")};
    m_host.answers = {"First", "", "Only"};
    const ImportSummary summary = Run();

    EXPECT_EQ(m_host.prompts.size(), 3u);
    EXPECT_TRUE(m_host.reports.empty());
    EXPECT_EQ(m_settings.TableList, std::vector<std::string>{"NewTable2"});
    EXPECT_EQ(Select("NewTable2"), (Rows{{T("3")}}));
    EXPECT_EQ(summary.filesSkipped, 1);
    EXPECT_THROW(OpenConnection().ColumnCount("SELECT * FROM \"NewTable1\""), DatabaseError);
}

TEST_P(ImportRunTest, ATypedNameLongerThanTheDatabaseTakesIsRefused)
{
    m_settings.ColumnNames = ColumnNameSource::UserSpecified;
    m_settings.Files = {File("a.csv", "a\r\n1\r\n")};
    const std::string name(300, 'n');  // longer than any of the three takes; PostgreSQL would cut it
    m_host.answers = {name};
    const ImportSummary summary = Run();

    ASSERT_EQ(m_host.reports.size(), 1u);
    EXPECT_EQ(m_host.reports[0].line, 262);
    EXPECT_TRUE(m_host.reports[0].description.starts_with("The column name " + name.substr(0, 80) +
                                                          "... is 300 bytes long; the database takes at most "))
        << m_host.reports[0].description;
    EXPECT_TRUE(OpenConnection().Tables().empty());
    EXPECT_EQ(summary.filesSkipped, 1);
}

TEST_P(ImportRunTest, AppendsWithAndWithoutHeader)
{
    Exec(R"(CREATE TABLE "Sales"("a" TEXT, "b" TEXT))");
    m_settings.Mode = ImportMode::AppendToExistingTable;
    m_settings.TargetTable = "Sales";
    m_settings.Separator = ";";
    m_settings.Files = {File("1.csv", "h1;h2\r\n1;x\r\n")};
    m_settings.IgnoreFirstLine = true;
    Run();
    m_settings.IgnoreFirstLine = false;
    m_settings.Files = {File("2.csv", "2;y\r\n3;\r\n")};
    Run();

    EXPECT_EQ(Select("Sales"), (Rows{{T("1"), T("x")}, {T("2"), T("y")}, {T("3"), std::nullopt}}));
    EXPECT_EQ(m_host.messages, (std::vector<std::string>{"Done.", "Done."}));
    EXPECT_TRUE(m_host.reports.empty());
}

TEST_P(ImportRunTest, ColumnCountMismatchIsToldAndSkipped)
{
    Exec(R"(CREATE TABLE "Sales"("a" TEXT, "b" TEXT, "c" TEXT))");
    m_settings.Mode = ImportMode::AppendToExistingTable;
    m_settings.TargetTable = "Sales";
    const std::string path = File("wide.csv", "1,2,,4\r\n5,6,7\r\n");
    m_settings.Files = {path};
    const ImportSummary summary = Run();

    EXPECT_EQ(m_host.messages,
              (std::vector<std::string>{"The columns in the text file and the columns in the table must be identical.\r\n\r\n" +
                                            path + " was split by , and has 4 columns. The table Sales has 3 columns.",
                                        "Done."}));
    EXPECT_TRUE(Select("Sales").empty());
    EXPECT_EQ(summary.filesSkipped, 1);
}

TEST_P(ImportRunTest, ListedTablesAreSkippedAndTold)
{
    struct Case {
        const char* pattern;
        std::vector<std::string> listed;
        std::vector<std::string> created;
        const char* final;
    } cases[] = {
        {"Sales", {}, {"Sales"}, "Table(s) already exist."},
        {"T[counter]", {"t1"}, {"T2", "T3"}, "Table(s) already exist."},
        {"U[counter]", {"U3"}, {"U1", "U2"}, "Table(s) already exist."},
        {"V[counter]", {}, {"V1", "V2", "V3"}, "Done."},
    };
    for (const auto& c : cases) {
        ScriptedHost host;
        m_settings.TableNamePattern = c.pattern;
        m_settings.TableList = c.listed;
        m_settings.Files = {File("1.csv", "n\r\n1\r\n"), File("2.csv", "n\r\n2\r\n"), File("3.csv", "n\r\n3\r\n")};
        RunImport(m_settings, host);
        EXPECT_EQ(host.messages, std::vector<std::string>{c.final}) << c.pattern;
        for (const auto& table : c.created)
            EXPECT_EQ(Select(table).size(), 1u) << table;
        EXPECT_TRUE(host.reports.empty()) << c.pattern;
    }
}

TEST_P(ImportRunTest, ChecksStopBeforeAnyConnection)
{
    auto settings = [](std::vector<std::string> files, ImportMode mode, std::vector<std::string> listed) {
        ImportSettings result;
        result.Files = std::move(files);
        result.Mode = mode;
        result.TableNamePattern = "Sales";
        result.TableList = std::move(listed);
        return result;
    };
    struct Case {
        const char* name;
        ImportSettings settings;
        const char* message;
    } cases[] = {
        {"NoFiles", settings({}, ImportMode::CreateNewTable, {"SALES"}), "No files added."},
        {"NoTarget", settings({"x"}, ImportMode::AppendToExistingTable, {}), "Please select a table."},
        {"PatternListed", settings({"x"}, ImportMode::CreateNewTable, {"SALES"}), "Table name already exists."},
    };
    for (auto& c : cases) {
        ScriptedHost host;
        c.settings.DataSourceName = "NoSuchDataSource";
        const ImportSummary summary = RunImport(c.settings, host);
        EXPECT_EQ(host.messages, std::vector<std::string>{c.message}) << c.name;
        EXPECT_TRUE(host.reports.empty()) << c.name;
        EXPECT_TRUE(host.busy.empty()) << c.name;
        EXPECT_EQ(summary.finalMessage, c.message) << c.name;
    }
}

TEST_P(ImportRunTest, ARejectedLineCostsOneReport)
{
    Exec(R"(CREATE TABLE "Two"("a" TEXT, "b" TEXT))");
    m_settings.Mode = ImportMode::AppendToExistingTable;
    m_settings.TargetTable = "Two";
    m_settings.Files = {File("a.csv", "1,2\r\n3,4,5\r\n6,7\r\n")};
    const ImportSummary summary = Run();

    EXPECT_EQ(ReportLines(), std::vector<int>{344});
    EXPECT_FALSE(m_host.reports[0].description.empty());
    EXPECT_EQ(Select("Two"), (Rows{{T("1"), T("2")}, {T("6"), T("7")}}));
    EXPECT_EQ(m_host.messages, std::vector<std::string>{"Done."});
    EXPECT_EQ(summary.errorReports, 1);
}

TEST_P(ImportRunTest, ShortLinesAreRefusedBeforeTheyAreSent)
{
    Exec(R"(CREATE TABLE "Three"("a" TEXT, "b" TEXT, "c" TEXT))");
    struct Case {
        const char* name;
        ImportMode mode;
        int line;
        const char* table;
        Rows rows;  // an append keeps the first line as data
    } cases[] = {
        {"Create", ImportMode::CreateNewTable, 232, "NewTable1", {{T("6"), T("7"), T("8")}}},
        {"Append", ImportMode::AppendToExistingTable, 344, "Three", {{T("6"), T("7"), T("8")}, {T("a"), T("b"), T("c")}}},
    };
    for (const auto& c : cases) {
        ScriptedHost host;
        m_settings.Mode = c.mode;
        m_settings.TargetTable = "Three";
        m_settings.Files = {File("short.csv", "a,b,c\r\n4,5\r\n6,7,8\r\n9")};
        RunImport(m_settings, host);
        ASSERT_EQ(host.reports.size(), 2u) << c.name;
        EXPECT_EQ(host.reports[0].line, c.line) << c.name;
        EXPECT_EQ(host.reports[0].description,
                  "The line has 2 values, but the table " + std::string(c.table) + " has 3 columns. It was not sent.");
        EXPECT_EQ(host.reports[1].description,
                  "The line has 1 values, but the table " + std::string(c.table) + " has 3 columns. It was not sent.");
        EXPECT_EQ(Select(c.table), c.rows) << c.name;
    }
}

// Guessed types make a table that numbers, dates and truth values can be asked of, and take every line.
TEST_P(ImportRunTest, GuessedTypesMakeATableWorthQuerying)
{
    m_settings.GuessTypes = true;
    m_settings.TableNamePattern = "typed_[file]";
    m_settings.Files = {File("sales 2024.csv",
                             "id,amount,big,when,at,flag,code,note\r\n"
                             "10,1.50,3000000000,2024-02-29,2024-01-02 03:04:05,true,007,a\r\n"
                             "9,2.25,-1,2023-12-31,2024-01-02T03:04:05.123456,FALSE,010,\r\n"
                             "100,10.00,,2024-01-01,2024-01-03,True,123,b\r\n")};
    // The dry run foresees the same types.
    const DryRunResult dry = DryRun(m_settings);
    // Places written alike keep them where a type can.
    const char* const amount[] = {"REAL", "NUMERIC(4,2)", "DECIMAL(4,2)"};
    ASSERT_EQ(dry.files.size(), 1u);
    EXPECT_EQ(dry.files[0].columns.at(1), "amount " + std::string(amount[static_cast<int>(GetParam().kind)]));
    EXPECT_NE(DryRunLine(dry.files[0]).find("would be created (id "), std::string::npos) << DryRunLine(dry.files[0]);
    const ImportSummary summary = Run();
    EXPECT_TRUE(m_host.reports.empty());
    EXPECT_EQ(summary.rowsSent, 3);
    EXPECT_EQ(summary.linesRejected, 0);

    struct Expected {
        test::DriverKind kind;
        const char* query;
        std::vector<std::string> types;
    } expected[] = {
        {test::DriverKind::Sqlite, "SELECT lower(type) FROM pragma_table_info('typed_sales2024') ORDER BY cid",
         {"integer", "real", "integer", "text", "text", "text", "text", "text"}},
        {test::DriverKind::Postgres,
         "SELECT data_type FROM information_schema.columns WHERE table_name = 'typed_sales2024' ORDER BY ordinal_position",
         {"integer", "numeric", "bigint", "date", "timestamp without time zone", "boolean", "text", "text"}},
        {test::DriverKind::Mariadb,
         "SELECT LOWER(COLUMN_TYPE) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() AND "
         "TABLE_NAME = 'typed_sales2024' ORDER BY ORDINAL_POSITION",
         {"bigint(20)", "decimal(4,2)", "bigint(20)", "date", "datetime(6)", "text", "text", "text"}},
    };
    for (const Expected& e : expected) {
        if (e.kind != GetParam().kind)
            continue;
        std::vector<std::string> types;
        for (const TextRow& row : OpenConnection().QueryStrings(e.query))
            types.push_back(row.at(0).value_or(""));
        EXPECT_EQ(types, e.types);
    }
    // Numbers add up and sort as numbers, and leading zeros stay.
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT SUM("amount") * 100 FROM "typed_sales2024")").at(0).at(0)
                  .value_or("").substr(0, 4),
              "1375");
    EXPECT_EQ(Select("typed_sales2024", "\"id\"").at(0).at(6), T("010"));
    EXPECT_EQ(Select("typed_sales2024", "\"id\"").back().at(0), T("100"));
}

// Columns edited in the preview: renamed, typed, left out, each by its name, so that a first line that
// changes keeps the edits of the columns it still names and says which it no longer names.
TEST_P(ImportRunTest, EditedColumnsAreWhatTheTableGets)
{
    const std::string path = File("e.csv", "id,Name,secret\r\n1,Ann,x\r\n2,Bo,y\r\n3,Cy\r\n");
    const std::string grown = File("g.csv", "id,Name,secret,added\r\n5,Di,z,new\r\n");
    const std::string stale = File("s.csv", "other,names\r\n1,2\r\n");
    m_settings.Files = {path, grown, stale};
    const ColumnPlan plan{{{"id", {.name = "n", .type = "INTEGER"}},
                           {"Name", {.name = "who"}},
                           {"secret", {.leftOut = true}}}};
    m_settings.ColumnPlans = {{path, plan}, {grown, plan}, {stale, plan}};
    const ImportSummary summary = Run();
    EXPECT_EQ(summary.rowsSent, 4);
    // The short line is held against the file's three columns, not the table's two.
    ASSERT_EQ(m_host.reports.size(), 2u);
    EXPECT_NE(m_host.reports[0].description.find("has 3 columns"), std::string::npos);
    EXPECT_EQ(Select("NewTable1", "\"n\""), (Rows{{T("1"), T("Ann")}, {T("2"), T("Bo")}}));
    EXPECT_EQ(OpenConnection().ColumnCount(R"(SELECT * FROM "NewTable1")"), 2);
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT SUM("n") FROM "NewTable1")").at(0).at(0), T("3"));
    EXPECT_EQ(Select("NewTable2", "\"n\""), (Rows{{T("5"), T("Di"), T("new")}}));
    EXPECT_EQ(Select("NewTable3", "\"other\""), (Rows{{T("1"), T("2")}}));
    EXPECT_EQ(m_host.reports[1].description,
              "The first line of " + stale + " no longer names the columns \"Name\", \"id\" and \"secret\" "
              "edited in the preview, so those edits do nothing.");
    // Every column left out: refused before anything is made.
    m_settings.ColumnPlans[path].edits["id"].leftOut = m_settings.ColumnPlans[path].edits["Name"].leftOut = true;
    m_settings.Files = {path};
    m_settings.TableNamePattern = "Again";
    m_host.reports.clear();
    Run();
    ASSERT_EQ(m_host.reports.size(), 1u);
    EXPECT_NE(m_host.reports[0].description.find("is left out"), std::string::npos);
}

// A type chosen in the preview holds for every value: Check finds the lines the database would refuse,
// anywhere in the file; the types left alone are guessed from the whole file, so they take every value.
TEST_P(ImportRunTest, ChosenTypesAreCheckedAgainstEveryValue)
{
    m_settings.GuessTypes = true;
    m_settings.Files = {File("t.csv", "id,amount,count\r\n1,5,7\r\n2,6,8\r\n3,n/a,9\r\n")};
    const std::string whole = IsSqlite() ? "INTEGER" : "BIGINT";
    m_settings.ColumnPlans[m_settings.Files[0]] = {{{"id", {.name = "n"}}, {"count", {.type = whole}}}};
    DryRunResult dry = DryRun(m_settings);
    ASSERT_EQ(dry.files.size(), 1u);
    EXPECT_EQ(dry.files[0].mismatched, 0);
    EXPECT_EQ(dry.files[0].columns.at(1), "amount TEXT");
    EXPECT_EQ(Run().linesRejected, 0);
    EXPECT_EQ(Select("NewTable1", "\"n\"").size(), 3u);

    // Chosen for the column that holds n/a, for every file of these names: the run sends it, and all
    // but SQLite refuse it.
    m_settings.TableNamePattern = "Chosen";
    m_settings.ColumnPlans.clear();
    m_settings.ColumnPlansByNames[{"id", "amount", "count"}] = {{{"amount", {.type = whole}}}};
    dry = DryRun(m_settings);
    const long refused = IsSqlite() ? 0 : 1;
    ASSERT_EQ(dry.files.size(), 1u);
    EXPECT_EQ(dry.files[0].mismatched, refused);
    if (refused) {
        EXPECT_EQ(dry.files[0].problems.at(0).reason, "\"n/a\" does not fit " + whole + ", the type chosen for amount");
    }
    m_host.reports.clear();
    EXPECT_EQ(Run().linesRejected, refused);
}

// Compressed and archived copies of a file make the same table as the file; a damaged one costs one report.
TEST_P(ImportRunTest, PackedFilesMakeTheSameTables)
{
    std::string text = "id,name,note\r\n";
    for (int i = 1; i <= 3000; ++i)
        text += std::to_string(i) + ",caf\xC3\xA9 " + std::to_string(i) + ",'q' \\ \"x\"\r\n";
    const std::string gz = test::Compress(text, ARCHIVE_FILTER_GZIP);
    const std::string zip = File("a.zip", test::Pack({{"in/plain.csv", text}}, ARCHIVE_FORMAT_ZIP));
    m_settings.Files = {File("plain.csv", text), File("plain.csv.gz", gz), File("p.txt", test::Compress(text, ARCHIVE_FILTER_ZSTD)),
                        zip + "!/in/plain.csv", File("cut.gz", gz.substr(0, gz.size() / 2)), File("last.csv", "n\r\n1\r\n")};
    m_settings.TableNamePattern = "T[counter]";
    const ImportSummary summary = Run();
    ASSERT_EQ(m_host.reports.size(), 1u);
    EXPECT_NE(m_host.reports[0].description.find("cut.gz"), std::string::npos) << m_host.reports[0].description;
    EXPECT_NE(m_host.reports[0].description.find("at byte"), std::string::npos) << m_host.reports[0].description;
    EXPECT_EQ(summary.filesSkipped, 1);
    const Rows plain = Select("T1");
    ASSERT_EQ(plain.size(), 3000u);
    for (const char* table : {"T2", "T3", "T4"})
        EXPECT_EQ(Select(table), plain) << table;
    EXPECT_EQ(Select("T6"), (Rows{{T("1")}}));
}

// Ends every other session of the server once the run has sent some rows.
class CuttingHost : public ScriptedHost {
public:
    CuttingHost(test::DataSource source, long after) : m_source(std::move(source)), m_after(after) {}
    void ReportProgress(const ImportProgress& progress) override
    {
        if (progress.rows < m_after || m_done)
            return;
        m_done = true;
        Connection killer;
        killer.Open(m_source.dsn);
        if (m_source.kind == test::DriverKind::Postgres) {
            killer.QueryStrings("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                "WHERE pid <> pg_backend_pid() AND datname = current_database()");
            return;
        }
        for (const auto& row : killer.QueryStrings("SELECT ID FROM information_schema.PROCESSLIST "
                                                   "WHERE ID <> CONNECTION_ID() AND DB = DATABASE()"))
            killer.Execute("KILL CONNECTION " + row.at(0).value_or("0"));
    }

private:
    test::DataSource m_source;
    long m_after;
    bool m_done = false;
};

// Lines refused before sending are reported whether the batch they came in
// was lost or not; lines after the batch in flight are never reached.
TEST_P(ImportRunTest, ALostConnectionEndsTheFileWithOneReport)
{
    if (GetParam().kind == test::DriverKind::Sqlite)
        GTEST_SKIP() << "an embedded database has no connection to lose";
    struct Case {
        bool rowByRow;
        int lines;
        long cutAfter;
        std::size_t stored;
        std::vector<int> shortLines;  // data lines with one value of two
        std::size_t refused;
    } cases[] = {{true, 50, 3, 3, {}, 0}, {false, 2500, 1, 1000, {}, 0}, {true, 50, 3, 3, {4, 5, 30}, 2},
                 {false, 2500, 1, 1000, {1001, 1003, 1500, 2100}, 3}};
    for (const auto& c : cases) {
        test::ResetDataSource(GetParam());
        std::string body = "n,m\r\n";
        for (int i = 1; i < c.lines; ++i)
            body += std::to_string(i) +
                    (std::find(c.shortLines.begin(), c.shortLines.end(), i) == c.shortLines.end() ? ",x" : "") + "\r\n";
        m_settings.RowByRow = c.rowByRow;
        m_settings.BulkRows = m_settings.BatchRows;  // the loss falls between two batches of the file
        m_settings.TableList.clear();
        m_settings.Files = {File("a.csv", body), File("b.csv", "m\r\n1\r\n")};
        CuttingHost host(GetParam(), c.cutAfter);
        const ImportSummary summary = RunImport(m_settings, host);

        const std::size_t refused = c.refused;
        ASSERT_EQ(host.reports.size(), refused + 1) << c.rowByRow;
        const auto lost = std::find_if(host.reports.begin(), host.reports.end(), [](const auto& report) {
            return report.description.find("may or may not be stored") != std::string::npos;
        });
        ASSERT_NE(lost, host.reports.end());
        EXPECT_EQ(lost->line, 232);
        for (const auto& report : host.reports) {
            if (&report != &*lost) {
                EXPECT_NE(report.description.find("values, but the table"), std::string::npos);
            }
        }
        EXPECT_EQ(Select("NewTable1").size(), c.stored);
        EXPECT_EQ(Select("NewTable2"), (Rows{{T("1")}}));
        EXPECT_EQ(summary.errorReports, static_cast<int>(refused) + 1);
        EXPECT_EQ(summary.linesRejected, static_cast<long>(refused));
        EXPECT_EQ(summary.filesCut, 1);
        EXPECT_FALSE(Succeeded(summary));
        EXPECT_NE(OutcomeText(summary).find("\r\n1 file cut short: the connection was lost"), std::string::npos);
    }
}

// One connection serves the whole run; a connection killed midway costs at
// most the file in flight, and a new one takes the files after it.
TEST_P(ImportRunTest, OneConnectionServesEveryFile)
{
    if (GetParam().kind == test::DriverKind::Sqlite)
        GTEST_SKIP() << "an embedded database has no sessions to count or kill";
    for (int i = 1; i <= 300; ++i)
        m_settings.Files.push_back(File("f" + std::to_string(i) + ".csv", "n\r\n" + std::to_string(i) + "\r\n"));
    // MariaDB counts every connection made to it at once.
    if (GetParam().kind == test::DriverKind::Mariadb) {
        const auto connections = [&] {
            const auto rows = OpenConnection().QueryStrings(
                "SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS WHERE VARIABLE_NAME = 'CONNECTIONS'");
            return std::stol(rows.at(0).at(0).value_or("0"));
        };
        const long before = connections();
        Run();
        // The run's own connection and the one that counts.
        EXPECT_EQ(connections() - before, 2);
        EXPECT_EQ(UserTableNames(OpenConnection().Tables()).size(), 300u);
        test::ResetDataSource(GetParam());
        m_settings.TableList.clear();
    }
    CuttingHost host(GetParam(), 100);
    const ImportSummary summary = RunImport(m_settings, host);
    EXPECT_LE(host.reports.size(), 1u);
    EXPECT_EQ(UserTableNames(OpenConnection().Tables()).size(), 300u - host.reports.size());
    EXPECT_EQ(Select("NewTable300"), (Rows{{T("300")}}));
    EXPECT_EQ(summary.filesSkipped, static_cast<int>(host.reports.size()));
}

// Truncates a file at the first line the run reads.
class TruncatingHost : public ScriptedHost {
public:
    explicit TruncatingHost(std::string path) : m_path(std::move(path)) {}
    void Yield() override
    {
        if (!m_path.empty())
            std::filesystem::resize_file(std::exchange(m_path, {}), 10);
    }

private:
    std::string m_path;
};

// Remembering, the lines imported are those of the bytes the file is known by, however the file changes
// while it is read; and a file another run is importing into the same table is left to it.
TEST_P(ImportRunTest, RememberingImportsTheBytesItKnowsAndOneRunAFile)
{
    std::string text = "n\r\n";
    for (int i = 1; i <= 20000; ++i)
        text += std::to_string(i) + "\r\n";
    const std::string path = File("g.csv", text);
    m_settings.Resume = true;
    m_settings.Files = {path};
    m_settings.TableNamePattern = "G";
    TruncatingHost cutting(path);
    EXPECT_EQ(RunImport(m_settings, cutting).filesDone, 1);
    EXPECT_EQ(OpenConnection().QueryStrings(R"(SELECT COUNT(*) FROM "G")"), (Rows{{T("20000")}}));

    Connection other = OpenConnection();
    const std::string again = File("h.csv", "n\r\n1\r\n");
    UniqueFd fd(::open(again.c_str(), O_RDONLY));
    const std::optional<FileClaim> held = FileClaim::Take(other, ContentDigest(fd.Get()), "H");
    ASSERT_TRUE(held);
    m_settings.Files = {again};
    m_settings.TableNamePattern = "H";
    m_settings.BusySeconds = 0.3;  // waited for as long as a busy database
    const ImportSummary summary = Run();
    ASSERT_EQ(m_host.reports.size(), 1u);
    EXPECT_NE(m_host.reports[0].description.find("Another run is importing"), std::string::npos);
    EXPECT_EQ(summary.filesSkipped, 1);
    EXPECT_FALSE(TableListed(UserTableNames(OpenConnection().Tables()), "H"));
}

TEST_P(ImportRunTest, ATableWithoutTransactionsGoesLineByLine)
{
    if (!IsMariadb())
        GTEST_SKIP() << "only MySQL's engines differ per table";
    // MyISAM keeps the rows a refused statement wrote before it was refused.
    Exec(R"(CREATE TABLE "Plain"("a" TEXT CHECK ("a" <> 'bad')) ENGINE=MyISAM)");
    m_settings.Mode = ImportMode::AppendToExistingTable;
    m_settings.TargetTable = "Plain";
    m_settings.Files = {File("p.csv", "1\r\n2\r\nbad\r\n3\r\n")};
    Run();
    EXPECT_EQ(ReportLines(), std::vector<int>{344});
    EXPECT_EQ(Select("Plain"), (Rows{{T("1")}, {T("2")}, {T("3")}}));
}

TEST_P(ImportRunTest, AnUnopenableDataSourceSkipsEachFileOnce)
{
    m_settings.DataSourceName = "NoSuchDataSource";
    m_settings.Files = {File("a.csv", "a\r\n1\r\n"), File("b.csv", "b\r\n2\r\n")};
    const ImportSummary summary = Run();

    EXPECT_EQ(ReportLines(), (std::vector<int>{120, 120}));
    EXPECT_EQ(m_host.messages, std::vector<std::string>{"Done."});
    EXPECT_EQ(m_host.busy, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(summary.filesSkipped, 2);
    EXPECT_TRUE(m_settings.TableList.empty());
}

TEST_P(ImportRunTest, AFileThatCannotBeCopiedIsReportedOnceAndSkipped)
{
    m_settings.Files = {File("a.csv", "a\r\nfirst\r\n"), m_dir.Path("missing.csv"), m_dir.Path(),
                        File("d.csv", "d\r\nlast\r\n")};
    const ImportSummary summary = Run();

    EXPECT_EQ(ReportLines(), (std::vector<int>{126, 126}));
    EXPECT_EQ(Select("NewTable1", "\"a\""), (Rows{{T("first")}}));
    EXPECT_EQ(Select("NewTable4", "\"d\""), (Rows{{T("last")}}));
    EXPECT_EQ(m_settings.TableList, (std::vector<std::string>{"NewTable4", "NewTable1"}));
    EXPECT_EQ(m_host.created, (std::vector<std::string>{"NewTable1", "NewTable4"}));
    EXPECT_EQ(summary.filesSkipped, 2);

    // A missing TEMP folder refuses the run once, before anything is sent.
    ::setenv("TEMP", m_dir.Path("no-such-folder").c_str(), 1);
    m_host.reports.clear();
    m_host.messages.clear();
    m_settings.Files = {File("e.csv", "e\r\n1\r\n")};
    EXPECT_EQ(Run().finalMessage, "Cannot make a folder for the run's working copy in " + m_dir.Path("no-such-folder") +
                                      ": No such file or directory");
    EXPECT_EQ(m_host.messages.size(), 1u);
    EXPECT_TRUE(m_host.reports.empty());
}

TEST_P(ImportRunTest, ValuesRoundTripUnchanged)
{
    const std::string values[] = {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "O'Brien''s", "C:\\path\\n",
                                  "say \"hi\"", "tab\there", "semi;colon", "%_*?", "line\nfeed"};
    std::string file = "v|k\r\n";
    for (std::size_t i = 0; i < std::size(values); ++i)
        file += values[i] + "|" + std::to_string(i) + "\r\n";
    m_settings.Separator = "|";
    m_settings.Files = {File("v.txt", file)};
    // Written into the statement, and bound to it as huge lines are.
    for (const std::size_t bindAbove : {m_settings.BindAbove, std::size_t(0)}) {
        test::ResetDataSource(GetParam());
        m_settings.BindAbove = bindAbove;
        m_settings.TableList.clear();
        Run();

        const Rows rows = Select("NewTable1", "\"k\"");
        ASSERT_EQ(rows.size(), std::size(values));
        for (std::size_t i = 0; i < std::size(values); ++i)
            EXPECT_EQ(rows[i][0], values[i]) << i << " bound above " << bindAbove;
        EXPECT_TRUE(m_host.reports.empty());
    }
}

TEST_P(ImportRunTest, EmptyFieldsAreNullAndEmptyLinesSendNothing)
{
    m_settings.Files = {File("e.csv", "k,a,b,c\r\n1,,2,\r\n\r\n2,,,\r\n")};
    Run();
    EXPECT_TRUE(m_host.reports.empty());
    EXPECT_EQ(Select("NewTable1", "\"k\""), (Rows{{T("1"), std::nullopt, T("2"), std::nullopt},
                                                 {T("2"), std::nullopt, std::nullopt, std::nullopt}}));
}

// A data frame's unnamed index and a trailing separator: every field of the first line is a column.
TEST_P(ImportRunTest, EmptyHeaderFieldsAreColumnsToo)
{
    m_settings.GuessTypes = true;
    m_settings.Files = {File("frame.csv", ",name,qty,\r\n0,a,1,\r\n1,b,2,\r\n")};
    const DryRunResult dry = DryRun(m_settings);
    ASSERT_EQ(dry.files.size(), 1u);
    EXPECT_EQ(dry.files[0].mismatched, 0);
    ASSERT_EQ(dry.files[0].columns.size(), 4u);
    EXPECT_EQ(dry.files[0].columns[3], "Column4 TEXT");
    EXPECT_NE(dry.files[0].columns[0], "Column1 TEXT");  // learnt from the rows, as a number
    const ImportSummary summary = Run();
    EXPECT_TRUE(m_host.reports.empty());
    EXPECT_EQ(summary.linesRejected, 0);
    EXPECT_EQ(Select("NewTable1", "\"Column1\""),
              (Rows{{T("0"), T("a"), T("1"), std::nullopt}, {T("1"), T("b"), T("2"), std::nullopt}}));
}

TEST_P(ImportRunTest, AFailedCreateSendsNoRows)
{
    Exec(R"(CREATE TABLE "Hidden"("z" TEXT))");
    m_settings.TableNamePattern = "Hidden";
    m_settings.Files = {File("a.csv", "z\r\n1\r\n")};
    Run();
    EXPECT_EQ(ReportLines(), std::vector<int>{200});
    EXPECT_TRUE(Select("Hidden").empty());
    EXPECT_TRUE(m_settings.TableList.empty());
}

TEST_P(ImportRunTest, EmptyPatternReadsButSendsNothing)
{
    m_settings.TableNamePattern = "";
    m_settings.Files = {File("a.csv", "a\r\n1\r\n")};
    EXPECT_EQ(Run().filesSkipped, 1);
    EXPECT_EQ(m_host.messages, std::vector<std::string>{"Done."});
    // The working copy goes with the run, and its folder: it holds the file's data.
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("run-")) << entry.path();
    EXPECT_TRUE(m_host.reports.empty());
    EXPECT_TRUE(UserTableNames(OpenConnection().Tables()).empty());
}

// A lock held by another program is waited out, never blamed on the lines;
// one held for longer than the wait ends the file with one report. The
// impatient data sources give up on a lock at once.
TEST_P(ImportRunTest, ABusyDatabaseIsWaitedFor)
{
    const test::DriverKind kind = GetParam().kind;
    const std::string impatient = test::EnvironmentValue(kind == test::DriverKind::Sqlite     ? "QB_TEST_SQLITE_IMPATIENT_DSN"
                                                         : kind == test::DriverKind::Postgres ? "QB_TEST_PG_IMPATIENT_DSN"
                                                                                              : "QB_TEST_MARIADB_IMPATIENT_DSN");
    ASSERT_FALSE(impatient.empty());
    Exec(R"(CREATE TABLE "T"("a" VARCHAR(20) UNIQUE, "b" TEXT))");
    m_settings.DataSourceName = impatient;
    m_settings.Mode = ImportMode::AppendToExistingTable;
    m_settings.TargetTable = "T";
    m_settings.Files = {File("a.csv", "1,x\r\n2,y\r\n3,z\r\n")};
    // The first line alone as a statement, the others by the bulk path.
    m_settings.BatchRows = 1;
    for (const bool released : {true, false}) {
        Exec(R"(DELETE FROM "T")");
        // Another session holds the last line's key, uncommitted.
        Connection holder;
        holder.Open(Dsn());
        holder.Execute(kind == test::DriverKind::Mariadb ? "START TRANSACTION" : "BEGIN");
        holder.Execute(R"(INSERT INTO "T" VALUES('3', 'held'))");
        std::thread release([&] {
            if (released) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                holder.Execute("ROLLBACK");
            }
        });
        m_settings.BusySeconds = released ? 60 : 2;
        m_host.reports.clear();
        const ImportSummary summary = Run();
        release.join();
        if (!released)
            holder.Execute("ROLLBACK");
        EXPECT_EQ(summary.linesRejected, 0) << released;
        // SQLite's lock holds the whole database, the others' the key alone.
        const long before = kind == test::DriverKind::Sqlite ? 0 : 1;
        EXPECT_EQ(summary.rowsSent, released ? 3 : before) << released;
        ASSERT_EQ(m_host.reports.size(), released ? 0u : 1u);
        if (!released) {
            EXPECT_NE(m_host.reports[0].description.find("stayed busy"), std::string::npos)
                << m_host.reports[0].description;
        }
        EXPECT_EQ(static_cast<long>(Select("T").size()), released ? 3 : before);
    }
}

// A lock held when a file starts is waited for at each of its statements (the column count, the CREATE, the bulk
// path's choice), as it is for its lines; the impatient data source gives up on a lock at once.
TEST_P(ImportRunTest, ABusyDatabaseIsWaitedForFromTheStart)
{
    if (GetParam().kind != test::DriverKind::Sqlite)
        GTEST_SKIP() << "SQLite's lock shuts out every statement";
    Exec(R"(CREATE TABLE "T"("a" TEXT))");
    m_settings.DataSourceName = test::EnvironmentValue("QB_TEST_SQLITE_IMPATIENT_DSN");
    m_settings.LogFolder = m_dir.Path();
    m_settings.TargetTable = "T";
    // Without the bulk path the column count or the CREATE meets the lock first; with it, the bulk path's choice.
    const struct {
        ImportMode mode;
        bool bulkPath;
    } cases[] = {{ImportMode::AppendToExistingTable, false}, {ImportMode::CreateNewTable, false},
                 {ImportMode::AppendToExistingTable, true}};
    for (const auto& [mode, bulkPath] : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(mode) << bulkPath);
        m_settings.Mode = mode;
        m_settings.BulkPath = bulkPath;
        m_settings.Files = {File("a.csv", mode == ImportMode::CreateNewTable ? "a\r\n1\r\n2\r\n" : "1\r\n2\r\n")};
        // Another program holds the whole database, readers shut out too, for a moment.
        auto holder = std::make_unique<Connection>();
        holder->Open(Dsn());
        holder->Execute("PRAGMA locking_mode = EXCLUSIVE");
        holder->Execute("BEGIN EXCLUSIVE");
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            holder.reset();
        });
        m_host.reports.clear();
        const ImportSummary summary = Run();
        release.join();
        EXPECT_TRUE(m_host.reports.empty()) << m_host.reports.front().description;
        EXPECT_EQ(summary.rowsSent, 2);
        if (bulkPath) {
            const std::string log = test::ReadAll(summary.logPath);
            EXPECT_NE(log.find("Batches go through SQLite's own library."), std::string::npos) << log;
        }
    }
}

// Records that all begin on odd lines: a stop must still be heard while they are read.
TEST_P(ImportRunTest, AStopIsHeardWhileTheFileIsRead)
{
    struct StoppingHost : ScriptedHost {
        long yieldsAtFirstAsk = -1;
        bool StopRequested() override
        {
            if (yieldsAtFirstAsk < 0)
                yieldsAtFirstAsk = yields;
            return true;
        }
    } host;
    std::string body = "\"h\r\nx\"\r\n";
    for (int i = 0; i < 3000; ++i)
        body += "\"a\r\nb\"\r\n";
    m_settings.Quoted = true;
    m_settings.Files = {File("q.csv", body)};
    const ImportSummary summary = RunImport(m_settings, host);
    EXPECT_TRUE(summary.stopped);
    EXPECT_LE(host.yieldsAtFirstAsk, 1);
    EXPECT_EQ(summary.rowsSent, 0);
}

// A host that tries to start a second run while the first one yields.
class ReenteringHost : public ScriptedHost {
public:
    ImportSettings* settings = nullptr;
    std::vector<bool> secondStarted;
    void Yield() override
    {
        ScriptedHost::Yield();
        if (secondStarted.empty())
            secondStarted.push_back(RunImport(*settings, *this).started);
    }
};

TEST_P(ImportRunTest, ASecondRunDoesNothingWhileOneIsUnderWay)
{
    ReenteringHost host;
    host.settings = &m_settings;
    m_settings.Files = {File("a.csv", "a\r\n1\r\n")};
    EXPECT_TRUE(RunImport(m_settings, host).started);
    EXPECT_EQ(host.secondStarted, std::vector<bool>{false});
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
    EXPECT_EQ(Select("NewTable1").size(), 1u);
    EXPECT_TRUE(RunImport(m_settings, host).started);
}

// A file stopped midway goes on where it stopped; the log and the status line say so, and its rows count
// those stored before.
TEST_P(ImportRunTest, AContinuedFileSaysWhereItWentOn)
{
    struct StopAtFirstRows : ScriptedHost {
        bool StopRequested() override { return !progressShown.empty() && progressShown.back().rows > 0; }
    } stopping;
    std::string text = "n\r\n";
    for (int i = 1; i <= 3000; ++i)
        text += std::to_string(i) + "\r\n";
    m_settings.Resume = true;
    m_settings.Files = {File("c.csv", text)};
    m_settings.TableNamePattern = "C";
    m_settings.LogFolder = m_dir.Path();
    ASSERT_TRUE(RunImport(m_settings, stopping).stopped);
    const long before = stopping.progressShown.back().rows;
    ASSERT_GT(before, 0);
    ASSERT_LT(before, 3000);
    const ImportSummary summary = Run();
    EXPECT_EQ(summary.filesContinued, 1);
    const ImportProgress& last = m_host.progressShown.back();
    EXPECT_EQ(last.rowsInFile, 3000);
    const std::string after = "continued after line " + GroupedNumber(before + 1);
    EXPECT_NE(StatusText(last).find("(" + after + ")"), std::string::npos) << StatusText(last);
    std::ifstream log(summary.logPath);
    const std::string logged((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(logged.find("C" + after.substr(1) + "."), std::string::npos) << logged;
}

// With several jobs, a report the host shows holds every job until it is answered, as one job would wait;
// the progress adds up the jobs.
TEST_P(ImportRunTest, AReportShownHoldsTheOtherJobs)
{
    struct CountingHost : ScriptedHost {
        std::function<long()> rows;
        std::vector<long> seen;  // the other file's rows as the report came up, and once it was answered
        void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override
        {
            ScriptedHost::ShowErrorReport(procedure, line, description);
            if (!seen.empty())
                return;
            seen.push_back(rows());
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            seen.push_back(rows());
        }
    } host;
    Connection watcher = OpenConnection();
    host.rows = [&] {
        try {
            return std::stol(watcher.QueryStrings(R"(SELECT COUNT(*) FROM "NewTable2")").at(0).at(0).value_or("0"));
        } catch (const DatabaseError&) {
            return -1L;  // not made yet
        }
    };
    std::string big = "n,v\r\n";
    for (int i = 1; i <= 200000; ++i)
        big += std::to_string(i) + ",x\r\n";
    m_settings.Jobs = 2;
    m_settings.Files = {File("a.csv", "n,v\r\n1,2,3\r\n"), File("b.csv", big), File("c.csv", "n\r\n1\r\n")};
    const ImportSummary summary = RunImport(m_settings, host);
    ASSERT_EQ(host.seen.size(), 2u);
    EXPECT_EQ(host.seen[0], host.seen[1]);
    EXPECT_EQ(summary.rowsSent, 200001);
    // The progress shown counts every job's rows and bytes, and ends with the whole run's.
    ASSERT_FALSE(host.progressShown.empty());
    const ImportProgress& last = host.progressShown.back();
    EXPECT_EQ(last.rows, 200001);
    EXPECT_EQ(last.file, 3);
    EXPECT_EQ(last.bytesDone, last.bytesTotal);
    EXPECT_EQ(last.workLeft, 0u);
}

INSTANTIATE_TEST_SUITE_P(Drivers, ImportRunTest, testing::ValuesIn(test::AllDataSources()), test::DataSourceLabel());

}  // namespace
}  // namespace qb
