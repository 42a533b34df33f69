// d88info end to end: the built program run on the table of images in
// testing/info_cases.cpp, on the sample disk and on broken command lines; and
// on every image of the table, the check that its verdict is what d88cut
// does: the recognition line, or not a word.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/recognition.h"
#include "d88/d88_image.h"
#include "testing/d88_writer.h"
#include "testing/info_cases.h"
#include "testing/test_disk.h"
#ifndef _WIN32
#include "tests/failing_disk.h"
#endif
#include "tests/tool_runner.h"

namespace {

namespace fs = std::filesystem;

constexpr char kImage[] = "disk.d88";

// "DISK 1を認識しました.\n", d88cut's recognition line in Shift_JIS.
const std::string kRecognisedLine =
    "DISK 1\x82\xf0\x94\x46\x8e\xaf\x82\xb5\x82\xdc\x82\xb5\x82\xbd.\n";

const std::string kUsage =
    "Usage: d88info [--tracks] [--json | --brief] IMAGE...\n"
    "Try 'd88info --help' for more information.\n";

// Runs d88info with `args` in a fresh folder holding `image` as disk.d88,
// and checks that the folder holds nothing else afterwards and the image is
// as it was: d88info writes no file.
ToolRun InspectImage(const Bytes& image, const std::vector<std::string>& args = {kImage}) {
  ScopedTempDir dir;
  WriteBytes(dir.File(kImage), image);
  const ToolRun run = RunInfo(args, dir.path());
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{kImage});
  EXPECT_EQ(ReadBytes(dir.File(kImage)), image);
  return run;
}

TEST(InfoTest, ReportsEachImageOfTheTable) {
  for (const InfoCase& c : InfoCases()) {
    SCOPED_TRACE(c.name);
    const ToolRun run = InspectImage(c.image);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.report);
    EXPECT_EQ(run.err, "");
  }
}

#ifndef _WIN32
// --json gives one document that python3's parser reads, on every image of
// the table, with the same verdict and status as the text; with --tracks,
// the sector IDs are in it too.
TEST(InfoTest, JsonOfEachImageOfTheTableParses) {
  for (const InfoCase& c : InfoCases()) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteBytes(dir.File(kImage), c.image);
    const ToolRun run = RunInfo({"--json", "--tracks", kImage}, dir.path());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, "");
    WriteBytes(dir.File("report.json"), Bytes(run.out.begin(), run.out.end()));
    const ToolRun read =
        RunProgramWithArgv("/usr/bin/env",
                           {"env", "python3", "-c",
                            "import json\n"
                            "r = json.load(open('report.json', encoding='utf-8'))\n"
                            "assert ('disks' in r['image']) == (r['verdict'] != 'not-d88')\n"
                            "shown = 0 if r['verdict'] == 'not-d88' else r['image']['disks']\n"
                            "assert len(r.get('disks', [])) == shown\n"
                            "assert ('outputs' in r) == (r['verdict'] == 'recognised')\n"
                            "print(r['verdict'])\n"},
                           dir.path());
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out, c.verdict + "\n");
  }
}
#endif

// One function decides the verdict, for d88info and the page alike; d88cut
// must do what it says on the same image.
TEST(InfoTest, VerdictAgreesWithWhatD88cutDoes) {
  for (const InfoCase& c : InfoCases()) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteBytes(dir.File(kImage), c.image);
    D88Image image;
    ASSERT_TRUE(image.Open(dir.File(kImage).c_str()));
    uint8_t sector[kSignatureSectorBytes] = {};
    EXPECT_EQ(VerdictName(RecogniseImage(image, sector).verdict), c.verdict);
    image.Open(nullptr);

    const ToolRun run = RunTool({kImage}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    if (c.verdict == "recognised") {
      EXPECT_EQ(run.out.substr(0, kRecognisedLine.size()), kRecognisedLine);
    } else {
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(dir.Entries(), std::vector<std::string>{kImage});
    }
  }
}

