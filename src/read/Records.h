#pragma once

#include "read/LineReader.h"

#include <string>
#include <string_view>
#include <vector>

namespace qb {

// A field written as "" is the empty text, where an empty field is NULL:
// its view points here.
extern const char kQuotedEmpty[];
inline bool IsQuotedEmpty(std::string_view field)
{
    return field.data() == kQuotedEmpty;
}

// Cuts a record whose fields may be in quotes (double quotes unless quote
// says otherwise). A field that begins with a quote runs to the matching closing quote, two quotes inside it
// standing for one; separators and line ends inside belong to it, and text
// between the closing quote and the next separator is kept. Other fields
// are taken as they are. The fields' text is moved to the front of record
// as the quotes are taken out, and the views point into record. quoted,
// when given, gets one flag per field: it began with a quote.
void SplitQuotedInPlace(std::string& record, std::string_view separator, std::vector<std::string_view>& fields,
                        char quote = '"', std::vector<char>* quoted = nullptr);
// The same, cut in a copy of record kept in arena, which is reused.
void SplitQuotedInto(std::string_view record, std::string_view separator, std::vector<std::string_view>& fields,
                     std::string& arena, char quote = '"', std::vector<char>* quoted = nullptr);

// Cuts a record by the file's rules: quoted or exactly on the separator.
class RecordSplitter {
public:
    RecordSplitter(std::string separator, bool quoted, char quote = '"')
        : m_separator(std::move(separator)), m_quoted(quoted), m_quote(quote)
    {
    }
    const std::vector<std::string_view>& Split(std::string_view record);
    const std::string& Separator() const { return m_separator; }
    // The same fields, cut within record itself, which is overwritten:
    // no copy of a huge record is made.
    const std::vector<std::string_view>& SplitInPlace(std::string& record);
    // Per field of the last split, whether it was in quotes; empty when the
    // file's fields are never quoted. Kept only once asked for (trimming and
    // NULL markers leave quoted fields alone).
    void KeepQuoted() { m_keepQuoted = m_quoted; }
    const std::vector<char>& Quoted() const { return m_quotedFields; }

private:
    std::string m_separator;
    bool m_quoted;
    char m_quote;
    bool m_keepQuoted = false;
    std::vector<std::string_view> m_fields;
    std::vector<char> m_quotedFields;
    std::string m_arena;
};

// Reads records: a line each, or, with quoted fields, as many lines as a
// record's open quotes take, their line ends kept inside it.
class RecordReader {
public:
    // maxLength bounds a record as the line reader bounds each line, so that
    // an open quote cannot gather the rest of a file into memory: a longer
    // record is read to its end but not kept.
    RecordReader(LineReader& lines, std::string separator, bool quoted, std::size_t maxLength = kMaxLineLength,
                 char quote = '"')
        : m_lines(lines), m_separator(std::move(separator)), m_quoted(quoted), m_quote(quote), m_maxLength(maxLength)
    {
    }

    // False at the end of the file. A record with a line over the limit is
    // read to its end too, and left empty as TooLong() tells.
    bool Next(std::string& record);
    // Physical lines the last record took.
    long Lines() const { return m_taken; }
    // Where the last record began and where its text ended in the file's
    // own bytes (before any conversion).
    off_t Start() const { return m_start; }
    off_t End() const { return m_lines.LineEnd(); }
    // The last record ran to the end of the file inside quotes.
    bool Unclosed() const { return m_unclosed; }
    // The last record passed the limit: it was read to its end and is left empty.
    bool TooLong() const { return m_tooLong; }

private:
    // The reading itself, for the double quote or another character: the
    // usual one costs nothing for the choice.
    template <typename Quote>
    bool Read(std::string& record, Quote quote);

    LineReader& m_lines;
    std::string m_separator;
    bool m_quoted;
    char m_quote;
    std::size_t m_maxLength;
    std::string m_line;
    std::string m_held;  // a skipped line's undecided tail, between its pieces
    long m_taken = 0;
    off_t m_start = 0;
    bool m_unclosed = false;
    bool m_tooLong = false;
};

}  // namespace qb
