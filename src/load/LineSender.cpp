#include "load/LineSender.h"

#include "base/ErrorReport.h"
#include "load/BatchHalving.h"
#include "load/FileSend.h"
#include "load/ImportManifest.h"
#include "load/ManifestStaging.h"
#include "load/RecordRoute.h"
#include "read/FileRecords.h"

#include <algorithm>
#include <optional>

namespace qb {
namespace {

// The file line a record began on, by the file's line marks.
long SourceLine(FileSend& send, long record)
{
    const auto& marks = send.file.lines;
    while (send.mark + 1 < marks.size() && marks[send.mark + 1].record <= record)
        ++send.mark;
    if (marks.empty())
        return 0;
    return record + (marks[send.mark].line - marks[send.mark].record);
}

}  // namespace

bool LineSender::Send(const PreparedCopy& file, const InsertTarget& target, std::size_t columns,
                      const InsertLoopLines& lines, Sending sending, BulkLoader* bulk,
                      StepRunner& steps, SendSink& sink, FileProgress* progress,
                      const std::vector<ColumnRewrite>& rewrites)
{
    m_stopped = false;
    m_firstRan = false;
    m_changed = {};
    std::optional<FileRecords> records;
    if (!steps.Run(lines.open, [&] { records.emplace(FileRecords::WorkingCopy{}, file.copy.Get(), file.name, m_options.format); }))
        return true;
    FileSend send(m_connection, m_options, file, target, columns, sending, bulk, sink, progress, rewrites);
    std::size_t nextNote = 0;
    bool goOn = true;
    bool readAll = false;
    long lastLine = 0;
    while (goOn && sink.KeepGoing()) {
        bool more = false;
        // A file that cannot be read further ends the loop rather than failing at every step.
        if (!steps.Run(lines.read, [&] {
                try {
                    more = records->Next(send.record);
                } catch (...) {
                    SettleAhead(send, lines.execute);  // its reports come before the failure's
                    throw;
                }
            }))
            break;
        if (!more) {
            readAll = true;
            break;
        }
        const RecordSpan record{SourceLine(send, send.record.index), send.record.offset, send.record.text.size(),
                                send.record.index};
        lastLine = record.line;
        const bool noted = nextNote < file.notes.size() && file.notes[nextNote].record == send.record.index;
        if (progress && progress->Skips(record.line))
            nextNote += noted;
        else if (noted)
            goOn = RouteRefusal(send, file.notes[nextNote++].description, lines.read, record);
        else
            goOn = RouteRecord(send, lines.execute, record);
    }
    // Once the run is to stop, what is gathered and not yet sent stays unsent.
    m_stopped = goOn && !sink.KeepGoing();
    goOn = goOn && !m_stopped;
    // A record whose quote never closed ends the file after every other.
    for (; goOn && nextNote < file.notes.size(); ++nextNote) {
        const RecordNote& note = file.notes[nextNote];
        lastLine = std::max(lastLine, note.line);
        if (!progress || !progress->Skips(note.line))
            goOn = RouteRefusal(send, note.description, lines.read, {note.line, 0, 0, note.record});
    }
    if (goOn && sending == Sending::InBatches)
        goOn = SendBatch(send, lines.execute);
    // Whatever ended the reading, rows sent ahead are awaited and reported.
    if (!SettleAhead(send, lines.execute))
        goOn = false;
    // A file whose lines were all refused leaves the table as it was; one without lines runs them all the same.
    if (send.refusedLine)
        send.firstPending = false;
    const bool ended = goOn && readAll && sink.KeepGoing() && !send.lost;
    // Every line dealt with: the manifest holds the file as done.
    if (progress && ended)
        steps.Run(lines.execute, [&] { StageFinished(send, lastLine); });
    else if (ended && send.firstPending)
        steps.Run(lines.execute, [&] { RunFirstAlone(send); });
    m_firstRan = send.firstRan;
    m_changed = send.stage.Changed();
    return !send.lost;
}

}  // namespace qb
