// Images for the benchmarks: disks of uniform tracks for the reader's hot
// path, the recognised disk with a nearly full volume, and crafted layouts of
// the same disk that make every sector read scan as far as an image of at
// most 2 MiB allows.
#ifndef BENCH_BENCH_DISKS_H_
#define BENCH_BENCH_DISKS_H_

#include <cstdint>

#include "testing/d88_writer.h"

// The largest crafted image.
constexpr size_t kCraftedImageLimit = 2 * 1024 * 1024;

// Tracks 0-163, each of `sectors` records R1..R`sectors` of size code `n`,
// recorded as C = track / 2, H = track % 2.
Bytes UniformImage(int sectors, int n);

// The recognised disk: the raw areas and a volume whose files fill nearly
// every cluster the disk holds.
Bytes NormalImage();

struct CraftedLayout {
  const char* name;
  // Records between the starts of consecutive tracks; 0 puts every track at
  // the same record.
  int stride;
  // Data bytes of each filler record.
  uint16_t fillerData;
  // The sectors grouped by R, from R16 down to R1, the groups 65 KiB apart:
  // a run finds its first sector last, and the data of each one after it
  // lies far behind where the scan has got to.
  bool reversed;
};

// The sectors of NormalImage() behind as many non-matching filler records
// as fit in kCraftedImageLimit, all in one run that every track's offset
// points into. No count ends a scan: every read goes through the fillers
// and ends at its sector, or at the end of the file. Every sector the tool
// reads is still found, so it reads and writes exactly what it does on
// NormalImage().
Bytes CraftedImage(const CraftedLayout& layout);

struct InfoCraftedLayout {
  const char* name;
  // Disks in the image, each of an equal share of kCraftedImageLimit.
  int disks;
  // Records between the starts of consecutive tracks of a disk; 0 puts all
  // 164 at the same record.
  int stride;
};

// Images made to cost d88info the most: each disk one run of 16-byte
// records (no data, so each one's length disagrees with its N) whose counts
// never end a walk, and all 164 of its tracks pointing into that run, so
// that every walk goes on to the disk's end or to 65535 records.
Bytes InfoCraftedImage(const InfoCraftedLayout& layout);

#endif  // BENCH_BENCH_DISKS_H_
