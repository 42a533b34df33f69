// Volumes made by mtools, a FAT implementation that none of this code shares,
// turned into the recognised disk by volume_to_d88 and unpacked by the built
// d88cut in a fresh folder. Each file must come out with the bytes and time
// of the source that mtools copied in; the listing must show what mtools
// recorded. mtools missing is a failure, never a skip.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/d88_writer.h"
#include "tests/expected_messages.h"
#include "tests/tool_runner.h"

extern char** environ;

namespace {

// Central European time with its summer time, as a rule, so that no zone
// database is needed. mtools and d88cut both run in it.
constexpr char kZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";
// The time mtools gives labels and directories: 1990-01-01 00:00 UTC.
constexpr char kBuildEpoch[] = "631152000";
constexpr char kBuildTime[] = "1990/01/01 01:00:00";

// "YYYY-MM-DD HH:MM:SS" as local time in the process's zone.
time_t LocalTime(const std::string& text) {
  struct tm local = {};
  if (sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &local.tm_year, &local.tm_mon, &local.tm_mday,
             &local.tm_hour, &local.tm_min, &local.tm_sec) != 6) {
    throw std::invalid_argument("not a time: " + text);
  }
  local.tm_year -= 1900;
  local.tm_mon -= 1;
  local.tm_isdst = -1;
  return mktime(&local);
}

