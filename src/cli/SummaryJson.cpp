#include "cli/SummaryJson.h"

#include "read/TextDecoder.h"

#include <cstdio>

namespace qb::cli {
namespace {

// The length of the valid UTF-8 sequence at text[at], or 0: no overlong
// forms, no surrogates, nothing past U+10FFFF.
std::size_t Utf8Length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's bounds
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = at + 2; i < at + length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string Bool(bool value)
{
    return value ? "true" : "false";
}

std::string TextOrNull(const std::string& text)
{
    return text.empty() ? "null" : JsonString(text);
}

// Members "name": value, joined as an object.
class Object {
public:
    Object& Add(const char* name, const std::string& value)
    {
        m_text += (m_text.empty() ? "{" : ", ") + JsonString(name) + ": " + value;
        return *this;
    }
    Object& Add(const char* name, long value) { return Add(name, std::to_string(value)); }
    std::string Text() const { return m_text.empty() ? "{}" : m_text + "}"; }

private:
    std::string m_text;
};

template <typename Items, typename Write>
std::string Array(const Items& items, Write write)
{
    std::string text = "[";
    for (const auto& item : items)
        text += (text.size() > 1 ? ", " : "") + write(item);
    return text + "]";
}

const char* OnDuplicateName(OnDuplicate mode)
{
    return mode == OnDuplicate::Skip ? "skip" : mode == OnDuplicate::Update ? "update" : "error";
}

std::string Options(const ImportSettings& settings)
{
    const bool append = settings.Mode == ImportMode::AppendToExistingTable;
    const std::string encoding = settings.Encoding == kAutoEncoding ? "auto"
                                 : settings.Encoding.empty()       ? "as-is"
                                                                   : settings.Encoding;
    Object options;
    options.Add("dsn", JsonString(settings.DataSourceName))
        .Add("mode", JsonString(append ? "append" : "create"))
        .Add("table", append ? TextOrNull(settings.TargetTable.value_or("")) : "null")
        .Add("table_name", append ? "null" : JsonString(settings.TableNamePattern))
        .Add("separator", JsonString(settings.GuessSeparator ? "auto" : settings.Separator))
        .Add("quoted", Bool(settings.Quoted))
        .Add("quote", settings.Quoted ? JsonString(std::string(1, settings.Quote)) : "null")
        .Add("encoding", JsonString(encoding))
        .Add("types", JsonString(settings.GuessTypes ? "guess" : "text"))
        .Add("header", JsonString(settings.NoHeader ? "none" : append && !settings.IgnoreFirstLine ? "data" : "names"))
        .Add("skip_lines", settings.SkipLines)
        .Add("row_by_row", Bool(settings.RowByRow))
        .Add("resume", Bool(settings.Resume))
        .Add("retry_refused", Bool(settings.RetryRefused))
        .Add("replace", Bool(settings.Replace))
        .Add("if_exists", append ? "null"
                                 : JsonString(settings.IfTableExists == IfExists::Append    ? "append"
                                              : settings.IfTableExists == IfExists::Replace ? "replace"
                                                                                            : "fail"))
        .Add("on_duplicate", append ? JsonString(OnDuplicateName(settings.OnDuplicateKey)) : "null")
        .Add("rejects", TextOrNull(settings.RejectsPath))
        .Add("rejects_reasons", TextOrNull(settings.RejectReasonsPath));
    return options.Text();
}

std::string File(const FileResult& file)
{
    Object object;
    object.Add("path", JsonString(file.path))
        .Add("table", TextOrNull(file.table))
        .Add("outcome", JsonString(file.outcome))
        .Add("continued_after", file.outcome == "continued" ? std::to_string(file.continuedAfter) : "null")
        .Add("rows_stored", file.rowsStored)
        .Add("lines_refused", file.linesRefused)
        .Add("refused", Array(file.refused,
                              [](const RefusedLine& refused) {
                                  return Object().Add("line", refused.line)
                                      .Add("reason", JsonString(refused.reason))
                                      .Text();
                              }))
        .Add("refused_not_listed", file.linesRefused - static_cast<long>(file.refused.size()))
        .Add("bytes", static_cast<long>(file.bytes))
        .Add("read_as", TextOrNull(file.readAs))
        .Add("sent_by", TextOrNull(file.sentBy))
        .Add("seconds", Number(file.seconds));
    return object.Text();
}

}  // namespace

std::string JsonString(std::string_view text)
{
    std::string json = "\"";
    json.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8Length(text, i);
            if (length == 0) {
                json += "\\ufffd";
                ++i;
            } else {
                json.append(text, i, length);
                i += length;
            }
            continue;
        }
        ++i;
        switch (c) {
        case '"': json += "\\\""; break;
        case '\\': json += "\\\\"; break;
        case '\b': json += "\\b"; break;
        case '\f': json += "\\f"; break;
        case '\n': json += "\\n"; break;
        case '\r': json += "\\r"; break;
        case '\t': json += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                json += escaped;
            } else {
                json += static_cast<char>(c);
            }
        }
    }
    return json + "\"";
}

std::string SummaryJson(const ImportSettings& settings, const ImportSummary& summary, int exitStatus)
{
    Object totals;
    totals.Add("files", summary.files)
        .Add("files_reached", summary.filesReached)
        .Add("files_done", summary.filesDone)
        .Add("files_skipped", summary.filesSkipped)
        .Add("files_already_imported", summary.filesAlreadyImported)
        .Add("files_continued", summary.filesContinued)
        .Add("files_cut_short", summary.filesCut)
        .Add("files_stopped", summary.filesInterrupted)
        .Add("files_not_reached", summary.files - summary.filesReached)
        .Add("rows_stored", summary.rowsSent)
        .Add("lines_refused", summary.linesRejected)
        .Add("error_reports", summary.errorReports)
        .Add("seconds", Number(summary.seconds));
    if (summary.onDuplicate != OnDuplicate::Error) {
        totals.Add("rows_inserted", summary.rowsInserted)
            .Add("rows_updated", summary.rowsUpdated)
            .Add("rows_skipped", summary.rowsSkipped);
    }
    Object document;
    document.Add("options", Options(settings))
        .Add("started", Bool(summary.started && summary.files > 0))
        .Add("stopped", Bool(summary.stopped))
        .Add("message", TextOrNull(summary.finalMessage))
        .Add("files", Array(summary.fileResults, File))
        .Add("totals", totals.Text())
        .Add("log", TextOrNull(summary.logPath))
        .Add("problems", Array(summary.problems, [](const std::string& problem) { return JsonString(problem); }))
        .Add("exit_status", exitStatus);
    return document.Text() + "\n";
}

}  // namespace qb::cli
