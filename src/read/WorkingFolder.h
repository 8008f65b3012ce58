#pragma once

#include <string>

// Where runs keep their working copies and spool packed files: a folder no other user can reach.
namespace qb {

// The folder named by TEMP, else TMPDIR, else our own folder "/tmp/quillbarrow-<uid>". Each run keeps its
// working copy in a folder of its own inside it.
std::string PrivateFolder();

// The private folder, made when missing where it is named as ours, and refused when another user could
// reach it (theirs, open to others, a link, not a folder), since they could read a copy or plant files in it.
void MakeOrCheckPrivateFolder(const std::string& folder);

// The private folder, made or checked as for a run: where a packed file's or standard input's bytes are
// spooled, nameless, to be read.
std::string SpoolFolder();

}  // namespace qb
