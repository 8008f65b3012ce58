#include "odbc/Database.h"
#include "support/DataSources.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Several files at once give what one at a time gives, whatever ends first.
namespace qb {
namespace {

using test::ReadAll;

std::string Quote(const std::string& text)
{
    return "'" + std::regex_replace(text, std::regex("'"), "'\\''") + "'";
}

class JobsCommandTest : public test::DataSourceTest {
protected:
    // The import's command line, its output to NAME.out and NAME.err, its log under NAME.state.
    std::string Line(const std::string& name, const std::vector<std::string>& arguments) const
    {
        std::string line = "TEMP=" + Quote(m_dir.Path()) + " XDG_STATE_HOME=" + Quote(m_dir.Path(name + ".state")) +
                           " exec " + Quote(QB_IMPORT_EXE);
        for (const std::string& argument : arguments)
            line += " " + Quote(argument);
        return line + " >" + Quote(m_dir.Path(name + ".out")) + " 2>" + Quote(m_dir.Path(name + ".err"));
    }
    int Run(const std::string& name, const std::vector<std::string>& arguments) const
    {
        const int status = std::system(Line(name, arguments).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Log(const std::string& name) const
    {
        std::string log;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path(name + ".state/quillbarrow")))
            log += ReadAll(entry.path());
        return log;
    }
    std::vector<std::string> Rows(const std::string& table) const
    {
        std::vector<std::string> rows;
        for (const TextRow& row : OpenConnection().QueryStrings("SELECT * FROM \"" + table + "\""))
            rows.push_back(row.at(0).value_or("") + "|" + row.at(1).value_or("") + "|" + row.at(2).value_or(""));
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    std::string Dsn() const { return GetParam().dsn; }

    test::TempDir m_dir;
};

TEST_P(JobsCommandTest, FourJobsGiveWhatOneGives)
{
    // Forty files of mixed sizes, some with lines the database refuses, one missing.
    std::vector<std::string> files;
    for (int f = 1; f <= 40; ++f) {
        const int lines[] = {1, 20, 600, 6000, 15000};
        std::string text = "id,name,qty\r\n";
        for (int i = 1; i <= lines[f % 5]; ++i)
            text += i % 700 == 7 ? std::to_string(i) + ",one,field,too many\r\n"
                                 : std::to_string(i) + ",file " + std::to_string(f) + "," + std::to_string(i * 3) + "\r\n";
        // Refused long lines enough that the file's part of the log outgrows memory.
        if (f == 5)
            for (int i = 1; i <= 1200; ++i)
                text += std::to_string(i) + "," + std::string(1100, 'x') + ",b,c\r\n";
        files.push_back(f == 23 ? m_dir.Path("missing.csv") : m_dir.Write("f" + std::to_string(f) + ".csv", text));
    }
    const std::regex seconds("(,| in) [0-9.]+ s");
    OpenConnection().Execute(R"(CREATE TABLE "OneT"("id" VARCHAR(10), "name" VARCHAR(20), "qty" VARCHAR(10)))");
    OpenConnection().Execute(R"(CREATE TABLE "FourT"("id" VARCHAR(10), "name" VARCHAR(20), "qty" VARCHAR(10)))");
    for (const bool append : {false, true}) {
        std::map<int, std::string> seen;  // by jobs: what the run said and wrote, its tables' names made one
        for (const int jobs : {1, 4}) {
            const std::string name = (append ? "append" : "create") + std::to_string(jobs);
            const std::string tables = jobs == 1 ? "One" : "Four";
            std::vector<std::string> arguments = {"--dsn", Dsn(), "-v", "--jobs", std::to_string(jobs), "--rejects",
                                                  m_dir.Path(name + ".rejects"), "--rejects-reasons",
                                                  m_dir.Path(name + ".why")};
            if (append)
                arguments.insert(arguments.end(), {"--append", tables + "T", "--skip-header"});
            else
                arguments.insert(arguments.end(), {"--table-name", tables + "[counter]"});
            arguments.insert(arguments.end(), files.begin(), files.end());
            const int status = Run(name, arguments);
            EXPECT_EQ(status, 1) << name;  // lines refused, a file missing
            std::string said = std::to_string(status) + "\n" + ReadAll(m_dir.Path(name + ".out")) +
                               ReadAll(m_dir.Path(name + ".err")) + ReadAll(m_dir.Path(name + ".rejects")) +
                               ReadAll(m_dir.Path(name + ".why")) + Log(name);
            said = std::regex_replace(said, seconds, "");
            said = std::regex_replace(said, std::regex(tables + "|log: [^\n]*"), "Table");
            if (jobs > 1 && IsSqlite() == false) {
                EXPECT_EQ(said.find("One file at a time"), std::string::npos);
            }
            seen[jobs] = said;
        }
        EXPECT_EQ(seen[1], seen[4]) << (append ? "appending" : "creating");
        EXPECT_NE(seen[1].find("f4.csv:708:"), std::string::npos) << seen[1].substr(0, 2000);
        if (append) {
            EXPECT_EQ(Rows("OneT"), Rows("FourT"));
        } else {
            for (int f = 1; f <= 40; ++f) {
                if (f != 23) {
                    EXPECT_EQ(Rows("One" + std::to_string(f)), Rows("Four" + std::to_string(f))) << f;
                }
            }
        }
    }
}

// Stopped, then killed, while four jobs run with --resume: the run to the end stores every line once.
TEST_P(JobsCommandTest, StoppedOrKilledEveryLineIsStoredOnce)
{
    std::vector<std::string> arguments = {"--dsn", Dsn(), "--append", "Big", "--resume", "--jobs", "4"};
    std::vector<std::string> expected;
    for (int f = 1; f <= 6; ++f) {
        std::string text;
        for (int i = 1; i <= 40000; ++i) {
            expected.push_back(std::to_string(f) + "|" + std::to_string(i) + "|x");
            text += std::to_string(f) + "," + std::to_string(i) + ",x\r\n";
        }
        arguments.push_back(m_dir.Write("f" + std::to_string(f) + ".csv", text));
    }
    OpenConnection().Execute(R"(CREATE TABLE "Big"("f" VARCHAR(10), "n" VARCHAR(10), "x" VARCHAR(10)))");
    Connection watcher = OpenConnection();
    const auto count = [&] { return std::stol(watcher.QueryStrings(R"(SELECT COUNT(*) FROM "Big")").at(0).at(0).value_or("0")); };
    std::vector<int> ended;
    for (const int signal : {SIGINT, SIGKILL}) {
        const long before = count();
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c", Line("stopped", arguments).c_str(), nullptr);
            ::_exit(127);
        }
        int status = 0;
        bool done = false;
        while (!(done = ::waitpid(child, &status, WNOHANG) == child) && count() < before + (signal == SIGINT ? 20000 : 1))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (!done) {
            ::kill(child, signal);
            ::waitpid(child, &status, 0);
        }
        ended.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    EXPECT_EQ(ended, (std::vector<int>{128 + SIGINT, 128 + SIGKILL})) << ReadAll(m_dir.Path("stopped.err"));
    EXPECT_EQ(Run("last", arguments), 0) << ReadAll(m_dir.Path("last.err"));
    std::sort(expected.begin(), expected.end());
    const std::vector<std::string> stored = Rows("Big");
    EXPECT_TRUE(stored == expected) << stored.size() << " rows stored of " << expected.size();
}

INSTANTIATE_TEST_SUITE_P(Drivers, JobsCommandTest, testing::ValuesIn(test::AllDataSources()), test::DataSourceLabel());

}  // namespace
}  // namespace qb
