// d88merge end to end: the built program run on sets of dumps made with the
// D88 writer and from the sample disk, each merged image read back record
// by record and checked against the sectors each dump holds; its report,
// its refusals of OUTPUT, and failures while it reads and writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "testing/d88_writer.h"
#include "testing/test_helpers.h"
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "tests/failing_disk.h"
#endif
#include "tests/tool_runner.h"

namespace {

namespace fs = std::filesystem;

constexpr char kOutput[] = "merged.d88";

const std::string kUsage =
    "Usage: d88merge [--json] [-f|--force] -o OUTPUT DUMP DUMP...\n"
    "Try 'd88merge --help' for more information.\n";

// One record of a merged image, as its header and data say.
struct ReadRecord {
  int c, h, r, n;
  int count;
  uint8_t density, deleted, status;
  Bytes data;
};

uint32_t LE16(const Bytes& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8);
}

uint32_t LE32(const Bytes& bytes, size_t at) {
  return LE16(bytes, at) | (LE16(bytes, at + 2) << 16);
}

// The tracks of the disk at `start` of a well-formed image, read by the
// count of each track's first record; the disk's size into `size`.
std::map<int, std::vector<ReadRecord>> ReadTracks(const Bytes& image, size_t start,
                                                  uint32_t* size) {
  std::map<int, std::vector<ReadRecord>> tracks;
  *size = LE32(image, start + 0x1C);
  for (int track = 0; track < 164; ++track) {
    const uint32_t offset = LE32(image, start + 0x20 + 4 * static_cast<size_t>(track));
    if (offset == 0) {
      continue;
    }
    size_t at = start + offset;
    std::vector<ReadRecord>& records = tracks[track];
    do {
      ReadRecord record;
      record.c = image.at(at);
      record.h = image.at(at + 1);
      record.r = image.at(at + 2);
      record.n = image.at(at + 3);
      record.count = static_cast<int>(LE16(image, at + 4));
      record.density = image.at(at + 6);
      record.deleted = image.at(at + 7);
      record.status = image.at(at + 8);
      const size_t length = LE16(image, at + 14);
      record.data = Slice(image, at + 16, length);
      records.push_back(record);
      at += 16 + length;
    } while (records.size() < static_cast<size_t>(records.front().count));
  }
  return tracks;
}

// Checks that the merged disk's tracks hold exactly `expected`'s records:
// their IDs, marks and data, each with the track's count.
void ExpectTracks(const std::map<int, std::vector<ReadRecord>>& tracks,
                  const std::map<int, Track>& expected) {
  ASSERT_EQ(tracks.size(), expected.size());
  for (const auto& [index, track] : expected) {
    SCOPED_TRACE("track " + std::to_string(index));
    ASSERT_EQ(tracks.count(index), 1u);
    const std::vector<ReadRecord>& got = tracks.at(index);
    ASSERT_EQ(got.size(), track.records.size());
    for (size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE("record " + std::to_string(i));
      const Record& want = track.records[i];
      EXPECT_EQ(got[i].c, want.c);
      EXPECT_EQ(got[i].h, want.h);
      EXPECT_EQ(got[i].r, want.r);
      EXPECT_EQ(got[i].n, want.n);
      EXPECT_EQ(got[i].count, static_cast<int>(got.size()));
      EXPECT_EQ(got[i].deleted, want.deleted);
      EXPECT_EQ(got[i].status, want.status);
      EXPECT_EQ(got[i].data, want.data);
    }
  }
}

// The dumps' base disk: tracks 0-3, each R1-R4 of 256 bytes (N1), each
// sector's data its own.
Record Good(int track, int r) {
  return MakeRecord(track / 2, track % 2, r, 1, MixedBytes(256, 100 + 16 * track + r));
}

Disk BaseDisk() {
  Disk disk;
  disk.name = "BASE";
  for (int track = 0; track < 4; ++track) {
    for (int r = 1; r <= 4; ++r) {
      disk.tracks[track].records.push_back(Good(track, r));
    }
  }
  return disk;
}

Record Marked(Record record, uint8_t status, uint8_t deleted, uint32_t seed) {
  record.status = status;
  record.deleted = deleted;
  record.data = MixedBytes(record.data.size(), seed);
  return record;
}

