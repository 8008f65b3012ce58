#include "base/StandardStreams.h"

#include <cerrno>
#include <fcntl.h>

namespace qb {

bool KeepStandardStreamsOpen()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is this one: those below it are open.
        if (::open("/dev/null", O_RDWR) < 0)
            return false;
    }
    return true;
}

}  // namespace qb
