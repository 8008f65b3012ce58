#include "run/WorkingCopy.h"

#include "base/SafeFile.h"
#include "base/StepFailure.h"
#include "files/PathHelpers.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qb {
namespace {

[[noreturn]] void Fail(int error, const std::string& what)
{
    throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

UniqueFd OpenSource(const std::string& source, const std::string& workingCopy)
{
    try {
        return OpenInput(source);
    } catch (const std::exception& error) {
        ::unlink(workingCopy.c_str());
        throw StepFailure(126, error.what());
    }
}

PreparedCopy PrepareWorkingCopy(const std::string& source, const std::string& workingCopy, bool header,
                                ImportHost& host, const FileFormat& format, const CopyWatch& watch)
{
    const UniqueFd in = OpenSource(source, workingCopy);
    return PrepareWorkingCopy(in.Get(), source, workingCopy, header, host, format, watch);
}

PreparedCopy PrepareWorkingCopy(int in, const std::string& source, const std::string& workingCopy, bool header,
                                ImportHost& host, const FileFormat& format, const CopyWatch& watch)
{
    int step = 126;
    try {
        // The source is read once, straight into the working copy.
        FileRecords records(in, source, format, header);
        // The file before's copy goes first (renamed over, ext4 would write it out to disk for each file),
        // where it may be replaced at all.
        CheckReplaceableTarget(workingCopy);
        ::unlink(workingCopy.c_str());
        SafeFileWriter writer(workingCopy);
        PreparedCopy prepared;
        prepared.header = records.Header();
        prepared.name = workingCopy;
        prepared.readAs = records.ReadAs();
        prepared.encodingDoubt = records.EncodingDoubt();
        prepared.encodingWarning = records.EncodingWarning();
        if (watch.header)
            watch.header(prepared.header);
        // A converted record's own bytes are kept for the rejected lines.
        std::string spans;
        if (!records.Encoding().empty()) {
            prepared.source.Reset(::fcntl(in, F_DUPFD_CLOEXEC, 0));
            if (!prepared.source.Valid())
                Fail(errno, "Cannot keep " + source + " open");
            const std::string folder = ParentFolder(workingCopy);
            prepared.spans = NamelessFile(folder.empty() ? "." : folder, "the lines' places");
        }
        FileRecord record;
        for (;;) {
            step = 136;
            if (!records.Next(record))
                break;
            host.Yield();
            // By record, not by line: records may skip every line number that would be polled.
            if ((record.index & 255) == 0 && host.StopRequested())
                throw ImportStopped{};
            step = 168;
            if (!record.note.empty())
                prepared.notes.push_back({record.index, record.line, std::move(record.note)});
            const auto& last = prepared.lines;
            if (last.empty() || last.back().line - last.back().record != record.line - record.index)
                prepared.lines.push_back({record.index, record.line});
            writer.Write(record.text);
            writer.Write("\r\n");
            if (watch.record && record.note.empty())
                watch.record(record.text);
            if (prepared.spans.Valid()) {
                const off_t span[2] = {record.offset, record.end};
                spans.append(reinterpret_cast<const char*>(span), sizeof span);
                if (spans.size() >= (std::size_t(1) << 16)) {
                    WriteFully(prepared.spans.Get(), spans, "Cannot keep the lines' places of " + source);
                    spans.clear();
                }
            }
        }
        if (prepared.spans.Valid())
            WriteFully(prepared.spans.Get(), spans, "Cannot keep the lines' places of " + source);
        step = 170;
        prepared.copy = writer.CommitKeepingDescriptor();
        return prepared;
    } catch (const ImportStopped&) {
        throw;
    } catch (const NotImportable& error) {
        ::unlink(workingCopy.c_str());
        throw StepFailure(136, error.what());
    } catch (const std::exception& error) {
        // Whatever an earlier file left there must not pass for this one;
        // unlink, not remove: a folder in the working copy's place stays.
        ::unlink(workingCopy.c_str());
        throw StepFailure(step, error.what());
    }
}

}  // namespace qb
