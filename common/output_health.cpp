#include "common/output_health.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/read_runs.h"
#include "common/volume_decoding.h"
#include "platform/platform.h"

namespace {

// Which read put a byte of the work buffer there: only bytes read by the
// output's own run were read for it.
enum Run : uint16_t { kRunNone, kRunSignature, kRunMain, kRunDemo, kRunVolume };

// What one run left in the work buffer: from `base`, `painted` bytes, step
// by step of `stepBytes`, each step's bytes from the record at index
// stepSector[step] - 1 of DiskHealth::sector (0: beyond the table's room).
// Steps past `painted`, which the run needed and did not read, name their
// sectors the same way.
// A later run overwrites what an earlier one left where they overlap; a byte
// no run reached holds the zeros of start-up.
constexpr int MostStepsInTheWorkBuffer() {
  int most = 0;
  for (const ReadRun& read : kReadRuns.run) {
    const int size = 128 << read.sizeCode;
    if (read.buffer == RunBuffer::kWork) {
      most = std::max(most, (read.length + size - 1) / size);
    }
  }
  return most;
}
constexpr int kMaxRunSteps = MostStepsInTheWorkBuffer();
static_assert(kMaxHealthSectors < 0x10000, "sector indices fit a step");
struct Painting {
  Run run;
  int base;
  int stepBytes;
  int painted;
  uint16_t stepSector[kMaxRunSteps];
};
// One for each run into the work buffer, at most.
constexpr int kMaxPaintings = kReadRunCount;
Painting paintings[kMaxPaintings];
int paintingCount;

// Where byte `at` of the work buffer came from: the run that last wrote it
// (kRunNone: none did) and its record's index (-1: none known), and the end
// of the bytes from `at` on that share both.
struct Origin {
  int run;
  int sector;
  int end;
};

Origin OriginAt(int at) {
  int owner = paintingCount - 1;
  while (owner >= 0 &&
         (at < paintings[owner].base || at >= paintings[owner].base + paintings[owner].painted)) {
    --owner;
  }
  Origin origin = {kRunNone, -1, kVolumeImageBytes};
  // A later run that starts further on takes over there.
  for (int later = owner + 1; later < paintingCount; ++later) {
    if (paintings[later].base > at) {
      origin.end = std::min(origin.end, paintings[later].base);
    }
  }
  if (owner >= 0) {
    const Painting& painting = paintings[owner];
    const int step = (at - painting.base) / painting.stepBytes;
    origin.run = painting.run;
    origin.sector = painting.stepSector[step] - 1;
    origin.end = std::min({origin.end, painting.base + (step + 1) * painting.stepBytes,
                           painting.base + painting.painted});
  }
  return origin;
}

// One run read as d88cut makes it (read_runs.h): from R`firstR` of `track`
// (C = track / 2, H = track % 2), `length` bytes of sectors of size code
// `n`, into the work buffer at `base` (or into a buffer of its own),
// `perTrack` sectors a track.
struct RunPlan {
  Run run;
  SectorRole role;
  int track, firstR, n, perTrack;
  int base;
  int length;
  // Filled by the replay: the step at which the run stopped, and why
  // (kMissing or kShort); -1 when it read every step. The run's painting of
  // the work buffer, or null.
  int stopStep;
  SectorState stopState;
  const Painting* painting;
};

// An item of a details list: a run of sectors of one track (R`first`-`last`)
// and why they hold no bytes read for the output, or a run of clusters.
struct Item {
  int track;
  int first, last;
  int what;  // SectorState for sectors; a cluster run's partner output for cross-links
};

constexpr int kMaxItems = 8;
struct ItemList {
  int count;
  int more;  // items past the first kMaxItems, each counted once
  Item item[kMaxItems];
  Item lastMore;  // the last of those
};

// What is known of one output while the outputs are judged; its words are
// made once every output is known, since a cross-link names both.
struct Findings {
  ItemList unread;      // sectors of the output's slots not read for it
  ItemList rawSlots;    // clusters on tracks 3-8
  ItemList bad;         // sector indices (first = last = what)
  ItemList crossLinks;  // clusters, what = partner output
  ChainEnd chainEnd;
  int chainCluster;  // where the chain ended short
};
Findings findings[kMaxHealthOutputs];
// The output that first took each cluster; -1 for none.
int clusterOwner[kLastCluster + 1];

// The work buffer as the run fills it, read again: the bytes each output
// is written from.
uint8_t workRead[kVolumeImageBytes];
constexpr bool WorkRunsFitTheBuffer() {
  for (const ReadRun& read : kReadRuns.run) {
    if (read.buffer == RunBuffer::kWork &&
        (read.offset < 0 || read.length < 0 || read.offset > kVolumeImageBytes - read.length)) {
      return false;
    }
  }
  return true;
}
static_assert(WorkRunsFitTheBuffer(), "every run into the work buffer lands inside it");

uint8_t fatBytesRead[kFatBytes];
uint8_t rootRead[kRootDirectoryBytes];
uint16_t table[kClusterTableEntries];

// Adds `item`, extending the last item when it continues it, and skipping
// it when an item already holds it.
void AddItem(ItemList& list, const Item& item) {
  for (int i = 0; i < list.count; ++i) {
    const Item& held = list.item[i];
    if (held.track == item.track && held.what == item.what && item.first >= held.first &&
        item.last <= held.last) {
      return;
    }
  }
  if (list.count > 0) {
    Item& last = list.item[list.count - 1];
    if (last.track == item.track && last.what == item.what && item.first == last.last + 1) {
      last.last = item.last;
      return;
    }
  }
  if (list.count == kMaxItems) {
    Item& last = list.lastMore;
    if (list.more > 0 && last.track == item.track && last.what == item.what &&
        item.first >= last.first && item.first <= last.last + 1) {
      last.last = std::max(last.last, item.last);
      return;
    }
    ++list.more;
    last = item;
    return;
  }
  list.item[list.count++] = item;
}

// An index of health->sector[] by where each sector is (its record's file
// offset, or for a missing sector its address), so that a disk's sectors are
// found in constant time: open addressing, each slot 0 or an index + 1.
constexpr int kSectorSlots = 4 * kMaxHealthSectors;
uint16_t sectorSlot[kSectorSlots];

uint64_t SectorKey(int track, int c, int h, int r, int n, bool found, int64_t at) {
  if (found) {
    return static_cast<uint64_t>(at);
  }
  return 1ull << 63 | static_cast<uint64_t>(track) << 32 | static_cast<uint64_t>(c) << 24 |
         static_cast<uint64_t>(h) << 16 | static_cast<uint64_t>(r) << 8 | static_cast<uint64_t>(n);
}

uint64_t KeyOf(const HealthSector& sector) {
  return SectorKey(sector.track, sector.c, sector.h, sector.r, sector.n, sector.at >= 0, sector.at);
}

// The index of the sector at this address in health->sector, added when
// new; -1 when the table is full. A sector that a run reaches (`reached`)
// takes its record's state, or kMissing; one only needed stays kUnread
// until a run reaches it.
int FindOrAddSector(DiskHealth* health, int track, int c, int h, int r, int n, bool found,
                    const uint8_t* header, int64_t at, bool reached) {
  const SectorState state =
      !reached ? SectorState::kUnread : (found ? StateOfRecord(header) : SectorState::kMissing);
  const uint64_t key = SectorKey(track, c, h, r, n, found, at);
  uint32_t slot = static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> 52) % kSectorSlots;
  while (sectorSlot[slot] != 0) {
    HealthSector& sector = health->sector[sectorSlot[slot] - 1];
    if (KeyOf(sector) == key) {
      if (sector.state == SectorState::kUnread) {
        sector.state = state;
      }
      return sectorSlot[slot] - 1;
    }
    slot = (slot + 1) % kSectorSlots;
  }
  if (health->sectors == kMaxHealthSectors) {
    return -1;
  }
  sectorSlot[slot] = static_cast<uint16_t>(health->sectors + 1);
  HealthSector& sector = health->sector[health->sectors];
  sector.track = track;
  sector.c = static_cast<uint8_t>(c);
  sector.h = static_cast<uint8_t>(h);
  sector.r = static_cast<uint8_t>(r);
  sector.n = static_cast<uint8_t>(n);
  sector.role = SectorRole::kUnused;
  sector.state = state;
  sector.status = found ? header[kRecordStatus] : 0;
  sector.deleted = found ? header[kRecordDeleted] : 0;
  sector.at = found ? at : -1;
  sector.output = -1;
  return health->sectors++;
}

