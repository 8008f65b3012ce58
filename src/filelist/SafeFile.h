#pragma once

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

    // Each throws std::system_error with a description on failure.
    void Write(std::string_view bytes);
    void Commit();

private:
    void Flush();

    std::string m_target;
    std::string m_tempPath;
    std::string m_buffer;
    int m_fd = -1;
};

// Throws std::system_error when the target may not be replaced by us.
void CheckReplaceableTarget(const std::string& target);

// Opens an existing regular file for reading without blocking on pipes or
// devices; returns the descriptor or throws std::system_error.
int OpenRegularFileForReading(const std::string& path, bool followLinks);

}  // namespace qb
