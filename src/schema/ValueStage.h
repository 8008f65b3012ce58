#pragma once

#include "schema/DateForms.h"
#include "schema/ValueGuess.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// What the user asked of values as they are read, before anything is guessed or sent.
struct ValueOptions {
    std::vector<std::string> nullMarkers{};  // an unquoted field equal to one is NULL
    bool trim = false;                       // spaces and tabs around unquoted fields go
    bool decimalComma = false;               // numbers take a comma as their decimal mark

    bool operator==(const ValueOptions&) const = default;
};

// The marks the guess reads numbers with: a comma is a decimal mark when asked, or, where the
// separator is not a comma, when a whole column writes its numbers so.
DecimalMark MarkFor(const ValueOptions& options, std::string_view separator);

// How one column's values are written for its type.
struct ColumnRewrite {
    bool number = false;  // "1,5" goes as "1.5", ".5" as "0.5"
    bool comma = false;   // with number: the column's decimal mark is a comma
    std::optional<DateForm> date{};  // a form other than ISO: written as ISO
};

// Whether a type name holds numbers (as typed by a person, in any letter case).
bool IsNumberType(std::string_view type);

// Each of the file's columns' rewrite, from its type in the new table (per field of the file; short:
// TEXT) and, where types are learnt, the guess over its values. Nothing for a text column.
std::vector<ColumnRewrite> RewritesFor(const std::vector<std::string>& types, const TypeGuesser* guess,
                                       const ValueOptions& options);

// The values of a record between splitting and sending: trimmed, NULL markers taken as NULL, and each
// column's rewrite. The guess, the dry run, the preview and the sender all see values through one, so
// that they agree. Does nothing, at no cost, when nothing is asked.
class ValueStage {
public:
    // What the stage changed, for the log.
    struct Changes {
        long nulls = 0;
        long trimmed = 0;
        long numbers = 0;
        long dates = 0;
    };

    ValueStage() = default;
    explicit ValueStage(ValueOptions options, std::vector<ColumnRewrite> columns = {});

    bool Active() const { return m_active; }
    // The fields' quotes matter: quoted fields are neither trimmed nor NULL.
    bool WantsQuotes() const { return m_options.trim || !m_options.nullMarkers.empty(); }
    // fields as sent: the same vector when inactive, else views into them and into the stage's buffer,
    // valid until the next call. quoted: per field, whether it was in quotes (empty: none was).
    const std::vector<std::string_view>& Apply(const std::vector<std::string_view>& fields,
                                               const std::vector<char>& quoted);
    const Changes& Changed() const { return m_changes; }

private:
    bool IsMarker(std::string_view value) const;

    ValueOptions m_options;
    std::vector<ColumnRewrite> m_columns;
    bool m_active = false;
    std::vector<std::string_view> m_out;
    std::string m_scratch;  // rewritten values of the record
    struct Rewritten {
        std::size_t field, begin, size;
    };
    std::vector<Rewritten> m_rewritten;
    Changes m_changes;
};

// "2 NULL markers, 5 values trimmed, 3 decimal commas or bare fractions, 4 dates in ISO form", or
// empty text when nothing changed: the log's line of a file.
std::string ChangesText(const ValueStage::Changes& changes);

}  // namespace qb
