#include "run/RunTexts.h"

#include <algorithm>
#include <cstdio>

namespace qb {

std::string StoppedText(const ImportSummary& summary)
{
    std::string text = GroupedNumber(summary.filesReached) + " of " + CountText(summary.files, "file", "files") +
                       " reached: " + GroupedNumber(summary.filesDone) + " done, " +
                       GroupedNumber(summary.filesSkipped) + " skipped, ";
    if (summary.filesAlreadyImported > 0)
        text += GroupedNumber(summary.filesAlreadyImported) + " already imported, ";
    return text + GroupedNumber(summary.filesInterrupted) + " stopped midway; " +
           GroupedNumber(summary.files - summary.filesReached) + " not reached.";
}

namespace {

// "1 file read in a guessed encoding, 1 UTF-8 file read in a single-byte encoding, ", each where it counts.
std::string EncodingCounts(const ImportSummary& summary)
{
    std::string text;
    if (const auto guessed = static_cast<long>(summary.encodingGuesses.size()); guessed > 0)
        text += CountText(guessed, "file", "files") + " read in a guessed encoding, ";
    if (const auto misread = static_cast<long>(summary.utf8ReadAsSingleByte.size()); misread > 0)
        text += CountText(misread, "UTF-8 file", "UTF-8 files") + " read in a single-byte encoding, ";
    return text;
}

// "5 rows inserted, 3 updated, 0 skipped, " where a key decides what a duplicate does; else empty.
std::string KeyCounts(const ImportSummary& summary)
{
    if (summary.onDuplicate == OnDuplicate::Error)
        return {};
    return CountText(summary.rowsInserted, "row", "rows") + " inserted, " + GroupedNumber(summary.rowsUpdated) +
           " updated, " + GroupedNumber(summary.rowsSkipped) + " skipped, ";
}

}  // namespace

std::string SummaryText(const ImportSummary& summary)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", summary.seconds);
    const std::string counts = KeyCounts(summary);
    const std::string rows = (counts.empty() ? CountText(summary.rowsSent, "row", "rows") + " imported, " : counts) +
                             CountText(summary.linesRejected, "line", "lines") + " rejected, ";
    if (summary.stopped) {
        std::string files = StoppedText(summary);
        files.pop_back();
        return "Import stopped. " + files + "; " + rows + EncodingCounts(summary) + "in " + seconds + " s";
    }
    return CountText(summary.files, "file", "files") + ", " + rows +
           CountText(summary.filesSkipped, "file", "files") + " skipped, " +
           (summary.filesCut > 0 ? CountText(summary.filesCut, "file", "files") + " cut short, " : "") +
           (summary.filesAlreadyImported > 0
                ? CountText(summary.filesAlreadyImported, "file", "files") + " already imported, "
                : "") +
           EncodingCounts(summary) + "in " + seconds + " s";
}

std::string KeyCountsText(const ImportSummary& summary)
{
    std::string text = KeyCounts(summary);
    if (!text.empty())
        text.replace(text.size() - 2, 2, ".");
    return text;
}

std::string OutcomeText(const ImportSummary& summary)
{
    const std::string counts = KeyCounts(summary);
    std::string text = (counts.empty() ? CountText(summary.rowsSent, "row", "rows") + " stored, " : counts) +
                       CountText(summary.linesRejected, "line", "lines") + " refused.";
    const auto add = [&](int count, const char* what) {
        if (count > 0)
            text += "\r\n" + CountText(count, "file", "files") + " " + what;
    };
    add(summary.filesSkipped, "skipped.");
    add(summary.filesAlreadyImported, "already imported before, left alone.");
    add(summary.filesContinued, "continued after the last line an earlier run stored.");
    add(summary.filesCut, "cut short: the connection was lost or the database stayed busy.");
    // Named one by one, each worth a look, up to a few: the log names them all.
    constexpr std::size_t kNamed = 5;
    const auto name = [&](const std::vector<std::string>& files, const std::string& after, const char* rest) {
        for (std::size_t i = 0; i < std::min(files.size(), kNamed); ++i)
            text += "\r\n" + files[i] + after;
        if (files.size() > kNamed)
            text += "\r\n" + CountText(static_cast<long>(files.size() - kNamed), "more file", "more files") + rest;
    };
    name(summary.encodingGuesses, ".", " read in a guessed encoding.");
    name(summary.utf8ReadAsSingleByte, " is UTF-8 but was read in a single-byte encoding.",
         " in UTF-8 read in a single-byte encoding.");
    return text;
}

std::string StatusText(const ImportProgress& progress)
{
    const std::size_t slash = progress.path.find_last_of('/');
    std::string name = slash == std::string::npos ? progress.path : progress.path.substr(slash + 1);
    // Two files of one name are told apart by their folders.
    if (progress.nameRepeats && slash != std::string::npos)
        name += " in " + (slash == 0 ? std::string("/") : progress.path.substr(0, slash));
    std::string text = "File " + GroupedNumber(progress.file) + " of " + GroupedNumber(progress.files) + ": " + name;
    if (progress.continuedAfter > 0)
        text += " (continued after line " + GroupedNumber(progress.continuedAfter) + ")";
    text += ", " + CountText(progress.rowsInFile, "row", "rows");
    // No rate before a row is stored: "0 rows/s" would say nothing.
    if (progress.seconds <= 0 || progress.rows == 0)
        return text;
    text += ", " + GroupedNumber(static_cast<long>(static_cast<double>(progress.rows) / progress.seconds)) + " rows/s";
    // The rate of the run's own work so far, over what is left of it in every file.
    if (progress.workDone > 0) {
        const double left = progress.seconds * static_cast<double>(progress.workLeft) /
                            static_cast<double>(progress.workDone);
        const long whole = static_cast<long>(left + 0.5);
        char clock[32];
        std::snprintf(clock, sizeof clock, "%ld:%02ld", whole / 60, whole % 60);
        text += std::string(", about ") + clock + " left";
    }
    return text;
}

}  // namespace qb
