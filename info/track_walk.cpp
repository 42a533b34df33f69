#include "info/track_walk.h"

#include <algorithm>

namespace {

TrackPlace PlaceOf(int32_t offset, int32_t diskSize) {
  if (offset == 0) {
    return TrackPlace::kAbsent;
  }
  if (offset < 0 || offset > diskSize) {
    return TrackPlace::kOutside;
  }
  return offset < kDiskHeaderSize ? TrackPlace::kInHeader : TrackPlace::kInside;
}

TrackRecord RecordOf(const uint8_t* header) {
  TrackRecord record;
  record.c = header[kRecordCylinder];
  record.h = header[kRecordHead];
  record.r = header[kRecordSector];
  record.n = header[kRecordSizeCode];
  record.density = header[kRecordDensity];
  record.deleted = header[kRecordDeleted];
  record.status = header[kRecordStatus];
  record.length = ReadLE16(header + kRecordDataLength);
  return record;
}

}  // namespace

TrackWalk WalkTrack(D88Image& image, int track, int64_t imageSize, TrackRecord* records,
                    int maxRecords) {
  TrackWalk result = {};
  result.offset = image.TrackOffset(track);
  result.place = PlaceOf(result.offset, image.DiskSize());
  result.ended = WalkEnd::kCounts;
  RecordWalk walk;
  if (!image.StartRecordWalk(track, &walk)) {
    return result;
  }
  result.start = walk.next;
  result.end = walk.next;
  if (walk.next >= imageSize) {
    result.place = TrackPlace::kPastImage;
    return result;
  }
  const int64_t diskEnd = static_cast<int64_t>(image.DiskBase()) + image.DiskSize();
  uint8_t header[kRecordHeaderSize];
  int64_t at = 0;
  while (!walk.ended) {
    if (result.records >= maxRecords || result.records == kMaxTrackRecords) {
      result.ended = WalkEnd::kRecordLimit;
      return result;
    }
    if (walk.next >= diskEnd) {
      result.ended = WalkEnd::kDiskEnd;
      return result;
    }
    if (!image.NextRecord(&walk, header, &at)) {
      // A count of 0 ends the walk with a whole header in the file.
      if (walk.next + kRecordHeaderSize > imageSize) {
        result.ended = WalkEnd::kImageEnd;
      }
      return result;
    }
    const TrackRecord record = RecordOf(header);
    const int64_t recordEnd = at + kRecordHeaderSize + record.length;
    if (recordEnd > diskEnd) {
      result.ended = WalkEnd::kDiskEnd;
      result.pastRecordFound = true;
      result.past = record;
      return result;
    }
    records[result.records++] = record;
    result.end = recordEnd;
    if (recordEnd > imageSize) {
      result.ended = WalkEnd::kImageEnd;
      result.cutShortBy = recordEnd - imageSize;
      return result;
    }
  }
  return result;
}

void DescribeLayout(const TrackRecord* records, int count, TrackLayout* layout) {
  layout->records = count;
  layout->ranges = 0;
  layout->tooIrregular = false;
  for (int i = 0; i < count; ++i) {
    const TrackRecord& record = records[i];
    if (layout->ranges > 0) {
      SectorRange& last = layout->range[layout->ranges - 1];
      if (last.n == record.n && last.density == record.density && last.lastR != 0xFF &&
          record.r == last.lastR + 1) {
        last.lastR = record.r;
        continue;
      }
    }
    if (layout->ranges == kMaxLayoutRanges) {
      layout->tooIrregular = true;
      return;
    }
    layout->range[layout->ranges++] = {record.r, record.r, record.n, record.density};
  }
}

bool SameLayout(const TrackLayout& a, const TrackLayout& b) {
  if (a.tooIrregular || b.tooIrregular || a.records != b.records || a.ranges != b.ranges) {
    return false;
  }
  for (int i = 0; i < a.ranges; ++i) {
    const SectorRange& x = a.range[i];
    const SectorRange& y = b.range[i];
    if (x.firstR != y.firstR || x.lastR != y.lastR || x.n != y.n || x.density != y.density) {
      return false;
    }
  }
  return true;
}

uint32_t SortKey(const TrackRecord& record) {
  return (static_cast<uint32_t>(record.c) << 24) | (static_cast<uint32_t>(record.h) << 16) |
         (static_cast<uint32_t>(record.n) << 8) | record.r;
}

void SortedKeys(const TrackRecord* records, int count, uint32_t* keys) {
  for (int i = 0; i < count; ++i) {
    keys[i] = SortKey(records[i]);
  }
  std::sort(keys, keys + count);
}
