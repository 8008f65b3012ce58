#include "odbc/DataSources.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qb::test {
namespace {

using Listed = std::vector<std::pair<std::string, std::string>>;  // name, driver

Listed Sources()
{
    Listed listed;
    for (const DataSourceEntry& source : ListDataSources())
        listed.emplace_back(source.name, source.driver);
    return listed;
}

// Points the driver manager at odbc.ini files of its own while it lives.
// The driver manager reads the system folder's name once per process, so
// the cases share one folder and only the files change.
class IniFiles {
public:
    IniFiles()
    {
        std::filesystem::create_directory(m_dir.Path("sys"));
        Set("ODBCINI", m_dir.Path("odbc.ini"), m_ini);
        Set("ODBCSYSINI", m_dir.Path("sys"), m_sys);
    }
    ~IniFiles()
    {
        Restore("ODBCINI", m_ini);
        Restore("ODBCSYSINI", m_sys);
    }
    void Write(const std::string& user, const std::string& system)
    {
        m_dir.Write("odbc.ini", user);
        m_dir.Write("sys/odbc.ini", system);
    }

private:
    static void Set(const char* name, const std::string& value, std::optional<std::string>& saved)
    {
        if (const char* old = std::getenv(name))
            saved = old;
        ::setenv(name, value.c_str(), 1);
    }
    static void Restore(const char* name, const std::optional<std::string>& saved)
    {
        if (saved)
            ::setenv(name, saved->c_str(), 1);
        else
            ::unsetenv(name);
    }

    TempDir m_dir;
    std::optional<std::string> m_ini;
    std::optional<std::string> m_sys;
};

TEST(ListDataSources, UserSourcesThenSystemOnes)
{
    struct Case {
        const char* label;
        std::string user;
        std::string system;
        Listed listed;
    };
    const Case cases[] = {
        {"none", "", "", {}},
        {"user only", "[Sales]\nDriver=SQLite3\nDatabase=/nowhere\n", "", {{"Sales", "SQLite3"}}},
        {"both, one name in each",
         "[Sales]\nDriver=SQLite3\n\n[Shared]\nDriver=User Driver\n",
         "[Stock]\nDriver=PostgreSQL Unicode\n\n[Shared]\nDriver=System Driver\n",
         {{"Sales", "SQLite3"}, {"Shared", "User Driver"}, {"Stock", "PostgreSQL Unicode"}, {"Shared", "System Driver"}}},
    };
    IniFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        files.Write(c.user, c.system);
        EXPECT_EQ(Sources(), c.listed);
    }
}

}  // namespace
}  // namespace qb::test
