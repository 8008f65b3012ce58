#include "files/PackedFiles.h"

#include "base/SafeFile.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qb {
namespace {

constexpr std::size_t kBlock = 1 << 16;
constexpr std::size_t kHead = 6;  // what tells a compression

struct ArchiveFree {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using Reader = std::unique_ptr<archive, ArchiveFree>;

// A compressed stream's compression, by its first bytes; ARCHIVE_FILTER_NONE when it is none.
int Compression(std::string_view head)
{
    const auto starts = [&](std::string_view magic) { return head.starts_with(magic); };
    using namespace std::string_view_literals;
    return starts("\x1F\x8B\x08"sv)                                          ? ARCHIVE_FILTER_GZIP
           : starts("BZh"sv) && head.size() > 3 && head[3] >= '1' && head[3] <= '9' ? ARCHIVE_FILTER_BZIP2
           : starts("\xFD" "7zXZ\0"sv)                                        ? ARCHIVE_FILTER_XZ
           : starts("\x28\xB5\x2F\xFD"sv)                                      ? ARCHIVE_FILTER_ZSTD
                                                                              : ARCHIVE_FILTER_NONE;
}

int Compression(int fd)
{
    std::array<char, kHead> head{};
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    return Compression(std::string_view(head.data(), got > 0 ? static_cast<std::size_t>(got) : 0));
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

// The file a reader reads, through our own calls, so that a failure can tell whether the file ran out.
struct Source {
    int fd;
    bool ended = false;  // a read found the file's end
    std::unique_ptr<char[]> block = std::make_unique_for_overwrite<char[]>(kBlock);
};

la_ssize_t SourceRead(archive* reader, void* data, const void** buffer)
{
    auto& source = *static_cast<Source*>(data);
    *buffer = source.block.get();
    ssize_t got = 0;
    do
        got = ::read(source.fd, source.block.get(), kBlock);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        archive_set_error(reader, errno, "%s", std::strerror(errno));
    source.ended = source.ended || got == 0;
    return got;
}

// Skips by seeking; 0 lets the library read past instead.
la_int64_t SourceSkip(archive*, void* data, la_int64_t request)
{
    const auto& source = *static_cast<Source*>(data);
    return ::lseek(source.fd, static_cast<off_t>(request), SEEK_CUR) < 0 ? 0 : request;
}

// A reader of a file from its start, through every decompressor; archives too when asked.
struct Stream {
    Stream(int fd, const std::string& name, bool archives);
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // nothingOut: no byte came out, so the library's reason is only that it found no format.
    [[noreturn]] void Damaged(const std::string& name, bool nothingOut = false) const;

    Source source;
    Reader reader;
};

Stream::Stream(int fd, const std::string& name, bool archives) : source{fd}, reader(archive_read_new())
{
    if (!reader)
        throw std::bad_alloc();
    // Exactly the one compression the first bytes name, undone once: the library's own guessing
    // would undo any that the text itself looks like (uuencode, lzma alone, another gzip).
    if (const int compression = Compression(fd); compression != ARCHIVE_FILTER_NONE &&
                                                 archive_read_append_filter(reader.get(), compression) != ARCHIVE_OK)
        Damaged(name);
    if (archives) {
        // Zip and tar only: some other formats (mtree, say) would read plain text as a list of files.
        archive_read_support_format_tar(reader.get());
        archive_read_support_format_zip(reader.get());
    } else {
        archive_read_support_format_raw(reader.get());
    }
    if (::lseek(fd, 0, SEEK_SET) != 0 || archive_read_set_read_callback(reader.get(), SourceRead) != ARCHIVE_OK ||
        archive_read_set_skip_callback(reader.get(), SourceSkip) != ARCHIVE_OK ||
        archive_read_set_callback_data(reader.get(), &source) != ARCHIVE_OK || archive_read_open1(reader.get()) != ARCHIVE_OK)
        Damaged(name, !archives);  // raw: opening bids on the first byte out
}

void Stream::Damaged(const std::string& name, bool nothingOut) const
{
    struct stat info {};
    if (source.ended && ::fstat(source.fd, &info) == 0) {
        // A stream that holds nothing reads to its end too: the library cannot tell it from a cut one.
        throw PackedFileError("Cannot read " + name + ": it ends early, at byte " + std::to_string(info.st_size) +
                              (nothingOut ? ", or holds nothing" : ""));
    }
    const char* why = nothingOut ? nullptr : archive_error_string(reader.get());
    la_int64_t at = archive_filter_bytes(reader.get(), -1);
    if (at < 0)
        at = ::lseek(source.fd, 0, SEEK_CUR);
    throw PackedFileError("Cannot read " + name + ": " + (why ? why : "it is damaged") + " (at byte " +
                          std::to_string(at) + " of the file)");
}

// Whether bytes, after a run of run bytes without a line end, make a run of more than limit;
// run becomes the run they end with.
bool RunsPast(const char* bytes, std::size_t size, std::uint64_t& run, std::size_t limit)
{
    if (limit < size) {
        // A limit this small (tests, the fuzz target) is passed inside one piece: every byte counts.
        for (std::size_t i = 0; i < size; ++i) {
            run = bytes[i] == '\r' || bytes[i] == '\n' ? 0 : run + 1;
            if (run > limit)
                return true;
        }
        return false;
    }
    // Else only a run that goes on across pieces can pass it: the piece's first and last.
    const auto* lf = static_cast<const char*>(std::memchr(bytes, '\n', size));
    const auto* cr = static_cast<const char*>(std::memchr(bytes, '\r', size));
    const char* first = lf && cr ? std::min(lf, cr) : lf ? lf : cr;
    if (!first)
        return (run += size) > limit;
    if (run + static_cast<std::uint64_t>(first - bytes) > limit)
        return true;
    lf = static_cast<const char*>(::memrchr(bytes, '\n', size));
    cr = static_cast<const char*>(::memrchr(bytes, '\r', size));
    const char* last = !lf ? cr : !cr ? lf : std::max(lf, cr);
    run = static_cast<std::uint64_t>(bytes + size - last - 1);
    return false;
}

// The number of the first line of the spooled bytes that is longer than limit; CR LF, a lone CR
// and a lone LF each end one.
long LongLine(int fd, std::size_t limit)
{
    long line = 1;
    std::uint64_t run = 0;
    bool afterCr = false;
    std::array<char, kBlock> buffer{};
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
        if (got <= 0)
            return line;
        for (ssize_t i = 0; i < got; ++i) {
            const char c = buffer[static_cast<std::size_t>(i)];
            line += c == '\r' || (c == '\n' && !afterCr);
            afterCr = c == '\r';
            run = c == '\r' || c == '\n' ? 0 : run + 1;
            if (run > limit)
                return line;
        }
        at += got;
    }
}

// The current entry's data, decompressed into a nameless file, stopped at a run of more than
// maxLine bytes without a line end: a small file may expand without end. A member's limit waits
// for its own compression, if it has one, to be undone.
UniqueFd Spool(const Stream& stream, const std::string& name, const std::string& folder, std::size_t maxLine,
               bool member)
{
    UniqueFd out = NamelessFile(folder, name);
    const auto buffer = std::make_unique_for_overwrite<char[]>(kBlock);
    std::uint64_t run = 0;  // bytes since the last line end
    std::string head;       // a member's first bytes, held until they tell
    bool watch = !member;
    for (;;) {
        const la_ssize_t got = archive_read_data(stream.reader.get(), buffer.get(), kBlock);
        if (got < 0)
            stream.Damaged(name);
        std::string_view piece(buffer.get(), static_cast<std::size_t>(got));
        if (member) {
            head.append(piece);
            if (got > 0 && head.size() < kHead)
                continue;
            member = false;
            watch = Compression(head) == ARCHIVE_FILTER_NONE;
            piece = head;
        }
        if (piece.empty())
            return out;
        WriteFully(out.Get(), piece, "Cannot keep " + name + " in " + folder);
        if (watch && RunsPast(piece.data(), piece.size(), run, maxLine))
            throw PackedLineTooLong(LongLine(out.Get(), maxLine), name);
        if (got == 0)
            return out;
    }
}

// The member files of the archive open as fd, named as path's; none when it is no archive.
std::vector<std::string> Members(int fd, const std::string& path)
{
    std::vector<std::string> members;
    // A compressed tar is an archive too; a compressed file alone is not.
    if (!Archived(fd) && !Compressed(fd))
        return members;
    const Stream stream(fd, path, true);
    std::map<std::string, int> copies;
    archive_entry* entry = nullptr;
    for (;;) {
        const int next = archive_read_next_header(stream.reader.get(), &entry);
        if (next == ARCHIVE_EOF)
            break;
        if (next < ARCHIVE_WARN) {
            // A compressed file that is not a tar: no members.
            if (members.empty() && !Archived(fd))
                return {};
            stream.Damaged(path);
        }
        if (const char* name = archive_entry_pathname(entry); name && archive_entry_filetype(entry) == AE_IFREG)
            members.push_back(MemberPath(path, name, ++copies[name]));
    }
    return members;
}

// A file's bytes as text: one layer of compression undone, an archive refused. A decompressed
// stream is an archive only when its files can be listed: one that merely begins as one is text.
UniqueFd Unpack(UniqueFd file, const std::string& name, const std::string& folder, std::size_t maxLine, bool member)
{
    const auto refuse = [&] {
        throw PackedFileError(member ? name + " is an archive within an archive: extract it to import each of its files"
                                     : name + " is an archive: add it to the list to import each of its files");
    };
    if (Archived(file.Get())) {
        if (!member)
            Members(file.Get(), name);  // a damaged one says where
        refuse();
    }
    if (!Compressed(file.Get()))
        return file;
    UniqueFd spooled;
    {
        const Stream stream(file.Get(), name, false);
        archive_entry* entry = nullptr;
        if (archive_read_next_header(stream.reader.get(), &entry) != ARCHIVE_OK)
            stream.Damaged(name, true);
        spooled = Spool(stream, name, folder, maxLine, false);
    }
    std::vector<std::string> inside;
    try {
        if (Archived(spooled.Get()))
            inside = Members(spooled.Get(), name);
    } catch (const PackedFileError&) {
    }
    if (!inside.empty())
        refuse();
    return spooled;
}

// The archive and the member a list entry names, and which copy of that name; false for a file of its own.
bool SplitMember(const std::string& path, std::string& archive, std::string& member, int& copy)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return false;
    // The archive is the first part that is a file: a folder's name may end in the mark too.
    for (auto mark = path.find('!'); mark != std::string::npos; mark = path.find('!', mark + 1)) {
        std::size_t slash = mark + 1;
        while (slash < path.size() && slash - mark <= 9 && std::isdigit(static_cast<unsigned char>(path[slash])))
            ++slash;
        if (slash >= path.size() || path[slash] != '/')
            continue;
        const int number = slash == mark + 1 ? 1 : std::stoi(path.substr(mark + 1, slash - mark - 1));
        if (number < 1 || (slash > mark + 1 && (number < 2 || path[mark + 1] == '0')))
            continue;
        const std::string prefix = path.substr(0, mark);
        if (::stat(prefix.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        archive = prefix;
        member = path.substr(slash + 1);
        copy = number;
        return true;
    }
    return false;
}

// An archive read front to back, each member spooled when it is reached: members asked for in
// the archive's order cost one reading of it, however many it holds. Asking for one behind the
// reader reads it again from the start.
class ArchiveCursor {
public:
    UniqueFd Open(const std::string& archive, const std::string& member, int copy, const std::string& entry,
                  const std::string& folder, std::size_t maxLine);

private:
    UniqueFd Find(const std::string& archive, const std::string& member, int copy, const std::string& entry,
                  const std::string& folder, std::size_t maxLine);

    std::string m_archive;
    struct stat m_info {};
    UniqueFd m_file;
    std::unique_ptr<Stream> m_stream;
    std::map<std::string, int> m_copies;  // the copies of each name read past
};

UniqueFd ArchiveCursor::Open(const std::string& archive, const std::string& member, int copy, const std::string& entry,
                             const std::string& folder, std::size_t maxLine)
{
    UniqueFd file = OpenRegularFileForReading(archive, true);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        throw std::system_error(errno, std::generic_category(), "Cannot open " + archive);
    const auto passed = m_copies.find(member);
    const bool same = m_stream && archive == m_archive && info.st_dev == m_info.st_dev && info.st_ino == m_info.st_ino &&
                      info.st_size == m_info.st_size && info.st_mtim.tv_sec == m_info.st_mtim.tv_sec &&
                      info.st_mtim.tv_nsec == m_info.st_mtim.tv_nsec;
    if (!same || (passed != m_copies.end() && passed->second >= copy)) {
        m_stream.reset();
        m_copies.clear();
        m_file = std::move(file);
        m_archive = archive;
        m_info = info;
        m_stream = std::make_unique<Stream>(m_file.Get(), archive, true);
    }
    UniqueFd spooled;
    try {
        spooled = Find(archive, member, copy, entry, folder, maxLine);
    } catch (...) {
        m_stream.reset();  // a reader that failed cannot go on
        throw;
    }
    return Unpack(std::move(spooled), entry, folder, maxLine, true);
}

UniqueFd ArchiveCursor::Find(const std::string& archive, const std::string& member, int copy, const std::string& entry,
                             const std::string& folder, std::size_t maxLine)
{
    archive_entry* header = nullptr;
    for (;;) {
        const int next = archive_read_next_header(m_stream->reader.get(), &header);
        if (next == ARCHIVE_EOF)
            throw PackedFileError(archive + " holds no " + (copy > 1 ? "copy " + std::to_string(copy) + " of a " : "") +
                                  "member " + member);
        if (next < ARCHIVE_WARN)
            m_stream->Damaged(archive);
        const char* name = archive_entry_pathname(header);
        if (!name || archive_entry_filetype(header) != AE_IFREG)
            continue;
        if (++m_copies[name] == copy && member == name)
            return Spool(*m_stream, entry, folder, maxLine, true);
    }
}

}  // namespace

PackedLineTooLong::PackedLineTooLong(long line, const std::string& name)
    : PackedFileError("Line " + std::to_string(line) + " of " + name + " is too long to be text"), m_line(line), m_name(name)
{
}

std::string MemberPath(const std::string& archive, const std::string& member, int copy)
{
    return copy > 1 ? archive + "!" + std::to_string(copy) + "/" + member : archive + kMemberMark + member;
}

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

UniqueFd OpenForImport(const std::string& path, const std::string& folder, std::size_t maxLine)
{
    std::string archive, member;
    int copy = 1;
    if (!SplitMember(path, archive, member, copy))
        return OpenForImport(OpenRegularFileForReading(path, true), path, folder, maxLine);
    // One reader kept for the next member; a second thread meanwhile reads on its own.
    static std::mutex lock;
    static ArchiveCursor shared;
    if (const std::unique_lock held(lock, std::try_to_lock); held)
        return shared.Open(archive, member, copy, path, folder, maxLine);
    ArchiveCursor own;
    return own.Open(archive, member, copy, path, folder, maxLine);
}

UniqueFd OpenForImport(UniqueFd file, const std::string& name, const std::string& folder, std::size_t maxLine)
{
    return Unpack(std::move(file), name, folder, maxLine, false);
}

}  // namespace qb
