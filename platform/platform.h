// What differs between POSIX systems, Windows and the page: opening the
// image, making and naming output files, telling files apart, setting their
// times, the command line and the terminal. platform_posix.cpp,
// platform_windows.cpp and platform_web.cpp implement it; everything else
// uses the C library alone.
//
// Paths from the command line are in the system's own encoding on POSIX and
// UTF-8 on Windows and in the page. Names from the disk are its Shift_JIS
// bytes. The page keeps its files as Windows would (platform_web.cpp).
#ifndef PLATFORM_PLATFORM_H_
#define PLATFORM_PLATFORM_H_

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

// The arguments of the running process, as main received them on POSIX and
// as UTF-8 taken from the wide command line on Windows, so that any path
// opens whatever the code page.
class CommandLine {
 public:
  CommandLine(int argc, char** argv);
  ~CommandLine();
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  int argc;
  char** argv;

 private:
  [[maybe_unused]] char** convertedArguments;  // what the destructor frees; nullptr on POSIX
};

// How this system's commands are asked for help besides --help: "/?" on
// Windows; nullptr on POSIX and in the page, where "/?" is a path like any
// other.
const char* SystemHelpOption();
// True where the user runs commands at a prompt, so that a word naming
// another command to try helps: POSIX and Windows; false in the page.
bool RunsAtAPrompt();

// Makes local time the C runtime's: on POSIX TZ in any form the C library
// reads; on Windows TZ when it is in the runtime's own form (UTC0, JST-9,
// EST5EDT), and the Windows time-zone setting otherwise, since the runtime
// would take a zone name such as Asia/Tokyo for UTC. Call before the first
// mktime.
void PrepareLocalTime();

// Why an operation on a file failed, as the system has it: an errno value on
// POSIX and in the page; on Windows a Windows error code, or the C runtime's
// errno where Windows gave none. DescribeSystemError puts it into words.
using SystemError = int;
// The path names something that exists but is no regular file (a device, a
// pipe, a socket), for which the system has no error code of its own.
constexpr SystemError kNotARegularFile = INT_MIN;
// The name is a symbolic link (on Windows any reparse point), which no output
// is written through.
constexpr SystemError kSymbolicLink = INT_MIN + 1;

// The reason for the C library's last failed call on a file (fwrite,
// fclose), to be taken at once after the failure.
SystemError LastFileError();
// The system's own words for `error` (strerror; FormatMessage on Windows),
// in the system's own encoding and without a line end: at most
// `capacity` - 1 bytes and a NUL.
void DescribeSystemError(SystemError error, char* text, size_t capacity);

// Opens `path` for binary reading if, after following symbolic links, it is
// a regular file on a disk: not a directory, a device, a console or a pipe,
// none of which can be an image (and some of which would wait for input or
// never end). nullptr otherwise, with the reason in `error`: a directory is
// EISDIR (on Windows the C runtime's), any other non-regular file
// kNotARegularFile.
FILE* OpenImageFile(const char* path, SystemError* error);
// The size in bytes of the open `file`; false if the system cannot tell.
bool OpenFileSize(FILE* file, int64_t* size);
// Moves `file` to `offset` from its start; offsets are 64-bit.
bool SeekFile(FILE* file, int64_t offset);
// Reads up to `length` bytes from `file` into `buffer`; returns how many it
// read. When the read fails with an error, rather than at the end of the
// file, `error` is set to the system's reason, never 0 (and left alone
// otherwise).
size_t ReadFromFile(FILE* file, void* buffer, size_t length, SystemError* error);

// What tells two names of one file apart from two files: device and inode on
// POSIX, volume serial number and file index on Windows.
struct FileIdentity {
  uint64_t volume;
  uint64_t index;
};
bool IdentifyOpenFile(FILE* file, FileIdentity* identity);

// Folders of images, for d88info. What an entry of a folder is, looked at
// without following a link: a regular file, a folder, or anything else
// (a link to either, a device, a pipe).
enum class FolderEntry { kFile, kFolder, kOther };
// True when `path` names a folder, following links.
bool IsFolderPath(const char* path);
// Calls `visit` once for each entry of the folder `path` but "." and "..",
// in the order the system gives them, with its name (UTF-8 on Windows) and
// what it is. False when the folder cannot be read, with the reason in
// `error`; the page has no folders.
bool ListFolder(const char* path, void (*visit)(const char* name, FolderEntry kind, void* context),
                void* context, SystemError* error);

// True when the disk's name `name` can be made as one plain file in the
// current folder under this system's rules: on POSIX not empty, ".", ".."
// or holding a '/'; on Windows and in the page see windows_names.h, and the
// name must also decode as Shift_JIS (code page 932).
bool IsPlainFileName(const char* name);

// True when outputs named `a` and `b` (the disk's names) are one file in the
// current folder here, so that the later of the two replaces the earlier:
// names of equal bytes on POSIX; on Windows and in the page, names that
// Windows takes for one (windows_names.h). A name IsPlainFileName refuses is
// never made, so it is no file at all.
bool IsSameOutputFile(const char* a, const char* b);

