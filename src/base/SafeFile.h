#pragma once

#include "base/TemporaryFiles.h"
#include "base/UniqueFd.h"

#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>

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
    // Replaces the target and hands back the descriptor the bytes were
    // written through, open for reading and writing, so that what was
    // written is read back whatever happens to the path afterwards.
    UniqueFd CommitKeepingDescriptor();

private:
    void Flush();
    void Publish();

    std::string m_target;
    std::string m_tempPath;
    std::string m_buffer;
    UniqueFd m_fd;
    std::unique_ptr<TemporaryFileGuard> m_guard;
};

// Throws std::system_error when the target may not be replaced by us.
void CheckReplaceableTarget(const std::string& target);

// Reads from offset until size bytes are in or the file ends; returns how
// many came. Throws std::system_error naming name.
std::size_t ReadFully(int fd, char* into, std::size_t size, off_t offset, const std::string& name);

// Writes every byte. Throws std::system_error with what.
void WriteFully(int fd, std::string_view bytes, const std::string& what);

// A file with no name in folder, gone with its last descriptor; what names
// its content in the message of the std::system_error thrown.
UniqueFd NamelessFile(const std::string& folder, const std::string& what);

// Opens an existing regular file for reading without blocking on pipes or
// devices; throws std::system_error.
UniqueFd OpenRegularFileForReading(const std::string& path, bool followLinks);

}  // namespace qb
