#include "run/RunFolder.h"

#include "read/WorkingFolder.h"

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qb {

WorkingCopyGuard::~WorkingCopyGuard()
{
    ::unlink(m_copy.c_str());
}

namespace {

constexpr std::string_view kPrefix = "run-";
// A folder this young may be one a starting run has made and not locked yet.
constexpr std::time_t kYoung = 60;

// Removes the plain files of the folder open as fd, then the folder: a run's folder holds nothing else.
void RemoveFolder(int parent, const char* name, int fd)
{
    const int listed = ::dup(fd);
    DIR* directory = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!directory) {
        if (listed >= 0)
            ::close(listed);
        return;
    }
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view entryName = entry->d_name;
        if (entryName != "." && entryName != "..")
            ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(directory);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

// Folders of runs that ended without removing theirs (killed, or the machine stopped): no live run holds them.
void RemoveDeadRuns(const std::string& privateFolder)
{
    const UniqueFd parent(::open(privateFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* directory = parent.Valid() ? ::opendir(privateFolder.c_str()) : nullptr;
    if (!directory)
        return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(directory)) {
        if (!std::string_view(entry->d_name).starts_with(kPrefix))
            continue;
        const UniqueFd fd(::openat(parent.Get(), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0 || info.st_uid != ::geteuid() || now - info.st_mtime < kYoung)
            continue;
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0)
            RemoveFolder(parent.Get(), entry->d_name, fd.Get());
    }
    ::closedir(directory);
}

[[noreturn]] void Fail(int error, const std::string& what)
{
    throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

RunFolder::RunFolder(const std::string& privateFolder)
{
    MakeOrCheckPrivateFolder(privateFolder);
    RemoveDeadRuns(privateFolder);
    std::string pattern = privateFolder + "/" + std::string(kPrefix) + "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        Fail(errno, "Cannot make a folder for the run's working copy in " + privateFolder);
    m_path = pattern;
    m_lock.Reset(::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!m_lock.Valid() || ::flock(m_lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::rmdir(m_path.c_str());
        Fail(error, "Cannot hold the run's folder " + m_path);
    }
}

RunFolder::~RunFolder()
{
    const std::size_t slash = m_path.rfind('/');
    const std::string parent = m_path.substr(0, slash);
    const UniqueFd parentFd(::open(parent.empty() ? "/" : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parentFd.Valid())
        RemoveFolder(parentFd.Get(), m_path.c_str() + slash + 1, m_lock.Get());
}

}  // namespace qb
