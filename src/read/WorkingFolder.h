#pragma once

#include <string>

// Where a run keeps its working copy and spools packed files: a folder no other user can reach.
namespace qb {

// "upload.txt" in the folder named by TEMP, else TMPDIR, else in our own
// folder "/tmp/quillbarrow-<uid>" (made 0700 when missing). One path for
// every file of every run.
std::string WorkingCopyPath();

// A working copy in a folder named as ours: the folder is made when missing,
// and refused when another user could reach it (theirs, open to others, a
// link, not a folder), since they could read the copy or plant files in it.
void MakeOrCheckPrivateFolder(const std::string& workingCopy);

// The folder of the working copy, made or checked as for a run: where a
// packed file's bytes are spooled to be read.
std::string SpoolFolder();

}  // namespace qb
