// The reader remembers how far its last track scan got, and reads the image a
// window of bytes at a time. Neither may change what a read returns: whatever
// reads came before, wherever the window lies, and after the image is opened
// again or another disk is selected.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "d88/d88_image.h"
#include "testing/d88_writer.h"
#include "testing/test_helpers.h"
#include "tests/tool_runner.h"

namespace {

constexpr int kHeader = 688;

// One call of a read operation.
struct Call {
  enum Kind { kSector, kRun, kWalk } kind;
  int track, c, h, r, n, length;  // length: maxLength, run length or capacity
};

Call Sector(int track, int c, int h, int r, int n, int maxLength = 1024) {
  return {Call::kSector, track, c, h, r, n, maxLength};
}
Call RunOf(int track, int c, int h, int r, int n, int length) {
  return {Call::kRun, track, c, h, r, n, length};
}
// A record walk over the track, storing C, H, R, N of each record it gives
// until `capacity` bytes are used.
Call Walk(int track, int capacity = 64) {
  return {Call::kWalk, track, 0, 0, 0, 0, capacity};
}

struct Result {
  int value;
  Bytes buffer;  // the whole buffer, bytes the call did not store included
  bool operator==(const Result& other) const {
    return value == other.value && buffer == other.buffer;
  }
};

void PrintTo(const Result& result, std::ostream* out) {
  *out << result.value << ", buffer";
  for (size_t i = 0; i < result.buffer.size() && i < 8; ++i) {
    *out << " " << static_cast<int>(result.buffer[i]);
  }
  *out << " ... (" << result.buffer.size() << " bytes)";
}

std::ostream& operator<<(std::ostream& out, const Call& call) {
  const char* kinds[] = {"ReadSector", "ReadSectors", "a record walk"};
  return out << kinds[call.kind] << "(track " << call.track << ", C" << call.c << " H" << call.h
             << " R" << call.r << " N" << call.n << ", " << call.length << ")";
}

Result Do(D88Image& image, const Call& call) {
  Result result{0, Bytes(static_cast<size_t>(call.length) + 32, kUntouched)};
  uint8_t* buffer = result.buffer.data();
  switch (call.kind) {
    case Call::kSector:
      result.value =
          image.ReadSector(call.track, call.c, call.h, call.r, call.n, buffer, call.length);
      break;
    case Call::kRun:
      result.value =
          image.ReadSectors(call.track, call.c, call.h, call.r, call.n, buffer, call.length);
      break;
    case Call::kWalk: {
      RecordWalk walk;
      uint8_t header[kRecordHeaderSize];
      int64_t at = 0;
      if (image.StartRecordWalk(call.track, &walk)) {
        while (call.length - result.value >= 4 && image.NextRecord(&walk, header, &at)) {
          std::copy(header, header + 4, buffer + result.value);  // C, H, R, N
          result.value += 4;
        }
      }
      break;
    }
  }
  return result;
}

// `data` followed by untouched bytes, as Do() leaves a buffer of `call`.
Result Found(const Call& call, const Bytes& data) {
  Result result{static_cast<int>(data.size()), data};
  result.buffer.resize(static_cast<size_t>(call.length) + 32, kUntouched);
  return result;
}

struct D88ImageCacheTest : public ::testing::Test {
  void Load(const Bytes& bytes) {
    WriteBytes(path, bytes);
    ASSERT_TRUE(image.Open(path.c_str()));
    ASSERT_TRUE(image.SelectDisk(0));
  }
  // The call on a reader that has read nothing before it.
  Result Fresh(const Call& call) {
    D88Image fresh;
    EXPECT_TRUE(fresh.Open(path.c_str()));
    EXPECT_TRUE(fresh.SelectDisk(0));
    fresh.SetSectorRange(image.FirstSector(), image.LastSector());
    return Do(fresh, call);
  }