Record Bad(int track, int r, uint32_t seed = 7) {
  return Marked(Good(track, r), 0x10, 0, seed);
}

Record Other(int track, int r, uint32_t seed) {
  return Marked(Good(track, r), 0, 0, seed);
}

// Dump names in the folder: 1.d88, 2.d88...
std::string DumpName(size_t index) {
  return std::to_string(index + 1) + ".d88";
}

// Writes `dumps` into `dir` as 1.d88, 2.d88... and runs d88merge on them
// with `options` before them.
ToolRun MergeDumps(const ScopedTempDir& dir, const std::vector<Bytes>& dumps,
                   std::vector<std::string> options = {"-o", kOutput}) {
  for (size_t i = 0; i < dumps.size(); ++i) {
    WriteBytes(dir.File(DumpName(i)), dumps[i]);
  }
  for (size_t i = 0; i < dumps.size(); ++i) {
    options.push_back(DumpName(i));
  }
  return RunMerge(options, dir.path());
}

std::vector<std::string> DumpNames(size_t count, std::vector<std::string> others = {}) {
  for (size_t i = 0; i < count; ++i) {
    others.push_back(DumpName(i));
  }
  std::sort(others.begin(), others.end());
  return others;
}

struct MergeCase {
  const char* name;
  std::vector<Disk> dumps;
  std::map<int, Track> merged;  // the merged disk's tracks
  std::string report;
};

