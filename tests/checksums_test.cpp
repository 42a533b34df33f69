#include "common/checksums.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Sha1Hex(const std::string& text, size_t piece) {
  Sha1 sha;
  StartSha1(&sha);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
  for (size_t at = 0; at < text.size(); at += piece) {
    AddToSha1(&sha, bytes + at, std::min(piece, text.size() - at));
  }
  uint8_t digest[kSha1Bytes];
  FinishSha1(&sha, digest);
  char hex[2 * kSha1Bytes + 1];
  WriteHex(digest, kSha1Bytes, hex);
  return hex;
}

uint32_t Crc32(const std::string& text) {
  return UpdateCrc32(0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

struct Sha1Case {
  std::string text;
  const char* digest;
};

// The FIPS 180 examples, and lengths on each side of where the padding
// needs a block of its own (55, 56 and 64 bytes).
const Sha1Case kSha1Cases[] = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
    {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
    {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
    {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
};

TEST(Sha1, KnownDigestsWhateverThePieces) {
  for (const Sha1Case& c : kSha1Cases) {
    for (size_t piece : {size_t{1}, size_t{7}, size_t{64}, size_t{65}, size_t{4096}}) {
      EXPECT_EQ(Sha1Hex(c.text, piece), c.digest)
          << c.text.size() << " bytes in pieces of " << piece;
    }
  }
}

TEST(Crc32, KnownValues) {
  EXPECT_EQ(Crc32(""), 0u);
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(Crc32, PiecesContinueTheSum) {
  std::string text = "The quick brown fox jumps over the lazy dog";
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
  uint32_t crc = UpdateCrc32(0, bytes, 10);
  crc = UpdateCrc32(crc, bytes + 10, text.size() - 10);
  EXPECT_EQ(crc, 0x414FA339u);
}

}  // namespace
