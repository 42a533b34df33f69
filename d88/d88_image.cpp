#include "d88/d88_image.h"

#include <algorithm>
#include <cstring>

uint16_t ReadLE16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

int32_t ReadLE32(const uint8_t* bytes) {
  const uint32_t value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                         (static_cast<uint32_t>(bytes[2]) << 16) |
                         (static_cast<uint32_t>(bytes[3]) << 24);
  if (value <= 0x7FFFFFFFu) {
    return static_cast<int32_t>(value);
  }
  return -static_cast<int32_t>(~value) - 1;
}

D88Image::D88Image() : file(nullptr) {
  Reset();
}

D88Image::~D88Image() {
  CloseFile();
}

void D88Image::Reset() {
  CloseFile();
  diskCount = 0;
  firstSector = 1;
  lastSector = 16;
  std::fill(diskOffsets, diskOffsets + kMaxDisks, 0);
  diskSize = 0;
  diskBase = 0;
  std::fill(trackOffsets, trackOffsets + kMaxTracks, 0);
  mediaType = -1;
  writeProtection = -1;
  std::fill(name, name + kDiskNameLength + 1, '\0');
  openError = 0;
  readError = 0;
}

void D88Image::CloseFile() {
  if (file != nullptr) {
    fclose(file);
    file = nullptr;
  }
  ForgetImageBytes();
}

void D88Image::ForgetImageBytes() {
  windowFile = nullptr;
  windowStart = 0;
  windowLength = 0;
  windowAtEnd = false;
  scan.valid = false;
}

bool D88Image::Open(const char* path) {
  CloseFile();
  diskCount = 0;
  mediaType = -1;
  openError = 0;
  readError = 0;
  if (path == nullptr) {
    return true;
  }

  file = OpenImageFile(path, &openError);
  if (file == nullptr) {
    return false;
  }
  // The reader keeps its own window of the image; a stream buffer would only
  // split each of its reads in two.
  setvbuf(file, nullptr, _IONBF, 0);

  // Walk the disks by their size fields. A disk whose header is whole is
  // counted; a size that is negative or would carry the next disk's offset
  // past 2^31 - 1 ends the walk after it.
  int64_t total = 0;
  uint8_t header[kDiskHeaderSize];
  while (diskCount < kMaxDisks) {
    diskOffsets[diskCount] = static_cast<int32_t>(total);
    if (!SeekFile(file, total) || ReadFile(header, kDiskHeaderSize) != kDiskHeaderSize) {
      break;
    }
    const int32_t size = ReadLE32(header + kDiskSizeOffset);
    ++diskCount;
    if (size < 0 || total + size > INT32_MAX) {
      break;
    }
    total += size;
  }
  return true;
}

bool D88Image::SelectDisk(int index) {
  if (file == nullptr) {
    return false;
  }
  ForgetImageBytes();
  diskBase = -1;
  mediaType = -1;
  writeProtection = -1;
  diskSize = 0;
  name[0] = '\0';
  if (index < 0 || index >= diskCount) {
    return false;
  }

  diskBase = diskOffsets[index];
  uint8_t header[kDiskHeaderSize] = {};
  if (SeekFile(file, diskBase)) {
    // A header that was whole when the disks were counted; should the file
    // have shrunk since, the missing bytes read as zeros.
    (void)ReadFile(header, kDiskHeaderSize);
  }
  for (int i = 0; i < kMaxTracks; ++i) {
    trackOffsets[i] = ReadLE32(header + kTrackTableOffset + 4 * i);
  }
  mediaType = header[kMediaTypeOffset];
  writeProtection = header[kWriteProtectOffset];
  diskSize = ReadLE32(header + kDiskSizeOffset);
  const char* recorded = reinterpret_cast<const char*>(header);
  const size_t length = strnlen(recorded, kDiskNameLength);
  std::fill(name, name + kDiskNameLength + 1, '\0');
  memcpy(name, recorded, length);
  return true;
}

