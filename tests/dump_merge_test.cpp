// The merge in-process, where a whole command run would cost too much, or
// where only its sink tells: an image that would reach 2 GiB, refused before
// its last track is written, and the dump each written record came from.
#include "common/dump_merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "d88/d88_image.h"
#include "testing/d88_writer.h"
#include "tests/tool_runner.h"

namespace {

// Counts what the merge writes, keeping none of it.
struct CountingSink {
  int64_t end = 0;
  int sectors = 0;
  int disks = 0;
};

bool CountWrite(void* context, int64_t offset, const uint8_t* /*bytes*/, size_t length) {
  CountingSink& sink = *static_cast<CountingSink*>(context);
  sink.end = std::max<int64_t>(sink.end, offset + static_cast<int64_t>(length));
  return true;
}

void CountSector(void* context, const MergedSector& /*sector*/) {
  ++static_cast<CountingSink*>(context)->sectors;
}

void CountDisk(void* context, const MergedDisk& /*disk*/) {
  ++static_cast<CountingSink*>(context)->disks;
}

// Every track entry of a 13 MB disk leads to the same walk of 200 records
// of 65,535 bytes: each merged track repeats it, and 164 of them pass
// 2^31 - 1 bytes at the last track.
TEST(DumpMergeTest, RefusesAnImageOf2GiB) {
  Disk disk;
  for (int i = 0; i < 200; ++i) {
    Record record = MakeRecord(0, 0, i, 8, Bytes(65535, static_cast<uint8_t>(i)));
    record.count = 200;
    disk.tracks[0].records.push_back(record);
  }
  for (int track = 1; track < 164; ++track) {
    disk.trackOffsets[track] = 0x2B0;
  }
  ScopedTempDir dir;
  const Bytes image = BuildDisk(disk);
  WriteBytes(dir.File("1.d88"), image);
  static D88Image first;
  static D88Image second;
  ASSERT_TRUE(first.Open(dir.File("1.d88").c_str()));
  ASSERT_TRUE(second.Open(dir.File("1.d88").c_str()));
  D88Image* dumps[] = {&first, &second};
  const int64_t sizes[] = {static_cast<int64_t>(image.size()), static_cast<int64_t>(image.size())};
  CountingSink counted;
  const MergeSink sink = {&counted, CountWrite, CountSector, CountDisk, nullptr};
  const MergeResult result = MergeDumps(dumps, sizes, 2, sink);
  EXPECT_EQ(result.end, MergeEnd::kTooLarge);
  EXPECT_EQ(result.disk, 0);
  EXPECT_EQ(result.track, 163);
  // Tracks 0-162 went out; the last, which would pass the limit, did not,
  // nor did the disk's header or its counts.
  const int64_t track = 200 * (16 + 65535);
  EXPECT_EQ(counted.end, 0x2B0 + 163 * track);
  EXPECT_EQ(counted.disks, 0);
  EXPECT_EQ(counted.sectors, 163 * 200);
  first.Reset();
  second.Reset();
}

// The dump of each record written, as "track:dump", dumps from 1.
struct RecordSink {
  std::vector<std::string> records;
};

bool KeepNothing(void*, int64_t, const uint8_t*, size_t) {
  return true;
}
void IgnoreSector(void*, const MergedSector&) {}
void IgnoreDisk(void*, const MergedDisk&) {}
void NoteRecord(void* context, int disk, int track, int dump) {
  static_cast<RecordSink*>(context)->records.push_back(
      std::to_string(disk) + "/" + std::to_string(track) + ":" + std::to_string(dump + 1));
}

// Each record of a merged track names the dump whose copy it holds: dump
// 1's own where good, a later dump's where that one recovered it or added
// it, dump 1's shadowed duplicate as kept, and a track dump 1 lacks from
// the dump it was taken from.
TEST(DumpMergeTest, TellsWhichDumpEachRecordCameFrom) {
  const Bytes data = PatternBytes(256);
  Record bad = MakeRecord(0, 0, 2, 1, data);
  bad.status = 0xB0;
  Record shadowed = MakeRecord(0, 0, 1, 1, PatternBytes(256, 7));
  Disk first;
  first.tracks[0].records = {MakeRecord(0, 0, 1, 1, data), bad, shadowed};
  Disk second;
  second.tracks[0].records = {MakeRecord(0, 0, 2, 1, data), MakeRecord(0, 0, 3, 1, data)};
  second.tracks[1].records = {MakeRecord(0, 1, 1, 1, data)};
  Disk third;
  third.tracks[0].records = {MakeRecord(0, 0, 4, 1, data)};
  ScopedTempDir dir;
  static D88Image images[3];
  D88Image* dumps[3];
  int64_t sizes[3];
  const Disk* disks[] = {&first, &second, &third};
  for (int d = 0; d < 3; ++d) {
    const Bytes image = BuildDisk(*disks[d]);
    const std::string path = dir.File(std::to_string(d + 1) + ".d88");
    WriteBytes(path, image);
    ASSERT_TRUE(images[d].Open(path.c_str()));
    dumps[d] = &images[d];
    sizes[d] = static_cast<int64_t>(image.size());
  }
  RecordSink noted;
  const MergeSink sink = {&noted, KeepNothing, IgnoreSector, IgnoreDisk, NoteRecord};
  EXPECT_EQ(MergeDumps(dumps, sizes, 3, sink).end, MergeEnd::kMerged);
  EXPECT_EQ(noted.records,
            (std::vector<std::string>{"0/0:1", "0/0:2", "0/0:1", "0/0:2", "0/0:3", "0/1:2"}));
  for (D88Image& image : images) {
    image.Reset();
  }
}

}  // namespace
