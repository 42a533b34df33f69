// What a terminal is shown of a disk's name: control bytes and bytes that do
// not decode as Shift_JIS become '?', one for each byte, and everything else
// stays as it is, so the name keeps its width in columns.
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

}  // namespace
