#include "read/PreparedCopy.h"

#include <unistd.h>

namespace qb {

bool SourceSpan(const PreparedCopy& copy, long record, off_t& start, off_t& end)
{
    off_t span[2] = {};
    if (!copy.spans.Valid() || record < 0 ||
        ::pread(copy.spans.Get(), span, sizeof span, static_cast<off_t>(record) * static_cast<off_t>(sizeof span)) !=
            static_cast<ssize_t>(sizeof span))
        return false;
    start = span[0];
    end = span[1];
    return true;
}

}  // namespace qb
