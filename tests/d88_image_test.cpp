#include "d88/d88_image.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <future>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "testing/d88_writer.h"
#include "testing/test_helpers.h"
#include "tests/tool_runner.h"

using namespace std::string_literals;

namespace {

// The recorded identity of a sector.
struct Id {
  int c, h, r, n;
  bool operator==(const Id& other) const {
    return c == other.c && h == other.h && r == other.r && n == other.n;
  }
};

std::ostream& operator<<(std::ostream& out, const Id& id) {
  return out << "C" << id.c << " H" << id.h << " R" << id.r << " N" << id.n;
}

// Different bytes for every sector of the test disks.
Bytes SectorData(int track, int r, int n) {
  return PatternBytes(static_cast<size_t>(128) << n, track * 16 + r);
}

// A full sector of `track` laid out as the tool's disk has it: C = track / 2,
// H = track % 2.
Record SectorOf(int track, int r, int n) {
  return MakeRecord(track / 2, track % 2, r, n, SectorData(track, r, n));
}

Disk Named(const std::string& name, std::optional<uint32_t> size = std::nullopt) {
  Disk disk;
  disk.name = name;
  disk.size = size;
  return disk;
}

// A disk whose track 0 holds one 256-byte sector C0 H0 R1 N1 of `data`.
Disk OneSectorDisk(const std::string& name, const Bytes& data) {
  Disk disk = Named(name);
  disk.tracks[0].records.push_back(MakeRecord(0, 0, 1, 1, data));
  return disk;
}

Bytes CutShort(Bytes bytes, size_t dropped) {
  bytes.resize(bytes.size() - dropped);
  return bytes;
}

bool DescriptorIsOpen(int fd) {
#ifdef _WIN32
  return _get_osfhandle(fd) != -1;
#else
  return fcntl(fd, F_GETFD) != -1;
#endif
}

struct D88ImageTest : public ::testing::Test {
  // Writes the image file and opens it, selecting no disk.
  bool Open(const Bytes& bytes) {
    WriteBytes(path, bytes);
    return image.Open(path.c_str());
  }
  // Opens a one-disk image and makes that disk current.
  bool Load(const Disk& disk) { return Open(BuildDisk(disk)) && image.SelectDisk(0); }

  int Read(int track, int c, int h, int r, int n, int maxLength, size_t bufferSize = 1024) {
    buffer.assign(bufferSize, kUntouched);
    return image.ReadSector(track, c, h, r, n, buffer.data(), maxLength);
  }
  int ReadRun(int track, int c, int h, int r, int n, int length, size_t bufferSize) {
    buffer.assign(bufferSize, kUntouched);
    return image.ReadSectors(track, c, h, r, n, buffer.data(), length);
  }
  // The whole buffer as it should be: `stored`, then untouched bytes.
  Bytes Expect(const Bytes& stored) const {
    Bytes out = stored;
    out.resize(buffer.size(), kUntouched);
    return out;
  }
  // No read of track 0's C0 H0 R1 N1 stores anything.
  void ExpectNothingReadable() {
    EXPECT_EQ(Read(0, 0, 0, 1, 1, 256), 0);
    EXPECT_EQ(buffer, Expect({}));
    EXPECT_EQ(ReadRun(0, 0, 0, 1, 1, 256, 512), 0);
    EXPECT_EQ(buffer, Expect({}));
  }

