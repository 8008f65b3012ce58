// The floor an import is measured against: sends the statements of a file,
// one per line, through one ODBC connection in a plain loop.
// Usage: qb-bench-floor DSN STATEMENTS-FILE
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DSN STATEMENTS-FILE\n", argv[0]);
        return 2;
    }
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    if (!SQL_SUCCEEDED(SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(argv[1]), SQL_NTS, nullptr, 0, nullptr, 0))) {
        std::fprintf(stderr, "cannot connect to %s\n", argv[1]);
        return 1;
    }
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    // The same session as the import's on MySQL and MariaDB: double quotes name things.
    char dbms[64] = {};
    SQLGetInfo(dbc, SQL_DBMS_NAME, dbms, sizeof dbms, nullptr);
    if (std::string(dbms).find("MariaDB") != std::string::npos || std::string(dbms).find("MySQL") != std::string::npos) {
        std::string mode = "SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), 'ANSI_QUOTES', "
                           "'NO_BACKSLASH_ESCAPES')";
        SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(mode.data()), static_cast<SQLINTEGER>(mode.size()));
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    std::ifstream in(argv[2], std::ios::binary);
    std::string line;
    long failed = 0;
    while (std::getline(in, line)) {
        const SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(line.data()),
                                           static_cast<SQLINTEGER>(line.size()));
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
            ++failed;
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    if (failed)
        std::fprintf(stderr, "%ld statements failed\n", failed);
    return failed ? 1 : 0;
}
