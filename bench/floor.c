/* The least work any extractor of the image must do, for bench/compare.sh:
 *
 *   floor IMAGE LISTING_BYTES [NAME SIZE MTIME]...
 *
 * reads IMAGE in one read, then for each NAME creates it in the current
 * folder, writes SIZE bytes to it in one write (taken from the image, any
 * bytes do), closes it and sets its times to MTIME (seconds since 1970;
 * "-" leaves them as they are), and
 * last writes LISTING_BYTES bytes to standard output in one write. Plain C
 * and linked statically, so that no start-up work stands between the
 * process and these system calls. Exits 1 with a message if any of them
 * fails or comes up short. */
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* Large enough for any image compare.sh makes and any one output. */
#define FLOOR_BUFFER_BYTES (4 * 1024 * 1024)

static unsigned char image[FLOOR_BUFFER_BYTES];

static int Fail(const char* what, const char* name) {
  static const char prefix[] = "floor: cannot ";
  (void)!write(2, prefix, sizeof prefix - 1);
  (void)!write(2, what, strlen(what));
  (void)!write(2, " ", 1);
  (void)!write(2, name, strlen(name));
  (void)!write(2, "\n", 1);
  return 1;
}

/* A decimal count that fits the buffer, or -1. */
static long Count(const char* text) {
  char* end;
  const long value = strtol(text, &end, 10);
  return *text == '\0' || *end != '\0' || value < 0 || value > FLOOR_BUFFER_BYTES ? -1 : value;
}

int main(int argc, char** argv) {
  if (argc < 3 || (argc - 3) % 3 != 0) {
    return Fail("run: usage", "floor IMAGE LISTING_BYTES [NAME SIZE MTIME]...");
  }
  const int in = open(argv[1], O_RDONLY);
  if (in < 0) {
    return Fail("open", argv[1]);
  }
  const ssize_t imageBytes = read(in, image, sizeof image);
  if (imageBytes <= 0 || close(in) != 0) {
    return Fail("read", argv[1]);
  }

  for (int i = 3; i < argc; i += 3) {
    const char* name = argv[i];
    const long size = Count(argv[i + 1]);
    if (size < 0) {
      return Fail("take size", argv[i + 1]);
    }
    const int setTimes = strcmp(argv[i + 2], "-") != 0;
    struct timespec times[2];
    times[0].tv_sec = (time_t)strtoll(argv[i + 2], NULL, 10);
    times[0].tv_nsec = 0;
    times[1] = times[0];

    const int out = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0) {
      return Fail("create", name);
    }
    if (write(out, image, (size_t)size) != size) {
      return Fail("write", name);
    }
    if (close(out) != 0) {
      return Fail("close", name);
    }
    if (setTimes && utimensat(AT_FDCWD, name, times, 0) != 0) {
      return Fail("set the times of", name);
    }
  }

  const long listingBytes = Count(argv[2]);
  if (listingBytes < 0 || write(1, image, (size_t)listingBytes) != listingBytes) {
    return Fail("write the listing of", argv[1]);
  }
  return 0;
}