  ScopedTempDir dir;
  std::string path = dir.File("disk.d88");
  D88Image image;
};

TEST_F(D88ImageCacheTest, NoOrderOfReadsChangesWhatAReadGives) {
  Disk disk;
  // Track 0: sectors out of order, R1 in two sizes, R2 twice (the first
  // wins), and counts that carry the scan on into track 1.
  disk.tracks[0].records = {
      WithCount(MakeRecord(0, 0, 3, 1, PatternBytes(256, 3)), 9),
      WithCount(MakeRecord(0, 0, 1, 1, PatternBytes(256, 1)), 9),
      WithCount(MakeRecord(0, 0, 1, 2, PatternBytes(512, 11)), 9),
      WithCount(MakeRecord(0, 0, 2, 1, PatternBytes(256, 2)), 9),
      WithCount(MakeRecord(0, 0, 2, 1, PatternBytes(256, 99)), 9),
  };
  // Track 1: reached from track 0 as its records 5-7; a count of 0 hides
  // what follows it, and R4 lies only behind it.
  disk.tracks[1].records = {
      WithCount(MakeRecord(0, 0, 5, 1, PatternBytes(256, 5)), 9),
      WithCount(MakeRecord(0, 1, 1, 1, PatternBytes(256, 21)), 9),
      WithCount(MakeRecord(0, 1, 2, 1, PatternBytes(100, 22)), 0),
      WithCount(MakeRecord(0, 0, 4, 1, PatternBytes(256, 4)), 9),
  };
  // Track 2: sixteen sectors with honest counts, the file cut 56 bytes into
  // the last one.
  for (int r = 1; r <= 16; ++r) {
    disk.tracks[2].records.push_back(MakeRecord(1, 0, r, 1, PatternBytes(256, 40 + r)));
  }
  // Track 3 starts at track 0's second record; track 4 shares track 0's start.
  disk.trackOffsets[3] = kHeader + 272;
  disk.trackOffsets[4] = kHeader;
  Bytes bytes = BuildDisk(disk);
  bytes.resize(bytes.size() - 200);
  Load(bytes);

  struct Case {
    const char* what;
    int first, last;  // the sector range
    std::vector<Call> calls;
  };
  const Case cases[] = {
      {"one track in order, then backwards",
       1,
       16,
       {Sector(0, 0, 0, 1, 1), Sector(0, 0, 0, 2, 1), Sector(0, 0, 0, 3, 1), Sector(0, 0, 0, 5, 1),
        Sector(0, 0, 0, 4, 1), Sector(0, 0, 0, 3, 1), Sector(0, 0, 0, 2, 1),
        Sector(0, 0, 0, 1, 1)}},
      {"a sector past the track first, then those before it",
       1,
       16,
       {Sector(0, 0, 0, 5, 1), Sector(0, 0, 0, 2, 1), Sector(0, 0, 0, 1, 1, 100),
        Sector(0, 0, 0, 9, 1)}},
      {"the two sizes of R1 in turn",
       1,
       16,
       {Sector(0, 0, 0, 1, 2), Sector(0, 0, 0, 1, 1), Sector(0, 0, 0, 1, 2, 300),
        Sector(0, 0, 0, 2, 2), Sector(0, 0, 0, 3, 1)}},
      {"a count of 0: what lies before it and behind it",
       1,
       16,
       {Sector(1, 0, 1, 2, 1), Sector(1, 0, 1, 1, 1), Sector(1, 0, 0, 4, 1), Sector(1, 0, 0, 5, 1),
        Sector(0, 0, 0, 4, 1)}},
      {"tracks that share records, in turn",
       1,
       16,
       {Sector(3, 0, 0, 2, 1), Sector(0, 0, 0, 3, 1), Sector(3, 0, 0, 3, 1), Sector(4, 0, 0, 1, 1),
        Sector(0, 0, 0, 1, 1), Sector(4, 0, 0, 5, 1), Sector(3, 0, 0, 5, 1)}},
      {"record walks between reads",
       1,
       16,
       {Sector(0, 0, 0, 2, 1), Walk(0, 8), Sector(0, 0, 0, 5, 1), Walk(3), Sector(0, 0, 0, 3, 1),
        Walk(1)}},
      {"runs over tracks, then single sectors",
       1,
       3,
       {RunOf(0, 0, 0, 1, 1, 768), RunOf(0, 0, 0, 1, 1, 1024), Sector(0, 0, 0, 3, 1),
        RunOf(0, 0, 0, 3, 1, 512), Sector(0, 0, 0, 2, 1)}},
      {"the sector cut by the end of the file",
       1,
       16,
       {Sector(2, 1, 0, 16, 1), Sector(2, 1, 0, 1, 1), Sector(2, 1, 0, 16, 1),
        RunOf(2, 1, 0, 14, 1, 768), Sector(2, 1, 0, 17, 1)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Every case starts from a reader that has read something else.
    ASSERT_TRUE(image.Open(path.c_str()));
    ASSERT_TRUE(image.SelectDisk(0));
    image.SetSectorRange(c.first, c.last);
    Do(image, Sector(2, 1, 0, 8, 1));
    for (const Call& call : c.calls) {
      SCOPED_TRACE(::testing::PrintToString(call));
      EXPECT_EQ(Do(image, call), Fresh(call));
    }
  }
  // The fresh reader agrees with what the records say, so the comparison
  // above is not two readers sharing one fault.
  const std::vector<std::pair<Call, Bytes>> known = {
      {Sector(0, 0, 0, 2, 1), PatternBytes(256, 2)},
      {Sector(0, 0, 0, 5, 1), PatternBytes(256, 5)},
      {Sector(0, 0, 0, 4, 1), {}},
      {Sector(1, 0, 1, 2, 1), {}},
      {Sector(3, 0, 0, 2, 1), PatternBytes(256, 2)},
      {Sector(2, 1, 0, 16, 1), PatternBytes(56, 56)},
  };
  for (const auto& [call, data] : known) {
    SCOPED_TRACE(::testing::PrintToString(call));
    EXPECT_EQ(Fresh(call), Found(call, data));
  }
}

TEST_F(D88ImageCacheTest, TracksSharingRecordsCountFromTheirOwnStart) {
  // Five records that each say three: a scan ends at its own third record.
  Disk disk;
  for (int r = 1; r <= 5; ++r) {
    disk.tracks[0].records.push_back(
        WithCount(MakeRecord(0, 0, r, 1, PatternBytes(256, 10 * r)), 3));
  }
  disk.trackOffsets[1] = kHeader + 272;  // starts at R2
  disk.trackOffsets[2] = kHeader;        // starts where track 0 does
  Load(BuildDisk(disk));

  struct Step {
    int track, r;
    Bytes found;
  };
  const Step steps[] = {
      {0, 3, PatternBytes(256, 30)},
      {0, 4, {}},
      {1, 4, PatternBytes(256, 40)},
      {1, 5, {}},
      {0, 4, {}},
      {2, 4, {}},
      {2, 1, PatternBytes(256, 10)},
      {1, 1, {}},
      {1, 2, PatternBytes(256, 20)},
      {0, 5, {}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE("track " + std::to_string(step.track) + " R" + std::to_string(step.r));
    const Call call = Sector(step.track, 0, 0, step.r, 1);
    EXPECT_EQ(Do(image, call), Found(call, step.found));
  }
}

TEST_F(D88ImageCacheTest, ReadsTheNewImageAfterOpeningAgain) {
  Disk before;
  before.tracks[0].records = {MakeRecord(0, 0, 1, 1, PatternBytes(256, 1)),
                              MakeRecord(0, 0, 2, 1, PatternBytes(256, 2))};
  Disk after = before;
  after.tracks[0].records[0].data = PatternBytes(256, 7);
  after.tracks[0].records[1] = MakeRecord(0, 0, 3, 1, PatternBytes(256, 3));
  // Each way of starting afresh, after R1 and R2 of `before` were read and
  // the file was rewritten with `after` in place.
  struct Case {
    const char* what;
    bool (*again)(D88Image& image, const char* path);
  };
  // After Open alone the reads still follow the disk table selected before,
  // which fits the new image too.
  const Case cases[] = {
      {"Open again", [](D88Image& i, const char* p) { return i.Open(p); }},
      {"closed, then opened",
       [](D88Image& i, const char* p) { return i.Open(nullptr) && i.Open(p); }},
      {"Reset, then opened and a disk selected",
       [](D88Image& i, const char* p) {
         i.Reset();
         return i.Open(p) && i.SelectDisk(0);
       }},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Load(BuildDisk(before));
    const Call r1 = Sector(0, 0, 0, 1, 1);
    const Call r2 = Sector(0, 0, 0, 2, 1);
    const Call r3 = Sector(0, 0, 0, 3, 1);
    ASSERT_EQ(Do(image, r1), Found(r1, PatternBytes(256, 1)));
    ASSERT_EQ(Do(image, r2), Found(r2, PatternBytes(256, 2)));

    WriteBytes(path, BuildDisk(after));
    ASSERT_TRUE(c.again(image, path.c_str()));
    EXPECT_EQ(Do(image, r1), Found(r1, PatternBytes(256, 7)));
    EXPECT_EQ(Do(image, r2), Found(r2, {}));
    EXPECT_EQ(Do(image, r3), Found(r3, PatternBytes(256, 3)));
  }

  // A second disk laid out like the first, with the same track offsets:
  // every read follows the disk selected.
  Disk second = before;
  second.tracks[0].records[0].data = PatternBytes(256, 8);
  Load(BuildImage({before, second}));
  const Call r1 = Sector(0, 0, 0, 1, 1);
  ASSERT_EQ(Do(image, r1), Found(r1, PatternBytes(256, 1)));
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_EQ(Do(image, r1), Found(r1, PatternBytes(256, 8)));
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_EQ(Do(image, r1), Found(r1, PatternBytes(256, 1)));
}

// The window holds 64 KiB from where a read first needed it: here the track's
// start. A record header and sector data that cross its end, a sector longer
// than what is left of it, and a sector behind it read after it has moved on.
TEST_F(D88ImageCacheTest, WindowEdgesDoNotChangeWhatIsRead) {
  constexpr int kWindow = 64 * 1024;
  for (int header : {-20, -16, -15, -8, -1, 0, 1}) {
    SCOPED_TRACE("R2's header at " + std::to_string(header) + " from the window's end");
    // R1, a filler that brings R2's header to `header` bytes from the
    // window's end, R2 (1,000 bytes), R3 (65,535 bytes), R4.
    const int fillerData = kWindow + header - 272 - 16;
    Disk disk;
    disk.tracks[0].records = {
        MakeRecord(0, 0, 1, 1, PatternBytes(256, 1)),
        MakeRecord(9, 9, 9, 1, Bytes(static_cast<size_t>(fillerData), 0)),
        MakeRecord(0, 0, 2, 1, MixedBytes(1000, 2)),
        MakeRecord(0, 0, 3, 1, MixedBytes(65535, 3)),
        MakeRecord(0, 0, 4, 1, PatternBytes(256, 4)),
    };
    Load(BuildDisk(disk));

    const std::vector<std::pair<Call, Bytes>> reads = {
        {Sector(0, 0, 0, 1, 1), PatternBytes(256, 1)},
        {Sector(0, 0, 0, 2, 1, 1000), MixedBytes(1000, 2)},
        {Sector(0, 0, 0, 4, 1), PatternBytes(256, 4)},
        {Sector(0, 0, 0, 3, 1, 65535), MixedBytes(65535, 3)},
        {Sector(0, 0, 0, 2, 1, 1000), MixedBytes(1000, 2)},
        {Sector(0, 0, 0, 1, 1), PatternBytes(256, 1)},
        {Walk(0), {0, 0, 1, 1, 9, 9, 9, 1, 0, 0, 2, 1, 0, 0, 3, 1, 0, 0, 4, 1}},
    };
    for (const auto& [call, data] : reads) {
      SCOPED_TRACE(::testing::PrintToString(call));
      EXPECT_EQ(Do(image, call), Found(call, data));
    }
  }
}

}  // namespace
