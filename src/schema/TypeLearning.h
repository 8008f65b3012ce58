#pragma once

#include "read/Records.h"
#include "schema/ValueGuess.h"
#include "schema/ValueStage.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

// A new table's column types, learnt from every record the import would
// send: one without a note and with as many values as the header has fields,
// its values as the options leave them (trimmed, NULL markers).
class TypeLearning {
public:
    // quote: what opens a quoted field; dates: as TypeGuesser takes it.
    TypeLearning(std::string separator, bool quoted, char quote = '"', const ValueOptions& options = {},
                 std::optional<DateForm> dates = {})
        : m_splitter(separator, quoted, quote), m_stage(options), m_guesser(MarkFor(options, separator), dates)
    {
        if (m_stage.WantsQuotes())
            m_splitter.KeepQuoted();
    }

    void Header(std::string_view header) { m_columns = m_splitter.Split(header).size(); }
    // The record is split in place: its text is spent.
    void Record(std::string& text)
    {
        const auto& fields = m_stage.Apply(m_splitter.SplitInPlace(text), m_splitter.Quoted());
        if (fields.size() == m_columns)
            m_guesser.Observe(fields);
    }
    const TypeGuesser& Guesser() const { return m_guesser; }

private:
    RecordSplitter m_splitter;
    ValueStage m_stage;
    TypeGuesser m_guesser;
    std::size_t m_columns = 0;  // known once the header is read
};

}  // namespace qb
