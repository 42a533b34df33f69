// The page: d88cut built with emscripten and run in a Web Worker, which
// mounts the chosen image read-only and collects what the run leaves.
//
// The page leaves the files the Windows build would leave in an empty
// folder: names decoded from Shift_JIS (code page 932) by the browser's own
// decoder, the names Windows refuses left unwritten, and names that Windows
// takes for one file (ABC.TXT and abc.txt) made one file, which keeps the
// first name and takes the later contents. Each file is kept in emscripten's
// memory file system under a number of its own, and the worker is told its
// decoded name and, for a volume file, the two words of its recorded time;
// no time zone is involved. Text goes to the worker as UTF-8, decoded as a
// terminal shows it (text_output.h).
#include <emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/shift_jis.h"
#include "platform/utf8.h"
#include "platform/windows_names.h"

static_assert(sizeof(off_t) == 8, "image offsets are 64-bit");

// The browser's Shift_JIS decoder on one character of one or two bytes: its
// code point, or -1 when the bytes do not decode. It decodes exactly the
// characters that Windows' code page 932 decodes with MB_ERR_INVALID_CHARS.
// What it gives is kept in the worker's global scope, which outlives the
// instance, for every later run on the page: a name is decoded a character
// at a time, and asking the decoder costs far more than looking up.
EM_JS(int, DecodeInBrowser, (int first, int second, int length), {
  var shiftJis = globalThis.d88cutShiftJis;
  if (!shiftJis) {
    shiftJis = globalThis.d88cutShiftJis = {
      decoder : new TextDecoder("shift_jis", {fatal : true}),
      decoded : new Map()
    };
  }
  var key = length == 2 ? first << 8 | second : 0x10000 | first;
  if (!shiftJis.decoded.has(key)) {
    var code = -1;
    try {
      var text = shiftJis.decoder.decode(new Uint8Array(length == 2 ? [ first, second ] : [first]));
      code = text.length == 1 ? text.charCodeAt(0) : -1;
    } catch (error) {
      // The bytes do not decode: -1.
    }
    shiftJis.decoded.set(key, code);
  }
  return shiftJis.decoded.get(key);
});

// Text for standard output (1) or standard error (2), as UTF-8 bytes.
EM_JS(void, PassText, (int stream, const char* text, int length),
      { Module.d88cutText(stream, HEAPU8.slice(text, text + length)); });

// File `number` was made under the name `name` (UTF-8).
EM_JS(void, PassFileMade, (int number, const char* name),
      { Module.d88cutFileMade(number, UTF8ToString(name)); });

// File `number` was given the recorded time and date words.
EM_JS(void, PassFileTime, (int number, int time, int date),
      { Module.d88cutFileTime(number, time, date); });

namespace {

// MAIN, DEMO and the 64 entries of the root directory.
constexpr int kMaxFiles = 66;
constexpr char kFilePathFormat[] = "/out/%d";

struct PageFile {
  char16_t name[kDecodedNameLength];
};
PageFile pageFiles[kMaxFiles];
int pageFileCount;
// The number of the output OpenNamedOutput opened last; -1 before the first.
int openFileNumber = -1;

// The number of the file Windows would take `name` for; -1 if none.
int FindFile(const char16_t* name) {
  for (int number = 0; number < pageFileCount; ++number) {
    if (IsSameWindowsFileName(pageFiles[number].name, name)) {
      return number;
    }
  }
  return -1;
}

FILE* OpenFileNumber(int number) {
  char path[32];
  snprintf(path, sizeof path, kFilePathFormat, number);
  return fopen(path, "wb");
}

// Notes `name` as the name of the page's next file, `number`, which has
// been made, and tells the worker.
void NoteFile(int number, const char16_t* name) {
  memcpy(pageFiles[number].name, name, sizeof pageFiles[number].name);
  ++pageFileCount;
  char utf8[3 * kDecodedNameLength + 1];
  size_t length = 0;
  for (const char16_t* at = name; *at != u'\0'; ++at) {
    length += AppendUtf8(*at, utf8 + length);
  }
  utf8[length] = '\0';
  PassFileMade(number, utf8);
}

}  // namespace

CommandLine::CommandLine(int count, char** arguments)
    : argc(count), argv(arguments), convertedArguments(nullptr) {}

CommandLine::~CommandLine() = default;

const char* SystemHelpOption() {
  return nullptr;
}

bool RunsAtAPrompt() {
  return false;
}

void PrepareLocalTime() {}

FILE* OpenImageFile(const char* path, SystemError* error) {
  struct stat status;
  if (stat(path, &status) != 0) {
    *error = errno;
    return nullptr;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = S_ISDIR(status.st_mode) ? EISDIR : kNotARegularFile;
    return nullptr;
  }
  FILE* file = fopen(path, "rb");
  if (file == nullptr) {
    *error = errno;
  }
  return file;
}

