#pragma once

#include "base/UniqueFd.h"

#include <optional>
#include <string>
#include <string_view>

namespace qb {

class Connection;

// One run's hold on a file's row of the manifest, for as long as the file is
// imported: two runs importing the same file into the same table at once
// would both send its lines. The hold is the database's own where it has one
// (PostgreSQL's advisory locks, MariaDB's named locks) and a lock on the
// database file for SQLite, so that a run that dies lets go at once.
class FileClaim {
public:
    // The claim, or none while another run holds it. Throws DatabaseError.
    static std::optional<FileClaim> Take(Connection& connection, std::string_view digest, std::string_view target);

    FileClaim(FileClaim&& other) noexcept;
    FileClaim& operator=(FileClaim&&) = delete;
    ~FileClaim();

private:
    FileClaim(Connection* connection, std::string release, UniqueFd fd)
        : m_connection(connection), m_release(std::move(release)), m_fd(std::move(fd))
    {
    }

    Connection* m_connection;  // null once handed on, or where the lock is m_fd's
    std::string m_release;     // the statement that lets go
    UniqueFd m_fd;             // SQLite: the database file, holding a lock on one byte of its own
};

}  // namespace qb
