// What only Windows has: its rules for file names, Shift_JIS names made as
// their Japanese names, names that match in any case, devices, read-only
// files, time zones in the C runtime's form, and text streams that end each
// line in CR LF. Each case runs the built tool in a fresh folder. No test
// here opens a COM or LPT device: under Wine those are the machine's own
// ports, so their names are only ever judged, never made.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testing/d88_writer.h"
#include "testing/test_disk.h"
#include "testing/test_helpers.h"
#include "tests/expected_messages.h"
#include "tests/tool_runner.h"

namespace fs = std::filesystem;

namespace {

Bytes ImageOf(const TestVolume& volume) {
  return BuildImage({MakeRecognisedDisk(volume.bytes, VolumeTestMainArea(), VolumeTestDemoArea())});
}

// Writes the image into `dir` as `imageName` and runs the tool there on it.
ToolRun RunOn(const ScopedTempDir& dir, const TestVolume& volume, const std::string& tz = "UTC",
              const std::string& imageName = "disk.d88") {
  WriteBytes(dir.File(imageName), ImageOf(volume));
  return RunTool({imageName}, dir.path(), tz);
}

// The listing line of an archive file dated kDate, kTime.
std::string Line(const std::string& name, int size) {
  std::string line = name;
  line.resize(std::max<size_t>(line.size(), 12), ' ');
  const std::string digits = std::to_string(size);
  return line + " " + std::string(8 - std::min<size_t>(8, digits.size()), ' ') + digits +
         " 1990/03/04 12:34:56 A    \n";
}

std::wstring Widen(const std::string& utf8) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

time_t UnixTime(const FILETIME& time) {
  const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<time_t>((ticks - 116444736000000000) / 10000000);
}

void ExpectFile(const ScopedTempDir& dir, const std::string& name, const Bytes& data, time_t time) {
  SCOPED_TRACE("file " + name);
  FileTimes times;
  ASSERT_TRUE(ReadFileTimes(dir.File(name), &times));
  EXPECT_EQ(times.modified, time);
  EXPECT_EQ(times.accessed, time);
  EXPECT_EQ(ReadBytes(dir.File(name)), data);
}

// Windows streams are text: every line feed the tool writes reaches the
// file as CR LF, on standard output and on standard error alike.
TEST(WindowsStreams, EveryLineEndsInCrLf) {
  ScopedTempDir dir;
  TestVolume volume;
  const Bytes data = MixedBytes(10, 1);
  volume.AddFile(0, "CON        ", kArchive, kTime, kDate, 2, data);
  volume.AddFile(1, "GOOD    TXT", kArchive, kTime, kDate, 3, data);

  const ToolRun run = RunOn(dir, volume);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.rawOut,
            "DISK 1\x82\xf0\x94\x46\x8e\xaf\x82\xb5\x82\xdc\x82\xb5\x82\xbd.\r\n"
            "cutting ... MAIN\r\n"
            "cutting ... DEMO\r\n"
            "CON                10 1990/03/04 12:34:56 A    \r\n"
            "GOOD.TXT           10 1990/03/04 12:34:56 A    \r\n");
  EXPECT_EQ(run.rawErr, "unsafe file name, not written: CON\r\n");
}