// `utf8` in code page 932; any text that does not convert ends the test.
std::string ShiftJisOf(const std::string& utf8) {
  iconv_t converter = iconv_open("CP932", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error("no converter from UTF-8 to CP932");
  }
  std::string out(utf8.size() + 1, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* at = out.data();
  size_t outLeft = out.size();
  const size_t result = iconv(converter, &in, &inLeft, &at, &outLeft);
  iconv_close(converter);
  if (result == static_cast<size_t>(-1) || inLeft != 0) {
    throw std::runtime_error("not convertible to CP932: " + utf8);
  }
  out.resize(out.size() - outLeft);
  return out;
}

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct Process {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `argv` found on PATH, with this process's environment.
Process Spawn(const std::vector<std::string>& argv) {
  ScopedTempDir streams;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, streams.File("out").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, streams.File("err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    throw std::runtime_error("cannot run " + argv[0] + ": " + strerror(error) +
                             " (is it installed? mtools comes in the Debian package mtools)");
  }
  int waitStatus = 0;
  waitpid(pid, &waitStatus, 0);
  Process process;
  process.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
  process.out = Slurp(streams.File("out"));
  process.err = Slurp(streams.File("err"));
  return process;
}

// Runs `argv` and returns its standard output; any failure ends the test.
std::string MustRun(const std::vector<std::string>& argv) {
  const Process process = Spawn(argv);
  if (process.status != 0) {
    std::string command;
    for (const std::string& arg : argv) {
      command += arg + " ";
    }
    throw std::runtime_error(command + "failed with status " + std::to_string(process.status) +
                             ": " + process.err);
  }
  return process.out;
}

struct Source {
  std::string name;
  Bytes bytes;
  time_t expectedTime;  // as the directory can hold it: even seconds
};

class MtoolsVolumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", kZone, 1);
    tzset();
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("SOURCE_DATE_EPOCH", kBuildEpoch, 1);
    // Nothing of the user's mtools configuration.
    WriteBytes(work_.File("mtoolsrc"), AsBytes("mtools_skip_check=1\n"));
    WriteBytes(work_.File("mtoolsrc-932"), AsBytes("mtools_skip_check=1\ndefault_codepage=932\n"));
    UseCodePage932(false);
    if (mkdir(work_.File("src").c_str(), 0700) != 0) {
      throw std::runtime_error("cannot make the source folder");
    }
  }

  static Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

  // Names in Shift_JIS (code page 932) on the volume, UTF-8 on this side.
  // Only for the copies that need it: with it, mtools also gives plain
  // ASCII names long-name entries once the directory holds a file.
  void UseCodePage932(bool on) {
    setenv("MTOOLSRC", work_.File(on ? "mtoolsrc-932" : "mtoolsrc").c_str(), 1);
  }

  // A fresh 360 KB volume with clusters 9-36 marked bad.
  void Format(const std::string& label = "") {
    std::vector<std::string> command = {"mformat", "-C", "-f", "360", "-N", "1990ABCD"};
    if (!label.empty()) {
      command.insert(command.end(), {"-v", label});
    }
    command.insert(command.end(), {"-i", volume_, "::"});
    MustRun(command);
    MustRun({VOLUME_TO_D88_PATH, "mark-bad", volume_});
  }

  // Copies a new source file of `size` bytes, dated `time` (local), to
  // ::`target` with its time (mcopy -m). Returns its index in sources_.
  size_t Copy(const std::string& name, size_t size, const std::string& time,
              const std::string& target = "") {
    Source source{name, MixedBytes(size, static_cast<uint32_t>(sources_.size() + 1)), 0};
    const std::string path = work_.File("src/" + name);
    WriteBytes(path, source.bytes);
    const time_t when = LocalTime(time);
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
      throw std::runtime_error("cannot set the time of " + path);
    }
    // The directory holds even seconds: mtools rounds odd ones down.
    source.expectedTime = when - (IsOddSecond(time) ? 1 : 0);
    MustRun({"mcopy", "-m", "-i", volume_, path, "::" + (target.empty() ? name : target)});
    sources_.push_back(source);
    return sources_.size() - 1;
  }

  static bool IsOddSecond(const std::string& time) { return (time.back() - '0') % 2 != 0; }

  void Mtools(std::vector<std::string> command) {
    command.insert(command.begin() + 1, {"-i", volume_});
    MustRun(command);
  }

  // The clusters of a file as mshowfat gives them, e.g. "<8> <37>".
  std::string Chain(const std::string& name) {
    std::string shown = MustRun({"mshowfat", "-i", volume_, "::" + name});
    const size_t at = shown.find('<');
    shown = at == std::string::npos ? "" : shown.substr(at);
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == ' ')) {
      shown.pop_back();
    }
    return shown;
  }

  // Makes the D88 image and runs d88cut on it in `out_`.
  void Unpack() {
    WriteBytes(work_.File("main"), mainArea_);
    WriteBytes(work_.File("demo"), demoArea_);
    const std::string image = work_.File("disk.d88");
    MustRun(
        {VOLUME_TO_D88_PATH, "convert", volume_, work_.File("main"), work_.File("demo"), image});
    run_ = RunTool({image}, out_.path(), kZone);
  }

  // d88cut ended well with exactly `listing` after the header lines, and
  // wrote MAIN, DEMO and the sources numbered `written`, nothing else.
  void ExpectUnpacked(const std::vector<std::string>& listing, const std::vector<size_t>& written) {
    EXPECT_EQ(run_.status, 0);
    EXPECT_EQ(run_.err, "");
    std::string expected = kHeader;
    for (const std::string& line : listing) {
      expected += line + "\n";
    }
    EXPECT_EQ(run_.out, expected);

    EXPECT_EQ(ReadBytes(out_.File("MAIN")), mainArea_);
    EXPECT_EQ(ReadBytes(out_.File("DEMO")), demoArea_);
    std::vector<std::string> names = {"DEMO", "MAIN"};
    for (size_t index : written) {
      const Source& source = sources_.at(index);
      names.push_back(source.name);
      struct stat status = {};
      ASSERT_EQ(stat(out_.File(source.name).c_str(), &status), 0) << source.name;
      EXPECT_EQ(status.st_mtime, source.expectedTime) << source.name;
      EXPECT_EQ(status.st_atime, source.expectedTime) << source.name;
      EXPECT_EQ(ReadBytes(out_.File(source.name)), source.bytes) << source.name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(out_.Entries(), names);
  }

  ScopedTempDir work_;
  ScopedTempDir out_;
  const std::string volume_ = work_.File("volume.img");
  std::vector<Source> sources_;
  const Bytes mainArea_ = MixedBytes(8192, 8192);
  const Bytes demoArea_ = MixedBytes(16384, 16384);
  ToolRun run_;
};

