#include "load/NativeLoaders.h"

#include "load/KeyRule.h"
#include "odbc/DataSources.h"
#include "odbc/Database.h"

#include <cstring>
#include <sqlite3.h>

namespace qb {
namespace {

// The first value of a query's first row through the ODBC connection; empty when none.
std::string Ask(Connection& connection, const std::string& query, std::size_t column = 0)
{
    const auto rows = connection.QueryStrings(query);
    if (rows.empty() || rows.front().size() <= column || !rows.front()[column])
        return {};
    return *rows.front()[column];
}

// A yes-or-no entry as the SQLite ODBC driver reads one: by its first letter or digit.
bool DriverFlag(const std::string& text)
{
    return !text.empty() && std::strchr("Yy123456789Tt", text.front()) != nullptr;
}

bool IsNumber(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

class SqliteLoader : public BulkLoader {
public:
    SqliteLoader(Connection& connection, const std::string& dataSourceName)
    {
        // The driver's own connection says which file it has open.
        std::string file;
        for (const TextRow& row : connection.QueryStrings("PRAGMA database_list")) {
            if (row.size() >= 3 && row[1] == std::string("main") && row[2])
                file = *row[2];
        }
        if (file.empty())
            throw DatabaseError("HY000", "the database is not a file");
        // Opened as the driver opens it, so that what its Database entry asks for (a URI's read-only mode, say)
        // holds here too: the same name, read as a URI, with the same flags.
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX |
                          (DriverFlag(DataSourceSetting(dataSourceName, "NoCreat")) ? 0 : SQLITE_OPEN_CREATE);
        const int opened = sqlite3_open_v2(DataSourceSetting(dataSourceName, "Database").c_str(), &m_db, flags, nullptr);
        try {
            if (opened != SQLITE_OK)
                Fail();
            const char* mine = sqlite3_db_filename(m_db, "main");
            if (!mine || file != mine)
                throw DatabaseError("HY000", "the data source's Database entry does not name the file the driver has open");
            if (sqlite3_db_readonly(m_db, "main") != 0)
                throw DatabaseError("HY000", "the data source opens the database read-only");
            Configure(connection);
        } catch (...) {
            sqlite3_close_v2(m_db);
            throw;
        }
    }
    // A database opened already, taken over as it is.
    explicit SqliteLoader(sqlite3* db) : m_db(db) {}
    ~SqliteLoader() override
    {
        sqlite3_finalize(m_probe);
        sqlite3_finalize(m_insert);
        sqlite3_close_v2(m_db);
    }

    void Configure(Connection& connection)
    {
        const std::string timeout = Ask(connection, "PRAGMA busy_timeout");
        sqlite3_busy_timeout(m_db, IsNumber(timeout) ? std::stoi(timeout) : 0);
        for (const char* setting : {"journal_mode", "synchronous", "foreign_keys"}) {
            const std::string value = Ask(connection, std::string("PRAGMA ") + setting);
            if (!value.empty() && value.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") == std::string::npos)
                Run("PRAGMA " + std::string(setting) + " = " + value);
        }
    }

    void Load(const std::string& quotedTable, std::size_t columns,
              std::span<const std::optional<std::string_view>> values, std::span<const std::string> also,
              KeyedLoad* keyed) override
    {
        Prepare(quotedTable, columns, keyed);
        // The write lock up front: waiting for it is the lock wait's business, not a refusal midway.
        Run("BEGIN IMMEDIATE");
        try {
            for (std::size_t first = 0; first + columns <= values.size(); first += columns) {
                for (std::size_t i = 0; i < columns; ++i) {
                    const auto& value = values[first + i];
                    const int bound = value ? sqlite3_bind_text64(m_insert, static_cast<int>(i + 1),
                                                                  value->empty() ? "" : value->data(), value->size(),
                                                                  SQLITE_STATIC, SQLITE_UTF8)
                                            : sqlite3_bind_null(m_insert, static_cast<int>(i + 1));
                    if (bound != SQLITE_OK)
                        Fail();
                }
                // An update changes a row either way: whether the key was there is asked first.
                const bool found = keyed && m_probe && Found(values.subspan(first, columns), keyed->rule);
                const int stepped = sqlite3_step(m_insert);
                if (stepped != SQLITE_DONE) {
                    sqlite3_reset(m_insert);  // the statement's own error becomes the connection's
                    Fail();
                }
                sqlite3_reset(m_insert);
                if (keyed)
                    keyed->inserted += m_probe ? !found : sqlite3_changes(m_db) > 0;
            }
            for (const std::string& statement : also)
                Run(statement);
            Run("COMMIT");
        } catch (...) {
            if (!sqlite3_get_autocommit(m_db))
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_clear_bindings(m_insert);
            throw;
        }
        sqlite3_clear_bindings(m_insert);
    }

private:
    void Prepare(const std::string& quotedTable, std::size_t columns, KeyedLoad* keyed)
    {
        std::string text = "INSERT INTO " + quotedTable + " VALUES(";
        for (std::size_t i = 0; i < columns; ++i)
            text += "?,";
        text.back() = ')';
        if (keyed)
            text += keyed->rule.after;
        if (keyed)
            keyed->inserted = 0;
        if (m_insert && text == m_prepared)
            return;
        sqlite3_finalize(m_insert);
        sqlite3_finalize(m_probe);
        m_insert = nullptr;
        m_probe = nullptr;
        m_prepared.clear();
        if (sqlite3_prepare_v2(m_db, text.c_str(), static_cast<int>(text.size()), &m_insert, nullptr) != SQLITE_OK)
            Fail();
        if (keyed && keyed->rule.mode == OnDuplicate::Update) {
            std::string probe = "SELECT 1 FROM " + keyed->rule.table + " WHERE ";
            const auto& names = keyed->rule.keyNames;
            for (std::size_t k = 0; k < names.size(); ++k)
                probe += (k > 0 ? " AND " : "") + names[k] + "=?" + std::to_string(k + 1);
            if (sqlite3_prepare_v2(m_db, probe.c_str(), static_cast<int>(probe.size()), &m_probe, nullptr) != SQLITE_OK)
                Fail();
        }
        m_prepared = text;
    }
    // Whether the table holds a row of this row's key.
    bool Found(std::span<const std::optional<std::string_view>> row, const KeyRule& rule)
    {
        for (std::size_t k = 0; k < rule.keyValues.size(); ++k) {
            const auto& value = row[rule.keyValues[k]];
            const int bound = value ? sqlite3_bind_text64(m_probe, static_cast<int>(k + 1), value->empty() ? "" : value->data(),
                                                          value->size(), SQLITE_STATIC, SQLITE_UTF8)
                                    : sqlite3_bind_null(m_probe, static_cast<int>(k + 1));
            if (bound != SQLITE_OK)
                Fail();
        }
        const int stepped = sqlite3_step(m_probe);
        sqlite3_reset(m_probe);
        if (stepped != SQLITE_ROW && stepped != SQLITE_DONE)
            Fail();
        return stepped == SQLITE_ROW;
    }
    void Run(const std::string& text)
    {
        if (sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            Fail();
    }
    [[noreturn]] void Fail()
    {
        const int code = m_db ? sqlite3_extended_errcode(m_db) : SQLITE_CANTOPEN;
        throw DatabaseError({{"HY000", code, m_db ? sqlite3_errmsg(m_db) : "cannot open the database"}});
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_probe = nullptr;  // where a key decides and rows are updated: is the key there
    std::string m_prepared;
};

}  // namespace

std::unique_ptr<BulkLoader> OpenSqliteLoader(Connection& connection, const std::string& dataSourceName)
{
    return std::make_unique<SqliteLoader>(connection, dataSourceName);
}

std::unique_ptr<BulkLoader> SqliteLoaderOn(sqlite3* db)
{
    return std::make_unique<SqliteLoader>(db);
}

}  // namespace qb
