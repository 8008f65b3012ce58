#include "read/Records.h"

#include "read/FieldSplitter.h"

#include <algorithm>
#include <cstring>

namespace qb {

const char kQuotedEmpty[] = "";

namespace {

std::size_t FindSeparator(std::string_view text, std::size_t from, std::string_view separator)
{
    return separator.empty() ? std::string_view::npos : text.find(separator, from);
}

// The quote character: the double quote as a constant, so that its loops
// are those of a fixed character, or any other held at run time.
struct DoubleQuote {
    constexpr operator char() const { return '"'; }
};
struct OtherQuote {
    char quote;
    operator char() const { return quote; }
};

// Where a record's quotes stand after some of its text: continues over the
// next line while a quoted field is open.
template <typename Quote>
class QuoteScanner {
public:
    QuoteScanner(std::string_view separator, Quote quote) : m_separator(separator), m_quote(quote) {}

    // How much of text is decided: all of a whole line; of a piece of one,
    // all but a tail the next piece may change (a quote that may be doubled,
    // the start of a separator), to be scanned again with it.
    std::size_t Scan(std::string_view text, bool whole = true)
    {
        std::size_t i = 0;
        while (i < text.size()) {
            switch (m_state) {
            case State::FieldStart:
                if (text[i] == m_quote) {
                    m_state = State::Quoted;
                    ++i;
                    break;
                }
                m_state = State::Unquoted;
                [[fallthrough]];
            case State::Unquoted: {
                const std::size_t at = FindSeparator(text, i, m_separator);
                if (at == std::string_view::npos)
                    return whole || m_separator.size() < 2
                               ? text.size()
                               : std::max(i, text.size() - std::min(text.size(), m_separator.size() - 1));
                i = at + m_separator.size();
                m_state = State::FieldStart;
                break;
            }
            case State::Quoted: {
                const std::size_t quote = text.find(char(m_quote), i);
                if (quote == std::string_view::npos)
                    return text.size();
                if (!whole && quote + 1 == text.size())
                    return quote;
                // A doubled quote stands for one; a single one closes the field.
                if (quote + 1 < text.size() && text[quote + 1] == m_quote) {
                    i = quote + 2;
                } else {
                    i = quote + 1;
                    m_state = State::Unquoted;
                }
                break;
            }
            }
        }
        return text.size();
    }
    // A closing quote that was a line's last byte leaves the field closed.
    bool Inside() const { return m_state == State::Quoted; }
    void Reset() { m_state = State::FieldStart; }

private:
    enum class State { FieldStart, Unquoted, Quoted };
    std::string_view m_separator;
    Quote m_quote;
    State m_state = State::FieldStart;
};

// A line over the limit, followed through the scanner piece by piece; held
// keeps the undecided tail of one piece for the next.
template <typename Quote>
class SkippedQuotes final : public SkippedText {
public:
    SkippedQuotes(QuoteScanner<Quote>& scanner, std::string& held) : m_scanner(scanner), m_held(held) { m_held.clear(); }