TEST_F(MtoolsVolumeTest, OrdinaryDiskListsAndWritesEveryFile) {
  Format("SAMPLE DISK");
  const size_t readme = Copy("README.TXT", 3000, "1990-03-04 12:34:56");
  Mtools({"mattrib", "+r", "::README.TXT"});
  Mtools({"mmd", "::GAMES"});
  Copy("INSIDE.TXT", 100, "1990-03-04 12:00:00", "GAMES/INSIDE.TXT");
  const size_t one = Copy("ONE.DAT", 1, "1980-01-01 00:00:00");
  // Lands on cluster 8 and, past the clusters under the raw areas, 37.
  const size_t s1025 = Copy("S1025.DAT", 1025, "2001-09-09 03:46:40");
  const size_t s511 = Copy("S511.DAT", 511, "1995-07-15 13:45:30");  // summer time
  const size_t s512 = Copy("S512.DAT", 512, "1995-12-15 13:45:57");  // odd second
  const size_t s1023 = Copy("S1023.DAT", 1023, "2024-02-29 23:59:58");
  const size_t s1024 = Copy("S1024.DAT", 1024, "2099-12-31 23:59:58");
  const size_t empty = Copy("EMPTY", 0, "1990-03-04 00:00:02");
  const size_t hidden = Copy("HIDDEN.SYS", 511, "1991-01-02 03:04:06");
  Mtools({"mattrib", "+h", "+s", "::HIDDEN.SYS"});
  const size_t plain = Copy("PLAIN.BIN", 512, "1991-01-02 03:04:08");
  Mtools({"mattrib", "-a", "::PLAIN.BIN"});
  Copy("PAT.COM", 700, "1990-03-04 12:34:56");
  Copy("GONE.TXT", 2048, "1990-03-04 12:34:56");
  const size_t tens = Copy("TENS.DAT", 30000, "2010-06-30 22:00:00");
  const size_t hundred = Copy("HUNDRED.DAT", 102417, "2010-06-30 22:00:02");
  Mtools({"mdel", "::GONE.TXT"});
  ASSERT_EQ(Chain("S1025.DAT"), "<8> <37>");

  Unpack();
  ExpectUnpacked(
      {
          // A label's name is built as a file's: "SAMPLE D" + "ISK".
          std::string("SAMPLE.ISK          0 ") + kBuildTime + " V    ",
          "README.TXT       3000 1990/03/04 12:34:56 A R   ",
          std::string("GAMES               0 ") + kBuildTime + " D    ",
          "ONE.DAT             1 1980/01/01 00:00:00 A    ",
          "S1025.DAT        1025 2001/09/09 03:46:40 A    ",
          "S511.DAT          511 1995/07/15 13:45:30 A    ",
          "S512.DAT          512 1995/12/15 13:45:56 A    ",
          "S1023.DAT        1023 2024/02/29 23:59:58 A    ",
          "S1024.DAT        1024 2099/12/31 23:59:58 A    ",
          "EMPTY               0 1990/03/04 00:00:02 A    ",
          "HIDDEN.SYS        511 1991/01/02 03:04:06 A S H    ",
          "PLAIN.BIN         512 1991/01/02 03:04:08    ",
          "TENS.DAT        30000 2010/06/30 22:00:00 A    ",
          "HUNDRED.DAT    102417 2010/06/30 22:00:02 A    ",
      },
      {readme, one, s1025, s511, s512, s1023, s1024, empty, hidden, plain, tens, hundred});
}

TEST_F(MtoolsVolumeTest, FullDiskReachesTheLastClustersAndAFragmentedFile) {
  Format();
  // 326 usable clusters: 2-8 and 37-355.
  Copy("HOLE1.DAT", 3 * 1024, "1990-03-04 12:00:00");
  const size_t keep = Copy("KEEP.DAT", 4 * 1024, "1990-03-04 12:00:02");
  const size_t big1 = Copy("BIG1.DAT", 100 * 1024, "1990-03-04 12:00:04");
  Copy("HOLE2.DAT", 20 * 1024, "1990-03-04 12:00:06");
  const size_t big2 = Copy("BIG2.DAT", 100 * 1024 - 1, "1990-03-04 12:00:08");
  const size_t big3 = Copy("BIG3.DAT", 74000, "1990-03-04 12:00:10");
  Mtools({"mdel", "::HOLE1.DAT", "::HOLE2.DAT"});
  // Fills both holes and the 26 clusters left at the end, to cluster 355.
  const size_t frag = Copy("FRAG.DAT", 49 * 1024 - 100, "1990-03-04 12:00:12");
  ASSERT_EQ(Chain("FRAG.DAT"), "<2-4> <137-156> <330-355>");
  ASSERT_EQ(Chain("BIG3.DAT"), "<257-329>");

  Unpack();
  ExpectUnpacked(
      {
          "FRAG.DAT        50076 1990/03/04 12:00:12 A    ",
          "KEEP.DAT         4096 1990/03/04 12:00:02 A    ",
          "BIG1.DAT       102400 1990/03/04 12:00:04 A    ",
          "BIG2.DAT       102399 1990/03/04 12:00:08 A    ",
          "BIG3.DAT        74000 1990/03/04 12:00:10 A    ",
      },
      {frag, keep, big1, big2, big3});
}

TEST_F(MtoolsVolumeTest, OnlyTheFirst64RootEntriesAreSeen) {
  Format();
  std::vector<std::string> listing;
  std::vector<size_t> written;
  for (int i = 0; i < 70; ++i) {
    char name[16];
    char time[32];
    char line[64];
    snprintf(name, sizeof name, "F%02d.DAT", i);
    snprintf(time, sizeof time, "1990-03-04 12:%02d:%02d", i / 30, i % 30 * 2);
    const size_t size = static_cast<size_t>(i) * 100;
    const size_t index = Copy(name, size, time);
    if (i < 64) {
      snprintf(line, sizeof line, "%-12s %8zu 1990/03/04 12:%02d:%02d A    ", name, size, i / 30,
               i % 30 * 2);
      listing.push_back(line);
      written.push_back(index);
    }
  }

  Unpack();
  ExpectUnpacked(listing, written);
}