// Reads as ReadSectors does, step by step, into `data`, noting each sector
// in `health` with the plan's role and, for a plan in the work buffer
// (`paint`), each byte's origin. Returns the bytes of the complete steps, as
// ReadSectors does.
int ReplayRun(D88Image& image, DiskHealth* health, RunPlan& plan, uint8_t* data, bool paint) {
  const int size = 128 << plan.n;
  int track = plan.track;
  int c = track / 2;
  int h = track % 2;
  int r = plan.firstR;
  int total = 0;
  plan.stopStep = -1;
  plan.painting = nullptr;
  Painting* painting = nullptr;
  if (paint && paintingCount < kMaxPaintings) {
    painting = &paintings[paintingCount++];
    painting->run = plan.run;
    painting->base = plan.base;
    painting->stepBytes = size;
    painting->painted = 0;
    plan.painting = painting;
  }
  // After a step that stops the run, the steps it never reaches: each of
  // their sectors is noted as needed, and nothing is read.
  bool reading = true;
  for (int step = 0, done = 0; done < plan.length; ++step) {
    const int chunk = std::min(size, plan.length - done);
    const int got = reading ? image.ReadSector(track, c, h, r, plan.n, data + total, chunk) : 0;
    uint8_t header[kRecordHeaderSize];
    int64_t at = -1;
    const bool found = image.FindSector(track, c, h, r, plan.n, header, &at);
    const int index = FindOrAddSector(health, track, c, h, r, plan.n, found, header, at, reading);
    if (index >= 0) {
      HealthSector& sector = health->sector[index];
      if (sector.role == SectorRole::kUnused) {
        sector.role = plan.role;
      }
      if (reading && found && got < chunk) {
        sector.state = SectorState::kShort;  // cut short by the end of the image
      }
    }
    if (painting != nullptr && step < kMaxRunSteps) {
      painting->stepSector[step] = static_cast<uint16_t>(index + 1);
      if (reading && got > 0) {
        painting->painted = total + got;
      }
    }
    if (reading && got < chunk) {
      plan.stopStep = step;
      plan.stopState = found ? SectorState::kShort : SectorState::kMissing;
      reading = false;
    }
    if (reading) {
      total += chunk;
    }
    done += chunk;
    image.StepRun(&track, &c, &h, &r);
  }
  return total;
}

