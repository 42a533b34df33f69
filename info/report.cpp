#include "info/report.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/json_writer.h"
#include "common/output_health.h"
#include "common/text_output.h"
#include "info/json_report.h"
#include "info/text_report.h"
#include "info/track_walk.h"

namespace {

// The records of the track being looked at, and their IDs sorted.
TrackRecord records[kMaxTrackRecords];
uint32_t sortedKeys[kMaxTrackRecords];

// The most records d88info walks in one image, all disks and tracks
// together. Each track is walked twice (layouts, then oddities), so the
// layouts get half; a track whose walk would pass that half is not walked,
// nor is any after it. 64 disks of 164 tracks of 26 sectors, more than any
// real track holds, come to some 540,000 walked records: only tracks that
// overlap, walked again and again, come near the budget.
constexpr int kRecordBudget = 1 << 20;
int recordsWalked;

// The most oddity lines shown for one track; beyond it, one line tells how
// many more there were.
constexpr int kMaxTrackOddityLines = 32;

// Where each track of the current disk lies, for finding overlaps.
struct TrackExtent {
  bool walked;
  int64_t start, end;
};
TrackExtent extents[kMaxTracks];

// One line of the report, built in pieces and printed when full or done.
struct ReportLine {
  char text[4096];
  size_t length;
};
ReportLine line;

// The report as one JSON document: each line's text becomes a string, each
// part of the report a key.
bool json;

void Add(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

void Flush() {
  if (line.length > 0 && !json) {
    PrintLocalFormatted(stdout, "%.*s", static_cast<int>(line.length), line.text);
  }
  line.length = 0;
}

// The line built so far as one JSON string, and a fresh line.
void EmitLineAsJson() {
  JsonText(line.text, line.length);
  line.length = 0;
}

void Add(const char* format, ...) {
  // Room for the longest piece: an escaped signature, a sector range.
  if (sizeof line.text - line.length < 256) {
    Flush();
  }
  va_list arguments;
  va_start(arguments, format);
  const int length =
      vsnprintf(line.text + line.length, sizeof line.text - line.length, format, arguments);
  va_end(arguments);
  if (length > 0) {
    line.length += static_cast<size_t>(length);
    if (line.length >= sizeof line.text) {
      line.length = sizeof line.text - 1;
    }
  }
}

void EndLine() {
  Add("\n");
  Flush();
}

const char* Plural(int64_t count, const char* one, const char* many) {
  return count == 1 ? one : many;
}

// --- The disk and its tracks ---

// Appends `letter` and the byte's value, in decimal.
void AddField(char letter, uint8_t value) {
  char* out = line.text + line.length;
  *out++ = letter;
  if (value >= 100) {
    *out++ = static_cast<char>('0' + value / 100);
  }
  if (value >= 10) {
    *out++ = static_cast<char>('0' + value / 10 % 10);
  }
  *out++ = static_cast<char>('0' + value % 10);
  line.length = static_cast<size_t>(out - line.text);
}

// "C0 H1 R2 N1", made by hand: --tracks may list a million of them. The
// line must have room for it.
void AddId(const TrackRecord& record) {
  AddField('C', record.c);
  line.text[line.length++] = ' ';
  AddField('H', record.h);
  line.text[line.length++] = ' ';
  AddField('R', record.r);
  line.text[line.length++] = ' ';
  AddField('N', record.n);
}

// " of 512 bytes (N2)"; " with N24" for a size code that names no size.
void AddSizeCode(int n) {
  if (n <= kMaxRunSizeCode) {
    Add(" of %" PRId64 " bytes (N%d)", static_cast<int64_t>(128) << n, n);
  } else {
    Add(" with N%d", n);
  }
}

void AddDensity(int density) {
  if (density == 0x00) {
    Add("double density");
  } else if (density == 0x40) {
    Add("single density");
  } else {
    Add("density 0x%02x", density);
  }
}

bool SameGroup(const SectorRange& a, const SectorRange& b) {
  return a.n == b.n && a.density == b.density;
}

// "9 sectors of 512 bytes (N2), R1-9": the sectors' size and their numbers
// R in the order recorded, as ranges ("R1-4,6-9"), and the density unless
// it is double. Records of one size and density in a row make a group; a
// track of several groups counts each: "10 sectors: 1 of 256 bytes (N1),
// R1; 9 of 512 bytes (N2), R1-9".
void AddLayout(const TrackLayout& layout) {
  if (layout.records == 0) {
    Add("no sectors");
    return;
  }
  Add("%d %s", layout.records, Plural(layout.records, "sector", "sectors"));
  if (layout.tooIrregular) {
    Add(", too irregular to sum up (see --tracks)");
    return;
  }
  bool groups = false;
  for (int i = 1; i < layout.ranges; ++i) {
    groups = groups || !SameGroup(layout.range[i - 1], layout.range[i]);
  }
  if (groups) {
    Add(":");
  }
  for (int first = 0; first < layout.ranges;) {
    int end = first + 1;
    int count = layout.range[first].lastR - layout.range[first].firstR + 1;
    for (; end < layout.ranges && SameGroup(layout.range[first], layout.range[end]); ++end) {
      count += layout.range[end].lastR - layout.range[end].firstR + 1;
    }
    if (groups) {
      Add("%s %d", first == 0 ? "" : ";", count);
    }
    AddSizeCode(layout.range[first].n);
    for (int i = first; i < end; ++i) {
      const SectorRange& range = layout.range[i];
      Add("%s%d", i == first ? ", R" : ",", range.firstR);
      if (range.lastR != range.firstR) {
        Add("-%d", range.lastR);
      }
    }
    if (layout.range[first].density != 0x00) {
      Add(", ");
      AddDensity(layout.range[first].density);
    }
    first = end;
  }
}

void PrintTrackRun(int first, int last, const TrackLayout& layout) {
  if (json) {
    JsonOpen('{');
    JsonKey("first");
    JsonNumber(first);
    JsonKey("last");
    JsonNumber(last);
    JsonKey("layout");
    AddLayout(layout);
    EmitLineAsJson();
    JsonClose('}');
    return;
  }
  if (first == last) {
    Add("  track %d: ", first);
  } else {
    Add("  tracks %d-%d: ", first, last);
  }
  AddLayout(layout);
  EndLine();
}

bool IsWalked(TrackPlace place) {
  return place == TrackPlace::kInHeader || place == TrackPlace::kInside;
}

// Walks the tracks in order and prints the runs of tracks of one layout,
// while the image's record budget lasts. Returns how many tracks were
// walked: kMaxTracks, or fewer once the budget is spent. Stops at once,
// printing nothing more, when a read of the image fails.
int PrintTrackRuns(D88Image& image, int64_t imageSize) {
  static TrackLayout run;
  static TrackLayout layout;
  int runFirst = -1;
  int runLast = -1;
  int track = 0;
  for (; track < kMaxTracks; ++track) {
    const int left = kRecordBudget / 2 - recordsWalked;
    const int maxRecords = left < kMaxTrackRecords ? left : kMaxTrackRecords;
    const TrackWalk walk = WalkTrack(image, track, imageSize, records, maxRecords);
    if (image.ReadFailed()) {
      return track;
    }
    recordsWalked += walk.records;
    if (walk.ended == WalkEnd::kRecordLimit && maxRecords < kMaxTrackRecords) {
      break;  // the budget ends inside this track's walk
    }
    extents[track] = {IsWalked(walk.place), walk.start, walk.end};
    if (!extents[track].walked) {
      continue;
    }
    DescribeLayout(records, walk.records, &layout);
    if (runFirst >= 0 && runLast == track - 1 && SameLayout(run, layout)) {
      runLast = track;
      continue;
    }
    if (runFirst >= 0) {
      PrintTrackRun(runFirst, runLast, run);
    }
    run = layout;
    runFirst = track;
    runLast = track;
  }
  if (runFirst >= 0) {
    PrintTrackRun(runFirst, runLast, run);
  } else if (track == kMaxTracks && !json) {
    Add("  no tracks");
    EndLine();
  }
  return track;
}

// In JSON, the track whose object is open, if any, and whether its list
// of oddities is open.
int jsonTrack = -1;
bool jsonTrackOddities;

void OpenTrackObject(int track) {
  if (jsonTrack == track) {
    return;
  }
  JsonOpen('{');
  JsonKey("track");
  JsonNumber(track);
  jsonTrack = track;
  jsonTrackOddities = false;
}

void CloseTrackObject() {
  if (jsonTrack < 0) {
    return;
  }
  if (jsonTrackOddities) {
    JsonClose(']');
  }
  JsonClose('}');
  jsonTrack = -1;
}

void PrintTrackIds(int track, int count) {
  if (json) {
    OpenTrackObject(track);
    JsonKey("sectors");
    JsonOpen('[');
    for (int i = 0; i < count; ++i) {
      AddId(records[i]);
      EmitLineAsJson();
    }
    JsonClose(']');
    return;
  }
  Add("  track %d sectors: ", track);
  if (count == 0) {
    Add("none");
  }
  for (int i = 0; i < count; ++i) {
    // ", C255 H255 R255 N255"
    if (sizeof line.text - line.length < 32) {
      Flush();
    }
    if (i > 0) {
      line.text[line.length++] = ',';
      line.text[line.length++] = ' ';
    }
    AddId(records[i]);
  }
  EndLine();
}

// --- Oddities ---

// How many oddity lines the current track has had, and how many more it
// had than it may show.
int trackOddities;
int oddityLinesLeftOut;

// Counts an oddity of the current track; true when it is to be shown, for
// the track's first kMaxTrackOddityLines.
bool ShowOddity() {
  if (++trackOddities > kMaxTrackOddityLines) {
    ++oddityLinesLeftOut;
    return false;
  }
  return true;
}

// Prints "  oddity: track T: " and the formatted text as a line. Oddity asks
// ShowOddity itself; callers of PrintOddity ask it first, so that in a
// track of many records the text of those not shown is never made.
void PrintOddity(int track, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void Oddity(int track, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void PrintOddityText(int track, const char* format, va_list arguments) {
  char text[256];
  vsnprintf(text, sizeof text, format, arguments);
  if (json) {
    OpenTrackObject(track);
    if (!jsonTrackOddities) {
      JsonKey("oddities");
      JsonOpen('[');
      jsonTrackOddities = true;
    }
    JsonText(text);
    return;
  }
  Add("  oddity: track %d: %s", track, text);
  EndLine();
}

// Ends a line "  oddity: ..." of the disk as a whole; in JSON its text
// after "  oddity: " is a string of the disk's oddities.
void EndDiskOddity() {
  if (!json) {
    EndLine();
    return;
  }
  static const char kPrefix[] = "  oddity: ";
  const size_t prefix = sizeof kPrefix - 1;
  if (line.length >= prefix && memcmp(line.text, kPrefix, prefix) == 0) {
    JsonText(line.text + prefix, line.length - prefix);
  } else {
    JsonText(line.text, line.length);
  }
  line.length = 0;
}

void PrintOddity(int track, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  PrintOddityText(track, format, arguments);
  va_end(arguments);
}

void Oddity(int track, const char* format, ...) {
  if (!ShowOddity()) {
    return;
  }
  va_list arguments;
  va_start(arguments, format);
  PrintOddityText(track, format, arguments);
  va_end(arguments);
}

// "C0 H1 R2 N1"
struct IdText {
  explicit IdText(const TrackRecord& record) {
    snprintf(text, sizeof text, "C%d H%d R%d N%d", record.c, record.h, record.r, record.n);
  }
  char text[32];
};

TrackRecord RecordOfKey(uint32_t key) {
  TrackRecord record = {};
  record.c = static_cast<uint8_t>(key >> 24);
  record.h = static_cast<uint8_t>(key >> 16);
  record.n = static_cast<uint8_t>(key >> 8);
  record.r = static_cast<uint8_t>(key);
  return record;
}

void PrintMissing(int track, uint32_t groupKey, int firstR, int lastR) {
  const TrackRecord record = RecordOfKey(groupKey);
  if (firstR == lastR) {
    Oddity(track, "missing sector C%d H%d R%d N%d", record.c, record.h, firstR, record.n);
  } else {
    Oddity(track, "missing sectors C%d H%d R%d-%d N%d", record.c, record.h, firstR, lastR,
           record.n);
  }
}

// The highest sector number of the IDs sortedKeys[first, end) (one C, H and
// N, R ascending) up to which at least half of R1 to it are carried; 0 when
// none is. A number far past the rest, such as R51 among R1-9, is a stray,
// not a sign that every number between is missing.
int HighestDenseR(int first, int end) {
  int carried = 0;
  int highest = 0;
  for (int i = first; i < end; ++i) {
    const int r = static_cast<int>(sortedKeys[i] & 0xFF);
    if (r == 0 || (i > first && sortedKeys[i - 1] == sortedKeys[i])) {
      continue;
    }
    ++carried;
    if (2 * carried >= r) {
      highest = r;
    }
  }
  return highest;
}

// Each ID that more than one record carries, and for each C, H and N the
// sector numbers that no record carries from R1 to the highest of its
// numbers that at least half of those up to it are carried.
void PrintIdOddities(int track, int count) {
  SortedKeys(records, count, sortedKeys);
  int expectedR = 1;
  int denseR = 0;
  for (int i = 0; i < count;) {
    const uint32_t key = sortedKeys[i];
    int same = 1;
    while (i + same < count && sortedKeys[i + same] == key) {
      ++same;
    }
    if (i == 0 || (sortedKeys[i - 1] >> 8) != (key >> 8)) {
      expectedR = 1;
      int end = i + same;
      while (end < count && (sortedKeys[end] >> 8) == (key >> 8)) {
        ++end;
      }
      denseR = HighestDenseR(i, end);
    }
    const int r = static_cast<int>(key & 0xFF);
    if (r > expectedR && r <= denseR) {
      PrintMissing(track, key, expectedR, r - 1);
    }
    if (r + 1 > expectedR) {
      expectedR = r + 1;
    }
    if (same > 1) {
      if (ShowOddity()) {
        PrintOddity(track, "duplicate sector %s (%d records)", IdText(RecordOfKey(key)).text, same);
      }
    }
    i += same;
  }
}

void PrintRecordOddities(int track, int count) {
  for (int i = 0; i < count; ++i) {
    const TrackRecord& record = records[i];
    if (record.n > kMaxRunSizeCode) {
      if (ShowOddity()) {
        PrintOddity(track, "sector %s holds %d bytes, N%d names no sector size",
                    IdText(record).text, record.length, record.n);
      }
    } else if (record.length != (static_cast<int64_t>(128) << record.n)) {
      if (ShowOddity()) {
        PrintOddity(track, "sector %s holds %d bytes, N%d says %" PRId64, IdText(record).text,
                    record.length, record.n, static_cast<int64_t>(128) << record.n);
      }
    }
    if (record.deleted == 0x10) {
      if (ShowOddity()) {
        PrintOddity(track, "sector %s holds deleted data", IdText(record).text);
      }
    } else if (record.deleted != 0) {
      if (ShowOddity()) {
        PrintOddity(track, "sector %s has deleted-data byte 0x%02x", IdText(record).text,
                    record.deleted);
      }
    }
    if (record.status != 0) {
      if (ShowOddity()) {
        PrintOddity(track, "sector %s has status 0x%02x", IdText(record).text, record.status);
      }
    }
  }
}

// Once for each track: the text's arguments cost little.
void PrintWalkEnd(int track, const TrackWalk& walk) {
  switch (walk.ended) {
    case WalkEnd::kCounts:
      return;
    case WalkEnd::kDiskEnd:
      if (walk.pastRecordFound) {
        Oddity(track, "records past the disk's end, from sector %s on", IdText(walk.past).text);
      } else {
        Oddity(track, "the counts do not end the track before the disk's end");
      }
      return;
    case WalkEnd::kImageEnd:
      if (walk.cutShortBy > 0) {
        Oddity(track, "sector %s is cut short by the end of the image, %" PRId64 " bytes missing",
               IdText(records[walk.records - 1]).text, walk.cutShortBy);
      } else {
        Oddity(track, "the image ends inside the track");
      }
      return;
    case WalkEnd::kRecordLimit:
      Oddity(track, "the counts do not end the track; walked no further than %d records",
             kMaxTrackRecords);
      return;
  }
}

bool Overlap(const TrackExtent& a, const TrackExtent& b) {
  const int64_t start = a.start > b.start ? a.start : b.start;
  const int64_t end = a.end < b.end ? a.end : b.end;
  return a.start == b.start || start < end;
}

// Tracks in a row whose offsets point where no sector can be read, all
// outside the disk or all past the end of the image: the text gives them one
// line, as a cut-short image has dozens. Tracks with no offset between them
// do not end the row. In JSON each track keeps its own.
struct UnreadableRow {
  TrackPlace place;  // kOutside or kPastImage; kAbsent: no row
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
    PrintOddity(row.first, "offset %" PRIu32 " lies %s", row.lowest, where);
    return;
  }
  Add("  oddity: tracks %d-%d: %d offsets, from %" PRIu32 " to %" PRIu32 ", lie %s", row.first,
      row.last, row.count, row.lowest, row.highest, where);
  EndLine();
}

void AddToUnreadableRow(int track, TrackPlace place, uint32_t offset) {
  if (json) {
    Oddity(track, "offset %" PRIu32 " lies %s", offset,
           place == TrackPlace::kOutside ? "outside the disk" : "past the end of the image");
    return;
  }
  if (unreadable.place != place) {
    EndUnreadableRow();
    unreadable = {place, track, track, 0, offset, offset};
  }
  unreadable.last = track;
  ++unreadable.count;
  unreadable.lowest = std::min(unreadable.lowest, offset);
  unreadable.highest = std::max(unreadable.highest, offset);
}

// Walks the tracks below `tracks` again and prints what is odd about each,
// and with `everyId` its sector IDs first.
void PrintTrackOddities(D88Image& image, int tracks, int64_t imageSize, bool everyId) {
  unreadable.place = TrackPlace::kAbsent;
  for (int track = 0; track < tracks; ++track) {
    CloseTrackObject();  // the last track's, if it had anything to say
    trackOddities = 0;
    oddityLinesLeftOut = 0;
    const TrackWalk walk = WalkTrack(image, track, imageSize, records);
    if (image.ReadFailed()) {
      return;
    }
    switch (walk.place) {
      case TrackPlace::kAbsent:
        continue;
      case TrackPlace::kOutside:
      case TrackPlace::kPastImage:
        AddToUnreadableRow(track, walk.place, static_cast<uint32_t>(walk.offset));
        continue;
      case TrackPlace::kInHeader:
      case TrackPlace::kInside:
        EndUnreadableRow();
        break;
    }
    if (everyId) {
      PrintTrackIds(track, walk.records);
    }
    if (walk.place == TrackPlace::kInHeader) {
      Oddity(track, "offset %" PRId32 " lies inside the disk header", walk.offset);
    }
    for (int other = track + 1; other < tracks; ++other) {
      if (extents[other].walked && Overlap(extents[track], extents[other])) {
        Oddity(track, "overlaps track %d", other);
      }
    }
    PrintWalkEnd(track, walk);
    PrintIdOddities(track, walk.records);
    PrintRecordOddities(track, walk.records);
    if (oddityLinesLeftOut > 0) {
      PrintOddity(track, "%d more %s not shown", oddityLinesLeftOut,
                  Plural(oddityLinesLeftOut, "oddity", "oddities"));
    }
  }
  EndUnreadableRow();
  CloseTrackObject();
}

void PrintDiskOddities(const D88Image& image, int64_t imageSize) {
  const int32_t size = image.DiskSize();
  if (size < 0) {
    Add("  oddity: the disk's size is past 2 GiB");
    EndDiskOddity();
  } else if (size < kDiskHeaderSize) {
    Add("  oddity: the disk's size is below the %d bytes of its header", kDiskHeaderSize);
    EndDiskOddity();
  } else if (static_cast<int64_t>(image.DiskBase()) + size > imageSize) {
    Add("  oddity: the disk runs %" PRId64 " bytes past the end of the image",
        static_cast<int64_t>(image.DiskBase()) + size - imageSize);
    EndDiskOddity();
  }
}

void PrintDiskEnd(D88Image& image, int64_t imageSize, bool everyId, int tracks);
void PrintDiskFields(const D88Image& image, int index);

void PrintDisk(D88Image& image, int index, int64_t imageSize, bool everyId) {
  image.SelectDisk(index);
  if (image.ReadFailed()) {
    return;
  }
  if (json) {
    PrintDiskFields(image, index);
    JsonKey("track_runs");
    JsonOpen('[');
    const int tracks = PrintTrackRuns(image, imageSize);
    JsonClose(']');
    if (image.ReadFailed()) {
      return;
    }
    JsonKey("oddities");
    JsonOpen('[');
    PrintDiskEnd(image, imageSize, everyId, tracks);
    return;
  }
  Add("\ndisk %d", index + 1);
  EndLine();
  Add("  offset: %" PRId32, image.DiskBase());
  EndLine();
  Add("  size: %" PRIu32 " bytes", static_cast<uint32_t>(image.DiskSize()));
  EndLine();
  if (image.DiskName()[0] == '\0') {
    PrintText(stdout, "  name:\n");
  } else {
    PrintNameMessage(stdout, "  name: ", image.DiskName());
  }
  const int media = image.MediaType();
  if (media == 0x00 || media == 0x10 || media == 0x20) {
    Add("  media: %s", media == 0x00 ? "2D" : (media == 0x10 ? "2DD" : "2HD"));
  } else {
    Add("  media: 0x%02x", media);
  }
  EndLine();
  const int protection = image.WriteProtection();
  if (protection == 0x00 || protection == 0x10) {
    Add("  write-protected: %s", protection == 0x10 ? "yes" : "no");
  } else {
    Add("  write-protected: 0x%02x", protection);
  }
  EndLine();
  const int tracks = PrintTrackRuns(image, imageSize);
  if (image.ReadFailed()) {
    return;
  }
  PrintDiskEnd(image, imageSize, everyId, tracks);
}

void PrintDiskEnd(D88Image& image, int64_t imageSize, bool everyId, int tracks) {
  PrintDiskOddities(image, imageSize);
  if (tracks < kMaxTracks) {
    if (tracks == kMaxTracks - 1) {
      Add("  oddity: track %d not walked", tracks);
    } else {
      Add("  oddity: tracks %d-%d not walked", tracks, kMaxTracks - 1);
    }
    Add(": d88info walks no more than %d records of an image", kRecordBudget);
    EndDiskOddity();
  }
  if (json) {
    JsonClose(']');
    JsonKey("tracks");
    JsonOpen('[');
  }
  PrintTrackOddities(image, tracks, imageSize, everyId);
  if (json) {
    JsonClose(']');
    JsonClose('}');
  }
}

// The disk's fields as JSON: the same words as the text's, and the bytes.
void PrintDiskFields(const D88Image& image, int index) {
  JsonOpen('{');
  JsonKey("number");
  JsonNumber(index + 1);
  JsonKey("offset");
  JsonNumber(image.DiskBase());
  JsonKey("size");
  JsonNumber(static_cast<uint32_t>(image.DiskSize()));
  JsonKey("name");
  JsonShiftJis(image.DiskName());
  JsonKey("name_hex");
  JsonHex(reinterpret_cast<const uint8_t*>(image.DiskName()), strlen(image.DiskName()));
  const int media = image.MediaType();
  JsonKey("media");
  if (media == 0x00 || media == 0x10 || media == 0x20) {
    JsonText(media == 0x00 ? "2D" : (media == 0x10 ? "2DD" : "2HD"));
  } else {
    Add("0x%02x", media);
    EmitLineAsJson();
  }
  JsonKey("media_byte");
  JsonNumber(media);
  const int protection = image.WriteProtection();
  JsonKey("write_protected");
  if (protection == 0x00 || protection == 0x10) {
    JsonText(protection == 0x10 ? "yes" : "no");
  } else {
    Add("0x%02x", protection);
    EmitLineAsJson();
  }
  JsonKey("write_protect_byte");
  JsonNumber(protection);
}

// The disks, each under a blank line, while the walks' budget lasts; in
// JSON the array "disks".
void PrintDisks(D88Image& image, int64_t imageSize, bool everyId) {
  if (json) {
    JsonKey("disks");
    JsonOpen('[');
  }
  for (int disk = 0; disk < image.DiskCount() && !image.ReadFailed(); ++disk) {
    PrintDisk(image, disk, imageSize, everyId);
  }
  if (json) {
    JsonClose(']');
  }
}

}  // namespace

Verdict PrintReport(D88Image& image, const ImageReport& report, bool everyId, bool asJson) {
  line.length = 0;
  recordsWalked = 0;
  json = asJson;
  jsonTrack = -1;
  if (json) {
    StartJsonReport(report);
  } else {
    PrintTextHead(report);
  }
  if (report.counted) {
    PrintDisks(image, report.file.bytes, everyId);
    Flush();
  }
  if (image.ReadFailed()) {
    return report.outputs->recognition.verdict;
  }
  if (json) {
    EndJsonReport(report);
  } else {
    PrintTextTail(report);
  }
  return report.outputs->recognition.verdict;
}