// Every rule that makes a name no plain Windows file, and names that do not
// decode as Shift_JIS: each is listed whole and reported, nothing is made,
// and the walk goes on.
TEST(WindowsNames, NamesWindowsCannotHoldAreListedButNotWritten) {
  struct Case {
    std::string field;  // the entry's 11 name bytes
    std::string built;  // the name listed and reported
  };
  const Case cases[] = {
      {"           ", ""},
      {".          ", "."},
      {"..         ", ".."},
      {"A\\B     TXT", "A\\B.TXT"},
      {"A/B     TXT", "A/B.TXT"},
      {"A:B     TXT", "A:B.TXT"},
      {"A*B     TXT", "A*B.TXT"},
      {"A?B     TXT", "A?B.TXT"},
      {"A\"B     TXT", "A\"B.TXT"},
      {"A<B     TXT", "A<B.TXT"},
      {"A>B     TXT", "A>B.TXT"},
      {"AB      T|T", "AB.T|T"},
      {"A\x1F"
       "B     TXT",
       "A\x1F"
       "B.TXT"},
      {"AB.        ", "AB."},
      // Devices, in any case and with any extension. CON and NUL only: a
      // name that slipped through would open the device itself.
      {"CON        ", "CON"},
      {"nul     TXT", "nul.TXT"},
      {"Con     D88", "Con.D88"},
      // The console's buffers, which would be opened as the console itself.
      {"CONOUT$    ", "CONOUT$"},
      {"conin$  txt", "conin$.txt"},
      {"CONOUT$ DAT", "CONOUT$.DAT"},
      // A lead byte with nothing after it, and a pair that is no character.
      {"AB\x81        ", "AB\x81"},
      {"\x85\x40      TXT", "\x85\x40.TXT"},
  };
  ScopedTempDir dir;
  TestVolume volume;
  const Bytes data = MixedBytes(10, 1);
  volume.StoreChain({37}, data);
  std::string listing;
  std::string reported;
  int index = 0;
  for (const Case& c : cases) {
    ASSERT_EQ(c.field.size(), 11u) << c.built;
    volume.SetEntry(index++, c.field, kArchive, kTime, kDate, 37, 10);
    listing += Line(c.built, 10);
    reported += "unsafe file name, not written: " + c.built + "\n";
  }
  volume.SetEntry(index, "GOOD    TXT", kArchive, kTime, kDate, 37, 10);

  const ToolRun run = RunOn(dir, volume);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kHeader + listing + Line("GOOD.TXT", 10));
  EXPECT_EQ(run.err, reported);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"DEMO", "GOOD.TXT", "MAIN", "disk.d88"}));
  ExpectFile(dir, "GOOD.TXT", data, kWhen);
}

TEST(WindowsNames, IsPlainFileNameFollowsWindowsRules) {
  const struct {
    const char* name;
    bool plain;
  } cases[] = {
      {"README.TXT", true},
      {".TXT", true},
      {"..TXT", true},
      {"CONX", true},
      {"COM10", true},
      {"CONIN", true},
      {"CONOUT", true},
      {"CONOUT$$", true},
      {"CONIN$X.TXT", true},
      {"LPT10.TXT", true},
      {"NULL", true},
      {"AUXX.DAT", true},
      {"A\x7F"
       "B",
       true},
      // 表.TXT and 表示.TXT: the 0x5C of 表 is a trail byte, not a backslash.
      {"\x95\x5C.TXT", true},
      {"\x95\x5C\x8E\xA6.TXT", true},
      {"\x81\x5C", true},      // ― (U+2015)
      {"\xB1\xB2\xB3", true},  // half-width kana
      {"", false},
      {".", false},
      {"..", false},
      {"\\", false},
      {"A\\B", false},
      {"A/B", false},
      {"A:B", false},
      {"A*B", false},
      {"A?B", false},
      {"A\"B", false},
      {"A<B", false},
      {"A>B", false},
      {"A|B", false},
      {"\x05"
       "BC.TXT",
       false},
      {"\x01", false},
      {"A\x1F", false},
      {"ABC.", false},
      {"ABC ", false},
      {"A.B.", false},
      {"CON", false},
      {"con", false},
      {"Con.txt", false},
      {"CON .TXT", false},
      {"PRN", false},
      {"AUX.DAT", false},
      {"NUL", false},
      {"nul.d88", false},
      {"COM0", false},
      {"COM1", false},
      {"com9.txt", false},
      {"LPT0", false},
      {"LPT1.PRN", false},
      {"lpt9", false},
      {"CONIN$", false},
      {"conout$", false},
      {"CONOUT$.DAT", false},
      {"Conin$ .txt", false},
      {"AB\x81", false},
      {"\x85\x40.TXT", false},
      {"\x81\x20", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPlainFileName(c.name), c.plain) << "name \"" << c.name << "\"";
  }
}

