#include "run/WorkingCopyLock.h"

#include "files/PathHelpers.h"
#include "read/Input.h"

#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qb {
namespace {

[[noreturn]] void Fail(int error, const std::string& what)
{
    throw std::system_error(error, std::generic_category(), what);
}

// mkostemp's names: the working copy's name, a dot and six letters or digits.
bool IsTemporaryName(std::string_view name, std::string_view base)
{
    if (name.size() != base.size() + 7 || name.substr(0, base.size()) != base || name[base.size()] != '.')
        return false;
    for (const char c : name.substr(base.size() + 1)) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

void RemoveStaleTemporaries(const std::string& workingCopy)
{
    const std::string folder = ParentFolder(workingCopy);
    const std::string base = workingCopy.substr(folder.size());
    DIR* directory = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!directory)
        return;
    while (const dirent* entry = ::readdir(directory)) {
        if (!IsTemporaryName(entry->d_name, base))
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(directory), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
            ::unlinkat(::dirfd(directory), entry->d_name, 0);
    }
    ::closedir(directory);
}

}  // namespace

WorkingCopyBusy::WorkingCopyBusy(const std::string& workingCopy)
    : std::runtime_error("Another import is using the working copy " + workingCopy +
                         ". Try again when it has finished.")
{
}

WorkingCopyLock::WorkingCopyLock(const std::string& workingCopy)
{
    MakeOrCheckPrivateFolder(workingCopy);
    const std::string path = workingCopy + ".lock";
    m_fd.Reset(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!m_fd.Valid())
        Fail(errno, "Cannot lock the working copy " + workingCopy + " with " + path);
    struct stat info {};
    if (::fstat(m_fd.Get(), &info) != 0)
        Fail(errno, "Cannot lock the working copy " + workingCopy + " with " + path);
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        Fail(EPERM, "Cannot lock the working copy " + workingCopy + ": " + path + " is not our own file");
    if (::flock(m_fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            throw WorkingCopyBusy(workingCopy);
        Fail(errno, "Cannot lock the working copy " + workingCopy + " with " + path);
    }
    RemoveStaleTemporaries(workingCopy);
}

}  // namespace qb
