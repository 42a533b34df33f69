// The volume stage seen from outside: the built tool run on D88 images in a
// fresh folder with a fixed time zone, checking its output, the files it
// writes and their times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/d88_writer.h"
#include "testing/test_disk.h"
#include "testing/test_helpers.h"
#include "tests/expected_messages.h"
#ifndef _WIN32
#include "tests/failing_disk.h"
#endif
#include "tests/tool_runner.h"

namespace fs = std::filesystem;

namespace {

Disk DiskOf(const TestVolume& volume) {
  return MakeRecognisedDisk(volume.bytes, VolumeTestMainArea(), VolumeTestDemoArea());
}

// Writes the image into `dir` as `imageName` and runs the tool there on
// `argument` (the image's name unless given).
ToolRun RunOn(const ScopedTempDir& dir, const Disk& disk, const std::string& tz = "UTC",
              const std::string& imageName = "disk.d88", const std::string& argument = "") {
  WriteBytes(dir.File(imageName), BuildImage({disk}));
  return RunTool({argument.empty() ? imageName : argument}, dir.path(), tz);
}

size_t ClusterAt(int cluster) {
  return (static_cast<size_t>(cluster) + 4) * 1024;
}

// The first `length` bytes of the clusters `chain`, as laid out in `image`.
Bytes ChainBytes(const Bytes& image, const std::vector<int>& chain, size_t length) {
  Bytes bytes;
  for (int cluster : chain) {
    const Bytes data = Slice(image, ClusterAt(cluster), 1024);
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  bytes.resize(length);
  return bytes;
}

// Gives clusters first-last of the volume data of their own.
void FillClusters(TestVolume& volume, int first, int last) {
  for (int cluster = first; cluster <= last; ++cluster) {
    const Bytes data = MixedBytes(1024, static_cast<uint32_t>(cluster));
    std::copy(data.begin(), data.end(),
              volume.bytes.begin() + static_cast<long>(ClusterAt(cluster)));
  }
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

void ExpectFile(const ScopedTempDir& dir, const std::string& name, const Bytes& data, time_t time) {
  SCOPED_TRACE("file " + name);
  FileTimes times;
  ASSERT_TRUE(ReadFileTimes(dir.File(name), &times));
  ASSERT_TRUE(fs::is_regular_file(fs::u8path(dir.File(name))));
  // The times first: reading the file may move its access time.
  EXPECT_EQ(times.modified, time);
  EXPECT_EQ(times.accessed, time);
  EXPECT_EQ(ReadBytes(dir.File(name)), data);
}

bool HaveZone(const std::string& tz) {
  return tz == "UTC" || fs::exists("/usr/share/zoneinfo/" + tz);
}

#ifndef _WIN32
// Sets this process's local time zone for a while.
class ScopedLocalZone {
 public:
  explicit ScopedLocalZone(const char* tz) {
    const char* old = getenv("TZ");
    hadOld_ = old != nullptr;
    if (hadOld_) {
      old_ = old;
    }
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedLocalZone() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedLocalZone(const ScopedLocalZone&) = delete;
  ScopedLocalZone& operator=(const ScopedLocalZone&) = delete;

 private:
  bool hadOld_;
  std::string old_;
};

time_t LocalTime(int year, int month, int day, int hour, int minute) {
  struct tm local = {};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_isdst = -1;
  return mktime(&local);
}
#endif

TEST(VolumeEndToEnd, ListsAndWritesATypicalVolume) {
  ScopedTempDir dir;
  TestVolume volume;
  const Bytes readme = MixedBytes(300, 1);
  const Bytes big = MixedBytes(1025, 2);
  const Bytes split = MixedBytes(2600, 3);
  const Bytes patExe = MixedBytes(100, 4);
  const Bytes odd = MixedBytes(10, 5);
  volume.SetEntry(0, "MYDISK     ", kLabel, kTime, kDate, 0, 0);
  volume.AddFile(1, "README  TXT", kArchive, kTime, kDate, 2, readme);
  volume.SetEntry(2,
                  "\xE5"
                  "LD     TXT",
                  kArchive, kTime, kDate, 3, 100);
  // Clusters 3-4: the last byte is the first of cluster 4.
  volume.AddFile(3, "BIG     DAT", kArchive, DosTime(23, 59, 58), DosDate(1995, 12, 31), 3, big);
  // Out of order, from track 2 to track 27 and back to track 9.
  volume.StoreChain({5, 120, 37}, split);
  volume.SetEntry(4, "SPLIT   BIN", kArchive | kReadOnly, DosTime(6, 7, 8), DosDate(2020, 2, 29), 5,
                  2600);
  volume.SetEntry(5, "EMPTY      ", kArchive, 0, DosDate(1980, 1, 1), 0, 0);
  volume.SetEntry(6, "SUBDIR     ", kDirectory, kTime, kDate, 6, 0);
  volume.SetEntry(7, "PAT     COM", kArchive, kTime, kDate, 7, 100);
  volume.AddFile(8, "PAT     EXE", kArchive, kTime, kDate, 7, patExe);
  volume.AddFile(9, "ODD     DAT", kArchive, DosTime(25, 61, 62), DosDate(1990, 13, 31), 8, odd);
  // Entry 10 ends the directory; what follows it is never looked at.
  volume.AddFile(11, "AFTER   TXT", kArchive, kTime, kDate, 38, MixedBytes(10, 6));
  // An older, longer file of the same name is replaced.
  WriteBytes(dir.File("README.TXT"), MixedBytes(5000, 7));

  const ToolRun run = RunOn(dir, DiskOf(volume));

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, kHeader +
                         "MYDISK              0 1990/03/04 12:34:56 V    \n"
                         "README.TXT        300 1990/03/04 12:34:56 A    \n"
                         "BIG.DAT          1025 1995/12/31 23:59:58 A    \n"
                         "SPLIT.BIN        2600 2020/02/29 06:07:08 A R   \n"
                         "EMPTY               0 1980/01/01 00:00:00 A    \n"
                         "SUBDIR              0 1990/03/04 12:34:56 D    \n"
                         "PAT.EXE           100 1990/03/04 12:34:56 A    \n"
                         "ODD.DAT            10 1990/13/31 25:61:62 A    \n");
  EXPECT_EQ(dir.Entries(),
            (std::vector<std::string>{"BIG.DAT", "DEMO", "EMPTY", "MAIN", "ODD.DAT", "PAT.EXE",
                                      "README.TXT", "SPLIT.BIN", "disk.d88"}));
  ExpectFile(dir, "README.TXT", readme, kWhen);
  ExpectFile(dir, "BIG.DAT", big, 820454398);       // 1995-12-31 23:59:58
  ExpectFile(dir, "SPLIT.BIN", split, 1582956428);  // 2020-02-29 06:07:08
  ExpectFile(dir, "EMPTY", {}, 315532800);          // 1980-01-01 00:00:00
  ExpectFile(dir, "PAT.EXE", patExe, kWhen);
  // Month 13, day 31, 25:61:62 of 1990 comes to 1991-02-01 02:02:02.
  ExpectFile(dir, "ODD.DAT", odd, 665373722);
  // The read-only attribute is listed, not carried over.
  EXPECT_NE(fs::status(dir.File("SPLIT.BIN")).permissions() & fs::perms::owner_write,
            fs::perms::none);
}

// A name whose first byte is 0xE5 is recorded with 0x05 there, since 0xE5
// marks a deleted entry: 蕁蘂.TXT (E5 40 E5 41) as 05 40 E5 41. The tool
// lists, reports and writes it under its real name; an entry whose first
// byte is 0xE5 is still a deleted one.
TEST(VolumeEndToEnd, FirstByte05StandsForE5) {
  // The names as this system's files are named: their Shift_JIS bytes on
  // POSIX, UTF-8 on Windows, where the tool makes them from their
  // characters.
#ifdef _WIN32
  const std::string kanjiFile = "\xE8\x95\x81\xE8\x98\x82.TXT";  // 蕁蘂.TXT
  const std::string kanjiImage = "\xE8\x95\x81.D88";             // 蕁.D88
#else
  const std::string kanjiFile = "\xE5\x40\xE5\x41.TXT";
  const std::string kanjiImage = "\xE5\x40.D88";
#endif
  ScopedTempDir dir;
  TestVolume volume;
  const Bytes data = MixedBytes(1500, 1);
  volume.AddFile(0, "\x05\x40\xE5\x41    TXT", kArchive, kTime, kDate, 2, data);
  volume.SetEntry(1, "\xE5\x40\xE5\x41    BAK", kArchive, kTime, kDate, 4, 10);
  // The image's own name, and a name that is no plain file anywhere.
  volume.AddFile(2, "\x05\x40      D88", kArchive, kTime, kDate, 37, MixedBytes(10, 2));
  volume.SetEntry(3, "\x05\x40/     TXT", kArchive, kTime, kDate, 37, 10);

  const ToolRun run = RunOn(dir, DiskOf(volume), "UTC", kanjiImage);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kHeader +
                         "\xE5\x40\xE5\x41.TXT         1500 1990/03/04 12:34:56 A    \n"
                         "\xE5\x40.D88             10 1990/03/04 12:34:56 A    \n"
                         "\xE5\x40/.TXT            10 1990/03/04 12:34:56 A    \n");
  EXPECT_EQ(run.err,
            "image file would be overwritten, not written: \xE5\x40.D88\n"
            "unsafe file name, not written: \xE5\x40/.TXT\n");
  std::vector<std::string> expected = {"DEMO", "MAIN", kanjiFile, kanjiImage};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Entries(), expected);
  ExpectFile(dir, kanjiFile, data, kWhen);
}

TEST(VolumeEndToEnd, WritesFilesFromTheUpperTracksAndTheLastClusters) {
  ScopedTempDir dir;
  TestVolume volume;
  const Bytes far = MixedBytes(5000, 1);
  const Bytes last = MixedBytes(16 * 1024, 2);
  volume.AddFile(0, "FAR     BIN", kArchive, kTime, kDate, 200, far);   // clusters 200-204
  volume.AddFile(1, "LAST    BIN", kArchive, kTime, kDate, 340, last);  // 340-355, the disk's end

  const ToolRun run = RunOn(dir, DiskOf(volume));

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  ExpectFile(dir, "FAR.BIN", far, kWhen);
  ExpectFile(dir, "LAST.BIN", last, kWhen);
}

TEST(VolumeEndToEnd, MissingVolumeSectorsGiveZerosAtFullLength) {
  struct Case {
    const char* what;
    int track;
    int sector;                 // 0: the whole track
    size_t zerosFrom, zerosTo;  // volume bytes left zero
    int firstCluster, clusters;
  };
  const Case cases[] = {
      {"track 20 missing", 20, 0, 20 * 4608, 21 * 4608, 85, 7},
      // The track's read stops there, so R5-R9 stay zero.
      {"R5 of track 30 missing", 30, 5, 30 * 4608 + 4 * 512, 31 * 4608, 132, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;
    TestVolume volume;
    const Bytes data = MixedBytes(static_cast<size_t>(c.clusters) * 1024, 1);
    volume.AddFile(0, "HOLE    BIN", kArchive, kTime, kDate, c.firstCluster, data);
    volume.AddFile(1, "NEXT    BIN", kArchive, kTime, kDate, 300, MixedBytes(100, 2));
    Disk disk = DiskOf(volume);
    if (c.sector == 0) {
      disk.tracks.erase(c.track);
    } else {
      auto& records = disk.tracks[c.track].records;
      records.erase(std::remove_if(records.begin(), records.end(),
                                   [&](const Record& record) { return record.r == c.sector; }),
                    records.end());
    }

    const ToolRun run = RunOn(dir, disk);

    EXPECT_EQ(run.status, 0);
    Bytes expected = data;
    const size_t fileAt = ClusterAt(c.firstCluster);
    std::fill(expected.begin() + static_cast<long>(c.zerosFrom - fileAt),
              expected.begin() + static_cast<long>(c.zerosTo - fileAt), 0);
    ExpectFile(dir, "HOLE.BIN", expected, kWhen);
    ExpectFile(dir, "NEXT.BIN", MixedBytes(100, 2), kWhen);
  }
}

// The slots of tracks 3-8 are not the volume's: clusters whose data lies
// there get what the raw-area cuts left in the buffer.
TEST(VolumeEndToEnd, ClustersInTheRawAreaTracksHoldWhatTheCutsLeft) {
  ScopedTempDir dir;
  TestVolume volume;
  FillClusters(volume, 2, 355);
  volume.SetFat(9, 16);
  volume.SetFat(16, 36);
  volume.SetFat(36, 0xFFF);
  volume.SetEntry(0, "STALE   BIN", kArchive, kTime, kDate, 9, 3 * 1024);

  const ToolRun run = RunOn(dir, DiskOf(volume));

  EXPECT_EQ(run.status, 0);
  Bytes expected = Slice(volume.bytes, ClusterAt(9), 512);        // track 2, R9
  const Bytes demoEnd = Slice(VolumeTestDemoArea(), 13824, 512);  // the DEMO run's last bytes
  expected.insert(expected.end(), demoEnd.begin(), demoEnd.end());
  expected.resize(expected.size() + 1024 + 512, 0);  // cluster 16 and half of 36: never written
  const Bytes track9 = Slice(volume.bytes, 9 * 4608, 512);
  expected.insert(expected.end(), track9.begin(), track9.end());
  ExpectFile(dir, "STALE.BIN", expected, kWhen);
}

TEST(VolumeEndToEnd, MissingHeadSectorLeavesTheRawAreaBytesInItsPlace) {
  ScopedTempDir dir;
  TestVolume volume;
  FillClusters(volume, 2, 355);
  volume.SetFat(5, 0xFFF);
  volume.SetEntry(0, "HEAD    BIN", kArchive, kTime, kDate, 5, 1024);
  Disk disk = DiskOf(volume);
  // Tracks 0-2 are read as one run, which stops at track 2's R1: cluster 5
  // and the rest of track 2's slot keep the DEMO run's bytes.
  auto& records = disk.tracks[2].records;
  records.erase(records.begin());

  const ToolRun run = RunOn(dir, disk);

  EXPECT_EQ(run.status, 0);
  ExpectFile(dir, "HEAD.BIN", Slice(VolumeTestDemoArea(), ClusterAt(5), 1024), kWhen);
}

TEST(VolumeEndToEnd, ChainEndsAtTheSizeAnEndMarkTheDisksEdgeOrARepeat) {
  struct Case {
    const char* what;
    std::vector<std::pair<int, int>> fat;  // cluster, next
    uint16_t firstCluster;
    uint32_t size;
    std::vector<int> written;  // the clusters whose data the file gets
  };
  const Case cases[] = {
      {"size ends inside a cluster", {{40, 41}, {41, 0xFFF}}, 40, 1500, {40, 41}},
      {"0xFFF before the size leaves it short", {{40, 41}, {41, 0xFFF}}, 40, 5000, {40, 41}},
      {"0xFF8 is no end but lies past the disk", {{40, 0xFF8}}, 40, 5000, {40}},
      {"a free entry leads on to cluster 0", {}, 40, 5000, {40, 0}},
      {"cluster 1 is a cluster like the others", {}, 1, 5000, {1}},
      {"cluster 355 is the last on the disk", {{40, 355}, {355, 0xFFF}}, 40, 5000, {40, 355}},
      {"a chain leaving the disk stops", {{40, 356}}, 40, 5000, {40}},
      {"first cluster past the disk", {}, 356, 100, {}},
      {"first cluster 0x8000 is negative", {}, 0x8000, 100, {}},
      {"first cluster 0xFFFF is negative", {}, 0xFFFF, 100, {}},
      {"loop back to the first cluster", {{40, 41}, {41, 40}}, 40, 0x7FFFFFFF, {40, 41}},
      {"cluster pointing at itself", {{40, 40}}, 40, 0x7FFFFFFF, {40}},
      {"loop into the middle", {{40, 41}, {41, 42}, {42, 41}}, 40, 0x7FFFFFFF, {40, 41, 42}},
      {"size 0", {{40, 0xFFF}}, 40, 0, {}},
      {"negative size", {{40, 0xFFF}}, 40, 0x80000000u, {}},
  };
  // A looping chain must not write its way to 2 GiB.
  ScopedFileSizeLimit limit(16 * 1024 * 1024);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;
    TestVolume volume;
    FillClusters(volume, 2, 8);
    FillClusters(volume, 37, 355);
    // Clusters 0 and 1 end in track 1, R1-R3, past the directory's 64 entries.
    const Bytes low = MixedBytes(1536, 99);
    std::copy(low.begin(), low.end(), volume.bytes.begin() + 4608);
    const Bytes next = MixedBytes(10, 98);
    volume.AddFile(1, "NEXT    TXT", kArchive, kTime, kDate, 2, next);
    for (const auto& [cluster, value] : c.fat) {
      volume.SetFat(cluster, value);
    }
    volume.SetEntry(0, "CHAIN   BIN", kArchive, kTime, kDate, c.firstCluster, c.size);

    const ToolRun run = RunOn(dir, DiskOf(volume));

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const int64_t recorded = static_cast<int32_t>(c.size);
    const size_t length = static_cast<size_t>(
        std::min<int64_t>(std::max<int64_t>(recorded, 0), 1024 * int64_t(c.written.size())));
    ExpectFile(dir, "CHAIN.BIN", ChainBytes(volume.bytes, c.written, length), kWhen);
    // The walk goes on to the next entry.
    const std::string nextLine = "NEXT.TXT           10 1990/03/04 12:34:56 A    \n";
    ASSERT_GE(run.out.size(), nextLine.size());
    EXPECT_EQ(run.out.substr(run.out.size() - nextLine.size()), nextLine);
    ExpectFile(dir, "NEXT.TXT", next, kWhen);
  }
}

TEST(VolumeEndToEnd, NeverWritesOverTheImage) {
  enum How { kNamed, kNamedByFullPath, kLinkedTo };
  struct Case {
    const char* what;
    std::string imageName;
    How how;
    std::string blocked;  // the output that is the image
  };
  const Case cases[] = {
      {"image named DEMO", "DEMO", kNamed, "DEMO"},
      {"image named like a volume file", "README.TXT", kNamedByFullPath, "README.TXT"},
#ifndef _WIN32
      {"a volume file's name links to the image", "disk.d88", kLinkedTo, "README.TXT"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;
    TestVolume volume;
    const Bytes readme = MixedBytes(300, 1);
    const Bytes other = MixedBytes(50, 2);
    volume.AddFile(0, "README  TXT", kArchive, kTime, kDate, 2, readme);
    volume.AddFile(1, "OTHER   TXT", kArchive, kTime, kDate, 37, other);
    const Bytes image = BuildImage({DiskOf(volume)});
    if (c.how == kLinkedTo) {
      fs::create_symlink(c.imageName, dir.File("README.TXT"));
    }

    const ToolRun run = RunOn(dir, DiskOf(volume), "UTC", c.imageName,
                              c.how == kNamedByFullPath ? dir.File(c.imageName) : c.imageName);

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kHeader +
                           "README.TXT        300 1990/03/04 12:34:56 A    \n"
                           "OTHER.TXT          50 1990/03/04 12:34:56 A    \n");
    EXPECT_EQ(run.err, "image file would be overwritten, not written: " + c.blocked + "\n");
    FileTimes imageTimes;
    ASSERT_TRUE(ReadFileTimes(dir.File(c.imageName), &imageTimes));
    EXPECT_NE(imageTimes.modified, kWhen);
    EXPECT_EQ(ReadBytes(dir.File(c.imageName)), image);
    EXPECT_EQ(ReadBytes(dir.File("MAIN")), VolumeTestMainArea());
    if (c.blocked != "DEMO") {
      EXPECT_EQ(ReadBytes(dir.File("DEMO")), VolumeTestDemoArea());
    }
    if (c.blocked != "README.TXT") {
      ExpectFile(dir, "README.TXT", readme, kWhen);
    }
    if (c.how == kLinkedTo) {
      EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.File("README.TXT"))));
    }
    ExpectFile(dir, "OTHER.TXT", other, kWhen);
  }
}

