#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

class Connection;

// What the manifest holds of one file's import into one table: the file by
// its content's digest, and how far its lines got.
struct ManifestEntry {
    std::string digest;  // SHA-256 of the file's bytes as read, in hex
    std::string target;  // the table
    std::string name;    // the file, as the run named it
    std::uint64_t size = 0;
    long stored = 0;     // lines stored
    long refused = 0;    // lines refused
    long lastLine = 0;   // the number of the last line sent, stored or refused
    std::string started;
    std::optional<std::string> finished;  // none while the file is not done

    bool operator==(const ManifestEntry&) const = default;
};

// The table of what was imported, in the target database itself, so that
// its rows commit with the lines they count. Its name holds "sys", which the
// table list leaves out.
class ImportManifest {
public:
    static constexpr std::string_view kTable = "quillbarrow_sys_imports";

    // Makes the table when it is missing.
    explicit ImportManifest(Connection& connection);

    std::optional<ManifestEntry> Find(std::string_view digest, std::string_view target);
    // The file's row, new, or as new when one was there.
    void Begin(const ManifestEntry& entry);
    // The statement that records how far the file got: it runs in the
    // transaction of the lines it counts.
    static std::string Progress(std::string_view digest, std::string_view target, long stored, long refused,
                                long lastLine);
    void Finish(std::string_view digest, std::string_view target, std::string_view at);

private:
    Connection& m_connection;
};

}  // namespace qb
