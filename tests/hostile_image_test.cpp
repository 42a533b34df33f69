// Images built to make the tool work without end, write without bound or
// write outside its folder: every scan must end, every file must stay within
// the volume's 356 clusters and every name must stay in the current folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "d88/d88_image.h"
#include "testing/d88_writer.h"
#include "testing/test_disk.h"
#include "testing/test_helpers.h"
#include "tests/expected_messages.h"
#include "tests/tool_runner.h"

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kHugeCount = 0xFFFF;      // more records than any track here holds
constexpr size_t kLargestFile = 356 * 1024;  // every cluster of the volume once

Record EmptyRecord(int c, int h, int r, int n, uint16_t count) {
  Record record = MakeRecord(c, h, r, n, {});
  record.count = count;
  return record;
}

void SetEveryCount(Disk& disk, uint16_t count) {
  for (auto& [index, track] : disk.tracks) {
    for (Record& record : track.records) {
      record.count = count;
    }
  }
}

// Data of its own for every cluster of the volume.
void FillEveryCluster(TestVolume& volume) {
  for (int cluster = 0; cluster <= 355; ++cluster) {
    const Bytes data = PatternBytes(1024, cluster * 7);
    std::copy(data.begin(), data.end(),
              volume.bytes.begin() + static_cast<long>((cluster + 4) * 1024));
  }
}

const Bytes& DemoArea() {
  static const Bytes area = PatternBytes(16384, 2);
  return area;
}

Disk DiskOf(const TestVolume& volume) {
  return MakeRecognisedDisk(volume.bytes, PatternBytes(8192, 1), DemoArea());
}

// The data of `chain` as the tool holds the volume: the slots of tracks 3-8
// are not loaded, and keep the end of the DEMO run, then zeros.
Bytes ClusterData(const TestVolume& volume, const std::vector<int>& chain) {
  Bytes loaded = volume.bytes;
  std::fill(loaded.begin() + 3 * 4608, loaded.begin() + 9 * 4608, 0);
  std::copy(DemoArea().begin() + 3 * 4608, DemoArea().end(), loaded.begin() + 3 * 4608);
  Bytes out;
  for (int cluster : chain) {
    const auto at = loaded.begin() + static_cast<long>((cluster + 4) * 1024);
    out.insert(out.end(), at, at + 1024);
  }
  return out;
}

struct HostileScan : public ::testing::Test {
  void Open(const Bytes& bytes) {
    WriteBytes(path, bytes);
    ASSERT_TRUE(image.Open(path.c_str()));
    ASSERT_TRUE(image.SelectDisk(0));
  }
  int Read(int track, int r) {
    buffer.assign(256, 0);
    return image.ReadSector(track, 0, 0, r, 1, buffer.data(), 256);
  }
  // The records a sector read's scan of `track` visits, as the reader's
  // record walk gives them.
  int Records(int track) {
    RecordWalk walk;
    if (!image.StartRecordWalk(track, &walk)) {
      return 0;
    }
    uint8_t header[kRecordHeaderSize];
    int64_t at = 0;
    int count = 0;
    while (image.NextRecord(&walk, header, &at)) {
      ++count;
    }
    return count;
  }

  ScopedTempDir dir;
  std::string path = dir.File("hostile.d88");
  D88Image image;
  Bytes buffer;
};

// 70,000 empty records whose counts no index reaches before 65,534, then
// sector R1. Track 0 starts at the first of them, track 1 10,000 records in.
TEST_F(HostileScan, CountsThatNeverEndATrackLeaveTheCountLimitOrTheEndOfTheFile) {
  constexpr int kEmptyRecords = 70000;
  Disk disk;
  Track& run = disk.tracks[0];
  run.records.assign(kEmptyRecords, EmptyRecord(9, 9, 9, 0, kHugeCount));
  run.records.push_back(MakeRecord(0, 0, 1, 1, PatternBytes(256, 5)));
  run.records.back().count = kHugeCount;
  disk.trackOffsets[1] = 0x2B0 + 10000 * 16;
  Open(BuildDisk(disk));

  // From the start, index 65,534 is where a count of 65,535 ends the scan.
  EXPECT_EQ(Read(0, 1), 0);
  EXPECT_EQ(Records(0), 65535);
  // From 10,000 records in, the sector is the 60,001st record.
  EXPECT_EQ(Read(1, 1), 256);
  EXPECT_EQ(buffer, PatternBytes(256, 5));
  // A sector that is not there: the end of the file ends the scan.
  EXPECT_EQ(Read(1, 2), 0);
  EXPECT_EQ(Records(1), 60001);
  buffer.assign(512, 0);
  EXPECT_EQ(image.ReadSectors(1, 0, 0, 1, 1, buffer.data(), 512), 256);
}

