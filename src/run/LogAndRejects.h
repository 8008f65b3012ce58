#pragma once

#include <cstdio>
#include <ctime>
#include <string>
#include <sys/types.h>

namespace qb {

// $XDG_STATE_HOME/quillbarrow, else ~/.local/state/quillbarrow.
std::string DefaultLogFolder();

// A plain-text log of one run: per file its path, table and rows sent, and
// every rejected line with its number, the report's description and its
// first kContextBytes bytes. Named by the run's start; the newest logs are
// kept, the rest go. The folder is made 0700 and each log 0600: they hold
// refused lines.
// Never throws: a log that cannot be written says so in Error().
class RunLog {
public:
    static constexpr int kKept = 50;

    // An empty folder keeps no log.
    RunLog(const std::string& folder, std::time_t start);
    // One file's part of a run's log, written by a job and added to the log in the list's order: kept in
    // memory, and only past kPartInMemory in a file at part.
    explicit RunLog(const std::string& part);
    static constexpr long kPartInMemory = 1 << 20;
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    void File(const std::string& path);
    void Table(const std::string& table);
    // A word about the run itself, not about one file.
    void Note(const std::string& text);
    void Rejected(long line, const std::string& description, int copyFd, off_t offset, std::size_t length);
    void FileDone(long rows);
    void Finish(const std::string& summary);
    // A part's text as far as it stayed in memory; the rest is in its file. Ends the part.
    std::string TakePart();
    // Adds a part: its text, then its file where there is one, which then goes.
    void Append(const std::string& text, const std::string& part);

    const std::string& Path() const { return m_path; }
    const std::string& Error() const { return m_error; }

private:
    void Write(const std::string& text);
    void Failed(const std::string& what);
    void Spill();

    std::FILE* m_file = nullptr;
    std::string m_path;
    std::string m_error;
    char* m_memory = nullptr;  // a part's text while it is in memory
    std::size_t m_memorySize = 0;
    bool m_inMemory = false;
};

// Every refused line, exactly as read and ended by CR LF, so that it can be
// mended and imported again. Created empty, or emptied, when the run starts,
// and 0600 either way.
// Beside it, where asked for, a file of why: "PATH<TAB>LINE<TAB>REASON" per
// refused line, in the same order, tabs and line ends in PATH and REASON
// made spaces.
class RejectsFile {
public:
    // Either path empty: none of that file. whenNeeded: made at the first line added (a job's part).
    explicit RejectsFile(const std::string& path, const std::string& reasonsPath = {}, bool whenNeeded = false);
    ~RejectsFile();
    RejectsFile(const RejectsFile&) = delete;
    RejectsFile& operator=(const RejectsFile&) = delete;

    void Add(int copyFd, off_t offset, std::size_t length);
    void AddReason(const std::string& path, long line, const std::string& reason);
    // Adds what a job wrote for one file into its own pair of files (empty paths where none), then removes them.
    void Append(const std::string& part, const std::string& reasonsPart);
    const std::string& Error() const { return m_error; }
    const std::string& ReasonsError() const { return m_reasonsError; }

private:
    void Open();

    std::FILE* m_file = nullptr;
    std::string m_path;
    std::string m_error;
    std::FILE* m_reasons = nullptr;
    std::string m_reasonsPath;
    std::string m_reasonsError;
    bool m_opened = false;
};

// Copies the whole of the file at path, where there is one, to out; false where it cannot be read or written.
bool CopyPart(const std::string& path, std::FILE* out);

// Copies length bytes from offset of fd to out; false on a read or write error.
bool CopyBytes(int fd, off_t offset, std::size_t length, std::FILE* out);

// Up to max bytes from offset of fd.
std::string ReadBytes(int fd, off_t offset, std::size_t length, std::size_t max);

}  // namespace qb
