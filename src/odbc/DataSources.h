#pragma once

#include <string>
#include <vector>

namespace qb {

// A data source as the driver manager lists it.
struct DataSourceEntry {
    std::string name;
    std::string driver;  // the data source's Driver= entry
};

// The user data sources, then the system ones, each in the order of its
// odbc.ini. A name in both lists appears twice. Throws DatabaseError.
std::vector<DataSourceEntry> ListDataSources();

// One entry of a data source's odbc.ini section (the user's file, then the
// system's), as the driver reads it; empty when it has none.
std::string DataSourceSetting(const std::string& dataSourceName, const std::string& key);

}  // namespace qb
