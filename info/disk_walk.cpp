#include "info/disk_walk.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/disk_layout.h"

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

// The words of one oddity or layout, built in pieces and handed to the
// renderer whole.
struct Words {
  char text[4096];
  size_t length;
};
Words line;

// The renderer the disks are walked for.
const DiskRenderer* renderer;

void Add(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The words built so far, for the renderer, and a fresh start.
const char* TakeWords() {
  line.text[line.length] = '\0';
  line.length = 0;
  return line.text;
}

void Add(const char* format, ...) {
  // Room for the longest piece, a sector range: a layout has at most
  // kMaxLayoutRanges of them.
  if (sizeof line.text - line.length < 256) {
    return;
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

const char* Plural(int64_t count, const char* one, const char* many) {
  return count == 1 ? one : many;
}

// --- The disk and its tracks ---

// Appends `letter` and the byte's value, in decimal.
char* WriteField(char* out, char letter, uint8_t value) {
  *out++ = letter;
  if (value >= 100) {
    *out++ = static_cast<char>('0' + value / 100);
  }
  if (value >= 10) {
    *out++ = static_cast<char>('0' + value / 10 % 10);
  }
  *out++ = static_cast<char>('0' + value % 10);
  return out;
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
  AddLayout(layout);
  renderer->trackRun(first, last, TakeWords());
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
  } else if (track == kMaxTracks) {
    renderer->noTracks();
  }
  return track;
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

// Hands the formatted text to the renderer as an oddity of `track`. Oddity asks
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
  renderer->trackOddity(track, text);
}

// Hands the disk's oddity built so far to the renderer.
void EndDiskOddity() {
  renderer->diskOddity(TakeWords());
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

// Walks the tracks below `tracks` again and prints what is odd about each,
// and with `everyId` its sector IDs first.
void PrintTrackOddities(D88Image& image, int tracks, int64_t imageSize, bool everyId) {
  for (int track = 0; track < tracks; ++track) {
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
        renderer->unreadableTrack(track, walk.place, static_cast<uint32_t>(walk.offset));
        continue;
      case TrackPlace::kInHeader:
      case TrackPlace::kInside:
        renderer->walkedTrack(track);
        break;
    }
    if (everyId) {
      renderer->trackIds(track, records, walk.records);
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
}

void PrintDiskOddities(const D88Image& image, int64_t imageSize) {
  const int32_t size = image.DiskSize();
  if (size < 0) {
    Add("the disk's size is past 2 GiB");
    EndDiskOddity();
  } else if (size < kDiskHeaderSize) {
    Add("the disk's size is below the %d bytes of its header", kDiskHeaderSize);
    EndDiskOddity();
  } else if (static_cast<int64_t>(image.DiskBase()) + size > imageSize) {
    Add("the disk runs %" PRId64 " bytes past the end of the image",
        static_cast<int64_t>(image.DiskBase()) + size - imageSize);
    EndDiskOddity();
  }
}

void PrintDiskEnd(D88Image& image, int64_t imageSize, bool everyId, int tracks) {
  PrintDiskOddities(image, imageSize);
  if (tracks < kMaxTracks) {
    if (tracks == kMaxTracks - 1) {
      Add("track %d not walked", tracks);
    } else {
      Add("tracks %d-%d not walked", tracks, kMaxTracks - 1);
    }
    Add(": d88info walks no more than %d records of an image", kRecordBudget);
    EndDiskOddity();
  }
  renderer->endDiskOddities();
  PrintTrackOddities(image, tracks, imageSize, everyId);
}

void WalkDisk(D88Image& image, int index, int64_t imageSize, bool everyId) {
  image.SelectDisk(index);
  if (image.ReadFailed()) {
    return;
  }
  const DiskFacts disk = {
      index + 1,        image.DiskBase(),  static_cast<uint32_t>(image.DiskSize()),
      image.DiskName(), image.MediaType(), image.WriteProtection()};
  renderer->beginDisk(disk);
  const int tracks = PrintTrackRuns(image, imageSize);
  if (image.ReadFailed()) {
    return;
  }
  renderer->endTrackRuns();
  PrintDiskEnd(image, imageSize, everyId, tracks);
  if (image.ReadFailed()) {
    return;
  }
  renderer->endDisk();
}

}  // namespace

int WriteId(const TrackRecord& record, char* out) {
  char* at = WriteField(out, 'C', record.c);
  *at++ = ' ';
  at = WriteField(at, 'H', record.h);
  *at++ = ' ';
  at = WriteField(at, 'R', record.r);
  *at++ = ' ';
  at = WriteField(at, 'N', record.n);
  return static_cast<int>(at - out);
}

void WalkDisks(D88Image& image, int64_t imageSize, bool everyId, const DiskRenderer& to) {
  renderer = &to;
  line.length = 0;
  recordsWalked = 0;
  renderer->beginDisks();
  for (int disk = 0; disk < image.DiskCount() && !image.ReadFailed(); ++disk) {
    WalkDisk(image, disk, imageSize, everyId);
  }
  if (!image.ReadFailed()) {
    renderer->endDisks();
  }
}
