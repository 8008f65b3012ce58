#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

// SHA-256 of bytes fed in pieces of any size: the content digest by which a
// file imported before is known again, whatever its name.
class Sha256 {
public:
    Sha256();
    void Add(std::string_view bytes);
    // The digest as 64 lowercase hex digits; the object is spent.
    std::string HexDigest();

private:
    void Block(const unsigned char* block);

    std::array<std::uint32_t, 8> m_state;
    std::array<unsigned char, 64> m_pending{};
    std::size_t m_pendingSize = 0;
    std::uint64_t m_length = 0;  // bytes added
};

// The digest of everything an open file holds, read by offset from its
// start. Throws std::system_error when it cannot be read.
std::string ContentDigest(int fd);

}  // namespace qb