// 表示.TXT: 95 5C 8E A6 2E 54 58 54, the first character's trail byte a
// backslash were it ASCII.
TEST(WindowsNames, ShiftJisNameIsMadeAsItsJapaneseName) {
  ScopedTempDir dir;
  TestVolume volume;
  const Bytes data = MixedBytes(1500, 1);
  volume.AddFile(0, "\x95\x5C\x8E\xA6    TXT", kArchive, kTime, kDate, 2, data);

  const ToolRun run = RunOn(dir, volume);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kHeader + Line("\x95\x5C\x8E\xA6.TXT", 1500));
  EXPECT_EQ(run.err, "");
  const std::wstring japanese = L"\u8868\u793A.TXT";
  const std::wstring path = Widen(dir.path()) + L"\\" + japanese;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(path.c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  EXPECT_TRUE(found.cFileName == japanese);
  EXPECT_EQ(UnixTime(found.ftLastWriteTime), kWhen);
  EXPECT_EQ(UnixTime(found.ftLastAccessTime), kWhen);
  std::ifstream file(fs::path(path), std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()), data);
  EXPECT_EQ(dir.Entries().size(), 4u);
}

// Windows finds a file under any case of its name: the image is in the way
// of an output whose name differs only in case, and two entries that differ
// only in case make one file.
TEST(WindowsNames, ImageUnderAnotherCaseOfAnOutputsNameIsLeftAlone) {
  const struct {
    const char* what;
    std::string imageName;
    std::string blocked;
    std::vector<std::string> entries;
  } cases[] = {
      {"a raw area's name", "main", "MAIN", {"DEMO", "OTHER.TXT", "README.TXT", "main"}},
      {"a volume file's name",
       "Readme.txt",
       "README.TXT",
       {"DEMO", "MAIN", "OTHER.TXT", "Readme.txt"}},
  };
  TestVolume volume;
  const Bytes readme = MixedBytes(300, 1);
  const Bytes other = MixedBytes(50, 2);
  volume.AddFile(0, "README  TXT", kArchive, kTime, kDate, 2, readme);
  volume.AddFile(1, "OTHER   TXT", kArchive, kTime, kDate, 37, other);
  const Bytes image = ImageOf(volume);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;

    const ToolRun run = RunOn(dir, volume, "UTC", c.imageName);

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kHeader + Line("README.TXT", 300) + Line("OTHER.TXT", 50));
    EXPECT_EQ(run.err, "image file would be overwritten, not written: " + c.blocked + "\n");
    EXPECT_EQ(dir.Entries(), c.entries);
    EXPECT_EQ(ReadBytes(dir.File(c.imageName)), image);
    if (c.blocked != "MAIN") {
      EXPECT_EQ(ReadBytes(dir.File("MAIN")), VolumeTestMainArea());
    }
    EXPECT_EQ(ReadBytes(dir.File("DEMO")), VolumeTestDemoArea());
    if (c.blocked != "README.TXT") {
      ExpectFile(dir, "README.TXT", readme, kWhen);
    }
    ExpectFile(dir, "OTHER.TXT", other, kWhen);
  }
}

TEST(WindowsNames, EntriesDifferingOnlyInCaseEndAsTheLaterOne) {
  ScopedTempDir dir;
  TestVolume volume;
  const Bytes earlier = MixedBytes(3000, 1);
  const Bytes later = MixedBytes(20, 2);
  volume.AddFile(0, "ABC     TXT", kArchive, kTime, kDate, 2, earlier);
  volume.AddFile(1, "abc     txt", kArchive, DosTime(8, 0, 0), DosDate(2001, 7, 15), 37, later);

  const ToolRun run = RunOn(dir, volume);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            kHeader + Line("ABC.TXT", 3000) + "abc.txt            20 2001/07/15 08:00:00 A    \n");
  EXPECT_EQ(run.err, "");
  // The file keeps the name it was made with.
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"ABC.TXT", "DEMO", "MAIN", "disk.d88"}));
  ExpectFile(dir, "ABC.TXT", later, 995184000);  // 2001-07-15 08:00:00 UTC
}

