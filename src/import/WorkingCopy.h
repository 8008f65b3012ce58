#pragma once

#include "base/UniqueFd.h"
#include "import/ImportHost.h"
#include "import/ColumnTypes.h"
#include "import/FileRecords.h"
#include "import/Records.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace qb {

// "upload.txt" in the folder named by TEMP, else TMPDIR, else in our own
// folder "/tmp/quillbarrow-<uid>" (made 0700 when missing). One path for
// every file of every run.
std::string WorkingCopyPath();

// The folder of the working copy, made or checked as for a run: where a
// packed file's bytes are spooled to be read.
std::string SpoolFolder();

// The bytes of a file to import, as OpenForImport gives them: spooled in
// SpoolFolder() when packed. Throws std::system_error or PackedFileError.
UniqueFd OpenInput(const std::string& path);

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
    // be made or is not ours, or the folder "quillbarrow-<uid>" it lies in is
    // not ours alone.
    explicit WorkingCopyLock(const std::string& workingCopy);

private:
    UniqueFd m_fd;
};

// A data record that is refused instead of sent, and why.
struct RecordNote {
    long record;  // its place among the working copy's records
    long line;    // where it began in the file
    std::string description;
};

// Record `record` began on line `line` of the file, and the records after
// it on the lines that follow, up to the next such mark.
struct RecordLine {
    long record;
    long line;
};

// Thrown while a file is read when the host asks the run to stop.
struct ImportStopped {};

// A file read once into its working copy, for the sender to read back.
// A new table's column types, learnt in the pass that writes the working
// copy: from every record the import would send, that is, one without a note
// and with as many values as the table has columns.
struct TypeLearning {
    RecordSplitter splitter;
    TypeGuesser guesser;
    std::size_t columns = 0;  // known once the header is read
};

struct PreparedCopy {
    std::string header;  // the first record as read (UTF-8 when converted); empty when there is none
    UniqueFd copy;       // the working copy as written, to be read through this
    std::string name;    // the working copy's path, for messages
    std::vector<RecordNote> notes;  // in record order
    std::vector<RecordLine> lines;  // in record order; the first is record 0's
    std::string readAs;             // as FileRecords::ReadAs tells
    std::string encodingDoubt;      // as FileRecords::EncodingDoubt tells
    std::string encodingWarning;    // as FileRecords::EncodingWarning tells
    // A converted file's records in its own bytes, for the rejected lines:
    // the source, and per record its start and end there (two off_t each).
    UniqueFd source;
    UniqueFd spans;
};

// A converted record's bytes as the file holds them: its start and end.
// False when the copy keeps no such spans.
bool SourceSpan(const PreparedCopy& copy, long record, off_t& start, off_t& end);

// The source's bytes, as OpenInput gives them, for a working copy: one that
// cannot be opened throws StepFailure, and leaves no working copy of an
// earlier file behind to pass for it.
UniqueFd OpenSource(const std::string& source, const std::string& workingCopy);

// Reads the source through FileRecords and writes the working copy with its
// data records, each ended by CR LF; the header (when asked for) is kept
// aside. A noted record is written too, for the bytes of its report, and
// refused in its place. Streams: one record is held at a time. Throws
// StepFailure with the failing step's line number and the system's own
// error text, ImportStopped when the host asks to stop; on failure no
// working copy of an earlier file is left behind.
PreparedCopy PrepareWorkingCopy(const std::string& source, const std::string& workingCopy, bool header,
                                ImportHost& host, const FileFormat& format = {}, TypeLearning* types = nullptr);
// The same from a file already open, read by offset; name is what messages call it.
PreparedCopy PrepareWorkingCopy(int source, const std::string& name, const std::string& workingCopy, bool header,
                                ImportHost& host, const FileFormat& format = {}, TypeLearning* types = nullptr);

// Standard input, read to its end into a nameless file in folder, so that
// it can be read by offset like any file. Throws std::system_error.
UniqueFd SpoolStandardInput(const std::string& folder);

}  // namespace qb
