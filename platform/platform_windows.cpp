// Windows: the image through a handle that must be a disk file, names from
// the disk decoded as code page 932 and made through the wide API, outputs
// opened without following reparse points and timed through their handles,
// identity by volume serial number and file index, the console through
// WriteConsoleW.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/shift_jis.h"
#include "platform/utf8.h"
#include "platform/windows_names.h"

namespace {

constexpr UINT kShiftJisCodePage = 932;
constexpr int kWideNameLength = kDecodedNameLength;

std::wstring WideFromUtf8(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (length <= 0) {
    return std::wstring();
  }
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

char* Utf8FromWide(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  char* text = static_cast<char*>(calloc(static_cast<size_t>(length > 0 ? length : 1), 1));
  if (text != nullptr && length > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, length, nullptr, nullptr);
  }
  return text;
}

// The disk's Shift_JIS name as UTF-16, strictly: false when a byte does not
// decode.
bool WideName(const char* name, wchar_t wide[kWideNameLength]) {
  const int length = static_cast<int>(strlen(name));
  if (length == 0) {
    wide[0] = L'\0';
    return true;
  }
  const int converted = MultiByteToWideChar(kShiftJisCodePage, MB_ERR_INVALID_CHARS, name, length,
                                            wide, kWideNameLength - 1);
  if (converted <= 0) {
    return false;
  }
  wide[converted] = L'\0';
  return true;
}

// The decoded name as the shared Windows name rules take it: code page 932
// decodes to one UTF-16 unit a character.
bool IsPlainWideName(const wchar_t wide[kWideNameLength]) {
  char16_t name[kDecodedNameLength] = {};
  for (int i = 0; i < kDecodedNameLength - 1 && wide[i] != L'\0'; ++i) {
    name[i] = static_cast<char16_t>(wide[i]);
  }
  return IsWindowsFileName(name);
}

bool IdentifyHandle(HANDLE handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) {
    return false;
  }
  identity->volume = information.dwVolumeSerialNumber;
  identity->index =
      (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return true;
}

// Whether `name`, followed through any links, is the file `identity`;
// false for nullptr.
bool IsNamedFile(const wchar_t* name, const FileIdentity* identity) {
  if (identity == nullptr) {
    return false;
  }
  // No access asked for: only the file's identity is read.
  const HANDLE handle = CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  FileIdentity found;
  const bool same = IdentifyHandle(handle, &found) && found.volume == identity->volume &&
                    found.index == identity->index;
  CloseHandle(handle);
  return same;
}

HANDLE HandleOf(FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

void WriteWide(FILE* stream, const wchar_t* text, size_t length) {
  fflush(stream);
  const HANDLE console = HandleOf(stream);
  while (length > 0) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(length < 4096 ? length : 4096);
    if (!WriteConsoleW(console, text, chunk, &written, nullptr) || written == 0) {
      return;
    }
    text += written;
    length -= written;
  }
}

// Appends `text` to `wide`, each line feed as CR LF.
void AppendLines(std::wstring& wide, const wchar_t* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == L'\n') {
      wide += L'\r';
    }
    wide += text[i];
  }
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

// Skips `count` letters; false if they are not there.
bool SkipLetters(const char*& at, int count) {
  for (int i = 0; i < count; ++i, ++at) {
    if (!IsAsciiLetter(*at)) {
      return false;
    }
  }
  return true;
}

// Skips one or two digits; false if there are none.
bool SkipNumber(const char*& at) {
  if (!IsAsciiDigit(*at)) {
    return false;
  }
  ++at;
  if (IsAsciiDigit(*at)) {
    ++at;
  }
  return true;
}

// The C runtime's form of TZ: a three-letter zone name, the hours (and
// minutes and seconds) to add to local time for UTC, and an optional
// three-letter summer-time name: "tzn[+|-]hh[:mm[:ss]][dzn]".
bool IsRuntimeTimeZone(const char* tz) {
  const char* at = tz;
  if (!SkipLetters(at, 3)) {
    return false;
  }
  if (*at == '+' || *at == '-') {
    ++at;
  }
  if (!SkipNumber(at)) {
    return false;
  }
  for (int part = 0; part < 2 && *at == ':'; ++part) {
    ++at;
    if (!SkipNumber(at)) {
      return false;
    }
  }
  return *at == '\0' || (SkipLetters(at, 3) && *at == '\0');
}

// Before a C runtime call whose failure is to be told: the runtime sets
// _doserrno only when Windows gave the reason, and leaves it alone otherwise.
void ForgetFileError() {
  errno = 0;
  _doserrno = 0;
}

// The C runtime's errno is kept as its negative, beside Windows's own codes.
SystemError RuntimeError(int error) {
  return -error;
}

