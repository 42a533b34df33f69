// The walk of an image's disks for d88info's report: each disk's fields,
// its tracks as runs of one layout, its oddities and, on request, every
// sector ID, handed as they are found to a renderer (text or JSON), so that
// the walk is made once whatever the form. The walks are bounded: at most
// 1,048,576 records of an image, 32 oddities shown for a track.
#ifndef INFO_DISK_WALK_H_
#define INFO_DISK_WALK_H_

#include <cstdint>

#include "d88/d88_image.h"
#include "info/track_walk.h"

// A disk's header fields, as recorded.
struct DiskFacts {
  int number;  // from 1
  int32_t offset;
  uint32_t size;
  const char* name;  // up to 16 bytes of Shift_JIS, NUL-terminated
  int media;
  int protection;
};

// What the walk finds, in the order it finds it. Each text is ASCII words,
// the same in every form, valid during the call only. After a read of the
// image fails, nothing more is handed on.
struct DiskRenderer {
  void (*beginDisks)();
  void (*beginDisk)(const DiskFacts& disk);
  // A run of tracks in a row of one layout, in words.
  void (*trackRun)(int first, int last, const char* layout);
  // The disk has no track at all (every track was walked).
  void (*noTracks)();
  void (*endTrackRuns)();
  // An oddity of the disk as a whole.
  void (*diskOddity)(const char* words);
  void (*endDiskOddities)();
  // A track whose offset points where no sector can be read: outside the
  // disk or past the end of the image.
  void (*unreadableTrack)(int track, TrackPlace place, uint32_t offset);
  // A track that is walked; its IDs and oddities follow.
  void (*walkedTrack)(int track);
  // With --tracks: the track's records, in the order recorded.
  void (*trackIds)(int track, const TrackRecord* records, int count);
  void (*trackOddity)(int track, const char* words);
  void (*endDisk)();
  void (*endDisks)();
};

// Walks every disk of the open `image`, a file of `imageSize` bytes, and
// hands what it finds to `renderer`; with `everyId` also each track's IDs.
void WalkDisks(D88Image& image, int64_t imageSize, bool everyId, const DiskRenderer& renderer);

// Writes "C0 H1 R2 N1" for the record's ID, without a NUL, into `out` (room
// for 19 bytes); returns the length. --tracks may list a million of them.
int WriteId(const TrackRecord& record, char* out);

#endif  // INFO_DISK_WALK_H_
