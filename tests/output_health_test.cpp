// Which outputs of a damaged dump are whole: d88info run on recognised
// disks with one kind of damage each, its text report and its JSON (read by
// python3's parser), and d88cut run on the same disk, whose outputs that
// d88info calls intact must hold exactly the disk's bytes.
#include "common/output_health.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/d88_writer.h"
#include "testing/info_cases.h"
#include "testing/test_disk.h"
#include "tests/tool_runner.h"

namespace {

constexpr uint8_t kArchive = 0x20;
constexpr uint8_t kDirectory = 0x10;
const uint16_t kTime = DosTime(12, 34, 56);
const uint16_t kDate = DosDate(1990, 3, 4);

// Two files: INTACT.TXT in clusters 2-3 (track 1, R4-R7), TARGET.DAT in
// clusters 40-41 (track 9 R8-R9, track 10 R1-R2), 1,500 bytes each; and a
// directory, GAMES.
struct Fixture {
  TestVolume volume;
  std::map<std::string, Bytes> contents;

  Fixture() {
    AddFile(0, "INTACT  TXT", 2, MixedBytes(1500, 1));
    AddFile(1, "TARGET  DAT", 40, MixedBytes(1500, 2));
    volume.SetEntry(2, "GAMES      ", kDirectory, kTime, kDate, 0, 0);
    contents["MAIN"] = VolumeTestMainArea();
    contents["DEMO"] = VolumeTestDemoArea();
  }
  void AddFile(int index, const std::string& name11, int cluster, const Bytes& data) {
    volume.AddFile(index, name11, kArchive, kTime, kDate, cluster, data);
    const std::string base = name11.substr(0, name11.find(' '));
    const std::string extension = name11.substr(8, name11.find(' ', 8) - 8);
    // The first output of a name keeps it: a later one replaces its file.
    contents.emplace(extension.empty() ? base : base + "." + extension, data);
  }
};

Record& RecordOf(Disk& disk, int track, int r) {
  for (Record& record : disk.tracks.at(track).records) {
    if (record.r == r && record.n == (track >= 3 && track <= 8 ? 1 : 2)) {
      return record;
    }
  }
  throw std::logic_error("no such record");
}

void RemoveRecord(Disk& disk, int track, int r) {
  auto& records = disk.tracks.at(track).records;
  records.erase(records.begin() + (&RecordOf(disk, track, r) - records.data()));
}

struct HealthCase {
  const char* what;
  std::function<void(Fixture&)> editVolume;
  std::function<void(Disk&)> editDisk;
  // Each output as "NAME|problems|details", in the order written, with
  // "|replaced" after it when a later output takes its file.
  std::vector<std::string> outputs;
};

const std::string kMain = "MAIN||";
const std::string kDemo = "DEMO||";
const std::string kIntact = "INTACT.TXT||";
const std::string kTarget = "TARGET.DAT||";
// Windows takes names that differ only in case for one file; Linux does not.
#ifdef _WIN32
const std::string kIntactBeforeLowerCase = kIntact + "|replaced";
#else
const std::string kIntactBeforeLowerCase = kIntact;
#endif

const std::vector<HealthCase>& Cases() {
  static const std::vector<HealthCase> cases = {
      {"an intact disk", nullptr, nullptr, {kMain, kDemo, kIntact, kTarget}},
      {"a missing sector stops its track's read",
       nullptr,
       [](Disk& disk) { RemoveRecord(disk, 9, 8); },
       {kMain, kDemo, kIntact,
        "TARGET.DAT|not-from-disk|not from the disk: C4 H1 R8 missing, C4 H1 R9 not read"}},
      {"a short sector",
       nullptr,
       [](Disk& disk) { RecordOf(disk, 9, 8).data.resize(100); },
       {kMain, kDemo, kIntact,
        "TARGET.DAT|not-from-disk|not from the disk: C4 H1 R8 short, C4 H1 R9 not read"}},
      {"a sector with a CRC-error status",
       nullptr,
       [](Disk& disk) { RecordOf(disk, 9, 9).status = 0xB0; },
       {kMain, kDemo, kIntact, "TARGET.DAT|bad-sector|bad sectors: C4 H1 R9 (status 0xb0)"}},
      {"a sector with a deleted-data mark",
       nullptr,
       [](Disk& disk) { RecordOf(disk, 10, 1).deleted = 0x10; },
       {kMain, kDemo, kIntact, "TARGET.DAT|bad-sector|bad sectors: C5 H0 R1 (deleted data)"}},
      // Tracks 0-2 are one read: a missing R4 of track 1 leaves INTACT.TXT's
      // clusters holding the end of DEMO's run, which is on the disk but was
      // not read for it.
      {"a missing sector in tracks 0-2 leaves what the raw areas left",
       nullptr,
       [](Disk& disk) { RemoveRecord(disk, 1, 4); },
       {kMain, kDemo,
        "INTACT.TXT|not-from-disk|not from the disk: C0 H1 R4 missing, C0 H1 R5-6 not read",
        kTarget}},
      {"a chain that ends early",
       [](Fixture& f) { f.volume.SetEntry(1, "TARGET  DAT", kArchive, kTime, kDate, 40, 3000); },
       nullptr,
       {kMain, kDemo, kIntact,
        "TARGET.DAT|short|short: the chain ends at cluster 41, 2048 of 3000 bytes"}},
      {"a chain that comes back on itself",
       [](Fixture& f) {
         f.volume.SetFat(41, 40);
         f.volume.SetEntry(1, "TARGET  DAT", kArchive, kTime, kDate, 40, 3000);
       },
       nullptr,
       {kMain, kDemo, kIntact,
        "TARGET.DAT|short|short: the chain comes back to cluster 40, 2048 of 3000 bytes"}},
      {"a chain that leaves the volume",
       [](Fixture& f) { f.volume.SetEntry(1, "TARGET  DAT", kArchive, kTime, kDate, 400, 100); },
       nullptr,
       {kMain, kDemo, kIntact,
        "TARGET.DAT|short|short: the chain leaves the volume (cluster 400), 0 of 100 bytes"}},
      {"a cross-link",
       [](Fixture& f) { f.volume.SetEntry(3, "OTHER   DAT", kArchive, kTime, kDate, 41, 500); },
       nullptr,
       {kMain, kDemo, kIntact, "TARGET.DAT|cross-linked|shares cluster 41 with OTHER.DAT",
        "OTHER.DAT|cross-linked|shares cluster 41 with TARGET.DAT"}},
      // Cluster 12 lies at 16,384: track 3, which holds the raw areas.
      {"a file in tracks 3-8",
       [](Fixture& f) {
         f.volume.SetFat(40, 0);
         f.volume.SetFat(41, 0);
         f.AddFile(1, "TARGET  DAT", 12, MixedBytes(1500, 2));
       },
       nullptr,
       {kMain, kDemo, kIntact,
        "TARGET.DAT|not-from-disk|not from the disk: clusters 12-13 on tracks 3-8, which the "
        "volume "
        "load does not read"}},
      {"raw areas with a missing and a bad sector",
       nullptr,
       [](Disk& disk) {
         RemoveRecord(disk, 4, 5);
         RecordOf(disk, 6, 1).status = 0xB0;
         RecordOf(disk, 6, 2).deleted = 0x10;
       },
       {"MAIN|not-from-disk|not from the disk: C2 H0 R5 missing, C2 H0 R6-16 not read",
        "DEMO|bad-sector|bad sectors: C3 H0 R1 (status 0xb0), C3 H0 R2 (deleted data)", kIntact,
        kTarget}},
      // BIG.DAT takes clusters 50-93: tracks 12-21. With R1 gone from tracks
      // 13-21, each of those tracks gives two items; the words name the
      // first eight and count the rest once each.
      {"more damaged sectors than the words list",
       [](Fixture& f) { f.AddFile(3, "BIG     DAT", 50, MixedBytes(45000, 3)); },
       [](Disk& disk) {
         for (int track = 13; track <= 21; ++track) {
           RemoveRecord(disk, track, 1);
         }
       },
       {kMain, kDemo, kIntact, kTarget,
        "BIG.DAT|not-from-disk|not from the disk: C6 H1 R1 missing, C6 H1 R2-9 not read, "
        "C7 H0 R1 missing, C7 H0 R2-9 not read, C7 H1 R1 missing, C7 H1 R2-9 not read, "
        "C8 H0 R1 missing, C8 H0 R2-9 not read, and 10 more"}},
      {"a raw area whose first sector is missing is no output",
       nullptr,
       [](Disk& disk) { RemoveRecord(disk, 5, 1); },
       {kMain, kIntact, kTarget}},
      // The folder keeps the later file, whose chain runs from cluster 0.
      {"a repeated entry replaces the file of the first",
       [](Fixture& f) { f.volume.SetEntry(3, "INTACT  TXT", kArchive, kTime, kDate, 0, 1500); },
       nullptr,
       {kMain, kDemo, kIntact + "|replaced", kTarget,
        "INTACT.TXT|short|short: the chain leaves the volume (cluster 4080), 1024 of 1500 bytes"}},
      {"a volume file of a raw area's name replaces it",
       [](Fixture& f) { f.AddFile(3, "MAIN       ", 50, MixedBytes(100, 3)); },
       nullptr,
       {kMain + "|replaced", kDemo, kIntact, kTarget, "MAIN||"}},
      {"a name that differs only in case",
       [](Fixture& f) { f.AddFile(3, "intact  txt", 50, MixedBytes(100, 4)); },
       nullptr,
       {kMain, kDemo, kIntactBeforeLowerCase, kTarget, "intact.txt||"}},
  };
  return cases;
}

constexpr char kReplaced[] = "|replaced";

bool IsReplaced(const std::string& output) {
  const size_t length = sizeof kReplaced - 1;
  return output.size() > length && output.compare(output.size() - length, length, kReplaced) == 0;
}

// The lines of `name` in d88info's outputs section, as a pipe gets them,
// for an output whose bytes are `written`.
std::string OutputLines(const std::string& output, const Bytes& written) {
  const int32_t size = static_cast<int32_t>(written.size());
  const bool replaced = IsReplaced(output);
  const size_t bar = output.find('|');
  const size_t second = output.find('|', bar + 1);
  const size_t end = replaced ? output.size() - (sizeof kReplaced - 1) : output.size();
  const std::string name = output.substr(0, bar);
  const std::string problems = output.substr(bar + 1, second - bar - 1);
  std::string line = "  " + name + std::string(12 - name.size(), ' ') + " ";
  const std::string size_text = std::to_string(size);
  line += std::string(8 - size_text.size(), ' ') + size_text + " ";
  if (problems.empty()) {
    line += "intact";
  } else {
    std::string kinds = problems;
    for (size_t at = kinds.find(','); at != std::string::npos; at = kinds.find(',', at + 2)) {
      kinds.insert(at + 1, " ");
    }
    line += "damaged: " + kinds + " (" + output.substr(second + 1, end - second - 1) + ")";
  }
  line += replaced ? " replaced by a later output\n" : "\n";
  char crc32[9];
  snprintf(crc32, sizeof crc32, "%08x",
           static_cast<unsigned>(UpdateCrc32(0, written.data(), written.size())));
  return line + "    crc32 " + crc32 + " sha1 " + Sha1Hex(written) + "\n";
}

#ifndef _WIN32
// Reads d88info's JSON with python3 and gives each output as
// "name|problems|details", checking on the way what every output must hold:
// the checksums of each output no later one replaces are those of its file
// in the folder d88cut wrote, by Python's zlib and hashlib.
const char kReadOutputs[] = R"(
import hashlib, json, os, sys, zlib
report = json.load(open(sys.argv[1], encoding='utf-8'))
for output in report.get('outputs', []):
    if not output['replaced']:
        name = os.fsdecode(bytes.fromhex(output['name_hex']))
        data = open(os.path.join(sys.argv[2], name), 'rb').read()
        assert output['crc32'] == '%08x' % zlib.crc32(data), output
        assert output['sha1'] == hashlib.sha1(data).hexdigest(), output
    assert output['health'] == ('damaged' if output['problems'] else 'intact'), output
    assert output['problems'] == sorted(output['problems']), output
    assert bytes.fromhex(output['name_hex']).decode('cp932') == output['name'], output
    assert (output['details'] == '') == (output['health'] == 'intact'), output
    assert output['replaced'] in (True, False), output
    print(output['name'] + '|' + ','.join(output['problems']) + '|' + output['details'] +
          ('|replaced' if output['replaced'] else ''))
)";

