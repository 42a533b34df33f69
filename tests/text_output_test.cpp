// What a terminal is shown of a disk's name: control bytes and bytes that do
// not decode as Shift_JIS become '?', one for each byte, and everything else
// stays as it is, so the name keeps its width in columns. And of an argument
// from the command line: as ls -q shows names, one '?' for each control
// character and for each byte that begins no character.
#include "common/text_output.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  const char* what;
  std::string name;
  std::string shown;
};

std::string Shown(const std::string& name) {
  char out[64];
  const size_t length = ShowableName(name.c_str(), out, sizeof out);
  return std::string(out, length);
}

TEST(ShowableName, ReplacesEachByteThatCouldDriveTheTerminal) {
  const NameCase cases[] = {
      {"plain ASCII", "README.TXT", "README.TXT"},
      {"ESC sequence that clears the screen", "\x1b[2J.TXT", "?[2J.TXT"},
      {"BEL and the byte 0x05",
       "\x05"
       "A\x07.B",
       "?A?.B"},
      {"DEL", "A\x7f", "A?"},
      {"backslash and tilde are ASCII", "A\\B~", "A\\B~"},
      {"a trail byte 0x5C inside a character", "\x95\x5c\x8e\xa6.TXT", "\x95\x5c\x8e\xa6.TXT"},
      {"half-width kana", "\xb1\xb2\xb3", "\xb1\xb2\xb3"},
      {"a lead byte at the end", "AB\x81", "AB?"},
      {"a lead byte before a byte that cannot trail", "\x81 X", "? X"},
      {"a pair with no character", "\x85\x40Z", "??Z"},
      {"0x80 alone", "\x80Z", "?Z"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(Shown(c.name), c.shown) << c.what;
  }
}

TEST(ShowableName, StopsAtTheCapacityWithoutSplittingACharacter) {
  char out[4];
  EXPECT_EQ(ShowableName("A\x95\x5c\x8e\xa6", out, sizeof out), 3u);
  EXPECT_STREQ(out, "A\x95\x5c");
  EXPECT_EQ(ShowableName("ABC", out, 0), 0u);
}

std::string ShownArgument(const std::string& argument) {
  char out[64];
  const size_t length = ShowableArgument(argument.c_str(), out, sizeof out);
  return std::string(out, length);
}

// Arguments are read as UTF-8 here: on Windows and in the page always, and on
// POSIX under a UTF-8 locale or the C one, as the tests are run.
TEST(ShowableArgument, ReplacesEachCharacterThatCouldDriveTheTerminal) {
  const NameCase cases[] = {
      {"a plain path", "/tmp/disk-1.d88", "/tmp/disk-1.d88"},
      {"ESC sequences and BEL", "-\x1b]0;owned\x07\x1b[2J", "-?]0;owned??[2J"},
      {"DEL", "a\x7f.d88", "a?.d88"},
      {"CSI as a C1 control, two bytes and one '?'",
       "x\xc2\x9b"
       "2Jy.d88",
       "x?2Jy.d88"},
      {"the first and last C1 controls", "\xc2\x80\xc2\x9f", "??"},
      {"a no-break space, the first character past them",
       "a\xc2\xa0"
       "b",
       "a\xc2\xa0"
       "b"},
      {"kanji and an emoji", "\xe8\xa1\xa8\xf0\x9f\x98\x80.d88",
       "\xe8\xa1\xa8\xf0\x9f\x98\x80.d88"},
      {"a CSI byte alone, not UTF-8",
       "x\x9b"
       "2J",
       "x?2J"},
      {"bytes that begin no character", "\xff\xfe\xc0", "???"},
      {"ESC in an overlong form", "\xc0\x9b", "??"},
      {"a character cut short", "ab\xe8\xa1", "ab??"},
      {"a character cut short by a control", "\xe8\x1b[2J", "??[2J"},
      {"a surrogate", "\xed\xa0\x80", "???"},
      {"past U+10FFFF", "\xf4\x90\x80\x80", "????"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(ShownArgument(c.name), c.shown) << c.what;
  }
}

TEST(ShowableArgument, StopsAtTheCapacityWithoutSplittingACharacter) {
  char out[5];
  EXPECT_EQ(ShowableArgument("A\xe8\xa1\xa8", out, sizeof out), 4u);
  EXPECT_STREQ(out, "A\xe8\xa1\xa8");
  EXPECT_EQ(ShowableArgument("AB\xe8\xa1\xa8", out, sizeof out), 2u);
  EXPECT_STREQ(out, "AB");
  EXPECT_EQ(ShowableArgument("ABC", out, 0), 0u);
}

}  // namespace
