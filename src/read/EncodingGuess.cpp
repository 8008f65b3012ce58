#include "read/EncodingGuess.h"

#include "base/SafeFile.h"
#include "read/TextDecoder.h"

#include <uchardet/uchardet.h>

#include <algorithm>
#include <memory>
#include <new>

namespace qb {
namespace {

constexpr std::size_t kSampleBytes = std::size_t(1) << 20;
// Below this many bytes past ASCII the detector's single-byte answers are
// little better than chance: one "é" has been taken for a Mac encoding.
constexpr std::size_t kFewBytes = 8;

// ISO-8859 keeps 0x80-0x9F for control codes, which no text holds; the
// Windows code page built on the same letters puts letters there.
struct Counterpart {
    const char* iso;
    const char* windows;
};
constexpr Counterpart kCounterparts[] = {
    {"ISO-8859-1", "WINDOWS-1252"},  {"ISO-8859-2", "WINDOWS-1250"}, {"ISO-8859-7", "WINDOWS-1253"},
    {"ISO-8859-8", "WINDOWS-1255"},  {"ISO-8859-9", "WINDOWS-1254"}, {"ISO-8859-13", "WINDOWS-1257"},
    {"ISO-8859-15", "WINDOWS-1252"},
};

std::string Upper(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return upper;
}

// "WINDOWS-1250" as "Windows-1250"; other names as the detector gives them.
std::string Shown(const std::string& encoding)
{
    return encoding.starts_with("WINDOWS-") ? "Windows-" + encoding.substr(8) : encoding;
}

// Whether the encoding reads every byte of the sample as text: nothing it
// cannot convert, and no control code where a letter was meant. A sequence
// cut by the sample's end is not held against it.
bool ReadsAll(const std::string& encoding, std::string_view sample)
{
    TextDecoder decoder(encoding);
    std::string text;
    decoder.Decode(sample, false, text);
    if (text.find(kUndecodable) != std::string::npos)
        return false;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\xC2' && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            return false;
    }
    return true;
}

struct DetectorDeleter {
    void operator()(uchardet* detector) const { uchardet_delete(detector); }
};

std::string Detected(std::string_view sample)
{
    const std::unique_ptr<uchardet, DetectorDeleter> detector(uchardet_new());
    if (!detector)
        throw std::bad_alloc();
    uchardet_handle_data(detector.get(), sample.data(), sample.size());
    uchardet_data_end(detector.get());
    const char* charset = uchardet_get_charset(detector.get());
    return Upper(charset ? charset : "");
}

}  // namespace

EncodingGuess GuessEncoding(std::string_view sample)
{
    std::size_t beyondAscii = 0;
    bool controlRange = false;
    for (const char c : sample) {
        const auto byte = static_cast<unsigned char>(c);
        beyondAscii += byte >= 0x80;
        controlRange |= byte >= 0x80 && byte <= 0x9F;
    }
    std::string answer = Detected(sample);
    for (const Counterpart& counterpart : kCounterparts) {
        // Windows-1252 has every letter of ISO-8859-1 in its place: it is said for either.
        if (answer == counterpart.iso && (controlRange || answer == "ISO-8859-1"))
            answer = counterpart.windows;
    }
    const EncodingGuess fallback{"WINDOWS-1252", "Windows-1252", {}};
    // The file is known not to be UTF-8, so neither answer fits it.
    if (answer.empty() || answer == "ASCII" || answer == "UTF-8")
        return {fallback.encoding, fallback.name, "the detector gave no answer"};
    if (!TextDecoder::Known(answer))
        return {fallback.encoding, fallback.name, "the detector's answer " + answer + " is not known to the converter"};
    if (!ReadsAll(answer, sample))
        return {fallback.encoding, fallback.name, "the detector's answer " + Shown(answer) + " does not read it"};
    if (beyondAscii < kFewBytes) {
        const std::string doubt = "too few letters beyond ASCII to tell";
        // A Windows code page stands; a rarer answer drawn from so little is likelier wrong than Windows-1252.
        return answer.starts_with("WINDOWS-") ? EncodingGuess{answer, Shown(answer), doubt}
                                              : EncodingGuess{fallback.encoding, fallback.name, doubt};
    }
    return {answer, Shown(answer), {}};
}

EncodingGuess GuessEncoding(int fd, const std::string& name, std::uint64_t invalidAt)
{
    // The bytes before the first that is not UTF-8 tell nothing: begin on a line just before it.
    constexpr std::uint64_t kBefore = 4096;
    const std::uint64_t from = invalidAt <= kBefore ? 0 : invalidAt - kBefore;
    std::string sample(kSampleBytes, '\0');
    sample.resize(ReadFully(fd, sample.data(), sample.size(), static_cast<off_t>(from), name));
    std::size_t begin = 0;
    if (from > 0) {
        const std::size_t lineEnd = sample.find('\n');
        if (lineEnd != std::string::npos && lineEnd < invalidAt - from)
            begin = lineEnd + 1;
    }
    return GuessEncoding(std::string_view(sample).substr(begin));
}

}  // namespace qb
