#pragma once

#include "base/UniqueFd.h"
#include "read/FileRecords.h"
#include "read/Input.h"
#include "read/PreparedCopy.h"
#include "read/Records.h"
#include "run/ImportHost.h"

#include <functional>
#include <string>
#include <string_view>

namespace qb {

// Thrown while a file is read when the host asks the run to stop.
struct ImportStopped {};

// What the copy tells, as it writes them, to a reader beside it (the type
// guess): the header once, then each data record without a note, whose text
// it may split in place. Either may be empty.
struct CopyWatch {
    std::function<void(std::string_view header)> header;
    std::function<void(std::string& record)> record;
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
                                ImportHost& host, const FileFormat& format = {}, const CopyWatch& watch = {});
// The same from a file already open, read by offset; name is what messages call it.
PreparedCopy PrepareWorkingCopy(int source, const std::string& name, const std::string& workingCopy, bool header,
                                ImportHost& host, const FileFormat& format = {}, const CopyWatch& watch = {});

}  // namespace qb
