// What a user at a terminal is shown: the built tool run with its standard
// output and error on pseudo-terminals under several locales, against what
// pipes are given. A terminal gets the text in its locale's character set and
// never a control byte of a disk's name; a pipe gets the bytes as they are.
#include <gtest/gtest.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <wchar.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/d88_writer.h"
#include "testing/test_disk.h"
#include "testing/test_helpers.h"
#include "tests/expected_messages.h"
#include "tests/failing_disk.h"
#include "tests/pty_runner.h"
#include "tests/tool_runner.h"

namespace fs = std::filesystem;

namespace {

// The character set a terminal shows, as its locale names it.
enum Charset { kShiftJis, kUtf8, kEucJp };

// One text as each kind of terminal is given it. A Shift_JIS terminal gets
// the bytes as they are.
struct Shown {
  std::string shiftJis, utf8, eucJp;

  const std::string& In(Charset charset) const {
    return charset == kUtf8 ? utf8 : charset == kEucJp ? eucJp : shiftJis;
  }
};

// A name of controls and ASCII, shown alike in every character set.
Shown Same(const std::string& text) {
  return {text, text, text};
}

// The messages of expected_messages.h as each kind of terminal shows them.
const Shown kRecognisedShown = {
    kRecognised,
    "DISK 1\xe3\x82\x92\xe8\xaa\x8d\xe8\xad\x98\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x97\xe3\x81\x9f.\n",
    "DISK 1\xa4\xf2\xc7\xa7\xbc\xb1\xa4\xb7\xa4\xde\xa4\xb7\xa4\xbf.\n"};
const std::string kCutting = kCutMain + kCutDemo;
const Shown kCannotOpenShown = {
    kCannotOpen,
    "\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe3\x82\x92\xe3\x82\xaa\xe3\x83\xbc\xe3\x83"
    "\x97\xe3\x83\xb3\xe3\x81\xa7\xe3\x81\x8d\xe3\x81\xbe\xe3\x81\x9b\xe3\x82\x93\n",
    "\xa5\xd5\xa5\xa1\xa5\xa4\xa5\xeb\xa4\xf2\xa5\xaa\xa1\xbc\xa5\xd7\xa5\xf3\xa4\xc7\xa4\xad\xa4"
    "\xde\xa4\xbb\xa4\xf3\n"};
const Shown kCannotWriteShown = {
    kCannotWrite,
    "\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe3\x82\x92\xe6\x9b\xb8\xe3\x81\x8d\xe8\xbe"
    "\xbc\xe3\x82\x81\xe3\x81\xbe\xe3\x81\x9b\xe3\x82\x93. \n",
    "\xa5\xd5\xa5\xa1\xa5\xa4\xa5\xeb\xa4\xf2\xbd\xf1\xa4\xad\xb9\xfe\xa4\xe1\xa4\xde\xa4\xbb\xa4"
    "\xf3. \n"};

// Every listed file is 10 bytes, an archive dated 4 March 1990, 12:34:56.
const std::string kLineTail = "       10 1990/03/04 12:34:56 A    \n";

// A listing line: the name padded with spaces to 12 bytes of Shift_JIS
// (`listed` is the name's own bytes), then converted as `shown`.
std::string ListingLine(const std::string& listed, const std::string& shown) {
  return shown + std::string(12 - listed.size(), ' ') + kLineTail;
}

struct ListedName {
  const char* what;
  std::string entry;   // the 11 name bytes of the directory entry
  std::string listed;  // the name as a pipe gets it
  Shown shown;         // the name as a terminal shows it
  bool safe = true;    // written, or refused as no plain file name here
  // Its terminal width in UTF-8 depends on the terminal (East Asian
  // ambiguous width), so its columns are not checked.
  bool ambiguousWidth = false;
};

const std::vector<ListedName>& Names() {
  static const std::vector<ListedName> names = {
      {"plain ASCII", "PLAIN   TXT", "PLAIN.TXT", Same("PLAIN.TXT")},
      {"a kanji whose trail byte is 0x5C",
       "\x95\x5C\x8E\xA6    TXT",
       "\x95\x5C\x8E\xA6.TXT",
       {"\x95\x5C\x8E\xA6.TXT", "\xE8\xA1\xA8\xE7\xA4\xBA.TXT", "\xC9\xBD\xBC\xA8.TXT"}},
      {"half-width kana",
       "\xB1\xB2\xB3     DAT",
       "\xB1\xB2\xB3.DAT",
       {"\xB1\xB2\xB3.DAT", "\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3.DAT",
        "\x8E\xB1\x8E\xB2\x8E\xB3.DAT"}},
      {"a full-width tilde, from JIS X 0212 in EUC-JP",
       "\x81\x60      TXT",
       "\x81\x60.TXT",
       {"\x81\x60.TXT", "\xEF\xBD\x9E.TXT", "\x8F\xA2\xB7.TXT"}},
      {"a character EUC-JP lacks",
       "\xFA\x40      TXT",
       "\xFA\x40.TXT",
       {"\xFA\x40.TXT", "\xE2\x85\xB0.TXT", "??.TXT"},
       true,
       true},
      {"a first byte 0x05, which stands for the lead byte 0xE5",
       "\x05"
       "BC     TXT",
       "\xE5"
       "BC.TXT",
       {"\xE5"
        "BC.TXT",
        "\xE8\x95\x8B"
        "C.TXT",
        "\xE9\xA3"
        "C.TXT"}},
      {"ESC and BEL",
       "A\x1B[2J\x07"
       "B TXT",
       "A\x1B[2J\x07"
       "B.TXT",
       Same("A?[2J?B.TXT")},
      {"DEL", "D\x7FL     TXT", "D\x7FL.TXT", Same("D?L.TXT")},
      {"bytes that are no character", "\x80\xA0\xFD\xFE\xFF   BIN", "\x80\xA0\xFD\xFE\xFF.BIN",
       Same("?????.BIN")},
      {"a lead byte before a byte that is no trail byte", "AB\x81     TXT", "AB\x81.TXT",
       Same("AB?.TXT")},
      {"a lead byte before a control", "X\x81\x1B     TXT", "X\x81\x1B.TXT", Same("X??.TXT")},
      {"a lead byte at the end of the name", "ABC\x81       ", "ABC\x81", Same("ABC?")},
      {"a lead and trail byte with no character", "\x85\x40      TXT", "\x85\x40.TXT",
       Same("??.TXT")},
      {"a control in a name that is refused", "\x1B/X     TXT", "\x1B/X.TXT", Same("?/X.TXT"),
       false},
  };
  return names;
}

// The recognised disk with every name of Names() in its root directory, each
// a 10-byte file of its own, intact.
Disk NamesDisk() {
  TestVolume volume;
  int index = 0;
  for (const ListedName& name : Names()) {
    volume.AddFile(index, name.entry, kArchive, kTime, kDate, 37 + index, MixedBytes(10, 1));
    ++index;
  }
  return MakeRecognisedDisk(volume.bytes, MixedBytes(8192, 1000), MixedBytes(16384, 2000));
}

// What the tool prints for NamesDisk(), on a terminal of `charset` or, with
// `terminal` false, on a pipe.
std::string NamesListing(bool terminal, Charset charset) {
  std::string listing = (terminal ? kRecognisedShown.In(charset) : kRecognised) + kCutting;
  for (const ListedName& name : Names()) {
    listing += ListingLine(name.listed, terminal ? name.shown.In(charset) : name.listed);
  }
  return listing;
}
std::string NamesErrors(bool terminal, Charset charset) {
  std::string errors;
  for (const ListedName& name : Names()) {
    if (!name.safe) {
      errors +=
          "unsafe file name, not written: " + (terminal ? name.shown.In(charset) : name.listed) +
          "\n";
    }
  }
  return errors;
}

// The columns a UTF-8 terminal gives `text`; -1 if it holds a byte that is
// no character or a character of no width (a control).
int Utf8Columns(const std::string& text) {
  const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (utf8 == nullptr) {
    return -1;
  }
  const locale_t previous = uselocale(utf8);
  mbstate_t state = {};
  int columns = 0;
  for (size_t at = 0; at < text.size();) {
    wchar_t wide;
    const size_t length = mbrtowc(&wide, text.data() + at, text.size() - at, &state);
    const int width = length == 0 || length > text.size() - at ? -1 : wcwidth(wide);
    if (width < 0) {
      columns = -1;
      break;
    }
    columns += width;
    at += length;
  }
  uselocale(previous);
  freelocale(utf8);
  return columns;
}

// The settings every run gets, and those of the locale.
std::vector<std::string> Environment(const std::vector<std::string>& locale) {
  std::vector<std::string> environment = {"TZ=UTC"};
  environment.insert(environment.end(), locale.begin(), locale.end());
  return environment;
}

std::string Describe(const std::vector<std::string>& settings) {
  std::string text;
  for (const std::string& setting : settings) {
    text += (text.empty() ? "" : " ") + setting;
  }
  return text.empty() ? "no locale settings" : text;
}

// Lists NamesDisk() with both streams on terminals under `locale`.
void ExpectListing(const std::vector<std::string>& locale, Charset charset) {
  SCOPED_TRACE(Describe(locale));
  ScopedTempDir dir;
  WriteBytes(dir.File("disk.d88"), BuildImage({NamesDisk()}));

  const ToolRun run = RunToolOnSinks(Sink::kTerminal, Sink::kTerminal, {ToolPath(), "disk.d88"},
                                     dir.path(), Environment(locale));

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, NamesListing(true, charset));
  EXPECT_EQ(run.err, NamesErrors(true, charset));
  // What is written is the same whatever the terminal shows.
  for (const ListedName& name : Names()) {
    EXPECT_EQ(fs::exists(dir.File(name.listed)), name.safe) << name.what;
  }
}

