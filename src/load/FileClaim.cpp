#include "load/FileClaim.h"

#include "base/Sha256.h"
#include "odbc/Database.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <fcntl.h>
#include <system_error>

namespace qb {
namespace {

// The claim's name: the same for the same file and table, whichever run asks.
std::uint64_t ClaimKey(std::string_view digest, std::string_view target)
{
    Sha256 sha;
    sha.Add(digest);
    sha.Add(std::string_view("\0", 1));
    sha.Add(target);
    return std::stoull(sha.HexDigest().substr(0, 16), nullptr, 16);
}

bool Yes(const std::vector<TextRow>& rows)
{
    if (rows.empty() || rows.front().empty() || !rows.front().front())
        return false;
    const std::string& value = *rows.front().front();
    return value == "1" || value == "t" || value == "true";
}

// Far past any byte SQLite locks (its own lie at 1 GiB), so that the two never meet; an open file
// description's lock, so that SQLite closing its own descriptors of the file leaves it standing.
UniqueFd LockDatabaseByte(const std::string& file, std::uint64_t key, bool& taken)
{
    taken = true;
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.Valid())
        return fd;  // a file we cannot write takes no lines either: nothing to hold
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>((std::uint64_t(1) << 62) + (key & ((std::uint64_t(1) << 40) - 1)));
    lock.l_len = 1;
    if (::fcntl(fd.Get(), F_OFD_SETLK, &lock) == 0)
        return fd;
    if (errno != EAGAIN && errno != EACCES)
        throw std::system_error(errno, std::generic_category(), "Cannot lock " + file);
    taken = false;
    return {};
}

}  // namespace

std::optional<FileClaim> FileClaim::Take(Connection& connection, std::string_view digest, std::string_view target)
{
    const std::uint64_t key = ClaimKey(digest, target);
    switch (connection.Kind()) {
    case DatabaseKind::Postgres: {
        const std::string pair = std::to_string(static_cast<std::int32_t>(key >> 32)) + ", " +
                                 std::to_string(static_cast<std::int32_t>(key & 0xFFFFFFFFu));
        if (!Yes(connection.QueryStrings("SELECT pg_try_advisory_lock(" + pair + ")")))
            return std::nullopt;
        return FileClaim(&connection, "SELECT pg_advisory_unlock(" + pair + ")", {});
    }
    case DatabaseKind::Mariadb: {
        char name[32];
        std::snprintf(name, sizeof name, "'quillbarrow-%016llx'", static_cast<unsigned long long>(key));
        if (!Yes(connection.QueryStrings(std::string("SELECT GET_LOCK(") + name + ", 0)")))
            return std::nullopt;
        return FileClaim(&connection, std::string("SELECT RELEASE_LOCK(") + name + ")", {});
    }
    case DatabaseKind::Sqlite: {
        std::string file;
        for (const TextRow& row : connection.QueryStrings("PRAGMA database_list")) {
            if (row.size() >= 3 && row[1] == std::optional<std::string>("main"))
                file = row[2].value_or("");
        }
        if (file.empty())
            return FileClaim(nullptr, {}, {});  // a database in memory is this connection's alone
        bool taken = false;
        UniqueFd fd = LockDatabaseByte(file, key, taken);
        if (!taken)
            return std::nullopt;
        return FileClaim(nullptr, {}, std::move(fd));
    }
    case DatabaseKind::Other:
        break;
    }
    return FileClaim(nullptr, {}, {});
}

FileClaim::FileClaim(FileClaim&& other) noexcept
    : m_connection(std::exchange(other.m_connection, nullptr)), m_release(std::move(other.m_release)),
      m_fd(std::move(other.m_fd))
{
}

FileClaim::~FileClaim()
{
    if (!m_connection || !m_connection->IsOpen())
        return;
    try {
        m_connection->QueryStrings(m_release);
    } catch (const std::exception&) {
        // A lost session let go of it already.
    }
}

}  // namespace qb