// A device or a directory is no image, and the tool says so at once:
// standard input is a pipe that nobody writes to, so a read from the console
// or the device would hang until the runner gives up.
TEST(WindowsDevices, ImageThatIsADeviceOrAFolderIsNotOpened) {
  const struct {
    const char* what;
    std::string argument;
  } cases[] = {
      {"the console", "CON"},
      {"the null device", "NUL"},
      {"the null device by its device path", "\\\\.\\NUL"},
      {"a folder", "folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;
    fs::create_directory(fs::u8path(dir.File("folder")));

    const ToolRun run = RunToolWithSilentInput({c.argument}, dir.path(), 20);

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kCannotOpen);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"folder"});
  }
}

// Windows commands are asked for help with /? as well as --help; on its
// own, like --help.
TEST(WindowsCommandLine, SlashQuestionMarkAsksForHelp) {
  ScopedTempDir dir;
  const ToolRun help = RunTool({"--help"}, dir.path());
  const ToolRun slash = RunTool({"/?"}, dir.path());
  const ToolRun slashAndImage = RunTool({"/?", "disk.d88"}, dir.path());

  EXPECT_EQ(slash.status, 0);
  EXPECT_EQ(slash.err, "");
  EXPECT_EQ(slash.out, help.out);
  EXPECT_EQ(slash.out.rfind("Usage: d88cut IMAGE.d88\n", 0), 0u) << slash.out;
  EXPECT_EQ(slashAndImage.status, 1);
  EXPECT_EQ(slashAndImage.out, "");
  EXPECT_TRUE(dir.Entries().empty());
}

// 1990-03-04 12:34:56 in the Windows time-zone setting, in seconds since
// 1970.
time_t TimeInTheWindowsSetting() {
  SYSTEMTIME local = {};
  local.wYear = 1990;
  local.wMonth = 3;
  local.wDay = 4;
  local.wHour = 12;
  local.wMinute = 34;
  local.wSecond = 56;
  SYSTEMTIME utc;
  FILETIME stamp;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
      !SystemTimeToFileTime(&utc, &stamp)) {
    ADD_FAILURE() << "cannot convert the time in the Windows setting";
    return 0;
  }
  const uint64_t ticks = (static_cast<uint64_t>(stamp.dwHighDateTime) << 32) | stamp.dwLowDateTime;
  constexpr uint64_t kTicksTo1970 = 116444736000000000ULL;  // 100 ns ticks from 1601
  return static_cast<time_t>((ticks - kTicksTo1970) / 10000000);
}

// The C runtime reads TZ as a name, the hours west of UTC and an optional
// summer-time name. A TZ in another form (a zone name, or a POSIX rule that
// the runtime would read only the start of) is set aside for the Windows
// time-zone setting.
TEST(WindowsTimes, RecordedTimeIsLocalTimeOfTheRuntimesTz) {
  const time_t inTheWindowsSetting = TimeInTheWindowsSetting();
  const struct {
    const char* tz;
    time_t expected;  // 1990-03-04 12:34:56 there
  } cases[] = {
      {"UTC0", 636554096},
      {"JST-9", 636521696},
      {"EST5EDT", 636572096},
      {"JST-09:00", 636521696},
      {"Asia/Tokyo", inTheWindowsSetting},
      {"CET-1CEST,M3.5.0,M10.5.0/3", inTheWindowsSetting},
      {"", inTheWindowsSetting},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tz);
    ScopedTempDir dir;
    TestVolume volume;
    const Bytes data = MixedBytes(10, 1);
    volume.AddFile(0, "TIMED   TXT", kArchive, kTime, kDate, 2, data);

    const ToolRun run = RunOn(dir, volume, c.tz);

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kHeader + Line("TIMED.TXT", 10));
    ExpectFile(dir, "TIMED.TXT", data, c.expected);
  }
}

// Whether a read-only file here refuses to be written. Wine run by root
// lets root write it, as root may write any file.
bool ReadOnlyFilesAreKept() {
  ScopedTempDir dir;
  const std::wstring probe = Widen(dir.File("probe"));
  WriteBytes(dir.File("probe"), {1});
  SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_READONLY);
  const HANDLE handle =
      CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return true;
  }
  CloseHandle(handle);
  return false;
}