std::vector<MergeCase> MergeCases() {
  std::vector<MergeCase> cases;
  {
    Disk first = BaseDisk();
    first.tracks[1].records[1] = Bad(1, 2);
    cases.push_back({"a sector bad in one dump and good in another",
                     {first, BaseDisk()},
                     BaseDisk().tracks,
                     "disk 1, track 1, C0 H1 R2 N1: recovered from dump 2\n"
                     "16 sectors in 1 disk: 1 recovered, 0 conflicts, 0 unrecovered\n"});
  }
  {
    Disk lacking = BaseDisk();
    auto& records = lacking.tracks[2].records;
    records.erase(records.begin() + 2);
    Disk merged = lacking;
    merged.tracks[2].records.push_back(Good(2, 3));
    cases.push_back({"missing in dump 1 and 2, present in dump 3",
                     {lacking, lacking, BaseDisk()},
                     merged.tracks,
                     "disk 1, track 2, C1 H0 R3 N1: recovered from dump 3\n"
                     "16 sectors in 1 disk: 1 recovered, 0 conflicts, 0 unrecovered\n"});
  }
  {
    // R1 short, R2 deleted, R3 with a status, in both dumps: dump 1's copy
    // stays, the others' bytes differing or not.
    Disk first = BaseDisk();
    Disk second = BaseDisk();
    Record shortOne = Good(0, 1);
    shortOne.data.resize(100);
    first.tracks[0].records[0] = shortOne;
    second.tracks[0].records[0] = shortOne;
    first.tracks[0].records[1] = Marked(Good(0, 2), 0, 0x10, 1);
    second.tracks[0].records[1] = Marked(Good(0, 2), 0, 0x10, 2);
    first.tracks[0].records[2] = Marked(Good(0, 3), 0x40, 0, 3);
    second.tracks[0].records[2] = Marked(Good(0, 3), 0x40, 0, 4);
    cases.push_back({"short, deleted or with a status in every dump",
                     {first, second},
                     first.tracks,
                     "disk 1, track 0, C0 H0 R1 N1: unrecovered\n"
                     "disk 1, track 0, C0 H0 R2 N1: unrecovered\n"
                     "disk 1, track 0, C0 H0 R3 N1: unrecovered\n"
                     "16 sectors in 1 disk: 0 recovered, 0 conflicts, 3 unrecovered\n"});
  }
  {
    // R1: good copies that differ, dump 1's kept; every dump with a good
    // copy is named, the one that agrees with dump 1 too. R2: bad in dump 1,
    // good and different in dumps 2 and 3: recovered from 2, and a
    // conflict. R3: good and the same in all three.
    Disk first = BaseDisk();
    Disk second = BaseDisk();
    Disk third = BaseDisk();
    second.tracks[3].records[0] = Other(3, 1, 11);
    first.tracks[3].records[1] = Bad(3, 2);
    second.tracks[3].records[1] = Other(3, 2, 12);
    third.tracks[3].records[1] = Other(3, 2, 13);
    Disk merged = BaseDisk();
    merged.tracks[3].records[1] = Other(3, 2, 12);
    cases.push_back({"good copies that differ",
                     {first, second, third},
                     merged.tracks,
                     "disk 1, track 3, C1 H1 R1 N1: conflict: dumps 1, 2, 3 hold good copies that "
                     "differ\n"
                     "disk 1, track 3, C1 H1 R2 N1: recovered from dump 2\n"
                     "disk 1, track 3, C1 H1 R2 N1: conflict: dumps 2, 3 hold good copies that "
                     "differ\n"
                     "16 sectors in 1 disk: 1 recovered, 2 conflicts, 0 unrecovered\n"});
  }
  {
    // Each dump has R1 twice in track 0: the first is its copy, the second
    // shadowed. Dump 1's shadowed record stays where it is, as it is; dump
    // 2's good shadowed record, though it differs, is no conflict.
    Disk first = BaseDisk();
    Disk second = BaseDisk();
    first.tracks[0].records[0] = Bad(0, 1);
    first.tracks[0].records.push_back(Other(0, 1, 21));
    second.tracks[0].records.push_back(Other(0, 1, 22));
    Disk merged = first;
    merged.tracks[0].records[0] = Good(0, 1);
    cases.push_back({"a shadowed duplicate",
                     {first, second},
                     merged.tracks,
                     "disk 1, track 0, C0 H0 R1 N1: recovered from dump 2\n"
                     "16 sectors in 1 disk: 1 recovered, 0 conflicts, 0 unrecovered\n"});
  }
  {
    // Dump 1 has no track 2; dump 2's walk of it is the base, with its bad
    // R2 taken from dump 3.
    Disk first = BaseDisk();
    first.tracks.erase(2);
    Disk second = BaseDisk();
    second.tracks[2].records[1] = Bad(2, 2);
    cases.push_back({"a track dump 1 lacks",
                     {first, second, BaseDisk()},
                     BaseDisk().tracks,
                     "disk 1, track 2, C1 H0 R1 N1: recovered from dump 2\n"
                     "disk 1, track 2, C1 H0 R2 N1: recovered from dump 3\n"
                     "disk 1, track 2, C1 H0 R3 N1: recovered from dump 2\n"
                     "disk 1, track 2, C1 H0 R4 N1: recovered from dump 2\n"
                     "16 sectors in 1 disk: 4 recovered, 0 conflicts, 0 unrecovered\n"});
  }
  {
    // Dump 2 has two sectors dump 1 lacks, one bad: they follow dump 1's
    // walk in dump 2's order, the bad one as it is.
    Disk second = BaseDisk();
    second.tracks[1].records.push_back(Bad(1, 9));
    second.tracks[1].records.push_back(Good(1, 5));
    Disk merged = second;
    cases.push_back({"added sectors",
                     {BaseDisk(), second},
                     merged.tracks,
                     "disk 1, track 1, C0 H1 R9 N1: unrecovered\n"
                     "disk 1, track 1, C0 H1 R5 N1: recovered from dump 2\n"
                     "18 sectors in 1 disk: 1 recovered, 0 conflicts, 1 unrecovered\n"});
  }
  {
    // A sector of N2 holding 256 bytes with a length field of 512 is cut
    // short by the disk's end; a record of N2 holding its 512 in another
    // dump is good.
    Disk first = BaseDisk();
    Record cut = MakeRecord(1, 1, 7, 2, MixedBytes(300, 31));
    cut.dataLength = 512;
    first.tracks[3].records.push_back(cut);
    first.size = static_cast<uint32_t>(BuildDisk(first).size());
    Disk second = BaseDisk();
    const Record whole = MakeRecord(1, 1, 7, 2, MixedBytes(512, 32));
    second.tracks[3].records.push_back(whole);
    Disk merged = BaseDisk();
    merged.tracks[3].records.push_back(whole);
    cases.push_back({"a sector cut short by the disk's end",
                     {first, second},
                     merged.tracks,
                     "disk 1, track 3, C1 H1 R7 N2: recovered from dump 2\n"
                     "17 sectors in 1 disk: 1 recovered, 0 conflicts, 0 unrecovered\n"});
  }
  return cases;
}

