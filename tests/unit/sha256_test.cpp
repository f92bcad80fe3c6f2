// The system library's SHA-256 behind platform::Sha256: published digests,
// and the same digest however a body is cut into pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/sha256.h"

namespace pw::platform {
namespace {

std::string HexOf(const std::string& bytes) {
  Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  return HexDigest(hash.Final());
}

TEST(Sha256, PublishedDigests) {
  EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(HexOf(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Several megabytes fed in odd pieces that straddle the 64-byte blocks, as
// the steps of a body do, give the digest of the whole fed at once.
TEST(Sha256, OddPiecesOfAMultiMegabyteBodyGiveTheWholeBodysDigest) {
  std::string body(5 * 1024 * 1024 + 13, '\0');
  std::uint32_t x = 12345;
  for (char& c : body) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  const std::string whole = HexOf(body);

  Sha256 hash;
  std::size_t at = 0;
  for (const std::size_t piece : {0u, 1u, 63u, 65u, 127u, 128u, 4097u, 256000u, 1u << 20}) {
    hash.Update(body.data() + at, piece);
    at += piece;
  }
  for (std::size_t step = 3; at < body.size(); step = step * 7 % 100003 + 1) {
    const std::size_t n = std::min(step, body.size() - at);
    hash.Update(body.data() + at, n);
    at += n;
  }
  EXPECT_EQ(HexDigest(hash.Final()), whole);
  // Final starts the hash over: the same object serves the next body.
  hash.Update("abc", 3);
  EXPECT_EQ(HexDigest(hash.Final()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace pw::platform