enum class OutputOpening {
  kOpened,   // the file is open for writing, new or truncated to nothing
  kIsImage,  // the name is the file `image` (through a link too): left as it is
  kRefused,  // it cannot be made or opened, or is no regular file of its own
};
// Opens `name` in the current folder for binary writing, only ever as a
// regular file of that very name: it is made if it is not there, and an
// existing one is truncated only once it has been opened and found to be a
// regular file that is not `image` (nullptr: no file to spare). A symbolic
// link (dangling or not), a directory, a pipe, a device or a socket of that
// name is refused without being followed, waited on or changed; so is a
// name that is swapped for one meanwhile. On kOpened `*file` holds the
// stream; on kRefused `*error` says why. On Windows and in the page the name
// is decoded from Shift_JIS first, so it reads the same whatever the
// system's code page, and a name that differs only in case is the same file.
OutputOpening OpenNamedOutput(const char* name, const FileIdentity* image, FILE** file,
                              SystemError* error);
// What a path given for a new file names now, looked at without following
// a link at the path itself.
struct PathStatus {
  bool exists;    // anything: a file, a folder, a link (dangling or not)
  bool isLink;    // a symbolic link (on Windows any reparse point)
  bool resolves;  // followed through links, it leads to a file: `target`
  FileIdentity target;
};
// Looks at `path` (from the command line). False when the system cannot
// tell, with the reason in `error`; a path that does not exist is no error.
bool InspectPath(const char* path, PathStatus* status, SystemError* error);
// Makes a new empty file in the folder of `path`, under a name of its own
// that starts with `path`'s last component, and opens it for binary reading
// and writing; its path goes into `temporary` (at most `capacity` - 1 bytes
// and a NUL). It never takes an existing name. nullptr on failure, with the
// reason in `error`. The file gets the permissions a new file gets.
FILE* CreateFileBeside(const char* path, char* temporary, size_t capacity, SystemError* error);
// Gives the file at `temporary` the name `path`, in one step: with
// `replace`, whatever `path` names is replaced (a link itself, never what it
// leads to); without, it fails with the system's "file exists" when `path`
// exists. False on failure, with the reason in `error`, and `temporary` is
// then left as it is.
bool RenameOnto(const char* temporary, const char* path, bool replace, SystemError* error);
// Removes the file at `path`; a failure is ignored.
void RemoveFile(const char* path);
// A new file for the process alone, opened for binary reading and writing,
// that is gone once it is closed or the process ends; nullptr on failure,
// with the reason in `error`.
FILE* OpenScratchFile(SystemError* error);

// A date and time as an MS-DOS directory entry records it: its two words,
// exactly as they are, whatever their values.
//   time: hour << 11 | minute << 5 | seconds / 2
//   date: (year - 1980) << 9 | month << 5 | day
struct DosDateTime {
  uint16_t time;
  uint16_t date;
};

// A recorded date and time made ready to be set on a file.
struct FileTime {
  DosDateTime recorded;
  // On POSIX and Windows the recorded time as local time, converted by
  // mktime; (time_t)-1 when it cannot be converted, and always in the page,
  // which keeps the words alone.
  time_t local;
};
// Converts at once: mktime's answer for an hour that summer time repeats can
// depend on its previous call, so times are converted in the order they are
// met, each one whether or not it is set on a file.
FileTime ConvertRecordedTime(DosDateTime recorded);
// Sets the access and modification times of `file`, the output that
// OpenNamedOutput opened last and that is still open, to `time`, through the
// open file itself; the creation time is left alone. A time that could not
// be converted changes nothing, and failures are ignored. The page keeps the
// recorded words for the file.
void SetOpenFileTimes(FILE* file, const FileTime& time);

// True when `stream` (stdout or stderr) is a terminal or a console; always
// in the page, which shows both as a UTF-8 terminal does.
bool IsTerminal(FILE* stream);
// Decodes one Shift_JIS character (one byte, or a lead and a trail byte) as
// code page 932. False when the bytes do not decode.
bool DecodeShiftJis(const char* bytes, int length, uint32_t* codePoint);
// Writes Shift_JIS text to the terminal `stream` in the terminal's own
// character set: the locale's codeset on POSIX (UTF-8 under the C and POSIX
// locales, the bytes as they are under a Shift_JIS one), the console's wide
// API on Windows, with CR LF for each line feed. A character the terminal
// cannot show becomes one '?' per byte.
void WriteToTerminal(FILE* stream, const char* text, size_t length);
// Writes text that is already in the system's own encoding (a command-line
// argument) to the terminal `stream`.
void WriteLocalToTerminal(FILE* stream, const char* text, size_t length);
// Decodes the character that text in the system's own encoding (a
// command-line argument) begins with, `length` bytes to go and at least one,
// as the terminals WriteLocalToTerminal writes to read it: in the locale's
// codeset on POSIX (UTF-8 under the C and POSIX locales, code page 932 under
// a Shift_JIS one), as UTF-8 on Windows and in the page. Returns its length
// in bytes, or 0 when the bytes at `text` begin no character.
size_t DecodeLocalCharacter(const char* text, size_t length, uint32_t* codePoint);

#endif  // PLATFORM_PLATFORM_H_