TEST(MergeTest, MergesEachSetOfDumps) {
  for (const MergeCase& c : MergeCases()) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    std::vector<Bytes> dumps;
    for (const Disk& disk : c.dumps) {
      dumps.push_back(BuildDisk(disk));
    }
    const ToolRun run = MergeDumps(dir, dumps);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, c.report);
    EXPECT_EQ(dir.Entries(), DumpNames(dumps.size(), {kOutput}));
    for (size_t i = 0; i < dumps.size(); ++i) {
      EXPECT_EQ(ReadBytes(dir.File(DumpName(i))), dumps[i]);
    }
    const Bytes merged = ReadBytes(dir.File(kOutput));
    ASSERT_GE(merged.size(), 688u);
    uint32_t size = 0;
    const auto tracks = ReadTracks(merged, 0, &size);
    EXPECT_EQ(size, merged.size());
    ExpectTracks(tracks, c.merged);
    // The header's bytes before the size are dump 1's.
    EXPECT_EQ(Prefix(merged, 0x1C), Prefix(dumps[0], 0x1C));
  }
}

// A merge of the same dumps in the same order gives the same bytes, and a
// merged image merged again with its dumps is itself.
TEST(MergeTest, MergingIsRepeatable) {
  ScopedTempDir dir;
  Disk first = BaseDisk();
  first.tracks[0].records[2] = Bad(0, 3);
  Disk second = BaseDisk();
  second.tracks[2].records[0] = Bad(2, 1);
  second.tracks[1].records.push_back(Good(1, 5));
  const ToolRun run = MergeDumps(dir, {BuildDisk(first), BuildDisk(second)});
  ASSERT_EQ(run.status, 0) << run.err;
  const Bytes merged = ReadBytes(dir.File(kOutput));
  const ToolRun again = RunMerge({"-o", "again.d88", "1.d88", "2.d88"}, dir.path());
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(ReadBytes(dir.File("again.d88")), merged);
  const ToolRun twice = RunMerge({"-o", "twice.d88", kOutput, "1.d88", "2.d88"}, dir.path());
  ASSERT_EQ(twice.status, 0) << twice.err;
  EXPECT_EQ(ReadBytes(dir.File("twice.d88")), merged);
  EXPECT_EQ(twice.out, "17 sectors in 1 disk: 0 recovered, 0 conflicts, 0 unrecovered\n");
}

// Every disk of dump 1 while its headers are plausible; a dump's disk that
// is not plausible takes no part.
TEST(MergeTest, MergesEachDiskOfTheFirstDump) {
  ScopedTempDir dir;
  Disk second = BaseDisk();
  second.name = "SECOND";
  second.mediaType = 0x20;
  Disk secondBad = second;
  secondBad.tracks[3].records[3] = Bad(3, 4);
  Disk firstBad = BaseDisk();
  firstBad.tracks[0].records[0] = Bad(0, 1);
  Disk notPlausible = BaseDisk();
  notPlausible.mediaType = 0x55;
  Disk third = BaseDisk();
  third.name = "THIRD";
  third.mediaType = 0x77;  // ends dump 1's disks
  const std::vector<Bytes> dumps = {
      BuildImage({firstBad, secondBad, third}),
      BuildImage({BaseDisk(), notPlausible}),
      BuildImage({firstBad, second}),
  };
  const ToolRun run = MergeDumps(dir, dumps);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "disk 1, track 0, C0 H0 R1 N1: recovered from dump 2\n"
            "disk 2, track 3, C1 H1 R4 N1: recovered from dump 3\n"
            "32 sectors in 2 disks: 2 recovered, 0 conflicts, 0 unrecovered\n");
  const Bytes merged = ReadBytes(dir.File(kOutput));
  EXPECT_EQ(merged, BuildImage({BaseDisk(), second}));
}

