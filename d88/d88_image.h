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

#include "platform/platform.h"

// Disk header layout.
constexpr int kDiskHeaderSize = 0x2B0;     // bytes before the first track
constexpr int kDiskNameLength = 16;        // at 0x00, NUL-padded
constexpr int kWriteProtectOffset = 0x1A;  // one byte: 0x10 write-protected, 0x00 not
constexpr int kMediaTypeOffset = 0x1B;     // one byte: 0x00 2D, 0x10 2DD, 0x20 2HD
constexpr int kDiskSizeOffset = 0x1C;      // LE32, header included
constexpr int kTrackTableOffset = 0x20;    // kMaxTracks LE32 offsets from the disk's start
constexpr int kMaxTracks = 164;
constexpr int kMaxDisks = 64;

// Sector record header layout.
constexpr int kRecordHeaderSize = 16;
constexpr int kRecordCylinder = 0;     // C as recorded
constexpr int kRecordHead = 1;         // H
constexpr int kRecordSector = 2;       // R
constexpr int kRecordSizeCode = 3;     // N: the sector holds 128 << N bytes
constexpr int kRecordCount = 4;        // LE16, records in this track
constexpr int kRecordDensity = 6;      // 0x00 double density, 0x40 single
constexpr int kRecordDeleted = 7;      // 0x10: the sector holds deleted data
constexpr int kRecordStatus = 8;       // the controller's status on reading it; 0 normal
constexpr int kRecordDataLength = 14;  // LE16, data bytes after this header

// The largest size code a run read takes: 128 << 23 still fits an int.
constexpr int kMaxRunSizeCode = 23;

