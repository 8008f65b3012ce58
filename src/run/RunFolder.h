#pragma once

#include "base/TemporaryFiles.h"
#include "base/UniqueFd.h"

#include <string>

namespace qb {

// A run's own folder inside the private folder: its working copy and their temporaries, which no other run
// reads, so that any number of runs work at once. Locked while the run lives and removed with what it holds
// when it ends; the folders of runs that died are removed by the next run to start.
class RunFolder {
public:
    // Throws std::system_error when the private folder is not ours alone or the folder cannot be made.
    explicit RunFolder(const std::string& privateFolder);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string WorkingCopy() const { return m_path + "/upload.txt"; }

private:
    std::string m_path;
    UniqueFd m_lock;  // the folder itself, flocked
};

// The working copy holds a file's data: it goes when its run (or job) ends, however it ends, and on a
// signal its folder with it.
class WorkingCopyGuard {
public:
    WorkingCopyGuard(const RunFolder& folder, const std::string& workingCopy)
        : m_folderOnSignal(folder.Path()), m_copyOnSignal(workingCopy), m_copy(workingCopy)
    {
    }
    ~WorkingCopyGuard();
    WorkingCopyGuard(const WorkingCopyGuard&) = delete;
    WorkingCopyGuard& operator=(const WorkingCopyGuard&) = delete;

private:
    TemporaryFileGuard m_folderOnSignal;
    TemporaryFileGuard m_copyOnSignal;
    const std::string& m_copy;
};

}  // namespace qb
