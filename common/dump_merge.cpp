#include "common/dump_merge.h"

#include <algorithm>
#include <cstring>

namespace {

// Offsets of at least this much leave room for a header of 164 offsets.
constexpr int kFullHeader = kDiskHeaderSize;
// The disk header bytes taken from the first dump as they are: everything
// before the size field.
constexpr int kKeptHeaderBytes = kDiskSizeOffset;
// A good copy's length, 128 << N, fits the 16-bit length field up to N8.
constexpr int kLargestGoodSizeCode = 8;

// One dump and its current disk.
struct Dump {
  D88Image* image;
  int64_t fileSize;
  bool takesPart;     // its disk of the current index is there and plausible
  int64_t diskEnd;    // file offset where its current disk ends
  bool upperEntries;  // whether entries 160-163 of its header can name tracks
};

// One dump's copy of a sector: the first record of its key in that dump's
// walk.
struct Copy {
  int dump;
  int64_t at;    // file offset of the record's header
  int32_t held;  // the data bytes of it that lie in the disk and the file
  bool good;
};

// A sector key of the track being merged, in the order the merged track
// first holds it.
struct Key {
  uint32_t id;  // C, H, R, N, a byte each
  Copy chosen;  // the first good copy in dump order, else the first copy
  uint32_t goodIn;
  bool conflict;
  int lastDump;  // the last dump whose walk held it, to tell shadowed records
};

// One record of the walk the merged track starts from.
struct BaseRecord {
  int64_t at;
  int32_t held;
  int key;
  bool firstOfKey;
};

Dump dumps[kMaxDumps];
int dumpCount;

Key keys[kMaxMergedRecords];
int keyCount;
BaseRecord baseRecords[kMaxMergedRecords];
int baseCount;

// Keys by id: open addressing over a table twice the most keys a track may
// have, so that a probe always ends. Only the slots in use are cleared.
constexpr uint32_t kSlots = 1u << 17;
int32_t slots[kSlots];
uint32_t usedSlots[kMaxMergedRecords];
bool slotsReady;

// A record read or written whole: its header and its data.
uint8_t recordBytes[kRecordHeaderSize + 0xFFFF];
// Two good copies' data, to compare.
uint8_t firstData[128 << kLargestGoodSizeCode];
uint8_t otherData[128 << kLargestGoodSizeCode];

uint32_t SlotOf(uint32_t id) {
  // A multiplicative hash: IDs differ mostly in their low bytes.
  return (id * 2654435761u) >> (32 - 17);
}

// The index of key `id`, or -1 if the track has none yet.
int FindKey(uint32_t id) {
  for (uint32_t slot = SlotOf(id);; slot = (slot + 1) & (kSlots - 1)) {
    const int32_t index = slots[slot];
    if (index < 0) {
      return -1;
    }
    if (keys[index].id == id) {
      return index;
    }
  }
}

// Adds key `id`, which the track does not have yet, and returns its index;
// -1 when the track has as many keys as a merged track may hold.
int AddKey(uint32_t id) {
  if (keyCount == kMaxMergedRecords) {
    return -1;
  }
  uint32_t slot = SlotOf(id);
  while (slots[slot] >= 0) {
    slot = (slot + 1) & (kSlots - 1);
  }
  slots[slot] = keyCount;
  usedSlots[keyCount] = slot;
  Key& key = keys[keyCount];
  key = Key{};
  key.id = id;
  key.chosen.dump = -1;
  key.lastDump = -1;
  return keyCount++;
}

void ForgetKeys() {
  if (!slotsReady) {
    std::fill(slots, slots + kSlots, -1);
    slotsReady = true;
  }
  for (int i = 0; i < keyCount; ++i) {
    slots[usedSlots[i]] = -1;
  }
  keyCount = 0;
  baseCount = 0;
}

uint32_t IdOf(const uint8_t* header) {
  return (static_cast<uint32_t>(header[kRecordCylinder]) << 24) |
         (static_cast<uint32_t>(header[kRecordHead]) << 16) |
         (static_cast<uint32_t>(header[kRecordSector]) << 8) | header[kRecordSizeCode];
}

bool IsGood(const uint8_t* header, int32_t held) {
  const int n = header[kRecordSizeCode];
  if (header[kRecordStatus] != 0 || header[kRecordDeleted] != 0 || n > kLargestGoodSizeCode) {
    return false;
  }
  const int size = 128 << n;
  return ReadLE16(header + kRecordDataLength) == size && held == size;
}

// A track's walk in one dump: the records a sector read visits, kept
// within the disk and the file.
struct Walk {
  const Dump* dump;
  RecordWalk records;
  int64_t end;  // the disk's end or the file's, whichever comes first