std::string ReadJsonOutputs(const ScopedTempDir& dir, const std::string& json,
                            const std::string& written) {
  WriteBytes(dir.File("report.json"), Bytes(json.begin(), json.end()));
  const ToolRun run = RunProgramWithArgv(
      "/usr/bin/env", {"env", "python3", "-c", kReadOutputs, "report.json", written}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  return run.out;
}
#endif

TEST(OutputHealthTest, EachDamageGivesItsOutputsTheirKinds) {
  for (const HealthCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    Fixture fixture;
    if (c.editVolume) {
      c.editVolume(fixture);
    }
    Disk disk =
        MakeRecognisedDisk(fixture.volume.bytes, VolumeTestMainArea(), VolumeTestDemoArea());
    if (c.editDisk) {
      c.editDisk(disk);
    }
    ScopedTempDir dir;
    WriteBytes(dir.File("disk.d88"), BuildImage({disk}));

    // d88cut's outputs: those called intact hold exactly the disk's bytes.
    // A replaced one's file holds the later output's, and a later output of
    // its name is not the one the fixture knows by that name.
    ScopedTempDir out;
    const ToolRun cut = RunTool({dir.File("disk.d88")}, out.path());
    EXPECT_EQ(cut.status, 0);
    std::string expectedText = "\noutputs:\n";
    std::vector<std::string> seen;
    for (const std::string& output : c.outputs) {
      const std::string name = output.substr(0, output.find('|'));
      const bool first = std::find(seen.begin(), seen.end(), name) == seen.end();
      seen.push_back(name);
      if (IsReplaced(output)) {
        expectedText += OutputLines(output, fixture.contents.at(name));
        continue;
      }
      const Bytes written = ReadBytes(out.File(name));
      if (first && output.find("||") != std::string::npos) {
        EXPECT_EQ(written, fixture.contents.at(name)) << name;
      }
      expectedText += OutputLines(output, written);
    }
    expectedText += "  subdirectories are not entered: GAMES\n";

    const ToolRun text = RunInfo({"disk.d88"}, dir.path());
    EXPECT_EQ(text.status, 0);
    const size_t outputs = text.out.find("\noutputs:\n");
    ASSERT_NE(outputs, std::string::npos) << text.out;
    EXPECT_EQ(text.out.substr(outputs), expectedText);

#ifndef _WIN32
    const ToolRun json = RunInfo({"--json", "disk.d88"}, dir.path());
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.err, "");
    std::string expected;
    for (const std::string& output : c.outputs) {
      expected += output + "\n";
    }
    EXPECT_EQ(ReadJsonOutputs(dir, json.out, out.path()), expected);
#endif
  }
}

