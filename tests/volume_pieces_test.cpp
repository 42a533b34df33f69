// The volume stage's pieces, called directly: the allocation-table decode,
// loading the volume into the tool's buffers, and the per-entry work of the
// directory walk (fields, names, the listing line).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "common/volume_decoding.h"
#include "platform/platform.h"
#include "testing/d88_writer.h"
#include "testing/test_disk.h"
#include "tests/tool_runner.h"
#include "tool/directory_walk.h"
#include "tool/stages.h"
#include "tool/volume.h"

namespace {

// Where the test volume keeps its first allocation table and its root
// directory (volume sectors 1 and 5).
constexpr size_t kVolumeFatAt = 512;
constexpr size_t kVolumeRootAt = 5 * 512;

const uint8_t* RootEntry(const TestVolume& volume, int index) {
  return &volume.bytes[kVolumeRootAt + static_cast<size_t>(index) * 32];
}

// ---------------------------------------------------------------------------
// Allocation table

TEST(VolumeClusterTable, DecodesTheMediaBytesAndTheFirstEntries) {
  uint8_t fat[kFatBytes] = {0xF0, 0xFF, 0xFF, 0x03, 0x40, 0x00};
  uint16_t table[kClusterTableEntries] = {};
  DecodeClusterTable(fat, table);
  EXPECT_EQ(table[0], 0xFF0);
  EXPECT_EQ(table[1], 0xFFF);
  EXPECT_EQ(table[2], 0x003);
  EXPECT_EQ(table[3], 0x004);
  EXPECT_EQ(table[4], 0x000);
}

TEST(VolumeClusterTable, LastGroupComesFromBytes1020To1022) {
  uint8_t fat[kFatBytes] = {};
  fat[1019] = 0x11;
  fat[1020] = 0xAB;
  fat[1021] = 0xCD;
  fat[1022] = 0xEF;
  fat[1023] = 0x77;  // the odd byte left over after 341 groups
  // One entry more than the table has, to catch a write past its end.
  uint16_t table[kClusterTableEntries + 1];
  std::fill(std::begin(table), std::end(table), 0x5A5A);
  DecodeClusterTable(fat, table);
  EXPECT_EQ(table[679], 0x110);
  EXPECT_EQ(table[680], 0xDAB);
  EXPECT_EQ(table[681], 0xEFC);
  EXPECT_EQ(table[682], 0x5A5A);
}

// Every entry the table has, written by the test volume's own encoder: the
// entries past 170 need the second half of the first FAT sector and those
// past 340 the second sector, which a short read of the table would lose.
TEST(VolumeClusterTable, DecodesEveryEntryOfBothSectors) {
  TestVolume volume;
  for (int cluster = 0; cluster < kClusterTableEntries; ++cluster) {
    volume.SetFat(cluster, (cluster * 0x9E5 + 0x123) & 0xFFF);
  }
  uint16_t table[kClusterTableEntries] = {};
  DecodeClusterTable(&volume.bytes[kVolumeFatAt], table);
  for (int cluster = 0; cluster < kClusterTableEntries; ++cluster) {
    ASSERT_EQ(table[cluster], (cluster * 0x9E5 + 0x123) & 0xFFF) << "entry " << cluster;
  }
}

// ---------------------------------------------------------------------------
// Loading the volume into the tool's buffers, in this process.

class VolumeLoad : public ::testing::Test {
 protected:
  void SetUp() override { ResetToolState(); }
  void TearDown() override { ResetToolState(); }

  // Opens `disk` as the tool would and fills the buffers with a marker, so
  // that whatever the loader leaves alone shows.
  void OpenAndMark(const Disk& disk) {
    const std::string path = dir_.File("disk.d88");
    WriteBytes(path, BuildImage({disk}));
    ASSERT_TRUE(diskImage.Open(path.c_str()));
    ASSERT_TRUE(diskImage.SelectDisk(0));
    memset(volumeImage, kMarker, sizeof volumeImage);
    memset(fatBytes, kMarker, sizeof fatBytes);
    memset(rootDirectory, kMarker, sizeof rootDirectory);
  }

