#pragma once

#include "base/UniqueFd.h"

#include <memory>
#include <string>

namespace qb {

// SIGINT, SIGTERM and SIGHUP remove every registered temporary file before
// the program ends as the signal would have ended it. SIGXFSZ is ignored, so
// a file size limit shows as a write error with its own text. With
// stopFirst, a first SIGINT, SIGTERM or SIGHUP only asks for a stop (StopSignal);
// a second one ends the program at once.
void InstallSignalCleanup(bool stopFirst = false);

// The signal that asked for a stop, or 0.
int StopSignal();

// Registers a file that exists only while it is being written, for as long
// as the guard lives; or a folder of such files, removed after them.
class TemporaryFileGuard {
public:
    explicit TemporaryFileGuard(const std::string& path);
    ~TemporaryFileGuard();
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

private:
    int m_slot = -1;
};

}  // namespace qb

namespace qb {

// mkostemp on pattern (ending in XXXXXX), registered before any of those
// signals can arrive, so that no moment leaves the file unknown to them.
// Returns an invalid descriptor with errno set on failure.
UniqueFd CreateTemporaryFile(std::string& pattern, std::unique_ptr<TemporaryFileGuard>& guard);

}  // namespace qb
