#include "read/Input.h"

#include "base/SafeFile.h"
#include "files/PackedFiles.h"
#include "files/PathHelpers.h"
#include "read/FileRecords.h"
#include "read/LineReader.h"

#include <cerrno>
#include <functional>
#include <system_error>
#include <unistd.h>

namespace qb {
namespace {

[[noreturn]] void Fail(int error, const std::string& what)
{
    throw std::system_error(error, std::generic_category(), what);
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

UniqueFd OpenInput(const std::string& path)
{
    return Unpacked([&] { return OpenForImport(NormalizePath(path), SpoolFolder(), kMaxLineLength); });
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
