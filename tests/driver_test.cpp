// The command end to end: its command line, recognising the disk and cutting
// the raw areas MAIN and DEMO. Each case runs the built tool as a process in a
// fresh folder. Unless a case needs otherwise, the volume's root directory is
// empty, so nothing follows the cutting lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testing/d88_writer.h"
#include "testing/test_disk.h"
#include "testing/test_helpers.h"
#include "tests/expected_messages.h"
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>

#include "tests/failing_disk.h"
#endif
#include "tests/tool_runner.h"
#include "tool/stages.h"

namespace {

namespace fs = std::filesystem;

constexpr char kImage[] = "disk.d88";
constexpr size_t kMainBytes = 8192;
constexpr size_t kDemoBytes = 16384;
constexpr size_t kRawTrackBytes = 4096;
constexpr size_t kRawSectorBytes = 256;
// Where the first disk's first sector data begins in a built image: after
// the disk header and the sector's record header.
constexpr size_t kFirstSectorData = 0x2B0 + 16;

// Raw-area contents in which every 256-byte sector differs from every other
// sector of either area, so a sector taken from the wrong place shows.
Bytes AreaBytes(size_t length, int tag) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<uint8_t>(i + 3 * (i / kRawSectorBytes) + static_cast<size_t>(tag));
  }
  return bytes;
}

const Bytes& MainArea() {
  static const Bytes bytes = AreaBytes(kMainBytes, 0x11);
  return bytes;
}

const Bytes& DemoArea() {
  static const Bytes bytes = AreaBytes(kDemoBytes, 0x77);
  return bytes;
}

// Equal bytes, or where they first part.
testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
  if (actual.size() != expected.size()) {
    return testing::AssertionFailure()
           << actual.size() << " bytes where " << expected.size() << " were expected";
  }
  const auto differ = std::mismatch(actual.begin(), actual.end(), expected.begin());
  if (differ.first != actual.end()) {
    return testing::AssertionFailure()
           << "bytes differ first at offset " << (differ.first - actual.begin()) << ": "
           << int{*differ.first} << " where " << int{*differ.second} << " was expected";
  }
  return testing::AssertionSuccess();
}

// The recognised disk with the two areas above and an empty volume.
Disk RecognisedDisk() {
  return MakeRecognisedDisk(TestVolume().bytes, MainArea(), DemoArea());
}

// The recognised disk as an image, after `edit` has changed it.
Bytes ImageOf(const std::function<void(Disk&)>& edit) {
  Disk disk = RecognisedDisk();
  edit(disk);
  return BuildImage({disk});
}

Record& FindRecord(Disk& disk, int track, int r, int n) {
  std::vector<Record>& records = disk.tracks.at(track).records;
  return *std::find_if(records.begin(), records.end(),
                       [&](const Record& record) { return record.r == r && record.n == n; });
}

void EraseRecord(Disk& disk, int track, int r, int n) {
  std::vector<Record>& records = disk.tracks.at(track).records;
  records.erase(std::find_if(records.begin(), records.end(),
                             [&](const Record& record) { return record.r == r && record.n == n; }));
}

// Sector C0 H0 R1 N1 of track 0, which carries the signature.
Bytes& SignatureSectorOf(Disk& disk) {
  return FindRecord(disk, 0, 1, 1).data;
}

ToolRun CutImage(const ScopedTempDir& dir, const Bytes& image) {
  WriteBytes(dir.File(kImage), image);
  return RunTool({kImage}, dir.path());
}

// The folder holds the image and exactly the raw-area files given, with
// those contents (std::nullopt: the file was not written).
void ExpectRawAreaFiles(const ScopedTempDir& dir, const std::optional<Bytes>& main,
                        const std::optional<Bytes>& demo) {
  std::vector<std::string> entries = {kImage};
  if (main) {
    entries.push_back("MAIN");
    EXPECT_TRUE(SameBytes(ReadBytes(dir.File("MAIN")), *main)) << "in MAIN";
  }
  if (demo) {
    entries.push_back("DEMO");
    EXPECT_TRUE(SameBytes(ReadBytes(dir.File("DEMO")), *demo)) << "in DEMO";
  }
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(dir.Entries(), entries);
}

// A disk image and what a run on it prints and writes; these runs all end
// with status 0 and nothing on standard error.
struct DiskCase {
  const char* name;
  std::function<Bytes()> image;
  std::string out;
  std::optional<Bytes> main;
  std::optional<Bytes> demo;
};

