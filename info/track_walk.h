// What d88info learns of a disk's tracks: each track's records as a sector
// read visits them, bounded so that no image can make the walk costly, and
// the layout the records make.
#ifndef INFO_TRACK_WALK_H_
#define INFO_TRACK_WALK_H_

#include <cstdint>

#include "d88/d88_image.h"

// The most records a track is walked for. A count is at most 65535 and a
// sector read's scan ends only at index count - 1, so counts that have not
// ended a walk by then never will: it would run on to the end of the file.
constexpr int kMaxTrackRecords = 65535;

// One record of a track, as its header records it.
struct TrackRecord {
  uint8_t c, h, r, n;
  uint8_t density;  // 0x00 double, 0x40 single
  uint8_t deleted;  // 0x10: deleted data
  uint8_t status;   // the controller's status; 0 normal
  uint16_t length;  // the data bytes that follow the header
};

// Where a track's recorded offset puts it.
enum class TrackPlace {
  kAbsent,    // offset 0: the disk has no such track
  kOutside,   // negative or past the disk's size: no sector read reaches it
  kInHeader,  // inside the disk's own header, where sector reads still go
  kInside,
  kPastImage,  // inside the disk, but the image ends before it
};

// Why a walk stopped.
enum class WalkEnd {
  kCounts,       // as a sector read's scan stops: a count of 0, or the record
                 // whose index is its count - 1
  kDiskEnd,      // the next record would run past the disk's end; not taken
  kImageEnd,     // the file ends inside the track
  kRecordLimit,  // as many records taken as the walk may take, and the counts
                 // have not ended it
};

struct TrackWalk {
  int32_t offset;  // as recorded, from the disk's start
  TrackPlace place;
  int records;    // taken into the caller's array, in the order walked
  int64_t start;  // the file offset of the first record
  int64_t end;    // the file offset just past the last record taken
  WalkEnd ended;
  // kDiskEnd: whether a record that runs past the disk's end was found
  // (`past` is its header), or the walk only got to the disk's end.
  bool pastRecordFound;
  TrackRecord past;
  // kImageEnd: whether the last record taken holds less data in the file
  // than its length says (then `cutShortBy` bytes less).
  int64_t cutShortBy;
};

// Walks `track` of `image`'s current disk as a sector read would, taking its
// records into `records`, which holds kMaxTrackRecords. The walk stops as a
// sector read's scan does, and also at the disk's end and after
// `maxRecords` (at most kMaxTrackRecords), so that it reads no more than
// the disk's bytes once. `imageSize` is the file's size. A read of the image
// that fails ends the walk (see D88Image::ReadFailed).
TrackWalk WalkTrack(D88Image& image, int track, int64_t imageSize, TrackRecord* records,
                    int maxRecords = kMaxTrackRecords);

// Records in a row of one size code and density whose R goes up by one.
struct SectorRange {
  uint8_t firstR, lastR, n, density;
};

// The layout of a track: its records as ranges of R, in the order walked.
constexpr int kMaxLayoutRanges = 32;
struct TrackLayout {
  int records;
  int ranges;
  SectorRange range[kMaxLayoutRanges];
  bool tooIrregular;  // more ranges than kMaxLayoutRanges; only the first are kept
};

void DescribeLayout(const TrackRecord* records, int count, TrackLayout* layout);
// Whether two tracks have the same layout; a layout too irregular to keep
// whole is the same as no other.
bool SameLayout(const TrackLayout& a, const TrackLayout& b);

// A sector ID as one number that sorts by C, H, N and then R.
uint32_t SortKey(const TrackRecord& record);
// Fills `keys` with the SortKey of each of the `count` records, sorted.
void SortedKeys(const TrackRecord* records, int count, uint32_t* keys);

#endif  // INFO_TRACK_WALK_H_