  // The next record: its header, its file offset and the data bytes of it
  // that lie before `end`. False once the walk has ended.
  bool Next(uint8_t* header, int64_t* at, int32_t* held) {
    if (records.ended || records.next + kRecordHeaderSize > end) {
      records.ended = true;
      return false;
    }
    if (!dump->image->NextRecord(&records, header, at)) {
      return false;
    }
    const int64_t dataAt = *at + kRecordHeaderSize;
    const int64_t length = ReadLE16(header + kRecordDataLength);
    *held = static_cast<int32_t>(std::max<int64_t>(0, std::min(length, end - dataAt)));
    return true;
  }
};

// Whether the current disk of `dump` names `track`, and if so the start of
// its walk.
bool StartWalk(const Dump& dump, int track, Walk* walk) {
  const D88Image& image = *dump.image;
  const int32_t offset = image.TrackOffset(track);
  if (offset < kSmallestHeader || offset >= image.DiskSize()) {
    return false;
  }
  if (track >= kSmallestHeaderTracks && !dump.upperEntries) {
    return false;
  }
  walk->dump = &dump;
  walk->end = std::min(dump.diskEnd, dump.fileSize);
  return image.StartRecordWalk(track, &walk->records);
}

// Whether entries 160-163 of the current disk's header can name tracks: the
// lowest non-zero offset of entries 0-159 leaves room for them, or there is
// none.
bool HasUpperEntries(const D88Image& image) {
  uint32_t lowest = 0;
  for (int track = 0; track < kSmallestHeaderTracks; ++track) {
    const uint32_t offset = static_cast<uint32_t>(image.TrackOffset(track));
    if (offset != 0 && (lowest == 0 || offset < lowest)) {
      lowest = offset;
    }
  }
  return lowest == 0 || lowest >= static_cast<uint32_t>(kFullHeader);
}

// How reading a dump went, and which dump the last read that did not go
// well was of.
enum class Read { kOk, kFailed, kShort };
int unreadDump;

// Reads `length` bytes of `copy`'s dump from `at`.
Read ReadExactly(const Copy& copy, int64_t at, uint8_t* out, int length) {
  D88Image& image = *dumps[copy.dump].image;
  const int got = image.ReadBytes(at, out, length);
  const Read read = image.ReadFailed() ? Read::kFailed : got == length ? Read::kOk : Read::kShort;
  if (read != Read::kOk) {
    unreadDump = copy.dump;
  }
  return read;
}

// Whether two good copies hold the same bytes.
Read SameData(const Copy& a, const Copy& b, bool* same) {
  *same = a.held == b.held;
  if (!*same) {
    return Read::kOk;
  }
  Read read = ReadExactly(a, a.at + kRecordHeaderSize, firstData, a.held);
  if (read == Read::kOk) {
    read = ReadExactly(b, b.at + kRecordHeaderSize, otherData, b.held);
  }
  *same = read == Read::kOk && memcmp(firstData, otherData, static_cast<size_t>(a.held)) == 0;
  return read;
}

MergeResult Ended(MergeEnd end, int dump, int disk, int track) {
  MergeResult result = {};
  result.end = end;
  result.dump = dump;
  result.disk = disk;
  result.track = track;
  return result;
}

// The end of a merge at a read that did not go well.
MergeResult ReadEnd(Read read, int disk, int track) {
  return Ended(read == Read::kFailed ? MergeEnd::kReadFailed : MergeEnd::kDumpChanged, unreadDump,
               disk, track);
}

// Takes the walk of `track` in dump `d` into the track's keys, and when it
// is the first walk that holds records, into the base records too. Sets
// `*holds` when the walk held a record.
MergeResult TakeWalk(int d, int disk, int track, bool isBase, bool* holds) {
  *holds = false;
  Walk walk;
  if (!StartWalk(dumps[d], track, &walk)) {
    return Ended(MergeEnd::kMerged, d, disk, track);
  }
  uint8_t header[kRecordHeaderSize];
  int64_t at = 0;
  int32_t held = 0;
  while (walk.Next(header, &at, &held)) {
    *holds = true;
    const uint32_t id = IdOf(header);
    int index = FindKey(id);
    if (index < 0) {
      index = AddKey(id);
      if (index < 0) {
        return Ended(MergeEnd::kTooManyRecords, d, disk, track);
      }
    }
    Key& key = keys[index];
    const bool first = key.lastDump != d;
    if (isBase) {
      if (baseCount == kMaxMergedRecords) {
        return Ended(MergeEnd::kTooManyRecords, d, disk, track);
      }
      baseRecords[baseCount++] = BaseRecord{at, held, index, first};
    }
    if (!first) {
      continue;  // shadowed: a sector read never finds it
    }
    key.lastDump = d;
    const Copy copy = {d, at, held, IsGood(header, held)};
    if (key.chosen.dump < 0 || (copy.good && !key.chosen.good)) {
      key.chosen = copy;
    } else if (copy.good && !key.conflict) {
      bool same = false;
      const Read read = SameData(key.chosen, copy, &same);
      if (read != Read::kOk) {
        return ReadEnd(read, disk, track);
      }
      key.conflict = !same;
    }
    if (copy.good) {
      key.goodIn |= 1u << d;
    }
  }
  if (dumps[d].image->ReadFailed()) {
    return Ended(MergeEnd::kReadFailed, d, disk, track);
  }
  return Ended(MergeEnd::kMerged, d, disk, track);
}

// Writes one record of the merged track: the header of `source` with the
// track's count and the bytes it holds, then those bytes.
MergeResult WriteRecord(const Copy& source, int records, int64_t offset, const MergeSink& sink,
                        int disk, int track) {
  const int length = kRecordHeaderSize + source.held;
  const Read read = ReadExactly(source, source.at, recordBytes, length);
  if (read != Read::kOk) {
    return ReadEnd(read, disk, track);
  }
  recordBytes[kRecordCount] = static_cast<uint8_t>(records & 0xFF);
  recordBytes[kRecordCount + 1] = static_cast<uint8_t>(records >> 8);
  recordBytes[kRecordDataLength] = static_cast<uint8_t>(source.held & 0xFF);
  recordBytes[kRecordDataLength + 1] = static_cast<uint8_t>(source.held >> 8);
  if (!sink.write(sink.context, offset, recordBytes, static_cast<size_t>(length))) {
    return Ended(MergeEnd::kWriteFailed, source.dump, disk, track);
  }
  return Ended(MergeEnd::kMerged, source.dump, disk, track);
}

// The copy the merged track holds for base record `i`.
Copy CopyOfBaseRecord(int base, int i) {
  const BaseRecord& record = baseRecords[i];
  if (record.firstOfKey) {
    return keys[record.key].chosen;
  }
  return Copy{base, record.at, record.held, false};
}

// Merges `track` of disk `disk`, which starts at `diskStart` and has
// `*diskBytes` bytes so far, and writes it after them. `*trackOffset` gets
// its offset from the disk's start, 0 when no dump has the track.
MergeResult MergeTrack(int disk, int track, int64_t diskStart, int64_t* diskBytes,
                       int32_t* trackOffset, MergedDisk* counts, const MergeSink& sink) {
  ForgetKeys();
  *trackOffset = 0;
  int base = -1;
  int baseKeys = 0;
  for (int d = 0; d < dumpCount; ++d) {
    if (!dumps[d].takesPart) {
      continue;
    }
    bool holds = false;
    const MergeResult walked = TakeWalk(d, disk, track, base < 0, &holds);
    if (walked.end != MergeEnd::kMerged) {
      return walked;
    }
    if (base < 0) {
      if (holds) {
        base = d;
        baseKeys = keyCount;
      } else {
        baseCount = 0;
      }
    }
  }
  if (base < 0) {
    return Ended(MergeEnd::kMerged, base, disk, track);
  }
  const int records = baseCount + (keyCount - baseKeys);
  if (records > kMaxMergedRecords) {
    return Ended(MergeEnd::kTooManyRecords, base, disk, track);
  }
  int64_t trackBytes = 0;
  for (int i = 0; i < baseCount; ++i) {
    trackBytes += kRecordHeaderSize + CopyOfBaseRecord(base, i).held;
  }
  for (int k = baseKeys; k < keyCount; ++k) {
    trackBytes += kRecordHeaderSize + keys[k].chosen.held;
  }
  if (diskStart + *diskBytes + trackBytes > kMaxMergedImageBytes) {
    return Ended(MergeEnd::kTooLarge, base, disk, track);
  }

  counts->sectors += keyCount;
  for (int k = 0; k < keyCount; ++k) {
    const Key& key = keys[k];
    MergedSector sector = {};
    sector.disk = disk;
    sector.track = track;
    sector.c = static_cast<uint8_t>(key.id >> 24);
    sector.h = static_cast<uint8_t>(key.id >> 16);
    sector.r = static_cast<uint8_t>(key.id >> 8);
    sector.n = static_cast<uint8_t>(key.id);
    sector.from = key.chosen.dump;
    sector.recovered = key.chosen.good && key.chosen.dump != 0;
    sector.conflict = key.conflict;
    sector.unrecovered = !key.chosen.good;
    sector.goodIn = key.goodIn;
    if (sector.recovered || sector.conflict || sector.unrecovered) {
      counts->recovered += sector.recovered ? 1 : 0;
      counts->conflicts += sector.conflict ? 1 : 0;
      counts->unrecovered += sector.unrecovered ? 1 : 0;
      sink.sector(sink.context, sector);
    }
  }

  *trackOffset = static_cast<int32_t>(*diskBytes);
  int64_t offset = diskStart + *diskBytes;
  for (int i = 0; i < baseCount + (keyCount - baseKeys); ++i) {
    const Copy copy =
        i < baseCount ? CopyOfBaseRecord(base, i) : keys[baseKeys + i - baseCount].chosen;
    const MergeResult written = WriteRecord(copy, records, offset, sink, disk, track);
    if (written.end != MergeEnd::kMerged) {
      return written;
    }
    offset += kRecordHeaderSize + copy.held;
  }
  *diskBytes += trackBytes;
  return Ended(MergeEnd::kMerged, base, disk, track);
}

void PutLE32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  at[2] = static_cast<uint8_t>(value >> 16);
  at[3] = static_cast<uint8_t>(value >> 24);
}

