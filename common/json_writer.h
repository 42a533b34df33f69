// Writes one JSON document on standard output, a piece at a time, so that a
// report of any length streams out. Every string is escaped: quotes,
// backslashes and every control character, so that no byte of a disk can
// break the document or drive a terminal it is shown on.
#ifndef COMMON_JSON_WRITER_H_
#define COMMON_JSON_WRITER_H_

#include <cstddef>
#include <cstdint>

// Starts the document afresh: no value written yet.
void JsonReset();
// Opens and closes an object or an array (`bracket` '{', '}', '[' or ']').
void JsonOpen(char bracket);
void JsonClose(char bracket);
// The key of the next value in the open object.
void JsonKey(const char* key);
// A string of ASCII or UTF-8 text, escaped.
void JsonText(const char* text, size_t length);
void JsonText(const char* text);
// A string of Shift_JIS text from the disk, decoded to UTF-8 as a terminal
// shows it (see ShowableName) and as the browsers' Shift_JIS decoder reads
// it: one '?' for each byte of a character that does not decode, such as
// 0xA0, 0xFD-0xFF or an unmapped pair.
void JsonShiftJis(const char* text);
// A path as the command line gave it, as a string: UTF-8 as it is, and
// U+FFFD for each byte that does not belong to a UTF-8 character.
void JsonPath(const char* path);
// The bytes as lowercase hex digits, in a string.
void JsonHex(const uint8_t* bytes, size_t length);
void JsonNumber(int64_t value);
void JsonBool(bool value);
// Ends the document with a line feed.
void JsonFinish();

// Appends to `out` the UTF-8 that JsonShiftJis would write for `text`
// (before escaping): at most `capacity` - 1 bytes and a NUL. Returns the
// length.
size_t ShiftJisToUtf8(const char* text, char* out, size_t capacity);

#endif  // COMMON_JSON_WRITER_H_
