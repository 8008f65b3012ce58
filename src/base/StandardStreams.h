#pragma once

namespace qb {

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// no file the program opens later takes their place (a lock file read as
// standard input, a database written with messages). Call first in main.
// False, with errno set, when /dev/null cannot be opened.
bool KeepStandardStreamsOpen();

}  // namespace qb
