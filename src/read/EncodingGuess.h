#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

// What Auto reads a file in that is not UTF-8.
struct EncodingGuess {
    std::string encoding;  // iconv's name
    std::string name;      // as the log and the summary call it: "Windows-1250"
    // Why the detector's answer is not to be trusted; empty when it is.
    std::string doubt;
};

// The encoding of bytes that are not UTF-8, as the detector (uchardet) tells
// it from them. Its answer stands when the converter knows it and reads the
// bytes with it; an ISO-8859 answer for bytes holding 0x80-0x9F, which that
// family keeps for control codes, is taken for its Windows counterpart. Without
// such an answer the bytes are read as Windows-1252, with a doubt; and an
// answer drawn from very few letters beyond ASCII is doubted too.
EncodingGuess GuessEncoding(std::string_view sample);

// The same from a sample of an open file, read by offset: about a megabyte
// around its first sequence that is not UTF-8, at invalidAt. Throws
// std::system_error naming name.
EncodingGuess GuessEncoding(int fd, const std::string& name, std::uint64_t invalidAt);

}  // namespace qb
