#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace qb {

// One diagnostic record as the driver (or driver manager) reported it.
struct DiagnosticRecord {
    std::string sqlState;
    long nativeError = 0;
    std::string message;
};

// Every failure of the database component. what() is the description: one "[SQLSTATE] message" line
// per diagnostic record.
class DatabaseError : public std::runtime_error {
public:
    // An empty list stands for a failure that came without diagnostics.
    explicit DatabaseError(std::vector<DiagnosticRecord> records);
    // A failure detected before reaching the driver.
    DatabaseError(const std::string& sqlState, const std::string& message);

    const std::vector<DiagnosticRecord>& Records() const;
    // The link to the server broke: SQLSTATE class 08, or a driver that says
    // so only in words. Nothing more can be sent through that connection.
    bool ConnectionLost() const;
    // The database was busy or locked, or chose this statement to end a
    // deadlock: nothing of it was stored, and the same statement may succeed
    // when sent again a little later.
    bool Busy() const;

private:
    std::vector<DiagnosticRecord> m_records;
};

}  // namespace qb