// Each sector d88cut reads or needs, with what it holds for d88cut and its
// state, as the page's map will draw it.
TEST(OutputHealthTest, SectorsCarryTheirRolesAndStates) {
  Fixture fixture;
  Disk disk = MakeRecognisedDisk(fixture.volume.bytes, VolumeTestMainArea(), VolumeTestDemoArea());
  RemoveRecord(disk, 9, 8);
  RecordOf(disk, 1, 5).status = 0xB0;
  RecordOf(disk, 4, 2).deleted = 0x10;
  RecordOf(disk, 10, 9).data.resize(10);
  disk.tracks.erase(12);
  ScopedTempDir dir;
  WriteBytes(dir.File("disk.d88"), BuildImage({disk}));
  D88Image image;
  ASSERT_TRUE(image.Open(dir.File("disk.d88").c_str()));
  static DiskHealth health;
  JudgeOutputs(image, &health);
  ASSERT_EQ(health.outputs, 4);

  const auto find = [](int track, int r, int n) -> const HealthSector* {
    for (int i = 0; i < health.sectors; ++i) {
      const HealthSector& sector = health.sector[i];
      if (sector.track == track && sector.r == r && sector.n == n) {
        return &sector;
      }
    }
    return nullptr;
  };
  // The read of track 9 stops at R8, which TARGET.DAT needed, and never
  // reaches R9, TARGET.DAT's too; track 12, which the image lacks, stops
  // its read at R1.
  const struct {
    int track, r, n;
    const char* role;
    const char* state;
    int output;  // -1: none
    bool inImage;
  } cases[] = {
      {0, 1, 1, "signature", "ok", -1, true},     {3, 1, 1, "main", "ok", 0, true},
      {4, 2, 1, "main", "deleted", 0, true},      {5, 1, 1, "demo", "ok", 1, true},
      {0, 2, 2, "fat", "ok", -1, true},           {0, 6, 2, "directory", "ok", -1, true},
      {0, 1, 2, "unused", "ok", -1, true},        {1, 4, 2, "file", "ok", 2, true},
      {1, 5, 2, "file", "bad", 2, true},          {9, 7, 2, "unused", "ok", -1, true},
      {9, 8, 2, "file", "missing", 3, false},     {9, 9, 2, "file", "unread", 3, true},
      {10, 1, 2, "file", "ok", 3, true},          {10, 9, 2, "unused", "short", -1, true},
      {12, 1, 2, "unused", "missing", -1, false}, {12, 9, 2, "unused", "unread", -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("track " + std::to_string(c.track) + " R" + std::to_string(c.r));
    const HealthSector* sector = find(c.track, c.r, c.n);
    ASSERT_NE(sector, nullptr);
    EXPECT_STREQ(SectorRoleName(sector->role), c.role);
    EXPECT_STREQ(SectorStateName(sector->state), c.state);
    EXPECT_EQ(sector->output, c.output);
    EXPECT_EQ(sector->at >= 0, c.inImage);
  }
  EXPECT_EQ(health.directories, 1);
  EXPECT_STREQ(health.directoryNames[0], "GAMES");
}

#ifndef _WIN32
// Names and strings reach the JSON as a terminal shows them, decoded from
// Shift_JIS, with every quote, backslash and control escaped; the name's
// bytes in name_hex.
TEST(OutputHealthTest, JsonStringsAreEscapedAndDecoded) {
  Fixture fixture;
  // Q " \ <SOH> then a full-width space (81 40); 0xA0 and 0xFD, which the
  // browsers' Shift_JIS lacks; a kanji whose trail byte is 0x5C.
  fixture.volume.AddFile(2, "Q\"\\\x01\x81\x40  TXT", kArchive, kTime, kDate, 50, Bytes(10, 1));
  fixture.volume.AddFile(3, "\xA0\xFD\x95\x5C    TXT", kArchive, kTime, kDate, 51, Bytes(10, 2));
  Disk disk = MakeRecognisedDisk(fixture.volume.bytes, VolumeTestMainArea(), VolumeTestDemoArea());
  disk.name = "\"\\\x1b\x93\xfa";  // a quote, a backslash, ESC and 日
  ScopedTempDir dir;
  WriteBytes(dir.File("disk.d88"), BuildImage({disk}));
  const ToolRun run = RunInfo({"--json", "disk.d88"}, dir.path());
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
  WriteBytes(dir.File("report.json"), Bytes(run.out.begin(), run.out.end()));
  const ToolRun read =
      RunProgramWithArgv("/usr/bin/env",
                         {"env", "python3", "-c",
                          "import json, sys\n"
                          "r = json.load(open('report.json', encoding='utf-8'))\n"
                          "print(r['disks'][0]['name'], r['disks'][0]['name_hex'])\n"
                          "for o in r['outputs'][4:]: print(o['name'], o['name_hex'])\n"},
                         dir.path());
  EXPECT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out,
            "\"\\?\xe6\x97\xa5 225c1b93fa\n"
            "Q\"\\?\xe3\x80\x80.TXT 51225c0181402e545854\n"
            "??\xe8\xa1\xa8.TXT a0fd955c2e545854\n");
}
#endif

}  // namespace
