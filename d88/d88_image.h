// Reader for D88 floppy-disk images.
//
// A D88 file is a run of disks laid end to end. Each disk starts with a
// 688-byte header (name, media type, size, a table of 164 track offsets);
// each track is a run of sector records, a 16-byte header followed by the
// sector's data. Sectors are found by the C/H/R/N identity recorded in their
// headers, not by their position.
#ifndef D88_D88_IMAGE_H_
#define D88_D88_IMAGE_H_

#include <cstdint>
#include <cstdio>

// Disk header layout.
constexpr int kDiskHeaderSize = 0x2B0;   // bytes before the first track
constexpr int kDiskNameLength = 16;      // at 0x00, NUL-padded
constexpr int kMediaTypeOffset = 0x1B;   // one byte
constexpr int kDiskSizeOffset = 0x1C;    // LE32, header included
constexpr int kTrackTableOffset = 0x20;  // kMaxTracks LE32 offsets from the disk's start
constexpr int kMaxTracks = 164;
constexpr int kMaxDisks = 64;

// Sector record header layout.
constexpr int kRecordHeaderSize = 16;
constexpr int kRecordCylinder = 0;     // C as recorded
constexpr int kRecordHead = 1;         // H
constexpr int kRecordSector = 2;       // R
constexpr int kRecordSizeCode = 3;     // N: the sector holds 128 << N bytes
constexpr int kRecordCount = 4;        // LE16, records in this track
constexpr int kRecordDataLength = 14;  // LE16, data bytes after this header

// The largest size code a run read takes: 128 << 23 still fits an int.
constexpr int kMaxRunSizeCode = 23;

// Little-endian fields, whatever the host's byte order.
uint16_t ReadLE16(const uint8_t* bytes);
// The 32 bits as a signed value: disk sizes and offsets above 2^31 - 1 come
// out negative, as the format's users have always read them.
int32_t ReadLE32(const uint8_t* bytes);

class D88Image {
 public:
  D88Image();
  ~D88Image();
  D88Image(const D88Image&) = delete;
  D88Image& operator=(const D88Image&) = delete;

  // With a path: opens the image (closing any earlier one) and counts its
  // disks. False when it cannot be opened or is not a readable file.
  // With nullptr: closes the image and returns true.
  bool Open(const char* path);
  int DiskCount() const { return diskCount; }
  // Makes disk `index` current and reads its header. On a bad index the
  // reader is left with no current disk and every sector read returns 0.
  bool SelectDisk(int index);
  // Up to 16 characters, always NUL-terminated.
  const char* DiskName() const { return name; }
  int MediaType() const { return mediaType; }
  // The R at which each track begins and ends in a run read.
  void SetSectorRange(int first, int last);

  // Copies the data of the first record of `track` whose C/H/R/N equal the
  // request, at most maxLength bytes. Returns the bytes stored, 0 if the
  // sector is not found.
  int ReadSector(int track, int c, int h, int r, int n, uint8_t* buffer, int maxLength);
  // Reads `length` bytes of consecutive sectors of size 128 << n, stepping
  // R from firstSector to lastSector, then on to the next head or cylinder.
  // Returns the bytes of the complete steps. A last sector that was found
  // but ran short is stored after them without being counted.
  int ReadSectors(int track, int c, int h, int r, int n, uint8_t* buffer, int length);
  // Stores C, H, R, N of the track's records, 4 bytes each, until the record
  // whose index is its own count - 1 or until `capacity` bytes are used.
  int ReadTrackIds(int track, uint8_t* out, int capacity);

  // Closes the image and returns every field to its state at construction.
  void Reset();

  FILE* file;
  int diskCount;
  int firstSector;
  int lastSector;
  int32_t diskOffsets[kMaxDisks];
  int32_t diskSize;
  int32_t diskBase;
  int32_t trackOffsets[kMaxTracks];
  int mediaType;
  char name[kDiskNameLength + 1];

 private:
  // Seeks to the start of `track`'s records; false if there is no such track.
  bool LocateTrack(int track);
  // Reads one record header; false at the end of the file.
  bool ReadRecordHeader(uint8_t* header);
  void CloseFile();
};

#endif  // D88_D88_IMAGE_H_
