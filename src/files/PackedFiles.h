#pragma once

#include "base/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qb {

// What a file to import holds: plain text, a compressed stream (gzip,
// bzip2, xz, zstd: known by its first bytes, not its name), or an archive
// whose members are imported one by one. One library reads them all.

// A member of an archive, as a list names it: "<archive>!/<member>". A name
// that the archive holds more than once (a tar appended to) names its later
// copies by their place among those of that name: "<archive>!2/<member>".
inline constexpr const char* kMemberMark = "!/";
std::string MemberPath(const std::string& archive, const std::string& member, int copy = 1);

// A damaged or unreadable stream or archive; the message names the file and the byte offset.
class PackedFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A line longer than the limit, met while a packed file was expanded: no
// text holds one, and the rest of the file is not expanded.
class PackedLineTooLong : public PackedFileError {
public:
    PackedLineTooLong(long line, const std::string& name);
    long Line() const { return m_line; }
    const std::string& Name() const { return m_name; }

private:
    long m_line;
    std::string m_name;
};

// The member files of an archive (zip, tar, a compressed tar...), as list
// entries in the archive's order; none when the file is no archive.
// Throws PackedFileError for a damaged one.
std::vector<std::string> ArchiveMembers(const std::string& path);

// What a list holds for a path: an archive's members, or the path itself
// (a file that is no archive, or one too damaged to list, whose import then
// says why).
std::vector<std::string> ListEntries(const std::string& path);

// The file's bytes to import, from the start: the file itself when it is
// plain, else its decompressed bytes, or an archive member's (one layer of
// compression of its own undone too), in a nameless file in folder. Throws
// std::system_error for a file that cannot be opened, PackedFileError for a
// damaged stream or an archive, and PackedLineTooLong when what is expanded
// holds more than maxLine bytes without a line end. An archive's members
// asked for in its order cost one reading of it in all.
UniqueFd OpenForImport(const std::string& path, const std::string& folder, std::size_t maxLine = SIZE_MAX);

// The same for a file already open (standard input spooled, say).
UniqueFd OpenForImport(UniqueFd file, const std::string& name, const std::string& folder,
                       std::size_t maxLine = SIZE_MAX);

}  // namespace qb
