#include "read/TextDecoder.h"

#include "base/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace qb {
namespace {

// Text in the encoding, learnt from the converter itself.
std::string Encoded(iconv_t to, std::string_view text)
{
    char in[8] = {};
    char out[64];
    text.copy(in, sizeof in);
    char* from = in;
    char* into = out;
    std::size_t inLeft = text.size();
    std::size_t outLeft = sizeof out;
    ::iconv(to, nullptr, nullptr, nullptr, nullptr);
    if (::iconv(to, &from, &inLeft, &into, &outLeft) == static_cast<std::size_t>(-1))
        return {};
    ::iconv(to, nullptr, nullptr, &into, &outLeft);
    return std::string(out, sizeof out - outLeft);
}

// One character's bytes: those "cc" adds to "c", so that a byte order mark
// written first does not count.
std::string OneCharacter(iconv_t to, std::string_view c)
{
    const std::string once = Encoded(to, c);
    const std::string twice = Encoded(to, std::string(c) + std::string(c));
    return twice.size() > once.size() ? twice.substr(once.size()) : std::string();
}

// iconv lets through code points UTF-8 cannot hold: they are marked too.
void MarkInvalid(std::string& text, std::size_t from)
{
    for (std::size_t i = from; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80 || text[i] == kUndecodable) {
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0)
            text[i++] = kUndecodable;
        else
            i += length;
    }
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead < 0x80                     ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : (lead >> 4) == 0xE           ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80)
            return 0;
    }
    if ((lead == 0xE0 && byte(at + 1) < 0xA0) || (lead == 0xED && byte(at + 1) > 0x9F) ||
        (lead == 0xF0 && byte(at + 1) < 0x90) || (lead == 0xF4 && byte(at + 1) > 0x8F))
        return 0;
    return length;
}

TextDecoder::TextDecoder(const std::string& encoding) : m_iconv(::iconv_open("UTF-8", encoding.c_str())), m_unit(1)
{
    if (m_iconv == reinterpret_cast<iconv_t>(-1))
        throw std::invalid_argument("The encoding " + encoding + " is not known.");
    // Past an invalid sequence the reading goes on by one character's size,
    // learnt from the converter, never from the name: "cp932" holds "32".
    const iconv_t to = ::iconv_open(encoding.c_str(), "UTF-8");
    if (to != reinterpret_cast<iconv_t>(-1)) {
        m_unit = std::max<std::size_t>(OneCharacter(to, "A").size(), 1);
        m_cr = OneCharacter(to, "\r");
        m_lf = OneCharacter(to, "\n");
        ::iconv_close(to);
    }
}

TextDecoder::~TextDecoder()
{
    ::iconv_close(m_iconv);
}

bool TextDecoder::Known(const std::string& encoding)
{
    if (encoding == kAutoEncoding)
        return true;
    const iconv_t probe = ::iconv_open("UTF-8", encoding.c_str());
    if (probe == reinterpret_cast<iconv_t>(-1))
        return false;
    ::iconv_close(probe);
    return true;
}

void TextDecoder::Decode(std::string_view bytes, bool last, std::string& out)
{
    Convert(bytes, last, out);
    if (last)
        Flush(out);
}

void TextDecoder::EndLine(std::string& out)
{
    if (!m_carry.empty())
        Convert({}, true, out);
    Flush(out);
}

// Encodings that combine a letter with a mark after it (Vietnamese, Hebrew) hold the letter back until
// they see what follows: the end of a line or of the text lets it out, in its place.
void TextDecoder::Flush(std::string& out)
{
    constexpr std::size_t kRoom = 32;
    const std::size_t used = out.size();
    out.resize(used + kRoom);
    char* to = out.data() + used;
    std::size_t left = kRoom;
    ::iconv(m_iconv, nullptr, nullptr, &to, &left);
    out.resize(out.size() - left);
    MarkInvalid(out, used);
}

void TextDecoder::Convert(std::string_view bytes, bool last, std::string& out)
{
    const std::size_t from = out.size();
    std::string_view input = bytes;
    if (!m_carry.empty()) {
        m_carry.append(bytes);
        input = m_carry;
    }
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        const std::size_t used = out.size();
        out.resize(used + inLeft * 4 + 16);
        char* to = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t result = ::iconv(m_iconv, &in, &inLeft, &to, &outLeft);
        const int error = errno;
        out.resize(out.size() - outLeft);
        if (result != static_cast<std::size_t>(-1))
            break;
        if (error == E2BIG)
            continue;
        if (error == EINVAL && !last)
            break;  // cut short: finished with the next piece
        // Invalid, or cut short by the end of the text.
        out += kUndecodable;
        const std::size_t skip = std::min(inLeft, m_unit);
        in += skip;
        inLeft -= skip;
    }
    MarkInvalid(out, from);
    std::string rest(in, inLeft);
    m_carry.swap(rest);
    if (last)
        m_carry.clear();
}

namespace {

// Scans the sequences of bytes that begin before stop. One that the end of bytes may have cut is left
// for more bytes unless final. Returns where the scan stopped; an invalid sequence ends it.
std::size_t ScanPiece(std::string_view bytes, std::size_t stop, bool final, Utf8Scan& scan)
{
    std::size_t i = 0;
    while (i < stop) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        scan.nonAscii = true;
        const std::size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) {
            scan.valid = !final && bytes.size() - i < 4;  // perhaps cut: finished with the next piece
            break;
        }
        i += length;
    }
    return i;
}

}  // namespace

Utf8Scan ScanUtf8(std::string_view bytes)
{
    Utf8Scan scan;
    const std::size_t stop = ScanPiece(bytes, bytes.size(), true, scan);
    if (!scan.valid)
        scan.invalidAt = stop;
    return scan;
}

Utf8Scan ScanUtf8(int fd, const std::string& name, std::uint64_t limit)
{
    constexpr std::size_t kPiece = std::size_t(1) << 16;
    Utf8Scan scan;
    std::string buffer(kPiece, '\0');
    std::uint64_t at = 0;  // where buffer[0] is in the file
    std::size_t held = 0;
    bool end = false;
    while (true) {
        if (!end) {
            const std::size_t wanted = buffer.size() - held;
            const std::size_t got = ReadFully(fd, buffer.data() + held, wanted, static_cast<off_t>(at + held), name);
            end = got < wanted;
            held += got;
        }
        const auto stop = static_cast<std::size_t>(std::min<std::uint64_t>(held, at < limit ? limit - at : 0));
        const std::size_t i = ScanPiece({buffer.data(), held}, stop, end, scan);
        if (!scan.valid)
            scan.invalidAt = at + i;
        if (!scan.valid || at + i >= limit || (end && i >= held))
            return scan;
        // Keep the cut sequence's start for the next piece.
        std::memmove(buffer.data(), buffer.data() + i, held - i);
        at += i;
        held -= i;
    }
}

bool LegacyEncoding(std::string_view encoding)
{
    std::string bare;
    for (const char c : encoding) {
        if (c != '-' && c != '_')
            bare += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return !bare.empty() && bare != "AUTO" && !bare.starts_with("UTF") && !bare.starts_with("UCS") &&
           !bare.starts_with("UNICODE");
}

}  // namespace qb
