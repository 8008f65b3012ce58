#include "run/LogAndRejects.h"

#include "base/SafeFile.h"
#include "run/ImportHost.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qb {
namespace {

std::string Reason(int error)
{
    return std::strerror(error);
}

// Logs and rejects hold the bytes of refused lines: ours alone, whatever the
// umask, and whatever mode a rejects file we replace had.
std::FILE* OpenPrivate(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0600);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    // Only a plain file: a terminal or a pipe named as the rejects file keeps
    // its mode. Another user's file may refuse; it is written all the same.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 07777) != 0600)
        (void)::fchmod(fd, 0600);
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

}  // namespace

std::string DefaultLogFolder()
{
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return std::string(state) + "/quillbarrow";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/state/quillbarrow";
    return {};
}

bool CopyBytes(int fd, off_t offset, std::size_t length, std::FILE* out)
{
    char buffer[1 << 16];
    while (length > 0) {
        const ssize_t got = ::pread(fd, buffer, std::min(length, sizeof buffer), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        if (std::fwrite(buffer, 1, static_cast<std::size_t>(got), out) != static_cast<std::size_t>(got))
            return false;
        offset += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

std::string ReadBytes(int fd, off_t offset, std::size_t length, std::size_t max)
{
    std::string bytes(std::min(length, max), '\0');
    try {
        bytes.resize(ReadFully(fd, bytes.data(), bytes.size(), offset, {}));
    } catch (const std::system_error&) {
        bytes.clear();  // a report goes on without its line's bytes
    }
    return bytes;
}

RunLog::RunLog(const std::string& folder, std::time_t start)
{
    if (folder.empty())
        return;
    // Its parents as any folder; the log folder itself is ours alone.
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), error);
    if (!error && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        error.assign(errno, std::generic_category());
    if (error) {
        Failed("Cannot make the log folder " + folder + ": " + error.message());
        return;
    }
    // The oldest go first: names sort by the time they carry.
    std::vector<std::filesystem::path> logs;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".log")
            logs.push_back(it->path());
    }
    std::sort(logs.begin(), logs.end());
    for (std::size_t i = 0; i + kKept <= logs.size(); ++i)
        std::filesystem::remove(logs[i], error);

    char stamp[32];
    std::tm local {};
    ::localtime_r(&start, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    for (int n = 0; n < 100 && !m_file; ++n) {
        m_path = folder;
        m_path += '/';
        m_path += stamp;
        if (n > 0)
            m_path += '_' + std::to_string(n);
        m_path += ".log";
        m_file = OpenPrivate(m_path, O_EXCL);  // never an earlier run's log
        if (!m_file && errno != EEXIST)
            break;
    }
    if (!m_file)
        Failed("Cannot write the log " + m_path + ": " + Reason(errno));
}

RunLog::RunLog(const std::string& part) : m_path(part)
{
    m_file = ::open_memstream(&m_memory, &m_memorySize);
    m_inMemory = m_file != nullptr;
    if (!m_file)
        Failed("Cannot write the log " + part + ": " + Reason(errno));
}

// A part that grows past kPartInMemory goes on in its file: a job's memory stays flat.
void RunLog::Spill()
{
    if (!m_inMemory || !m_file || std::ftell(m_file) < kPartInMemory)
        return;
    std::fflush(m_file);
    std::FILE* file = OpenPrivate(m_path, O_EXCL);
    if (!file || std::fwrite(m_memory, 1, m_memorySize, file) != m_memorySize) {
        if (file)
            std::fclose(file);
        Failed("Cannot write the log " + m_path + ": " + Reason(errno));
        return;
    }
    std::fclose(m_file);
    std::free(m_memory);
    m_memory = nullptr;
    m_inMemory = false;
    m_file = file;
}

std::string RunLog::TakePart()
{
    std::string text;
    if (m_file && std::fflush(m_file) != 0)
        Failed("Cannot write the log " + m_path + ": " + Reason(errno));
    if (m_inMemory && m_memory)
        text.assign(m_memory, m_memorySize);
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
    return text;
}

bool CopyPart(const std::string& path, std::FILE* out)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    struct stat info {};
    const bool copied = ::fstat(fd, &info) == 0 && CopyBytes(fd, 0, static_cast<std::size_t>(info.st_size), out) &&
                       std::fflush(out) == 0;
    ::close(fd);
    return copied;
}

void RunLog::Append(const std::string& text, const std::string& part)
{
    Write(text);
    if (m_file && !CopyPart(part, m_file))
        Failed("Cannot write the log " + m_path + ": " + Reason(errno));
    ::unlink(part.c_str());
}

RunLog::~RunLog()
{
    if (m_file)
        std::fclose(m_file);
    std::free(m_memory);
}

