// Fuzzes the D88 reader: each input is an image followed by a trailer of
// call parameters (fuzz/reader_input.h). The image is written to a file and
// a fresh D88Image opens it, selects a disk and reads with those parameters.
// Every buffer has exactly the size the call is given, so AddressSanitizer
// sees any byte stored past it; the results are checked against what each
// operation promises.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "d88/d88_image.h"
#include "fuzz/reader_input.h"

namespace {

std::string imagePath;
std::string imageFolder;

void RemoveImageFolder() {
  unlink(imagePath.c_str());
  rmdir(imageFolder.c_str());
}

[[noreturn]] void Fail(const char* what, long value) {
  fprintf(stderr, "d88_reader_fuzzer: %s (%ld)\n", what, value);
  abort();
}

bool WriteImage(const uint8_t* data, size_t size) {
  FILE* file = fopen(imagePath.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  const bool written = fwrite(data, 1, size, file) == size;
  return fclose(file) == 0 && written;
}

// A buffer of exactly `length` bytes (none for a negative length).
std::unique_ptr<uint8_t[]> Buffer(int length) {
  return std::unique_ptr<uint8_t[]>(new uint8_t[length > 0 ? length : 0]);
}

// Runs the two reads and the record walk; with `mustBeEmpty` every one must
// come back empty.
void ReadAll(D88Image& image, const ReaderCalls& calls, bool mustBeEmpty) {
  auto sector = Buffer(calls.maxLength);
  const int got = image.ReadSector(calls.track, calls.c, calls.h, calls.r, calls.n, sector.get(),
                                   calls.maxLength);
  if (got < 0 || got > std::max(calls.maxLength, 0) || got > 0xFFFF) {
    Fail("ReadSector stored more than it may", got);
  }

  auto run = Buffer(calls.runLength);
  const int total = image.ReadSectors(calls.runTrack, calls.runC, calls.runH, calls.runR,
                                      calls.runN, run.get(), calls.runLength);
  if (total < 0 || total > std::max(calls.runLength, 0)) {
    Fail("ReadSectors counted more than it was asked", total);
  }

  int listed = 0;
  RecordWalk walk;
  if (image.StartRecordWalk(calls.walkTrack, &walk)) {
    uint8_t header[kRecordHeaderSize];
    int64_t at = 0;
    int64_t previous = -1;
    while (listed < calls.walkRecords && image.NextRecord(&walk, header, &at)) {
      if (at <= previous) {
        Fail("a record walk went back", static_cast<int>(at));
      }
      previous = at;
      ++listed;
    }
  }

  if (mustBeEmpty && (got != 0 || total != 0 || listed != 0)) {
    Fail("a reader without a disk read something", got + total + listed);
  }
}

void CheckDisk(const D88Image& image) {
  if (image.DiskCount() < 0 || image.DiskCount() > kMaxDisks) {
    Fail("disk count out of range", image.DiskCount());
  }
  if (image.DiskName()[kDiskNameLength] != '\0') {
    Fail("disk name not terminated", kDiskNameLength);
  }
  if (image.MediaType() < -1 || image.MediaType() > 255) {
    Fail("media type out of range", image.MediaType());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/d88-reader-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    perror("d88_reader_fuzzer: mkdtemp");
    abort();
  }
  imageFolder = pattern;
  imagePath = imageFolder + "/image.d88";
  atexit(RemoveImageFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t trailer[kReaderTrailerBytes] = {};
  const size_t trailerBytes = std::min(size, kReaderTrailerBytes);
  const size_t imageBytes = size - trailerBytes;
  memcpy(trailer + (kReaderTrailerBytes - trailerBytes), data + imageBytes, trailerBytes);
  const ReaderCalls calls = DecodeReaderTrailer(trailer);
  if (!WriteImage(data, imageBytes)) {
    Fail("cannot write the image file", static_cast<long>(imageBytes));
  }

  auto image = std::make_unique<D88Image>();
  // Before any Open nothing can be read.
  ReadAll(*image, calls, true);
  if (!image->Open(imagePath.c_str())) {
    Fail("cannot open the image file", 0);
  }
  if ((calls.flags & kReopenFirst) && !image->Open(imagePath.c_str())) {
    Fail("cannot open the image file again", 0);
  }
  CheckDisk(*image);
  // A disk that cannot be selected leaves nothing to read.
  bool selected = image->SelectDisk(calls.disk);
  CheckDisk(*image);
  image->SetSectorRange(calls.firstSector, calls.lastSector);
  ReadAll(*image, calls, !selected);
  if (calls.flags & kSecondDisk) {
    selected = image->SelectDisk(calls.secondDisk);
    CheckDisk(*image);
    ReadAll(*image, calls, !selected);
  }
  if (calls.flags & kCloseAndRead) {
    image->Open(nullptr);
    ReadAll(*image, calls, true);
  }
  return 0;
}
