// Every line the tool prints goes through here. Files and pipes get the
// bytes exactly as they are made: Shift_JIS messages and the disk's names as
// they stand. A terminal gets them in its own character set, and the bytes of
// a name that are control characters or do not decode show as '?', so that
// nothing on a disk can drive the terminal; so do the characters of a path or
// other argument from the command line. Each stream is judged on its own.
#ifndef COMMON_TEXT_OUTPUT_H_
#define COMMON_TEXT_OUTPUT_H_

#include <cstddef>
#include <cstdio>

#include "platform/platform.h"

// Text of the tool's own: ASCII and Shift_JIS messages, line feeds included.
void PrintText(FILE* stream, const char* text);
// A name from the disk, padded with spaces to `width` bytes (0: no padding).
void PrintDiskName(FILE* stream, const char* name, int width);
// Text that holds names from the disk, such as a list of them, shown as
// PrintDiskName shows names, unpadded; at most 2,047 bytes of it.
void PrintDiskText(FILE* stream, const char* text);
// `message`, the disk's name `name` shown as PrintDiskName shows it, and a
// line feed, in one write.
void PrintNameMessage(FILE* stream, const char* message, const char* name);
// printf of text in the system's own encoding, such as the name the tool was
// run by: on a terminal it is not taken for Shift_JIS.
void PrintLocalFormatted(FILE* stream, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// True when `stream` is standard output or error and goes to a terminal.
bool GoesToTerminal(FILE* stream);

// A path or any other argument from the command line as `stream` shows it:
// on a terminal as ShowableArgument gives it, copied into `shown` (at most
// `capacity` - 1 bytes and a NUL), so that an argument cannot drive the
// terminal; elsewhere `path` itself, as given. Every argument that reaches
// a terminal is shown through here.
const char* PathAsShown(FILE* stream, const char* path, char* shown, size_t capacity);

// On a terminal only, the line in plain words that follows the cannot-open
// message: "d88cut: cannot open 'PATH': REASON\n", PATH as PathAsShown shows
// it and REASON in the system's own encoding. Files and pipes get nothing, so
// that their bytes stay the message alone.
void PrintOpenFailureReason(FILE* stream, const char* path, const char* reason);
// On a terminal only, when the image is not the disk: "d88cut: not the disk
// this tool unpacks (WORDS); try: d88info PATH\n", PATH as PathAsShown shows
// it. Files and pipes get nothing, so that d88cut stays silent there.
void PrintNotTheDisk(FILE* stream, const char* words, const char* path);
// The same for the cannot-write message: "d88cut: cannot write 'NAME':
// REASON\n", the disk's name NAME shown as PrintDiskName shows it.
void PrintWriteFailureReason(FILE* stream, const char* name, const char* reason);

// On a terminal only, after a run that wrote damaged files: "d88cut: N of
// the files written may be damaged (NAMES); try: d88info PATH\n". N is
// `count`; NAMES the first five of `names` (the disk's names of the damaged
// files, in the order written), each as PrintDiskName shows it, joined by
// ", " and followed by " and M more" when there are more; PATH as
// PathAsShown shows it. Nothing when `count` is 0. Files and pipes get
// nothing.
void PrintDamagedOutputs(FILE* stream, const char* const* names, int count, const char* path);

// "PROGRAM: cannot read 'PATH': REASON\n", on a terminal and elsewhere alike:
// the image at `path` could not be read. PATH as PathAsShown shows it,
// REASON in the system's own encoding.
void PrintReadFailure(FILE* stream, const char* program, const char* path, const char* reason);

// On a terminal only, ends the line that the last text given to `stream`
// (standard output or error) left unfinished, and flushes the stream, so
// that what follows starts on a line of its own. Files and pipes keep the
// line as it is.
void EndUnfinishedTerminalLine(FILE* stream);

// Flushes standard output. False when that or any earlier write to it
// failed, with the reason of the first failure in `error` (0 when the
// system gave none).
bool FinishStandardOutput(SystemError* error);

// The bytes a terminal is given for a disk name: each byte below 0x20, 0x7F,
// each byte of a character that does not decode as Shift_JIS and each byte
// of a character that decodes to U+0080-U+009F becomes '?'. Writes at most
// `capacity` - 1 bytes and a NUL; returns the length.
size_t ShowableName(const char* name, char* out, size_t capacity);

// The bytes a terminal is given for a command-line argument, as ls -q shows
// names: the argument is read as the terminal reads the system's own text
// (DecodeLocalCharacter), and each character that is a control (below
// U+0020, U+007F-U+009F) and each byte that begins no character becomes one
// '?'. Writes at most `capacity` - 1 bytes and a NUL, never part of a
// character; returns the length.
size_t ShowableArgument(const char* argument, char* out, size_t capacity);

// Forgets what is known of the streams, so that an in-process run judges
// them again.
void ResetTextOutput();

#endif  // COMMON_TEXT_OUTPUT_H_
