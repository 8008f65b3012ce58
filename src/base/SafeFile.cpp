#include "base/SafeFile.h"

#include <cerrno>
#include <cstdlib>
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
    m_fd = CreateTemporaryFile(pattern, m_guard);
    if (!m_fd.Valid())
        Fail(errno, "Cannot create a file beside " + m_target);
    m_tempPath = std::move(pattern);
}

SafeFileWriter::~SafeFileWriter()
{
    if (m_fd.Valid())
        ::unlink(m_tempPath.c_str());
}

void SafeFileWriter::Write(std::string_view bytes)
{
    // A long piece goes out as it is rather than through a second copy.
    if (bytes.size() >= kFlushSize) {
        Flush();
        WriteFully(m_fd.Get(), bytes, "Cannot write " + m_target);
        return;
    }
    m_buffer.append(bytes);
    if (m_buffer.size() >= kFlushSize)
        Flush();
}

std::size_t ReadFully(int fd, char* into, std::size_t size, off_t offset, const std::string& name)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t part = ::pread(fd, into + got, size - got, offset + static_cast<off_t>(got));
        if (part < 0 && errno == EINTR)
            continue;
        if (part < 0)
            Fail(errno, "Cannot read " + name);
        if (part == 0)
            break;
        got += static_cast<std::size_t>(part);
    }
    return got;
}

void WriteFully(int fd, std::string_view bytes, const std::string& what)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            Fail(errno, what);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void SafeFileWriter::Flush()
{
    WriteFully(m_fd.Get(), m_buffer, "Cannot write " + m_target);
    m_buffer.clear();
}

void SafeFileWriter::Publish()
{
    // Checked again: the target may have been swapped while we wrote.
    CheckReplaceableTarget(m_target);
    if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0)
        Fail(errno, "Cannot replace " + m_target);
    m_guard.reset();
}

UniqueFd SafeFileWriter::CommitKeepingDescriptor()
{
    Flush();
    Publish();
    return std::move(m_fd);
}

UniqueFd NamelessFile(const std::string& folder, const std::string& what)
{
    UniqueFd file(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!file.Valid()) {
        // Not every file system has nameless files: a named one, gone at once.
        std::string pattern = folder + "/quillbarrow.XXXXXX";
        file.Reset(::mkostemp(pattern.data(), O_CLOEXEC));
        if (!file.Valid())
            throw std::system_error(errno, std::generic_category(), "Cannot keep " + what + " in " + folder);
        ::unlink(pattern.c_str());
    }
    return file;
}

UniqueFd OpenRegularFileForReading(const std::string& path, bool followLinks)
{
    // Non-blocking, so that a pipe named like a file cannot stall us before
    // the type check turns it away.
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    if (!followLinks)
        flags |= O_NOFOLLOW;
    UniqueFd fd(::open(path.c_str(), flags));
    if (!fd.Valid())
        Fail(errno, "Cannot open " + path);
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        Fail(errno, "Cannot examine " + path);
    if (!S_ISREG(info.st_mode))
        Fail(S_ISDIR(info.st_mode) ? EISDIR : EINVAL, "Not a regular file: " + path);
    if (!followLinks && info.st_uid != ::geteuid())
        Fail(EPERM, "Refusing to read " + path + ", which belongs to another user");
    ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace qb
