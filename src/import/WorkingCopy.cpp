#include "import/WorkingCopy.h"

#include "files/PathHelpers.h"
#include "base/SafeFile.h"
#include "import/LineReader.h"
#include "import/Records.h"
#include "import/TextDecoder.h"
#include "base/StepFailure.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qb {
namespace {

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(' ') == std::string::npos;
}

std::string SizeText(std::size_t bytes)
{
    return bytes >= (std::size_t(1) << 20) ? std::to_string(bytes >> 20) + " MB" : std::to_string(bytes) + " bytes";
}

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

std::string WorkingCopyPath()
{
    std::string folder = "/tmp";
    if (const char* temp = std::getenv("TEMP"); temp && *temp)
        folder = temp;
    else if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && *tmpdir)
        folder = tmpdir;
    return NormalizePath(folder + PathSeparator() + "upload.txt");
}

bool CopyFileIfPossible(const std::string& source, const std::string& target)
{
    if (IsBlank(source) || IsBlank(target))
        return false;
    const std::string from = NormalizePath(source);
    const std::string to = NormalizePath(target);
    // A '?' or '*' in an existing file's name is part of the name here, so
    // the file is copied as itself rather than as a pattern.
    if (!FileExistsOnDisk(from) || !IsDirectory(ParentFolder(to)))
        return false;
    return CopyFileReporting(from, to);
}

void DeleteFileForced(const std::string& path, ImportHost& host)
{
    host.Yield();
    // unlink, not remove: a folder in the working copy's place stays.
    ::unlink(path.c_str());
}

WorkingCopyBusy::WorkingCopyBusy(const std::string& workingCopy)
    : std::runtime_error("Another import is using the working copy " + workingCopy +
                         ". Try again when it has finished.")
{
}

WorkingCopyLock::WorkingCopyLock(const std::string& workingCopy)
{
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

PreparedCopy PrepareWorkingCopy(const std::string& source, const std::string& workingCopy, bool skipFirstLine,
                                ImportHost& host, const FileFormat& format, std::size_t maxLineLength)
{
    UniqueFd in;
    try {
        in = OpenRegularFileForReading(NormalizePath(source), true);
    } catch (const std::exception& error) {
        DeleteFileForced(workingCopy, host);
        throw StepFailure(126, error.what());
    }
    return PrepareWorkingCopy(in.Get(), source, workingCopy, skipFirstLine, host, format, maxLineLength);
}

UniqueFd SpoolStandardInput(const std::string& folder)
{
    UniqueFd spool(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!spool.Valid()) {
        // Not every file system has nameless files: a named one, gone at once.
        std::string pattern = folder + "/stdin.XXXXXX";
        spool.Reset(::mkostemp(pattern.data(), O_CLOEXEC));
        if (!spool.Valid())
            Fail(errno, "Cannot keep standard input in " + folder);
        ::unlink(pattern.c_str());
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            Fail(errno, "Cannot read standard input");
        if (got == 0)
            return spool;
        WriteFully(spool.Get(), {buffer.data(), static_cast<std::size_t>(got)}, "Cannot keep standard input in " + folder);
    }
}

// Byte order marks decide before anything else: UTF-8's is dropped, UTF-16's
// say how the file is to be read.
FileRecords::Start FileRecords::ReadStart(int fd, const std::string& name, const std::string& chosen)
{
    unsigned char head[3] = {};
    const std::size_t got = ReadFully(fd, reinterpret_cast<char*>(head), sizeof head, 0, name);
    if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
        return {3, chosen};
    if (got >= 2 && head[0] == 0xFF && head[1] == 0xFE)
        return {2, "UTF-16LE"};
    if (got >= 2 && head[0] == 0xFE && head[1] == 0xFF)
        return {2, "UTF-16BE"};
    return {0, chosen};
}

FileRecords::FileRecords(int fd, const std::string& name, const FileFormat& format, std::size_t maxLineLength)
    : FileRecords(fd, name, format, maxLineLength, ReadStart(fd, name, format.encoding))
{
}

FileRecords::FileRecords(int fd, const std::string& name, const FileFormat& format, std::size_t maxLineLength,
                         Start start)
    : m_encoding(start.encoding),
      m_lines(fd, name, maxLineLength, DetectLineEnds(fd, name, start.offset, start.encoding), start.offset,
              start.encoding.empty() ? nullptr : std::make_unique<TextDecoder>(start.encoding)),
      m_records(m_lines, format.separator, format.quoted)
{
}

bool FileRecords::Next(std::string& record)
{
    if (!m_records.Next(record))
        return false;
    m_line = m_next;
    m_next += m_records.Lines();
    return true;
}

bool FileRecords::Undecodable(const std::string& record) const
{
    return !m_encoding.empty() && record.find(kUndecodable) != std::string::npos;
}

PreparedCopy PrepareWorkingCopy(int in, const std::string& source, const std::string& workingCopy,
                                bool skipFirstLine, ImportHost& host, const FileFormat& format,
                                std::size_t maxLineLength)
{
    int step = 126;
    long number = 1;
    try {
        // The source is read once, straight into the working copy.
        FileRecords records(in, source, format, maxLineLength);
        SafeFileWriter writer(workingCopy);
        PreparedCopy prepared;
        std::string record;
        long written = 0;
        for (bool first = true;; first = false) {
            step = 136;
            number = records.NextLine();
            if (!records.Next(record))
                break;
            const long line = records.Line();
            host.Yield();
            if ((line & 1023) == 0 && host.StopRequested())
                throw ImportStopped{};
            if (first)
                prepared.header = record;
            if (first && skipFirstLine && !records.Unclosed())
                continue;
            step = 168;
            if (records.Unclosed())
                prepared.notes.push_back({written, line, "The record that begins on line " + std::to_string(line) +
                                                             " of " + source +
                                                             " has a double quote that is never closed. It was not sent."});
            else if (records.Undecodable(record))
                prepared.notes.push_back({written, line, "Line " + std::to_string(line) + " of " + source +
                                                             " cannot be converted from " + records.Encoding() +
                                                             " to UTF-8. It was not sent."});
            if (prepared.jumps.empty() || prepared.jumps.back().line - prepared.jumps.back().record != line - written)
                prepared.jumps.push_back({written, line});
            // Noted records are kept too, for the report's and the rejected lines' bytes.
            writer.Write(record);
            writer.Write("\r\n");
            ++written;
        }
        step = 170;
        prepared.copy = writer.CommitKeepingDescriptor();
        return prepared;
    } catch (const ImportStopped&) {
        throw;
    } catch (const std::length_error&) {
        DeleteFileForced(workingCopy, host);
        throw StepFailure(136, "Line " + std::to_string(number) + " of " + source + " is longer than " +
                                   SizeText(maxLineLength) + ": this is not a text file that can be imported.");
    } catch (const std::exception& error) {
        // Whatever an earlier file left there must not pass for this one.
        DeleteFileForced(workingCopy, host);
        throw StepFailure(step, error.what());
    }
}

}  // namespace qb