void RunDiskCases(const std::vector<DiskCase>& cases) {
  for (const DiskCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    const ToolRun run = CutImage(dir, c.image());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
    ExpectRawAreaFiles(dir, c.main, c.demo);
  }
}

DiskCase Recognised(const char* name, std::function<Bytes()> image) {
  return {name, std::move(image), kRecognised + kCutMain + kCutDemo, MainArea(), DemoArea()};
}

DiskCase NotRecognised(const char* name, std::function<Bytes()> image) {
  return {name, std::move(image), "", std::nullopt, std::nullopt};
}

// The help: on standard output, with status 0, how to run the tool, what it
// does and where to look when it says nothing.
void ExpectHelp(const ToolRun& run) {
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("Usage: d88cut IMAGE.d88\n", 0), 0u) << run.out;
  for (const char* mention : {"MAIN and DEMO", "current folder", "Exit status", "d88info",
                              "man d88cut", "d88cut-manual.txt"}) {
    EXPECT_NE(run.out.find(mention), std::string::npos) << "the help lacks " << mention;
  }
}

TEST(DriverTest, WrongArgumentCountPrintsUsage) {
  const struct {
    const char* name;
    std::vector<std::string> argv;
    std::string err;
  } cases[] = {
      {"no argument", {ToolPath()}, "Usage: " + ToolPath() + " [D88 image]\n"},
      {"two arguments", {ToolPath(), kImage, kImage}, "Usage: " + ToolPath() + " [D88 image]\n"},
      {"three arguments",
       {ToolPath(), kImage, kImage, kImage},
       "Usage: " + ToolPath() + " [D88 image]\n"},
      {"the name it was invoked by", {"cutter", kImage, "extra"}, "Usage: cutter [D88 image]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteBytes(dir.File(kImage), BuildImage({RecognisedDisk()}));
    const ToolRun run = RunToolWithArgv(c.argv, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
    ExpectRawAreaFiles(dir, std::nullopt, std::nullopt);
  }
}

TEST(DriverTest, UsageWithoutArgv0NamesTheTool) {
  // Linux gives a process started with an empty argv an argv[0] of "", so
  // argc 0 only reaches the driver when it is called directly.
  char* argv[] = {nullptr};
  testing::internal::CaptureStderr();
  const int status = RunD88Cut(0, argv);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Usage: d88cut [D88 image]\n");
  EXPECT_EQ(status, 1);
}

// Only a regular file, reached through any symbolic links, is an image.
// Whatever else the argument names, the tool says it cannot open it and ends
// at once; on a pipe or in a file the message's bytes are all there is.
TEST(DriverTest, ImageThatCannotBeOpened) {
  const struct {
    const char* name;
    // Prepares the folder and gives the argument.
    std::function<std::string(const ScopedTempDir&)> place;
    std::vector<std::string> entries;  // what the folder then holds
    bool unprivileged = false;         // run as a user for whom permissions hold
  } cases[] = {
      {"a missing file", [](const ScopedTempDir&) { return std::string(kImage); }, {}},
      {"a folder",
       [](const ScopedTempDir& dir) {
         fs::create_directory(dir.File(kImage));
         return std::string(kImage);
       },
       {kImage}},
#ifndef _WIN32
      {"/dev/null", [](const ScopedTempDir&) { return std::string("/dev/null"); }, {}},
      // Read as an image, its zeros would be disk headers without end.
      {"/dev/zero", [](const ScopedTempDir&) { return std::string("/dev/zero"); }, {}},
      {"a character device through a symbolic link",
       [](const ScopedTempDir& dir) {
         fs::create_symlink("/dev/zero", dir.File(kImage));
         return std::string(kImage);
       },
       {kImage}},
      {"a symbolic link that leads nowhere",
       [](const ScopedTempDir& dir) {
         fs::create_symlink("missing.d88", dir.File(kImage));
         return std::string(kImage);
       },
       {kImage}},
      // "/?" asks for help on Windows only; here it is a path like any other.
      {"/?", [](const ScopedTempDir&) { return std::string("/?"); }, {}},
      {"an image nobody may read",
       [](const ScopedTempDir& dir) {
         WriteBytes(dir.File(kImage), BuildImage({RecognisedDisk()}));
         fs::permissions(dir.File(kImage), fs::perms::none);
         return std::string(kImage);
       },
       {kImage},
       true},
#endif
  };
  // Cases that need a user without privileges, where there is none.
  std::string notRun;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    const std::string argument = c.place(dir);
#ifndef _WIN32
    ToolRun run;
    if (c.unprivileged) {
      const std::optional<RunAs> user = UserWithoutPrivileges();
      if (!user) {
        notRun += std::string(notRun.empty() ? "" : "; ") + c.name;
        continue;
      }
      // The user may enter the folder, but not read the image.
      fs::permissions(dir.path(),
                      fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
      run = RunToolAs(*user, {argument}, dir.path());
    } else {
      run = RunTool({argument}, dir.path());
    }
#else
    const ToolRun run = RunTool({argument}, dir.path());
#endif
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kCannotOpen);
    EXPECT_EQ(dir.Entries(), c.entries);
  }
  if (!notRun.empty()) {
    GTEST_SKIP() << "not run, as root with no user 'nobody': " << notRun;
  }
}

// -h, --help and --version are the only arguments that are not an image's
// path, and only on their own.
TEST(DriverTest, HelpAndVersion) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {"--help", {"--help"}, 0},
      {"-h", {"-h"}, 0},
      {"--version", {"--version"}, 0},
      {"--help with an image", {"--help", kImage}, 1},
      {"-h with an image", {kImage, "-h"}, 1},
      {"--version with an image", {kImage, "--version"}, 1},
  };
  const std::string usage = "Usage: " + ToolPath() + " [D88 image]\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteBytes(dir.File(kImage), BuildImage({RecognisedDisk()}));
    const ToolRun run = RunTool(c.args, dir.path());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{kImage});
    if (c.status != 0) {
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, usage);
    } else if (c.args[0] == "--version") {
      EXPECT_EQ(run.out, "d88cut " D88CUT_VERSION "\n");
      EXPECT_EQ(run.err, "");
    } else {
      ExpectHelp(run);
    }
  }
}
TEST(DriverTest, RecognisesTheSignatureInBytes1To16OfTheFirstDisksFirstSector) {
  RunDiskCases({
      Recognised("the recognised disk", [] { return BuildImage({RecognisedDisk()}); }),
      Recognised("byte 0 is not examined",
                 [] { return ImageOf([](Disk& disk) { SignatureSectorOf(disk)[0] = 0xFF; }); }),
      Recognised("bytes after the signature do not matter",
                 [] {
                   return ImageOf([](Disk& disk) {
                     Bytes& sector = SignatureSectorOf(disk);
                     std::fill(sector.begin() + 17, sector.end(), 0xFF);
                   });
                 }),
      Recognised("a signature sector of only 17 bytes",
                 [] { return ImageOf([](Disk& disk) { SignatureSectorOf(disk).resize(17); }); }),
      Recognised("the areas come from the first of several disks",
                 [] {
                   const Disk other = MakeRecognisedDisk(TestVolume().bytes, AreaBytes(8192, 1),
                                                         AreaBytes(16384, 2));
                   return BuildImage({RecognisedDisk(), other});
                 }),
      NotRecognised("the signature at byte 0",
                    [] {
                      return ImageOf([](Disk& disk) {
                        Bytes& sector = SignatureSectorOf(disk);
                        std::rotate(sector.begin(), sector.begin() + 1, sector.begin() + 17);
                      });
                    }),
      NotRecognised("byte 1 differs",
                    [] { return ImageOf([](Disk& disk) { SignatureSectorOf(disk)[1] ^= 0x20; }); }),
      NotRecognised(
          "byte 16 differs",
          [] { return ImageOf([](Disk& disk) { SignatureSectorOf(disk)[16] ^= 0x20; }); }),
      NotRecognised("a signature sector of only 16 bytes",
                    [] { return ImageOf([](Disk& disk) { SignatureSectorOf(disk).resize(16); }); }),
      NotRecognised("the signature sector missing",
                    [] { return ImageOf([](Disk& disk) { EraseRecord(disk, 0, 1, 1); }); }),
      NotRecognised("the signature only in the second disk",
                    [] {
                      Disk first = RecognisedDisk();
                      SignatureSectorOf(first)[1] ^= 0x20;
                      return BuildImage({first, RecognisedDisk()});
                    }),
      // The file ends 17 bytes into the signature sector's data: the
      // signature is whole, but no raw-area sector can be read.
      {"an image that ends just after the signature",
       [] { return Part(BuildImage({RecognisedDisk()}), 0, kFirstSectorData + 17); }, kRecognised,
       std::nullopt, std::nullopt},
      NotRecognised("an empty file", [] { return Bytes(); }),
      NotRecognised("a file shorter than a disk header",
                    [] { return Part(BuildImage({RecognisedDisk()}), 0, 100); }),
  });
}