enum class Blocker { kFolder, kFullDisk };

// Runs the tool on FIRST.TXT, SECOND.TXT of `size` bytes and THIRD.TXT, with
// `blocker` in the way of SECOND.TXT: the run must end there with the
// write-failure message, SECOND.TXT's listing line printed as `line`.
void ExpectWriteFailureEndsTheWalk(Blocker blocker, uint32_t size, const std::string& line) {
  ScopedTempDir dir;
  TestVolume volume;
  const Bytes first = MixedBytes(50, 1);
  volume.AddFile(0, "FIRST   TXT", kArchive, kTime, kDate, 2, first);
  volume.AddFile(1, "SECOND  TXT", kArchive, kTime, kDate, 40, MixedBytes(size, 2));
  volume.AddFile(2, "THIRD   TXT", kArchive, kTime, kDate, 37, MixedBytes(50, 3));
  ToolRun run;
  if (blocker == Blocker::kFolder) {
    fs::create_directory(dir.File("SECOND.TXT"));
    run = RunOn(dir, DiskOf(volume));
  } else {
#ifndef _WIN32
    WriteBytes(dir.File("disk.d88"), BuildImage({DiskOf(volume)}));
    run = RunProgramWithArgv(
        kFailingDiskStarter,
        OnFailingDisk({"D88_FAIL_WRITES_TO=SECOND.TXT"}, {ToolPath(), "disk.d88"}), dir.path());
#endif
  }

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kHeader + "FIRST.TXT          50 1990/03/04 12:34:56 A    \n" + line);
  EXPECT_EQ(run.err, kCannotWrite);
  ExpectFile(dir, "FIRST.TXT", first, kWhen);
  EXPECT_FALSE(Exists(dir.File("THIRD.TXT")));
}

