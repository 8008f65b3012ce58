#pragma once

#include "base/UniqueFd.h"

#include <stdexcept>
#include <string>

namespace qb {

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

}  // namespace qb