bool D88Image::IdentifyImage(FileIdentity* identity) const {
  return file != nullptr && IdentifyOpenFile(file, identity);
}

int32_t D88Image::DiskOffset(int index) const {
  return index >= 0 && index < kMaxDisks ? diskOffsets[index] : 0;
}

int32_t D88Image::TrackOffset(int track) const {
  return track >= 0 && track < kMaxTracks ? trackOffsets[track] : 0;
}

void D88Image::SetSectorRange(int first, int last) {
  firstSector = first;
  lastSector = last;
}

bool D88Image::LocateTrack(int track, int64_t* start) const {
  if (file == nullptr || track < 0 || track >= kMaxTracks) {
    return false;
  }
  const int32_t offset = trackOffsets[track];
  if (offset <= 0 || offset > diskSize) {
    return false;
  }
  *start = static_cast<int64_t>(diskBase) + offset;
  return true;
}

size_t D88Image::ReadFile(uint8_t* out, size_t length) {
  if (readError != 0) {
    return 0;
  }
  const size_t got = ReadFromFile(file, out, length, &readError);
  if (readError != 0) {
    ForgetImageBytes();  // nothing more is taken from the image, not even what was read
    return 0;
  }
  return got;
}

int D88Image::ReadAt(int64_t at, uint8_t* out, int length) {
  int delivered = 0;
  while (delivered < length) {
    const int64_t windowEnd = windowStart + windowLength;
    if (windowFile != file || at < windowStart || at >= windowEnd) {
      if (windowFile == file && windowAtEnd && at >= windowEnd) {
        break;  // past the end of the file
      }
      // A read that brings nothing, at or past the end of the file, leaves
      // the window as it was.
      if (!SeekFile(file, at)) {
        break;
      }
      const size_t got = ReadFile(window, kWindowBytes);
      if (got == 0) {
        break;
      }
      windowFile = file;
      windowStart = at;
      windowLength = static_cast<int>(got);
      windowAtEnd = got < static_cast<size_t>(kWindowBytes);
    }
    const int64_t offset = at - windowStart;
    const int take = static_cast<int>(std::min<int64_t>(length - delivered, windowLength - offset));
    memcpy(out + delivered, window + offset, static_cast<size_t>(take));
    delivered += take;
    at += take;
  }
  return delivered;
}

const uint8_t* D88Image::RecordHeaderAt(int64_t at, uint8_t* copy) {
  const int64_t offset = at - windowStart;
  if (windowFile == file && offset >= 0 && offset <= windowLength - kRecordHeaderSize) {
    return window + offset;
  }
  return ReadAt(at, copy, kRecordHeaderSize) == kRecordHeaderSize ? copy : nullptr;
}

const uint8_t* D88Image::StepRecord(RecordWalk& walk, uint8_t* copy) {
  if (walk.ended) {
    return nullptr;
  }
  const uint8_t* header = RecordHeaderAt(walk.next, copy);
  if (header == nullptr) {
    walk.ended = true;  // the end of the file
    return nullptr;
  }
  const int count = ReadLE16(header + kRecordCount);
  if (count == 0) {
    walk.ended = true;  // before its identity is looked at
    return nullptr;
  }
  walk.next += kRecordHeaderSize + ReadLE16(header + kRecordDataLength);
  if (walk.index == count - 1) {
    walk.ended = true;  // after its identity is looked at
  } else {
    ++walk.index;
  }
  return header;
}

void D88Image::VisitRecord(TrackScan& track) {
  uint8_t copy[kRecordHeaderSize];
  const int64_t at = track.walk.next;
  const uint8_t* header = StepRecord(track.walk, copy);
  if (header == nullptr) {
    return;
  }
  const int r = header[kRecordSector];
  if (header[kRecordCylinder] == track.c && header[kRecordHead] == track.h &&
      header[kRecordSizeCode] == track.n && track.dataAt[r] < 0) {
    track.dataAt[r] = at + kRecordHeaderSize;
    track.dataLength[r] = ReadLE16(header + kRecordDataLength);
  }
}

