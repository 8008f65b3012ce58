#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace qb {

// Stands for a sequence that could not be converted. 0xFF never occurs in
// UTF-8, so a converted text holding it is known to be damaged there.
inline constexpr char kUndecodable = '\xFF';

// The length of the valid UTF-8 sequence at text[at], or 0 when none starts
// there (overlong forms, surrogates and code points past U+10FFFF are not UTF-8).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// Converts text in a named encoding (iconv's names: latin1, cp1252,
// utf-16le, ...) to UTF-8, piece by piece: a sequence cut by the end of a
// piece is finished with the next one.
class TextDecoder {
public:
    // Throws std::invalid_argument for an encoding iconv does not know.
    explicit TextDecoder(const std::string& encoding);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    static bool Known(const std::string& encoding);

    // Appends the UTF-8 of bytes to out; last: no more bytes will follow.
    void Decode(std::string_view bytes, bool last, std::string& out);
    // A line ends here: a sequence cut short by it is marked, not finished
    // with the next line's bytes; the converter's state goes on.
    void EndLine(std::string& out);

    // The bytes of a CR and of an LF in the encoding, empty where it has
    // none; the size of one character.
    const std::string& Cr() const { return m_cr; }
    const std::string& Lf() const { return m_lf; }
    std::size_t Unit() const { return m_unit; }

private:
    void Convert(std::string_view input, bool last, std::string& out);

    iconv_t m_iconv;
    std::string m_carry;  // the start of a sequence the last piece cut short
    std::size_t m_unit;   // bytes to skip past an invalid sequence
    std::string m_cr;
    std::string m_lf;
};

}  // namespace qb