// A file that cannot be made leaves its listing line unfinished.
TEST(VolumeEndToEnd, FileThatCannotBeMadeEndsTheWalk) {
  ExpectWriteFailureEndsTheWalk(Blocker::kFolder, 100,
                                "SECOND.TXT        100 1990/03/04 12:34:56 A    ");
}

#ifndef _WIN32
// A write that fails once more than 4 KiB of the file are written leaves
// the line unfinished. Up to 4 KiB the failure shows only when the file is
// closed, after the line is ended.
TEST(VolumeEndToEnd, FullDiskEndsTheWalk) {
  struct Case {
    uint32_t size;
    std::string line;
  };
  const Case cases[] = {
      {20000, "SECOND.TXT      20000 1990/03/04 12:34:56 A    "},
      {4097, "SECOND.TXT       4097 1990/03/04 12:34:56 A    "},
      {4096, "SECOND.TXT       4096 1990/03/04 12:34:56 A    \n"},
      {100, "SECOND.TXT        100 1990/03/04 12:34:56 A    \n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes");
    ExpectWriteFailureEndsTheWalk(Blocker::kFullDisk, c.size, c.line);
  }
}
#endif

TEST(VolumeEndToEnd, WalksAll64EntriesWithoutAnEndEntry) {
  ScopedTempDir dir;
  TestVolume volume;
  std::string listing;
  for (int i = 0; i < 64; ++i) {
    char name[12];
    snprintf(name, sizeof name, "F%02d     TXT", i);
    volume.AddFile(i, name, kArchive, kTime, kDate, 37 + i, MixedBytes(10 + i, i));
    listing += std::string(name, 3) + ".TXT            " + std::to_string(10 + i) +
               " 1990/03/04 12:34:56 A    \n";
  }
  // Entry 64 lies past the four sectors the directory is read from.
  volume.AddFile(64, "EXTRA   TXT", kArchive, kTime, kDate, 200, MixedBytes(10, 64));

  const ToolRun run = RunOn(dir, DiskOf(volume));

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kHeader + listing);
  EXPECT_EQ(dir.Entries().size(), 64u + 3u);
  ExpectFile(dir, "F00.TXT", MixedBytes(10, 0), kWhen);
  ExpectFile(dir, "F63.TXT", MixedBytes(73, 63), kWhen);
  EXPECT_FALSE(Exists(dir.File("EXTRA.TXT")));
}