// The plan of each run of the table, in its order.
RunPlan plans[kReadRunCount];

RunPlan PlanOf(const ReadRun& read) {
  Run run = kRunVolume;
  SectorRole role = SectorRole::kUnused;  // a volume sector is a file's once a file takes it
  switch (read.purpose) {
    case RunPurpose::kSignature:
      run = kRunSignature;
      role = SectorRole::kSignature;
      break;
    case RunPurpose::kMain:
      run = kRunMain;
      role = SectorRole::kMain;
      break;
    case RunPurpose::kDemo:
      run = kRunDemo;
      role = SectorRole::kDemo;
      break;
    case RunPurpose::kFat:
      run = kRunNone;
      role = SectorRole::kFat;
      break;
    case RunPurpose::kRootDirectory:
      run = kRunNone;
      role = SectorRole::kDirectory;
      break;
    case RunPurpose::kVolumeTracks:
      break;
  }
  return RunPlan{run,
                 role,
                 read.track,
                 read.firstR,
                 read.sizeCode,
                 read.lastSector - read.firstSector + 1,
                 read.offset,
                 read.length,
                 -1,
                 SectorState::kOk,
                 nullptr};
}

// The volume's run that reads the work buffer's byte `offset` for a volume
// file, the last in the table whose reach holds it; nullptr when none does
// (the slots of tracks 3-8).
const RunPlan* VolumePlanAt(int offset) {
  const RunPlan* found = nullptr;
  for (int i = 0; i < kReadRunCount; ++i) {
    const ReadRun& read = kReadRuns.run[i];
    if (read.purpose == RunPurpose::kVolumeTracks && read.buffer == RunBuffer::kWork &&
        offset >= read.offset && offset < read.offset + read.length) {
      found = &plans[i];
    }
  }
  return found;
}