void RunLog::Failed(const std::string& what)
{
    if (m_error.empty())
        m_error = what;
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

void RunLog::Write(const std::string& text)
{
    if (m_file && std::fwrite(text.data(), 1, text.size(), m_file) != text.size())
        Failed("Cannot write the log " + m_path + ": " + Reason(errno));
    Spill();
}

void RunLog::File(const std::string& path)
{
    Write("File: " + path + "\n");
}

void RunLog::Table(const std::string& table)
{
    Write("Table: " + table + "\n");
}

void RunLog::Note(const std::string& text)
{
    Write("Note: " + text + "\n");
}

void RunLog::Rejected(long line, const std::string& description, int copyFd, off_t offset, std::size_t length)
{
    if (!m_file)
        return;
    std::string text = "Rejected line " + std::to_string(line) + ": ";
    for (const char c : description)
        text += (c == '\r' || c == '\n') ? ' ' : c;
    Write(text + "\n  ");
    // As the error box shows it: the first bytes find the line; the rejects file has it whole.
    const std::size_t kept = std::min(length, kContextBytes);
    if (m_file && kept > 0 && !CopyBytes(copyFd, offset, kept, m_file))
        Failed("Cannot write the log " + m_path + ": " + Reason(errno));
    Write(kept < length ? "\u2026 (" + std::to_string(length) + " bytes in all)\n" : "\n");
}

void RunLog::FileDone(long rows)
{
    Write("Rows sent: " + std::to_string(rows) + "\n\n");
}

void RunLog::Finish(const std::string& summary)
{
    Write(summary + "\n");
    if (m_file && std::fflush(m_file) != 0)
        Failed("Cannot write the log " + m_path + ": " + Reason(errno));
}

RejectsFile::RejectsFile(const std::string& path, const std::string& reasonsPath, bool whenNeeded)
    : m_path(path), m_reasonsPath(reasonsPath)
{
    if (!whenNeeded)
        Open();
}

void RejectsFile::Open()
{
    if (std::exchange(m_opened, true))
        return;
    const std::string& path = m_path;
    const std::string& reasonsPath = m_reasonsPath;
    if (!reasonsPath.empty()) {
        m_reasons = OpenPrivate(reasonsPath, O_TRUNC);
        if (!m_reasons)
            m_reasonsError = "Cannot write the reasons for rejected lines to " + reasonsPath + ": " + Reason(errno);
    }
    if (path.empty())
        return;
    m_file = OpenPrivate(path, O_TRUNC);
    if (!m_file)
        m_error = "Cannot write the rejected lines to " + path + ": " + Reason(errno);
}

RejectsFile::~RejectsFile()
{
    if (m_file)
        std::fclose(m_file);
    if (m_reasons)
        std::fclose(m_reasons);
}

void RejectsFile::AddReason(const std::string& path, long line, const std::string& reason)
{
    Open();
    if (!m_reasons)
        return;
    // One line per refused line, three fields: what would cut them goes.
    auto field = [](std::string text) {
        for (char& c : text)
            c = c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
        return text;
    };
    const std::string text = field(path) + "\t" + std::to_string(line) + "\t" + field(reason) + "\n";
    if (std::fputs(text.c_str(), m_reasons) < 0 || std::fflush(m_reasons) != 0) {
        m_reasonsError = "Cannot write the reasons for rejected lines to " + m_reasonsPath + ": " + Reason(errno);
        std::fclose(m_reasons);
        m_reasons = nullptr;
    }
}

void RejectsFile::Append(const std::string& part, const std::string& reasonsPart)
{
    if (m_file && !part.empty() && !CopyPart(part, m_file)) {
        m_error = "Cannot write the rejected lines to " + m_path + ": " + Reason(errno);
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (m_reasons && !reasonsPart.empty() && !CopyPart(reasonsPart, m_reasons)) {
        m_reasonsError = "Cannot write the reasons for rejected lines to " + m_reasonsPath + ": " + Reason(errno);
        std::fclose(m_reasons);
        m_reasons = nullptr;
    }
    for (const std::string* path : {&part, &reasonsPart})
        if (!path->empty())
            ::unlink(path->c_str());
}

void RejectsFile::Add(int copyFd, off_t offset, std::size_t length)
{
    Open();
    if (!m_file)
        return;
    if ((length > 0 && !CopyBytes(copyFd, offset, length, m_file)) || std::fputs("\r\n", m_file) < 0 ||
        std::fflush(m_file) != 0) {
        m_error = "Cannot write the rejected lines to " + m_path + ": " + Reason(errno);
        std::fclose(m_file);
        m_file = nullptr;
    }
}

}  // namespace qb
