#pragma once

#include "import/ImportHost.h"
#include "import/LineReader.h"

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

// Copies the source to the working copy and rewrites the working copy with
// the data lines, each ended by CR LF. Returns the first line as read (empty
// for a file with no lines). Streams: only one line is held at a time.
// Throws StepFailure with the failing step's line number; when the copy
// itself fails, no working copy is left behind.
std::string PrepareWorkingCopy(const std::string& source, const std::string& workingCopy,
                               bool skipFirstLine, ImportHost& host, std::size_t maxLineLength = kMaxLineLength);

}  // namespace qb
