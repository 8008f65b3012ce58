#include "schema/ValueStage.h"

#include "base/CountText.h"
#include "read/Records.h"

#include <cstring>

namespace qb {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithWord(std::string_view type, std::string_view word)
{
    if (type.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (Upper(type[i]) != word[i])
            return false;
    return type.size() == word.size() || type[word.size()] == '(' || type[word.size()] == ' ';
}

// The form the guess learnt for a date column, where it is not ISO. The guess knows ISO alone so far:
// every date column goes as written.
bool IsDateType(std::string_view type)
{
    return StartsWithWord(type, "DATE") || StartsWithWord(type, "DATETIME") || StartsWithWord(type, "TIMESTAMP") ||
           StartsWithWord(type, "TIMESTAMPTZ");
}

}  // namespace

DecimalMark MarkFor(const ValueOptions& options, std::string_view separator)
{
    if (options.decimalComma)
        return DecimalMark::Comma;
    return separator == "," ? DecimalMark::Point : DecimalMark::Either;
}

bool IsNumberType(std::string_view type)
{
    for (const std::string_view word : {"INTEGER", "INT", "BIGINT", "SMALLINT", "NUMERIC", "DECIMAL", "REAL",
                                        "DOUBLE", "FLOAT"})
        if (StartsWithWord(type, word))
            return true;
    return false;
}

std::vector<ColumnRewrite> RewritesFor(const std::vector<std::string>& types, const TypeGuesser* guess,
                                       const ValueOptions& options)
{
    std::vector<ColumnRewrite> rewrites(types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        const ColumnGuess* column = guess && i < guess->Columns().size() ? &guess->Columns()[i] : nullptr;
        ColumnRewrite& rewrite = rewrites[i];
        if (IsNumberType(types[i])) {
            const bool comma = options.decimalComma || (column && column->Found().DecimalComma());
            // Without a guess every value is looked at; with one, only where it saw something to mend.
            rewrite.number = !column || comma || column->Found().bareFraction;
            rewrite.comma = comma;
        } else if (const auto form = column ? column->DateFormOf() : std::nullopt; form && !form->Iso()) {
            // A date column, or the TEXT that holds a guessed one where the database has no date type (SQLite):
            // its values go in ISO form, so that they compare and sort as dates.
            if (IsDateType(types[i]) || StartsWithWord(types[i], "TEXT"))
                rewrite.date = form;
        }
    }
    return rewrites;
}

ValueStage::ValueStage(ValueOptions options, std::vector<ColumnRewrite> columns)
    : m_options(std::move(options)), m_columns(std::move(columns))
{
    m_active = WantsQuotes();
    for (const ColumnRewrite& column : m_columns)
        m_active |= column.number || column.date.has_value();
}

bool ValueStage::IsMarker(std::string_view value) const
{
    for (const std::string& marker : m_options.nullMarkers)
        if (value.size() == marker.size() && std::memcmp(value.data(), marker.data(), value.size()) == 0)
            return true;
    return false;
}

const std::vector<std::string_view>& ValueStage::Apply(const std::vector<std::string_view>& fields,
                                                       const std::vector<char>& quoted)
{
    if (!m_active)
        return fields;
    m_out.assign(fields.begin(), fields.end());
    m_scratch.clear();
    m_rewritten.clear();
    for (std::size_t i = 0; i < m_out.size(); ++i) {
        std::string_view value = m_out[i];
        if ((i >= quoted.size() || !quoted[i]) && !IsQuotedEmpty(value)) {
            if (m_options.trim) {
                std::size_t from = 0, to = value.size();
                while (from < to && IsBlank(value[from]))
                    ++from;
                while (to > from && IsBlank(value[to - 1]))
                    --to;
                if (to - from != value.size()) {
                    value = value.substr(from, to - from);
                    ++m_changes.trimmed;
                }
            }
            if (!value.empty() && IsMarker(value)) {
                value = value.substr(0, 0);  // NULL, as an empty field is
                ++m_changes.nulls;
            }
            m_out[i] = value;
        }
        if (i >= m_columns.size() || value.empty())
            continue;
        const ColumnRewrite& column = m_columns[i];
        const std::size_t begin = m_scratch.size();
        if (column.number) {
            const bool sign = value[0] == '-' || value[0] == '+';
            const char first = value.size() > std::size_t(sign) ? value[sign] : '\0';
            const bool bare = first == '.' || (column.comma && first == ',');
            const std::size_t comma = column.comma ? value.find(',') : std::string_view::npos;
            if (!bare && comma == std::string_view::npos)
                continue;
            m_scratch.append(value.substr(0, sign));
            if (bare)
                m_scratch.push_back('0');
            m_scratch.append(value.substr(sign));
            if (comma != std::string_view::npos)
                m_scratch[begin + comma + (bare ? 1 : 0)] = '.';
            ++m_changes.numbers;
        } else if (column.date) {
            if (!AppendIso(value, *column.date, m_scratch))
                continue;  // not a date of that form: the database says so
            ++m_changes.dates;
        } else {
            continue;
        }
        m_rewritten.push_back({i, begin, m_scratch.size() - begin});
    }
    // The buffer may have moved while it grew: its views are made once it is whole.
    for (const Rewritten& r : m_rewritten)
        m_out[r.field] = std::string_view(m_scratch).substr(r.begin, r.size);
    return m_out;
}

std::string ChangesText(const ValueStage::Changes& changes)
{
    std::string text;
    const auto add = [&text](long count, const char* one, const char* many) {
        if (count == 0)
            return;
        text += (text.empty() ? "" : ", ") + GroupedNumber(count) + " " + (count == 1 ? one : many);
    };
    add(changes.nulls, "value NULL by its marker", "values NULL by their markers");
    add(changes.trimmed, "value trimmed", "values trimmed");
    add(changes.numbers, "number sent with a decimal point", "numbers sent with a decimal point");
    add(changes.dates, "date sent in ISO form", "dates sent in ISO form");
    return text;
}

}  // namespace qb
