#include "info/text_report.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "common/outputs_report.h"
#include "common/text_output.h"

namespace {

// A line of ASCII the report's own, printed as the system's text.
void PrintLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

void PrintLine(const char* format, ...) {
  char text[4200];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  PrintLocalFormatted(stdout, "%s", text);
}

// Tracks in a row whose offsets point where no sector can be read, as one
// line; kAbsent: no row.
struct UnreadableRow {
  TrackPlace place;
  int first, last;
  int count;
  uint32_t lowest, highest;
};
UnreadableRow unreadable;

void EndUnreadableRow() {
  const UnreadableRow row = unreadable;
  unreadable.place = TrackPlace::kAbsent;
  if (row.place == TrackPlace::kAbsent) {
    return;
  }
  const char* where =
      row.place == TrackPlace::kOutside ? "outside the disk" : "past the end of the image";
  if (row.count == 1) {
    PrintLine("  oddity: track %d: offset %" PRIu32 " lies %s\n", row.first, row.lowest, where);
  } else {
    PrintLine("  oddity: tracks %d-%d: %d offsets, from %" PRIu32 " to %" PRIu32 ", lie %s\n",
              row.first, row.last, row.count, row.lowest, row.highest, where);
  }
}

void TextBeginDisks() {
  unreadable.place = TrackPlace::kAbsent;
}

void TextBeginDisk(const DiskFacts& disk) {
  PrintLine("\ndisk %d\n  offset: %" PRId32 "\n  size: %" PRIu32 " bytes\n", disk.number,
            disk.offset, disk.size);
  if (disk.name[0] == '\0') {
    PrintText(stdout, "  name:\n");
  } else {
    PrintNameMessage(stdout, "  name: ", disk.name);
  }
  if (disk.media == 0x00 || disk.media == 0x10 || disk.media == 0x20) {
    PrintLine("  media: %s\n", disk.media == 0x00 ? "2D" : (disk.media == 0x10 ? "2DD" : "2HD"));
  } else {
    PrintLine("  media: 0x%02x\n", disk.media);
  }
  if (disk.protection == 0x00 || disk.protection == 0x10) {
    PrintLine("  write-protected: %s\n", disk.protection == 0x10 ? "yes" : "no");
  } else {
    PrintLine("  write-protected: 0x%02x\n", disk.protection);
  }
}

void TextTrackRun(int first, int last, const char* layout) {
  if (first == last) {
    PrintLine("  track %d: %s\n", first, layout);
  } else {
    PrintLine("  tracks %d-%d: %s\n", first, last, layout);
  }
}

void TextNoTracks() {
  PrintText(stdout, "  no tracks\n");
}

void TextNothing() {}

void TextDiskOddity(const char* words) {
  PrintLine("  oddity: %s\n", words);
}

void TextUnreadableTrack(int track, TrackPlace place, uint32_t offset) {
  if (unreadable.place != place) {
    EndUnreadableRow();
    unreadable = {place, track, track, 0, offset, offset};
  }
  unreadable.last = track;
  ++unreadable.count;
  unreadable.lowest = std::min(unreadable.lowest, offset);
  unreadable.highest = std::max(unreadable.highest, offset);
}

void TextWalkedTrack(int) {
  EndUnreadableRow();
}

// "  track T sectors: C0 H0 R1 N1, ...", printed a piece at a time.
void TextTrackIds(int track, const TrackRecord* records, int count) {
  char piece[4096];
  int length =
      snprintf(piece, sizeof piece, "  track %d sectors: %s", track, count == 0 ? "none" : "");
  for (int i = 0; i < count; ++i) {
    // ", C255 H255 R255 N255"
    if (static_cast<int>(sizeof piece) - length < 32) {
      PrintLocalFormatted(stdout, "%.*s", length, piece);
      length = 0;
    }
    if (i > 0) {
      piece[length++] = ',';
      piece[length++] = ' ';
    }
    length += WriteId(records[i], piece + length);
  }
  piece[length++] = '\n';
  PrintLocalFormatted(stdout, "%.*s", length, piece);
}

void TextTrackOddity(int track, const char* words) {
  PrintLine("  oddity: track %d: %s\n", track, words);
}

}  // namespace

const DiskRenderer kTextDisks = {
    TextBeginDisks,  TextBeginDisk,    TextTrackRun,        TextNoTracks,    TextNothing,
    TextDiskOddity,  TextNothing,      TextUnreadableTrack, TextWalkedTrack, TextTrackIds,
    TextTrackOddity, EndUnreadableRow, TextNothing,
};

void PrintTextHead(const ImageReport& report) {
  char line[320];
  if (report.counted) {
    snprintf(line, sizeof line, "image: %" PRId64 " bytes, %d %s\n", report.file.bytes,
             report.disks, report.disks == 1 ? "disk" : "disks");
  } else {
    snprintf(line, sizeof line, "image: %" PRId64 " bytes\n", report.file.bytes);
  }
  PrintText(stdout, line);
  char sha1[2 * kSha1Bytes + 1];
  WriteHex(report.file.sha1, kSha1Bytes, sha1);
  snprintf(line, sizeof line, "sha1: %s\n", sha1);
  PrintText(stdout, line);
  char words[kVerdictWordsBytes];
  DescribeVerdict(report.outputs->recognition, words, sizeof words);
  snprintf(line, sizeof line, "verdict: %s\n", words);
  PrintText(stdout, line);
}

void PrintTextTail(const ImageReport& report) {
  if (report.outputs->recognition.verdict == Verdict::kRecognised) {
    PrintOutputsSection(*report.outputs);
  }
}