TEST(DriverTest, CutsRawAreasAsFarAsTheirSectorsGo) {
  const Bytes& main = MainArea();
  const Bytes& demo = DemoArea();
  // A run cut short leaves the rest of its file as the buffer held it: MAIN
  // and DEMO are both read from its start, after the signature sector.
  RunDiskCases({
      {"MAIN's first sector missing",
       [] { return ImageOf([](Disk& disk) { EraseRecord(disk, 3, 1, 1); }); },
       kRecognised + kCutDemo, std::nullopt, demo},
      {"DEMO's first sector missing",
       [] { return ImageOf([](Disk& disk) { EraseRecord(disk, 5, 1, 1); }); },
       kRecognised + kCutMain, main, std::nullopt},
      {"no raw-area tracks",
       [] {
         return ImageOf([](Disk& disk) {
           for (int track = 3; track <= 8; ++track) {
             disk.tracks.erase(track);
           }
         });
       },
       kRecognised, std::nullopt, std::nullopt},
      {"MAIN stops at its ninth sector",
       [] { return ImageOf([](Disk& disk) { EraseRecord(disk, 3, 9, 1); }); },
       kRecognised + kCutMain + kCutDemo,
       Join({Part(main, 0, 8 * kRawSectorBytes), Zeros(kMainBytes - 8 * kRawSectorBytes)}), demo},
      {"DEMO stops after its first track",
       [] { return ImageOf([](Disk& disk) { disk.tracks.erase(6); }); },
       kRecognised + kCutMain + kCutDemo, main,
       Join({Part(demo, 0, kRawTrackBytes), Part(main, kRawTrackBytes, kMainBytes),
             Zeros(kDemoBytes - kMainBytes)})},
      {"DEMO stops at a short sector, whose bytes are kept",
       [] { return ImageOf([](Disk& disk) { FindRecord(disk, 6, 1, 1).data.resize(100); }); },
       kRecognised + kCutMain + kCutDemo, main,
       Join({Part(demo, 0, kRawTrackBytes + 100), Part(main, kRawTrackBytes + 100, kMainBytes),
             Zeros(kDemoBytes - kMainBytes)})},
      {"both stop early, DEMO past MAIN's short read",
       [] {
         return ImageOf([](Disk& disk) {
           EraseRecord(disk, 3, 9, 1);
           disk.tracks.erase(6);
         });
       },
       kRecognised + kCutMain + kCutDemo,
       Join({Part(main, 0, 8 * kRawSectorBytes), Zeros(kMainBytes - 8 * kRawSectorBytes)}),
       Join({Part(demo, 0, kRawTrackBytes), Zeros(kDemoBytes - kRawTrackBytes)})},
  });
}