// Notes why byte `offset` of the work buffer, in `plan`'s reach, holds no
// byte read for output `index`; the sector that would have held it belongs
// to the output on the map.
void NoteUnread(DiskHealth* health, int index, const RunPlan& plan, int offset) {
  const int step = (offset - plan.base) / (128 << plan.n);
  const int track = plan.track + step / plan.perTrack;
  const int r = plan.firstR + step % plan.perTrack;
  // Steps before the one that stopped the run were read whole.
  const int why = step == plan.stopStep ? static_cast<int>(plan.stopState) : -1;
  AddItem(findings[index].unread, Item{track, r, r, why});
  const int sector =
      plan.painting != nullptr && step < kMaxRunSteps ? plan.painting->stepSector[step] - 1 : -1;
  if (sector >= 0) {
    HealthSector& needed = health->sector[sector];
    if (needed.output < 0) {
      needed.output = index;
    }
    if (needed.role == SectorRole::kUnused) {
      needed.role = SectorRole::kFile;  // only a volume run leaves its role unused
    }
  }
}

// The end of the step of `plan` that holds byte `at` of the work buffer; for
// a volume file (`plan` null), of its sector.
int StepEnd(const RunPlan* plan, int at) {
  if (plan == nullptr) {
    return (at / kVolumeSectorBytes + 1) * kVolumeSectorBytes;
  }
  const int size = 128 << plan->n;
  return plan->base + ((at - plan->base) / size + 1) * size;
}

// Judges `length` bytes of the work buffer from `offset`, which output
// `index` takes from run `own` (`plan`; for a volume file nullptr, and the
// volume's runs give the run of each byte). The bytes are taken a piece at
// a time, each piece from one record and within one step of the output's run.
void JudgeBytes(DiskHealth* health, int index, Run own, int offset, int length,
                const RunPlan* plan) {
  OutputHealth& output = health->output[index];
  Findings& found = findings[index];
  const int end = offset + length;
  for (int at = offset; at < end;) {
    const Origin origin = OriginAt(at);
    const int next = std::min({end, origin.end, StepEnd(plan, at)});
    if (origin.run == own && origin.sector >= 0) {
      HealthSector& sector = health->sector[origin.sector];
      if (sector.output < 0) {
        sector.output = index;
      }
      if (own == kRunVolume && sector.role == SectorRole::kUnused) {
        sector.role = SectorRole::kFile;
      }
      if (sector.status != 0 || sector.deleted != 0) {
        output.problems |= kBadSector;
        AddItem(found.bad, Item{-1, origin.sector, origin.sector, origin.sector});  // never merged
      }
    } else if (origin.run != own) {
      output.problems |= kNotFromDisk;
      const RunPlan* reading = plan != nullptr ? plan : VolumePlanAt(at);
      if (reading == nullptr) {
        const int cluster = at / kClusterBytes - kClusterSlotBias;
        AddItem(found.rawSlots, Item{-1, cluster, cluster, 0});
      } else {
        NoteUnread(health, index, *reading, at);
      }
    }
    // (A byte of its own run from a record beyond the table's room was read
    // for it; nothing more is known.)
    at = next;
  }
}

int AddOutput(DiskHealth* health, const char* name, int32_t size, int32_t recordedSize,
              bool volumeFile) {
  const int index = health->outputs++;
  OutputHealth& output = health->output[index];
  memset(&output, 0, sizeof output);
  snprintf(output.name, sizeof output.name, "%s", name);
  output.size = size;
  output.recordedSize = recordedSize;
  output.volumeFile = volumeFile;
  findings[index] = Findings{};
  return index;
}

// An output's checksums, taken a piece at a time as d88cut writes it.
struct OutputSums {
  OutputSums() { StartSha1(&sha); }
  uint32_t crc = 0;
  Sha1 sha;
};

