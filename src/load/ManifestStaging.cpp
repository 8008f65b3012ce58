#include "load/ManifestStaging.h"

#include <ctime>

namespace qb {

void StageRefusalsAmong(FileSend& send, std::size_t first, std::size_t last)
{
    send.refusedWith.clear();
    if (!send.progress)
        return;
    const auto& entries = send.batch.Entries();
    for (std::size_t i = first; i < last; ++i) {
        if (entries[i].kind == InsertBatch::Kind::Refused)
            send.refusedWith.push_back(entries[i].record.line);
    }
}

void RefusedHere(FileSend& send, int step, const std::string& description, const RecordSpan& record)
{
    send.refusedLine = true;
    if (send.progress)
        send.progress->Refused(record.line);
    send.sink.Refused(step, description, record);
}

void StageFinished(FileSend& send, long last)
{
    const auto& finish = send.progress->Finished(last, ManifestTime(std::time(nullptr)));
    WhileBusy(send, [&] {
        if (send.firstPending)
            WithStatements(send, finish, [] {});
        else
            send.connection.InOneTransaction([] {}, finish);
    });
    send.progress->Committed();
}

void RunFirstAlone(FileSend& send)
{
    WhileBusy(send, [&] { WithStatements(send, {}, [] {}); });
}

}  // namespace qb
