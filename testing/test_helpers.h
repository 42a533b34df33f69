// Small helpers that the tests and the fuzzers' seeds share: bytes cut and
// joined, a record's count, and the attributes and the date most test files
// are given.
#ifndef TESTING_TEST_HELPERS_H_
#define TESTING_TEST_HELPERS_H_

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <vector>

#include "testing/d88_writer.h"
#include "testing/test_disk.h"

// Read buffers start filled with this, so bytes a read did not store show.
constexpr uint8_t kUntouched = 0xEE;

// Attributes of a directory entry.
constexpr uint8_t kReadOnly = 0x01;
constexpr uint8_t kLabel = 0x08;
constexpr uint8_t kDirectory = 0x10;
constexpr uint8_t kArchive = 0x20;

// Test files are dated 4 March 1990, 12:34:56 unless a case says otherwise:
// kWhen in seconds since 1970 UTC.
inline const uint16_t kTime = DosTime(12, 34, 56);
inline const uint16_t kDate = DosDate(1990, 3, 4);
constexpr time_t kWhen = 636554096;

// `record` with its record count field set to `count`.
inline Record WithCount(Record record, uint16_t count) {
  record.count = count;
  return record;
}

// `parts` one after another.
inline Bytes Join(const std::vector<Bytes>& parts) {
  Bytes joined;
  for (const Bytes& part : parts) {
    joined.insert(joined.end(), part.begin(), part.end());
  }
  return joined;
}

// Bytes `from` up to, not including, `to` of `bytes`; both within it.
inline Bytes Part(const Bytes& bytes, size_t from, size_t to) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

// `length` bytes of `bytes` from `at`; all within it.
inline Bytes Slice(const Bytes& bytes, size_t at, size_t length) {
  return Part(bytes, at, at + length);
}

// The first `length` bytes of `bytes`.
inline Bytes Prefix(const Bytes& bytes, size_t length) {
  return Part(bytes, 0, length);
}

inline Bytes Zeros(size_t length) {
  return Bytes(length, 0);
}

#endif  // TESTING_TEST_HELPERS_H_