// A track entry names a track only from 672 on and before the disk's end;
// entries 160-163 too when the header has room for them.
TEST(MergeTest, WhichEntriesNameATrack) {
  ScopedTempDir dir;
  Disk first = BaseDisk();
  // Track 5's offset is negative, track 6's the disk's end: neither names a
  // track.
  const int32_t size = static_cast<int32_t>(BuildDisk(first).size());
  first.trackOffsets[5] = -16;
  first.trackOffsets[6] = size;
  Disk second = BaseDisk();
  second.tracks[160].records.push_back(Good(160, 1));  // tracks start at 688: room for it
  const std::vector<Bytes> dumps = {BuildDisk(first), BuildDisk(second)};
  const ToolRun run = MergeDumps(dir, dumps);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "disk 1, track 160, C80 H0 R1 N1: recovered from dump 2\n"
            "17 sectors in 1 disk: 1 recovered, 0 conflicts, 0 unrecovered\n");
  Disk merged = BaseDisk();
  merged.tracks[160].records.push_back(Good(160, 1));
  uint32_t mergedSize = 0;
  ExpectTracks(ReadTracks(ReadBytes(dir.File(kOutput)), 0, &mergedSize), merged.tracks);
}

// The file offsets of the record headers of track `track` of the first
// disk of a well-formed image.
std::vector<size_t> RecordOffsets(const Bytes& image, int track) {
  std::vector<size_t> offsets;
  size_t at = LE32(image, 0x20 + 4 * static_cast<size_t>(track));
  const size_t count = LE16(image, at + 4);
  for (size_t i = 0; i < count; ++i) {
    offsets.push_back(at);
    at += 16 + LE16(image, at + 14);
  }
  return offsets;
}

// `image` with record `index` of `track` marked and its data changed, as a
// drive that read it badly would leave it.
Bytes Damaged(Bytes image, int track, int index, uint8_t status, uint8_t deleted) {
  const size_t at = RecordOffsets(image, track).at(static_cast<size_t>(index));
  image[at + 7] = deleted;
  image[at + 8] = status;
  for (size_t i = at + 16; i < at + 16 + LE16(image, at + 14); ++i) {
    image[i] ^= 0x5A;
  }
  return image;
}

// "disk 1, track T, Cc Hh Rr Nn: " for record `index` of `track`.
std::string Place(const Bytes& image, int track, int index) {
  const size_t at = RecordOffsets(image, track).at(static_cast<size_t>(index));
  return "disk 1, track " + std::to_string(track) + ", C" + std::to_string(image[at]) + " H" +
         std::to_string(image[at + 1]) + " R" + std::to_string(image[at + 2]) + " N" +
         std::to_string(image[at + 3]) + ": ";
}

// Three dumps of the sample, each bad where another is good: the merge is
// the sample itself, its report names the sectors it took and ends as
// d88info's report of the sample does, d88cut writes every file from it as
// from the sample, and d88info calls each intact.
TEST(MergeTest, MergesDumpsOfTheSample) {
  const Bytes sample = ReadBytes(D88CUT_SOURCE_DIR "/examples/sample.d88");
  // Track 1 R4 is README.TXT's, R6 HELLO.COM's; track 2 R1 SCORES.DAT's;
  // track 3 R1 MAIN's.
  const Bytes first =
      Damaged(Damaged(Damaged(sample, 1, 3, 0x10, 0), 1, 5, 0, 0x10), 3, 0, 0xB0, 0);
  const Bytes second = Damaged(Damaged(sample, 1, 3, 0x10, 0), 2, 0, 0x10, 0);
  const Bytes third = Damaged(Damaged(sample, 1, 5, 0x10, 0), 3, 0, 0x10, 0);
  ScopedTempDir dir;
  const ToolRun run = MergeDumps(dir, {first, second, third});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadBytes(dir.File(kOutput)), sample);
  const std::string report = RunInfo({"1.d88"}, dir.path()).out;
  EXPECT_NE(report.find("damaged"), std::string::npos) << report;
  const std::string sampleReport =
      RunInfo({D88CUT_SOURCE_DIR "/examples/sample.d88"}, dir.path()).out;
  const std::string outputs = sampleReport.substr(sampleReport.find("\noutputs:\n"));
  EXPECT_EQ(run.out,
            Place(sample, 1, 3) + "recovered from dump 3\n" + Place(sample, 1, 5) +
                "recovered from dump 2\n" + Place(sample, 3, 0) + "recovered from dump 2\n" +
                "763 sectors in 1 disk: 3 recovered, 0 conflicts, 0 unrecovered\n" + outputs);

  ScopedTempDir fromSample;
  ScopedTempDir fromMerged;
  const ToolRun cutSample = RunTool({D88CUT_SOURCE_DIR "/examples/sample.d88"}, fromSample.path());
  const ToolRun cutMerged = RunTool({dir.File(kOutput)}, fromMerged.path());
  EXPECT_EQ(cutMerged.status, 0);
  EXPECT_EQ(cutMerged.out, cutSample.out);
  EXPECT_EQ(fromMerged.Entries(), fromSample.Entries());
  EXPECT_EQ(fromMerged.Entries().size(), 5u);
  for (const std::string& name : fromSample.Entries()) {
    if (fs::is_regular_file(fs::u8path(fromSample.File(name)))) {
      EXPECT_EQ(ReadBytes(fromMerged.File(name)), ReadBytes(fromSample.File(name))) << name;
    }
  }
  const ToolRun info = RunInfo({"--json", kOutput}, dir.path());
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.out.find("\"damaged\""), std::string::npos);
  EXPECT_NE(info.out.find("\"intact\""), std::string::npos);
}

