// quillbarrow-import: the import run without windows, for scripts.
#include "files/PackedFiles.h"
#include "cli/CommandLine.h"
#include "cli/ProfileArguments.h"
#include "cli/SummaryJson.h"
#include "cli/TerminalHost.h"
#include "odbc/DataSources.h"
#include "odbc/TableCatalogue.h"
#include "base/StandardStreams.h"
#include "base/TemporaryFiles.h"
#include "check/DryRun.h"
#include "run/ImportRun.h"
#include "run/RunTexts.h"
#include "run/LogAndRejects.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace {

// An error of the program itself, outside a run, as every other is said.
void Problem(const std::string& text)
{
    std::fputs(qb::cli::ProblemText(text, ::isatty(STDERR_FILENO) == 1).c_str(), stderr);
}

int ListTables(const std::string& dataSourceName)
{
    try {
        for (const auto& name : qb::ListUserTables(dataSourceName))
            std::printf("%s\n", name.c_str());
        return 0;
    } catch (const std::exception& error) {
        Problem(error.what());
        return 1;
    }
}

// The tables the data source holds, or false, said once: without them nothing can be checked, and each
// file would only fail to connect in its turn.
bool ListedTables(qb::ImportSettings& settings, qb::cli::TerminalHost& host, std::string& error)
{
    try {
        settings.TableList = qb::ListUserTables(settings.DataSourceName);
        return true;
    } catch (const std::exception& failure) {
        error = failure.what();
        host.Problem(error);
        return false;
    }
}

int DryRun(qb::ImportSettings& settings, qb::cli::Verbosity verbosity)
{
    qb::cli::TerminalHost host(stdout, stderr, std::cin, false, verbosity);
    std::string error;
    if (!ListedTables(settings, host, error))
        return 1;
    const qb::DryRunResult result = qb::DryRun(settings);
    if (!result.refusal.empty()) {
        host.Problem(result.refusal);
        return 1;
    }
    const bool quiet = verbosity == qb::cli::Verbosity::Quiet;
    for (const auto& file : result.files) {
        if (!quiet)
            std::printf("%s\n", qb::DryRunLine(file).c_str());
        // Which lines the run would refuse, and why, beside the summary lines.
        for (const auto& problem : file.problems)
            host.Problem(file.path + ":" + std::to_string(problem.line) + ": " + problem.reason);
    }
    if (!quiet)
        std::printf("%s\n", qb::DryRunSummary(result).c_str());
    return result.clean ? 0 : 1;
}

int ListSources()
{
    try {
        for (const auto& source : qb::ListDataSources())
            std::printf("%s\t%s\n", source.name.c_str(), source.driver.c_str());
        return 0;
    } catch (const std::exception& error) {
        Problem(error.what());
        return 1;
    }
}

// The run's JSON to path ("-": standard output); false, said on standard error, where it cannot be written.
bool WriteSummary(const std::string& path, const std::string& json)
{
    std::FILE* out = path == "-" ? stdout : std::fopen(path.c_str(), "w");
    bool written = out && std::fputs(json.c_str(), out) >= 0 && std::fflush(out) == 0;
    if (out && out != stdout && std::fclose(out) != 0)
        written = false;
    if (!written)
        Problem("Cannot write the summary to " + path + ": " + std::strerror(errno));
    return written;
}

std::string SignalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal " + std::to_string(signal);
    }
}

// The run's last words: "Done." on standard output where it succeeded, else one line of what failed or
// where a signal stopped it on standard error. A run refused before its first file said why already.
void SayHowItEnded(qb::cli::TerminalHost& host, const qb::ImportSummary& summary, int status)
{
    const qb::cli::Verbosity level = host.Level();
    if (status == 0) {
        if (level == qb::cli::Verbosity::Quiet)
            return;
        const std::string counts = qb::KeyCountsText(summary);
        host.Say(counts.empty() ? summary.finalMessage : summary.finalMessage + " " + counts);
        if (level == qb::cli::Verbosity::Verbose || host.OutputIsTerminal())
            host.Say(qb::SummaryText(summary));
        return;
    }
    if (summary.files == 0)
        return;
    const std::string log = summary.logPath.empty() ? "" : "; log: " + summary.logPath;
    if (summary.stopped) {
        std::string reached = qb::StoppedText(summary);
        reached.pop_back();
        const int signal = qb::StopSignal();
        const std::string by = signal != 0 ? " by " + SignalName(signal) : "";
        host.Problem("stopped" + by + ": " + reached + log);
        return;
    }
    // "Table(s) already exist.": the one reason no report gave.
    if (summary.finalMessage != "Done.")
        host.Problem(summary.finalMessage);
    if (level != qb::cli::Verbosity::Quiet)
        host.Problem(qb::cli::FailureText(summary));
}

