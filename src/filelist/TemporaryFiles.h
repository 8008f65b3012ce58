#pragma once

#include <string>

namespace qb {

// SIGINT, SIGTERM and SIGHUP remove every registered temporary file before
// the program ends as the signal would have ended it. SIGXFSZ is ignored, so
// a file size limit shows as a write error with its own text.
void InstallSignalCleanup();

// Registers a file that exists only while it is being written, for as long
// as the guard lives.
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