TEST_F(HostileScan, EndOfTheFileEndsEveryScan) {
  Disk base;
  base.tracks[0].records = {MakeRecord(0, 0, 1, 1, PatternBytes(256))};
  base.tracks[0].records[0].count = kHugeCount;
  const size_t fileSize = BuildDisk(base).size();

  struct Case {
    const char* what;
    Disk disk;
    size_t cut;   // bytes taken off the end of the file
    int track;    // the track scanned
    int records;  // what the record walk visits there
  };
  Disk longData = base;
  longData.tracks[0].records[0].dataLength = 0xFFFF;
  Disk cutHeader = base;
  cutHeader.tracks[0].records.push_back(EmptyRecord(0, 0, 2, 1, kHugeCount));
  Disk lastBytes = base;
  lastBytes.trackOffsets[1] = static_cast<int32_t>(fileSize - 8);
  Disk pastTheEnd = base;
  pastTheEnd.size = static_cast<uint32_t>(fileSize + 4096);
  pastTheEnd.trackOffsets[1] = static_cast<int32_t>(fileSize + 100);
  const Case cases[] = {
      {"a data length that runs past the end of the file", longData, 0, 0, 1},
      {"the file ends inside a record header", cutHeader, 8, 0, 1},
      {"a track that starts in the file's last 8 bytes", lastBytes, 0, 1, 0},
      {"a track that starts past the end of the file", pastTheEnd, 0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = BuildDisk(c.disk);
    bytes.resize(bytes.size() - c.cut);
    Open(bytes);
    EXPECT_EQ(Read(c.track, 3), 0);
    EXPECT_EQ(Records(c.track), c.records);
  }
}

// Every record's count promises more records than any track holds, and a
// tail of 20,000 empty records follows the last track: a sector that is
// missing is looked for through the rest of the file. Every identity is
// found where it lies, so the run gives what it gives on the same disk with
// honest counts.
TEST(HostileImageTool, CountsThatNeverEndATrackChangeNoOutput) {
  TestVolume volume;
  volume.AddFile(0, "HEAD    BIN", 0x20, kTime, kDate, 2, PatternBytes(3000, 1));
  volume.AddFile(1, "MIDDLE  BIN", 0x20, kTime, kDate, 176, PatternBytes(5000, 2));
  volume.AddFile(2, "LAST    BIN", 0x20, kTime, kDate, 350, PatternBytes(6144, 3));
  Disk honest = DiskOf(volume);
  // Missing sectors: DEMO's last, and R5 of track 40 (in MIDDLE.BIN).
  honest.tracks[8].records.pop_back();
  honest.tracks[40].records.erase(honest.tracks[40].records.begin() + 4);
  Disk hostile = honest;
  hostile.tracks[163].records.assign(20000, EmptyRecord(255, 255, 255, 0, kHugeCount));
  SetEveryCount(hostile, kHugeCount);

  ScopedTempDir honestDir;
  ScopedTempDir hostileDir;
  WriteBytes(honestDir.File("disk.d88"), BuildImage({honest}));
  WriteBytes(hostileDir.File("disk.d88"), BuildImage({hostile}));
  const ToolRun expected = RunTool({"disk.d88"}, honestDir.path());
  const ToolRun run = RunTool({"disk.d88"}, hostileDir.path());

  ASSERT_EQ(expected.status, 0);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, expected.out);
  EXPECT_EQ(run.err, expected.err);
  ASSERT_EQ(hostileDir.Entries(), honestDir.Entries());
  for (const char* name : {"MAIN", "DEMO", "HEAD.BIN", "MIDDLE.BIN", "LAST.BIN"}) {
    EXPECT_EQ(ReadBytes(hostileDir.File(name)), ReadBytes(honestDir.File(name))) << name;
  }
}

TEST(HostileImageTool, NoFileOutgrowsTheVolume) {
  std::vector<int> everyCluster;
  for (int cluster = 0; cluster <= 355; ++cluster) {
    everyCluster.push_back(cluster);
  }
  std::vector<int> everyClusterDown(everyCluster.rbegin(), everyCluster.rend());
  std::vector<int> from200(everyCluster.begin() + 200, everyCluster.end());
  from200.insert(from200.end(), everyCluster.begin(), everyCluster.begin() + 200);

  struct File {
    uint16_t firstCluster;
    std::vector<int> written;
  };
  struct Case {
    const char* what;
    bool descending;  // the chain runs 355, 354, ... 0; else 0, 1, ... 355
    int lastNext;     // the entry of the chain's last cluster
    std::vector<File> files;
  };
  const Case cases[] = {
      {"every cluster, then a reserved end value", false, 0xFF8, {{0, everyCluster}}},
      {"every cluster downwards, then past the volume", true, 0xFFE, {{355, everyClusterDown}}},
      // What one file has written does not cut the next one short.
      {"two files on a cycle through every cluster", false, 0, {{0, everyCluster}, {200, from200}}},
  };
  ScopedFileSizeLimit limit(8 * kLargestFile);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestVolume volume;
    FillEveryCluster(volume);
    for (int cluster = 0; cluster <= 355; ++cluster) {
      const int next = c.descending ? cluster - 1 : cluster + 1;
      volume.SetFat(cluster, next < 0 || next > 355 ? c.lastNext : next);
    }
    for (size_t i = 0; i < c.files.size(); ++i) {
      volume.SetEntry(static_cast<int>(i), "FILE" + std::to_string(i) + "   BIN", 0x20, kTime,
                      kDate, c.files[i].firstCluster, 0x7FFFFFFF);
    }
    ScopedTempDir dir;
    WriteBytes(dir.File("disk.d88"), BuildImage({DiskOf(volume)}));

    const ToolRun run = RunTool({"disk.d88"}, dir.path());

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    for (size_t i = 0; i < c.files.size(); ++i) {
      const Bytes written = ReadBytes(dir.File("FILE" + std::to_string(i) + ".BIN"));
      EXPECT_EQ(written.size(), kLargestFile);
      EXPECT_TRUE(written == ClusterData(volume, c.files[i].written)) << "file " << i;
    }
  }
}

