#pragma once

#include "filelist/TemporaryFiles.h"
#include "filelist/UniqueFd.h"

#include <memory>
#include <string>
#include <string_view>

namespace qb {

// Writes a file in a folder that other users may write to: the bytes go to
// a fresh private file beside the target, which then replaces the target by
// rename. A target that is a symbolic link, not a regular file, or owned by
// another user is refused, so nothing is ever written through it.
class SafeFileWriter {
public:
    explicit SafeFileWriter(std::string target);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Each throws std::system_error, with the failing call's own error text,
    // on failure.
    void Write(std::string_view bytes);
    void Commit();
    // Commits and hands back the descriptor the bytes were written through,
    // open for reading and writing, so that what was written is read back
    // whatever happens to the path afterwards.
    UniqueFd CommitKeepingDescriptor();

private:
    void Flush();
    void WriteAll(const char* data, std::size_t size);
    void Publish();

    std::string m_target;
    std::string m_tempPath;
    std::string m_buffer;
    UniqueFd m_fd;
    std::unique_ptr<TemporaryFileGuard> m_guard;
};

// Throws std::system_error when the target may not be replaced by us.
void CheckReplaceableTarget(const std::string& target);

// Opens an existing regular file for reading without blocking on pipes or
// devices; throws std::system_error.
UniqueFd OpenRegularFileForReading(const std::string& path, bool followLinks);

}  // namespace qb