void AddToSums(OutputSums& sums, const uint8_t* bytes, int length) {
  sums.crc = UpdateCrc32(sums.crc, bytes, static_cast<size_t>(length));
  AddToSha1(&sums.sha, bytes, static_cast<size_t>(length));
}

void FinishSums(OutputSums& sums, OutputHealth& output) {
  output.crc32 = sums.crc;
  FinishSha1(&sums.sha, output.sha1);
}

// Cuts a raw area as CutArea does; an area whose first sector is missing
// is no output.
void JudgeRawArea(D88Image& image, DiskHealth* health, const ReadRun& read, RunPlan& plan) {
  if (ReplayRun(image, health, plan, workRead + plan.base, true) == 0) {
    return;
  }
  const int index = AddOutput(health, read.output, read.length, read.length, false);
  JudgeBytes(health, index, plan.run, plan.base, plan.length, &plan);
  OutputSums sums;
  AddToSums(sums, workRead + plan.base, plan.length);
  FinishSums(sums, health->output[index]);
}

// Whether `name` is written in an empty folder on Linux: not empty, "."
// or "..", and holding no '/'.
bool WrittenOnLinux(const char* name) {
  return name[0] != '\0' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0 &&
         strchr(name, '/') == nullptr;
}

void JudgeVolumeFile(DiskHealth* health, const char* name, const DirectoryEntry& entry) {
  const int index = AddOutput(health, name, 0, entry.size, true);
  OutputHealth& output = health->output[index];
  Findings& found = findings[index];
  ClusterChain chain(table, entry.firstCluster, entry.size);
  int cluster = 0;
  int length = 0;
  int last = -1;
  OutputSums sums;
  while (chain.Next(&cluster, &length)) {
    last = cluster;
    output.size += length;
    const int at = (cluster + kClusterSlotBias) * kClusterBytes;
    JudgeBytes(health, index, kRunVolume, at, length, nullptr);
    AddToSums(sums, workRead + at, length);
    const int owner = clusterOwner[cluster];
    if (owner < 0) {
      clusterOwner[cluster] = index;
    } else if (owner != index) {
      output.problems |= kCrossLinked;
      health->output[owner].problems |= kCrossLinked;
      AddItem(found.crossLinks, Item{-1, cluster, cluster, owner});
      AddItem(findings[owner].crossLinks, Item{-1, cluster, cluster, index});
    }
  }
  FinishSums(sums, output);
  found.chainEnd = chain.End();
  found.chainCluster = chain.End() == ChainEnd::kEndMark ? last : chain.Cluster();
  if (chain.End() != ChainEnd::kSizeReached) {
    output.problems |= kShort;
  }
}

// --- Words ---

struct Words {
  char* text;
  size_t capacity;
  size_t length;
};

