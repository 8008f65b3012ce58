#include "filelist/SafeFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace qb {
namespace {

constexpr std::size_t kFlushSize = 1 << 20;

[[noreturn]] void Fail(int error, const std::string& what)
{
    throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

void CheckReplaceableTarget(const std::string& target)
{
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return;
        Fail(errno, "Cannot examine " + target);
    }
    if (S_ISLNK(info.st_mode))
        Fail(EPERM, "Refusing to write through the symbolic link " + target);
    if (!S_ISREG(info.st_mode))
        Fail(EPERM, "Refusing to replace " + target + ", which is not a regular file");
    if (info.st_uid != ::geteuid())
        Fail(EPERM, "Refusing to replace " + target + ", which belongs to another user");
}

SafeFileWriter::SafeFileWriter(std::string target) : m_target(std::move(target))
{
    CheckReplaceableTarget(m_target);
    std::string pattern = m_target + ".XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        Fail(errno, "Cannot create a file beside " + m_target);
    m_tempPath = std::move(pattern);
}

SafeFileWriter::~SafeFileWriter()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_tempPath.c_str());
    }
}

void SafeFileWriter::Write(std::string_view bytes)
{
    m_buffer.append(bytes);
    if (m_buffer.size() >= kFlushSize)
        Flush();
}

void SafeFileWriter::Flush()
{
    const char* data = m_buffer.data();
    std::size_t left = m_buffer.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno, "Cannot write " + m_target);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    m_buffer.clear();
}

void SafeFileWriter::Commit()
{
    Flush();
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(m_tempPath.c_str());
        Fail(error, "Cannot write " + m_target);
    }
    try {
        // Checked again: the target may have been swapped while we wrote.
        CheckReplaceableTarget(m_target);
    } catch (...) {
        ::unlink(m_tempPath.c_str());
        throw;
    }
    if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
        const int error = errno;
        ::unlink(m_tempPath.c_str());
        Fail(error, "Cannot replace " + m_target);
    }
}

int OpenRegularFileForReading(const std::string& path, bool followLinks)
{
    // Non-blocking, so that a pipe named like a file cannot stall us before
    // the type check turns it away.
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    if (!followLinks)
        flags |= O_NOFOLLOW;
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0)
        Fail(errno, "Cannot open " + path);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        Fail(EINVAL, "Not a regular file: " + path);
    }
    if (!followLinks && info.st_uid != ::geteuid()) {
        ::close(fd);
        Fail(EPERM, "Refusing to read " + path + ", which belongs to another user");
    }
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace qb
