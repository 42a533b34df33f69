// Loads the MS-DOS volume: its allocation table, root directory and tracks.
#include "common/volume_decoding.h"
#include "tool/stages.h"
#include "tool/volume.h"

void LoadVolume() {
  // Every read may come up short: a missing sector leaves the rest of its
  // destination as it was, zeros or what the raw areas left there.
  diskImage.SetSectorRange(kVolumeFirstSector, kVolumeLastSector);
  diskImage.ReadSectors(0, 0, 0, kFatFirstSector, kVolumeSizeCode, fatBytes, kFatBytes);
  diskImage.ReadSectors(0, 0, 0, kRootFirstSector, kVolumeSizeCode, rootDirectory,
                        kRootDirectoryBytes);
  diskImage.ReadSectors(0, 0, 0, kVolumeFirstSector, kVolumeSizeCode, volumeImage,
                        kHeadTracks * kVolumeTrackBytes);
  // Tracks 3-8 hold the raw areas; their slots are left as they are.
  for (int track = kFirstUpperTrack; track < kVolumeTracks; ++track) {
    diskImage.ReadSectors(track, track / 2, track % 2, kVolumeFirstSector, kVolumeSizeCode,
                          volumeImage + track * kVolumeTrackBytes, kVolumeTrackBytes);
  }
  DecodeClusterTable(fatBytes, clusterTable);
}
