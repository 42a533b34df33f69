#include "common/json_writer.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/text_output.h"
#include "platform/platform.h"
#include "platform/shift_jis.h"
#include "platform/utf8.h"

namespace {

// Whether the open object or array at each depth has a value yet.
constexpr int kMaxDepth = 16;
bool hasValue[kMaxDepth];
int depth;
bool afterKey;

void Put(const char* bytes, size_t length) {
  fwrite(bytes, 1, length, stdout);
}

void Put(const char* text) {
  Put(text, strlen(text));
}

// Before a value or a key: the comma that separates it from the one before.
void Separate() {
  if (afterKey) {
    afterKey = false;
    return;
  }
  if (depth > 0 && depth <= kMaxDepth) {
    if (hasValue[depth - 1]) {
      Put(",");
    }
    hasValue[depth - 1] = true;
  }
}

void PutEscaped(const char* text, size_t length) {
  Put("\"");
  size_t plain = 0;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t byte = static_cast<uint8_t>(text[i]);
    if (byte >= 0x20 && byte != 0x7F && byte != '"' && byte != '\\') {
      continue;
    }
    Put(text + plain, i - plain);
    plain = i + 1;
    char escaped[8];
    if (byte == '"' || byte == '\\') {
      snprintf(escaped, sizeof escaped, "\\%c", byte);
    } else {
      snprintf(escaped, sizeof escaped, "\\u%04x", byte);
    }
    Put(escaped);
  }
  Put(text + plain, length - plain);
  Put("\"");
}

// Bytes that begin no character in the browsers' Shift_JIS decoder, though
// some code pages map them.
bool LacksInBrowsers(uint8_t byte) {
  return byte == 0xA0 || byte >= 0xFD;
}

}  // namespace

size_t ShiftJisToUtf8(const char* text, char* out, size_t capacity) {
  if (capacity == 0) {
    return 0;
  }
  // Control bytes and what does not decode become '?' first, as a terminal
  // shows them.
  static char shown[4096];
  size_t left = ShowableName(text, shown, sizeof shown);
  const char* at = shown;
  size_t used = 0;
  while (left > 0) {
    const size_t length = ShiftJisCharacterLength(at, left);
    const uint8_t first = static_cast<uint8_t>(at[0]);
    char utf8[4];
    size_t made = 0;
    uint32_t codePoint = 0;
    if (length == 1 && first < 0x80) {
      utf8[0] = at[0];
      made = 1;
    } else if (!LacksInBrowsers(first) &&
               DecodeShiftJis(at, static_cast<int>(length), &codePoint) && codePoint >= 0x80) {
      made = AppendUtf8(codePoint, utf8);
    }
    if (made == 0) {
      // One '?' for each byte of a character that does not decode.
      if (used + length >= capacity) {
        break;
      }
      for (size_t i = 0; i < length; ++i) {
        out[used++] = '?';
      }
    } else {
      if (used + made >= capacity) {
        break;
      }
      memcpy(out + used, utf8, made);
      used += made;
    }
    at += length;
    left -= length;
  }
  out[used] = '\0';
  return used;
}

void JsonReset() {
  depth = 0;
  afterKey = false;
}

void JsonOpen(char bracket) {
  Separate();
  const char text[2] = {bracket, '\0'};
  Put(text);
  if (depth < kMaxDepth) {
    hasValue[depth] = false;
  }
  ++depth;
}

void JsonClose(char bracket) {
  const char text[2] = {bracket, '\0'};
  Put(text);
  if (depth > 0) {
    --depth;
  }
}

void JsonKey(const char* key) {
  Separate();
  PutEscaped(key, strlen(key));
  Put(":");
  afterKey = true;
}

void JsonText(const char* text, size_t length) {
  Separate();
  PutEscaped(text, length);
}

void JsonText(const char* text) {
  JsonText(text, strlen(text));
}

void JsonShiftJis(const char* text) {
  static char utf8[8192];
  const size_t length = ShiftJisToUtf8(text, utf8, sizeof utf8);
  JsonText(utf8, length);
}

namespace {

// The length of the UTF-8 character at `text` (of `left` bytes), 0 when it
// is none: a lead byte with its continuation bytes, no overlong form, no
// surrogate and nothing past U+10FFFF.
size_t Utf8CharacterLength(const uint8_t* text, size_t left) {
  const uint8_t first = text[0];
  if (first < 0x80) {
    return 1;
  }
  size_t length = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    low = first == 0xE0 ? 0xA0 : 0x80;
    high = first == 0xED ? 0x9F : 0xBF;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    low = first == 0xF0 ? 0x90 : 0x80;
    high = first == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (left < length || text[1] < low || text[1] > high) {
    return 0;
  }
  for (size_t i = 2; i < length; ++i) {
    if (text[i] < 0x80 || text[i] > 0xBF) {
      return 0;
    }
  }
  return length;
}

}  // namespace

void JsonPath(const char* path) {
  static char utf8[4096 * 3];
  const uint8_t* at = reinterpret_cast<const uint8_t*>(path);
  size_t left = strlen(path);
  size_t used = 0;
  while (left > 0 && used + 4 < sizeof utf8) {
    const size_t length = Utf8CharacterLength(at, left);
    if (length == 0) {
      used += AppendUtf8(0xFFFD, utf8 + used);
      ++at;
      --left;
      continue;
    }
    memcpy(utf8 + used, at, length);
    used += length;
    at += length;
    left -= length;
  }
  JsonText(utf8, used);
}

void JsonHex(const uint8_t* bytes, size_t length) {
  Separate();
  Put("\"");
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < length; ++i) {
    const char pair[2] = {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 0x0F]};
    Put(pair, 2);
  }
  Put("\"");
}

void JsonNumber(int64_t value) {
  Separate();
  char text[24];
  snprintf(text, sizeof text, "%" PRId64, value);
  Put(text);
}

void JsonBool(bool value) {
  Separate();
  Put(value ? "true" : "false");
}

void JsonFinish() {
  Put("\n");
}
