// POSIX: the image through stdio, names as their bytes, outputs opened
// without following links, identity by device and inode, times set through
// the open file, terminals through the locale and iconv.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/platform.h"
#include "platform/shift_jis.h"
#include "platform/utf8.h"

namespace {

// Only a regular file is read as an image or written as an output. A
// directory cannot be read as one; opening a pipe would wait until someone
// writes to it (or reads from it); a device such as /dev/zero would be read
// as headers without end, and opening one can have effects of its own.
bool IsRegularFileType(const struct stat& status, SystemError* error) {
  if (S_ISREG(status.st_mode)) {
    return true;
  }
  *error = S_ISDIR(status.st_mode) ? EISDIR : kNotARegularFile;
  return false;
}

FileIdentity IdentityOf(const struct stat& status) {
  return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

// Whether `status` is of the file `identity`; false for nullptr.
bool IsFile(const struct stat& status, const FileIdentity* identity) {
  const FileIdentity found = IdentityOf(status);
  return identity != nullptr && found.volume == identity->volume && found.index == identity->index;
}

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1));

// Shift_JIS to UCS-4, for telling which bytes decode.
iconv_t Decoder() {
  static iconv_t decoder = iconv_open("UCS-4LE", "CP932");
  return decoder;
}

bool IsOneOf(const char* codeset, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (strcasecmp(codeset, name) == 0) {
      return true;
    }
  }
  return false;
}

// Terminals of a Shift_JIS locale take the bytes as they are.
bool IsShiftJis(const char* codeset) {
  return IsOneOf(codeset, {"SHIFT_JIS", "SHIFT-JIS", "SJIS", "CP932", "WINDOWS-31J", "MS_KANJI"});
}

// The C and POSIX locales, which a shell has when no locale is set (in a
// container, over a bare SSH session), name plain ASCII; the terminals they
// run on are UTF-8.
bool IsAscii(const char* codeset) {
  return IsOneOf(codeset, {"ANSI_X3.4-1968", "ASCII", "US-ASCII"});
}

// The terminal's character set, as the locale names it; nullptr when it
// names none. Looked up once, on the first text a terminal is given.
const char* TerminalCodeset() {
  static bool known = false;
  static char codeset[64];
  if (!known) {
    known = true;
    setlocale(LC_CTYPE, "");
    const char* name = nl_langinfo(CODESET);
    const size_t length = name != nullptr ? strlen(name) : 0;
    if (length < sizeof codeset) {
      memcpy(codeset, name, length);
      codeset[length] = '\0';
    }
  }
  return codeset[0] != '\0' ? codeset : nullptr;
}

// Shift_JIS to the terminal's character set; kNoConverter when the bytes go
// out as they are.
iconv_t TerminalEncoder() {
  static bool known = false;
  static iconv_t encoder = kNoConverter;
  if (!known) {
    known = true;
    const char* codeset = TerminalCodeset();
    if (codeset == nullptr || IsAscii(codeset)) {
      encoder = iconv_open("UTF-8", "CP932");
    } else if (!IsShiftJis(codeset)) {
      encoder = iconv_open(codeset, "CP932");
    }
  }
  return encoder;
}

// How the terminal reads the system's own text: as UTF-8, or through
// `decoder` (the codeset to UCS-4), or, when iconv knows no such codeset, as
// ASCII alone.
struct LocalDecoding {
  bool utf8;
  iconv_t decoder;
};

const LocalDecoding& TerminalLocalDecoding() {
  static bool known = false;
  static LocalDecoding decoding = {true, kNoConverter};
  if (!known) {
    known = true;
    const char* codeset = TerminalCodeset();
    if (codeset != nullptr && !IsAscii(codeset) && !IsOneOf(codeset, {"UTF-8", "UTF8"})) {
      decoding.utf8 = false;
      decoding.decoder = IsShiftJis(codeset) ? Decoder() : iconv_open("UCS-4LE", codeset);
    }
  }
  return decoding;
}

}  // namespace

CommandLine::CommandLine(int count, char** arguments)
    : argc(count), argv(arguments), convertedArguments(nullptr) {}

CommandLine::~CommandLine() = default;

const char* SystemHelpOption() {
  return nullptr;
}

bool RunsAtAPrompt() {
  return true;
}

void PrepareLocalTime() {}

FILE* OpenImageFile(const char* path, SystemError* error) {
  // Looked at before it is opened, so that no device is opened at all.
  struct stat status;
  if (stat(path, &status) != 0) {
    *error = errno;
    return nullptr;
  }
  if (!IsRegularFileType(status, error)) {
    return nullptr;
  }
  // Should a pipe take the file's place meanwhile, opening it does not wait
  // for a writer, and it is refused below.
  const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) {
    *error = errno;
    return nullptr;
  }
  FILE* file = nullptr;
  if (fstat(descriptor, &status) != 0) {
    *error = errno;
  } else if (IsRegularFileType(status, error)) {
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags != -1) {
      fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    }
    file = fdopen(descriptor, "rb");
    if (file == nullptr) {
      *error = errno;
    }
  }
  if (file == nullptr) {
    close(descriptor);
  }
  return file;
}