// Where a walk over a track's records has got: the records a sector read
// visits, in its order (see D88Image::NextRecord).
struct RecordWalk {
  int64_t next;   // file offset of the next record's header
  int64_t index;  // that record's index from the track's start
  bool ended;     // a count of 0, an index of count - 1 or the end of the file
};

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
  // disks. False when it cannot be opened or is not a readable regular file;
  // OpenError() then tells why. With nullptr: closes the image and returns
  // true.
  bool Open(const char* path);
  // Why the last Open with a path failed, in the system's terms; 0 after one
  // that succeeded.
  SystemError OpenError() const { return openError; }
  // Whether a read of the open image has failed with an error, rather than
  // at the end of the file. From that read on, the reader reads nothing
  // more: every sector read returns 0 and every walk ends, until the next
  // Open. ReadError() tells why, in the system's terms.
  bool ReadFailed() const { return readError != 0; }
  SystemError ReadError() const { return readError; }
  int DiskCount() const { return diskCount; }
  // Makes disk `index` current and reads its header. On a bad index the
  // reader is left with no current disk and every sector read returns 0.
  bool SelectDisk(int index);
  // Up to 16 characters, always NUL-terminated.
  const char* DiskName() const { return name; }
  int MediaType() const { return mediaType; }
  // The current disk's write-protect byte; -1 when there is no current disk.
  int WriteProtection() const { return writeProtection; }
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
  // Moves a run read's place on by one sector, as ReadSectors steps: the
  // next R, or from lastSector to firstSector of the next head or cylinder.
  void StepRun(int* track, int* c, int* h, int* r) const;
  // The record that ReadSector(track, c, h, r, n, ...) reads: its header
  // (kRecordHeaderSize bytes) copied into `header` and its file offset into
  // `at`. False when ReadSector finds no such sector.
  bool FindSector(int track, int c, int h, int r, int n, uint8_t* header, int64_t* at);

  // Starts a walk at the first record of the current disk's `track`; false
  // when a sector read finds no such track (an offset of 0 or less, or past
  // the disk's size).
  bool StartRecordWalk(int track, RecordWalk* walk) const;
  // Copies the walk's next record header (kRecordHeaderSize bytes) into
  // `header`, and its file offset into `at`, and moves the walk past the
  // record: the records a sector read visits, in the same order and with the
  // same ends. False, copying nothing, when the walk has ended: at a count
  // of 0 (that record is not given), after the record whose index is its own
  // count - 1, or where the file cannot hold a whole header. Each call moves
  // the walk on by 16 bytes at least, so the end of the file always ends it.
  bool NextRecord(RecordWalk* walk, uint8_t* header, int64_t* at);

  // Copies up to `length` bytes of the image from file offset `at` into
  // `out`; returns how many the file holds there, 0 once a read has failed.
  int ReadBytes(int64_t at, uint8_t* out, int length) { return ReadAt(at, out, length); }

  // Closes the image and returns every field to its state at construction.
  void Reset();

  // What the reader holds, for callers that look but do not touch.
  bool IsOpen() const { return file != nullptr; }
  // The open image's stream; nullptr when closed.
  FILE* ImageStream() const { return file; }
  // Which file the open image is, so that nothing is written over it; false
  // when no image is open or the system cannot tell.
  bool IdentifyImage(FileIdentity* identity) const;
  // The file offset of disk `index` as counted by Open; 0 outside 0-63.
  int32_t DiskOffset(int index) const;
  // The current disk's size field and file offset: 0 and 0 before any
  // selection, 0 and -1 after a selection that failed on its index.
  int32_t DiskSize() const { return diskSize; }
  int32_t DiskBase() const { return diskBase; }
  // The current disk's offset of `track` from the disk's start; 0 outside
  // 0-163.
  int32_t TrackOffset(int track) const;
  int FirstSector() const { return firstSector; }
  int LastSector() const { return lastSector; }

 private:
  FILE* file;
  int diskCount;
  int firstSector;
  int lastSector;
  int32_t diskOffsets[kMaxDisks];
  int32_t diskSize;
  int32_t diskBase;
  int32_t trackOffsets[kMaxTracks];
  int mediaType;
  int writeProtection;
  char name[kDiskNameLength + 1];
  SystemError openError;
  SystemError readError;

  // The image's bytes are read a window at a time: record headers and sector
  // data are taken from the window, which moves only when a read leaves it.
  // The reader takes the image to stay as it is while it is open; Open,
  // SelectDisk, closing and Reset forget the window and the scan below.
  static constexpr int kWindowBytes = 64 * 1024;

  // How far the last scan of a track for sectors of one C, H and N has got,
  // and the first record of each R that it has passed. A scan goes only as
  // far as a read needs, and the next read of the same track, C, H and N
  // goes on from there: a run of reads over a track visits each of its
  // records once, however far its counts carry the scan.
  struct TrackScan {
    bool valid;
    FILE* file;
    int64_t start;  // file offset of the track's first record
    int c, h, n;
    RecordWalk walk;      // the next record to visit
    int64_t dataAt[256];  // by R: file offset of the first match's data; -1 if none yet
    uint16_t dataLength[256];
  };

  // The file offset of `track`'s first record; false if there is no such track.
  bool LocateTrack(int track, int64_t* start) const;
  // Copies up to `length` bytes from file offset `at`; returns how many the
  // file holds there (0 once a read has failed).
  int ReadAt(int64_t at, uint8_t* out, int length);
  // Reads up to `length` bytes at the file's position, noting a read that
  // fails; 0 once one has.
  size_t ReadFile(uint8_t* out, size_t length);
  // The 16-byte record header at `at`: in the window, or copied into
  // `copy`; nullptr if the file ends before it does.
  const uint8_t* RecordHeaderAt(int64_t at, uint8_t* copy);
  // The header of `walk`'s next record, in the window or copied into
  // `copy`, moving the walk past the record; nullptr once the walk has ended.
  const uint8_t* StepRecord(RecordWalk& walk, uint8_t* copy);
  // Reads the next record of `scan`, noting it if it is the first of its R.
  void VisitRecord(TrackScan& scan);
  // Where the data of the sector that ReadSector reads lies, and its
  // recorded length; false when there is no such sector.
  bool LocateSector(int track, int c, int h, int r, int n, int64_t* dataAt, int* dataLength);
  void ForgetImageBytes();
  void CloseFile();

  uint8_t window[kWindowBytes];
  FILE* windowFile;
  int64_t windowStart;
  int windowLength;
  bool windowAtEnd;  // the window reaches the end of the file
  TrackScan scan;
};

#endif  // D88_D88_IMAGE_H_