TEST(VolumeEndToEnd, RecordedTimeIsLocalTime) {
  struct Case {
    const char* tz;
    time_t expected;  // 2001-07-15 08:30:00 there
  };
  const Case cases[] = {
      {"UTC", 995185800},
#ifndef _WIN32
      // Zones by name are the C library's on Linux; Windows takes TZ in the
      // C runtime's form (windows_test.cpp).
      {"Asia/Tokyo", 995153400},
      {"America/New_York", 995200200},  // summer time, UTC-4
#endif
  };
  for (const Case& c : cases) {
    if (!HaveZone(c.tz)) {
      GTEST_SKIP() << "no " << c.tz << " zone here (Debian package tzdata)";
    }
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tz);
    ScopedTempDir dir;
    TestVolume volume;
    volume.AddFile(0, "JULY    TXT", kArchive, DosTime(8, 30, 0), DosDate(2001, 7, 15), 2,
                   MixedBytes(10, 1));

    const ToolRun run = RunOn(dir, DiskOf(volume), c.tz);

    EXPECT_EQ(run.status, 0);
    // The listing shows the time as recorded, whatever the zone.
    EXPECT_EQ(run.out, kHeader + "JULY.TXT           10 2001/07/15 08:30:00 A    \n");
    ExpectFile(dir, "JULY.TXT", MixedBytes(10, 1), c.expected);
  }
}