bool D88Image::LocateSector(int track, int c, int h, int r, int n, int64_t* dataAt,
                            int* dataLength) {
  int64_t start;
  if (!LocateTrack(track, &start)) {
    return false;
  }
  // Recorded identities are bytes: no record matches anything else.
  if (c < 0 || c > 255 || h < 0 || h > 255 || r < 0 || r > 255 || n < 0 || n > 255) {
    return false;
  }
  // The scan follows the records from the track's start; the first record
  // with the identity wins. A count of 0 ends it before the identity is
  // looked at, an index of count - 1 after. Counts that disagree can carry it
  // past its track; the end of the file always stops it, since each record
  // moves it on by 16 bytes at least.
  if (!scan.valid || scan.file != file || scan.start != start || scan.c != c || scan.h != h ||
      scan.n != n) {
    scan.valid = true;
    scan.file = file;
    scan.start = start;
    scan.c = c;
    scan.h = h;
    scan.n = n;
    scan.walk = RecordWalk{start, 0, false};
    std::fill(scan.dataAt, scan.dataAt + 256, -1);
  }
  while (scan.dataAt[r] < 0 && !scan.walk.ended) {
    VisitRecord(scan);
  }
  if (scan.dataAt[r] < 0) {
    return false;
  }
  *dataAt = scan.dataAt[r];
  *dataLength = scan.dataLength[r];
  return true;
}

int D88Image::ReadSector(int track, int c, int h, int r, int n, uint8_t* buffer, int maxLength) {
  int64_t dataAt;
  int dataLength;
  if (!LocateSector(track, c, h, r, n, &dataAt, &dataLength)) {
    return 0;
  }
  const int wanted = std::min(dataLength, std::max(maxLength, 0));
  if (wanted == 0) {
    return 0;
  }
  // A sector cut off by the end of the file gives what is there.
  return ReadAt(dataAt, buffer, wanted);
}

bool D88Image::FindSector(int track, int c, int h, int r, int n, uint8_t* header, int64_t* at) {
  int64_t dataAt;
  int dataLength;
  if (!LocateSector(track, c, h, r, n, &dataAt, &dataLength)) {
    return false;
  }
  *at = dataAt - kRecordHeaderSize;
  return ReadAt(*at, header, kRecordHeaderSize) == kRecordHeaderSize;
}

void D88Image::StepRun(int* track, int* c, int* h, int* r) const {
  // A read only succeeds for C, H, R below 256 and a track below 164, so
  // none of these steps can overflow.
  if (*r == lastSector) {
    ++*track;
    if (*h == 0) {
      *h = 1;
    } else {
      *h = 0;
      ++*c;
    }
    *r = firstSector;
  } else {
    ++*r;
  }
}

int D88Image::ReadSectors(int track, int c, int h, int r, int n, uint8_t* buffer, int length) {
  if (n < 0 || n > kMaxRunSizeCode || length <= 0) {
    return 0;
  }
  const int size = 128 << n;
  int total = 0;
  while (total < length) {
    const int chunk = std::min(size, length - total);
    if (ReadSector(track, c, h, r, n, buffer + total, chunk) < chunk) {
      return total;
    }
    total += chunk;
    StepRun(&track, &c, &h, &r);
  }
  return total;
}

bool D88Image::StartRecordWalk(int track, RecordWalk* walk) const {
  int64_t start;
  if (!LocateTrack(track, &start)) {
    return false;
  }
  *walk = RecordWalk{start, 0, false};
  return true;
}

bool D88Image::NextRecord(RecordWalk* walk, uint8_t* header, int64_t* at) {
  if (file == nullptr) {
    walk->ended = true;
    return false;
  }
  uint8_t copy[kRecordHeaderSize];
  const int64_t place = walk->next;
  const uint8_t* found = StepRecord(*walk, copy);
  if (found == nullptr) {
    return false;
  }
  memcpy(header, found, kRecordHeaderSize);
  *at = place;
  return true;
}
