#pragma once

#include "load/BulkLoader.h"

#include <memory>
#include <string>

namespace qb {

// The bulk path for the data source's driver, or none (the ODBC path).
struct BulkChoice {
    std::unique_ptr<BulkLoader> loader;
    // What the loader is, for the run's log.
    std::string path;
    // Why a driver that has one goes without it: for the run's log.
    std::string note;
};

// SQLite's own library for the SQLite ODBC driver, COPY through libpq for
// psqlODBC, parameter arrays for MySQL and MariaDB; connection is open.
// Throws DatabaseError when the database is busy: the choice may be asked again.
BulkChoice ChooseBulkLoader(Connection& connection, const std::string& dataSourceName);

}  // namespace qb