// Makes disk `disk` of every dump current, and notes which take part.
// False when a read fails (`*failed` is then the dump) or the first dump's
// disk is not there or not plausible.
bool SelectDisks(int disk, int* failed) {
  *failed = -1;
  for (int d = 0; d < dumpCount; ++d) {
    Dump& dump = dumps[d];
    D88Image& image = *dump.image;
    uint32_t value = 0;
    dump.takesPart = disk < image.DiskCount() && image.SelectDisk(disk) &&
                     CheckDiskHeader(image, &value) == HeaderFault::kNone;
    if (image.ReadFailed()) {
      *failed = d;
      return false;
    }
    if (d == 0 && !dump.takesPart) {
      return false;
    }
    dump.diskEnd = static_cast<int64_t>(image.DiskBase()) + image.DiskSize();
    dump.upperEntries = HasUpperEntries(image);
  }
  return true;
}

MergeResult MergeDisk(int disk, int64_t diskStart, int64_t* diskBytes, const MergeSink& sink) {
  uint8_t header[kDiskHeaderSize] = {};
  const D88Image& first = *dumps[0].image;
  const Read read = ReadExactly(Copy{0, 0, 0, false}, first.DiskBase(), header, kKeptHeaderBytes);
  if (read != Read::kOk) {
    return ReadEnd(read, disk, 0);
  }
  if (diskStart + kDiskHeaderSize > kMaxMergedImageBytes) {
    return Ended(MergeEnd::kTooLarge, 0, disk, 0);
  }
  MergedDisk counts = {};
  counts.disk = disk;
  *diskBytes = kDiskHeaderSize;
  for (int track = 0; track < kMaxTracks; ++track) {
    int32_t offset = 0;
    const MergeResult merged =
        MergeTrack(disk, track, diskStart, diskBytes, &offset, &counts, sink);
    if (merged.end != MergeEnd::kMerged) {
      return merged;
    }
    PutLE32(header + kTrackTableOffset + 4 * track, static_cast<uint32_t>(offset));
  }
  PutLE32(header + kDiskSizeOffset, static_cast<uint32_t>(*diskBytes));
  if (!sink.write(sink.context, diskStart, header, sizeof header)) {
    return Ended(MergeEnd::kWriteFailed, 0, disk, 0);
  }
  counts.bytes = *diskBytes;
  sink.disk(sink.context, counts);
  return Ended(MergeEnd::kMerged, 0, disk, 0);
}

}  // namespace