bool IdentifyOpenFile(FILE* file, FileIdentity* identity) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0) {
    return false;
  }
  *identity = IdentityOf(status);
  return true;
}

bool IsPlainFileName(const char* name) {
  return name[0] != '\0' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0 &&
         strchr(name, '/') == nullptr;
}

bool IsSameOutputFile(const char* a, const char* b) {
  return IsPlainFileName(a) && strcmp(a, b) == 0;
}

OutputOpening OpenNamedOutput(const char* name, const FileIdentity* image, FILE** file,
                              SystemError* error) {
  *file = nullptr;
  // A name that is not there yet is made at once; O_EXCL never follows a
  // link, dangling or not.
  int descriptor =
      open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
  if (descriptor < 0 && errno == EEXIST) {
    // Looked at before it is opened, so that no link is followed and no
    // pipe or device is opened at all.
    struct stat status;
    if (lstat(name, &status) != 0) {
      *error = errno;
      return OutputOpening::kRefused;
    }
    if (S_ISLNK(status.st_mode)) {
      struct stat target;
      if (stat(name, &target) == 0 && IsFile(target, image)) {
        return OutputOpening::kIsImage;
      }
      *error = kSymbolicLink;
      return OutputOpening::kRefused;
    }
    if (!IsRegularFileType(status, error)) {
      return OutputOpening::kRefused;
    }
    if (IsFile(status, image)) {
      return OutputOpening::kIsImage;
    }
    // Should a link or a pipe take the file's place meanwhile, this neither
    // follows the one nor waits on the other, and what was opened is looked
    // at again before anything is changed.
    descriptor = open(name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
      *error = errno == ELOOP ? kSymbolicLink : errno;
      return OutputOpening::kRefused;
    }
    OutputOpening opening = OutputOpening::kRefused;
    if (fstat(descriptor, &status) != 0) {
      *error = errno;
    } else if (!IsRegularFileType(status, error)) {
      // refused as it is
    } else if (IsFile(status, image)) {
      opening = OutputOpening::kIsImage;
    } else if (ftruncate(descriptor, 0) != 0) {
      *error = errno;
    } else {
      const int flags = fcntl(descriptor, F_GETFL);
      if (flags != -1) {
        fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
      }
      opening = OutputOpening::kOpened;
    }
    if (opening != OutputOpening::kOpened) {
      close(descriptor);
      return opening;
    }
  }
  if (descriptor < 0) {
    *error = errno;
    return OutputOpening::kRefused;
  }
  *file = fdopen(descriptor, "wb");
  if (*file == nullptr) {
    *error = errno;
    close(descriptor);
    return OutputOpening::kRefused;
  }
  return OutputOpening::kOpened;
}

void SetOpenFileTimes(FILE* file, const FileTime& time) {
  if (time.local == static_cast<time_t>(-1)) {
    return;
  }
  fflush(file);
  const timespec times[2] = {{time.local, 0}, {time.local, 0}};
  futimens(fileno(file), times);
}

bool IsTerminal(FILE* stream) {
  return isatty(fileno(stream)) == 1;
}

