// Writing code points as UTF-8.
#ifndef PLATFORM_UTF8_H_
#define PLATFORM_UTF8_H_

#include <cstddef>
#include <cstdint>

// Writes `codePoint` (at most U+10FFFF) as UTF-8 at `out`, which has room
// for 4 bytes; returns the length.
inline size_t AppendUtf8(uint32_t codePoint, char* out) {
  if (codePoint < 0x80) {
    out[0] = static_cast<char>(codePoint);
    return 1;
  }
  if (codePoint < 0x800) {
    out[0] = static_cast<char>(0xC0 | (codePoint >> 6));
    out[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 2;
  }
  if (codePoint < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (codePoint >> 12));
    out[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (codePoint >> 18));
  out[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
  return 4;
}

#endif  // PLATFORM_UTF8_H_
