// Output files and the tool's messages.
#ifndef TOOL_OUTPUT_H_
#define TOOL_OUTPUT_H_

#include <cstdint>
#include <cstdio>

#include "d88/d88_image.h"

// Messages in Japanese are Shift_JIS bytes, kept escaped so that the source
// file's own encoding cannot change them.

// "ファイルをオープンできません\n" (the image cannot be opened)
extern const char kCannotOpenMessage[];
// "DISK 1を認識しました.\n" (the disk was recognised)
extern const char kRecognisedMessage[];
// "ファイルを書き込めません. \n" (a file cannot be written)
extern const char kWriteFailureMessage[];

// The output file being written, one at a time; nullptr between files.
extern FILE* outputFile;

enum class OutputOpen {
  kOpened,   // outputFile holds the new or truncated file
  kIsImage,  // `name` is the image being read: nothing was opened
  kFailed,   // the file cannot be created
};
// Opens `name` in the current folder for writing as OpenNamedOutput does:
// made, or an existing regular file truncated, unless it is the image being
// read (the same file, whatever name or link it is reached by); never
// through a link, and never a directory, pipe or device. Holds it in
// outputFile.
OutputOpen OpenOutputFile(const char* name);
// Appends to outputFile; false once the stream reports an error and the
// file has more than 4 KiB. A failure within its first 4 KiB is reported by
// CloseOutputFile.
bool WriteOutputFile(const uint8_t* data, int length);
// Sets outputFile's access and modification times to `time`, through the
// open file, before it is closed.
void SetOutputFileTimes(const FileTime& time);
// Closes outputFile; false if it had an error or the final flush failed.
bool CloseOutputFile();
// Prints the write-failure message for the output `name`, which could not
// be created, written or closed, with the system's reason on a terminal, and
// closes outputFile if it is open. A listing line left unfinished on a
// terminal is ended first.
void ReportWriteFailure(const char* name);

// Prints the open-failure message for the image `path`, with the system's
// reason `error` on a terminal.
void ReportCannotOpen(const char* path, SystemError error);

// Prints "d88cut: cannot read 'PATH': REASON\n" for the image `path`, whose
// read failed with `error`.
void ReportCannotRead(const char* path, SystemError error);

// Notes which file `image` has open, so that no output is written over it.
void RememberImageFile(const D88Image& image);
// Tells the user that `name` was not written because it is the image.
void ReportImageInTheWay(const char* name);
// Tells the user that `name` from the disk is not one plain file name here.
void ReportUnsafeName(const char* name);

// On a terminal only (standard error one, at a prompt), after the run: when
// any file the run wrote is damaged as d88info judges the open `image`, one
// line to standard error names them and suggests d88info on `path`. The
// image is judged only then, and not after a read of it failed.
void ReportDamagedOutputs(D88Image& image, const char* path);

// Forgets the image's identity, the output file's contents and the files
// written.
void ResetOutput();

#endif  // TOOL_OUTPUT_H_
