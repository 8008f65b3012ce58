#include "base/Sha256.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

// The standard's own examples, fed whole and in pieces that straddle the blocks.
TEST(Sha256Test, KnownDigestsInAnyPieces)
{
    struct Case {
        std::string bytes;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {std::size_t(1) << 30, std::size_t(1), std::size_t(63), std::size_t(65)}) {
            Sha256 sha;
            for (std::size_t at = 0; at < c.bytes.size(); at += piece)
                sha.Add(std::string_view(c.bytes).substr(at, piece));
            EXPECT_EQ(sha.HexDigest(), c.digest) << c.bytes.size() << " bytes in pieces of " << piece;
        }
    }
}

}  // namespace
}  // namespace qb