bool DecodeShiftJis(const char* bytes, int length, uint32_t* codePoint) {
  iconv_t decoder = Decoder();
  if (decoder == kNoConverter || length < 1 || length > 2) {
    return false;
  }
  iconv(decoder, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes);
  size_t inLeft = static_cast<size_t>(length);
  uint8_t decoded[8];
  char* out = reinterpret_cast<char*>(decoded);
  size_t outLeft = sizeof decoded;
  if (iconv(decoder, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
      sizeof decoded - outLeft != 4) {
    return false;
  }
  *codePoint = static_cast<uint32_t>(decoded[0]) | (static_cast<uint32_t>(decoded[1]) << 8) |
               (static_cast<uint32_t>(decoded[2]) << 16) |
               (static_cast<uint32_t>(decoded[3]) << 24);
  return true;
}

void WriteToTerminal(FILE* stream, const char* text, size_t length) {
  iconv_t encoder = TerminalEncoder();
  if (encoder == kNoConverter) {
    fwrite(text, 1, length, stream);
    return;
  }
  // One character at a time, so that one the codeset lacks becomes a '?'
  // for each of its bytes and the columns stay as they are. The converted
  // text goes out in one write where it fits.
  char converted[1024];
  size_t used = 0;
  while (length > 0) {
    if (sizeof converted - used < 16) {
      fwrite(converted, 1, used, stream);
      used = 0;
    }
    const size_t characterLength = ShiftJisCharacterLength(text, length);
    char* in = const_cast<char*>(text);
    size_t inLeft = characterLength;
    char* out = converted + used;
    size_t outLeft = 16;
    iconv(encoder, nullptr, nullptr, nullptr, nullptr);
    if (iconv(encoder, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) {
      memset(converted + used, '?', characterLength);
      used += characterLength;
    } else {
      used += 16 - outLeft;
    }
    text += characterLength;
    length -= characterLength;
  }
  fwrite(converted, 1, used, stream);
}

void WriteLocalToTerminal(FILE* stream, const char* text, size_t length) {
  fwrite(text, 1, length, stream);
}

size_t DecodeLocalCharacter(const char* text, size_t length, uint32_t* codePoint) {
  const LocalDecoding& decoding = TerminalLocalDecoding();
  if (decoding.utf8) {
    return DecodeUtf8(text, length, codePoint);
  }
  if (decoding.decoder == kNoConverter) {
    *codePoint = static_cast<uint8_t>(text[0]);
    return *codePoint < 0x80 ? 1 : 0;
  }
  // Room for one character only: iconv stops after it, and what it took of
  // the input is the character's length.
  iconv(decoding.decoder, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(text);
  size_t inLeft = length;
  uint8_t decoded[4];
  char* out = reinterpret_cast<char*>(decoded);
  size_t outLeft = sizeof decoded;
  // It reports E2BIG, or the fault of the next character, once that one is
  // out; a fault in this one leaves nothing out.
  iconv(decoding.decoder, &in, &inLeft, &out, &outLeft);
  if (outLeft != 0 || inLeft == length) {
    return 0;
  }
  *codePoint = static_cast<uint32_t>(decoded[0]) | (static_cast<uint32_t>(decoded[1]) << 8) |
               (static_cast<uint32_t>(decoded[2]) << 16) |
               (static_cast<uint32_t>(decoded[3]) << 24);
  return length - inLeft;
}

bool IsFolderPath(const char* path) {
  struct stat found;
  return stat(path, &found) == 0 && S_ISDIR(found.st_mode);
}

bool ListFolder(const char* path, void (*visit)(const char* name, FolderEntry kind, void* context),
                void* context, SystemError* error) {
  DIR* folder = opendir(path);
  if (folder == nullptr) {
    *error = errno;
    return false;
  }
  errno = 0;
  while (const struct dirent* entry = readdir(folder)) {
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
      continue;
    }
    struct stat found;
    FolderEntry kind = FolderEntry::kOther;
    if (fstatat(dirfd(folder), name, &found, AT_SYMLINK_NOFOLLOW) == 0) {
      kind = S_ISREG(found.st_mode)   ? FolderEntry::kFile
             : S_ISDIR(found.st_mode) ? FolderEntry::kFolder
                                      : FolderEntry::kOther;
    }
    visit(name, kind, context);
    errno = 0;
  }
  const int readError = errno;
  closedir(folder);
  if (readError != 0) {
    *error = readError;
    return false;
  }
  return true;
}

FILE* CreateFileBeside(const char* path, char* temporary, size_t capacity, SystemError* error) {
  const int length = snprintf(temporary, capacity, "%s.XXXXXX", path);
  if (length < 0 || static_cast<size_t>(length) >= capacity) {
    *error = ENAMETOOLONG;
    return nullptr;
  }
  // mkstemp makes the file with O_EXCL, and so never follows a link.
  const int descriptor = mkstemp(temporary);
  if (descriptor < 0) {
    *error = errno;
    return nullptr;
  }
  fcntl(descriptor, F_SETFD, FD_CLOEXEC);
  // mkstemp's file is the owner's alone; the image gets what any new file
  // gets.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(descriptor, 0666 & ~mask);
  FILE* file = fdopen(descriptor, "w+b");
  if (file == nullptr) {
    *error = errno;
    close(descriptor);
    unlink(temporary);
  }
  return file;
}

bool RenameOnto(const char* temporary, const char* path, bool replace, SystemError* error) {
  if (replace) {
    if (rename(temporary, path) != 0) {
      *error = errno;
      return false;
    }
    return true;
  }
  // A second name that fails if `path` exists, then the first one gone:
  // nothing made at `path` meanwhile is replaced.
  if (link(temporary, path) == 0) {
    unlink(temporary);
    return true;
  }
  if (errno == EEXIST) {
    *error = errno;
    return false;
  }
  // A file system without hard links: look, then rename.
  struct stat found;
  if (lstat(path, &found) == 0) {
    *error = EEXIST;
    return false;
  }
  if (rename(temporary, path) != 0) {
    *error = errno;
    return false;
  }
  return true;
}
