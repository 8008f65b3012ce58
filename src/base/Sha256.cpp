#include "base/Sha256.h"

#include "base/SafeFile.h"

#include <openssl/evp.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace qb {

struct Sha256::Context {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : m_context(std::make_unique<Context>())
{
    if (!m_context->context || EVP_DigestInit_ex(m_context->context, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
}

Sha256::~Sha256() = default;

void Sha256::Add(std::string_view bytes)
{
    if (!bytes.empty() && EVP_DigestUpdate(m_context->context, bytes.data(), bytes.size()) != 1)
        throw std::runtime_error("SHA-256 failed");
}

std::string Sha256::HexDigest()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(m_context->context, digest, &size) != 1)
        throw std::runtime_error("SHA-256 failed");
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::string ContentDigest(int fd, int copy)
{
    Sha256 digest;
    std::vector<char> buffer(1 << 18);
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw std::system_error(errno, std::generic_category(), "Cannot read the file to know it again");
        if (got == 0)
            return digest.HexDigest();
        digest.Add({buffer.data(), static_cast<std::size_t>(got)});
        if (copy >= 0)
            WriteFully(copy, {buffer.data(), static_cast<std::size_t>(got)}, "Cannot keep a copy of the file");
        at += got;
    }
}

}  // namespace qb