#ifndef _WIN32
// The one table of what names the tool refuses on POSIX systems: a name
// that would not be one plain file in the current folder is listed and
// reported but not written; every other name is written as built, however
// odd its bytes. The tool runs in `work`, beside a directory X that would let
// "X/B.TXT" be made, and the image itself is named MAIN. (Windows names
// follow rules of their own: windows_test.cpp.)
TEST(HostileImageTool, NamesStayInTheCurrentFolder) {
  struct Case {
    std::string field;  // the entry's 11 name bytes
    std::string built;  // the name the tool builds, lists and reports
    bool written;
  };
  const Case cases[] = {
      {"           ", "", false},
      {"..         ", "..", false},
      {".          ", ".", false},
      {"        .  ", "..", false},  // a blank base name and "." as extension
      {"X/B     TXT", "X/B.TXT", false},
      {"        /  ", "./", false},
      {"/          ", "/", false},
      {"..      /  ", ".../", false},
      {"ABC     /..", "ABC./..", false},
      // A leading dot, a backslash and the byte 0x5C are ordinary here.
      {"        TXT", ".TXT", true},
      {".       .  ", "...", true},
      {std::string("A\0/B    TXT", 11), "A", true},  // the NUL ends the name first
      {"\\..\\    ...", "\\..\\....", true},
      {"\x95\x5C      TXT", "\x95\x5C.TXT", true},
      {"\x95\x5C\x81\x5C    \x5C\x5C\x5C", "\x95\x5C\x81\x5C.\x5C\x5C\x5C", true},
      // Controls too; a first byte 0x05 stands for 0xE5.
      {"\x05\x7F\xFF\xE5    \x1B\n\t", "\xE5\x7F\xFF\xE5.\x1B\n\t", true},
      {"GOOD    TXT", "GOOD.TXT", true},
  };
  TestVolume volume;
  const Bytes data = PatternBytes(10, 9);
  volume.StoreChain({2}, data);
  std::string listing;
  std::string unsafe;
  std::vector<std::string> expected = {"DEMO", "MAIN", "X"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_EQ(cases[i].field.size(), 11u);
    volume.SetEntry(static_cast<int>(i), cases[i].field, 0x20, kTime, kDate, 2, 10);
    listing += cases[i].built + std::string(12 - cases[i].built.size(), ' ') +
               "       10 1990/03/04 12:34:56 A    \n";
    if (cases[i].written) {
      expected.push_back(cases[i].built);
    } else {
      unsafe += "unsafe file name, not written: " + cases[i].built + "\n";
    }
  }
  std::sort(expected.begin(), expected.end());
  ScopedTempDir dir;
  const std::string work = dir.File("work");
  fs::create_directory(work);
  fs::create_directory(work + "/X");
  const Bytes image = BuildImage({DiskOf(volume)});
  WriteBytes(work + "/MAIN", image);

  const ToolRun run = RunTool({"MAIN"}, work);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kHeader + listing);
  EXPECT_EQ(run.err, "image file would be overwritten, not written: MAIN\n" + unsafe);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"work"});
  EXPECT_TRUE(fs::is_empty(work + "/X"));
  std::vector<std::string> made;
  for (const fs::directory_entry& entry : fs::directory_iterator(work)) {
    made.push_back(entry.path().filename().string());
    if (entry.path().filename() != "X") {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(entry.path()))) << entry.path();
    }
  }
  std::sort(made.begin(), made.end());
  EXPECT_EQ(made, expected);
  EXPECT_EQ(ReadBytes(work + "/MAIN"), image);
  for (const Case& c : cases) {
    if (c.written) {
      SCOPED_TRACE(c.built);
      // The times first: reading the file may move its access time.
      FileTimes times;
      ASSERT_TRUE(ReadFileTimes(work + "/" + c.built, &times));
      EXPECT_EQ(times.modified, kWhen);
      EXPECT_EQ(times.accessed, kWhen);
      EXPECT_EQ(ReadBytes(work + "/" + c.built), data);
    }
  }
}
#endif

}  // namespace
