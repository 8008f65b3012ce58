#pragma once

#include "base/UniqueFd.h"
#include "read/FileRecords.h"
#include "read/Input.h"
#include "read/PreparedCopy.h"
#include "read/Records.h"
#include "run/ImportHost.h"
#include "run/WorkingCopyLock.h"
#include "schema/ValueGuess.h"

#include <string>

namespace qb {

// Thrown while a file is read when the host asks the run to stop.
struct ImportStopped {};

// A new table's column types, learnt in the pass that writes the working
// copy: from every record the import would send, that is, one without a note
// and with as many values as the table has columns.
struct TypeLearning {
    RecordSplitter splitter;
    TypeGuesser guesser;
    std::size_t columns = 0;  // known once the header is read
};

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

}  // namespace qb
