#include "bulk/BulkLoader.h"

#include "base/AsciiCase.h"
#include "bulk/NativeLoaders.h"
#include "odbc/Database.h"

namespace qb {
namespace {

// MySQL and MariaDB parse a prepared INSERT once for a whole parameter array.
class ArrayLoader : public BulkLoader {
public:
    explicit ArrayLoader(Connection& connection) : m_connection(connection) {}
    void Load(const std::string& quotedTable, std::size_t columns,
              std::span<const std::optional<std::string_view>> values, std::span<const std::string> also) override
    {
        m_connection.Together([&] { m_connection.InsertRows(quotedTable, columns, values); }, also);
    }

private:
    Connection& m_connection;
};

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
            choice.loader = std::make_unique<ArrayLoader>(connection);
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
