// Loads the MS-DOS volume: its allocation table, root directory and tracks.
#include "common/read_runs.h"
#include "common/volume_decoding.h"
#include "tool/stages.h"
#include "tool/volume.h"

namespace {

uint8_t* BufferOf(RunBuffer buffer) {
  switch (buffer) {
    case RunBuffer::kFat:
      return fatBytes;
    case RunBuffer::kRootDirectory:
      return rootDirectory;
    case RunBuffer::kWork:
      break;
  }
  return volumeImage;
}

}  // namespace

void LoadVolume() {
  // Every read may come up short: a missing sector leaves the rest of its
  // destination as it was, zeros or what the raw areas left there. Tracks
  // 3-8 hold the raw areas; no read fills their slots.
  for (const ReadRun& run : kReadRuns.run) {
    if (run.purpose == RunPurpose::kSignature || IsRawArea(run.purpose)) {
      continue;
    }
    diskImage.SetSectorRange(run.firstSector, run.lastSector);
    diskImage.ReadSectors(run.track, run.track / 2, run.track % 2, run.firstR, run.sizeCode,
                          BufferOf(run.buffer) + run.offset, run.length);
  }
  DecodeClusterTable(fatBytes, clusterTable);
}