TEST(MergeTest, JsonReportParses) {
#ifdef _WIN32
  GTEST_SKIP() << "python3 is the Linux build's";
#else
  ScopedTempDir dir;
  Disk first = BaseDisk();
  Disk second = BaseDisk();
  Disk third = BaseDisk();
  first.tracks[1].records[1] = Bad(1, 2);
  third.tracks[1].records[1] = Other(1, 2, 41);
  first.tracks[2].records[3] = Bad(2, 4);
  second.tracks[2].records[3] = Bad(2, 4, 8);
  third.tracks[2].records[3] = Bad(2, 4, 9);
  const ToolRun run = MergeDumps(dir, {BuildDisk(first), BuildDisk(second), BuildDisk(third)},
                                 {"--json", "-o", "m\xc3\xa9rged\x80.d88"});
  ASSERT_EQ(run.status, 0) << run.err;
  WriteBytes(dir.File("report.json"), Bytes(run.out.begin(), run.out.end()));
  const ToolRun read = RunProgramWithArgv(
      "/usr/bin/env",
      {"env", "python3", "-c",
       "import json\n"
       "r = json.load(open('report.json', encoding='utf-8'))\n"
       "assert r['dumps'] == ['1.d88', '2.d88', '3.d88'], r['dumps']\n"
       "assert r['output'] == 'm\\u00e9rged\\ufffd.d88', r['output']\n"
       "assert len(r['disks']) == 1\n"
       "d = r['disks'][0]\n"
       "assert d['sectors'] == 16\n"
       "assert d['recovered'] == [{'track': 1, 'c': 0, 'h': 1, 'r': 2, 'n': 1, 'from': 2}]\n"
       "assert d['conflicts'] == [{'track': 1, 'c': 0, 'h': 1, 'r': 2, 'n': 1,"
       " 'good_in': [2, 3]}]\n"
       "assert d['unrecovered'] == [{'track': 2, 'c': 1, 'h': 0, 'r': 4, 'n': 1}]\n"
       "assert r['verdict'] == 'signature-differs', r['verdict']\n"
       "assert 'outputs' not in r\n"},
      dir.path());
  EXPECT_EQ(read.status, 0) << read.err << run.out;
#endif
}

TEST(MergeTest, CommandLines) {
  const std::string help = RunMerge({"--help"}, ".").out;
  EXPECT_EQ(help.rfind("Usage: d88merge [--json] [-f|--force] -o OUTPUT DUMP DUMP...\n", 0), 0u);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  };
  const std::vector<Case> cases = {
      {{"--version"}, 0, "d88merge " D88CUT_VERSION "\n", ""},
      {{"-h"}, 0, help, ""},
      {{}, 1, "", kUsage},
      {{"-o", kOutput, "1.d88"}, 1, "", kUsage},
      {{"1.d88", "2.d88"}, 1, "", kUsage},
      {{"-o"}, 1, "", kUsage},
      {{"-o", "a", "-o", "b", "1.d88", "2.d88"}, 1, "", kUsage},
      {{"-x", "-o", kOutput, "1.d88", "2.d88"}, 1, "", "d88merge: unknown option '-x'\n" + kUsage},
      {{"-o", kOutput, "1.d88", "missing.d88"},
       1,
       "",
       "d88merge: cannot open 'missing.d88': No such file or directory\n"},
  };
  for (const Case& c : cases) {
    ScopedTempDir dir;
    WriteBytes(dir.File("1.d88"), BuildDisk(BaseDisk()));
    const ToolRun run = RunMerge(c.args, dir.path());
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
#ifndef _WIN32
    EXPECT_EQ(run.err, c.err);
#endif
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"1.d88"});
  }
}