void Say(Words& words, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void Say(Words& words, const char* format, ...) {
  if (words.length + 1 >= words.capacity) {
    return;
  }
  va_list arguments;
  va_start(arguments, format);
  const int length =
      vsnprintf(words.text + words.length, words.capacity - words.length, format, arguments);
  va_end(arguments);
  if (length > 0) {
    words.length = std::min(words.length + static_cast<size_t>(length), words.capacity - 1);
  }
}

void SayRange(Words& words, const char* one, const char* many, const Item& item) {
  if (item.first == item.last) {
    Say(words, "%s %d", one, item.first);
  } else {
    Say(words, "%s %d-%d", many, item.first, item.last);
  }
}

void SayMore(Words& words, const ItemList& list) {
  if (list.more > 0) {
    Say(words, ", and %d more", list.more);
  }
}

void SayNotFromDisk(const Findings& found, Words& words) {
  Say(words, "not from the disk:");
  const char* comma = " ";
  for (int i = 0; i < found.unread.count; ++i) {
    const Item& item = found.unread.item[i];
    Say(words, "%sC%d H%d R%d", comma, item.track / 2, item.track % 2, item.first);
    if (item.last != item.first) {
      Say(words, "-%d", item.last);
    }
    Say(words, " %s",
        item.what == static_cast<int>(SectorState::kMissing)
            ? "missing"
            : (item.what == static_cast<int>(SectorState::kShort) ? "short" : "not read"));
    comma = ", ";
  }
  SayMore(words, found.unread);
  for (int i = 0; i < found.rawSlots.count; ++i) {
    Say(words, "%s", comma);
    SayRange(words, "cluster", "clusters", found.rawSlots.item[i]);
    comma = ", ";
  }
  if (found.rawSlots.count > 0) {
    Say(words, " on tracks 3-8, which the volume load does not read");
    SayMore(words, found.rawSlots);
  }
}

void SayBadSectors(const DiskHealth& health, const Findings& found, Words& words) {
  Say(words, "bad sectors:");
  const char* comma = " ";
  for (int i = 0; i < found.bad.count; ++i) {
    const HealthSector& sector = health.sector[found.bad.item[i].first];
    Say(words, "%sC%d H%d R%d (", comma, sector.c, sector.h, sector.r);
    if (sector.status != 0) {
      Say(words, "status 0x%02x%s", sector.status, sector.deleted != 0 ? ", " : "");
    }
    if (sector.deleted != 0) {
      Say(words, "deleted data");
    }
    Say(words, ")");
    comma = ", ";
  }
  SayMore(words, found.bad);
}

void SayShort(const OutputHealth& output, const Findings& found, Words& words) {
  Say(words, "short: ");
  switch (found.chainEnd) {
    case ChainEnd::kEndMark:
      Say(words, "the chain ends at cluster %d", found.chainCluster);
      break;
    case ChainEnd::kLeavesVolume:
      Say(words, "the chain leaves the volume (cluster %d)", found.chainCluster);
      break;
    case ChainEnd::kComesBack:
      Say(words, "the chain comes back to cluster %d", found.chainCluster);
      break;
    case ChainEnd::kSizeReached:
      break;
  }
  Say(words, ", %d of %d bytes", static_cast<int>(output.size),
      static_cast<int>(output.recordedSize));
}

void SayCrossLinks(const DiskHealth& health, const Findings& found, Words& words) {
  Say(words, "shares ");
  for (int i = 0; i < found.crossLinks.count; ++i) {
    const Item& item = found.crossLinks.item[i];
    Say(words, "%s", i > 0 ? ", " : "");
    SayRange(words, "cluster", "clusters", item);
    // The name ends before a ',', ';' or the end, none of which a
    // Shift_JIS lead byte can take as its trail.
    Say(words, " with %s", health.output[item.what].name);
  }
  SayMore(words, found.crossLinks);
}

// The output's problems in words, kind by kind, parted by "; ".
void SayFindings(const DiskHealth& health, int index, Words& words) {
  const OutputHealth& output = health.output[index];
  const Findings& found = findings[index];
  const char* separator = "";
  if (output.problems & kNotFromDisk) {
    SayNotFromDisk(found, words);
    separator = "; ";
  }
  if (output.problems & kBadSector) {
    Say(words, "%s", separator);
    SayBadSectors(health, found, words);
    separator = "; ";
  }
  if (output.problems & kShort) {
    Say(words, "%s", separator);
    SayShort(output, found, words);
    separator = "; ";
  }
  if (output.problems & kCrossLinked) {
    Say(words, "%s", separator);
    SayCrossLinks(health, found, words);
  }
}

// The run's reads, in its order: the signature, the raw areas (each judged
// as it is cut), then the volume load; then the allocation table decoded.
void ReplayReads(D88Image& image, DiskHealth* health) {
  paintingCount = 0;
  memset(workRead, 0, sizeof workRead);
  memset(fatBytesRead, 0, sizeof fatBytesRead);
  memset(rootRead, 0, sizeof rootRead);
  for (int i = 0; i < kReadRunCount; ++i) {
    const ReadRun& read = kReadRuns.run[i];
    RunPlan& plan = plans[i];
    plan = PlanOf(read);
    image.SetSectorRange(read.firstSector, read.lastSector);
    if (IsRawArea(read.purpose)) {
      JudgeRawArea(image, health, read, plan);
    } else if (read.buffer == RunBuffer::kFat) {
      ReplayRun(image, health, plan, fatBytesRead + read.offset, false);
    } else if (read.buffer == RunBuffer::kRootDirectory) {
      ReplayRun(image, health, plan, rootRead + read.offset, false);
    } else {
      ReplayRun(image, health, plan, workRead + plan.base, true);
    }
  }
  DecodeClusterTable(fatBytesRead, table);
}

// The root directory's entries in WalkDirectory's order: each file d88cut
// writes is judged, each folder it lists noted.
void WalkRootDirectory(DiskHealth* health) {
  std::fill(clusterOwner, clusterOwner + kLastCluster + 1, -1);
  for (int index = 0; index < kRootEntries; ++index) {
    const uint8_t* entry = rootRead + index * kDirectoryEntryBytes;
    const EntryKind kind = ClassifyEntry(entry);
    if (kind == EntryKind::kPassedOver) {
      continue;
    }
    if (kind == EntryKind::kEndOfDirectory) {
      break;
    }
    char name[kFileNameBytes];
    BuildFileName(entry, name);
    const DirectoryEntry fields = DecodeEntry(entry);
    if (kind == EntryKind::kListedOnly) {
      if (fields.attributes & kAttributeDirectory) {
        snprintf(health->directoryNames[health->directories++], kFileNameBytes, "%s", name);
      }
      continue;
    }
    if (WrittenOnLinux(name)) {
      JudgeVolumeFile(health, name, fields);
    }
  }
}

}  // namespace

