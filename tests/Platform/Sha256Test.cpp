// SHA-256 against the standard's test vectors, whole and fed in pieces of
// every awkward size around the 64-byte block.
#include "Platform/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct Vector {
    std::string message;
    const char* digest;
};

const Vector kVectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnop"
     "qrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, StandardVectorsWhole) {
    for (const Vector& v : kVectors) {
        Platform::CSha256 hash;
        hash.Update(v.message);
        EXPECT_EQ(v.digest, hash.FinishHex()) << v.message.size() << " bytes";
    }
}

TEST(Sha256, StandardVectorsInPieces) {
    for (std::size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 4096u}) {
        for (const Vector& v : kVectors) {
            Platform::CSha256 hash;
            for (std::size_t at = 0; at < v.message.size(); at += piece)
                hash.Update(v.message.data() + at, std::min(piece, v.message.size() - at));
            EXPECT_EQ(v.digest, hash.FinishHex()) << v.message.size() << " bytes by " << piece;
        }
    }
}

}  // namespace
