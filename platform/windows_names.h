// Windows' rules for the names of files, on names already decoded from code
// page 932. Every character that code page decodes to lies in the Basic
// Multilingual Plane, so a name is one char16_t a character. The Windows
// platform file judges names by them, and the page, which leaves the files
// Windows would, judges and matches names by them too.
#ifndef PLATFORM_WINDOWS_NAMES_H_
#define PLATFORM_WINDOWS_NAMES_H_

// An 8.3 name: at most 12 bytes, so at most 12 characters, and a NUL.
constexpr int kDecodedNameLength = 16;

// The disk's name `name` (Shift_JIS) decoded as code page 932, strictly:
// false when a character does not decode or the name is longer than 8.3.
bool DecodeName(const char* name, char16_t decoded[kDecodedNameLength]);

// True when `name` (NUL-terminated) can be made as one plain file: not
// empty, "." or "..", no character below U+0020 or among \ / : * ? " < > |,
// not ending in a dot or a space, and no device name (CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, COM0-COM9, LPT0-LPT9, in any case) before its first dot,
// trailing spaces aside.
bool IsWindowsFileName(const char16_t* name);

// True when Windows takes `a` and `b` for the name of one file: equal once
// each letter is made upper case. Windows compares names through the upper
// case of every letter that has one, not only of A-Z: full-width Latin,
// Greek, Cyrillic and the Roman numerals too, all of which code page 932
// holds in both cases.
bool IsSameWindowsFileName(const char16_t* a, const char16_t* b);

// True when the disk's names `a` and `b` (Shift_JIS) both decode and
// IsSameWindowsFileName takes them for one.
bool IsSameWindowsName(const char* a, const char* b);

#endif  // PLATFORM_WINDOWS_NAMES_H_