const char* HealthProblemName(int index) {
  static const char* const kNames[kHealthProblemKinds] = {"bad-sector", "cross-linked",
                                                          "not-from-disk", "short"};
  return index >= 0 && index < kHealthProblemKinds ? kNames[index] : "";
}

const char* SectorRoleName(SectorRole role) {
  switch (role) {
    case SectorRole::kUnused:
      return "unused";
    case SectorRole::kSignature:
      return "signature";
    case SectorRole::kMain:
      return "main";
    case SectorRole::kDemo:
      return "demo";
    case SectorRole::kFat:
      return "fat";
    case SectorRole::kDirectory:
      return "directory";
    case SectorRole::kFile:
      return "file";
  }
  return "unused";
}

const char* SectorStateName(SectorState state) {
  switch (state) {
    case SectorState::kOk:
      return "ok";
    case SectorState::kShort:
      return "short";
    case SectorState::kBad:
      return "bad";
    case SectorState::kDeleted:
      return "deleted";
    case SectorState::kMissing:
      return "missing";
    case SectorState::kUnread:
      return "unread";
  }
  return "ok";
}

SectorState StateOfRecord(const uint8_t* header) {
  const int n = header[kRecordSizeCode];
  if (n <= kMaxRunSizeCode && ReadLE16(header + kRecordDataLength) < (128 << n)) {
    return SectorState::kShort;
  }
  if (header[kRecordStatus] != 0) {
    return SectorState::kBad;
  }
  if (header[kRecordDeleted] != 0) {
    return SectorState::kDeleted;
  }
  return SectorState::kOk;
}

void JudgeOutputs(D88Image& image, DiskHealth* health) {
  health->outputs = 0;
  health->sectors = 0;
  memset(sectorSlot, 0, sizeof sectorSlot);
  health->directories = 0;
  // The signature sector is read into zeros, as d88cut's work buffer holds
  // at start-up.
  static uint8_t signature[kSignatureSectorBytes];
  memset(signature, 0, sizeof signature);
  health->recognition = RecogniseImage(image, signature);
  if (health->recognition.verdict != Verdict::kRecognised) {
    return;
  }
  ReplayReads(image, health);
  WalkRootDirectory(health);
  for (int index = 0; index < health->outputs; ++index) {
    OutputHealth& output = health->output[index];
    for (int later = index + 1; later < health->outputs && !output.replaced; ++later) {
      output.replaced = IsSameOutputFile(output.name, health->output[later].name);
    }
    Words words = {output.details, sizeof output.details, 0};
    output.details[0] = '\0';
    SayFindings(*health, index, words);
  }
}
