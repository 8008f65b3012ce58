#include "schema/Naming.h"

#include "files/PathHelpers.h"
#include "read/TextDecoder.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <locale.h>
#include <unordered_map>
#include <unordered_set>
#include <wctype.h>

namespace qb {
namespace {

constexpr std::string_view kColumnNameAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// Letters and digits of every alphabet as the C library's UTF-8 rules know
// them, whatever the program's own locale.
locale_t Utf8Rules()
{
    static const locale_t rules = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return rules;
}

// The code point of a valid UTF-8 sequence of length bytes at text.
char32_t CodePoint(std::string_view text, std::size_t length)
{
    const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text[i])); };
    if (length == 1)
        return byte(0);
    char32_t point = byte(0) & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i)
        point = (point << 6) | (byte(i) & 0x3F);
    return point;
}

// A name as databases compare column names: letter case aside.
std::string Folded(std::string_view name, bool keepLetters)
{
    std::string folded;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = std::max<std::size_t>(1, Utf8SequenceLength(name, i));
        if (length == 1 || !keepLetters || !Utf8Rules()) {
            folded += static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
        } else {
            const auto lower = static_cast<std::uint32_t>(
                towlower_l(static_cast<wint_t>(CodePoint(name.substr(i), length)), Utf8Rules()));
            folded.append(reinterpret_cast<const char*>(&lower), sizeof lower);
        }
        i += length;
    }
    return folded;
}

}  // namespace

std::string ExpandTableName(std::string_view pattern, int counter, std::string_view path, bool keepLetters)
{
    static constexpr std::string_view counterToken = "[counter]";
    static constexpr std::string_view fileToken = "[file]";
    const std::string number = std::to_string(counter);
    std::string file;
    if (pattern.find(fileToken) != std::string_view::npos) {
        std::string_view base = path.substr(ParentFolder(path).size());
        if (const auto dot = base.find_last_of('.'); dot != std::string_view::npos && dot > 0)
            base = base.substr(0, dot);
        file = CleanColumnName(base, keepLetters);
        if (file.empty())
            file = "File" + number;
    }
    std::string name;
    for (std::size_t at = 0; at < pattern.size();) {
        if (pattern.substr(at).starts_with(counterToken)) {
            name += number;
            at += counterToken.size();
        } else if (pattern.substr(at).starts_with(fileToken)) {
            name += file;
            at += fileToken.size();
        } else {
            name += pattern[at++];
        }
    }
    return name;
}

std::string CleanColumnName(std::string_view text, bool keepLetters)
{
    std::string name;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length > 1 && keepLetters && Utf8Rules() &&
            iswalnum_l(static_cast<wint_t>(CodePoint(text.substr(i), length)), Utf8Rules()))
            name.append(text.substr(i, length));
        else if (kColumnNameAlphabet.find(text[i]) != std::string_view::npos || (keepLetters && text[i] == '_'))
            name += text[i];
        i += std::max<std::size_t>(1, length);
    }
    return name;
}

void MendNames(std::vector<std::string>& names, std::span<const std::size_t> places, bool keepLetters)
{
    std::unordered_set<std::string> taken;
    // Per name, the suffix to try next: a name repeated on every field must not cost each of them all
    // the suffixes before it (names taken stay taken, so the first free one is never below it).
    std::unordered_map<std::string, int> next;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty())
            names[i] = "Column" + std::to_string(places[i]);
        std::string name = names[i];
        int& n = next.try_emplace(Folded(name, keepLetters), 2).first->second;
        for (; !taken.insert(Folded(name, keepLetters)).second; ++n)
            name = names[i] + "_" + std::to_string(n);
        names[i] = std::move(name);
    }
}

std::vector<std::string> ColumnNames(std::span<const std::string_view> header, bool keepLetters)
{
    std::vector<std::string> names;
    std::vector<std::size_t> places;
    for (std::size_t i = 0; i < header.size(); ++i) {
        names.push_back(CleanColumnName(header[i], keepLetters));
        places.push_back(i + 1);
    }
    MendNames(names, places, keepLetters);
    return names;
}

NamingFields::NamingFields(std::span<const std::string_view> header, bool numbered)
{
    if (!numbered) {
        m_fields.assign(header.begin(), header.end());
        return;
    }
    m_numbered.reserve(header.size());
    for (std::size_t i = 1; i <= header.size(); ++i)
        m_numbered.push_back("Column" + std::to_string(i));
    m_fields.assign(m_numbered.begin(), m_numbered.end());
}

}  // namespace qb
