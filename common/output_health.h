// Which of the files d88cut writes from a recognised disk are whole. The
// run's reads are made again, in the same order into the same places, so
// that each byte of each output is traced to the sector record it was read
// from, or found to hold what the work buffer held before. d88info reports
// it, and the page can draw it.
#ifndef COMMON_OUTPUT_HEALTH_H_
#define COMMON_OUTPUT_HEALTH_H_

#include <cstdint>

#include "common/checksums.h"
#include "common/disk_layout.h"
#include "common/recognition.h"
#include "common/volume_decoding.h"
#include "d88/d88_image.h"

// What may be wrong with an output; bits, in the order their names sort.
enum HealthProblem : unsigned {
  kBadSector = 1u << 0,    // bytes from a record with a non-zero status or a deleted-data mark
  kCrossLinked = 1u << 1,  // a cluster shared with another output written
  kNotFromDisk = 1u << 2,  // bytes not read for it: a missing or short sector, a run cut
                           // short, or clusters on tracks 3-8
  kShort = 1u << 3,        // the chain ends, leaves the volume or comes back before the size
};
constexpr int kHealthProblemKinds = 4;
// "bad-sector", "cross-linked", "not-from-disk", "short", by bit index.
const char* HealthProblemName(int index);

// What a sector record holds for d88cut.
enum class SectorRole { kUnused, kSignature, kMain, kDemo, kFat, kDirectory, kFile };
// "unused", "signature", "main", "demo", "fat", "directory", "file".
const char* SectorRoleName(SectorRole role);

// kUnread: a sector a run needs after the one that cut it short, which no
// run reaches, whether or not the image holds its record.
enum class SectorState { kOk, kShort, kBad, kDeleted, kMissing, kUnread };
// "ok", "short", "bad", "deleted", "missing", "unread".
const char* SectorStateName(SectorState state);
// A record's state from its header: short when its data is shorter than N
// says, else bad for a non-zero status, else deleted for a deleted-data
// mark, else ok. (The end of the image can make a sector short as well.)
SectorState StateOfRecord(const uint8_t* header);

// One sector the run reads, one it needs and does not find, or one it needs
// after a read that stopped and so never reaches.
struct HealthSector {
  int track;
  uint8_t c, h, r, n;
  SectorRole role;
  SectorState state;
  uint8_t status, deleted;  // as recorded; 0 for a missing sector
  int64_t at;               // file offset of its record header; -1 when the image lacks it
  int output;               // the first output holding bytes read from it, or that would
                            // have held its bytes had the run read it; -1 if none
};

constexpr int kMaxHealthOutputs = 2 + kRootEntries;
constexpr int kMaxHealthSectors = 1024;
constexpr int kHealthDetailsBytes = 1024;

struct OutputHealth {
  char name[kFileNameBytes];  // the name's bytes as written, NUL-terminated
  int32_t size;               // the bytes written
  int32_t recordedSize;       // the directory's size for a volume file; else `size`
  bool volumeFile;
  unsigned problems;  // HealthProblem bits; 0 when intact
  // A later output of the run is the same file here (IsSameOutputFile) and
  // so takes its place; its health is judged all the same.
  bool replaced;
  // In words, the sectors or clusters that make it damaged, such as "not
  // from the disk: C1 H1 R5 missing". Shift_JIS: it can hold other outputs'
  // names. Empty when intact.
  char details[kHealthDetailsBytes];
  // The checksums of the bytes d88cut writes for it, damaged or not.
  uint32_t crc32;
  uint8_t sha1[kSha1Bytes];
};

struct DiskHealth {
  Recognition recognition;
  // For a recognised disk: the outputs in the order d88cut writes them in
  // an empty folder on Linux, and the sectors it reads or needs.
  int outputs;
  OutputHealth output[kMaxHealthOutputs];
  int sectors;
  HealthSector sector[kMaxHealthSectors];
  // Directory entries d88cut lists and does not enter, NUL-separated names.
  int directories;
  char directoryNames[kRootEntries][kFileNameBytes];
};

// Judges the open `image` as d88cut would run on it: selects its first disk,
// recognises it and, when recognised, replays the run's reads. The reader's
// sector range is left as the run leaves it. `health` is large: keep it
// static.
void JudgeOutputs(D88Image& image, DiskHealth* health);

#endif  // COMMON_OUTPUT_HEALTH_H_