// A table of locales whose terminal shows one character set.
struct LocaleCase {
  std::vector<std::string> settings;
  Charset charset;
};

// The C and POSIX locales, which a shell has when no locale is set (in a
// container, over a bare SSH session), are taken for UTF-8, as the terminals
// they run on are; so is a locale that is not there, which leaves the C one.
const std::vector<LocaleCase>& Locales() {
  static const std::vector<LocaleCase> locales = {
      {{"LC_ALL=C.UTF-8"}, kUtf8},
      {{"LANG=C.UTF-8"}, kUtf8},
      {{"LC_ALL=C"}, kUtf8},
      {{"LC_ALL=POSIX"}, kUtf8},
      {{}, kUtf8},
      {{"LANG=xx_XX.NOT-THERE"}, kUtf8},
  };
  return locales;
}

TEST(TerminalOutput, ListsNamesInTheTerminalsCharacterSet) {
  for (const LocaleCase& locale : Locales()) {
    ExpectListing(locale.settings, locale.charset);
  }
}

// The name is padded in Shift_JIS bytes, one column for a half-width kana
// and two for a double-byte character, so on a UTF-8 terminal every line's
// size column starts at the same column: every line has the same width.
TEST(TerminalOutput, ColumnsLineUpOnAUtf8Terminal) {
  ScopedTempDir dir;
  WriteBytes(dir.File("disk.d88"), BuildImage({NamesDisk()}));

  const ToolRun run = RunToolOnSinks(Sink::kTerminal, Sink::kTerminal, {ToolPath(), "disk.d88"},
                                     dir.path(), Environment({"LC_ALL=C.UTF-8"}));

  ASSERT_EQ(run.out, NamesListing(true, kUtf8));
  const int lineColumns = 12 + static_cast<int>(kLineTail.size()) - 1;
  size_t at = kRecognisedShown.utf8.size() + kCutting.size();
  for (const ListedName& name : Names()) {
    const size_t end = run.out.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    if (!name.ambiguousWidth) {
      EXPECT_EQ(Utf8Columns(run.out.substr(at, end - at)), lineColumns) << name.what;
    }
    at = end + 1;
  }
}

