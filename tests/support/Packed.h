#pragma once

// Compressed streams and archives made in memory, for the tests of reading them.
#include <archive.h>
#include <archive_entry.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qb::test {

// format: ARCHIVE_FORMAT_RAW (one unnamed member), _ZIP or _TAR_USTAR; filter: ARCHIVE_FILTER_NONE, _GZIP, ...
inline std::string Pack(const std::vector<std::pair<std::string, std::string>>& members, int format,
                        int filter = ARCHIVE_FILTER_NONE)
{
    archive* writer = archive_write_new();
    if (archive_write_set_format(writer, format) != ARCHIVE_OK ||
        archive_write_add_filter(writer, filter) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(writer));
    std::string out(std::size_t(1) << 22, '\0');
    std::size_t used = 0;
    archive_write_set_bytes_in_last_block(writer, 1);
    if (archive_write_open_memory(writer, out.data(), out.size(), &used) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(writer));
    for (const auto& [name, bytes] : members) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
        archive_write_header(writer, entry);
        archive_write_data(writer, bytes.data(), bytes.size());
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    out.resize(used);
    return out;
}

// One file's bytes through a compressor alone.
inline std::string Compress(const std::string& bytes, int filter)
{
    return Pack({{"data", bytes}}, ARCHIVE_FORMAT_RAW, filter);
}

}  // namespace qb::test
