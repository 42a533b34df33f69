// The merge in-process, where a whole command run would cost too much: an
// image that would reach 2 GiB, refused before its last track is written.
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
  const MergeSink sink = {&counted, CountWrite, CountSector, CountDisk};
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

}  // namespace
