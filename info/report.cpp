#include "info/report.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "info/track_walk.h"
#include "tool/text_output.h"

namespace {

// The records of the track being looked at, and their IDs sorted.
TrackRecord records[kMaxTrackRecords];
uint32_t sortedKeys[kMaxTrackRecords];

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

void Add(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

void Flush() {
  if (line.length > 0) {
    PrintLocalFormatted(stdout, "%.*s", static_cast<int>(line.length), line.text);
    line.length = 0;
  }
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

// --- The verdict ---

void AddEscaped(const uint8_t* bytes, int length) {
  Add("\"");
  for (int i = 0; i < length; ++i) {
    const uint8_t byte = bytes[i];
    if (byte == '"' || byte == '\\') {
      Add("\\%c", byte);
    } else if (byte >= 0x20 && byte < 0x7F) {
      Add("%c", byte);
    } else {
      Add("\\x%02x", byte);
    }
  }
  Add("\"");
}

void PrintVerdict(const Recognition& recognition) {
  Add("verdict: ");
  switch (recognition.verdict) {
    case Verdict::kRecognised:
      Add("recognised");
      break;
    case Verdict::kNotD88:
      Add("not a D88 image");
      break;
    case Verdict::kNoFirstSector:
      Add("no sector C0 H0 R1 N1 on the first disk");
      break;
    case Verdict::kSignatureDiffers:
      Add("signature differs, found ");
      AddEscaped(recognition.found, kSignatureLength);
      break;
  }
  EndLine();
}

// --- The disk and its tracks ---

void AddId(const TrackRecord& record) {
  Add("C%d H%d R%d N%d", record.c, record.h, record.r, record.n);
}

void AddSizeCode(int n) {
  if (n <= kMaxRunSizeCode) {
    Add("%" PRId64 " bytes (N%d)", static_cast<int64_t>(128) << n, n);
  } else {
    Add("N%d", n);
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

// "9 sectors R1-9, 512 bytes (N2), double density"; ranges of one size code
// and density in a row share it: "R1-4,6-9, ...", and groups of other ones
// follow after " + ".
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
  for (int i = 0; i < layout.ranges; ++i) {
    const SectorRange& range = layout.range[i];
    const bool sameGroup =
        i > 0 && layout.range[i - 1].n == range.n && layout.range[i - 1].density == range.density;
    Add(sameGroup ? "," : (i == 0 ? " R" : " + R"));
    Add(range.firstR == range.lastR ? "%d" : "%d-%d", range.firstR, range.lastR);
    const bool groupEnds = i + 1 == layout.ranges || layout.range[i + 1].n != range.n ||
                           layout.range[i + 1].density != range.density;
    if (groupEnds) {
      Add(", ");
      AddSizeCode(range.n);
      Add(", ");
      AddDensity(range.density);
    }
  }
}

void PrintTrackRun(int first, int last, const TrackLayout& layout) {
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

// Walks every track once and prints the runs of tracks of one layout.
void PrintTrackRuns(D88Image& image, int64_t imageSize) {
  static TrackLayout run;
  static TrackLayout layout;
  int runFirst = -1;
  int runLast = -1;
  for (int track = 0; track < kMaxTracks; ++track) {
    const TrackWalk walk = WalkTrack(image, track, imageSize, records);
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
  } else {
    Add("  no tracks");
    EndLine();
  }
}

void PrintTrackIds(int track, int count) {
  Add("  track %d sectors: ", track);
  if (count == 0) {
    Add("none");
  }
  for (int i = 0; i < count; ++i) {
    if (i > 0) {
      Add(", ");
    }
    AddId(records[i]);
  }
  EndLine();
}

// --- Oddities ---

void StartOddity(int track) {
  Add("  oddity: track %d: ", track);
}

void PrintRecordOddity(int track, const TrackRecord& record, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

void PrintRecordOddity(int track, const TrackRecord& record, const char* format, ...) {
  StartOddity(track);
  Add("sector ");
  AddId(record);
  char detail[256];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(detail, sizeof detail, format, arguments);
  va_end(arguments);
  Add(" %s", detail);
  EndLine();
}

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
  StartOddity(track);
  if (firstR == lastR) {
    Add("missing sector C%d H%d R%d N%d", record.c, record.h, firstR, record.n);
  } else {
    Add("missing sectors C%d H%d R%d-%d N%d", record.c, record.h, firstR, lastR, record.n);
  }
  EndLine();
}

// Each ID that more than one record carries, and for each C, H and N the
// sector numbers from R1 to the highest found that no record carries.
void PrintIdOddities(int track, int count) {
  SortedKeys(records, count, sortedKeys);
  int expectedR = 1;
  for (int i = 0; i < count;) {
    const uint32_t key = sortedKeys[i];
    int same = 1;
    while (i + same < count && sortedKeys[i + same] == key) {
      ++same;
    }
    const int r = static_cast<int>(key & 0xFF);
    if (i == 0 || (sortedKeys[i - 1] >> 8) != (key >> 8)) {
      expectedR = 1;
    }
    if (r > expectedR) {
      PrintMissing(track, key, expectedR, r - 1);
    }
    if (r + 1 > expectedR) {
      expectedR = r + 1;
    }
    if (same > 1) {
      StartOddity(track);
      Add("duplicate sector ");
      AddId(RecordOfKey(key));
      Add(" (%d records)", same);
      EndLine();
    }
    i += same;
  }
}

void PrintRecordOddities(int track, int count) {
  for (int i = 0; i < count; ++i) {
    const TrackRecord& record = records[i];
    if (record.n > kMaxRunSizeCode) {
      PrintRecordOddity(track, record, "holds %d bytes, N%d names no sector size", record.length,
                        record.n);
    } else if (record.length != (static_cast<int64_t>(128) << record.n)) {
      PrintRecordOddity(track, record, "holds %d bytes, N%d says %" PRId64, record.length, record.n,
                        static_cast<int64_t>(128) << record.n);
    }
    if (record.deleted == 0x10) {
      PrintRecordOddity(track, record, "holds deleted data");
    } else if (record.deleted != 0) {
      PrintRecordOddity(track, record, "has deleted-data byte 0x%02x", record.deleted);
    }
    if (record.status != 0) {
      PrintRecordOddity(track, record, "has status 0x%02x", record.status);
    }
  }
}

void PrintWalkEnd(int track, const TrackWalk& walk) {
  switch (walk.ended) {
    case WalkEnd::kCounts:
      return;
    case WalkEnd::kDiskEnd:
      if (walk.pastRecordFound) {
        StartOddity(track);
        Add("records past the disk's end, from sector ");
        AddId(walk.past);
        Add(" on");
        EndLine();
      } else {
        StartOddity(track);
        Add("the counts do not end the track before the disk's end");
        EndLine();
      }
      return;
    case WalkEnd::kImageEnd:
      if (walk.cutShortBy > 0) {
        PrintRecordOddity(track, records[walk.records - 1],
                          "is cut short by the end of the image, %" PRId64 " bytes missing",
                          walk.cutShortBy);
      } else {
        StartOddity(track);
        Add("the image ends inside the track");
        EndLine();
      }
      return;
    case WalkEnd::kRecordLimit:
      StartOddity(track);
      Add("the counts do not end the track; walked no further than %d records", kMaxTrackRecords);
      EndLine();
      return;
  }
}

bool Overlap(const TrackExtent& a, const TrackExtent& b) {
  const int64_t start = a.start > b.start ? a.start : b.start;
  const int64_t end = a.end < b.end ? a.end : b.end;
  return a.start == b.start || start < end;
}

// Walks every track again and prints what is odd about it, and with
// `everyId` its sector IDs first.
void PrintTrackOddities(D88Image& image, int64_t imageSize, bool everyId) {
  for (int track = 0; track < kMaxTracks; ++track) {
    const TrackWalk walk = WalkTrack(image, track, imageSize, records);
    if (walk.place == TrackPlace::kAbsent) {
      continue;
    }
    if (walk.place == TrackPlace::kOutside || walk.place == TrackPlace::kPastImage) {
      StartOddity(track);
      Add("offset %" PRIu32 " lies %s", static_cast<uint32_t>(walk.offset),
          walk.place == TrackPlace::kOutside ? "outside the disk" : "past the end of the image");
      EndLine();
      continue;
    }
    if (everyId) {
      PrintTrackIds(track, walk.records);
    }
    if (walk.place == TrackPlace::kInHeader) {
      StartOddity(track);
      Add("offset %" PRId32 " lies inside the disk header", walk.offset);
      EndLine();
    }
    for (int other = track + 1; other < kMaxTracks; ++other) {
      if (extents[other].walked && Overlap(extents[track], extents[other])) {
        StartOddity(track);
        Add("overlaps track %d", other);
        EndLine();
      }
    }
    PrintIdOddities(track, walk.records);
    PrintRecordOddities(track, walk.records);
    PrintWalkEnd(track, walk);
  }
}

void PrintDiskOddities(const D88Image& image, int64_t imageSize) {
  const int32_t size = image.DiskSize();
  if (size < 0) {
    Add("  oddity: the disk's size is past 2 GiB");
    EndLine();
  } else if (size < kDiskHeaderSize) {
    Add("  oddity: the disk's size is below the %d bytes of its header", kDiskHeaderSize);
    EndLine();
  } else if (static_cast<int64_t>(image.DiskBase()) + size > imageSize) {
    Add("  oddity: the disk runs %" PRId64 " bytes past the end of the image",
        static_cast<int64_t>(image.DiskBase()) + size - imageSize);
    EndLine();
  }
}

void PrintDisk(D88Image& image, int index, int64_t imageSize, bool everyId) {
  image.SelectDisk(index);
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
  PrintTrackRuns(image, imageSize);
  PrintDiskOddities(image, imageSize);
  PrintTrackOddities(image, imageSize, everyId);
}

}  // namespace

Verdict PrintReport(D88Image& image, int64_t imageSize, bool everyId) {
  line.length = 0;
  Add("image: %" PRId64 " bytes, %d %s", imageSize, image.DiskCount(),
      Plural(image.DiskCount(), "disk", "disks"));
  EndLine();
  // The signature sector is read into zeros, as d88cut's work buffer holds
  // at start-up.
  static uint8_t sector[kSignatureSectorBytes];
  memset(sector, 0, sizeof sector);
  const Recognition recognition = RecogniseImage(image, sector);
  PrintVerdict(recognition);
  if (recognition.verdict != Verdict::kNotD88) {
    for (int disk = 0; disk < image.DiskCount(); ++disk) {
      PrintDisk(image, disk, imageSize, everyId);
    }
  }
  return recognition.verdict;
}
