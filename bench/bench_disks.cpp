#include "bench/bench_disks.h"

#include <cstdio>
#include <string>
#include <vector>

#include "testing/test_disk.h"

namespace {

constexpr size_t kDiskHeaderBytes = 0x2B0;
constexpr size_t kRecordHeaderBytes = 16;
constexpr int kDiskTracks = 80;

// More than the reader's window holds: the bytes between the groups of a
// reversed layout.
constexpr size_t kGapBytes = 65 * 1024;

// The recorded identity of every filler: no read of the tool asks for it.
constexpr int kFillerC = 0xEE;
constexpr int kFillerH = 0xEE;
constexpr int kFillerR = 0xEE;
constexpr int kFillerN = 7;

// The count of the record at place `index` of the run. A scan that starts
// `stride` * t records into the run meets it at index `index` - stride * t;
// a count that can equal none of those plus one never ends a scan.
uint16_t NeverEndingCount(size_t index, int stride) {
  if (stride < 2) {
    return index == 0 ? 2 : 1;  // count - 1 differs from the one index
  }
  // count - 1 = (index + 1) mod stride, never index - stride * t.
  return static_cast<uint16_t>((index + 1) % static_cast<size_t>(stride) + 1);
}

}  // namespace

Bytes UniformImage(int sectors, int n) {
  Disk disk;
  disk.name = "UNIFORM";
  for (int track = 0; track < 164; ++track) {
    for (int r = 1; r <= sectors; ++r) {
      disk.tracks[track].records.push_back(MakeRecord(
          track / 2, track % 2, r, n, MixedBytes(static_cast<size_t>(128) << n, track * 32 + r)));
    }
  }
  return BuildDisk(disk);
}

namespace {

Disk NormalDisk() {
  const uint16_t date = DosDate(1990, 3, 4);
  const uint16_t time = DosTime(12, 34, 56);
  TestVolume volume;
  volume.SetEntry(0, "BENCH      ", 0x08, time, date, 0, 0);
  // Clusters 2-8 lie in tracks 1-2, before the raw areas; 37-355 after them.
  volume.AddFile(1, "LOW     BIN", 0x20, time, date, 2, MixedBytes(7 * 1024 - 100, 1));
  const size_t sizes[] = {1000, 3 * 1024, 8 * 1024 - 1, 17 * 1024 + 5, 1, 12 * 1024, 30 * 1024};
  int cluster = 37;
  int index = 2;
  for (size_t i = 0; index < 62; ++i, ++index) {
    const size_t size = sizes[i % (sizeof sizes / sizeof sizes[0])];
    const int clusters = static_cast<int>((size + 1023) / 1024);
    if (cluster + clusters > 356) {
      break;
    }
    char name[12];
    snprintf(name, sizeof name, "FILE%03d DAT", index);
    cluster = volume.AddFile(index, name, 0x20, time, date, cluster,
                             MixedBytes(size, static_cast<uint32_t>(index)));
  }
  return MakeRecognisedDisk(volume.bytes, MixedBytes(8192, 100), MixedBytes(16384, 200));
}

}  // namespace

Bytes NormalImage() {
  return BuildDisk(NormalDisk());
}

Bytes CraftedImage(const CraftedLayout& layout) {
  const Disk normal = NormalDisk();
  // The sectors in track order, or grouped by R from the highest down, with
  // a gap between the groups.
  std::vector<std::vector<Record>> groups(layout.reversed ? 16 : 1);
  size_t sectorBytes = 0;
  for (const auto& [index, track] : normal.tracks) {
    for (const Record& record : track.records) {
      groups[layout.reversed ? 16 - record.r : 0].push_back(record);
      sectorBytes += kRecordHeaderBytes + record.data.size();
    }
  }
  const size_t fillerBytes = kRecordHeaderBytes + layout.fillerData;
  const size_t gapFillers = layout.reversed ? (kGapBytes + fillerBytes - 1) / fillerBytes : 0;
  const size_t fillers = (kCraftedImageLimit - kDiskHeaderBytes - sectorBytes) / fillerBytes -
                         gapFillers * (groups.size() - 1);

  Disk disk;
  disk.name = "CRAFTED";
  std::vector<Record>& run = disk.tracks[0].records;
  Record filler = MakeRecord(kFillerC, kFillerH, kFillerR, kFillerN, Bytes(layout.fillerData, 0));
  const auto addFillers = [&](size_t count) {
    for (size_t i = 0; i < count; ++i) {
      filler.count = NeverEndingCount(run.size(), layout.stride);
      run.push_back(filler);
    }
  };
  addFillers(fillers);
  for (size_t group = 0; group < groups.size(); ++group) {
    if (group > 0) {
      addFillers(gapFillers);
    }
    for (Record sector : groups[group]) {
      sector.count = NeverEndingCount(run.size(), layout.stride);
      run.push_back(sector);
    }
  }
  for (int track = 0; track < kDiskTracks; ++track) {
    const size_t start = static_cast<size_t>(layout.stride) * static_cast<size_t>(track);
    disk.trackOffsets[track] = static_cast<int32_t>(kDiskHeaderBytes + start * fillerBytes);
  }
  return BuildDisk(disk);
}

Bytes InfoCraftedImage(const InfoCraftedLayout& layout) {
  const size_t diskBytes = kCraftedImageLimit / static_cast<size_t>(layout.disks);
  const size_t records = (diskBytes - kDiskHeaderBytes) / kRecordHeaderBytes;
  Disk disk;
  disk.name = "CRAFTED";
  Record filler = MakeRecord(kFillerC, kFillerH, kFillerR, kFillerN, Bytes());
  std::vector<Record>& run = disk.tracks[0].records;
  for (size_t i = 0; i < records; ++i) {
    filler.count = NeverEndingCount(i, layout.stride);
    run.push_back(filler);
  }
  for (int track = 1; track < 164; ++track) {
    const size_t start = static_cast<size_t>(layout.stride) * static_cast<size_t>(track);
    disk.trackOffsets[track] =
        static_cast<int32_t>(kDiskHeaderBytes + (start % records) * kRecordHeaderBytes);
  }
  return BuildImage(std::vector<Disk>(static_cast<size_t>(layout.disks), disk));
}
