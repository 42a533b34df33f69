// What the POSIX systems and the page share about files: errno for what
// failed, strerror for its words, stdio with 64-bit offsets, and removing
// and scratch files.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

SystemError LastFileError() {
  return errno;
}

void DescribeSystemError(SystemError error, char* text, size_t capacity) {
  if (capacity > 0) {
    snprintf(text, capacity, "%s",
             error == kNotARegularFile ? "Not a regular file"
             : error == kSymbolicLink  ? "Is a symbolic link"
                                       : strerror(error));
  }
}

bool OpenFileSize(FILE* file, int64_t* size) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0) {
    return false;
  }
  *size = static_cast<int64_t>(status.st_size);
  return true;
}

bool SeekFile(FILE* file, int64_t offset) {
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

size_t ReadFromFile(FILE* file, void* buffer, size_t length, SystemError* error) {
  const size_t got = fread(buffer, 1, length, file);
  if (got < length && ferror(file) != 0) {
    *error = errno != 0 ? errno : EIO;
  }
  return got;
}

void RemoveFile(const char* path) {
  unlink(path);
}

FILE* OpenScratchFile(SystemError* error) {
  FILE* file = tmpfile();
  if (file == nullptr) {
    *error = errno;
  }
  return file;
}

bool InspectPath(const char* path, PathStatus* status, SystemError* error) {
  *status = PathStatus{};
  struct stat found;
  if (lstat(path, &found) != 0) {
    if (errno == ENOENT) {
      return true;
    }
    *error = errno;
    return false;
  }
  status->exists = true;
  status->isLink = S_ISLNK(found.st_mode);
  if (status->isLink && stat(path, &found) != 0) {
    return true;  // dangling, or leading nowhere this process may look
  }
  status->resolves = true;
  status->target =
      FileIdentity{static_cast<uint64_t>(found.st_dev), static_cast<uint64_t>(found.st_ino)};
  return true;
}
