#pragma once

#include "filelist/UniqueFd.h"
#include "import/ImportHost.h"
#include "import/LineReader.h"

#include <stdexcept>
#include <string>

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

struct PreparedCopy {
    std::string header;  // the first line as read; empty for a file with no lines
    UniqueFd copy;       // the working copy as written, to be read through this
};

// Reads the source and writes the working copy with the data lines, each
// ended by CR LF. Streams: only one line is held at a time. Throws
// StepFailure with the failing step's line number and the system's own
// error text; on failure no working copy of an earlier file is left behind.
PreparedCopy PrepareWorkingCopy(const std::string& source, const std::string& workingCopy,
                                bool skipFirstLine, ImportHost& host, std::size_t maxLineLength = kMaxLineLength);

}  // namespace qb