int Import(qb::ImportSettings& settings, const std::string& summaryPath, qb::cli::Verbosity verbosity)
{
    if (summaryPath != "-" && qb::OneOfTheInputs(settings, summaryPath)) {
        Problem("The summary cannot be written to " + summaryPath + ": it is one of the files to import.");
        return 1;
    }
    qb::cli::TerminalHost host(stdout, stderr, std::cin, ::isatty(STDERR_FILENO) == 1, verbosity);
    qb::ImportSummary summary;
    std::string unlisted;
    if (ListedTables(settings, host, unlisted)) {
        settings.LogFolder = qb::DefaultLogFolder();
        summary = qb::RunImport(settings, host);
    } else {
        summary.files = static_cast<int>(settings.Files.size());
        summary.finalMessage = unlisted;
    }
    for (const auto& guess : summary.encodingGuesses)
        host.Note(guess);
    for (const auto& path : summary.utf8ReadAsSingleByte)
        host.Note(path + ": UTF-8, read as " + settings.Encoding);
    for (const auto& problem : summary.problems)
        host.Problem(problem);
    int status = summary.stopped && qb::StopSignal() != 0 ? 128 + qb::StopSignal() : qb::Succeeded(summary) ? 0 : 1;
    // Its JSON holds the status it would have, so a file's is written first, and standard output's last.
    const auto written = [&] { return WriteSummary(summaryPath, qb::cli::SummaryJson(settings, summary, status)); };
    bool summaryWritten = summaryPath.empty() || summaryPath == "-" || written();
    if (unlisted.empty())
        SayHowItEnded(host, summary, summaryWritten || status != 0 ? status : 1);
    if (summaryPath == "-")
        summaryWritten = written();
    return summaryWritten || status != 0 ? status : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qb::KeepStandardStreamsOpen()) {
        std::perror("quillbarrow-import: /dev/null");
        return 1;
    }
    qb::InstallSignalCleanup(true);
    qb::cli::CommandLine line;
    qb::cli::ProfileArguments expanded;
    try {
        expanded = qb::cli::ExpandProfile({argv + 1, argv + argc});
        line = qb::cli::ParseCommandLine(expanded.arguments);
    } catch (const qb::cli::UsageError& error) {
        std::fprintf(stderr, "quillbarrow-import: %s\n%s", error.message.c_str(), qb::cli::kUsage);
        return 2;
    }
    // Saved only once the options are known to be good; with no files there is nothing else to do.
    if (!expanded.saveTo.empty()) {
        try {
            qb::WriteProfile(expanded.saveTo, expanded.toSave);
        } catch (const qb::ProfileError& error) {
            Problem(error.message);
            return 1;
        }
        const bool runs = line.action == qb::cli::CommandLine::Action::Import ||
                          line.action == qb::cli::CommandLine::Action::DryRun;
        if (runs && line.settings.Files.empty())
            return 0;
    }
    // An archive on the command line stands for each of its files; standard input is read as it comes.
    std::vector<std::string> files;
    for (const std::string& file : line.settings.Files) {
        for (std::string& entry : file == "-" ? std::vector<std::string>{file} : qb::ListEntries(file))
            files.push_back(std::move(entry));
    }
    line.settings.Files = std::move(files);
    const qb::cli::Verbosity verbosity = line.quiet     ? qb::cli::Verbosity::Quiet
                                         : line.verbose ? qb::cli::Verbosity::Verbose
                                                        : qb::cli::Verbosity::Normal;
    switch (line.action) {
    case qb::cli::CommandLine::Action::Help:
        std::fputs(qb::cli::kUsage, stdout);
        std::fputs(qb::cli::kHelp, stdout);
        return 0;
    case qb::cli::CommandLine::Action::Version:
        std::printf("quillbarrow-import %s\n", QB_VERSION);
        return 0;
    case qb::cli::CommandLine::Action::ListSources:
        return ListSources();
    case qb::cli::CommandLine::Action::ListTables:
        return ListTables(line.settings.DataSourceName);
    case qb::cli::CommandLine::Action::DryRun:
        return DryRun(line.settings, verbosity);
    case qb::cli::CommandLine::Action::Import:
        break;
    }
    return Import(line.settings, line.summaryPath, verbosity);
}