MergeResult MergeDumps(D88Image* const* images, const int64_t* sizes, int count,
                       const MergeSink& sink) {
  dumpCount = std::min(count, kMaxDumps);
  ForgetKeys();
  for (int d = 0; d < dumpCount; ++d) {
    dumps[d] = Dump{images[d], sizes[d], false, 0, false};
    D88Image& image = *images[d];
    MergeResult result = Ended(MergeEnd::kNotD88, d, 0, 0);
    if (image.DiskCount() == 0) {
      result.fault = HeaderFault::kShorterThanHeader;
      return result;
    }
    image.SelectDisk(0);
    result.fault = CheckDiskHeader(image, &result.faultValue);
    if (image.ReadFailed()) {
      return Ended(MergeEnd::kReadFailed, d, 0, 0);
    }
    if (result.fault != HeaderFault::kNone) {
      return result;
    }
  }

  int64_t total = 0;
  int disk = 0;
  for (; disk < kMaxDisks; ++disk) {
    int failed = -1;
    if (!SelectDisks(disk, &failed)) {
      if (failed >= 0) {
        return Ended(MergeEnd::kReadFailed, failed, disk, 0);
      }
      break;
    }
    int64_t diskBytes = 0;
    MergeResult merged = MergeDisk(disk, total, &diskBytes, sink);
    if (merged.end != MergeEnd::kMerged) {
      merged.disks = disk;
      merged.bytes = total;
      return merged;
    }
    total += diskBytes;
  }
  MergeResult result = Ended(MergeEnd::kMerged, 0, disk, 0);
  result.disks = disk;
  result.bytes = total;
  return result;
}