#ifndef _WIN32
// 1:30 on 1 November 2020 happens twice in New York: first in summer time
// (05:30 UTC), then an hour later in standard time (06:30 UTC). glibc
// settles such an hour by the offset of its previous conversion, so the
// tool converts every listed entry, labels and directories too, in
// directory order, and no skipped entry: FIRST.TXT follows a label dated in
// December and gets standard time; SECOND.TXT follows a directory dated in
// July and gets summer time, though deleted and passed-over entries dated
// in December lie between.
TEST(VolumeEndToEnd, RepeatedHourIsConvertedAfterTheEntriesBeforeIt) {
  if (!HaveZone("America/New_York")) {
    GTEST_SKIP() << "no America/New_York zone here (Debian package tzdata)";
  }
  constexpr time_t kStandardTime = 1604212200;  // 2020-11-01 06:30:00 UTC
  constexpr time_t kSummerTime = 1604208600;    // 2020-11-01 05:30:00 UTC
  {
    ScopedLocalZone zone("America/New_York");
    LocalTime(2020, 12, 1, 12, 0);
    const time_t afterWinter = LocalTime(2020, 11, 1, 1, 30);
    LocalTime(2020, 7, 1, 12, 0);
    const time_t afterSummer = LocalTime(2020, 11, 1, 1, 30);
    if (afterWinter != kStandardTime || afterSummer != kSummerTime) {
      GTEST_SKIP() << "this C library does not settle a repeated hour by its previous "
                      "conversion, so the order of conversions cannot show";
    }
  }
  ScopedTempDir dir;
  TestVolume volume;
  const uint16_t repeated = DosTime(1, 30, 0);
  const uint16_t november = DosDate(2020, 11, 1);
  const uint16_t noon = DosTime(12, 0, 0);
  volume.SetEntry(0, "WINTER     ", kLabel, noon, DosDate(2020, 12, 1), 0, 0);
  volume.AddFile(1, "FIRST   TXT", kArchive, repeated, november, 2, MixedBytes(10, 1));
  volume.SetEntry(2, "SUMMER     ", kDirectory, noon, DosDate(2020, 7, 1), 0, 0);
  volume.SetEntry(3,
                  "\xE5"
                  "INTER  TXT",
                  kArchive, noon, DosDate(2020, 12, 1), 3, 10);
  volume.SetEntry(4, "PAT     COM", kArchive, noon, DosDate(2020, 12, 1), 3, 10);
  volume.AddFile(5, "SECOND  TXT", kArchive, repeated, november, 37, MixedBytes(10, 2));

  const ToolRun run = RunOn(dir, DiskOf(volume), "America/New_York");

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kHeader +
                         "WINTER              0 2020/12/01 12:00:00 V    \n"
                         "FIRST.TXT          10 2020/11/01 01:30:00 A    \n"
                         "SUMMER              0 2020/07/01 12:00:00 D    \n"
                         "SECOND.TXT         10 2020/11/01 01:30:00 A    \n");
  ExpectFile(dir, "FIRST.TXT", MixedBytes(10, 1), kStandardTime);
  ExpectFile(dir, "SECOND.TXT", MixedBytes(10, 2), kSummerTime);
}
#endif

}  // namespace
