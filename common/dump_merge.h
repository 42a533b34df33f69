// Makes one D88 image out of several dumps of the same disks, sector by
// sector: a good copy of a sector beats a bad one, two good copies that
// differ are reported and never voted away, and a bad copy is never made to
// look good. The merge is exact, so that it can be repeated and checked
// byte for byte. It reads every dump through D88Image, writes the merged
// image a track at a time through the caller's sink and never prints;
// d88merge and the page both run it.
//
// The rules, in short:
// - The output has dump 1's disks, for as long as its disk table has them
//   and each header is plausible (CheckDiskHeader); another dump's disk i
//   takes part when it has one and it is plausible.
// - A track entry names a track when its offset o has 672 <= o < the disk's
//   size (for entries 160-163 the header must also have room for them).
// - A track's walk reads records as a sector read does, kept within the
//   disk and the file. The first record of each C/H/R/N is that dump's copy
//   of the sector; later ones are shadowed.
// - A copy is good when its status and deleted-data bytes are 0, its length
//   is 128 << N and all of it lies in the disk and the file.
// - Each sector takes the first good copy in dump order, else the first
//   copy. One that is good only in a later dump is recovered; one good
//   nowhere is unrecovered; good copies that differ are a conflict.
// - The merged track is the walk of the first dump that has the track, each
//   sector's first record replaced by its chosen copy, then the sectors that
//   walk lacks, in the order the other dumps first hold them.
#ifndef COMMON_DUMP_MERGE_H_
#define COMMON_DUMP_MERGE_H_

#include <cstddef>
#include <cstdint>

#include "common/recognition.h"
#include "d88/d88_image.h"

// The most dumps one merge takes: whose holds a good copy is a bit each.
constexpr int kMaxDumps = 32;
// The most records a merged track may have: its count field is 16 bits.
constexpr int kMaxMergedRecords = 65535;
// The most bytes a merged image may have: the format's sizes and offsets
// are signed 32-bit fields.
constexpr int64_t kMaxMergedImageBytes = INT32_MAX;

// One sector of a merged track that the report names: recovered, in
// conflict, or unrecovered (recovered and in conflict both, when the first
// dump has no good copy and the others' good copies differ). Dumps are
// numbered from 0 here.
struct MergedSector {
  int disk;   // from 0
  int track;  // 0-163
  uint8_t c, h, r, n;
  int from;          // the dump whose copy the merged track holds
  bool recovered;    // good, and from a dump other than the first
  bool conflict;     // two or more good copies whose data differ
  bool unrecovered;  // no dump holds a good copy
  uint32_t goodIn;   // bit d: dump d holds a good copy
};

// What a disk of the merged image came to.
struct MergedDisk {
  int disk;         // from 0
  int64_t sectors;  // sectors of its tracks, a sector in two tracks twice
  int64_t recovered, conflicts, unrecovered;
  int64_t bytes;  // its size, header included
};

// Where the merge puts what it makes. Every function must be given; the
// merge calls them in order: each disk's sectors in track order, then in
// merged-track order, then the disk's counts.
struct MergeSink {
  void* context;
  // Writes `length` bytes at `offset` of the merged image. Writes come in
  // order of their offsets, except each disk's header, which is written
  // once its tracks are. False when they cannot be written: the merge stops.
  bool (*write)(void* context, int64_t offset, const uint8_t* bytes, size_t length);
  void (*sector)(void* context, const MergedSector& sector);
  void (*disk)(void* context, const MergedDisk& disk);
};

enum class MergeEnd {
  kMerged,          // the whole image was written
  kNotD88,          // `dump`'s first disk is not plausible (`fault`, `faultValue`)
  kReadFailed,      // a read of `dump` failed (see D88Image::ReadError)
  kDumpChanged,     // `dump` holds fewer bytes than it did when opened
  kTooManyRecords,  // `track` of `disk` would hold more than kMaxMergedRecords
  kTooLarge,        // with `disk` the image would pass kMaxMergedImageBytes
  kWriteFailed,     // the sink's write failed
};

struct MergeResult {
  MergeEnd end;
  int dump;  // from 0
  int disk;  // from 0
  int track;
  HeaderFault fault;
  uint32_t faultValue;
  int disks;      // the disks written
  int64_t bytes;  // the merged image's size
};

// Merges the `count` dumps (2 to kMaxDumps, each open, dump 0 the first)
// into the image that the sink's write is given. `sizes` holds each dump's
// size in bytes. Before anything reaches the sink, every dump's first disk
// is checked: kNotD88 for the first that is not plausible. Any other end
// but kMerged may come after part of the image and report; the caller
// throws that away.
MergeResult MergeDumps(D88Image* const* dumps, const int64_t* sizes, int count,
                       const MergeSink& sink);

#endif  // COMMON_DUMP_MERGE_H_
