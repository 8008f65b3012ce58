#include "import/WorkingCopy.h"

#include "files/PackedFiles.h"
#include "files/PathHelpers.h"
#include "import/FileRecords.h"
#include "import/StatementBuilder.h"
#include "base/SafeFile.h"
#include "base/StepFailure.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
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

// /tmp is every user's: there a folder of our own holds the working copy and
// its lock, so that the first user's files cannot lock the others out.
std::string PrivateFolderName()
{
    return "quillbarrow-" + std::to_string(::geteuid());
}

// A working copy in a folder named as ours: the folder is made when missing,
// and refused when another user could reach it (theirs, open to others, a
// link, not a folder), since they could read the copy or plant files in it.
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

UniqueFd OpenSource(const std::string& source, const std::string& workingCopy)
{
    try {
        return OpenInput(source);
    } catch (const std::exception& error) {
        ::unlink(workingCopy.c_str());
        throw StepFailure(126, error.what());
    }
}

PreparedCopy PrepareWorkingCopy(const std::string& source, const std::string& workingCopy, bool header,
                                ImportHost& host, const FileFormat& format, TypeLearning* types)
{
    const UniqueFd in = OpenSource(source, workingCopy);
    return PrepareWorkingCopy(in.Get(), source, workingCopy, header, host, format, types);
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

PreparedCopy PrepareWorkingCopy(int in, const std::string& source, const std::string& workingCopy, bool header,
                                ImportHost& host, const FileFormat& format, TypeLearning* types)
{
    int step = 126;
    try {
        // The source is read once, straight into the working copy.
        FileRecords records(in, source, format, header);
        SafeFileWriter writer(workingCopy);
        PreparedCopy prepared;
        prepared.header = records.Header();
        prepared.name = workingCopy;
        prepared.readAs = records.ReadAs();
        prepared.encodingDoubt = records.EncodingDoubt();
        prepared.encodingWarning = records.EncodingWarning();
        if (types) {
            const auto& fields = types->splitter.Split(prepared.header);
            types->columns = fields.size();
        }
        // A converted record's own bytes are kept for the rejected lines.
        std::string spans;
        if (!records.Encoding().empty()) {
            prepared.source.Reset(::fcntl(in, F_DUPFD_CLOEXEC, 0));
            if (!prepared.source.Valid())
                Fail(errno, "Cannot keep " + source + " open");
            const std::string folder = ParentFolder(workingCopy);
            prepared.spans = NamelessFile(folder.empty() ? "." : folder, "the lines' places");
        }
        FileRecord record;
        for (;;) {
            step = 136;
            if (!records.Next(record))
                break;
            host.Yield();
            // By record, not by line: records may skip every line number that would be polled.
            if ((record.index & 255) == 0 && host.StopRequested())
                throw ImportStopped{};
            step = 168;
            if (!record.note.empty())
                prepared.notes.push_back({record.index, record.line, std::move(record.note)});
            const auto& last = prepared.lines;
            if (last.empty() || last.back().line - last.back().record != record.line - record.index)
                prepared.lines.push_back({record.index, record.line});
            writer.Write(record.text);
            writer.Write("\r\n");
            if (types && record.note.empty()) {
                const auto& fields = types->splitter.SplitInPlace(record.text);
                if (fields.size() == types->columns)
                    types->guesser.Observe(fields);
            }
            if (prepared.spans.Valid()) {
                const off_t span[2] = {record.offset, record.end};
                spans.append(reinterpret_cast<const char*>(span), sizeof span);
                if (spans.size() >= (std::size_t(1) << 16)) {
                    WriteFully(prepared.spans.Get(), spans, "Cannot keep the lines' places of " + source);
                    spans.clear();
                }
            }
        }
        if (prepared.spans.Valid())
            WriteFully(prepared.spans.Get(), spans, "Cannot keep the lines' places of " + source);
        step = 170;
        prepared.copy = writer.CommitKeepingDescriptor();
        return prepared;
    } catch (const ImportStopped&) {
        throw;
    } catch (const NotImportable& error) {
        ::unlink(workingCopy.c_str());
        throw StepFailure(136, error.what());
    } catch (const std::exception& error) {
        // Whatever an earlier file left there must not pass for this one;
        // unlink, not remove: a folder in the working copy's place stays.
        ::unlink(workingCopy.c_str());
        throw StepFailure(step, error.what());
    }
}

bool SourceSpan(const PreparedCopy& copy, long record, off_t& start, off_t& end)
{
    off_t span[2] = {};
    if (!copy.spans.Valid() || record < 0 ||
        ::pread(copy.spans.Get(), span, sizeof span, static_cast<off_t>(record) * static_cast<off_t>(sizeof span)) !=
            static_cast<ssize_t>(sizeof span))
        return false;
    start = span[0];
    end = span[1];
    return true;
}

}  // namespace qb
