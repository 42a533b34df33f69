// Loads the MS-DOS volume: its allocation table, root directory and tracks.
#include "tool/stages.h"
#include "tool/volume.h"

void DecodeClusterTable(const uint8_t* fat, uint16_t* table) {
  // Two 12-bit entries in every three bytes: the low byte and low nibble of
  // the middle byte for the first, the high nibble and the last byte for the
  // second.
  for (int group = 0; group < kFatGroups; ++group) {
    const uint8_t* bytes = fat + 3 * group;
    table[2 * group] = static_cast<uint16_t>(((bytes[1] & 0x0F) << 8) | bytes[0]);
    table[2 * group + 1] = static_cast<uint16_t>((bytes[2] << 4) | (bytes[1] >> 4));
  }
}

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
