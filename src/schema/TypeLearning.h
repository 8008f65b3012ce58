#pragma once

#include "read/Records.h"
#include "schema/ValueGuess.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qb {

// A new table's column types, learnt from every record the import would
// send: one without a note and with as many values as the header has fields.
class TypeLearning {
public:
    TypeLearning(std::string separator, bool quoted, char quote = '"')
        : m_splitter(std::move(separator), quoted, quote)
    {
    }

    void Header(std::string_view header) { m_columns = m_splitter.Split(header).size(); }
    // The record is split in place: its text is spent.
    void Record(std::string& text)
    {
        const auto& fields = m_splitter.SplitInPlace(text);
        if (fields.size() == m_columns)
            m_guesser.Observe(fields);
    }
    const TypeGuesser& Guesser() const { return m_guesser; }

private:
    RecordSplitter m_splitter;
    TypeGuesser m_guesser;
    std::size_t m_columns = 0;  // known once the header is read
};

}  // namespace qb