// The image is the chosen file, never one of the page's files.
bool IdentifyOpenFile(FILE*, FileIdentity*) {
  return false;
}

bool IsPlainFileName(const char* name) {
  char16_t decoded[kDecodedNameLength];
  return DecodeName(name, decoded) && IsWindowsFileName(decoded);
}

bool IsSameOutputFile(const char* a, const char* b) {
  return IsPlainFileName(a) && IsPlainFileName(b) && IsSameWindowsName(a, b);
}

// The page's files are its own, made by number: no link, pipe or device can
// be in the way, and the image is never among them.

OutputOpening OpenNamedOutput(const char* name, const FileIdentity*, FILE** file,
                              SystemError* error) {
  *file = nullptr;
  char16_t decoded[kDecodedNameLength];
  if (!DecodeName(name, decoded)) {
    *error = EILSEQ;
    return OutputOpening::kRefused;
  }
  int number = FindFile(decoded);
  const bool made = number < 0;
  if (made) {
    if (pageFileCount == kMaxFiles) {
      *error = EMFILE;
      return OutputOpening::kRefused;
    }
    number = pageFileCount;
  }
  *file = OpenFileNumber(number);
  if (*file == nullptr) {
    *error = errno;
    return OutputOpening::kRefused;
  }
  if (made) {
    NoteFile(number, decoded);
  }
  openFileNumber = number;
  return OutputOpening::kOpened;
}

FileTime ConvertRecordedTime(DosDateTime recorded) {
  return FileTime{recorded, static_cast<time_t>(-1)};
}

void SetOpenFileTimes(FILE*, const FileTime& time) {
  if (openFileNumber >= 0) {
    PassFileTime(openFileNumber, time.recorded.time, time.recorded.date);
  }
}

// The page shows both streams as a UTF-8 terminal does.
bool IsTerminal(FILE*) {
  return true;
}

bool DecodeShiftJis(const char* bytes, int length, uint32_t* codePoint) {
  if (length < 1 || length > 2) {
    return false;
  }
  const int decoded = DecodeInBrowser(static_cast<uint8_t>(bytes[0]),
                                      length == 2 ? static_cast<uint8_t>(bytes[1]) : 0, length);
  if (decoded < 0) {
    return false;
  }
  *codePoint = static_cast<uint32_t>(decoded);
  return true;
}

void WriteToTerminal(FILE* stream, const char* text, size_t length) {
  // One character at a time, so that one that does not decode becomes a '?'
  // for each of its bytes.
  char converted[1024];
  size_t used = 0;
  const int number = stream == stderr ? 2 : 1;
  while (length > 0) {
    if (sizeof converted - used < 4) {
      PassText(number, converted, static_cast<int>(used));
      used = 0;
    }
    const size_t characterLength = ShiftJisCharacterLength(text, length);
    uint32_t codePoint = 0;
    if (DecodeShiftJis(text, static_cast<int>(characterLength), &codePoint)) {
      used += AppendUtf8(codePoint, converted + used);
    } else {
      memset(converted + used, '?', characterLength);
      used += characterLength;
    }
    text += characterLength;
    length -= characterLength;
  }
  PassText(number, converted, static_cast<int>(used));
}

void WriteLocalToTerminal(FILE* stream, const char* text, size_t length) {
  PassText(stream == stderr ? 2 : 1, text, static_cast<int>(length));
}

size_t DecodeLocalCharacter(const char* text, size_t length, uint32_t* codePoint) {
  return DecodeUtf8(text, length, codePoint);
}

// The page's files are the images it is given, in no folder.
bool IsFolderPath(const char*) {
  return false;
}

bool ListFolder(const char*, void (*)(const char*, FolderEntry, void*), void*, SystemError* error) {
  *error = ENOTDIR;
  return false;
}

// The merge of several images, in the page's memory file system: no links,
// one process, and names as given.
FILE* CreateFileBeside(const char* path, char* temporary, size_t capacity, SystemError* error) {
  const int length = snprintf(temporary, capacity, "%s.XXXXXX", path);
  if (length < 0 || static_cast<size_t>(length) >= capacity) {
    *error = ENAMETOOLONG;
    return nullptr;
  }
  const int descriptor = mkstemp(temporary);
  if (descriptor < 0) {
    *error = errno;
    return nullptr;
  }
  FILE* file = fdopen(descriptor, "w+b");
  if (file == nullptr) {
    *error = errno;
    close(descriptor);
    unlink(temporary);
  }
  return file;
}

bool RenameOnto(const char* temporary, const char* path, bool replace, SystemError* error) {
  struct stat found;
  if (!replace && lstat(path, &found) == 0) {
    *error = EEXIST;
    return false;
  }
  if (rename(temporary, path) != 0) {
    *error = errno;
    return false;
  }
  return true;
}
