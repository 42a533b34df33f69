#include "info/json_report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/json_writer.h"
#include "common/outputs_report.h"

namespace {

// The track whose object is open, if any, and whether its list of
// oddities is open.
int openTrack = -1;
bool trackOdditiesOpen;

void CloseTrack() {
  if (openTrack < 0) {
    return;
  }
  if (trackOdditiesOpen) {
    JsonClose(']');
  }
  JsonClose('}');
  openTrack = -1;
}

void OpenTrack(int track) {
  if (openTrack == track) {
    return;
  }
  CloseTrack();
  JsonOpen('{');
  JsonKey("track");
  JsonNumber(track);
  openTrack = track;
  trackOdditiesOpen = false;
}

void JsonBeginDisks() {
  openTrack = -1;
  JsonKey("disks");
  JsonOpen('[');
}

// A byte that the text names by its word, or else shows as 0xNN.
void JsonByteWord(const char* word, int byte) {
  if (word != nullptr) {
    JsonText(word);
    return;
  }
  char hex[8];
  snprintf(hex, sizeof hex, "0x%02x", byte);
  JsonText(hex);
}

void JsonBeginDisk(const DiskFacts& disk) {
  JsonOpen('{');
  JsonKey("number");
  JsonNumber(disk.number);
  JsonKey("offset");
  JsonNumber(disk.offset);
  JsonKey("size");
  JsonNumber(disk.size);
  JsonKey("name");
  JsonShiftJis(disk.name);
  JsonKey("name_hex");
  JsonHex(reinterpret_cast<const uint8_t*>(disk.name), strlen(disk.name));
  JsonKey("media");
  JsonByteWord(disk.media == 0x00   ? "2D"
               : disk.media == 0x10 ? "2DD"
               : disk.media == 0x20 ? "2HD"
                                    : nullptr,
               disk.media);
  JsonKey("media_byte");
  JsonNumber(disk.media);
  JsonKey("write_protected");
  JsonByteWord(disk.protection == 0x10   ? "yes"
               : disk.protection == 0x00 ? "no"
                                         : nullptr,
               disk.protection);
  JsonKey("write_protect_byte");
  JsonNumber(disk.protection);
  JsonKey("track_runs");
  JsonOpen('[');
}

void JsonTrackRun(int first, int last, const char* layout) {
  JsonOpen('{');
  JsonKey("first");
  JsonNumber(first);
  JsonKey("last");
  JsonNumber(last);
  JsonKey("layout");
  JsonText(layout);
  JsonClose('}');
}

void JsonNothing() {}

void JsonEndTrackRuns() {
  JsonClose(']');
  JsonKey("oddities");
  JsonOpen('[');
}

void JsonDiskOddity(const char* words) {
  JsonText(words);
}

void JsonEndDiskOddities() {
  JsonClose(']');
  JsonKey("tracks");
  JsonOpen('[');
}

void JsonTrackOddity(int track, const char* words) {
  OpenTrack(track);
  if (!trackOdditiesOpen) {
    JsonKey("oddities");
    JsonOpen('[');
    trackOdditiesOpen = true;
  }
  JsonText(words);
}

// Each track keeps its own oddity: the text's rows are the text's.
void JsonUnreadableTrack(int track, TrackPlace place, uint32_t offset) {
  char words[96];
  snprintf(words, sizeof words, "offset %" PRIu32 " lies %s", offset,
           place == TrackPlace::kOutside ? "outside the disk" : "past the end of the image");
  JsonTrackOddity(track, words);
}

void JsonWalkedTrack(int) {}

void JsonTrackIds(int track, const TrackRecord* records, int count) {
  OpenTrack(track);
  JsonKey("sectors");
  JsonOpen('[');
  for (int i = 0; i < count; ++i) {
    char id[32];
    JsonText(id, static_cast<size_t>(WriteId(records[i], id)));
  }
  JsonClose(']');
}

void JsonEndDisk() {
  CloseTrack();
  JsonClose(']');
  JsonClose('}');
}

void JsonEndDisks() {
  JsonClose(']');
}

}  // namespace

const DiskRenderer kJsonDisks = {
    JsonBeginDisks,  JsonBeginDisk,       JsonTrackRun,        JsonNothing,     JsonEndTrackRuns,
    JsonDiskOddity,  JsonEndDiskOddities, JsonUnreadableTrack, JsonWalkedTrack, JsonTrackIds,
    JsonTrackOddity, JsonEndDisk,         JsonEndDisks,
};

void StartJsonReport(const ImageReport& report) {
  const Recognition& recognition = report.outputs->recognition;
  char sha1[2 * kSha1Bytes + 1];
  WriteHex(report.file.sha1, kSha1Bytes, sha1);
  JsonReset();
  JsonOpen('{');
  JsonKey("path");
  JsonPath(report.file.path);
  JsonKey("sha1");
  JsonText(sha1);
  JsonKey("image");
  JsonOpen('{');
  JsonKey("bytes");
  JsonNumber(report.file.bytes);
  if (report.counted) {
    JsonKey("disks");
    JsonNumber(report.disks);
  }
  JsonClose('}');
  JsonKey("verdict");
  JsonText(VerdictName(recognition.verdict));
  JsonKey("verdict_words");
  char words[kVerdictWordsBytes];
  DescribeVerdict(recognition, words, sizeof words);
  JsonText(words);
  JsonKey("signature_found_hex");
  JsonHex(recognition.found, kSignatureLength);
}

void EndJsonReport(const ImageReport& report) {
  if (report.outputs->recognition.verdict == Verdict::kRecognised) {
    JsonOutputs(*report.outputs);
    JsonDirectoriesNotEntered(*report.outputs);
  }
  JsonClose('}');
  JsonFinish();
}
