#pragma once

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

}  // namespace qb
