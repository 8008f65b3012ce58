#include "run/ReportTape.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace qb {
namespace {

// A report on the tape: its kind, one number, up to four texts (each its length, then its bytes), and a
// second number and flag for a line's context.
constexpr char kMessage = 'M', kError = 'E', kLine = 'L', kTable = 'T';

bool ReadValue(std::FILE* tape, void* value, std::size_t size)
{
    return std::fread(value, 1, size, tape) == size;
}

bool ReadText(std::FILE* tape, std::string& text)
{
    std::uint64_t size = 0;
    if (!ReadValue(tape, &size, sizeof size) || size > (std::uint64_t(1) << 32))
        return false;
    text.resize(size);
    return size == 0 || ReadValue(tape, text.data(), size);
}

}  // namespace

TapeHost::~TapeHost()
{
    End();
}

void TapeHost::Begin(const std::string& path)
{
    End();
    m_path = path;
    m_error.clear();
}

void TapeHost::End()
{
    if (m_tape && std::fclose(m_tape) != 0 && m_error.empty())
        m_error = "Cannot write the reports of a file to " + m_path + ": " + std::strerror(errno);
    m_tape = nullptr;
    m_path.clear();
}

void TapeHost::Record(char kind, int line, std::initializer_list<const std::string*> texts, long number, bool flag)
{
    // Made at the first report: a file that shows none costs no tape.
    if (!m_tape && !m_path.empty() && m_error.empty()) {
        m_tape = std::fopen(m_path.c_str(), "wbx");
        if (!m_tape)
            m_error = "Cannot write the reports of a file to " + m_path + ": " + std::strerror(errno);
    }
    if (!m_tape)
        return;
    const std::int64_t numbers[2] = {line, number};
    bool written = std::fputc(kind, m_tape) != EOF && std::fwrite(numbers, sizeof numbers, 1, m_tape) == 1 &&
                   std::fputc(flag ? 1 : 0, m_tape) != EOF;
    for (const std::string* text : texts) {
        const std::uint64_t size = text->size();
        written = written && std::fwrite(&size, sizeof size, 1, m_tape) == 1 &&
                  (size == 0 || std::fwrite(text->data(), 1, size, m_tape) == size);
    }
    if (!written && m_error.empty())
        m_error = "Cannot write the reports of a file to " + m_path + ": " + std::strerror(errno);
}

void TapeHost::Yield()
{
    while (m_paused.load(std::memory_order_relaxed) && !m_stop.load(std::memory_order_relaxed))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void TapeHost::ShowMessage(const std::string& text)
{
    Record(kMessage, 0, {&text});
}

void TapeHost::ShowErrorReport(const std::string& procedure, int line, const std::string& description)
{
    Record(kError, line, {&procedure, &description});
}

void TapeHost::ShowLineReport(const std::string& procedure, int line, const std::string& description,
                              const LineContext& context)
{
    Record(kLine, line, {&procedure, &description, &context.path, &context.bytes}, context.line, context.rejected);
}

void TapeHost::TableCreated(const std::string& name)
{
    Record(kTable, 0, {&name});
}

void TapeHost::ReportProgress(const ImportProgress& progress)
{
    const std::lock_guard hold(m_progressLock);
    m_progress = progress;
}

ImportProgress TapeHost::LastProgress()
{
    const std::lock_guard hold(m_progressLock);
    return m_progress;
}

bool ReplayTape(const std::string& path, ImportHost& host, const std::function<void(const std::string&)>& tableCreated)
{
    std::FILE* tape = std::fopen(path.c_str(), "rb");
    if (!tape)
        return errno == ENOENT;  // nothing was shown
    bool whole = true;
    for (int kind; (kind = std::fgetc(tape)) != EOF;) {
        std::int64_t numbers[2] = {};
        const int flag = ReadValue(tape, numbers, sizeof numbers) ? std::fgetc(tape) : EOF;
        const std::size_t count = kind == kLine ? 4 : kind == kError ? 2 : 1;
        std::string texts[4];
        for (std::size_t i = 0; i < count && flag != EOF; ++i)
            whole = whole && ReadText(tape, texts[i]);
        if (flag == EOF || !whole) {
            whole = false;
            break;
        }
        const int line = static_cast<int>(numbers[0]);
        if (kind == kMessage)
            host.ShowMessage(texts[0]);
        else if (kind == kError)
            host.ShowErrorReport(texts[0], line, texts[1]);
        else if (kind == kLine)
            host.ShowLineReport(texts[0], line, texts[1], {texts[2], static_cast<long>(numbers[1]), texts[3], flag == 1});
        else if (kind == kTable)
            tableCreated(texts[0]);
    }
    std::fclose(tape);
    return whole;
}

}  // namespace qb
