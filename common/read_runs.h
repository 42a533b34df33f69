// The reads d88cut makes of a recognised disk, in the order it makes them.
// The run itself (the driver and the volume load) and the replay that
// traces each output's bytes back to the disk (output_health.h) both walk
// this one table, so the replay cannot drift from the run.
#ifndef COMMON_READ_RUNS_H_
#define COMMON_READ_RUNS_H_

#include "common/disk_layout.h"
#include "common/recognition.h"

// What a read is for.
enum class RunPurpose {
  kSignature,      // the first sector, whose bytes 1-16 tell the disk
  kMain,           // the raw area cut into the file MAIN
  kDemo,           // the raw area cut into the file DEMO
  kFat,            // the volume's allocation table
  kRootDirectory,  // the volume's root directory
  kVolumeTracks,   // the volume's tracks, which its files are taken from
};

constexpr bool IsRawArea(RunPurpose purpose) {
  return purpose == RunPurpose::kMain || purpose == RunPurpose::kDemo;
}

// Where a read lands.
enum class RunBuffer {
  kWork,           // the work buffer: the first sector, each raw area, then the volume
  kFat,            // the allocation table's own buffer
  kRootDirectory,  // the root directory's own buffer
};

// One read run, as ReadSectors makes it: `length` bytes from sector
// R`firstR` of size code `sizeCode` on `track` (C = track / 2, H = track % 2),
// stepping through R`firstSector`-`lastSector` of each track, into `buffer`
// from `offset`. The signature is a single sector: its run never steps.
struct ReadRun {
  RunPurpose purpose;
  const char* output;  // the raw area's file; nullptr for any other read
  int track;
  int firstR;
  int sizeCode;
  int firstSector, lastSector;
  RunBuffer buffer;
  int offset;
  int length;
};

// The signature, MAIN, DEMO, the allocation table, the root directory,
// tracks 0-2 as one run, then each of tracks 9-79 as a run of its own
// (tracks 3-8 hold the raw areas; the volume load leaves their slots).
constexpr int kHeadRuns = 6;
constexpr int kReadRunCount = kHeadRuns + kVolumeTracks - kFirstUpperTrack;

struct ReadRuns {
  ReadRun run[kReadRunCount];
};

constexpr ReadRuns MakeReadRuns() {
  ReadRuns runs = {{
      {RunPurpose::kSignature, nullptr, 0, 1, kSignatureSizeCode, 1, 1, RunBuffer::kWork, 0,
       kSignatureSectorBytes},
      {RunPurpose::kMain, "MAIN", kMainTrack, kRawFirstSector, kRawSizeCode, kRawFirstSector,
       kRawLastSector, RunBuffer::kWork, 0, kMainBytes},
      {RunPurpose::kDemo, "DEMO", kDemoTrack, kRawFirstSector, kRawSizeCode, kRawFirstSector,
       kRawLastSector, RunBuffer::kWork, 0, kDemoBytes},
      {RunPurpose::kFat, nullptr, 0, kFatFirstSector, kVolumeSizeCode, kVolumeFirstSector,
       kVolumeLastSector, RunBuffer::kFat, 0, kFatBytes},
      {RunPurpose::kRootDirectory, nullptr, 0, kRootFirstSector, kVolumeSizeCode,
       kVolumeFirstSector, kVolumeLastSector, RunBuffer::kRootDirectory, 0, kRootDirectoryBytes},
      {RunPurpose::kVolumeTracks, nullptr, 0, kVolumeFirstSector, kVolumeSizeCode,
       kVolumeFirstSector, kVolumeLastSector, RunBuffer::kWork, 0, kHeadTracks * kVolumeTrackBytes},
  }};
  for (int track = kFirstUpperTrack; track < kVolumeTracks; ++track) {
    runs.run[kHeadRuns + track - kFirstUpperTrack] = {
        RunPurpose::kVolumeTracks, nullptr,          track,
        kVolumeFirstSector,        kVolumeSizeCode,  kVolumeFirstSector,
        kVolumeLastSector,         RunBuffer::kWork, track * kVolumeTrackBytes,
        kVolumeTrackBytes};
  }
  return runs;
}

inline constexpr ReadRuns kReadRuns = MakeReadRuns();

// The first run reads the signature sector.
inline constexpr const ReadRun& kSignatureRun = kReadRuns.run[0];
static_assert(kSignatureRun.purpose == RunPurpose::kSignature, "the signature comes first");

// CutArea reads a raw area into the start of the work buffer.
constexpr bool RawAreasLandAtTheStart() {
  for (const ReadRun& run : kReadRuns.run) {
    if (IsRawArea(run.purpose) && (run.buffer != RunBuffer::kWork || run.offset != 0)) {
      return false;
    }
  }
  return true;
}
static_assert(RawAreasLandAtTheStart(), "CutArea reads a raw area into the work buffer's start");

#endif  // COMMON_READ_RUNS_H_
