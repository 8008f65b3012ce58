#include "schema/ValueFits.h"

#include <gtest/gtest.h>

#include <string>

namespace qb {
namespace {

using enum DatabaseKind;

struct FitCase {
    std::string value;
    const char* type;
    DatabaseKind database;
    bool fits;
};

// Refusals the guess never meets, asked directly.
TEST(ValueFits, Refuses)
{
    const FitCase cases[] = {
        {"2147483647", "INTEGER", Postgres, true},
        {"2147483648", "INTEGER", Postgres, false},
        {"2147483648", "INTEGER", Sqlite, true},
        {"9223372036854775808", "BIGINT", Mariadb, false},
        {"007", "BIGINT", Postgres, false},
        {"+-5", "BIGINT", Postgres, false},
        {"1.25", "DECIMAL(3,2)", Mariadb, true},
        {"1.25", "DECIMAL(3,1)", Mariadb, false},
        {"10.5", "DECIMAL(3,2)", Mariadb, false},
        {"1e2", "DECIMAL(5,0)", Mariadb, false},
        {"0.1", "DOUBLE PRECISION", Postgres, true},
        {"9007199254740993", "REAL", Sqlite, false},
        {"0.1000000000000001", "DOUBLE", Mariadb, false},
        {"1e-310", "REAL", Sqlite, false},
        {"2e308", "DOUBLE", Mariadb, false},
        {"1e-999", "NUMERIC", Postgres, true},
        {"5", "NUMERIC", Sqlite, false},
        {"2023-02-29", "DATE", Postgres, false},
        {"2024-01-02", "TIMESTAMPTZ", Postgres, false},
        {"2024-01-02 03:04Z", "TIMESTAMP", Postgres, false},
        {"2024-01-02 03:04-14:00", "TIMESTAMPTZ", Postgres, true},
        {"2024-01-02 03:04Z", "DATETIME(6)", Mariadb, false},
        {"1", "BOOLEAN", Postgres, false},
        {std::string(65536, 'x'), "TEXT", Mariadb, false},
        {std::string(65536, 'x'), "LONGTEXT", Mariadb, true},
        {"5", "INTEGER", Other, false},
        {"", "INTEGER", Postgres, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ValueFits(c.value, c.type, c.database), c.fits) << c.value.substr(0, 40) << " in " << c.type;
}

}  // namespace
}  // namespace qb