TEST(InfoTest, TracksListsEverySectorIdOfEveryTrack) {
  Disk disk;
  disk.name = "IDS";
  disk.tracks[0].records = {MakeRecord(0, 0, 1, 1, PatternBytes(256)),
                            MakeRecord(0, 0, 3, 1, PatternBytes(256)),
                            MakeRecord(5, 1, 2, 2, PatternBytes(512))};
  disk.trackOffsets[1] = 672;  // a record of count 0: no sectors
  const std::string report =
      "image: 1760 bytes, 1 disk\n"
      "sha1: " +
      Sha1Hex(BuildImage({disk})) +
      "\n"
      "verdict: signature differs, found "
      "\"\\x01\\x02\\x03\\x04\\x05\\x06\\x07\\x08\\x09\\x0a\\x0b\\x0c\\x0d\\x0e\\x0f\\x10\"\n"
      "\ndisk 1\n  offset: 0\n  size: 1760 bytes\n  name: IDS\n  media: 2D\n"
      "  write-protected: no\n"
      "  track 0: 3 sectors: 2 of 256 bytes (N1), R1,3; 1 of 512 bytes (N2), R2\n"
      "  track 1: no sectors\n"
      "  track 0 sectors: C0 H0 R1 N1, C0 H0 R3 N1, C5 H1 R2 N2\n"
      "  oddity: track 0: missing sector C0 H0 R2 N1\n"
      "  oddity: track 0: missing sector C5 H1 R1 N2\n"
      "  track 1 sectors: none\n"
      "  oddity: track 1: offset 672 lies inside the disk header\n";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--tracks", kImage}, {kImage, "--tracks"}, {"--tracks", "--", kImage}}) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    const ToolRun run = InspectImage(BuildImage({disk}), args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, report);
    EXPECT_EQ(run.err, "");
  }
}