// A dump that is not a D88 image: status 2, the rule it breaks, nothing
// written.
TEST(MergeTest, RefusesADumpThatIsNotD88) {
  Disk odd = BaseDisk();
  odd.writeProtect = 0x99;
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {Bytes{'h', 'i', '\n'}, "the file is shorter than a disk header (688 bytes)"},
      {BuildDisk(odd), "the write-protect byte 0x99 is not 0x00 or 0x10"},
  };
  for (const auto& [second, words] : cases) {
    ScopedTempDir dir;
    const ToolRun run = MergeDumps(dir, {BuildDisk(BaseDisk()), second});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "d88merge: '2.d88' is not a D88 image: " + words + "\n");
    EXPECT_EQ(dir.Entries(), DumpNames(2));
  }
}

// A merged track of more than 65,535 records cannot be counted in its
// header: refused, naming the track, with nothing written.
TEST(MergeTest, RefusesATrackD88CannotCount) {
  ScopedTempDir dir;
  Disk first;
  Disk second;
  for (int i = 0; i < 40000; ++i) {
    first.tracks[7].records.push_back(MakeRecord(i >> 8, 0, i & 0xFF, 0, {}));
    second.tracks[7].records.push_back(MakeRecord(i >> 8, 1, i & 0xFF, 0, {}));
  }
  const ToolRun run = MergeDumps(dir, {BuildDisk(first), BuildDisk(second)});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "d88merge: cannot write 'merged.d88': track 7 of disk 1 would hold more than 65535 "
            "sectors, more than D88 can count\n");
  EXPECT_EQ(dir.Entries(), DumpNames(2));
}

#ifndef _WIN32
// OUTPUT is never a dump, and replaces nothing without --force; with it,
// the name itself is replaced, never a link's target.
TEST(MergeTest, OutputRules) {
  struct Case {
    const char* name;
    // Makes OUTPUT's name in the folder before the run; "" for nothing.
    std::string link;  // a symbolic link to this, if not empty
    bool file;         // a regular file holding "old"
    bool force;
    int status;
    std::string err;
  };
  const std::string exists = "d88merge: 'merged.d88' exists; --force replaces it\n";
  const std::string isLink = "d88merge: 'merged.d88' exists (a link); --force replaces it\n";
  const std::string isDump = "d88merge: 'merged.d88' is dump 2, which is never written over\n";
  const std::vector<Case> cases = {
      {"a new name", "", false, false, 0, ""},
      {"an existing file", "", true, false, 1, exists},
      {"an existing file, --force", "", true, true, 0, ""},
      {"a link to another file", "other", false, false, 1, isLink},
      {"a link to another file, --force", "other", false, true, 0, ""},
      {"a dangling link", "nowhere", false, false, 1, isLink},
      {"a dangling link, --force", "nowhere", false, true, 0, ""},
      {"a link to a dump", "2.d88", false, false, 1, isDump},
      {"a link to a dump, --force", "2.d88", false, true, 1, isDump},
  };
  Disk first = BaseDisk();
  first.tracks[0].records[0] = Bad(0, 1);
  const Bytes dump1 = BuildDisk(first);
  const Bytes dump2 = BuildDisk(BaseDisk());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteBytes(dir.File("other"), Bytes{'o', 't', 'h', 'e', 'r'});
    if (c.file) {
      WriteBytes(dir.File(kOutput), Bytes{'o', 'l', 'd'});
    }
    if (!c.link.empty()) {
      ASSERT_EQ(symlink(c.link.c_str(), dir.File(kOutput).c_str()), 0);
    }
    std::vector<std::string> options = {"-o", kOutput};
    if (c.force) {
      options.insert(options.begin(), "--force");
    }
    const ToolRun run = MergeDumps(dir, {dump1, dump2}, options);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(ReadBytes(dir.File("other")), (Bytes{'o', 't', 'h', 'e', 'r'}));
    EXPECT_EQ(ReadBytes(dir.File("1.d88")), dump1);
    EXPECT_EQ(ReadBytes(dir.File("2.d88")), dump2);
    EXPECT_EQ(dir.Entries(), DumpNames(2, {"other", kOutput}));
    struct stat status;
    ASSERT_EQ(lstat(dir.File(kOutput).c_str(), &status), 0);
    if (c.status == 0) {
      EXPECT_TRUE(S_ISREG(status.st_mode));
      EXPECT_EQ(ReadBytes(dir.File(kOutput)), dump2);
    } else if (c.file) {
      EXPECT_EQ(ReadBytes(dir.File(kOutput)), (Bytes{'o', 'l', 'd'}));
    } else {
      EXPECT_TRUE(S_ISLNK(status.st_mode));
    }
  }
}

