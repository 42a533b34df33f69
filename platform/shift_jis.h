// The shape of Shift_JIS text: which bytes begin a two-byte character.
#ifndef PLATFORM_SHIFT_JIS_H_
#define PLATFORM_SHIFT_JIS_H_

#include <cstddef>
#include <cstdint>

inline bool IsShiftJisLeadByte(uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

inline bool IsShiftJisTrailByte(uint8_t byte) {
  return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

// The length of the character at `text`, with `left` bytes to go: two for a
// lead byte followed by a trail byte, else one. A trail byte 0x5C inside a
// two-byte character is not a backslash.
inline size_t ShiftJisCharacterLength(const char* text, size_t left) {
  return left >= 2 && IsShiftJisLeadByte(static_cast<uint8_t>(text[0])) &&
                 IsShiftJisTrailByte(static_cast<uint8_t>(text[1]))
             ? 2
             : 1;
}

#endif  // PLATFORM_SHIFT_JIS_H_