TEST(InfoTest, WrongCommandLinePrintsUsage) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {"no argument", {}, kUsage},
      {"--json with --brief",
       {"--json", "--brief", kImage},
       "d88info: --json and --brief cannot go together\n" + kUsage},
      {"an unknown option", {"--track", kImage}, "d88info: unknown option '--track'\n" + kUsage},
      {"only an option", {"--tracks"}, kUsage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun run = InspectImage(BuildImage({Disk()}), c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(InfoTest, HelpGoesToStandardOutput) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--help"}, {kImage, "--help"}, {"-h"}, {"-h", kImage}}) {
    SCOPED_TRACE(args[0]);
    const ToolRun run = InspectImage(BuildImage({Disk()}), args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("Usage: d88info [--tracks] [--json | --brief] IMAGE...\n", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("Exit status: 0 "), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
  }
}

// As d88cut --version, with d88info's name; after --, an image's name.
TEST(InfoTest, VersionGoesToStandardOutput) {
  const ToolRun version = InspectImage(BuildImage({Disk()}), {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "d88info " D88CUT_VERSION "\n");
  EXPECT_EQ(version.err, "");

  const ToolRun image = InspectImage(BuildImage({Disk()}), {"--", "--version"});
  EXPECT_EQ(image.status, 1);
  EXPECT_EQ(image.out, "");
}

// (A folder of the image's name is walked for images: see ShelfOfDumps.)
TEST(InfoTest, ImageThatCannotBeOpenedIsNamedWithTheReason) {
  const struct {
    const char* name;
    const char* posixReason;
  } cases[] = {
      {"a missing file", "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    const ToolRun run = RunInfo({kImage}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
#ifdef _WIN32
    // The reason is the system's own message, whose words Wine and each
    // Windows choose.
    const std::string prefix = std::string("d88info: cannot open '") + kImage + "': ";
    EXPECT_EQ(run.err.substr(0, prefix.size()), prefix);
    EXPECT_GT(run.err.size(), prefix.size() + 1);
    EXPECT_EQ(run.err.back(), '\n');
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1);
#else
    EXPECT_EQ(run.err,
              std::string("d88info: cannot open '") + kImage + "': " + c.posixReason + "\n");
#endif
  }
}

#ifndef _WIN32
TEST(InfoTest, ReportThatCannotBeWrittenEndsWithStatus1) {
  ScopedTempDir dir;
  WriteBytes(dir.File(kImage), InfoCases().front().image);
  const ToolRun run = RunProgramWithArgv(
      "/bin/sh", {"sh", "-c", "exec \"$0\" disk.d88 >/dev/full", InfoPath()}, dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "d88info: cannot write the report: No space left on device\n");
}
#endif

#ifndef _WIN32
// A read of the image that fails stops its report with d88cut's cannot-read
// line under d88info's name, and status 1; the images after it are still
// reported. The whole image is read first, for its SHA-1, so a disk that
// fails anywhere stops the report before it starts. The disk fails from a
// chosen offset on (tests/failing_disk.cpp), which the smaller image after
// it never reaches.
TEST(InfoTest, ReadErrorEndsThatImagesReportOnly) {
  const Bytes image = BuildImage({WithFillerAfterMain(
      MakeRecognisedDisk(TestVolume().bytes, Bytes(8192, 1), Bytes(16384, 2)))});
  const InfoCase& small = InfoCases().front();
  ScopedTempDir dir;
  WriteBytes(dir.File(kImage), image);
  WriteBytes(dir.File("small.d88"), small.image);
  const struct {
    const char* name;
    int64_t failAt;
  } cases[] = {
      {"the table of disks", 0},
      {"the bytes of track 30", TrackStart(image, 30)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun run = RunProgramWithArgv(
        kFailingDiskStarter,
        OnFailingDisk({"D88_FAIL_READ_AT=" + std::to_string(c.failAt)}, {InfoPath(), kImage}),
        dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "d88info: cannot read 'disk.d88': Input/output error\n");
  }
  const ToolRun both = RunProgramWithArgv(
      kFailingDiskStarter,
      OnFailingDisk({"D88_FAIL_READ_AT=" + std::to_string(TrackStart(image, 30))},
                    {InfoPath(), kImage, "small.d88"}),
      dir.path());
  EXPECT_EQ(both.status, 1);
  EXPECT_EQ(both.out, "==> small.d88 <==\n" + small.report);
  EXPECT_EQ(both.err, "d88info: cannot read 'disk.d88': Input/output error\n");
}
#endif

// A record's count ends a walk only at the index count - 1, at most 65534:
// the walk of a track whose counts never end it stops after 65535 records,
// where a sector read would go on to the end of the file. Every track here
// starts at that run of records, so each walk takes 65535 of them. Each
// track is walked twice (layouts, then oddities), so the image's budget of
// 1048576 records leaves 524288 for the layouts: tracks 0-7 take 524280,
// and track 8, whose walk would go past that, is not walked, nor is any
// track after it.
TEST(InfoTest, WalksStopAt65535RecordsOfATrackAndAtTheImagesBudget) {
  Disk disk;
  Record record = MakeRecord(0, 0, 1, 0, Bytes());
  for (int i = 0; i < 65600; ++i) {
    record.count = i == 0 ? 2 : 1;
    disk.tracks[0].records.push_back(record);
  }
  for (int track = 1; track < 164; ++track) {
    disk.trackOffsets[track] = 688;
  }
  const ToolRun run = InspectImage(BuildImage({disk}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  for (const char* line : {
           "  track 0: 65535 sectors, too irregular to sum up (see --tracks)\n",
           "  track 7: 65535 sectors, too irregular to sum up (see --tracks)\n",
           "  oddity: tracks 8-163 not walked: d88info walks no more than 1048576 records of an "
           "image\n",
           "  oddity: track 0: overlaps track 7\n",
           "  oddity: track 7: the counts do not end the track; walked no further than 65535 "
           "records\n",
           "  oddity: track 7: duplicate sector C0 H0 R1 N0 (65535 records)\n",
           "  oddity: track 7: sector C0 H0 R1 N0 holds 0 bytes, N0 says 128\n",
           // 7 overlaps, the walk's end, the duplicate and 65535 lengths, of
           // which 32 are shown.
           "  oddity: track 0: 65512 more oddities not shown\n",
       }) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(run.out.find("track 8:"), std::string::npos);
  EXPECT_EQ(run.out.find("track 8 "), std::string::npos);
}

// The bundled sample, as the README shows it.
TEST(InfoTest, SampleReportInFull) {
  const ToolRun run = InspectImage(ReadBytes(D88CUT_SOURCE_DIR "/examples/sample.d88"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "image: 378720 bytes, 1 disk\n"
            "sha1: 2b4b3a410f56b1caffbe4dd1e432c8387056ac17\n"
            "verdict: recognised\n"
            "\n"
            "disk 1\n"
            "  offset: 0\n"
            "  size: 378720 bytes\n"
            "  name: TEST DISK\n"
            "  media: 2D\n"
            "  write-protected: no\n"
            "  track 0: 10 sectors: 1 of 256 bytes (N1), R1; 9 of 512 bytes (N2), R1-9\n"
            "  tracks 1-2: 9 sectors of 512 bytes (N2), R1-9\n"
            "  tracks 3-8: 16 sectors of 256 bytes (N1), R1-16\n"
            "  tracks 9-79: 9 sectors of 512 bytes (N2), R1-9\n"
            "\n"
            "outputs:\n"
            "  MAIN             8192 intact\n"
            "    crc32 ae6ea22e sha1 730ed6cfb42b9a9aae5fc11d7ce16db9e7820b4a\n"
            "  DEMO            16384 intact\n"
            "    crc32 1306357e sha1 0f4743d2f274950e807238ea04ac715799685ada\n"
            "  README.TXT        620 intact\n"
            "    crc32 67f41126 sha1 3e26c16216325f3335f98a04d1bb92668bb7af06\n"
            "  HELLO.COM          38 intact\n"
            "    crc32 4f1d98cb sha1 c12142b05e69a422f1a212c6ffdff1274fb9ad13\n"
            "  SCORES.DAT       2600 intact\n"
            "    crc32 5e6b57eb sha1 fef8d608e00a266973919b576732982fa869e406\n"
            "  subdirectories are not entered: GAMES\n");
}

// The sample with every sector of tracks 1 and 2 marked with a CRC error, as
// a worn copy of it reads.
Bytes DamagedSample() {
  Bytes image = ReadBytes(D88CUT_SOURCE_DIR "/examples/sample.d88");
  for (int track = 1; track <= 2; ++track) {
    size_t at = static_cast<size_t>(TrackStart(image, track));
    for (int r = 1; r <= 9; ++r) {
      image.at(at + kRecordStatus) = 0xB0;
      at += kRecordHeaderSize + 512;
    }
  }
  return image;
}

// A folder as a shelf of dumps: the sample, a damaged copy of it, a text
// file under a dump's name, a sub-folder with another dump, and what the
// walk passes over: a file of another name, and links.
struct Shelf {
  Shelf() {
    fs::create_directories(dir.File("shelf/sub"));
    WriteBytes(dir.File("shelf/sample.d88"), ReadBytes(D88CUT_SOURCE_DIR "/examples/sample.d88"));
    WriteBytes(dir.File("shelf/damaged.D88"), DamagedSample());
    const std::string text = "notes on the dumps\n";
    WriteBytes(dir.File("shelf/sub.d88"), Bytes(text.begin(), text.end()));
    WriteBytes(dir.File("shelf/notes.txt"), Bytes(text.begin(), text.end()));
    WriteBytes(dir.File("shelf/sub/other.d88"), InfoCases().front().image);
#ifndef _WIN32
    fs::create_symlink("sample.d88", dir.File("shelf/link.d88"));
    fs::create_directory_symlink("sub", dir.File("shelf/linked"));
#endif
  }
  ScopedTempDir dir;
  // In the byte order of their paths: "sub.d88" before "sub/...", since
  // '.' comes before '/'.
  const std::vector<std::string> images = {"shelf/damaged.D88", "shelf/sample.d88", "shelf/sub.d88",
                                           "shelf/sub/other.d88"};
};

// A folder's images, each reported as it is alone, under "==> PATH <==" and
// a blank line apart; with --json each image's own document, one a line.
TEST(InfoTest, ShelfOfDumps) {
  const Shelf shelf;
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json ? "--json" : "text");
    std::string expected;
    for (const std::string& image : shelf.images) {
      const ToolRun alone = RunInfo(
          json ? std::vector<std::string>{"--json", image} : std::vector<std::string>{image},
          shelf.dir.path());
      EXPECT_EQ(alone.err, "");
      if (!json) {
        expected += (expected.empty() ? "" : "\n") + ("==> " + image + " <==\n");
      }
      expected += alone.out;
    }
    const ToolRun run = RunInfo(
        json ? std::vector<std::string>{"--json", "shelf"} : std::vector<std::string>{"shelf"},
        shelf.dir.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, expected);
  }
}

#ifndef _WIN32
// Each line of --json over a folder is a document of its own, with the path.
TEST(InfoTest, ShelfInJsonIsOneDocumentALine) {
  const Shelf shelf;
  const ToolRun run = RunInfo({"--json", "shelf"}, shelf.dir.path());
  WriteBytes(shelf.dir.File("reports.jsonl"), Bytes(run.out.begin(), run.out.end()));
  const ToolRun parsed =
      RunProgramWithArgv("/usr/bin/env",
                         {"env", "python3", "-c",
                          "import json\n"
                          "for line in open('reports.jsonl', encoding='utf-8'):\n"
                          "    r = json.loads(line)\n"
                          "    print(r['path'], r['verdict'], len(r['sha1']))\n"},
                         shelf.dir.path());
  EXPECT_EQ(parsed.err, "");
  EXPECT_EQ(parsed.out,
            "shelf/damaged.D88 recognised 40\n"
            "shelf/sample.d88 recognised 40\n"
            "shelf/sub.d88 not-d88 40\n"
            "shelf/sub/other.d88 recognised 40\n");
}
#endif

// --brief: a line for each image, its verdict and, for the disk, the count
// of files written and the names of the damaged ones.
TEST(InfoTest, ShelfInBriefLines) {
  const Shelf shelf;
  const ToolRun run = RunInfo({"--brief", "shelf", "shelf/notes.txt"}, shelf.dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "shelf/damaged.D88: recognised, 5 files, 3 damaged: README.TXT, HELLO.COM, "
            "SCORES.DAT\n"
            "shelf/sample.d88: recognised, 5 files, 0 damaged\n"
            "shelf/sub.d88: not a D88 image (the file is shorter than a disk header (688 "
            "bytes))\n"
            "shelf/sub/other.d88: recognised, 0 files, 0 damaged\n"
            "shelf/notes.txt: not a D88 image (the file is shorter than a disk header (688 "
            "bytes))\n");
}

// A folder is read in batches of names: the order holds across them, and
// folders sort by their path, "x.d88" before "x/..." before "x0.d88".
TEST(InfoTest, FolderOfManyImagesInPathOrder) {
  ScopedTempDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 150; ++i) {
    // Made in an order that is not the paths' own.
    const int n = (i * 77) % 150;
    const std::string name = (n < 10 ? "00" : n < 100 ? "0" : "") + std::to_string(n);
    fs::create_directories(dir.File("many/" + name));
    WriteBytes(dir.File("many/" + name + ".d88"), Bytes(1, 'x'));
    WriteBytes(dir.File("many/" + name + "/in.D88"), Bytes(1, 'x'));
    WriteBytes(dir.File("many/" + name + "0.d88"), Bytes(1, 'x'));
  }
  for (int n = 0; n < 150; ++n) {
    const std::string name = "many/" +
                             std::string(n < 10    ? "00"
                                         : n < 100 ? "0"
                                                   : "") +
                             std::to_string(n);
    paths.push_back(name + ".d88");
    paths.push_back(name + "/in.D88");
  }
  for (int n = 0; n < 150; ++n) {
    paths.push_back("many/" +
                    std::string(n < 10    ? "00"
                                : n < 100 ? "0"
                                          : "") +
                    std::to_string(n) + "0.d88");
  }
  std::sort(paths.begin(), paths.end());
  std::string expected;
  for (const std::string& path : paths) {
    expected += path + ": not a D88 image (the file is shorter than a disk header (688 bytes))\n";
  }
  const ToolRun run = RunInfo({"--brief", "many"}, dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, expected);
}

// Several images: 1 when any cannot be opened or read, else 2 when any is
// not a D88 image, else 0; an image that fails does not stop the rest.
TEST(InfoTest, SeveralImagesTakeTheWorstStatus) {
  const Shelf shelf;
  const struct {
    std::vector<std::string> args;
    int status;
    size_t reports;
  } cases[] = {
      {{"shelf/sample.d88", "shelf/sub"}, 0, 2},
      {{"shelf/sub.d88", "shelf/sample.d88"}, 2, 2},
      {{"shelf/missing.d88", "shelf/sub.d88", "shelf/sample.d88"}, 1, 2},
      {{"shelf/sub"}, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const ToolRun run = RunInfo(c.args, shelf.dir.path());
    EXPECT_EQ(run.status, c.status);
    size_t reports = 0;
    for (size_t at = run.out.find("==> "); at != std::string::npos;
         at = run.out.find("\n==> ", at + 1)) {
      ++reports;
    }
    EXPECT_EQ(reports, c.reports) << run.out;
  }
}

}  // namespace