  static constexpr uint8_t kMarker = 0xA5;
  ScopedTempDir dir_;
};

TEST_F(VolumeLoad, PutsEachPartOfTheVolumeInItsBuffer) {
  TestVolume volume;
  for (int cluster = 0; cluster < kClusterTableEntries; ++cluster) {
    volume.SetFat(cluster, (cluster * 7 + 2) & 0xFFF);
  }
  volume.SetEntry(0, "README  TXT", 0x20, DosTime(1, 2, 4), DosDate(1990, 3, 4), 2, 300);
  volume.SetEntry(63, "LAST    TXT", 0x20, 0, 0, 3, 1);
  // Cluster data everywhere past the directory, entries 64 and on included.
  const Bytes data = MixedBytes(kVolumeBytes - 4608, 1);
  std::copy(data.begin(), data.end(), volume.bytes.begin() + 4608);
  OpenAndMark(MakeRecognisedDisk(volume.bytes, PatternBytes(8192), PatternBytes(16384, 9)));

  LoadVolume();

  EXPECT_EQ(Bytes(fatBytes, fatBytes + kFatBytes),
            Bytes(&volume.bytes[kVolumeFatAt], &volume.bytes[kVolumeFatAt + 1024]));
  EXPECT_EQ(Bytes(rootDirectory, rootDirectory + kRootDirectoryBytes),
            Bytes(&volume.bytes[kVolumeRootAt], &volume.bytes[kVolumeRootAt + 2048]));
  for (int cluster = 0; cluster < kClusterTableEntries; ++cluster) {
    ASSERT_EQ(clusterTable[cluster], volume.Fat(cluster)) << "entry " << cluster;
  }
  // Tracks 0-2 and 9-79 sit in their own slots; cluster 2 is track 1, R4-R5.
  EXPECT_EQ(Bytes(volumeImage + 6144, volumeImage + 7168),
            Bytes(&volume.bytes[6144], &volume.bytes[7168]));
  EXPECT_EQ(Bytes(volumeImage, volumeImage + 13824), Bytes(&volume.bytes[0], &volume.bytes[13824]));
  EXPECT_EQ(Bytes(volumeImage + 41472, volumeImage + kVolumeImageBytes),
            Bytes(volume.bytes.begin() + 41472, volume.bytes.end()));
  // The slots of tracks 3-8 are not the volume's and are left alone.
  EXPECT_EQ(Bytes(volumeImage + 13824, volumeImage + 41472), Bytes(41472 - 13824, kMarker));
}

// Each read stops at a missing sector and leaves the rest of its
// destination as it was; the other reads are not affected.
TEST_F(VolumeLoad, MissingSectorStopsOnlyItsOwnRead) {
  TestVolume volume;
  volume.SetFat(2, 0x345);
  volume.SetEntry(0, "README  TXT", 0x20, 0, 0, 2, 300);
  Disk disk = MakeRecognisedDisk(volume.bytes, PatternBytes(8192), PatternBytes(16384));
  // Track 0 holds the signature sector, then R1-R9; drop R3, the FAT's
  // second sector.
  auto& records = disk.tracks[0].records;
  records.erase(records.begin() + 3);
  OpenAndMark(disk);

  LoadVolume();

  EXPECT_EQ(Bytes(fatBytes, fatBytes + 512),
            Bytes(&volume.bytes[kVolumeFatAt], &volume.bytes[kVolumeFatAt + 512]));
  EXPECT_EQ(Bytes(fatBytes + 512, fatBytes + kFatBytes), Bytes(512, kMarker));
  EXPECT_EQ(clusterTable[2], 0x345);
  EXPECT_EQ(Bytes(rootDirectory, rootDirectory + kRootDirectoryBytes),
            Bytes(&volume.bytes[kVolumeRootAt], &volume.bytes[kVolumeRootAt + 2048]));
  // Tracks 0-2 are one run: it got R1-R2 of track 0 and no further.
  EXPECT_EQ(Bytes(volumeImage, volumeImage + 1024), Bytes(&volume.bytes[0], &volume.bytes[1024]));
  EXPECT_EQ(Bytes(volumeImage + 1024, volumeImage + 13824), Bytes(13824 - 1024, kMarker));
  EXPECT_EQ(Bytes(volumeImage + 41472, volumeImage + kVolumeImageBytes),
            Bytes(volume.bytes.begin() + 41472, volume.bytes.end()));
}

// ---------------------------------------------------------------------------
// One directory entry

TEST(VolumeEntryDecode, DecodesFieldsAsRecorded) {
  struct Case {
    uint16_t time, date, firstCluster;
    uint32_t size;
    DirectoryEntry expected;  // attributes, year, month, day, hour, minute,
                              // second, first cluster, size (the words are
                              // the case's own)
  };
  const Case cases[] = {
      {DosTime(12, 34, 56),
       DosDate(1990, 3, 4),
       2,
       1025,
       {0x21, 1990, 3, 4, 12, 34, 56, 2, 1025, {}}},
      // Every bit of both fields set: nothing is clamped or normalised.
      {0xFFFF, 0xFFFF, 0x7FFF, 0x7FFFFFFF, {0x21, 2107, 15, 31, 31, 63, 62, 32767, INT32_MAX, {}}},
      {0, 0, 0, 0, {0x21, 1980, 0, 0, 0, 0, 0, 0, 0, {}}},
      // The first cluster is signed 16-bit, the size signed 32-bit.
      {0, 0, 0x8000, 0x80000000u, {0x21, 1980, 0, 0, 0, 0, 0, -32768, INT32_MIN, {}}},
      {0, 0, 0xFFFF, 0xFFFFFFFFu, {0x21, 1980, 0, 0, 0, 0, 0, -1, -1, {}}},
      // Little-endian fields: 0x0102 and 0x01020304.
      {0x0841, 0x0221, 0x0102, 0x01020304, {0x21, 1981, 1, 1, 1, 2, 2, 258, 0x01020304, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "time " << c.time << " date " << c.date << " cluster "
                                      << c.firstCluster << " size " << c.size);
    TestVolume volume;
    volume.SetEntry(0, "ANY     BIN", 0x21, c.time, c.date, c.firstCluster, c.size);
    const DirectoryEntry got = DecodeEntry(RootEntry(volume, 0));
    EXPECT_EQ(got.attributes, c.expected.attributes);
    EXPECT_EQ(got.year, c.expected.year);
    EXPECT_EQ(got.month, c.expected.month);
    EXPECT_EQ(got.day, c.expected.day);
    EXPECT_EQ(got.hour, c.expected.hour);
    EXPECT_EQ(got.minute, c.expected.minute);
    EXPECT_EQ(got.second, c.expected.second);
    EXPECT_EQ(got.firstCluster, c.expected.firstCluster);
    EXPECT_EQ(got.size, c.expected.size);
    // The two words themselves, for the page's zip entries.
    EXPECT_EQ(got.recorded.time, c.time);
    EXPECT_EQ(got.recorded.date, c.date);
  }
}

TEST(VolumeFileName, Builds8Dot3Names) {
  struct Case {
    std::string field;  // the 11 name bytes
    std::string expected;
  };
  const Case cases[] = {
      {"README  TXT", "README.TXT"},
      {"README     ", "README"},
      {"ABCDEFGHIJK", "ABCDEFGH.IJK"},
      {"A          ", "A"},
      // A space ends either part, even with more characters after it.
      {"AB CD   TXT", "AB.TXT"},
      {"README  T X", "README.T"},
      {"README   TX", "README"},
      // A NUL byte ends the name there.
      {std::string("AB\0CD   TXT", 11), "AB"},
      {std::string("README  \0XT", 11), "README."},
      {"           ", ""},
      {"        TXT", ".TXT"},
      {"..         ", ".."},
      {".          ", "."},
      {"A/B     TXT", "A/B.TXT"},
      // A first byte 0x05 stands for 0xE5, which there would mark the
      // entry deleted: 蕁蘂.TXT is recorded as 05 40 E5 41.
      {"\x05\x40\xE5\x41    TXT", "\xE5\x40\xE5\x41.TXT"},
      {"\x05"
       "BC     TXT",
       "\xE5"
       "BC.TXT"},
      {"\x05          ", "\xE5"},
      {"\x05\x05      TXT", "\xE5\x05.TXT"},
      // Other bytes go through as they are: Shift_JIS with 0x5C, and 0x05
      // past the first byte.
      {"A\x05      TXT", "A\x05.TXT"},
      {"\x95\x5C"
       "      TXT",
       "\x95\x5C"
       ".TXT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("field \"" + c.field + "\"");
    ASSERT_EQ(c.field.size(), 11u);
    uint8_t entry[32] = {};
    memcpy(entry, c.field.data(), 11);
    // Room past the 13 bytes a name may take, to catch a longer write.
    char name[kFileNameBytes + 3];
    memset(name, 0x7F, sizeof name);
    BuildFileName(entry, name);
    EXPECT_EQ(std::string(name), c.expected);
    EXPECT_EQ(std::string(name + kFileNameBytes, 3), std::string(3, '\x7F'));
  }
}

TEST(VolumeFileName, RefusesNamesThatAreNotAPlainFileHere) {
  struct Case {
    const char* name;
    bool safe;
  };
  const Case cases[] = {
      {"", false},
      {".", false},
      {"..", false},
      {"A/B.TXT", false},
      {"/", false},
      {"../X", false},
      {"README.TXT", true},
      {".TXT", true},
      {"..TXT", true},
      {"\x95\x5C.TXT", true},
#ifndef _WIN32
      // Windows takes neither a name that ends in a dot nor a control
      // character (windows_test.cpp).
      {"...", true},
      {"\x05"
       "BC.TXT",
       true},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("name \"") + c.name + "\"");
    EXPECT_EQ(IsPlainFileName(c.name), c.safe);
  }
}

// ---------------------------------------------------------------------------
// The listing line, from the entry's bytes as the walk gets them.

std::string ListingOf(const uint8_t* entry) {
  char name[kFileNameBytes];
  BuildFileName(entry, name);
  ScopedTempDir dir;
  const std::string path = dir.File("listing");
  FILE* out = fopen(path.c_str(), "wb");
  if (out == nullptr) {
    ADD_FAILURE() << "cannot make " << path;
    return std::string();
  }
  PrintListingLine(out, name, DecodeEntry(entry));
  fclose(out);
  const Bytes line = ReadBytes(path);
  return std::string(line.begin(), line.end());
}

TEST(VolumeListingLine, PrintsNameSizeRecordedDateTimeAndFlags) {
  struct Case {
    std::string field;
    uint8_t attributes;
    uint16_t time, date;
    uint32_t size;
    std::string expected;
  };
  const uint16_t t = DosTime(12, 34, 56);
  const uint16_t d = DosDate(1990, 3, 4);
  const Case cases[] = {
      {"AUTOEXECBAT", 0x20, t, d, 128, "AUTOEXEC.BAT      128 1990/03/04 12:34:56 A    "},
      {"ALL     SIX", 0x3F, t, d, 1, "ALL.SIX             1 1990/03/04 12:34:56 A D V S H R   "},
      {"ONLY    RO ", 0x01, t, d, 1, "ONLY.RO             1 1990/03/04 12:34:56 R   "},
      {"SYSHID     ", 0x06, t, d, 1, "SYSHID              1 1990/03/04 12:34:56 S H    "},
      // Bits 0x40 and 0x80 print nothing.
      {"HIGH    BIT", 0xC0, t, d, 1, "HIGH.BIT            1 1990/03/04 12:34:56    "},
      {"EVERY   BIT", 0xFF, t, d, 1, "EVERY.BIT           1 1990/03/04 12:34:56 A D V S H R   "},
      {"NONE       ", 0x00, t, d, 0, "NONE                0 1990/03/04 12:34:56    "},
      // Year field 0 is 1980.
      {"OLD     TXT", 0x20, 0, DosDate(1980, 1, 1), 7,
       "OLD.TXT             7 1980/01/01 00:00:00 A    "},
      // Date and time exactly as recorded, out of range or not.
      {"ODD     TXT", 0x20, 0xFFFF, DosDate(1990, 0, 0), 7,
       "ODD.TXT             7 1990/00/00 31:63:62 A    "},
      {"MAX     TXT", 0x20, 0, 0xFFFF, 7, "MAX.TXT             7 2107/15/31 00:00:00 A    "},
      // Sizes are signed and wider than 8 columns when they must be.
      {"NEG     ONE", 0x20, t, d, 0xFFFFFFFFu, "NEG.ONE            -1 1990/03/04 12:34:56 A    "},
      {"NEG     MIN", 0x20, t, d, 0x80000000u,
       "NEG.MIN      -2147483648 1990/03/04 12:34:56 A    "},
      {"BIG     MAX", 0x20, t, d, 0x7FFFFFFF, "BIG.MAX      2147483647 1990/03/04 12:34:56 A    "},
      // Name bytes go out raw.
      {"\x95\x5C"
       "      TXT",
       0x20, t, d, 3,
       "\x95\x5C"
       ".TXT              3 1990/03/04 12:34:56 A    "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("field \"" + c.field + "\"");
    TestVolume volume;
    volume.SetEntry(0, c.field, c.attributes, c.time, c.date, 2, c.size);
    EXPECT_EQ(ListingOf(RootEntry(volume, 0)), c.expected);
  }
}

}  // namespace