  ScopedTempDir dir;
  std::string path = dir.File("disk.d88");
  D88Image image;
  Bytes buffer;
};

// --- Little-endian fields ---

TEST(D88ImageLittleEndian, TakesTheLeastSignificantByteFirst) {
  struct Case {
    std::array<uint8_t, 4> bytes;
    uint16_t le16;
    int32_t le32;
  };
  const Case cases[] = {
      {{0x34, 0x12, 0x00, 0x00}, 0x1234, 0x1234},
      {{0x78, 0x56, 0x34, 0x12}, 0x5678, 0x12345678},
      {{0xFF, 0xFF, 0x00, 0x00}, 0xFFFF, 0xFFFF},      // top bit of 16 set
      {{0x00, 0x80, 0xFF, 0x7F}, 0x8000, 0x7FFF8000},  // the largest offsets
      {{0x00, 0x00, 0x00, 0x80}, 0x0000, INT32_MIN},   // top bit of 32 set
      {{0x50, 0xFD, 0xFF, 0xFF}, 0xFD50, -688},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFF, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    EXPECT_EQ(ReadLE16(c.bytes.data()), c.le16);
    EXPECT_EQ(ReadLE32(c.bytes.data()), c.le32);
  }
}

// --- Construction, opening and closing ---

TEST(D88ImageConstruction, StartsEmptyWhateverItsMemoryHeld) {
  alignas(D88Image) unsigned char storage[sizeof(D88Image)];
  // Called through a volatile pointer so that the compiler cannot drop the
  // fill as a store to memory that is about to hold a new object.
  void* (*volatile fill)(void*, int, size_t) = std::memset;
  fill(storage, 0xA5, sizeof storage);
  D88Image* image = new (storage) D88Image;

  EXPECT_FALSE(image->IsOpen());
  EXPECT_EQ(image->DiskCount(), 0);
  EXPECT_EQ(image->FirstSector(), 1);
  EXPECT_EQ(image->LastSector(), 16);
  EXPECT_EQ(image->DiskSize(), 0);
  EXPECT_EQ(image->DiskBase(), 0);
  EXPECT_EQ(image->MediaType(), -1);
  for (int i = 0; i < kMaxDisks; ++i) {
    EXPECT_EQ(image->DiskOffset(i), 0) << "disk " << i;
  }
  for (int i = 0; i < kMaxTracks; ++i) {
    EXPECT_EQ(image->TrackOffset(i), 0) << "track " << i;
  }
  for (int i = 0; i <= kDiskNameLength; ++i) {
    EXPECT_EQ(image->DiskName()[i], '\0') << "name byte " << i;
  }
  image->~D88Image();
}

TEST_F(D88ImageTest, OpenFailsOnWhatIsNotAReadableFile) {
  struct Case {
    const char* what;
    std::string path;
  };
  const Case cases[] = {
      {"a missing file", dir.File("missing.d88")},
      {"a directory", dir.path()},
#ifndef _WIN32
      {"a device", "/dev/zero"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    D88Image fresh;
    EXPECT_FALSE(fresh.Open(c.path.c_str()));
    EXPECT_NE(fresh.OpenError(), 0);
    EXPECT_FALSE(fresh.IsOpen());
    EXPECT_EQ(fresh.DiskCount(), 0);
    EXPECT_FALSE(fresh.SelectDisk(0));
  }
}

#ifndef _WIN32
// Windows has no named pipes in directories; its devices are tried in
// windows_test.cpp.
TEST_F(D88ImageTest, OpenRefusesANamedPipeWithoutWaitingForAWriter) {
  const std::string pipe = dir.File("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::promise<void> returned;
  std::atomic<bool> released{false};
  // Should Open wait for a writer, one turns up after a while, so that the
  // test fails instead of hanging.
  std::thread writer([&pipe, &released, done = returned.get_future()] {
    if (done.wait_for(std::chrono::seconds(2)) == std::future_status::timeout) {
      released = true;
      const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) {
        close(fd);
      }
    }
  });
  D88Image fresh;
  const bool opened = fresh.Open(pipe.c_str());
  returned.set_value();
  writer.join();
  EXPECT_FALSE(opened);
  EXPECT_FALSE(fresh.IsOpen());
  EXPECT_FALSE(released) << "Open waited for a writer";
}
#endif

TEST_F(D88ImageTest, OpenClosesTheEarlierImage) {
  ASSERT_TRUE(Open(BuildImage({Named("FIRST"), Named("SECOND")})));
  ASSERT_EQ(image.DiskCount(), 2);
  const int firstFd = fileno(image.ImageStream());

  const std::string other = dir.File("other.d88");
  WriteBytes(other, BuildDisk(Named("OTHER")));
  ASSERT_TRUE(image.Open(other.c_str()));
  EXPECT_EQ(image.DiskCount(), 1);
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_STREQ(image.DiskName(), "OTHER");
  // Either the earlier descriptor is closed or it was freed and reused.
  EXPECT_TRUE(fileno(image.ImageStream()) == firstFd || !DescriptorIsOpen(firstFd));

  // A failed open still closes what was open before it.
  const int otherFd = fileno(image.ImageStream());
  EXPECT_FALSE(image.Open(dir.File("missing.d88").c_str()));
  EXPECT_FALSE(image.IsOpen());
  EXPECT_EQ(image.DiskCount(), 0);
  EXPECT_FALSE(DescriptorIsOpen(otherFd));
}

TEST_F(D88ImageTest, ClosingKeepsTheNameButNothingCanBeRead) {
  Disk disk = OneSectorDisk("KEPT", SectorData(0, 1, 1));
  disk.mediaType = 0x20;
  ASSERT_TRUE(Load(disk));
  ASSERT_EQ(Read(0, 0, 0, 1, 1, 256), 256);
  const int fd = fileno(image.ImageStream());

  EXPECT_TRUE(image.Open(nullptr));
  EXPECT_FALSE(image.IsOpen());
  EXPECT_FALSE(DescriptorIsOpen(fd));
  EXPECT_EQ(image.DiskCount(), 0);
  EXPECT_EQ(image.MediaType(), -1);
  EXPECT_STREQ(image.DiskName(), "KEPT");
  EXPECT_EQ(image.DiskBase(), 0);
  EXPECT_EQ(image.DiskSize(), 688 + 16 + 256);
  EXPECT_EQ(image.TrackOffset(0), 688);
  ExpectNothingReadable();

  // With no file, selecting fails and leaves the disk's fields alone.
  EXPECT_FALSE(image.SelectDisk(0));
  EXPECT_STREQ(image.DiskName(), "KEPT");
  EXPECT_EQ(image.DiskBase(), 0);
}

TEST_F(D88ImageTest, ClosingAReaderThatWasNeverOpenedIsHarmless) {
  EXPECT_TRUE(image.Open(nullptr));
  EXPECT_FALSE(image.IsOpen());
  EXPECT_EQ(image.DiskCount(), 0);
  EXPECT_EQ(image.MediaType(), -1);
  EXPECT_STREQ(image.DiskName(), "");
  EXPECT_TRUE(image.Open(nullptr));
}

TEST_F(D88ImageTest, NothingIsReadBeforeADiskIsSelected) {
  ASSERT_TRUE(Open(BuildDisk(OneSectorDisk("DISK", SectorData(0, 1, 1)))));
  ExpectNothingReadable();
}

// --- The table of disks ---

TEST_F(D88ImageTest, WalksTheDisksBySizeField) {
  const Disk header = Named("HEADER");                           // 688 bytes
  const Disk data = OneSectorDisk("DATA", SectorData(0, 1, 1));  // 960 bytes
  std::vector<Disk> many(65, header);
  std::vector<int32_t> everyHeader;
  for (int i = 0; i < kMaxDisks; ++i) {
    everyHeader.push_back(688 * i);
  }
  std::vector<int32_t> secondRepeated(kMaxDisks, 960);
  secondRepeated[0] = 0;

  struct Case {
    const char* what;
    Bytes bytes;
    std::vector<int32_t> offsets;  // one per disk counted
  };
  const std::vector<Case> cases = {
      {"an empty file", {}, {}},
      {"a header one byte short", Bytes(687, 0), {}},
      {"one disk", BuildDisk(header), {0}},
      {"three disks", BuildImage({data, header, data}), {0, 960, 1648}},
      {"the last header cut short",
       CutShort(BuildImage({data, header, data}), 960 - 687),
       {0, 960}},
      {"the last disk's tracks cut off",
       CutShort(BuildImage({data, header, data}), 960 - 688),
       {0, 960, 1648}},
      {"more than 64 disks", BuildImage(many), everyHeader},
      {"size 0 repeats the first header", BuildDisk(Named("ZERO", 0)),
       std::vector<int32_t>(kMaxDisks, 0)},
      {"size 0 repeats a later header", BuildImage({data, Named("ZERO", 0), data}), secondRepeated},
      // Without the stop, -960 would lead the walk back to the first disk.
      {"a negative size ends the walk after its disk",
       BuildImage({data, Named("BACK", static_cast<uint32_t>(-960)), data}),
       {0, 960}},
      {"size 2^31 ends the walk after its disk",
       BuildImage({Named("HUGE", 0x80000000u), header}),
       {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Open(c.bytes));
    const int count = static_cast<int>(c.offsets.size());
    ASSERT_EQ(image.DiskCount(), count);
    std::vector<int32_t> offsets;
    for (int i = 0; i < count; ++i) {
      offsets.push_back(image.DiskOffset(i));
    }
    EXPECT_EQ(offsets, c.offsets);
    EXPECT_FALSE(image.SelectDisk(count));
    if (count > 0) {
      EXPECT_TRUE(image.SelectDisk(count - 1));
    }
  }
}

TEST_F(D88ImageTest, WalkStopsBeforeTheOffsetPasses2GiB) {
  // Disk 1 starts just below 2^31 and its size would carry the next disk past
  // it. The file goes on with zeros there, a header whose size 0 would repeat
  // it up to 64 times if the walk went on.
  constexpr int64_t kSecondDisk = 0x7FFFFF00;
  constexpr int64_t kPastSecond = kSecondDisk + 0x400;
  const Bytes first = BuildDisk(Named("LOW", static_cast<uint32_t>(kSecondDisk)));
  Disk high = OneSectorDisk("HIGH", SectorData(0, 1, 1));
  high.size = 0x400;
  const Bytes second = BuildDisk(high);

  FILE* out = fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  // Written sparsely: only the headers and the one sector take space.
  const bool written = fwrite(first.data(), 1, first.size(), out) == first.size() &&
                       fseeko(out, kSecondDisk, SEEK_SET) == 0 &&
                       fwrite(second.data(), 1, second.size(), out) == second.size() &&
                       fseeko(out, kPastSecond + kDiskHeaderSize - 1, SEEK_SET) == 0 &&
                       fputc(0, out) == 0;
  const bool closed = fclose(out) == 0;
  if (!written || !closed) {
    GTEST_SKIP() << "the temporary folder cannot hold a 2 GiB sparse file";
  }

  ASSERT_TRUE(image.Open(path.c_str()));
  ASSERT_EQ(image.DiskCount(), 2);
  EXPECT_EQ(image.DiskOffset(1), kSecondDisk);
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_STREQ(image.DiskName(), "HIGH");
  EXPECT_EQ(image.DiskBase(), kSecondDisk);
  // The sector lies past 2^31 in the file.
  EXPECT_EQ(Read(0, 0, 0, 1, 1, 256), 256);
  EXPECT_EQ(buffer, Expect(SectorData(0, 1, 1)));
}

// --- Selecting a disk ---

TEST_F(D88ImageTest, SelectDiskReadsTheChosenDisksHeader) {
  Disk first = OneSectorDisk("FIRST", PatternBytes(256, 1));
  first.mediaType = 0x00;
  Disk second = OneSectorDisk("SECOND", PatternBytes(256, 2));
  second.mediaType = 0x10;
  Disk third = OneSectorDisk("THIRD", PatternBytes(256, 3));
  third.mediaType = 0xFF;
  third.writeProtect = 0x10;
  third.tracks[7].records.push_back(MakeRecord(3, 1, 1, 1, PatternBytes(256, 4)));
  ASSERT_TRUE(Open(BuildImage({first, second, third})));
  ASSERT_EQ(image.DiskCount(), 3);

  ASSERT_TRUE(image.SelectDisk(2));
  EXPECT_EQ(image.MediaType(), 0xFF);
  EXPECT_EQ(image.WriteProtection(), 0x10);
  EXPECT_EQ(Read(7, 3, 1, 1, 1, 256), 256);

  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_STREQ(image.DiskName(), "SECOND");
  EXPECT_EQ(image.MediaType(), 0x10);
  EXPECT_EQ(image.WriteProtection(), 0x00);
  EXPECT_EQ(image.DiskBase(), 960);
  EXPECT_EQ(image.DiskSize(), 960);
  EXPECT_EQ(image.TrackOffset(0), 688);
  // Track offsets count from the disk's own start.
  EXPECT_EQ(Read(0, 0, 0, 1, 1, 256), 256);
  EXPECT_EQ(buffer, Expect(PatternBytes(256, 2)));
  // The third disk's track 7 is gone with its header.
  EXPECT_EQ(image.TrackOffset(7), 0);
  EXPECT_EQ(Read(7, 3, 1, 1, 1, 256), 0);
}

TEST_F(D88ImageTest, DiskNameStopsAtSixteenCharactersOrANul) {
  struct Case {
    const char* what;
    std::string recorded;
    std::string expected;
  };
  const Case cases[] = {
      {"sixteen characters and no NUL", "SIXTEEN_CHARS_AB", "SIXTEEN_CHARS_AB"},
      {"bytes after a NUL", "AB\0CD"s, "AB"},
      {"an empty name", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The long name selected first must leave nothing behind.
    ASSERT_TRUE(Open(BuildImage({Named("ZZZZZZZZZZZZZZZZ"), Named(c.recorded)})));
    ASSERT_TRUE(image.SelectDisk(0));
    ASSERT_TRUE(image.SelectDisk(1));
    std::string expected = c.expected;
    expected.resize(kDiskNameLength + 1, '\0');
    EXPECT_EQ(std::string(image.DiskName(), kDiskNameLength + 1), expected);
  }
}

TEST_F(D88ImageTest, SelectDiskOnABadIndexLeavesNoCurrentDisk) {
  Disk disk = OneSectorDisk("DISK", SectorData(0, 1, 1));
  disk.mediaType = 0x20;
  for (int index : {1, -1, kMaxDisks, INT_MIN}) {
    SCOPED_TRACE(index);
    ASSERT_TRUE(Load(disk));
    ASSERT_EQ(Read(0, 0, 0, 1, 1, 256), 256);

    EXPECT_FALSE(image.SelectDisk(index));
    EXPECT_STREQ(image.DiskName(), "");
    EXPECT_EQ(image.MediaType(), -1);
    EXPECT_EQ(image.DiskSize(), 0);
    EXPECT_EQ(image.DiskBase(), -1);
    ExpectNothingReadable();
  }
}

// --- Locating a track ---

TEST_F(D88ImageTest, LocatesOnlyTracksInsideTheDisk) {
  // Disk 0 holds a decoy with the same identity just before disk 1, where a
  // negative offset from disk 1 would land.
  const Disk decoy = OneSectorDisk("DECOY", PatternBytes(256, 200));
  struct Case {
    const char* what;
    int track;
    std::optional<int32_t> offset;  // replaces the track's offset
    std::optional<uint32_t> size;   // replaces the disk's size field
    Bytes found;                    // empty: nothing is read
  };
  const Case cases[] = {
      {"track 0", 0, {}, {}, PatternBytes(256, 10)},
      {"track 163", 163, {}, {}, PatternBytes(256, 20)},
      {"track 164", 164, {}, {}, {}},
      {"track -1", -1, {}, {}, {}},
      {"offset 0", 0, 0, {}, {}},
      {"a negative offset", 0, -272, {}, {}},
      {"an offset equal to the disk size", 0, {}, 688, PatternBytes(256, 10)},
      {"an offset past the disk size", 0, {}, 687, {}},
      {"a negative disk size", 0, {}, 0x80000000u, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Track index and recorded identity need not agree: every sector here is
    // C0 H0 R1 N1.
    Disk disk = Named("DISK", c.size);
    disk.tracks[0].records.push_back(MakeRecord(0, 0, 1, 1, PatternBytes(256, 10)));
    disk.tracks[163].records.push_back(MakeRecord(0, 0, 1, 1, PatternBytes(256, 20)));
    if (c.offset) {
      disk.trackOffsets[0] = *c.offset;
    }
    ASSERT_TRUE(Open(BuildImage({decoy, disk})));
    ASSERT_TRUE(image.SelectDisk(1));

    EXPECT_EQ(Read(c.track, 0, 0, 1, 1, 256), static_cast<int>(c.found.size()));
    EXPECT_EQ(buffer, Expect(c.found));
  }
}

// --- Finding a sector ---

TEST_F(D88ImageTest, FindsTheFirstRecordWithTheExactIdentity) {
  Disk disk;
  disk.tracks[0].records = {
      MakeRecord(0, 0, 1, 1, PatternBytes(256, 1)),
      MakeRecord(0, 0, 1, 2, PatternBytes(512, 2)),
      // Shorter than its size code says: the length field decides the skip.
      MakeRecord(0, 0, 2, 1, PatternBytes(100, 3)),
      MakeRecord(1, 0, 2, 1, PatternBytes(256, 4)),
      MakeRecord(0, 1, 2, 1, PatternBytes(256, 5)),
      MakeRecord(0, 0, 2, 1, PatternBytes(256, 6)),  // hidden behind the third record
      MakeRecord(200, 255, 245, 3, PatternBytes(64, 7)),
  };
  // The next track in the file, past the end of track 0's records.
  disk.tracks[1].records = {MakeRecord(0, 0, 9, 1, PatternBytes(256, 8))};
  ASSERT_TRUE(Load(disk));

  struct Case {
    Id id;
    Bytes found;
  };
  const Case cases[] = {
      {{0, 0, 1, 1}, PatternBytes(256, 1)},
      {{0, 0, 1, 2}, PatternBytes(512, 2)},
      {{0, 0, 2, 1}, PatternBytes(100, 3)},
      {{1, 0, 2, 1}, PatternBytes(256, 4)},
      {{0, 1, 2, 1}, PatternBytes(256, 5)},
      {{200, 255, 245, 3}, PatternBytes(64, 7)},
      {{0, 0, 1, 3}, {}},
      {{0, 0, 9, 1}, {}},
      {{0, 0, 257, 1}, {}},
      {{-56, -1, -11, 3}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.id));
    EXPECT_EQ(Read(0, c.id.c, c.id.h, c.id.r, c.id.n, 1024), static_cast<int>(c.found.size()));
    EXPECT_EQ(buffer, Expect(c.found));
  }
}

TEST_F(D88ImageTest, StoresAtMostMaxLengthBytes) {
  Disk disk;
  disk.tracks[0].records = {MakeRecord(0, 0, 1, 1, PatternBytes(256, 1)),
                            MakeRecord(0, 0, 2, 1, {})};
  ASSERT_TRUE(Load(disk));
  struct Case {
    const char* what;
    int r;
    int maxLength;
    size_t stored;
  };
  const Case cases[] = {
      {"maxLength 0", 1, 0, 0},
      {"maxLength below the data", 1, 100, 100},
      {"maxLength equal to the data", 1, 256, 256},
      {"maxLength above the data", 1, 1000, 256},
      {"a record with no data", 2, 256, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Read(0, 0, 0, c.r, 1, c.maxLength), static_cast<int>(c.stored));
    EXPECT_EQ(buffer, Expect(Prefix(PatternBytes(256, 1), c.stored)));
  }
}

TEST_F(D88ImageTest, CountZeroEndsTheSearch) {
  Disk disk;
  // Even on the record asked for.
  disk.tracks[0].records = {WithCount(MakeRecord(0, 0, 1, 1, PatternBytes(256, 1)), 0)};
  // And on one before it.
  disk.tracks[1].records = {WithCount(MakeRecord(0, 1, 1, 1, PatternBytes(256, 2)), 0),
                            MakeRecord(0, 1, 2, 1, PatternBytes(256, 3))};
  ASSERT_TRUE(Load(disk));
  EXPECT_EQ(Read(0, 0, 0, 1, 1, 256), 0);
  EXPECT_EQ(Read(1, 0, 1, 2, 1, 256), 0);
  EXPECT_EQ(buffer, Expect({}));
}

TEST_F(D88ImageTest, EachRecordsOwnCountBoundsTheScan) {
  Disk disk;
  // Two records that claim five: the scan runs on into track 1's records.
  disk.tracks[0].records = {WithCount(SectorOf(0, 1, 1), 5), WithCount(SectorOf(0, 2, 1), 5)};
  // Three records that say three: the first of them is the scan's index 2,
  // which ends a scan that started in track 0.
  disk.tracks[1].records = {SectorOf(0, 5, 1), SectorOf(0, 6, 1), SectorOf(0, 7, 1)};
  // Three records, the first of which claims one.
  disk.tracks[2].records = {WithCount(SectorOf(2, 1, 1), 1), SectorOf(2, 2, 1), SectorOf(2, 3, 1)};
  ASSERT_TRUE(Load(disk));

  struct Case {
    const char* what;
    int track;
    Id id;
    Bytes found;
  };
  const Case cases[] = {
      {"track 1's first record, reached from track 0", 0, {0, 0, 5, 1}, SectorData(0, 5, 1)},
      {"a record past the one that ends the scan", 0, {0, 0, 6, 1}, {}},
      {"the same record from its own track", 1, {0, 0, 6, 1}, SectorData(0, 6, 1)},
      {"a record behind a count of 1", 2, {1, 0, 2, 1}, {}},
      {"the record holding the count of 1", 2, {1, 0, 1, 1}, SectorData(2, 1, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Read(c.track, c.id.c, c.id.h, c.id.r, c.id.n, 256), static_cast<int>(c.found.size()));
    EXPECT_EQ(buffer, Expect(c.found));
  }
}

TEST_F(D88ImageTest, ScanEndsAtTheEndOfTheFile) {
  Disk disk;
  // Counts that promise ten records; the file ends after two.
  disk.tracks[0].records = {WithCount(SectorOf(0, 1, 1), 10), WithCount(SectorOf(0, 2, 1), 10)};
  ASSERT_TRUE(Load(disk));
  EXPECT_EQ(Read(0, 0, 0, 9, 1, 256), 0);
  EXPECT_EQ(buffer, Expect({}));
}

TEST_F(D88ImageTest, SectorCutByTheEndOfTheFileReportsWhatArrived) {
  Disk disk;
  disk.tracks[0].records = {SectorOf(0, 1, 1), SectorOf(0, 2, 1)};
  // The file ends 100 bytes into the second sector's data.
  ASSERT_TRUE(Open(CutShort(BuildDisk(disk), 156)));
  ASSERT_TRUE(image.SelectDisk(0));

  EXPECT_EQ(Read(0, 0, 0, 2, 1, 256), 100);
  EXPECT_EQ(buffer, Expect(Prefix(SectorData(0, 2, 1), 100)));
  // In a run it is a short step: stored, not counted.
  EXPECT_EQ(ReadRun(0, 0, 0, 1, 1, 512, 1024), 256);
  EXPECT_EQ(buffer, Expect(Join({SectorData(0, 1, 1), Prefix(SectorData(0, 2, 1), 100)})));
}

// --- Runs of sectors ---

TEST_F(D88ImageTest, RunsStepThroughSectorsHeadsAndCylinders) {
  struct Span {
    int track, firstR, lastR;
  };
  struct Case {
    int first, last, n;  // sector range and size code
    int track, r, length;
    std::vector<Span> reads;
    const char* what;
  };
  const Case cases[] = {
      {1, 9, 2, 0, 1, 13824, {{0, 1, 9}, {1, 1, 9}, {2, 1, 9}}, "nine 512-byte sectors a track"},
      {1, 16, 1, 3, 1, 8192, {{3, 1, 16}, {4, 1, 16}}, "sixteen 256-byte sectors a track"},
      {1, 9, 2, 1, 8, 2048, {{1, 8, 9}, {2, 1, 2}}, "from late in head 1 to the next cylinder"},
      {3, 5, 0, 0, 3, 640, {{0, 3, 5}, {1, 3, 4}}, "a range that does not start at 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Disk disk;
    for (int track = c.track; track < c.track + 3; ++track) {
      // Last sector first: a sector is found by its identity, not its place.
      for (int r = c.last; r >= c.first; --r) {
        disk.tracks[track].records.push_back(SectorOf(track, r, c.n));
      }
    }
    ASSERT_TRUE(Load(disk));
    image.SetSectorRange(c.first, c.last);

    Bytes expected;
    for (const Span& span : c.reads) {
      for (int r = span.firstR; r <= span.lastR; ++r) {
        expected = Join({expected, SectorData(span.track, r, c.n)});
      }
    }
    ASSERT_EQ(expected.size(), static_cast<size_t>(c.length));
    EXPECT_EQ(ReadRun(c.track, c.track / 2, c.track % 2, c.r, c.n, c.length, c.length + 64),
              c.length);
    EXPECT_EQ(buffer, Expect(expected));
  }
}

TEST_F(D88ImageTest, LastStepReadsOnlyWhatTheLengthLeaves) {
  Disk disk;
  disk.tracks[0].records = {SectorOf(0, 1, 2), SectorOf(0, 2, 2)};
  ASSERT_TRUE(Load(disk));
  for (int length : {256, 700}) {
    SCOPED_TRACE(length);
    EXPECT_EQ(ReadRun(0, 0, 0, 1, 2, length, 1536), length);
    EXPECT_EQ(buffer, Expect(Prefix(Join({SectorData(0, 1, 2), SectorData(0, 2, 2)}), length)));
  }
}

TEST_F(D88ImageTest, ShortSectorInARunIsStoredButNotCounted) {
  Disk disk;
  disk.tracks[0].records = {SectorOf(0, 1, 1), MakeRecord(0, 0, 2, 1, PatternBytes(100, 50)),
                            SectorOf(0, 3, 1)};
  ASSERT_TRUE(Load(disk));
  EXPECT_EQ(ReadRun(0, 0, 0, 1, 1, 512, 1024), 256);
  // Bytes 256-355 hold the short sector; from 356 on the buffer is as it was.
  EXPECT_EQ(buffer, Expect(Join({SectorData(0, 1, 1), PatternBytes(100, 50)})));
}

TEST_F(D88ImageTest, RunEndsAtTheFirstMissingSectorOrItsLength) {
  Disk disk;
  for (int r = 1; r <= 12; ++r) {
    disk.tracks[0].records.push_back(SectorOf(0, r, 2));
  }
  for (int r = 1; r <= 9; ++r) {
    disk.tracks[1].records.push_back(SectorOf(1, r, 2));
  }
  ASSERT_TRUE(Load(disk));
  image.SetSectorRange(1, 9);

  struct Case {
    const char* what;
    int r, length;
    Bytes stored;
  };
  const Case cases[] = {
      {"length 0", 1, 0, {}},
      {"a negative length", 1, -512, {}},
      {"a first sector that is missing", 13, 1024, {}},
      // R10 is past the range's last sector: the run stays in track 0 and
      // stops where the track has no R13.
      {"a start above the range, ending at a missing R", 10, 2560,
       Join({SectorData(0, 10, 2), SectorData(0, 11, 2), SectorData(0, 12, 2)})},
      {"a start above the range, ending at its length", 10, 1024,
       Join({SectorData(0, 10, 2), SectorData(0, 11, 2)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadRun(0, 0, 0, c.r, 2, c.length, 4096), static_cast<int>(c.stored.size()));
    EXPECT_EQ(buffer, Expect(c.stored));
  }
}

// --- Walking a track's records ---

// The records a sector read visits, with their file offsets and headers.
TEST_F(D88ImageTest, RecordWalkVisitsWhatASectorReadScans) {
  Disk disk;
  Record marked = SectorOf(0, 2, 1);
  marked.density = 0x40;
  marked.deleted = 0x10;
  marked.status = 0xB0;
  disk.tracks[0].records = {SectorOf(0, 1, 1), marked, SectorOf(0, 3, 2)};
  // A count of 0 ends the walk before its record.
  disk.tracks[1].records = {SectorOf(1, 1, 1), WithCount(SectorOf(1, 2, 1), 0), SectorOf(1, 3, 1)};
  // Two records that claim five: the walk runs on into track 3, whose first
  // record is the walk's index 2 of a count of 3.
  disk.tracks[2].records = {WithCount(SectorOf(2, 1, 1), 5), WithCount(SectorOf(2, 2, 1), 5)};
  disk.tracks[3].records = {SectorOf(3, 1, 1), SectorOf(3, 2, 1), SectorOf(3, 3, 1)};
  // Counts that promise ten; the file ends 8 bytes into the third header.
  disk.tracks[4].records = {WithCount(SectorOf(4, 1, 0), 10), WithCount(SectorOf(4, 2, 0), 10),
                            WithCount(SectorOf(4, 3, 0), 10)};
  disk.trackOffsets[5] = 0x7FFFFFFF;  // past the disk's size
  const Bytes bytes = BuildDisk(disk);
  ASSERT_TRUE(Open(CutShort(bytes, 8 + 128)));
  ASSERT_TRUE(image.SelectDisk(0));

  struct Case {
    const char* what;
    int track;
    std::vector<Id> ids;
  };
  const Case cases[] = {
      {"a whole track", 0, {{0, 0, 1, 1}, {0, 0, 2, 1}, {0, 0, 3, 2}}},
      {"a count of 0", 1, {{0, 1, 1, 1}}},
      {"counts that run on into the next track", 2, {{1, 0, 1, 1}, {1, 0, 2, 1}, {1, 1, 1, 1}}},
      {"the file ending inside a record header", 4, {{2, 0, 1, 0}, {2, 0, 2, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordWalk walk;
    ASSERT_TRUE(image.StartRecordWalk(c.track, &walk));
    int64_t expectedAt = image.TrackOffset(c.track);
    std::vector<Id> ids;
    uint8_t header[kRecordHeaderSize];
    int64_t at = -1;
    while (image.NextRecord(&walk, header, &at)) {
      ids.push_back({header[0], header[1], header[2], header[3]});
      EXPECT_EQ(at, expectedAt);
      EXPECT_EQ(Bytes(header, header + kRecordHeaderSize),
                Bytes(bytes.begin() + at, bytes.begin() + at + kRecordHeaderSize));
      expectedAt += kRecordHeaderSize + ReadLE16(header + kRecordDataLength);
    }
    EXPECT_TRUE(walk.ended);
    EXPECT_EQ(ids, c.ids);
    EXPECT_FALSE(image.NextRecord(&walk, header, &at)) << "an ended walk stays ended";
  }
  // What the walk passed over, a sector read cannot find.
  EXPECT_EQ(Read(1, 0, 1, 3, 1, 256), 0);
  EXPECT_EQ(Read(2, 1, 1, 2, 1, 256), 0);
  EXPECT_EQ(Read(2, 1, 1, 1, 1, 256), 256);

  RecordWalk walk;
  EXPECT_FALSE(image.StartRecordWalk(5, &walk)) << "an offset past the disk's size";
  EXPECT_FALSE(image.StartRecordWalk(6, &walk)) << "no such track";
  ASSERT_TRUE(image.StartRecordWalk(0, &walk));
  image.Open(nullptr);
  uint8_t header[kRecordHeaderSize];
  int64_t at;
  EXPECT_FALSE(image.NextRecord(&walk, header, &at)) << "a closed image";
}

}  // namespace
