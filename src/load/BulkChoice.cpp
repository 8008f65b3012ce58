#include "load/BulkChoice.h"

#include "base/AsciiCase.h"
#include "load/NativeLoaders.h"
#include "odbc/Database.h"

namespace qb {
namespace {

bool Holds(const std::string& text, std::string_view part)
{
    return LowerAscii(text).find(part) != std::string::npos;
}

}  // namespace

BulkChoice ChooseBulkLoader(Connection& connection, const std::string& dataSourceName)
{
    BulkChoice choice;
    const DatabaseKind kind = connection.Kind();
    const std::string driver = connection.DriverName();
    try {
        if (kind == DatabaseKind::Sqlite && Holds(driver, "sqlite3odbc")) {
            choice.loader = OpenSqliteLoader(connection, dataSourceName);
            choice.path = "SQLite's own library";
        } else if (kind == DatabaseKind::Postgres && Holds(driver, "psqlodbc")) {
            choice.loader = OpenCopyLoader(connection, dataSourceName);
            choice.path = "COPY through libpq";
        } else if (kind == DatabaseKind::Mariadb) {
            choice.loader = OpenArrayLoader(connection);
            choice.path = "parameter arrays";
        }
    } catch (const std::exception& error) {
        // Busy says nothing of the bulk path: asked again, it may well be taken.
        if (const auto* database = dynamic_cast<const DatabaseError*>(&error); database && database->Busy())
            throw;
        choice.note = "The database's bulk path could not be used, so lines go as statements through the "
                      "ODBC driver: " + std::string(error.what());
    }
    return choice;
}

}  // namespace qb