TEST_F(MtoolsVolumeTest, ShiftJisNamesAreWrittenAsTheirBytes) {
  Format();
  // mtools writes half-width katakana (one byte each in code page 932) as is.
  UseCodePage932(true);
  const size_t katakana = Copy("ｱｲｳｴｵｶｷｸ.TXT", 10, "1990-03-04 12:34:56");
  UseCodePage932(false);
  // Two-byte names it shortens or mangles, so they are given in place:
  // ファイル.TXT fills all eight bytes, and 表示.TXT has the trail byte 5C.
  const size_t file = Copy("FILE.TXT", 1500, "1990-03-04 12:34:58");
  MustRun({VOLUME_TO_D88_PATH, "rename", volume_, "FILE    TXT",
           "\x83\x74\x83\x40\x83\x43\x83\x8b"
           "TXT"});
  const size_t show = Copy("SHOW.TXT", 20, "1990-03-04 12:35:00");
  MustRun({VOLUME_TO_D88_PATH, "rename", volume_, "SHOW    TXT", "\x95\x5c\x8e\xa6    TXT"});
  sources_[katakana].name = "\xb1\xb2\xb3\xb4\xb5\xb6\xb7\xb8.TXT";
  sources_[file].name = "\x83\x74\x83\x40\x83\x43\x83\x8b.TXT";
  sources_[show].name = "\x95\x5c\x8e\xa6.TXT";

  Unpack();
  ExpectUnpacked(
      {
          "\xb1\xb2\xb3\xb4\xb5\xb6\xb7\xb8.TXT       10 1990/03/04 12:34:56 A    ",
          "\x83\x74\x83\x40\x83\x43\x83\x8b.TXT     1500 1990/03/04 12:34:58 A    ",
          "\x95\x5c\x8e\xa6.TXT           20 1990/03/04 12:35:00 A    ",
      },
      {katakana, file, show});
}

// A name whose first byte is 0xE5, such as one whose first character is a
// kanji with that lead byte, is recorded with 0x05 in its place, since 0xE5
// marks a deleted entry; mtools reads 0x05 back as 0xE5, and so must
// d88cut. (mtools 4.0 keeps only as many bytes of a two-byte name as it has
// characters, so 蕁蘂蕋蝓.TXT comes out as 蕁蘂.TXT: the name is taken from
// what mtools lists.)
TEST_F(MtoolsVolumeTest, FirstByte05IsReadAsE5AsMtoolsReadsIt) {
  Format();
  UseCodePage932(true);
  const size_t kanji = Copy("蕁蘂蕋蝓.TXT", 700, "1990-03-04 12:34:56");
  std::string listed = MustRun({"mdir", "-b", "-i", volume_, "::"});
  UseCodePage932(false);
  ASSERT_EQ(listed.substr(0, 3), "::/");
  ASSERT_EQ(listed.back(), '\n');
  listed = ShiftJisOf(listed.substr(3, listed.size() - 4));
  const Bytes raw = ReadBytes(volume_);
  ASSERT_EQ(raw.at(5 * 512), 0x05) << "mtools did not record the name with 0x05";
  ASSERT_EQ(listed.substr(0, 1), "\xE5") << listed;
  sources_[kanji].name = listed;

  Unpack();
  char line[64];
  snprintf(line, sizeof line, "%-12s      700 1990/03/04 12:34:56 A    ", listed.c_str());
  ExpectUnpacked({line}, {kanji});
}

TEST_F(MtoolsVolumeTest, LongNameEntriesAreListedButNotWritten) {
  Format();
  // mtools stores the long name in two entries before the short one. Read
  // as short entries, their UTF-16 text gives the name, date, time and size,
  // and their attributes are V S H R, so no file is written for them.
  const size_t notes = Copy("Notes for the disk.txt", 200, "1990-03-04 12:34:56");
  sources_[notes].name = "NOTESF~1.TXT";

  Unpack();
  ExpectUnpacked(
      {
          "B.                 -1 2107/15/31 00:00:00 V S H R   ",
          "\x01N            6619240 1980/03/20 00:01:00 V S H R   ",
          "NOTESF~1.TXT      200 1990/03/04 12:34:56 A    ",
      },
      {notes});
}

}  // namespace