TEST(DriverTest, ReplacesExistingRawAreaFiles) {
  ScopedTempDir dir;
  WriteBytes(dir.File("MAIN"), Bytes(20000, 0xEE));
  WriteBytes(dir.File("DEMO"), Bytes(20000, 0xEE));
  const ToolRun run = CutImage(dir, BuildImage({RecognisedDisk()}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kRecognised + kCutMain + kCutDemo);
  EXPECT_EQ(run.err, "");
  ExpectRawAreaFiles(dir, MainArea(), DemoArea());
}

TEST(DriverTest, WriteFailureStopsTheTool) {
  // The volume holds a file, which must not be written once the tool has
  // stopped at a raw area.
  TestVolume volume;
  volume.AddFile(0, "README  TXT", 0x20, DosTime(12, 0, 0), DosDate(1990, 1, 1), 2,
                 PatternBytes(100));
  const Bytes image = BuildImage({MakeRecognisedDisk(volume.bytes, MainArea(), DemoArea())});

  const struct {
    const char* name;
    std::function<void(const ScopedTempDir&)> prepare;
    std::string out;
    std::vector<std::string> entries;
    bool mainWritten;
    std::vector<std::string> failingDisk = {};  // its settings, if the disk fails
  } cases[] = {
      {"a folder named MAIN",
       [](const ScopedTempDir& dir) { fs::create_directory(dir.File("MAIN")); },
       kRecognised + kCutMain,
       {"MAIN", kImage},
       false},
      {"a folder named DEMO",
       [](const ScopedTempDir& dir) { fs::create_directory(dir.File("DEMO")); },
       kRecognised + kCutMain + kCutDemo,
       {"DEMO", "MAIN", kImage},
       true},
#ifndef _WIN32
      {"MAIN on a full disk",
       [](const ScopedTempDir&) {},
       kRecognised + kCutMain,
       {"MAIN", kImage},
       false,
       {"D88_FAIL_WRITES_TO=MAIN"}},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    c.prepare(dir);
    ToolRun run;
    if (c.failingDisk.empty()) {
      run = CutImage(dir, image);
    } else {
#ifndef _WIN32
      WriteBytes(dir.File(kImage), image);
      run = RunProgramWithArgv(kFailingDiskStarter,
                               OnFailingDisk(c.failingDisk, {ToolPath(), kImage}), dir.path());
#endif
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, kCannotWrite);
    EXPECT_EQ(dir.Entries(), c.entries);
    if (c.mainWritten) {
      EXPECT_TRUE(SameBytes(ReadBytes(dir.File("MAIN")), MainArea()));
    }
  }
}

#ifndef _WIN32
// A file outside the folder, with bytes and times that show any change.
struct OutsideFile {
  explicit OutsideFile(const ScopedTempDir& dir) : path(dir.File("victim")) {
    WriteBytes(path, bytes);
    const timespec times[2] = {{kTime, 0}, {kTime, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  // Whether it is as it was made.
  testing::AssertionResult Unchanged() const {
    FileTimes times;
    if (!ReadFileTimes(path, &times)) {
      return testing::AssertionFailure() << path << " is gone";
    }
    if (times.modified != kTime || times.accessed != kTime) {
      return testing::AssertionFailure() << path << "'s times changed";
    }
    return SameBytes(ReadBytes(path), bytes);
  }

  static constexpr time_t kTime = 1000000000;
  std::string path;
  Bytes bytes = PatternBytes(100, 9);
};

// A name that is in the folder as anything but a regular file of its own is
// never written through: a symbolic link, dangling or not, or a pipe gets
// the cannot-write message and status 1 at once, and nothing it leads to
// changes.
TEST(DriverTest, WritesNoOutputThroughALinkOrIntoAPipe) {
  TestVolume volume;
  volume.AddFile(0, "README  TXT", 0x20, DosTime(12, 0, 0), DosDate(1990, 1, 1), 2,
                 PatternBytes(100));
  const Bytes image = BuildImage({MakeRecognisedDisk(volume.bytes, MainArea(), DemoArea())});
  const std::string unfinishedReadme = "README.TXT        100 1990/01/01 12:00:00 A    ";
  const struct {
    const char* name;
    // Puts what is in the way into the folder, with `outside` beside it.
    std::function<void(const ScopedTempDir& dir, const ScopedTempDir& outside)> place;
    std::string out;
    std::vector<std::string> entries;
  } cases[] = {
      {"a link named MAIN to a file outside the folder",
       [](const ScopedTempDir& dir, const ScopedTempDir& outside) {
         fs::create_symlink(outside.File("victim"), dir.File("MAIN"));
       },
       kRecognised + kCutMain,
       {"MAIN", kImage}},
      {"a dangling link named DEMO",
       [](const ScopedTempDir& dir, const ScopedTempDir& outside) {
         fs::create_symlink(outside.File("made"), dir.File("DEMO"));
       },
       kRecognised + kCutMain + kCutDemo,
       {"DEMO", "MAIN", kImage}},
      {"a link named like a volume file",
       [](const ScopedTempDir& dir, const ScopedTempDir& outside) {
         fs::create_symlink(outside.File("victim"), dir.File("README.TXT"));
       },
       kHeader + unfinishedReadme,
       {"DEMO", "MAIN", "README.TXT", kImage}},
      {"a relative link named MAIN out of the folder",
       [](const ScopedTempDir& dir, const ScopedTempDir& outside) {
         fs::create_symlink("../" + fs::path(outside.path()).filename().string() + "/victim",
                            dir.File("MAIN"));
       },
       kRecognised + kCutMain,
       {"MAIN", kImage}},
      {"a pipe named MAIN",
       [](const ScopedTempDir& dir, const ScopedTempDir&) {
         ASSERT_EQ(mkfifo(dir.File("MAIN").c_str(), 0600), 0);
       },
       kRecognised + kCutMain,
       {"MAIN", kImage}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    ScopedTempDir outside;
    const OutsideFile victim(outside);
    c.place(dir, outside);
    WriteBytes(dir.File(kImage), image);

    // Should the tool wait, it is stopped after 20 seconds, with status 124.
    const ToolRun run =
        RunProgramWithArgv("/usr/bin/timeout", {"timeout", "20", ToolPath(), kImage}, dir.path());

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, kCannotWrite);
    EXPECT_EQ(dir.Entries(), c.entries);
    EXPECT_TRUE(victim.Unchanged());
    EXPECT_EQ(outside.Entries(), std::vector<std::string>{"victim"});
  }
}

// A hard link is a regular file, and is written over like any other: the
// file it shares its data with changes with it.
TEST(DriverTest, WritesOverAHardLinkAsOverAnyFile) {
  ScopedTempDir dir;
  ScopedTempDir outside;
  const OutsideFile shared(outside);
  fs::create_hard_link(shared.path, dir.File("MAIN"));

  const ToolRun run = CutImage(dir, BuildImage({RecognisedDisk()}));

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  ExpectRawAreaFiles(dir, MainArea(), DemoArea());
  EXPECT_TRUE(SameBytes(ReadBytes(shared.path), MainArea()));
}

// Standard output that cannot be written loses the listing: every file is
// still written, and then the tool says so and ends with status 1.
TEST(DriverTest, StandardOutputThatCannotBeWrittenEndsWithStatus1) {
  TestVolume volume;
  volume.AddFile(0, "README  TXT", 0x20, DosTime(12, 0, 0), DosDate(1990, 1, 1), 2,
                 PatternBytes(100));
  const struct {
    const char* name;
    Bytes image;
    std::vector<std::string> args;
    int status;
    std::string err;
    std::vector<std::string> entries;
  } cases[] = {
      {"the disk",
       BuildImage({MakeRecognisedDisk(volume.bytes, MainArea(), DemoArea())}),
       {kImage},
       1,
       "d88cut: write error: No space left on device\n",
       {"DEMO", "MAIN", "README.TXT", kImage}},
      {"--help",
       Bytes(),
       {"--help"},
       1,
       "d88cut: write error: No space left on device\n",
       {kImage}},
      // Nothing was to be printed, so nothing was lost.
      {"a disk it does not know", Bytes(), {kImage}, 0, "", {kImage}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteBytes(dir.File(kImage), c.image);
    std::vector<std::string> argv = {"sh", "-c", "exec \"$0\" \"$@\" >/dev/full", ToolPath()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());

    const ToolRun run = RunProgramWithArgv("/bin/sh", argv, dir.path());

    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(dir.Entries(), c.entries);
    if (c.entries.size() > 1) {
      EXPECT_TRUE(SameBytes(ReadBytes(dir.File("MAIN")), MainArea()));
      EXPECT_TRUE(SameBytes(ReadBytes(dir.File("DEMO")), DemoArea()));
      EXPECT_TRUE(SameBytes(ReadBytes(dir.File("README.TXT")), PatternBytes(100)));
      FileTimes times;
      ASSERT_TRUE(ReadFileTimes(dir.File("README.TXT"), &times));
      EXPECT_EQ(times.modified, 631195200);  // 1990-01-01 12:00:00 UTC
    }
  }
}

// A read of the image that fails is no end of the file: the tool stops at
// that read with the cannot-read line and status 1, and keeps the files it
// had written. The disk fails from a chosen offset on (tests/failing_disk.cpp).
TEST(DriverTest, ReadErrorEndsTheRunThere) {
  TestVolume volume;
  volume.AddFile(0, "README  TXT", 0x20, DosTime(12, 0, 0), DosDate(1990, 1, 1), 2,
                 PatternBytes(100));
  const Bytes image =
      BuildImage({WithFillerAfterMain(MakeRecognisedDisk(volume.bytes, MainArea(), DemoArea()))});
  const struct {
    const char* name;
    int64_t failAt;
    std::string out;
    std::optional<Bytes> main, demo;
  } cases[] = {
      {"the table of disks", 0, "", std::nullopt, std::nullopt},
      {"the signature sector", TrackStart(image, 0), "", std::nullopt, std::nullopt},
      {"DEMO's area", TrackStart(image, 5), kRecognised + kCutMain, MainArea(), std::nullopt},
      {"the volume", TrackStart(image, 30), kHeader, MainArea(), DemoArea()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteBytes(dir.File(kImage), image);

    const ToolRun run = RunProgramWithArgv(
        kFailingDiskStarter,
        OnFailingDisk({"D88_FAIL_READ_AT=" + std::to_string(c.failAt)}, {ToolPath(), kImage}),
        dir.path());

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "d88cut: cannot read 'disk.d88': Input/output error\n");
    ExpectRawAreaFiles(dir, c.main, c.demo);
  }
  // The same image on a sound disk, for comparison.
  ScopedTempDir dir;
  const ToolRun sound = CutImage(dir, image);
  EXPECT_EQ(sound.status, 0);
  EXPECT_EQ(sound.out, kHeader + "README.TXT        100 1990/01/01 12:00:00 A    \n");
}
#endif

TEST(DriverTest, LeavesTheImageAloneWhenItIsInTheWay) {
  const struct {
    const char* name;
    // Puts the image in the folder and gives the argument that names it.
    std::function<std::string(const ScopedTempDir&, const Bytes&)> place;
    std::string err;
    std::vector<std::string> entries;
    std::vector<std::string> imageCopies;  // files that must still be the image
  } cases[] = {
      {"the image named DEMO",
       [](const ScopedTempDir& dir, const Bytes& image) {
         WriteBytes(dir.File("DEMO"), image);
         return std::string("DEMO");
       },
       "image file would be overwritten, not written: DEMO\n",
       {"DEMO", "MAIN"},
       {"DEMO"}},
      {"the image named MAIN",
       [](const ScopedTempDir& dir, const Bytes& image) {
         WriteBytes(dir.File("MAIN"), image);
         return std::string("MAIN");
       },
       "image file would be overwritten, not written: MAIN\n",
       {"DEMO", "MAIN"},
       {"MAIN"}},
      {"DEMO a hard link to the image",
       [](const ScopedTempDir& dir, const Bytes& image) {
         WriteBytes(dir.File(kImage), image);
         fs::create_hard_link(dir.File(kImage), dir.File("DEMO"));
         return std::string(kImage);
       },
       "image file would be overwritten, not written: DEMO\n",
       {"DEMO", "MAIN", kImage},
       {"DEMO", kImage}},
#ifndef _WIN32
      {"DEMO a symbolic link to the image",
       [](const ScopedTempDir& dir, const Bytes& image) {
         WriteBytes(dir.File(kImage), image);
         fs::create_symlink(kImage, dir.File("DEMO"));
         return std::string(kImage);
       },
       "image file would be overwritten, not written: DEMO\n",
       {"DEMO", "MAIN", kImage},
       {"DEMO", kImage}},
#endif
      {"the image named DEMO in another folder",
       [](const ScopedTempDir& dir, const Bytes& image) {
         fs::create_directory(dir.File("in"));
         WriteBytes(dir.File("in/DEMO"), image);
         return std::string("in/DEMO");
       },
       "",
       {"DEMO", "MAIN", "in"},
       {"in/DEMO"}},
  };
  const Bytes image = BuildImage({RecognisedDisk()});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    const std::string argument = c.place(dir, image);
    const ToolRun run = RunTool({argument}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kRecognised + kCutMain + kCutDemo);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(dir.Entries(), c.entries);
    for (const std::string& copy : c.imageCopies) {
      EXPECT_TRUE(SameBytes(ReadBytes(dir.File(copy)), image)) << "in " << copy;
    }
    const auto expectArea = [&](const std::string& name, const Bytes& area) {
      if (std::find(c.imageCopies.begin(), c.imageCopies.end(), name) == c.imageCopies.end()) {
        EXPECT_TRUE(SameBytes(ReadBytes(dir.File(name)), area)) << "in " << name;
      }
    };
    expectArea("MAIN", MainArea());
    expectArea("DEMO", DemoArea());
  }
}

}  // namespace