bool IsFolder(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// FormatMessage's words for a Windows error code, in English where Windows
// has them, else in the system's language; false if it has none.
bool WindowsWords(DWORD code, char* text, size_t capacity) {
  wchar_t wide[512];
  DWORD length = 0;
  const DWORD languages[] = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 0};
  for (const DWORD language : languages) {
    length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            code, language, wide, sizeof wide / sizeof wide[0], nullptr);
    if (length > 0) {
      break;
    }
  }
  // Without its line end.
  while (length > 0 &&
         (wide[length - 1] == L'\r' || wide[length - 1] == L'\n' || wide[length - 1] == L' ')) {
    --length;
  }
  if (length == 0) {
    return false;
  }
  const int converted = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text,
                                            static_cast<int>(capacity) - 1, nullptr, nullptr);
  if (converted <= 0) {
    return false;
  }
  text[converted] = '\0';
  return true;
}

}  // namespace

const char* SystemHelpOption() {
  return "/?";
}

bool RunsAtAPrompt() {
  return true;
}

SystemError LastFileError() {
  const unsigned long windowsError = _doserrno;
  return windowsError != 0 ? static_cast<SystemError>(windowsError) : RuntimeError(errno);
}

void DescribeSystemError(SystemError error, char* text, size_t capacity) {
  if (capacity == 0) {
    return;
  }
  if (error == kNotARegularFile) {
    snprintf(text, capacity, "%s", "Not a regular file");
  } else if (error == kSymbolicLink) {
    snprintf(text, capacity, "%s", "Is a symbolic link");
  } else if (error <= 0) {
    snprintf(text, capacity, "%s", strerror(-error));
  } else if (!WindowsWords(static_cast<DWORD>(error), text, capacity)) {
    snprintf(text, capacity, "Windows error %d", error);
  }
}

void PrepareLocalTime() {
  const char* tz = getenv("TZ");
  if (tz != nullptr && !IsRuntimeTimeZone(tz)) {
    _putenv("TZ=");  // removes it: the Windows setting applies
  }
  _tzset();
}

CommandLine::CommandLine(int count, char** arguments)
    : argc(count), argv(arguments), convertedArguments(nullptr) {
  int wideCount = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
  if (wide == nullptr) {
    return;
  }
  char** utf8 = static_cast<char**>(calloc(static_cast<size_t>(wideCount) + 1, sizeof(char*)));
  if (utf8 != nullptr) {
    for (int i = 0; i < wideCount; ++i) {
      utf8[i] = Utf8FromWide(wide[i]);
    }
    argc = wideCount;
    argv = utf8;
    convertedArguments = utf8;
  }
  LocalFree(wide);
}

CommandLine::~CommandLine() {
  if (convertedArguments == nullptr) {
    return;
  }
  for (int i = 0; convertedArguments[i] != nullptr; ++i) {
    free(convertedArguments[i]);
  }
  free(convertedArguments);
}

FILE* OpenImageFile(const char* path, SystemError* error) {
  const std::wstring widePath = WideFromUtf8(path);
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open. Others may
  // go on reading and writing the image while it is read here.
  const HANDLE handle = CreateFileW(widePath.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD windowsError = GetLastError();
    // Windows refuses a directory with the same code as an unreadable file;
    // EISDIR says what it is.
    *error = windowsError == ERROR_ACCESS_DENIED && IsFolder(widePath.c_str())
                 ? RuntimeError(EISDIR)
                 : static_cast<SystemError>(windowsError);
    return nullptr;
  }
  // Consoles, devices such as NUL or COM1, and pipes are no image.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    *error = kNotARegularFile;
    return nullptr;
  }
  ForgetFileError();
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (descriptor < 0) {
    *error = LastFileError();
    CloseHandle(handle);
    return nullptr;
  }
  FILE* file = _fdopen(descriptor, "rb");
  if (file == nullptr) {
    *error = LastFileError();
    _close(descriptor);
  }
  return file;
}

bool OpenFileSize(FILE* file, int64_t* size) {
  LARGE_INTEGER bytes;
  if (!GetFileSizeEx(HandleOf(file), &bytes)) {
    return false;
  }
  *size = static_cast<int64_t>(bytes.QuadPart);
  return true;
}

bool SeekFile(FILE* file, int64_t offset) {
  return _fseeki64(file, offset, SEEK_SET) == 0;
}

size_t ReadFromFile(FILE* file, void* buffer, size_t length, SystemError* error) {
  ForgetFileError();
  const size_t got = fread(buffer, 1, length, file);
  if (got < length && ferror(file) != 0) {
    const SystemError reason = LastFileError();
    *error = reason != 0 ? reason : RuntimeError(EIO);
  }
  return got;
}

