// The reader fuzzer's input: the image's bytes, then a fixed trailer that
// chooses the calls made on it. Shared with the seed maker, so that seeds
// built from test images aim their calls at sectors those images hold.
#ifndef FUZZ_READER_INPUT_H_
#define FUZZ_READER_INPUT_H_

#include <cstddef>
#include <cstdint>

constexpr size_t kReaderTrailerBytes = 32;
// Buffers never exceed this; larger lengths are folded into it.
constexpr int kReaderMaxBuffer = 1 << 19;

// Flags (trailer byte 3).
constexpr int kReopenFirst = 0x01;   // Open the image twice before selecting
constexpr int kSecondDisk = 0x02;    // repeat the reads on `secondDisk`
constexpr int kCloseAndRead = 0x04;  // Open(nullptr), then read: every read gives 0

struct ReaderCalls {
  int disk = 0;  // SelectDisk
  int secondDisk = 0;
  int firstSector = 1;  // SetSectorRange
  int lastSector = 16;
  int flags = 0;
  // ReadSector(track, c, h, r, n, buffer, maxLength)
  int track = 0, c = 0, h = 0, r = 1, n = 1, maxLength = 256;
  // ReadSectors(runTrack, runC, runH, runR, runN, buffer, runLength)
  int runTrack = 0, runC = 0, runH = 0, runR = 1, runN = 1, runLength = 256;
  // A record walk over walkTrack, taking at most walkRecords records
  int walkTrack = 0, walkRecords = 16;
};

namespace reader_input {

inline int16_t Signed16(const uint8_t* bytes) {
  return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)));
}

inline int32_t Signed32(const uint8_t* bytes) {
  const uint32_t value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                         (static_cast<uint32_t>(bytes[2]) << 16) |
                         (static_cast<uint32_t>(bytes[3]) << 24);
  return static_cast<int32_t>(value);
}

// A length that keeps its sign but fits a buffer of kReaderMaxBuffer.
inline int FoldLength(int32_t value) {
  return value < 0 ? value : value % (kReaderMaxBuffer + 1);
}

inline void Put16(uint8_t* bytes, int value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

inline void Put32(uint8_t* bytes, int value) {
  Put16(bytes, value);
  Put16(bytes + 2, value >> 16);
}

}  // namespace reader_input

inline ReaderCalls DecodeReaderTrailer(const uint8_t* t) {
  using namespace reader_input;
  ReaderCalls calls;
  calls.disk = static_cast<int8_t>(t[0]);
  calls.firstSector = t[1];
  calls.lastSector = t[2];
  calls.flags = t[3];
  calls.track = Signed16(t + 4);
  calls.c = t[6];
  calls.h = t[7];
  calls.r = t[8];
  calls.n = t[9];
  calls.maxLength = FoldLength(Signed32(t + 10));
  calls.runTrack = Signed16(t + 14);
  calls.runC = t[16];
  calls.runH = t[17];
  calls.runR = t[18];
  calls.runN = static_cast<int8_t>(t[19]);
  calls.runLength = FoldLength(Signed32(t + 20));
  calls.walkTrack = Signed16(t + 24);
  calls.walkRecords = FoldLength(Signed32(t + 26));
  calls.secondDisk = static_cast<int8_t>(t[30]);
  return calls;
}

inline void EncodeReaderTrailer(const ReaderCalls& calls, uint8_t* t) {
  using namespace reader_input;
  t[0] = static_cast<uint8_t>(calls.disk);
  t[1] = static_cast<uint8_t>(calls.firstSector);
  t[2] = static_cast<uint8_t>(calls.lastSector);
  t[3] = static_cast<uint8_t>(calls.flags);
  Put16(t + 4, calls.track);
  t[6] = static_cast<uint8_t>(calls.c);
  t[7] = static_cast<uint8_t>(calls.h);
  t[8] = static_cast<uint8_t>(calls.r);
  t[9] = static_cast<uint8_t>(calls.n);
  Put32(t + 10, calls.maxLength);
  Put16(t + 14, calls.runTrack);
  t[16] = static_cast<uint8_t>(calls.runC);
  t[17] = static_cast<uint8_t>(calls.runH);
  t[18] = static_cast<uint8_t>(calls.runR);
  t[19] = static_cast<uint8_t>(calls.runN);
  Put32(t + 20, calls.runLength);
  Put16(t + 24, calls.walkTrack);
  Put32(t + 26, calls.walkRecords);
  t[30] = static_cast<uint8_t>(calls.secondDisk);
  t[31] = 0;
}

#endif  // FUZZ_READER_INPUT_H_