    void Take(std::string_view piece) override
    {
        if (m_held.empty()) {
            m_held.assign(piece.substr(m_scanner.Scan(piece, false)));
            return;
        }
        m_held.append(piece);
        m_held.erase(0, m_scanner.Scan(m_held, false));
    }
    // At the line's end nothing is left undecided.
    void End()
    {
        m_scanner.Scan(m_held);
        m_held.clear();
    }

private:
    QuoteScanner<Quote>& m_scanner;
    std::string& m_held;
};

template <typename Quote>
void SplitQuoted(std::string& record, std::string_view separator, std::vector<std::string_view>& fields, Quote q,
                 std::vector<char>* quoted)
{
    fields.clear();
    if (quoted)
        quoted->clear();
    if (record.empty())
        return;
    // Text is read at p and written at w <= p, so nothing is overwritten before it is read.
    char* const bytes = record.data();
    const std::string_view text(record);
    std::size_t w = 0;
    const auto keep = [&](std::size_t from, std::size_t count) {
        if (w != from)
            std::memmove(bytes + w, bytes + from, count);
        w += count;
    };
    std::size_t pos = 0;
    for (;;) {
        const std::size_t start = w;
        std::size_t next;
        if (pos < text.size() && text[pos] == q) {
            std::size_t p = pos + 1;
            for (;;) {
                const std::size_t quote = text.find(char(q), p);
                if (quote == std::string_view::npos) {  // never closed: the rest is the field's
                    keep(p, text.size() - p);
                    p = text.size();
                    break;
                }
                keep(p, quote - p);
                if (quote + 1 < text.size() && text[quote + 1] == q) {
                    bytes[w++] = q;
                    p = quote + 2;
                } else {
                    p = quote + 1;
                    break;
                }
            }
            next = FindSeparator(text, p, separator);
            keep(p, (next == std::string_view::npos ? text.size() : next) - p);
            fields.push_back(w == start ? std::string_view(kQuotedEmpty, 0) : std::string_view(bytes + start, w - start));
            if (quoted)
                quoted->push_back(1);
        } else {
            next = FindSeparator(text, pos, separator);
            keep(pos, (next == std::string_view::npos ? text.size() : next) - pos);
            fields.push_back(std::string_view(bytes + start, w - start));
            if (quoted)
                quoted->push_back(0);
        }
        if (next == std::string_view::npos)
            return;
        pos = next + separator.size();
    }
}

}  // namespace

void SplitQuotedInPlace(std::string& record, std::string_view separator, std::vector<std::string_view>& fields,
                        char quote, std::vector<char>* quoted)
{
    if (quote == '"')
        SplitQuoted(record, separator, fields, DoubleQuote{}, quoted);
    else
        SplitQuoted(record, separator, fields, OtherQuote{quote}, quoted);
}

void SplitQuotedInto(std::string_view record, std::string_view separator, std::vector<std::string_view>& fields,
                     std::string& arena, char quote, std::vector<char>* quoted)
{
    arena.assign(record);
    SplitQuotedInPlace(arena, separator, fields, quote, quoted);
}

const std::vector<std::string_view>& RecordSplitter::SplitInPlace(std::string& record)
{
    if (!m_quoted)
        return Split(record);
    SplitQuotedInPlace(record, m_separator, m_fields, m_quote, m_keepQuoted ? &m_quotedFields : nullptr);
    return m_fields;
}

const std::vector<std::string_view>& RecordSplitter::Split(std::string_view record)
{
    if (m_quoted)
        SplitQuotedInto(record, m_separator, m_fields, m_arena, m_quote, m_keepQuoted ? &m_quotedFields : nullptr);
    else
        SplitFieldsInto(record, m_separator, m_fields);
    return m_fields;
}

bool RecordReader::Next(std::string& record)
{
    return m_quote == '"' ? Read(record, DoubleQuote{}) : Read(record, OtherQuote{m_quote});
}

template <typename Quote>
bool RecordReader::Read(std::string& record, Quote quote)
{
    m_taken = 0;
    m_unclosed = false;
    m_tooLong = false;
    QuoteScanner<Quote> scanner(m_separator, quote);
    SkippedQuotes<Quote> skipped(scanner, m_held);
    // A line over the limit is read past; quoted, its quotes are still followed.
    SkippedText* const follow = m_quoted ? &skipped : nullptr;
    if (!m_lines.Next(record, follow))
        return false;
    m_start = m_lines.LineStart();
    m_taken = 1;
    m_tooLong = m_lines.Skipped();
    if (!m_quoted)
        return true;
    if (m_tooLong)
        skipped.End();
    else
        scanner.Scan(record);
    while (scanner.Inside()) {
        const std::string_view terminator = m_lines.Terminator();
        if (terminator.empty() || !m_lines.Next(m_line, follow)) {
            m_unclosed = true;
            return true;
        }
        ++m_taken;
        if (m_lines.Skipped())
            skipped.End();
        else
            scanner.Scan(m_line);
        if (!m_tooLong &&
            (m_lines.Skipped() || record.size() + terminator.size() + m_line.size() > m_maxLength)) {
            m_tooLong = true;
            std::string().swap(record);
        }
        if (!m_tooLong) {
            record.append(terminator);
            record.append(m_line);
        }
    }
    return true;
}

}  // namespace qb
