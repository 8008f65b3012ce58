#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qb {

// SHA-256 of bytes fed in pieces of any size: the content digest by which a
// file imported before is known again, whatever its name. OpenSSL's, which
// uses the processor's own SHA instructions where it has them.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(std::string_view bytes);
    // The digest as 64 lowercase hex digits; the object is spent.
    std::string HexDigest();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

// The digest of everything an open file holds, read by offset from its
// start; with copy, the bytes read are written there in the same pass, so
// that the copy holds exactly what the digest names. Throws
// std::system_error when it cannot be read or the copy written.
std::string ContentDigest(int fd, int copy = -1);

}  // namespace qb
