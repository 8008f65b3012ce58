#pragma once

#include "load/BusyWait.h"
#include "load/FileSend.h"
#include "odbc/DatabaseError.h"

#include <cstddef>
#include <string>
#include <utility>

// The busy retries of a file's statements, and what is left of the file once
// the database stays busy or the connection is lost.
namespace qb {

// A busy or locked database is waited for (see WaitWhileBusy) while the run goes on.
template <typename Work>
void WhileBusy(FileSend& send, Work&& work)
{
    WaitWhileBusy(send.options.busySeconds, [&] { return send.sink.KeepGoing(); }, std::forward<Work>(work));
}

// Whether the error ends the file: the database stayed busy past the wait,
// or the connection was lost (which the file then remembers).
bool EndsTheFile(FileSend& send, const DatabaseError& error);

// The reports of a line, or of a batch of rows lines, that such an error left unstored or unknown.
std::string LineUnsent(const DatabaseError& error);
std::string BatchUnsent(const DatabaseError& error, std::size_t rows);

}  // namespace qb