// Naming a dump itself as OUTPUT is refused, --force or not, also when the
// dump is reached through a link or another name of it.
TEST(MergeTest, RefusesADumpAsOutput) {
  const Bytes dump = BuildDisk(BaseDisk());
  for (const bool force : {false, true}) {
    for (const std::string output : {"1.d88", "./2.d88", "hard.d88"}) {
      ScopedTempDir dir;
      WriteBytes(dir.File("1.d88"), dump);
      WriteBytes(dir.File("2.d88"), dump);
      ASSERT_EQ(link(dir.File("2.d88").c_str(), dir.File("hard.d88").c_str()), 0);
      std::vector<std::string> args = {"-o", output, "1.d88", "2.d88"};
      if (force) {
        args.insert(args.begin(), "-f");
      }
      const ToolRun run = RunMerge(args, dir.path());
      SCOPED_TRACE(output);
      EXPECT_EQ(run.status, 1);
      const std::string number = output == "1.d88" ? "1" : "2";
      EXPECT_EQ(run.err,
                "d88merge: '" + output + "' is dump " + number + ", which is never written over\n");
      EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"1.d88", "2.d88", "hard.d88"}));
      EXPECT_EQ(ReadBytes(dir.File("1.d88")), dump);
      EXPECT_EQ(ReadBytes(dir.File("2.d88")), dump);
    }
  }
}

// A write of the merged image that fails, as on a full disk: status 1, no
// OUTPUT and no half-made file, and an old OUTPUT kept under --force. A
// read of a dump that fails: D23's line, status 1, nothing written.
TEST(MergeTest, FailuresLeaveNoOutput) {
  const Bytes dump1 = BuildDisk(BaseDisk());
  Disk second = BaseDisk();
  second.tracks[3].records[0] = Bad(3, 1);
  const Bytes dump2 = BuildDisk(second);
  for (const bool old : {false, true}) {
    ScopedTempDir dir;
    WriteBytes(dir.File("1.d88"), dump1);
    WriteBytes(dir.File("2.d88"), dump2);
    if (old) {
      WriteBytes(dir.File(kOutput), Bytes{'o', 'l', 'd'});
    }
    const ToolRun run =
        RunProgramWithArgv(kFailingDiskStarter,
                           OnFailingDisk({"D88_FAIL_WRITES_TO=merged.d88.*"},
                                         {MergePath(), "-f", "-o", kOutput, "1.d88", "2.d88"}),
                           dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "d88merge: cannot write 'merged.d88': No space left on device\n");
    if (old) {
      EXPECT_EQ(dir.Entries(), DumpNames(2, {kOutput}));
      EXPECT_EQ(ReadBytes(dir.File(kOutput)), (Bytes{'o', 'l', 'd'}));
    } else {
      EXPECT_EQ(dir.Entries(), DumpNames(2));
    }
  }
  ScopedTempDir dir;
  WriteBytes(dir.File("1.d88"), dump1);
  WriteBytes(dir.File("2.d88"), dump2);
  const ToolRun run =
      RunProgramWithArgv(kFailingDiskStarter,
                         OnFailingDisk({"D88_FAIL_READ_AT=" + std::to_string(dump1.size() - 10)},
                                       {MergePath(), "-o", kOutput, "1.d88", "2.d88"}),
                         dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "d88merge: cannot read '1.d88': Input/output error\n");
  EXPECT_EQ(dir.Entries(), DumpNames(2));
}
#endif

}  // namespace
