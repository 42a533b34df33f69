// The raw areas on tracks 3-8, cut into files as they lie on the disk.
#include <cstdio>

#include "common/text_output.h"
#include "tool/output.h"
#include "tool/stages.h"
#include "tool/volume.h"

CutResult CutArea(const char* name, int track, int c, int h, int r, int n, int skip, int length) {
  if (skip < 0 || length < 0 || skip > kVolumeImageBytes - length) {
    return CutResult::kAreaMissing;
  }
  // A run cut short by a later missing sector still gives `length` bytes:
  // past what was read, whatever the buffer held before.
  const int got = diskImage.ReadSectors(track, c, h, r, n, volumeImage, skip + length);
  if (diskImage.ReadFailed()) {
    return CutResult::kReadFailed;
  }
  if (got == 0) {
    return CutResult::kAreaMissing;
  }
  char announcement[64];
  snprintf(announcement, sizeof announcement, "cutting ... %s\n", name);
  PrintText(stdout, announcement);
  const OutputOpen opened = OpenOutputFile(name);
  if (opened == OutputOpen::kIsImage) {
    ReportImageInTheWay(name);
    return CutResult::kCut;
  }
  if (opened == OutputOpen::kFailed || !WriteOutputFile(volumeImage + skip, length) ||
      !CloseOutputFile()) {
    ReportWriteFailure(name);
    return CutResult::kWriteFailed;
  }
  return CutResult::kCut;
}
