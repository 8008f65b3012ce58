#pragma once

#include "load/FileSend.h"

// A batch's rows sent as one; a refused batch sent again in halves.
namespace qb {

// Sends what the file's batch holds and empties it. Should the database refuse the rows, none of them
// was stored: each half goes again, down to single lines sent as they would be line by line, so that
// every refusal gets its own report, in order. False when nothing more is to be sent for the file.
// ahead: the rows may go by the bulk path without awaiting their outcome, which the next batch (or
// SettleAhead) awaits, reports and all, before anything else is sent; the next rows are read meanwhile.
bool SendBatch(FileSend& send, int step, bool ahead = false);

// Awaits and reports a batch sent ahead, if any. False when nothing more is to be sent for the file.
bool SettleAhead(FileSend& send, int step);

}  // namespace qb
