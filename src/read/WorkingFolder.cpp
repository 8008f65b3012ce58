#include "read/WorkingFolder.h"

#include "files/PathHelpers.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qb {
namespace {

[[noreturn]] void Fail(int error, const std::string& what)
{
    throw std::system_error(error, std::generic_category(), what);
}

// /tmp is every user's: there a folder of our own holds the working copy and
// its lock, so that the first user's files cannot lock the others out.
std::string PrivateFolderName()
{
    return "quillbarrow-" + std::to_string(::geteuid());
}

}  // namespace

void MakeOrCheckPrivateFolder(const std::string& folder)
{
    if (folder.substr(ParentFolder(folder).size()) != PrivateFolderName())
        return;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        Fail(errno, "Cannot make the working copy's folder " + folder);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0)
        Fail(errno, "Cannot use the working copy's folder " + folder);
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
        Fail(EPERM, "Refusing the working copy's folder " + folder +
                        ": it is not a folder of ours that no one else can use");
}

std::string SpoolFolder()
{
    const std::string folder = PrivateFolder();
    MakeOrCheckPrivateFolder(folder);
    return folder;
}

std::string PrivateFolder()
{
    std::string folder = "/tmp/" + PrivateFolderName();
    if (const char* temp = std::getenv("TEMP"); temp && *temp)
        folder = temp;
    else if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && *tmpdir)
        folder = tmpdir;
    folder = NormalizePath(folder);
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

}  // namespace qb
