// Writing code points as UTF-8, and reading them back.
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

// Decodes the character that `text` (`length` bytes to go, at least one)
// begins with into `codePoint`. Returns its length, or 0 when the bytes at
// `text` begin no character: a stray continuation byte, a sequence cut
// short, an overlong form, a surrogate or a value past U+10FFFF.
inline size_t DecodeUtf8(const char* text, size_t length, uint32_t* codePoint) {
  const uint8_t first = static_cast<uint8_t>(text[0]);
  if (first < 0x80) {
    *codePoint = first;
    return 1;
  }
  size_t size = 0;
  uint32_t value = 0;
  uint32_t least = 0;
  if (first >= 0xC2 && first <= 0xDF) {
    size = 2;
    value = first & 0x1Fu;
    least = 0x80;
  } else if (first >= 0xE0 && first <= 0xEF) {
    size = 3;
    value = first & 0x0Fu;
    least = 0x800;
  } else if (first >= 0xF0 && first <= 0xF4) {
    size = 4;
    value = first & 0x07u;
    least = 0x10000;
  } else {
    return 0;
  }
  if (length < size) {
    return 0;
  }
  for (size_t i = 1; i < size; ++i) {
    const uint8_t next = static_cast<uint8_t>(text[i]);
    if ((next & 0xC0) != 0x80) {
      return 0;
    }
    value = value << 6 | (next & 0x3Fu);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  *codePoint = value;
  return size;
}

#endif  // PLATFORM_UTF8_H_
