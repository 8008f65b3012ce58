#include "odbc/DataSources.h"

#include "odbc/OdbcHandles.h"

#include <cstring>
#include <odbcinst.h>

namespace qb {

namespace {

// unixODBC keeps ini names and values under 1,000 bytes; anything longer
// comes back cut, with SQL_SUCCESS_WITH_INFO.
constexpr SQLSMALLINT kTextBuffer = 1024;

std::string Text(const SQLCHAR* bytes)
{
    const char* chars = reinterpret_cast<const char*>(bytes);
    return std::string(chars, ::strnlen(chars, kTextBuffer));
}

void AppendSources(const odbc::Environment& environment, SQLUSMALLINT first,
                   std::vector<DataSourceEntry>& sources)
{
    for (SQLUSMALLINT direction = first;; direction = SQL_FETCH_NEXT) {
        SQLCHAR name[kTextBuffer] = {};
        SQLCHAR driver[kTextBuffer] = {};
        SQLSMALLINT nameLength = 0, driverLength = 0;
        const SQLRETURN result = SQLDataSources(environment.Get(), direction, name, kTextBuffer, &nameLength,
                                                driver, kTextBuffer, &driverLength);
        if (result == SQL_NO_DATA)
            return;
        odbc::Check(result, SQL_HANDLE_ENV, environment.Get());
        sources.push_back({Text(name), Text(driver)});
    }
}

}  // namespace

std::vector<DataSourceEntry> ListDataSources()
{
    const odbc::Environment environment;
    std::vector<DataSourceEntry> sources;
    AppendSources(environment, SQL_FETCH_FIRST_USER, sources);
    AppendSources(environment, SQL_FETCH_FIRST_SYSTEM, sources);
    return sources;
}

std::string DataSourceSetting(const std::string& dataSourceName, const std::string& key)
{
    char value[kTextBuffer] = {};
    const int length = SQLGetPrivateProfileString(dataSourceName.c_str(), key.c_str(), "", value, kTextBuffer, "odbc.ini");
    return length > 0 ? std::string(value, ::strnlen(value, kTextBuffer)) : std::string();
}

}  // namespace qb
