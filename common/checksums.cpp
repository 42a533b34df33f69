#include "common/checksums.h"

#include <cstring>

namespace {

// The reflected IEEE polynomial's table, one entry per byte value.
struct Crc32Table {
  uint32_t entry[256];
  constexpr Crc32Table() : entry() {
    for (uint32_t byte = 0; byte < 256; byte++) {
      uint32_t crc = byte;
      for (int bit = 0; bit < 8; bit++)
        crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
      entry[byte] = crc;
    }
  }
};
constexpr Crc32Table kCrc32Table;

uint32_t RotateLeft(uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

uint32_t ReadBE32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// The schedule's word i (i >= 16), kept in a ring of 16.
inline uint32_t NextWord(uint32_t w[16], int i) {
  w[i & 15] = RotateLeft(w[(i + 13) & 15] ^ w[(i + 8) & 15] ^ w[(i + 2) & 15] ^ w[i & 15], 1);
  return w[i & 15];
}

// One round: the five words turn by one, with round i's function `f`.
#define SHA1_ROUND(a, b, c, d, e, f, k, word)     \
  do {                                            \
    (e) += RotateLeft(a, 5) + (f) + (k) + (word); \
    (b) = RotateLeft(b, 30);                      \
  } while (0)

// Five rounds from round i on, the words' roles turning as each round ends.
#define SHA1_FIVE(i, f, k, word)                           \
  do {                                                     \
    SHA1_ROUND(a, b, c, d, e, f(b, c, d), k, word(i));     \
    SHA1_ROUND(e, a, b, c, d, f(a, b, c), k, word(i + 1)); \
    SHA1_ROUND(d, e, a, b, c, f(e, a, b), k, word(i + 2)); \
    SHA1_ROUND(c, d, e, a, b, f(d, e, a), k, word(i + 3)); \
    SHA1_ROUND(b, c, d, e, a, f(c, d, e), k, word(i + 4)); \
  } while (0)

inline uint32_t Choose(uint32_t b, uint32_t c, uint32_t d) {
  return d ^ (b & (c ^ d));
}
inline uint32_t Parity(uint32_t b, uint32_t c, uint32_t d) {
  return b ^ c ^ d;
}
inline uint32_t Majority(uint32_t b, uint32_t c, uint32_t d) {
  return (b & c) | (d & (b | c));
}

void ProcessBlock(uint32_t state[5], const uint8_t* block) {
  uint32_t w[16];
  for (int i = 0; i < 16; i++)
    w[i] = ReadBE32(block + 4 * i);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
#define FIRST_WORD(i) w[i]
#define LATER_WORD(i) NextWord(w, i)
  SHA1_FIVE(0, Choose, 0x5A827999u, FIRST_WORD);
  SHA1_FIVE(5, Choose, 0x5A827999u, FIRST_WORD);
  SHA1_FIVE(10, Choose, 0x5A827999u, FIRST_WORD);
  SHA1_ROUND(a, b, c, d, e, Choose(b, c, d), 0x5A827999u, w[15]);
  SHA1_ROUND(e, a, b, c, d, Choose(a, b, c), 0x5A827999u, LATER_WORD(16));
  SHA1_ROUND(d, e, a, b, c, Choose(e, a, b), 0x5A827999u, LATER_WORD(17));
  SHA1_ROUND(c, d, e, a, b, Choose(d, e, a), 0x5A827999u, LATER_WORD(18));
  SHA1_ROUND(b, c, d, e, a, Choose(c, d, e), 0x5A827999u, LATER_WORD(19));
  for (int i = 20; i < 40; i += 5)
    SHA1_FIVE(i, Parity, 0x6ED9EBA1u, LATER_WORD);
  for (int i = 40; i < 60; i += 5)
    SHA1_FIVE(i, Majority, 0x8F1BBCDCu, LATER_WORD);
  for (int i = 60; i < 80; i += 5)
    SHA1_FIVE(i, Parity, 0xCA62C1D6u, LATER_WORD);
#undef FIRST_WORD
#undef LATER_WORD
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

#undef SHA1_FIVE
#undef SHA1_ROUND

}  // namespace

uint32_t UpdateCrc32(uint32_t crc, const uint8_t* data, size_t length) {
  crc = ~crc;
  for (size_t i = 0; i < length; i++)
    crc = kCrc32Table.entry[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void StartSha1(Sha1* sha) {
  static const uint32_t kInitial[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                       0xC3D2E1F0u};
  memcpy(sha->state, kInitial, sizeof kInitial);
  sha->length = 0;
  sha->blockBytes = 0;
}

void AddToSha1(Sha1* sha, const uint8_t* data, size_t length) {
  sha->length += length;
  while (length > 0) {
    size_t take = 64 - static_cast<size_t>(sha->blockBytes);
    if (take > length)
      take = length;
    memcpy(sha->block + sha->blockBytes, data, take);
    sha->blockBytes += static_cast<int>(take);
    data += take;
    length -= take;
    if (sha->blockBytes == 64) {
      ProcessBlock(sha->state, sha->block);
      sha->blockBytes = 0;
    }
  }
}

void FinishSha1(Sha1* sha, uint8_t digest[kSha1Bytes]) {
  // The message ends with 0x80, zeros to 56 bytes past a block's start, and
  // its length in bits, big-endian.
  uint64_t bits = sha->length * 8;
  uint8_t pad[64 + 8] = {0x80};
  size_t padBytes = (sha->blockBytes < 56 ? 56 : 120) - static_cast<size_t>(sha->blockBytes);
  for (int i = 0; i < 8; i++)
    pad[padBytes + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  AddToSha1(sha, pad, padBytes + 8);
  for (int i = 0; i < 5; i++) {
    for (int j = 0; j < 4; j++)
      digest[4 * i + j] = static_cast<uint8_t>(sha->state[i] >> (24 - 8 * j));
  }
}

void WriteHex(const uint8_t* bytes, size_t count, char* out) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < count; i++) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0xF];
  }
  out[2 * count] = '\0';
}
