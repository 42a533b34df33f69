#include "platform/windows_names.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "platform/platform.h"
#include "platform/shift_jis.h"

namespace {

size_t Length(const char16_t* text) {
  size_t length = 0;
  while (text[length] != u'\0') {
    ++length;
  }
  return length;
}

bool HoldsCharacter(const char16_t* set, char16_t c) {
  for (; *set != u'\0'; ++set) {
    if (*set == c) {
      return true;
    }
  }
  return false;
}

// Whether `text` starts with `prefix`.
bool IsPrefix(const char16_t* prefix, const char16_t* text) {
  for (; *prefix != u'\0'; ++prefix, ++text) {
    if (*prefix != *text) {
      return false;
    }
  }
  return true;
}

char16_t AsciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// The upper case of each letter that code page 932 holds in both cases.
char16_t UpperCase(char16_t c) {
  struct Range {
    char16_t first, last;  // lower-case letters
    int offset;            // to their upper case
  };
  static const Range kRanges[] = {
      {u'a', u'z', -0x20},            // ASCII
      {u'\u03B1', u'\u03C1', -0x20},  // Greek alpha-rho
      {u'\u03C3', u'\u03C9', -0x20},  // Greek sigma-omega
      {u'\u0430', u'\u044F', -0x20},  // Cyrillic a-ya
      {u'\u0451', u'\u0451', -0x50},  // Cyrillic io
      {u'\u2170', u'\u2179', -0x10},  // small Roman numerals 1-10
      {u'\uFF41', u'\uFF5A', -0x20},  // full-width a-z
  };
  for (const Range& range : kRanges) {
    if (c >= range.first && c <= range.last) {
      return static_cast<char16_t>(c + range.offset);
    }
  }
  return c;
}

// The part of `name` before its first dot, without trailing spaces, is a
// device's name.
bool IsDeviceName(const char16_t* name) {
  size_t length = 0;
  while (name[length] != u'\0' && name[length] != u'.') {
    ++length;
  }
  while (length > 0 && name[length - 1] == u' ') {
    --length;
  }
  char16_t base[kDecodedNameLength] = {};
  if (length >= kDecodedNameLength) {
    return false;
  }
  for (size_t i = 0; i < length; ++i) {
    base[i] = AsciiUpper(name[i]);
  }
  // The console's input and output buffers are devices too.
  for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
    if (length == Length(device) && IsPrefix(device, base)) {
      return true;
    }
  }
  const bool port = (base[0] == u'C' && base[1] == u'O' && base[2] == u'M') ||
                    (base[0] == u'L' && base[1] == u'P' && base[2] == u'T');
  return length == 4 && port && base[3] >= u'0' && base[3] <= u'9';
}

}  // namespace

bool IsWindowsFileName(const char16_t* name) {
  const size_t length = Length(name);
  if (length == 0 || (length == 1 && name[0] == u'.') ||
      (length == 2 && name[0] == u'.' && name[1] == u'.')) {
    return false;
  }
  for (size_t i = 0; i < length; ++i) {
    if (name[i] < 0x20 || HoldsCharacter(u"\\/:*?\"<>|", name[i])) {
      return false;
    }
  }
  if (name[length - 1] == u'.' || name[length - 1] == u' ') {
    return false;
  }
  return !IsDeviceName(name);
}

bool IsSameWindowsFileName(const char16_t* a, const char16_t* b) {
  for (; *a != u'\0' && *b != u'\0'; ++a, ++b) {
    if (UpperCase(*a) != UpperCase(*b)) {
      return false;
    }
  }
  return *a == *b;
}

bool DecodeName(const char* name, char16_t decoded[kDecodedNameLength]) {
  size_t left = strlen(name);
  int length = 0;
  while (left > 0 && length < kDecodedNameLength - 1) {
    const size_t characterLength = ShiftJisCharacterLength(name, left);
    uint32_t codePoint = 0;
    if (!DecodeShiftJis(name, static_cast<int>(characterLength), &codePoint)) {
      return false;
    }
    decoded[length++] = static_cast<char16_t>(codePoint);
    name += characterLength;
    left -= characterLength;
  }
  decoded[length] = u'\0';
  return left == 0;
}

bool IsSameWindowsName(const char* a, const char* b) {
  char16_t decodedA[kDecodedNameLength];
  char16_t decodedB[kDecodedNameLength];
  return DecodeName(a, decodedA) && DecodeName(b, decodedB) &&
         IsSameWindowsFileName(decodedA, decodedB);
}
