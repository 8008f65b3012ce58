#pragma once

#include "load/FileSend.h"

// A batch's rows sent as one; a refused batch sent again in halves.
namespace qb {

// Sends what the file's batch holds and empties it. Should the database refuse the rows, none of them
// was stored: each half goes again, down to single lines sent as they would be line by line, so that
// every refusal gets its own report, in order. False when nothing more is to be sent for the file.
bool SendBatch(FileSend& send, int step);

}  // namespace qb
