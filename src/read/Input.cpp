#include "read/Input.h"

#include "base/SafeFile.h"
#include "files/PackedFiles.h"
#include "files/PathHelpers.h"
#include "read/FileRecords.h"
#include "read/LineReader.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
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

// A packed file's bytes to import, an over-long line in them said as a plain file's is.
UniqueFd Unpacked(const std::function<UniqueFd()>& open)
{
    try {
        return open();
    } catch (const PackedLineTooLong& error) {
        throw PackedFileError("Line " + std::to_string(error.Line()) + " of " + error.Name() + " is longer than " +
                              SizeText(kMaxLineLength) + ": this is not a text file that can be imported.");
    }
}

}  // namespace

void MakeOrCheckPrivateFolder(const std::string& workingCopy)
{
    std::string folder = ParentFolder(workingCopy);
    if (folder.size() < 2)
        return;
    folder.pop_back();
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
    const std::string workingCopy = WorkingCopyPath();
    MakeOrCheckPrivateFolder(workingCopy);
    const std::string folder = ParentFolder(workingCopy);
    return folder.empty() ? "." : folder;
}

UniqueFd OpenInput(const std::string& path)
{
    return Unpacked([&] { return OpenForImport(NormalizePath(path), SpoolFolder(), kMaxLineLength); });
}

std::string WorkingCopyPath()
{
    std::string folder = "/tmp/" + PrivateFolderName();
    if (const char* temp = std::getenv("TEMP"); temp && *temp)
        folder = temp;
    else if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && *tmpdir)
        folder = tmpdir;
    else
        ::mkdir(folder.c_str(), 0700);  // the dry run keeps standard input there unlocked; the lock checks it
    return NormalizePath(folder + PathSeparator() + "upload.txt");
}

UniqueFd SpoolStandardInput(const std::string& folder)
{
    UniqueFd spool = NamelessFile(folder, "standard input");
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            Fail(errno, "Cannot read standard input");
        if (got == 0)
            return Unpacked([&] { return OpenForImport(std::move(spool), "standard input", folder, kMaxLineLength); });
        WriteFully(spool.Get(), {buffer.data(), static_cast<std::size_t>(got)}, "Cannot keep standard input in " + folder);
    }
}

}  // namespace qb