bool IdentifyOpenFile(FILE* file, FileIdentity* identity) {
  return IdentifyHandle(HandleOf(file), identity);
}

bool IsPlainFileName(const char* name) {
  wchar_t wide[kWideNameLength];
  return WideName(name, wide) && IsPlainWideName(wide);
}

bool IsSameOutputFile(const char* a, const char* b) {
  return IsPlainFileName(a) && IsPlainFileName(b) && IsSameWindowsName(a, b);
}

OutputOpening OpenNamedOutput(const char* name, const FileIdentity* image, FILE** file,
                              SystemError* error) {
  *file = nullptr;
  wchar_t wide[kWideNameLength];
  if (!WideName(name, wide)) {
    *error = RuntimeError(EILSEQ);
    return OutputOpening::kRefused;
  }
  // Made if it is not there; an existing file is opened as it is, and a
  // reparse point (a symbolic link, a junction) as itself, never followed.
  // Names are looked up without regard to case, so "main" finds MAIN.
  const HANDLE handle =
      CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD windowsError = GetLastError();
    // Windows refuses a directory with the same code as an unwritable file;
    // EISDIR says what it is.
    *error = windowsError == ERROR_ACCESS_DENIED && IsFolder(wide)
                 ? RuntimeError(EISDIR)
                 : static_cast<SystemError>(windowsError);
    return OutputOpening::kRefused;
  }
  OutputOpening opening = OutputOpening::kRefused;
  BY_HANDLE_FILE_INFORMATION information;
  FileIdentity found;
  if (!GetFileInformationByHandle(handle, &information) || !IdentifyHandle(handle, &found)) {
    *error = static_cast<SystemError>(GetLastError());
  } else if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A link to the image is the image in the way, as the image itself is.
    *error = kSymbolicLink;
    if (IsNamedFile(wide, image)) {
      opening = OutputOpening::kIsImage;
    }
  } else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *error = RuntimeError(EISDIR);
  } else if (GetFileType(handle) != FILE_TYPE_DISK) {
    *error = kNotARegularFile;
  } else if (image != nullptr && found.volume == image->volume && found.index == image->index) {
    opening = OutputOpening::kIsImage;
  } else if (!SetEndOfFile(handle)) {
    *error = static_cast<SystemError>(GetLastError());
  } else {
    opening = OutputOpening::kOpened;
  }
  if (opening != OutputOpening::kOpened) {
    CloseHandle(handle);
    return opening;
  }
  ForgetFileError();
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (descriptor < 0) {
    *error = LastFileError();
    CloseHandle(handle);
    return OutputOpening::kRefused;
  }
  *file = _fdopen(descriptor, "wb");
  if (*file == nullptr) {
    *error = LastFileError();
    _close(descriptor);
    return OutputOpening::kRefused;
  }
  return OutputOpening::kOpened;
}

void SetOpenFileTimes(FILE* file, const FileTime& time) {
  if (time.local == static_cast<time_t>(-1)) {
    return;
  }
  fflush(file);
  // 100-nanosecond ticks since 1601, in UTC as time_t is.
  constexpr int64_t kTicksTo1970 = 116444736000000000LL;
  const uint64_t ticks =
      static_cast<uint64_t>(static_cast<int64_t>(time.local) * 10000000 + kTicksTo1970);
  FILETIME stamp;
  stamp.dwLowDateTime = static_cast<DWORD>(ticks);
  stamp.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SetFileTime(HandleOf(file), nullptr, &stamp, &stamp);
}

bool IsTerminal(FILE* stream) {
  DWORD mode = 0;
  return GetConsoleMode(HandleOf(stream), &mode) != 0;
}

bool DecodeShiftJis(const char* bytes, int length, uint32_t* codePoint) {
  wchar_t wide[2];
  if (length < 1 || length > 2 ||
      MultiByteToWideChar(kShiftJisCodePage, MB_ERR_INVALID_CHARS, bytes, length, wide, 2) != 1) {
    return false;
  }
  *codePoint = wide[0];
  return true;
}

void WriteToTerminal(FILE* stream, const char* text, size_t length) {
  // One character at a time, so that one that does not decode becomes a '?'
  // for each of its bytes.
  std::wstring wide;
  while (length > 0) {
    const size_t characterLength = ShiftJisCharacterLength(text, length);
    wchar_t decoded[2];
    if (MultiByteToWideChar(kShiftJisCodePage, MB_ERR_INVALID_CHARS, text,
                            static_cast<int>(characterLength), decoded, 2) == 1) {
      AppendLines(wide, decoded, 1);
    } else {
      wide.append(characterLength, L'?');
    }
    text += characterLength;
    length -= characterLength;
  }
  WriteWide(stream, wide.data(), wide.size());
}

