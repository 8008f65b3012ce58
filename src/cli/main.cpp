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
#include <cstdio>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace {

// The main window's load handler fills the table list at this step.
constexpr int kFillTableListLine = 114;

int ListTables(const std::string& dataSourceName)
{
    try {
        for (const auto& name : qb::ListUserTables(dataSourceName))
            std::printf("%s\n", name.c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", qb::cli::TerminalText(error.what(), ::isatty(STDERR_FILENO) == 1).c_str());
        return 1;
    }
}

int DryRun(qb::ImportSettings& settings)
{
    qb::cli::TerminalHost host(stdout, stderr, std::cin, false);
    qb::StepRunner load(host, qb::ProcedurePath("Form2", "Form_Load"));
    load.Run(kFillTableListLine, [&] { settings.TableList = qb::ListUserTables(settings.DataSourceName); });
    const qb::DryRunResult result = qb::DryRun(settings);
    if (!result.refusal.empty()) {
        std::printf("%s\n", result.refusal.c_str());
        return 1;
    }
    for (const auto& file : result.files) {
        std::printf("%s\n", qb::DryRunLine(file).c_str());
        // Which lines the run would refuse, and why, beside the summary lines.
        for (const auto& problem : file.problems)
            std::fprintf(stderr, "%s, line %ld: %s\n", file.path.c_str(), problem.line, problem.reason.c_str());
    }
    std::printf("%s\n", qb::DryRunSummary(result).c_str());
    return result.clean && load.Reports() == 0 ? 0 : 1;
}

int ListSources()
{
    try {
        for (const auto& source : qb::ListDataSources())
            std::printf("%s\t%s\n", source.name.c_str(), source.driver.c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", qb::cli::TerminalText(error.what(), ::isatty(STDERR_FILENO) == 1).c_str());
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
        std::fprintf(stderr, "Cannot write the summary to %s: %s\n", path.c_str(), std::strerror(errno));
    return written;
}

int Import(qb::ImportSettings& settings, const std::string& summaryPath)
{
    if (summaryPath != "-" && qb::OneOfTheInputs(settings, summaryPath)) {
        std::printf("The summary cannot be written to %s: it is one of the files to import.\n", summaryPath.c_str());
        return 1;
    }
    qb::cli::TerminalHost host(stdout, stderr, std::cin, ::isatty(STDERR_FILENO) == 1);
    qb::StepRunner load(host, qb::ProcedurePath("Form2", "Form_Load"));
    load.Run(kFillTableListLine, [&] { settings.TableList = qb::ListUserTables(settings.DataSourceName); });
    settings.LogFolder = qb::DefaultLogFolder();
    const qb::ImportSummary summary = qb::RunImport(settings, host);
    if (summary.files > 0) {
        host.ShowOnTerminal(qb::SummaryText(summary));
        for (const auto& guess : summary.encodingGuesses)
            host.ShowOnTerminal(guess);
        for (const auto& path : summary.utf8ReadAsSingleByte)
            host.ShowOnTerminal(path + ": UTF-8, read as " + settings.Encoding);
        for (const auto& problem : summary.problems)
            std::fprintf(stderr, "%s\n", problem.c_str());
    }
    const int status = summary.stopped && qb::StopSignal() != 0        ? 128 + qb::StopSignal()
                       : qb::Succeeded(summary) && load.Reports() == 0 ? 0
                                                                        : 1;
    if (!summaryPath.empty() && !WriteSummary(summaryPath, qb::cli::SummaryJson(settings, summary, status)))
        return status == 0 ? 1 : status;
    return status;
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
            std::fprintf(stderr, "quillbarrow-import: %s\n", error.message.c_str());
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
        return DryRun(line.settings);
    case qb::cli::CommandLine::Action::Import:
        break;
    }
    return Import(line.settings, line.summaryPath);
}
