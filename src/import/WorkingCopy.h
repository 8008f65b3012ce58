#pragma once

#include "base/UniqueFd.h"
#include "import/ImportHost.h"
#include "import/LineReader.h"
#include "import/Records.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace qb {

// "upload.txt" in the folder named by TEMP, or else the system's temporary
// folder. One path for every file of every run.
std::string WorkingCopyPath();

// Copies source to target, replacing it, when the source is an existing
// file and the target's folder exists. Never throws; tells whether it did.
bool CopyFileIfPossible(const std::string& source, const std::string& target);

// Deletes a file if it can; never throws.
void DeleteFileForced(const std::string& path, ImportHost& host);

// Another run holds the working copy.
class WorkingCopyBusy : public std::runtime_error {
public:
    explicit WorkingCopyBusy(const std::string& workingCopy);
};

// Held by a run from before its first working copy to its end, across
// processes: "<working copy>.lock" beside it carries an exclusive lock.
// Taking it also removes the temporary files that an interrupted run of
// ours left beside the working copy, since no live run can own them then.
class WorkingCopyLock {
public:
    // Throws WorkingCopyBusy, or std::system_error when the lock file cannot
    // be made or is not ours.
    explicit WorkingCopyLock(const std::string& workingCopy);

private:
    UniqueFd m_fd;
};

// How a file's text is read.
struct FileFormat {
    std::string separator = ",";
    bool quoted = false;   // fields may be in double quotes, records span lines
    std::string encoding;  // converted from to UTF-8; empty: bytes as they are
};

// A data record that is refused instead of sent, and why.
struct RecordNote {
    long record;  // its place among the working copy's records
    long line;    // where it began in the file
    std::string description;
};

// From this record on, record r began on line r + (line - record) of the file.
struct LineJump {
    long record;
    long line;
};

// Thrown while a file is read when the host asks the run to stop.
struct ImportStopped {};

// A file's records as the import reads them: byte order marks first (UTF-8's
// dropped, UTF-16's deciding the encoding), then the chosen encoding, LF
// line ends for a file with no CR, and quoted records when asked for.
class FileRecords {
public:
    // Reads fd by offset; name is what messages call it. Throws std::system_error.
    FileRecords(int fd, const std::string& name, const FileFormat& format, std::size_t maxLineLength = kMaxLineLength);

    // False at the end. Throws std::system_error and std::length_error.
    bool Next(std::string& record);
    long Line() const { return m_line; }      // where the last record began
    long NextLine() const { return m_next; }  // where the next one begins
    bool Unclosed() const { return m_records.Unclosed(); }
    // The last record holds bytes the encoding could not convert.
    bool Undecodable(const std::string& record) const;
    const std::string& Encoding() const { return m_encoding; }

private:
    // Where the text begins, and how it is to be read, after any byte order mark.
    struct Start {
        off_t offset;
        std::string encoding;
    };
    static Start ReadStart(int fd, const std::string& name, const std::string& chosen);
    FileRecords(int fd, const std::string& name, const FileFormat& format, std::size_t maxLineLength, Start start);

    std::string m_encoding;
    LineReader m_lines;
    RecordReader m_records;
    long m_line = 0;
    long m_next = 1;
};

struct PreparedCopy {
    std::string header;  // the first record as read (UTF-8 when converted); empty when there is none
    UniqueFd copy;       // the working copy as written, to be read through this
    std::vector<RecordNote> notes;  // in record order
    std::vector<LineJump> jumps;    // in record order; the first is record 0's
};

// Reads the source and writes the working copy with the data records, in
// UTF-8 when an encoding is given, each ended by CR LF. A file that starts
// with a byte order mark loses it; one of UTF-16 is read as UTF-16. A file
// with no CR at all has LF line ends. A record that cannot be converted, or
// whose quote is never closed (the last, then), is noted, to be refused in
// its place. Streams: one record is held at a time. Throws
// StepFailure with the failing step's line number and the system's own
// error text; on failure no working copy of an earlier file is left behind.
PreparedCopy PrepareWorkingCopy(const std::string& source, const std::string& workingCopy, bool skipFirstLine,
                                ImportHost& host, const FileFormat& format = {},
                                std::size_t maxLineLength = kMaxLineLength);
// The same from a file already open, read by offset; name is what messages call it.
PreparedCopy PrepareWorkingCopy(int source, const std::string& name, const std::string& workingCopy,
                                bool skipFirstLine, ImportHost& host, const FileFormat& format = {},
                                std::size_t maxLineLength = kMaxLineLength);

// Standard input, read to its end into a nameless file in folder, so that
// it can be read by offset like any file. Throws std::system_error.
UniqueFd SpoolStandardInput(const std::string& folder);

}  // namespace qb