// Standard output and standard error are each a terminal or not on their
// own; a pipe gets the bytes as they are, controls included.
TEST(TerminalOutput, EachStreamIsJudgedOnItsOwn) {
  struct Case {
    Sink out, err;
  };
  const Case cases[] = {
      {Sink::kTerminal, Sink::kPipe},
      {Sink::kPipe, Sink::kTerminal},
      {Sink::kPipe, Sink::kPipe},
  };
  for (const Case& c : cases) {
    const bool outTerminal = c.out == Sink::kTerminal;
    const bool errTerminal = c.err == Sink::kTerminal;
    SCOPED_TRACE(std::string("stdout on a ") + (outTerminal ? "terminal" : "pipe") +
                 ", stderr on a " + (errTerminal ? "terminal" : "pipe"));
    ScopedTempDir dir;
    WriteBytes(dir.File("disk.d88"), BuildImage({NamesDisk()}));

    const ToolRun run = RunToolOnSinks(c.out, c.err, {ToolPath(), "disk.d88"}, dir.path(),
                                       Environment({"LC_ALL=C.UTF-8"}));

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, NamesListing(outTerminal, kUtf8));
    EXPECT_EQ(run.err, NamesErrors(errTerminal, kUtf8));
  }
}

// The tool's messages and the names in them, with both streams on
// terminals under `locale`.
void ExpectMessages(const std::vector<std::string>& locale, Charset charset) {
  SCOPED_TRACE(Describe(locale));
  // "表示<ESC>.TXT", the name of the image and of a file on its volume.
  const std::string imageName = "\x95\x5C\x8E\xA6\x1B.TXT";
  const Shown imageShown = {"\x95\x5C\x8E\xA6?.TXT", "\xE8\xA1\xA8\xE7\xA4\xBA?.TXT",
                            "\xC9\xBD\xBC\xA8?.TXT"};
  TestVolume volume;
  volume.AddFile(0, "\x95\x5C\x8E\xA6\x1B   TXT", kArchive, kTime, kDate, 2, MixedBytes(10, 1));
  const Bytes image = BuildImage(
      {MakeRecognisedDisk(volume.bytes, MixedBytes(8192, 1000), MixedBytes(16384, 2000))});
  // A name the tool was run by: the system's own bytes (here "表" in UTF-8),
  // shown as the terminal's character set reads them. In Shift_JIS they are a
  // kanji and a half-width kana; in EUC-JP a kanji and a byte that begins no
  // character.
  const std::string invokedAs = "\xE8\xA1\xA8-cut";
  const Shown invokedAsShown = {invokedAs, invokedAs, "\xE8\xA1?-cut"};
  // A path of ESC, then C2 9B: CSI in UTF-8; a half-width kana and a lead
  // byte with no trail byte in Shift_JIS; in EUC-JP a lead byte with no
  // trail byte, and CSI as a C1 control of its own.
  const std::string missing = "m\x1B\xC2\x9B.d88";
  const Shown missingShown = {"m?\xC2?.d88", "m??.d88", "m???.d88"};

  struct Case {
    const char* what;
    std::vector<std::string> argv;
    std::string imageFile;  // where the image is written, if anywhere
    bool blockMain;         // a directory named MAIN makes MAIN unwritable
    int status;
    std::string out, err;
  };
  const Case cases[] = {
      {"cannot open",
       {ToolPath(), missing},
       "",
       false,
       1,
       "",
       kCannotOpenShown.In(charset) + "d88cut: cannot open '" + missingShown.In(charset) +
           "': " + strerror(ENOENT) + "\n"},
      {"cannot write",
       {ToolPath(), "disk.d88"},
       "disk.d88",
       true,
       1,
       kRecognisedShown.In(charset) + "cutting ... MAIN\n",
       kCannotWriteShown.In(charset) + "d88cut: cannot write 'MAIN': " + strerror(EISDIR) + "\n"},
      {"image in the way",
       {ToolPath(), imageName},
       imageName,
       false,
       0,
       kRecognisedShown.In(charset) + kCutting + ListingLine(imageName, imageShown.In(charset)),
       "image file would be overwritten, not written: " + imageShown.In(charset) + "\n"},
      {"usage",
       {invokedAs},
       "",
       false,
       1,
       "",
       "Usage: " + invokedAsShown.In(charset) + " [D88 image]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;
    if (!c.imageFile.empty()) {
      WriteBytes(dir.File(c.imageFile), image);
    }
    if (c.blockMain) {
      fs::create_directory(dir.File("MAIN"));
    }

    const ToolRun run =
        RunToolOnSinks(Sink::kTerminal, Sink::kTerminal, c.argv, dir.path(), Environment(locale));

    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(TerminalOutput, ShowsMessagesInTheTerminalsCharacterSet) {
  for (const LocaleCase& locale : Locales()) {
    ExpectMessages(locale.settings, locale.charset);
  }
}

// d88info shows a disk's name as d88cut shows names: a terminal gets it in
// its own character set and never a control byte of it; a pipe gets its
// bytes as they are.
TEST(TerminalOutput, InfoShowsDiskNamesAsTheTerminalCan) {
  Disk disk;
  disk.name = "\x1b[2J\x93\xfa\x96\x7b";  // ESC [ 2 J, then "日本" in Shift_JIS
  ScopedTempDir dir;
  WriteBytes(dir.File("disk.d88"), BuildImage({disk}));
  const struct {
    Sink out;
    std::string nameLine;
  } cases[] = {
      {Sink::kTerminal, "  name: ?[2J\xe6\x97\xa5\xe6\x9c\xac\n"},
      {Sink::kPipe, "  name: \x1b[2J\x93\xfa\x96\x7b\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out == Sink::kTerminal ? "a terminal" : "a pipe");
    const ToolRun run = RunProgramOnSinks(InfoPath(), c.out, Sink::kPipe, {InfoPath(), "disk.d88"},
                                          dir.path(), Environment({"LC_ALL=C.UTF-8"}));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("\ndisk 1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(c.nameLine), std::string::npos) << run.out;
    if (c.out == Sink::kTerminal) {
      EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    }
  }
}

// An image that opens but is not the disk: a terminal gets one line that
// says why and what to try, its path shown with each control as '?';
// pipes get nothing, and the status stays 0 either way.
TEST(TerminalOutput, SaysOnATerminalOnlyWhyAnImageIsNotTheDisk) {
  Disk noFirstSector;
  noFirstSector.tracks[0].records.push_back(MakeRecord(0, 0, 2, 1, Bytes(256, 0)));
  Disk otherSignature;
  otherSignature.tracks[0].records.push_back(MakeRecord(0, 0, 1, 1, Bytes(256, 'x')));
  const std::string text = std::string(1000, 'x');
  const struct {
    const char* what;
    Bytes image;
    std::string words;
  } cases[] = {
      {"a text file", Bytes(text.begin(), text.end()), "not a D88 image"},
      {"no first sector", BuildImage({noFirstSector}), "no sector C0 H0 R1 N1 on the first disk"},
      {"another signature", BuildImage({otherSignature}), "the signature differs"},
  };
  const std::string path = "odd\x01\x1b[2J\xc2\x9bname.d88";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const Sink sink : {Sink::kTerminal, Sink::kPipe}) {
      SCOPED_TRACE(sink == Sink::kTerminal ? "on terminals" : "on pipes");
      ScopedTempDir dir;
      WriteBytes(dir.File(path), c.image);
      const ToolRun run = RunToolOnSinks(sink, sink, {ToolPath(), path}, dir.path(),
                                         Environment({"LC_ALL=C.UTF-8"}));
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, sink == Sink::kTerminal
                             ? "d88cut: not the disk this tool unpacks (" + c.words +
                                   "); try: d88info odd??[2J?name.d88\n"
                             : "");
      EXPECT_EQ(dir.Entries(), std::vector<std::string>{path});
    }
  }
}

// A recognised disk with OK.TXT, intact, then seven files in tracks 9 on
// whose chains end a cluster before their size, so that d88info calls them
// damaged (or, with `damaged` false, whose sizes fit their chains). The
// seventh repeats the name C.DAT and replaces the third's file.
Bytes SevenDamagedFilesDisk(bool damaged) {
  TestVolume volume;
  volume.AddFile(0, "OK      TXT", kArchive, kTime, kDate, 2, MixedBytes(10, 1));
  const std::string names[] = {"\x95\x5C\x8E\xA6    TXT",
                               "E\x1B      TXT",
                               "C       DAT",
                               "D       DAT",
                               "F       DAT",
                               "G       DAT",
                               "C       DAT"};
  int index = 1;
  for (const std::string& name : names) {
    const int cluster = 40 + index;
    volume.StoreChain({cluster}, MixedBytes(1024, index));
    volume.SetEntry(index, name, kArchive, kTime, kDate, static_cast<uint16_t>(cluster),
                    damaged ? 2048 : 1024);
    ++index;
  }
  return BuildImage(
      {MakeRecognisedDisk(volume.bytes, MixedBytes(8192, 1000), MixedBytes(16384, 2000))});
}

// After a run that wrote damaged files, a terminal on standard error gets
// one last line that counts them, names the first five as the listing shows
// them and suggests d88info on the path, shown as arguments are. Only the
// files the run wrote count; the status stays; pipes get nothing.
TEST(TerminalOutput, SaysOnATerminalOnlyThatFilesWrittenMayBeDamaged) {
  const std::string dump = "dump\xC2\x9B.d88";
  const std::string sevenDamaged =
      "d88cut: 7 of the files written may be damaged (\xE8\xA1\xA8\xE7\xA4\xBA.TXT, E?.TXT, "
      "C.DAT, D.DAT, F.DAT and 2 more); try: d88info dump?.d88\n";
  const struct {
    const char* what;
    bool damaged;
    Sink outSink, errSink;
    std::string path;            // the image's
    const char* folderInTheWay;  // a folder of that name ends the run there
    int status;
    std::string err;
  } cases[] = {
      {"on terminals", true, Sink::kTerminal, Sink::kTerminal, dump, nullptr, 0, sevenDamaged},
      {"standard output on a pipe", true, Sink::kPipe, Sink::kTerminal, dump, nullptr, 0,
       sevenDamaged},
      {"standard error on a pipe", true, Sink::kTerminal, Sink::kPipe, dump, nullptr, 0, ""},
      {"on pipes", true, Sink::kPipe, Sink::kPipe, dump, nullptr, 0, ""},
      {"a run that a write failure ends", true, Sink::kTerminal, Sink::kTerminal, dump, "C.DAT", 1,
       kCannotWriteShown.utf8 + "d88cut: cannot write 'C.DAT': " + strerror(EISDIR) +
           "\nd88cut: 2 of the files written may be damaged (\xE8\xA1\xA8\xE7\xA4\xBA.TXT, "
           "E?.TXT); try: d88info dump?.d88\n"},
      {"the image in the way of a file", true, Sink::kTerminal, Sink::kTerminal, "D.DAT", nullptr,
       0,
       "image file would be overwritten, not written: D.DAT\n"
       "d88cut: 6 of the files written may be damaged (\xE8\xA1\xA8\xE7\xA4\xBA.TXT, E?.TXT, "
       "C.DAT, F.DAT, G.DAT and 1 more); try: d88info D.DAT\n"},
      {"an intact disk", false, Sink::kTerminal, Sink::kTerminal, dump, nullptr, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;
    WriteBytes(dir.File(c.path), SevenDamagedFilesDisk(c.damaged));
    if (c.folderInTheWay != nullptr) {
      fs::create_directory(dir.File(c.folderInTheWay));
    }
    const ToolRun run = RunToolOnSinks(c.outSink, c.errSink, {ToolPath(), c.path}, dir.path(),
                                       Environment({"LC_ALL=C.UTF-8"}));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
    EXPECT_NE(run.out.find("OK.TXT"), std::string::npos) << run.out;
  }
}

// On a terminal, the cannot-open and cannot-write messages are followed by
// a line in plain words: what could not be opened or written, and the
// system's reason; a path shows each control byte as '?'. A listing line
// that the failure leaves unfinished is ended on a terminal. A pipe gets the
// message's bytes alone and keeps the unfinished line.
TEST(TerminalOutput, SaysWhatFailedAndWhyOnATerminalOnly) {
  // "表示<ESC>.TXT", a volume file's name, which a terminal shows as
  // "表示?.TXT" wherever it appears.
  const std::string diskName = "\x95\x5C\x8E\xA6\x1B.TXT";
  const std::string diskNameShown = "\xE8\xA1\xA8\xE7\xA4\xBA?.TXT";
  TestVolume volume;
  volume.AddFile(0, "\x95\x5C\x8E\xA6\x1B   TXT", kArchive, kTime, kDate, 2, MixedBytes(10, 1));
  const Bytes image = BuildImage(
      {MakeRecognisedDisk(volume.bytes, MixedBytes(8192, 1000), MixedBytes(16384, 2000))});
  const auto placeImage = [&image](const ScopedTempDir& dir) {
    WriteBytes(dir.File("disk.d88"), image);
    fs::permissions(dir.File("disk.d88"), fs::perms::owner_read | fs::perms::owner_write |
                                              fs::perms::group_read | fs::perms::others_read);
    return std::string("disk.d88");
  };
  const std::string cutMain = "cutting ... MAIN\n";
  // The listing line of the volume file, unfinished as the failure leaves it.
  const std::string unfinished = ListingLine(diskName, diskNameShown);

  struct Case {
    const char* what;
    // Prepares the folder and gives the argument.
    std::function<std::string(const ScopedTempDir&)> place;
    bool unprivileged;  // run as a user for whom permissions hold
    bool opened;        // the image opened, and the failure is a write's
    std::string out;    // after the recognition line, as the failure leaves it
    std::string reason;
    // For a failing disk (tests/failing_disk.cpp), its settings.
    std::vector<std::string> failingDisk = {};
  };
  const Case cases[] = {
      {"a missing image, named as given",
       [](const ScopedTempDir&) { return std::string("\xE8\xA1\xA8-missing.d88"); }, false, false,
       "", "d88cut: cannot open '\xE8\xA1\xA8-missing.d88': " + std::string(strerror(ENOENT))},
      {"a missing image whose path holds ESC and DEL",
       [](const ScopedTempDir&) { return std::string("a\x1B[2J\x7F.d88"); }, false, false, "",
       "d88cut: cannot open 'a?[2J?.d88': " + std::string(strerror(ENOENT))},
      {"a folder for an image",
       [](const ScopedTempDir& dir) {
         fs::create_directory(dir.File("folder.d88"));
         return std::string("folder.d88");
       },
       false, false, "", "d88cut: cannot open 'folder.d88': " + std::string(strerror(EISDIR))},
      {"a device for an image", [](const ScopedTempDir&) { return std::string("/dev/null"); },
       false, false, "", "d88cut: cannot open '/dev/null': Not a regular file"},
      {"an image nobody may read",
       [](const ScopedTempDir& dir) {
         WriteBytes(dir.File("disk.d88"), {0});
         fs::permissions(dir.File("disk.d88"), fs::perms::none);
         return std::string("disk.d88");
       },
       true, false, "", "d88cut: cannot open 'disk.d88': " + std::string(strerror(EACCES))},
      {"a folder in the way of a volume file",
       [&](const ScopedTempDir& dir) {
         fs::create_directory(dir.File(diskName));
         return placeImage(dir);
       },
       false, true, kCutting + unfinished.substr(0, unfinished.size() - 1),
       "d88cut: cannot write '" + diskNameShown + "': " + strerror(EISDIR)},
      {"a full disk",
       placeImage,
       false,
       true,
       cutMain,
       "d88cut: cannot write 'MAIN': " + std::string(strerror(ENOSPC)),
       {"D88_FAIL_WRITES_TO=MAIN"}},
      {"a link named MAIN",
       [&](const ScopedTempDir& dir) {
         fs::create_symlink("/dev/full", dir.File("MAIN"));
         return placeImage(dir);
       },
       false, true, cutMain, "d88cut: cannot write 'MAIN': Is a symbolic link"},
      {"a pipe named MAIN",
       [&](const ScopedTempDir& dir) {
         mkfifo(dir.File("MAIN").c_str(), 0600);
         return placeImage(dir);
       },
       false, true, cutMain, "d88cut: cannot write 'MAIN': Not a regular file"},
      {"a folder nobody may write in", placeImage, true, true, cutMain,
       "d88cut: cannot write 'MAIN': " + std::string(strerror(EACCES))},
  };
  // Cases that need a user without privileges, where there is none.
  std::string notRun;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<RunAs> user;
    if (c.unprivileged) {
      user = UserWithoutPrivileges();
      if (!user) {
        notRun += std::string(notRun.empty() ? "" : "; ") + c.what;
        continue;
      }
    }
    for (const Sink sink : {Sink::kTerminal, Sink::kPipe}) {
      const bool terminal = sink == Sink::kTerminal;
      SCOPED_TRACE(terminal ? "on terminals" : "on pipes");
      ScopedTempDir dir;
      const std::string argument = c.place(dir);
      if (user) {
        // The user may enter the folder, and do nothing else in it.
        fs::permissions(dir.path(),
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
      }

      // No locale set: a terminal is taken for UTF-8.
      const std::vector<std::string> argv = {ToolPath(), argument};
      const ToolRun run =
          c.failingDisk.empty()
              ? RunToolOnSinks(sink, sink, argv, dir.path(), Environment({}), 30, user)
              : RunProgramOnSinks(kFailingDiskStarter, sink, sink,
                                  OnFailingDisk(c.failingDisk, argv), dir.path(), Environment({}),
                                  30, user);

      const Shown& message = c.opened ? kCannotWriteShown : kCannotOpenShown;
      const bool unfinished = !c.out.empty() && c.out.back() != '\n';
      EXPECT_EQ(run.status, 1);
      if (terminal) {
        EXPECT_EQ(run.out,
                  (c.opened ? kRecognisedShown.utf8 : "") + c.out + (unfinished ? "\n" : ""));
        EXPECT_EQ(run.err, message.utf8 + c.reason + "\n");
      } else {
        EXPECT_EQ(run.err, message.shiftJis);
        EXPECT_EQ(run.out.substr(0, c.opened ? kRecognised.size() : 0),
                  c.opened ? kRecognised : "");
        if (c.opened) {
          EXPECT_EQ(run.out.back() == '\n', !unfinished) << "the unfinished line kept";
        }
      }
    }
  }
  if (!notRun.empty()) {
    GTEST_SKIP() << "not run, as root with no user 'nobody': " << notRun;
  }
}

// Every argument that reaches a terminal, paths and options alike, shows as
// ls -q shows names: each control character (C0, DEL and the C1 controls
// U+0080-U+009F, such as CSI, which xterm-like terminals obey in UTF-8) and
// each byte that begins no character as one '?'. A pipe gets the argument as
// given. A read of the image that fails is told on both.
TEST(TerminalOutput, ArgumentsShowControlsAsQuestionMarks) {
  const std::string imageName = "r\x1B[2J\xC2\x9B.d88";
  const std::string missing =
      "/nonexistent/x\xC2\x9B"
      "2Jy.d88";
  const std::string option = "-\x1B]0;owned\x07\x1B[2J";
  const std::string infoUsage =
      "Usage: d88info [--tracks] [--json | --brief] IMAGE...\n"
      "Try 'd88info --help' for more information.\n";
  const std::string mergeUsage =
      "Usage: d88merge [--json] [-f|--force] -o OUTPUT DUMP DUMP...\n"
      "Try 'd88merge --help' for more information.\n";
  const std::string cannotOpen =
      "cannot open '/nonexistent/x?2Jy.d88': " + std::string(strerror(ENOENT)) + "\n";
  const struct {
    const char* what;
    std::string program;
    std::vector<std::string> argv;
    bool readFails;
    std::string terminalErr, pipeErr;
  } cases[] = {
      {"d88cut, a read that fails",
       ToolPath(),
       {ToolPath(), imageName},
       true,
       "d88cut: cannot read 'r?[2J?.d88': " + std::string(strerror(EIO)) + "\n",
       "d88cut: cannot read '" + imageName + "': " + strerror(EIO) + "\n"},
      {"d88info, a read that fails",
       InfoPath(),
       {InfoPath(), imageName},
       true,
       "d88info: cannot read 'r?[2J?.d88': " + std::string(strerror(EIO)) + "\n",
       "d88info: cannot read '" + imageName + "': " + strerror(EIO) + "\n"},
      {"d88cut, an image that is not there",
       ToolPath(),
       {ToolPath(), missing},
       false,
       kCannotOpenShown.utf8 + "d88cut: " + cannotOpen,
       kCannotOpen},
      {"d88info, an image that is not there",
       InfoPath(),
       {InfoPath(), missing},
       false,
       "d88info: " + cannotOpen,
       "d88info: cannot open '" + missing + "': " + strerror(ENOENT) + "\n"},
      {"d88info, an option unknown",
       InfoPath(),
       {InfoPath(), option, "disk.d88"},
       false,
       "d88info: unknown option '-?]0;owned??[2J'\n" + infoUsage,
       "d88info: unknown option '" + option + "'\n" + infoUsage},
      {"d88merge, an option unknown",
       MergePath(),
       {MergePath(), option, "-o", "out.d88", "a.d88", "b.d88"},
       false,
       "d88merge: unknown option '-?]0;owned??[2J'\n" + mergeUsage,
       "d88merge: unknown option '" + option + "'\n" + mergeUsage},
      {"d88cut, the name it was run by in its usage line",
       ToolPath(),
       {"cut\x1B]0;owned\x07\xC2\x9B", "a", "b"},
       false,
       "Usage: cut?]0;owned?? [D88 image]\n",
       "Usage: cut\x1B]0;owned\x07\xC2\x9B [D88 image]\n"},
      {"d88merge, a dump that is not there",
       MergePath(),
       {MergePath(), "-o", "out.d88", imageName, missing},
       false,
       "d88merge: " + cannotOpen,
       "d88merge: cannot open '" + missing + "': " + strerror(ENOENT) + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const Sink sink : {Sink::kTerminal, Sink::kPipe}) {
      SCOPED_TRACE(sink == Sink::kTerminal ? "on terminals" : "on pipes");
      ScopedTempDir dir;
      WriteBytes(dir.File(imageName), BuildImage({NamesDisk()}));
      const ToolRun run =
          c.readFails
              ? RunProgramOnSinks(kFailingDiskStarter, sink, sink,
                                  OnFailingDisk({"D88_FAIL_READ_AT=0"}, c.argv), dir.path(),
                                  Environment({}))
              : RunProgramOnSinks(c.program, sink, sink, c.argv, dir.path(), Environment({}));
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, sink == Sink::kTerminal ? c.terminalErr : c.pipeErr);
    }
  }
}

// With several images, the path in each report's "==> PATH <==" and in each
// brief line shows on a terminal as the reason lines show it; a pipe gets it
// as given.
TEST(TerminalOutput, ShelfPathsShowControlsAsQuestionMarks) {
  const std::string imageName = "r\x1B[2J.d88";
  const std::string text = std::string(1000, 'x');
  ScopedTempDir dir;
  WriteBytes(dir.File(imageName), Bytes(text.begin(), text.end()));
  const struct {
    std::vector<std::string> options;
    std::string terminalLine, pipeLine;
  } cases[] = {
      {{}, "==> r?[2J.d88 <==\n", "==> " + imageName + " <==\n"},
      {{"--brief"}, "r?[2J.d88: not a D88 image", imageName + ": not a D88 image"},
  };
  for (const auto& c : cases) {
    for (const Sink sink : {Sink::kTerminal, Sink::kPipe}) {
      SCOPED_TRACE(sink == Sink::kTerminal ? "on terminals" : "on pipes");
      std::vector<std::string> argv = {InfoPath()};
      argv.insert(argv.end(), c.options.begin(), c.options.end());
      argv.push_back(imageName);
      argv.push_back(imageName);
      const ToolRun run = RunProgramOnSinks(InfoPath(), sink, Sink::kPipe, argv, dir.path(),
                                            Environment({"LC_ALL=C.UTF-8"}));
      EXPECT_EQ(run.status, 2);
      const std::string& line = sink == Sink::kTerminal ? c.terminalLine : c.pipeLine;
      EXPECT_EQ(run.out.find(line), 0u) << run.out;
      EXPECT_NE(run.out.find(line, 1), std::string::npos) << run.out;
    }
  }
}

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool InCi() {
  const char* ci = getenv("CI");
  return ci != nullptr && *ci != '\0' && strcmp(ci, "false") != 0;
}

// Japanese locales, made without root in a private directory by localedef
// (Debian package locales) and reached through LOCPATH.
class JapaneseTerminal : public testing::Test {
 protected:
  struct Locale {
    const char* name;
    const char* charmap;
    Charset charset;
  };
  static constexpr Locale kLocales[] = {
      {"ja_JP.eucJP", "EUC-JP", kEucJp},
      {"ja_JP.UTF-8", "UTF-8", kUtf8},
      // A terminal that shows Shift_JIS gets the bytes as they are.
      {"ja_JP.SJIS", "SHIFT_JIS", kShiftJis},
      {"ja_JP.CP932", "WINDOWS-31J", kShiftJis},
  };

  static void SetUpTestSuite() {
    folder_ = std::make_unique<ScopedTempDir>();
    for (const Locale& locale : kLocales) {
      const std::string log = folder_->File(std::string(locale.name) + ".log");
      // Shift_JIS is not ASCII: localedef warns, and makes the locale.
      const std::string command = std::string("localedef -i ja_JP -f ") + locale.charmap + " '" +
                                  folder_->File(locale.name) + "' >'" + log + "' 2>&1";
      const int status = std::system(command.c_str());
      const std::string codeset = Codeset(locale.name);
      if (codeset != locale.charmap) {
        problem_ += "cannot make the locale " + std::string(locale.name) + " (" + command +
                    ": status " + std::to_string(status) + ", codeset \"" + codeset +
                    "\"): " + Slurp(log) + "\n";
      }
    }
  }
  // The codeset of the locale `name` in the directory, as the tool sees it.
  // Asked of locale(1) in a process of its own: glibc's newlocale keeps
  // memory for a LOCPATH that it never gives back.
  static std::string Codeset(const char* name) {
    const std::string command =
        "LOCPATH='" + folder_->path() + "' LC_ALL=" + name + " locale charmap 2>/dev/null";
    FILE* answer = popen(command.c_str(), "r");
    if (answer == nullptr) {
      return "";
    }
    char line[64] = "";
    if (fgets(line, sizeof line, answer) == nullptr) {
      line[0] = '\0';
    }
    pclose(answer);
    std::string codeset = line;
    while (!codeset.empty() && (codeset.back() == '\n' || codeset.back() == '\r')) {
      codeset.pop_back();
    }
    return codeset;
  }
  static void TearDownTestSuite() { folder_.reset(); }

  void SetUp() override {
    if (!problem_.empty()) {
      if (InCi()) {
        FAIL() << problem_;
      }
      GTEST_SKIP() << problem_;
    }
  }

  static std::vector<std::string> Settings(const Locale& locale) {
    return {"LOCPATH=" + folder_->path(), std::string("LC_ALL=") + locale.name};
  }

  static std::unique_ptr<ScopedTempDir> folder_;
  static std::string problem_;
};
std::unique_ptr<ScopedTempDir> JapaneseTerminal::folder_;
std::string JapaneseTerminal::problem_;

TEST_F(JapaneseTerminal, ListsNamesInTheLocalesCharacterSet) {
  for (const Locale& locale : kLocales) {
    ExpectListing(Settings(locale), locale.charset);
  }
}

// LC_ALL comes first, then LC_CTYPE, then LANG; one set to nothing is
// passed over. The C locale, wherever it comes from, is taken for UTF-8.
TEST_F(JapaneseTerminal, TakesTheFirstLocaleSettingThatIsSet) {
  const std::string locpath = "LOCPATH=" + folder_->path();
  const LocaleCase cases[] = {
      {{locpath, "LANG=ja_JP.SJIS", "LC_ALL=C"}, kUtf8},
      {{locpath, "LANG=ja_JP.SJIS", "LC_CTYPE=ja_JP.eucJP"}, kEucJp},
      {{locpath, "LC_ALL=", "LC_CTYPE=", "LANG=ja_JP.eucJP"}, kEucJp},
      {{locpath, "LC_ALL=ja_JP.SJIS", "LC_CTYPE=ja_JP.eucJP", "LANG=C"}, kShiftJis},
  };
  for (const LocaleCase& c : cases) {
    ExpectListing(c.settings, c.charset);
  }
}

TEST_F(JapaneseTerminal, ShowsMessagesInTheLocalesCharacterSet) {
  for (const Locale& locale : kLocales) {
    ExpectMessages(Settings(locale), locale.charset);
  }
}

}  // namespace
