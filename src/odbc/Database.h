#pragma once

#include "odbc/DatabaseError.h"
#include "odbc/ConnectionTypes.h"
#include "odbc/DatabaseKind.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

struct ConnectionState;

// A connection to an ODBC data source. Statement texts are byte strings passed to the driver unchanged.
// Every failure throws DatabaseError. Each statement is committed on its own (autocommit).
class Connection {
public:
    Connection();
    ~Connection();
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects to the named data source, exactly as named, with the data source's own credentials.
    // Closes any earlier connection first. On MySQL and MariaDB the session reads double quotes as
    // names and backslashes as plain bytes, as the other databases do.
    void Open(const std::string& dataSourceName);
    bool IsOpen() const noexcept;
    // Open, and not known by the driver to have lost its link to the server.
    bool Alive() noexcept;
    void Close() noexcept;

    // Runs one complete statement; nothing is read back.
    void Execute(std::string_view sqlText);
    // Runs a statement whose markers ("?") take these texts in order, sent as they are, without a
    // copy of ours; std::nullopt is NULL. For values too big to be copied into a statement text. On MySQL
    // and MariaDB the values go at execution, in pieces, so the client library never gathers them.
    void Execute(std::string_view sqlText, std::span<const std::optional<std::string_view>> values);
    // The number of result columns of a query, which is prepared but not run.
    int ColumnCount(std::string_view queryText);
    // The names of a query's result columns, as the driver describes them; the query is prepared but
    // not run. A driver may run it to describe it: give one that fetches no rows (WHERE 1=0).
    std::vector<std::string> ColumnNames(std::string_view queryText);
    // Whether the database takes this CREATE TABLE of table, learnt without creating anything: throws
    // DatabaseError in the database's own words when it does not. Preparing alone proves little (none
    // of our drivers checks a CREATE before it runs), so it runs inside a transaction that is rolled
    // back where DDL is transactional, and as a TEMPORARY table, dropped at once, on MySQL and MariaDB,
    // whose DDL commits (a table that exists is not noticed there: the temporary one may share its
    // name); any other driver only prepares it.
    // quotedTable: the table's name as createText writes it.
    void CheckCreate(std::string_view quotedTable, std::string_view createText);
    // The connection's limits, asked of the driver once per connection; names on MySQL and MariaDB
    // take 64, whatever their driver says.
    const NameLimits& Limits();
    // False when the driver reports no transactions at all.
    bool SupportsTransactions();
    // Whether a refused statement leaves the table as it was: false when the driver has no
    // transactions, or when the table's own engine has none (MySQL's MyISAM).
    bool IsTransactional(const std::string& table);
    // Every entry of the driver's tables catalogue (tables, views and any other type it lists) across
    // all catalogs and schemas (on MySQL and MariaDB: of the current database), in the catalogue's order.
    std::vector<TableEntry> Tables();
    // Runs a query and returns all its rows as text.
    std::vector<TextRow> QueryStrings(std::string_view queryText);
    // The same, its markers ("?") taking these texts in order, as Execute binds them.
    std::vector<TextRow> QueryStrings(std::string_view queryText, std::span<const std::optional<std::string_view>> values);
    // The table's keys, each a list of its columns in order: the primary key first, then each unique
    // index's, as the driver's catalogue tells them (SQLPrimaryKeys, SQLStatistics). None: no key.
    std::vector<std::vector<std::string>> Keys(const std::string& table);
    // The database, by the product name its driver tells, learnt once per connection.
    DatabaseKind Kind() const;
    // The driver's file name, as the driver tells it.
    std::string DriverName();
    // Runs the INSERT text over every row of the array, prepared once while the same text comes again,
    // so that the database parses it once; throws when any row is refused. It commits nothing by itself:
    // run it as InOneTransaction's work.
    void ExecuteArray(std::string_view insertText, const ParameterArray& array);
    // Runs work (statements on this connection), then the statements of also, as one transaction: all
    // of it is stored or none.
    void InOneTransaction(const std::function<void()>& work, std::span<const std::string> also);

private:
    ConnectionState& Current() const;
    // Execute with values, the result's rows read into rows where given.
    void RunBound(std::string_view sqlText, std::span<const std::optional<std::string_view>> values,
                  std::vector<TextRow>* rows);

    std::unique_ptr<ConnectionState> m_handles;
};

}  // namespace qb
