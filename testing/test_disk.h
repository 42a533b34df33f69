// The recognised disk's layout, for tests: a raw 360 KB FAT12 volume and the
// two raw areas laid out as the tool expects to find them in a D88 image.
#ifndef TESTING_TEST_DISK_H_
#define TESTING_TEST_DISK_H_

#include <cstdint>
#include <string>

#include "testing/d88_writer.h"

constexpr size_t kVolumeBytes = 368640;  // 720 sectors of 512 bytes

// A raw FAT12 volume, 9 sectors a track, 2 sectors a cluster, root directory
// at sectors 5-11, FAT copies at sectors 1-2 and 3-4; cluster n at byte
// (n + 4) * 1,024. Starts with media byte F0 FF FF in both FAT copies.
class TestVolume {
 public:
  TestVolume();

  // Sets FAT entry `cluster` in both copies.
  void SetFat(int cluster, int value);
  int Fat(int cluster) const;
  // Writes directory entry `index` (0-based) of the root directory.
  void SetEntry(int index, const std::string& name11, uint8_t attributes, uint16_t time,
                uint16_t date, uint16_t firstCluster, uint32_t size);
  void SetEntryBytes(int index, const Bytes& entry32);
  // Puts `data` into the clusters of a chain, recording it in the FAT (the
  // last cluster gets 0xFFF). Returns nothing; clusters must be free.
  void StoreChain(const std::vector<int>& clusters, const Bytes& data);
  // Adds a file whose data fills consecutive free clusters from
  // `firstCluster`. Returns the cluster after the last one used.
  int AddFile(int index, const std::string& name11, uint8_t attributes, uint16_t time,
              uint16_t date, int firstCluster, const Bytes& data);

  Bytes bytes;
};

// Date and time fields as the directory records them.
uint16_t DosDate(int year, int month, int day);
uint16_t DosTime(int hour, int minute, int second);

// Signature sector C0 H0 R1 N1: byte 0, then "BEXO-X1/turboSys".
Bytes SignatureSector();

// Raw areas for the volume tests, whose bytes do not repeat every 256, so
// that a cluster taken from the stale end of the DEMO run shows.
const Bytes& VolumeTestMainArea();
const Bytes& VolumeTestDemoArea();

// The D88 disk of the recognised layout: track 0 holds the signature sector
// and volume sectors R1-R9 (N2); tracks 1-2 and 9-79 the volume's sectors;
// tracks 3-4 hold `mainArea` and 5-8 `demoArea`, as 16 sectors of 256 bytes.
Disk MakeRecognisedDisk(const Bytes& volume, const Bytes& mainArea, const Bytes& demoArea);

// `disk` with a filler record of 65,000 bytes at the end of track 4, after
// the sectors MAIN is read from: the reader's 64 KiB window that holds
// tracks 0-4 then ends before DEMO's track 5, and a failing read can be put
// between the two areas.
Disk WithFillerAfterMain(Disk disk);
// The file offset of `track`'s first record in the first disk of `image`.
int64_t TrackStart(const Bytes& image, int track);

#endif  // TESTING_TEST_DISK_H_
