#include "files/PackedFiles.h"

#include "base/SafeFile.h"

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace qb {
namespace {

struct ArchiveFree {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using Reader = std::unique_ptr<archive, ArchiveFree>;

// A compressed stream's compression, by its first bytes; ARCHIVE_FILTER_NONE when it is none.
int Compression(int fd)
{
    std::array<unsigned char, 6> head{};
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    const auto starts = [&](std::initializer_list<unsigned char> magic) {
        return got >= static_cast<ssize_t>(magic.size()) && std::equal(magic.begin(), magic.end(), head.begin());
    };
    return starts({0x1F, 0x8B, 0x08})                  ? ARCHIVE_FILTER_GZIP
           : starts({'B', 'Z', 'h'}) && head[3] >= '1' && head[3] <= '9' ? ARCHIVE_FILTER_BZIP2
           : starts({0xFD, '7', 'z', 'X', 'Z', 0x00}) ? ARCHIVE_FILTER_XZ
           : starts({0x28, 0xB5, 0x2F, 0xFD})          ? ARCHIVE_FILTER_ZSTD
                                                       : ARCHIVE_FILTER_NONE;
}

bool Compressed(int fd)
{
    return Compression(fd) != ARCHIVE_FILTER_NONE;
}

// An archive's first bytes: zip's local header or an empty zip, tar's "ustar".
bool Archived(int fd)
{
    std::array<char, 263> head{};
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    return (got >= 4 && (std::memcmp(head.data(), "PK\3\4", 4) == 0 || std::memcmp(head.data(), "PK\5\6", 4) == 0)) ||
           (got >= 262 && std::memcmp(head.data() + 257, "ustar", 5) == 0);
}

// fd: the file read, whose position says how far the library got when it cannot.
[[noreturn]] void Damaged(archive* reader, const std::string& name, int fd)
{
    const char* why = archive_error_string(reader);
    la_int64_t at = archive_filter_bytes(reader, -1);
    if (at < 0)
        at = ::lseek(fd, 0, SEEK_CUR);
    throw PackedFileError("Cannot read " + name + ": " + (why ? why : "it is damaged") + " (at byte " +
                          std::to_string(at) + " of the file)");
}

// Reads fd, from its start, through every decompressor; archives too when asked.
Reader OpenReader(int fd, const std::string& name, bool archives)
{
    Reader reader(archive_read_new());
    if (!reader)
        throw std::bad_alloc();
    // Exactly the one compression the first bytes name, undone once: the library's own guessing
    // would undo any that the text itself looks like (uuencode, lzma alone, another gzip).
    if (const int compression = Compression(fd); compression != ARCHIVE_FILTER_NONE &&
                                                 archive_read_append_filter(reader.get(), compression) != ARCHIVE_OK)
        Damaged(reader.get(), name, fd);
    if (archives) {
        // Zip and tar only: some other formats (mtree, say) would read plain text as a list of files.
        archive_read_support_format_tar(reader.get());
        archive_read_support_format_zip(reader.get());
    } else {
        archive_read_support_format_raw(reader.get());
    }
    if (::lseek(fd, 0, SEEK_SET) != 0 || archive_read_open_fd(reader.get(), fd, 1 << 16) != ARCHIVE_OK)
        Damaged(reader.get(), name, fd);
    return reader;
}

// The current entry's data, decompressed into a nameless file.
UniqueFd Spool(archive* reader, const std::string& name, const std::string& folder, int fd)
{
    UniqueFd out = NamelessFile(folder, name);
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const la_ssize_t got = archive_read_data(reader, buffer.data(), buffer.size());
        if (got < 0)
            Damaged(reader, name, fd);
        if (got == 0)
            return out;
        WriteFully(out.Get(), {buffer.data(), static_cast<std::size_t>(got)}, "Cannot keep " + name + " in " + folder);
    }
}

// The member's path within its archive, split off a list entry that names no file of its own.
bool SplitMember(const std::string& path, std::string& archive, std::string& member)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return false;
    const auto mark = path.find(kMemberMark);
    if (mark == std::string::npos)
        return false;
    archive = path.substr(0, mark);
    member = path.substr(mark + 2);
    return true;
}

}  // namespace

std::string MemberPath(const std::string& archive, const std::string& member)
{
    return archive + kMemberMark + member;
}

namespace {

// The member files of the archive open as fd, named as path's; none when it is no archive.
std::vector<std::string> Members(int fd, const std::string& path)
{
    std::vector<std::string> members;
    // A compressed tar is an archive too; a compressed file alone is not.
    if (!Archived(fd) && !Compressed(fd))
        return members;
    Reader reader = OpenReader(fd, path, true);
    archive_entry* entry = nullptr;
    for (;;) {
        const int next = archive_read_next_header(reader.get(), &entry);
        if (next == ARCHIVE_EOF)
            break;
        if (next < ARCHIVE_WARN) {
            // A compressed file that is not a tar: no members.
            if (members.empty() && !Archived(fd))
                return {};
            Damaged(reader.get(), path, fd);
        }
        if (archive_entry_filetype(entry) == AE_IFREG && archive_entry_pathname(entry))
            members.push_back(MemberPath(path, archive_entry_pathname(entry)));
    }
    return members;
}

}  // namespace

std::vector<std::string> ArchiveMembers(const std::string& path)
{
    return Members(OpenRegularFileForReading(path, true).Get(), path);
}

std::vector<std::string> ListEntries(const std::string& path)
{
    try {
        std::vector<std::string> members = ArchiveMembers(path);
        if (!members.empty())
            return members;
    } catch (const std::exception&) {
    }
    return {path};
}

UniqueFd OpenForImport(const std::string& path, const std::string& folder)
{
    std::string archive, member;
    if (!SplitMember(path, archive, member))
        return OpenForImport(OpenRegularFileForReading(path, true), path, folder);
    const UniqueFd fd = OpenRegularFileForReading(archive, true);
    Reader reader = OpenReader(fd.Get(), archive, true);
    archive_entry* entry = nullptr;
    for (;;) {
        const int next = archive_read_next_header(reader.get(), &entry);
        if (next == ARCHIVE_EOF)
            throw PackedFileError(archive + " holds no member " + member);
        if (next < ARCHIVE_WARN)
            Damaged(reader.get(), archive, fd.Get());
        if (archive_entry_filetype(entry) == AE_IFREG && archive_entry_pathname(entry) &&
            member == archive_entry_pathname(entry))
            return Spool(reader.get(), path, folder, fd.Get());
    }
}

UniqueFd OpenForImport(UniqueFd file, const std::string& name, const std::string& folder)
{
    // An archive's bytes are no text: its members are.
    const auto refuseArchive = [&](int fd) {
        if (!Archived(fd))
            return;
        Members(fd, name);  // a damaged one says where
        throw PackedFileError(name + " is an archive: add it to the list to import each of its files");
    };
    refuseArchive(file.Get());
    if (!Compressed(file.Get()))
        return file;
    Reader reader = OpenReader(file.Get(), name, false);
    archive_entry* entry = nullptr;
    // The library cannot tell a stream that holds nothing from one it cannot undo: both are refused.
    if (archive_read_next_header(reader.get(), &entry) != ARCHIVE_OK)
        throw PackedFileError("Cannot read " + name + ": it is damaged, or holds nothing (at byte " +
                              std::to_string(archive_filter_bytes(reader.get(), -1)) + " of the file)");
    UniqueFd spooled = Spool(reader.get(), name, folder, file.Get());
    refuseArchive(spooled.Get());
    return spooled;
}

}  // namespace qb
