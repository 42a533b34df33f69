// The checksums that disk catalogues give for files and images: CRC-32 (the
// IEEE polynomial, as zip uses) and SHA-1. Both take their bytes a piece at
// a time, so that a file of any size is summed through a fixed buffer.
#ifndef COMMON_CHECKSUMS_H_
#define COMMON_CHECKSUMS_H_

#include <cstddef>
#include <cstdint>

// The CRC-32 of `length` bytes appended to bytes whose CRC-32 is `crc`
// (0 for none): UpdateCrc32(UpdateCrc32(0, a), b) is the CRC-32 of a then b.
uint32_t UpdateCrc32(uint32_t crc, const uint8_t* data, size_t length);

constexpr int kSha1Bytes = 20;

// A SHA-1 under way: StartSha1, AddToSha1 for each piece, then FinishSha1.
struct Sha1 {
  uint32_t state[5];
  uint64_t length;  // bytes added so far
  uint8_t block[64];
  int blockBytes;  // of `block`, waiting for the rest of their 64
};

void StartSha1(Sha1* sha);
void AddToSha1(Sha1* sha, const uint8_t* data, size_t length);
// The digest of every byte added. `sha` must be started again before reuse.
void FinishSha1(Sha1* sha, uint8_t digest[kSha1Bytes]);

// `count` bytes as lowercase hex digits and a NUL: `out` holds 2 * count + 1.
void WriteHex(const uint8_t* bytes, size_t count, char* out);

#endif  // COMMON_CHECKSUMS_H_
