#pragma once

#include "odbc/OdbcHandles.h"
#include "odbc/ConnectionTypes.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The driver calls that the connection's parts share.
namespace qb::odbc {

// A statement text as the driver interface takes it: by explicit length, not
// SQL_NTS, so NUL bytes and any 8-bit bytes go through as they are.
SQLCHAR* TextBytes(std::string_view text);
// The driver's answer, unchecked.
SQLRETURN ExecuteDirectRaw(SQLHSTMT statement, std::string_view text);
void CheckExecuted(SQLHSTMT statement, SQLRETURN result);
void ExecuteDirect(SQLHSTMT statement, std::string_view text);
void PutInPieces(SQLHSTMT statement, std::string_view value);
// Prepared, not run.
void PrepareText(SQLHSTMT statement, std::string_view text);
std::vector<TextRow> FetchAll(SQLHSTMT statement);
std::string InfoText(SQLHDBC connection, SQLUSMALLINT type);
// A number the driver reports; 0 when it cannot say.
std::size_t InfoNumber(SQLHDBC connection, SQLUSMALLINT type);
SQLUSMALLINT TransactionCapability(SQLHDBC connection);
SQLRETURN SetAutocommit(SQLHDBC connection, bool on);

}  // namespace qb::odbc
