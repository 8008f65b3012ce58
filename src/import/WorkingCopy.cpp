#include "import/WorkingCopy.h"

#include "filelist/PathHelpers.h"
#include "filelist/SafeFile.h"
#include "import/LineReader.h"
#include "import/StepFailure.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace qb {
namespace {

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(' ') == std::string::npos;
}

std::string CopyFailure(const std::string& source, const std::string& target)
{
    if (!FileExistsOnDisk(NormalizePath(source)))
        return "File not found: " + source;
    const std::string folder = ParentFolder(NormalizePath(target));
    if (!IsDirectory(folder))
        return "Path not found: " + folder;
    try {
        ::close(OpenRegularFileForReading(NormalizePath(source), true));
    } catch (const std::exception&) {
        return "Permission denied: cannot read " + source;
    }
    return "Permission denied: cannot write the working copy " + target;
}

std::string SizeText(std::size_t bytes)
{
    return bytes >= (std::size_t(1) << 20) ? std::to_string(bytes >> 20) + " MB" : std::to_string(bytes) + " bytes";
}

}  // namespace

std::string WorkingCopyPath()
{
    std::string folder = "/tmp";
    if (const char* temp = std::getenv("TEMP"); temp && *temp)
        folder = temp;
    else if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && *tmpdir)
        folder = tmpdir;
    return NormalizePath(folder + PathSeparator() + "upload.txt");
}

bool CopyFileIfPossible(const std::string& source, const std::string& target)
{
    if (IsBlank(source) || IsBlank(target))
        return false;
    const std::string from = NormalizePath(source);
    const std::string to = NormalizePath(target);
    // A '?' or '*' in an existing file's name is part of the name here, so
    // the file is copied as itself rather than as a pattern.
    if (!FileExistsOnDisk(from) || !IsDirectory(ParentFolder(to)))
        return false;
    return CopyFileReporting(from, to);
}

void DeleteFileForced(const std::string& path, ImportHost& host)
{
    host.Yield();
    std::error_code error;
    std::filesystem::remove(path, error);
}

std::string PrepareWorkingCopy(const std::string& source, const std::string& workingCopy,
                               bool skipFirstLine, ImportHost& host, std::size_t maxLineLength)
{
    if (!CopyFileIfPossible(source, workingCopy)) {
        // Whatever an earlier file left there must not pass for this one.
        DeleteFileForced(workingCopy, host);
        throw StepFailure(126, CopyFailure(source, workingCopy));
    }

    int step = 128;
    long number = 0;
    try {
        LineReader reader(workingCopy, true, maxLineLength);
        step = 166;
        SafeFileWriter writer(workingCopy);
        std::string header;
        std::string line;
        bool first = true;
        for (;;) {
            step = 136;
            ++number;
            if (!reader.Next(line))
                break;
            host.Yield();
            step = 168;
            if (!(first && skipFirstLine)) {
                writer.Write(line);
                writer.Write("\r\n");
            }
            if (first)
                header = line;
            first = false;
        }
        step = 170;
        writer.Commit();
        return header;
    } catch (const std::length_error&) {
        throw StepFailure(136, "Line " + std::to_string(number) + " of " + source + " is longer than " +
                                   SizeText(maxLineLength) + ": this is not a text file that can be imported.");
    } catch (const std::exception& error) {
        throw StepFailure(step, error.what());
    }
}

}  // namespace qb
