// The recognised disk's layout: where its raw areas, its MS-DOS volume and
// the volume's allocation table, root directory and clusters lie.
//
// Tracks 0-2 and 9-79 carry an MS-DOS volume in 512-byte sectors, nine to a
// track; tracks 3-8 carry two raw areas in 256-byte sectors, sixteen to a
// track. Track t is cylinder t / 2, head t % 2.
#ifndef COMMON_DISK_LAYOUT_H_
#define COMMON_DISK_LAYOUT_H_

#include <cstdint>

// Raw areas: sectors R1-R16 of 256 bytes (N1), 4,096 bytes a track.
constexpr int kRawFirstSector = 1;
constexpr int kRawLastSector = 16;
constexpr int kRawSizeCode = 1;
constexpr int kMainTrack = 3;  // tracks 3-4
constexpr int kMainBytes = 8192;
constexpr int kDemoTrack = 5;  // tracks 5-8
constexpr int kDemoBytes = 16384;

// The volume: sectors R1-R9 of 512 bytes (N2).
constexpr int kVolumeFirstSector = 1;
constexpr int kVolumeLastSector = 9;
constexpr int kVolumeSizeCode = 2;
constexpr int kVolumeSectorBytes = 512;
constexpr int kVolumeTrackBytes = 9 * kVolumeSectorBytes;  // one track's slot of the loaded volume
constexpr int kVolumeTracks = 80;
constexpr int kVolumeImageBytes = kVolumeTracks * kVolumeTrackBytes;  // 368,640
constexpr int kFirstRawTrack = 3;  // tracks 3-8 are not part of the loaded volume
constexpr int kFirstUpperTrack = 9;
constexpr int kHeadTracks = 3;  // tracks 0-2, read as one run

// The allocation table: both sectors R2-R3 of track 0, 12-bit entries
// packed two to three bytes.
constexpr int kFatFirstSector = 2;
constexpr int kFatBytes = 1024;
constexpr int kFatGroups = kFatBytes / 3;             // 341
constexpr int kClusterTableEntries = 2 * kFatGroups;  // 682
constexpr uint16_t kChainEnd = 0xFFF;

// The root directory: sectors R6-R9 of track 0, its first 64 entries.
constexpr int kRootFirstSector = 6;
constexpr int kDirectoryEntryBytes = 32;
constexpr int kRootEntries = 64;
constexpr int kRootDirectoryBytes = kRootEntries * kDirectoryEntryBytes;  // 2,048

// Clusters are two sectors. Cluster n's data lies at offset (n + 4) * 1,024
// of the loaded volume: cluster 2 is track 1 (C0 H1) R4, just after the root
// directory, and cluster 355 ends the buffer.
constexpr int kClusterBytes = 1024;
constexpr int kClusterSlotBias = 4;
constexpr int kLastCluster = kVolumeImageBytes / kClusterBytes - kClusterSlotBias - 1;  // 355

#endif  // COMMON_DISK_LAYOUT_H_
