// A disk that fails, for the tests of d88cut and d88info: loaded into them
// with LD_PRELOAD, it makes the C library's own reads and writes fail as
// they do on a disk with a bad sector or no room left. Linux only.
//
//   D88_FAIL_READ_AT=N     a read of any file that takes in its byte N fails
//                          with EIO, as a read over a bad sector does
//   D88_FAIL_WRITES_TO=F   every write to the file named F fails with ENOSPC,
//                          as it does on a full disk; F ending in '*' names
//                          every file whose name starts with what is before
//
// The programs' own calls are not changed: under the stream of such a read
// or write it puts a descriptor whose reads or writes the system itself
// fails (a pseudo-terminal whose other side is closed, /dev/full), so that
// the C library sees a real failure, sets the stream's error indicator and
// errno as it would on that disk.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using StreamCall = size_t (*)(void*, size_t, size_t, FILE*);

StreamCall Next(const char* name) {
  return reinterpret_cast<StreamCall>(dlsym(RTLD_NEXT, name));
}

// A descriptor whose every read fails with EIO: the master side of a
// pseudo-terminal whose slave side has been opened and closed again.
int FailingReads() {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    return -1;
  }
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  if (slave >= 0) {
    close(slave);
  }
  return master;
}

// Puts `replacement` under `stream`'s descriptor.
void Swap(FILE* stream, int replacement) {
  if (replacement >= 0) {
    dup2(replacement, fileno(stream));
    close(replacement);
  }
}

// Whether `stream` is the file named `name` (its last path component), or
// with a `name` that ends in '*', one whose name starts with the rest.
bool IsNamed(FILE* stream, const char* name) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
  char path[4096];
  const ssize_t length = readlink(link, path, sizeof path - 1);
  if (length <= 0) {
    return false;
  }
  path[length] = '\0';
  const char* slash = strrchr(path, '/');
  const char* last = slash != nullptr ? slash + 1 : path;
  const size_t nameLength = strlen(name);
  if (nameLength > 0 && name[nameLength - 1] == '*') {
    return strncmp(last, name, nameLength - 1) == 0;
  }
  return strcmp(last, name) == 0;
}

}  // namespace

extern "C" size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
  static const StreamCall next = Next("fread");
  const char* failAt = getenv("D88_FAIL_READ_AT");
  if (failAt != nullptr) {
    const off_t position = ftello(stream);
    const unsigned long long bad = strtoull(failAt, nullptr, 10);
    if (position >= 0 && static_cast<unsigned long long>(position) <= bad &&
        bad - static_cast<unsigned long long>(position) < size * count) {
      Swap(stream, FailingReads());
    }
  }
  return next(buffer, size, count, stream);
}

extern "C" size_t fwrite(const void* buffer, size_t size, size_t count, FILE* stream) {
  static const StreamCall next = Next("fwrite");
  const char* name = getenv("D88_FAIL_WRITES_TO");
  if (name != nullptr && stream != stdout && stream != stderr && IsNamed(stream, name)) {
    Swap(stream, open("/dev/full", O_WRONLY | O_CLOEXEC));
  }
  return next(const_cast<void*>(buffer), size, count, stream);
}