enum class Blocker { kReadOnly, kHeldOpen };

// With a file named `blocker` in the way of SECOND.TXT, read-only or held
// open by another program that shares it with no one, the tool stops at
// SECOND.TXT with the write-failure message and leaves the file as it was.
void ExpectFileInTheWayStopsTheTool(const std::string& blocker, Blocker how) {
  ScopedTempDir dir;
  TestVolume volume;
  const Bytes first = MixedBytes(50, 1);
  volume.AddFile(0, "FIRST   TXT", kArchive, kTime, kDate, 2, first);
  volume.AddFile(1, "SECOND  TXT", kArchive, kTime, kDate, 40, MixedBytes(100, 2));
  volume.AddFile(2, "THIRD   TXT", kArchive, kTime, kDate, 37, MixedBytes(50, 3));
  const Bytes kept = MixedBytes(30, 4);
  WriteBytes(dir.File(blocker), kept);
  const std::wstring blockerPath = Widen(dir.File(blocker));
  HANDLE held = INVALID_HANDLE_VALUE;
  if (how == Blocker::kReadOnly) {
    ASSERT_TRUE(SetFileAttributesW(blockerPath.c_str(), FILE_ATTRIBUTE_READONLY));
  } else {
    held = CreateFileW(blockerPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
  }

  const ToolRun run = RunOn(dir, volume);
  if (held != INVALID_HANDLE_VALUE) {
    CloseHandle(held);
  }

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            kHeader + Line("FIRST.TXT", 50) + "SECOND.TXT        100 1990/03/04 12:34:56 A    ");
  EXPECT_EQ(run.err, kCannotWrite);
  ExpectFile(dir, "FIRST.TXT", first, kWhen);
  EXPECT_EQ(ReadBytes(dir.File(blocker)), kept);
  EXPECT_FALSE(fs::exists(fs::u8path(dir.File("THIRD.TXT"))));
}

// A read-only file in the way, under the output's name in any case.
TEST(WindowsWrites, ReadOnlyFileInTheWayStopsTheTool) {
  if (!ReadOnlyFilesAreKept()) {
    GTEST_SKIP() << "read-only files can be written here (Wine run by root lets root write "
                    "any file)";
  }
  for (const char* blocker : {"SECOND.TXT", "second.txt"}) {
    SCOPED_TRACE(blocker);
    ExpectFileInTheWayStopsTheTool(blocker, Blocker::kReadOnly);
  }
}

// A file in the way that another program holds open, under the output's
// name in any case.
TEST(WindowsWrites, FileHeldOpenInTheWayStopsTheTool) {
  for (const char* blocker : {"SECOND.TXT", "Second.Txt"}) {
    SCOPED_TRACE(blocker);
    ExpectFileInTheWayStopsTheTool(blocker, Blocker::kHeldOpen);
  }
}

// A symbolic link named like an output, to a file outside the folder, is
// never written through: the tool stops there with the write-failure
// message, and the file it leads to keeps its bytes. Wine shows the links
// it makes as plain files, with no reparse point to tell them by; there the
// test has nothing to look at.
TEST(WindowsWrites, LinkInTheWayStopsTheTool) {
  ScopedTempDir dir;
  ScopedTempDir outside;
  const Bytes kept = MixedBytes(30, 4);
  WriteBytes(outside.File("victim"), kept);
  const std::wstring link = Widen(dir.File("MAIN"));
  if (!CreateSymbolicLinkW(link.c_str(), Widen(outside.File("victim")).c_str(), 0)) {
    GTEST_SKIP() << "no symbolic link can be made here (error " << GetLastError() << ")";
  }
  const DWORD attributes = GetFileAttributesW(link.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    GTEST_SKIP() << "symbolic links here are no reparse points (as under Wine)";
  }

  const ToolRun run = RunOn(dir, TestVolume());

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kRecognised + kCutMain);
  EXPECT_EQ(run.err, kCannotWrite);
  EXPECT_EQ(ReadBytes(outside.File("victim")), kept);
}

}  // namespace
