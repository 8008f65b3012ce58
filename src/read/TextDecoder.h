#pragma once

#include <iconv.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

// The encoding a file is read in when it is chosen: UTF-8 where every byte
// is, otherwise what the detector makes of it (see GuessEncoding).
inline constexpr const char* kAutoEncoding = "Auto";

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
    void Flush(std::string& out);

    iconv_t m_iconv;
    std::string m_carry;  // the start of a sequence the last piece cut short
    std::size_t m_unit;   // bytes to skip past an invalid sequence
    std::string m_cr;
    std::string m_lf;
};

// What a file's bytes are as UTF-8.
struct Utf8Scan {
    bool valid = true;      // every byte belongs to a valid UTF-8 sequence
    bool nonAscii = false;  // some byte is past 0x7F (a UTF-8 byte order mark counts)
    std::uint64_t invalidAt = 0;  // where the first invalid sequence begins, when one does
};

// Scans bytes; a sequence cut short by their end is not valid.
Utf8Scan ScanUtf8(std::string_view bytes);

// Scans an open file from its start, by offset, leaving the descriptor's
// position alone: the sequences that begin in its first limit bytes (the
// whole file by default), a sequence the limit cuts being read to its end.
// Stops at the first invalid sequence. Throws std::system_error naming name.
Utf8Scan ScanUtf8(int fd, const std::string& name, std::uint64_t limit = UINT64_MAX);

// A legacy encoding: one named that is not a form of Unicode (UTF-8,
// UTF-16, UTF-32, UCS-2, ...), nor "Auto", nor empty (as is). A file that is
// valid UTF-8 with bytes past ASCII, read in one, has its letters beyond
// ASCII stored as other letters.
bool LegacyEncoding(std::string_view encoding);

}  // namespace qb