void WriteLocalToTerminal(FILE* stream, const char* text, size_t length) {
  const std::wstring decoded = WideFromUtf8(std::string(text, length).c_str());
  std::wstring wide;
  AppendLines(wide, decoded.data(), decoded.size());
  WriteWide(stream, wide.data(), wide.size());
}

size_t DecodeLocalCharacter(const char* text, size_t length, uint32_t* codePoint) {
  return DecodeUtf8(text, length, codePoint);
}

bool IsFolderPath(const char* path) {
  return IsFolder(WideFromUtf8(path).c_str());
}

bool ListFolder(const char* path, void (*visit)(const char* name, FolderEntry kind, void* context),
                void* context, SystemError* error) {
  const std::wstring pattern = WideFromUtf8(path) + L"\\*";
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    *error = static_cast<SystemError>(GetLastError());
    return false;
  }
  do {
    const wchar_t* name = found.cFileName;
    if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0) {
      continue;
    }
    const DWORD attributes = found.dwFileAttributes;
    FolderEntry kind = FolderEntry::kFile;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      kind = FolderEntry::kOther;
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      kind = FolderEntry::kFolder;
    } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
      kind = FolderEntry::kOther;
    }
    char* utf8 = Utf8FromWide(name);
    if (utf8 != nullptr) {
      visit(utf8, kind, context);
      free(utf8);
    }
  } while (FindNextFileW(search, &found));
  const DWORD searchError = GetLastError();
  FindClose(search);
  if (searchError != ERROR_NO_MORE_FILES) {
    *error = static_cast<SystemError>(searchError);
    return false;
  }
  return true;
}

bool InspectPath(const char* path, PathStatus* status, SystemError* error) {
  *status = PathStatus{};
  const std::wstring wide = WideFromUtf8(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD windowsError = GetLastError();
    if (windowsError == ERROR_FILE_NOT_FOUND || windowsError == ERROR_PATH_NOT_FOUND) {
      return true;
    }
    *error = static_cast<SystemError>(windowsError);
    return false;
  }
  status->exists = true;
  status->isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // Followed through any links; no access asked for, only the identity.
  const HANDLE handle =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    status->resolves = IdentifyHandle(handle, &status->target);
    CloseHandle(handle);
  }
  return true;
}

FILE* CreateFileBeside(const char* path, char* temporary, size_t capacity, SystemError* error) {
  // A name of its own: the process, the time and a count, tried again
  // should another file have it.
  static unsigned made = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned long long stamp = GetTickCount64();
    const int length =
        snprintf(temporary, capacity, "%s.%lu-%llx-%u", path, GetCurrentProcessId(), stamp, made++);
    if (length < 0 || static_cast<size_t>(length) >= capacity) {
      *error = RuntimeError(ENAMETOOLONG);
      return nullptr;
    }
    const std::wstring wide = WideFromUtf8(temporary);
    const HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD windowsError = GetLastError();
      if (windowsError == ERROR_FILE_EXISTS || windowsError == ERROR_ALREADY_EXISTS) {
        continue;
      }
      *error = static_cast<SystemError>(windowsError);
      return nullptr;
    }
    ForgetFileError();
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (descriptor < 0) {
      *error = LastFileError();
      CloseHandle(handle);
      DeleteFileW(wide.c_str());
      return nullptr;
    }
    FILE* file = _fdopen(descriptor, "w+b");
    if (file == nullptr) {
      *error = LastFileError();
      _close(descriptor);
      DeleteFileW(wide.c_str());
    }
    return file;
  }
  *error = static_cast<SystemError>(ERROR_FILE_EXISTS);
  return nullptr;
}

bool RenameOnto(const char* temporary, const char* path, bool replace, SystemError* error) {
  const std::wstring from = WideFromUtf8(temporary);
  const std::wstring to = WideFromUtf8(path);
  // MoveFileEx renames a link itself, not what it leads to.
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExW(from.c_str(), to.c_str(), flags)) {
    *error = static_cast<SystemError>(GetLastError());
    return false;
  }
  return true;
}

void RemoveFile(const char* path) {
  DeleteFileW(WideFromUtf8(path).c_str());
}

FILE* OpenScratchFile(SystemError* error) {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"d88", 0, name) == 0) {
    *error = static_cast<SystemError>(GetLastError());
    return nullptr;
  }
  // D: deleted once closed; T: kept in memory where it can be.
  ForgetFileError();
  FILE* file = _wfopen(name, L"w+bTD");
  if (file == nullptr) {
    *error = LastFileError();
    DeleteFileW(name);
  }
  return file;
}
