#pragma once

#include "load/FileSend.h"
#include "load/ImportManifest.h"
#include "load/SendBusy.h"
#include "odbc/Database.h"

#include <span>
#include <string>
#include <vector>

// The staging of the manifest's statements with the rows they count: both
// commit in one transaction, or neither does.
namespace qb {

// Stores while the database is busy: store(also) stores the rows and runs the statements of also in
// their transaction. Where the manifest is kept, those count the rows stored, up to line last, and the
// lines refused among them; otherwise there are none.
template <typename Store>
void StoreStaged(FileSend& send, long rows, long last, const std::vector<long>& refusedWith, Store&& store)
{
    if (!send.progress) {
        WhileBusy(send, [&] { store(std::span<const std::string>{}); });
        return;
    }
    WhileBusy(send, [&] { store(send.progress->Staged(rows, last, refusedWith)); });
    send.progress->Committed();
}

// Runs a statement by itself, or in one transaction with the statements of also; the target's first
// statements before it, in the same transaction, while they are still to run.
template <typename Execute>
void WithStatements(FileSend& send, std::span<const std::string> also, Execute&& execute)
{
    Connection& connection = send.connection;
    if (send.firstPending) {
        connection.InOneTransaction(
            [&] {
                for (const std::string& statement : send.target.first)
                    connection.Execute(statement);
                execute();
            },
            also);
        send.firstPending = false;
        send.firstRan = true;
    } else if (also.empty()) {
        execute();
    } else {
        connection.InOneTransaction(execute, also);
    }
}

// Where the manifest is kept, the lines refused before sending among the batch's entries [first,
// last), into send.refusedWith: counted with the rows stored among them.
void StageRefusalsAmong(FileSend& send, std::size_t first, std::size_t last);

// A refusal of a line by itself: the manifest counts it with the next commit.
void RefusedHere(FileSend& send, int step, const std::string& description, const RecordSpan& record);

// Every line of the file dealt with, the last being line last: the manifest holds the file as done.
// The target's first statements commit with it where they are still to run.
void StageFinished(FileSend& send, long last);

// The target's first statements, still to run at the file's end, by themselves.
void RunFirstAlone(FileSend& send);

}  // namespace qb
