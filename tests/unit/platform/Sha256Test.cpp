#include "platform/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tx {
namespace {

// The examples of FIPS 180-4 and NIST's short and long message tests.
TEST(Sha256Test, GivesTheStandardsDigests) {
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", Sha256::HexOf(""));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
              Sha256::HexOf("abc"));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              Sha256::HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1",
              Sha256::HexOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmn"
                            "hijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"));
    EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
              Sha256::HexOf(std::string(1000000, 'a')));
}

// Lengths around the block (64) and padding (56) boundaries, against
// digests sha256sum gave for the same bytes.
TEST(Sha256Test, PadsEveryLengthAroundTheBlockBoundaries) {
    EXPECT_EQ("9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318",
              Sha256::HexOf(std::string(55, 'a')));
    EXPECT_EQ("b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a",
              Sha256::HexOf(std::string(56, 'a')));
    EXPECT_EQ("7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34",
              Sha256::HexOf(std::string(63, 'a')));
    EXPECT_EQ("ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb",
              Sha256::HexOf(std::string(64, 'a')));
    EXPECT_EQ("635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0",
              Sha256::HexOf(std::string(65, 'a')));
}

TEST(Sha256Test, AnySplitOfTheMessageGivesTheSameDigest) {
    std::string message;
    for (int i = 0; i < 1000; ++i) message += static_cast<char>((i * 7 + 3) & 0xFF);
    const std::string whole = Sha256::HexOf(message);
    for (std::size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 127u, 999u}) {
        Sha256 hash;
        for (std::size_t at = 0; at < message.size(); at += piece)
            hash.Update(message.data() + at, std::min(piece, message.size() - at));
        EXPECT_EQ(whole, Sha256::Hex(hash.Finish())) << "pieces of " << piece;
    }
    EXPECT_NE(whole, Sha256::HexOf(message.substr(1)));
}

}  // namespace
}  // namespace tx
