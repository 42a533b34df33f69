// The tool's messages as a pipe or a file gets them: Shift_JIS bytes, kept
// escaped so that no editor's encoding can change them, each with its
// decoded text in a comment. They are written out here, not taken from the
// tool, so that a test compares the tool against the bytes users expect.
#ifndef TESTS_EXPECTED_MESSAGES_H_
#define TESTS_EXPECTED_MESSAGES_H_

#include <string>

// "DISK 1を認識しました.\n": 44 49 53 4b 20 31 82 f0 94 46 8e af 82 b5 82 dc
// 82 b5 82 bd 2e 0a.
inline const std::string kRecognised =
    "DISK 1\x82\xf0\x94\x46\x8e\xaf\x82\xb5\x82\xdc\x82\xb5\x82\xbd.\n";
// "ファイルをオープンできません\n": 83 74 83 40 83 43 83 8b 82 f0 83 49 81 5b
// 83 76 83 93 82 c5 82 ab 82 dc 82 b9 82 f1 0a.
inline const std::string kCannotOpen =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x83\x49\x81\x5b\x83\x76\x83\x93\x82\xc5\x82\xab\x82"
    "\xdc\x82\xb9\x82\xf1\n";
// "ファイルを書き込めません. \n", with a space before the line feed: 83 74 83
// 40 83 43 83 8b 82 f0 8f 91 82 ab 8d 9e 82 df 82 dc 82 b9 82 f1 2e 20 0a.
inline const std::string kCannotWrite =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82"
    "\xf1. \n";

// The lines that announce the raw areas.
inline const std::string kCutMain = "cutting ... MAIN\n";
inline const std::string kCutDemo = "cutting ... DEMO\n";
// What a run on the recognised disk with both raw areas prints before its
// listing.
inline const std::string kHeader = kRecognised + kCutMain + kCutDemo;

#endif  // TESTS_EXPECTED_MESSAGES_H_
