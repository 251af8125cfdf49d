#include "base/sha256.h"

#include <gtest/gtest.h>

#include <string>

// The system's SHA-256 against the standard's examples, one of them longer
// than a block.
TEST(Sha256, KnownDigests) {
    struct Case {
        std::string data;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        char hex[65] = "untouched";
        EXPECT_EQ(0u, sha256Hex(c.data.data(), c.data.size(), hex));
        EXPECT_STREQ(c.digest, hex);
    }
}

// Pieces of any size give the digest of the whole.
TEST(Sha256, PieceByPiece) {
    const std::string data(1000000, 'a');
    Sha256 hash;
    ASSERT_EQ(0u, hash.begin());
    for (size_t at = 0, piece = 1; at < data.size(); at += piece, piece = piece * 3 + 1) {
        size_t n = piece < data.size() - at ? piece : data.size() - at;
        ASSERT_EQ(0u, hash.add(data.data() + at, n));
    }
    char hex[65] = {};
    EXPECT_EQ(0u, hash.finishHex(hex));
    EXPECT_STREQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", hex);
    EXPECT_NE(0u, hash.add("a", 1)); // spent
}
