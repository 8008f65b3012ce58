#include "load/SendBusy.h"

namespace qb {
namespace {

const char* const kReplyLost =
    "\r\nThe connection was lost while this line was sent, so it may or may not be stored. "
    "The rest of the file was not sent.";

const char* const kStayedBusy =
    "\r\nThe database stayed busy, so this line was not stored. The rest of the file was not sent.";

}  // namespace

bool EndsTheFile(FileSend& send, const DatabaseError& error)
{
    if (!error.ConnectionLost() && !error.Busy())
        return false;
    send.lost = send.lost || error.ConnectionLost();
    return true;
}

std::string LineUnsent(const DatabaseError& error)
{
    return error.what() + std::string(error.Busy() ? kStayedBusy : kReplyLost);
}

std::string BatchUnsent(const DatabaseError& error, std::size_t rows)
{
    if (error.Busy())
        return error.what() + ("\r\nThe database stayed busy, so a batch of " + std::to_string(rows) +
                               " lines was not stored. The rest of the file was not sent.");
    return error.what() + ("\r\nThe connection was lost while a batch of " + std::to_string(rows) +
                           " lines was sent, so they may or may not be stored. The rest of the file was not sent.");
}

}  // namespace qb
