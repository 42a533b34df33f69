// Decodes the volume's allocation table and directory entries, and follows
// a file's cluster chain.
#include "common/volume_decoding.h"

#include <algorithm>
#include <cstring>

#include "d88/d88_image.h"

namespace {

constexpr uint8_t kDeletedEntry = 0xE5;
// A name whose first byte really is 0xE5, such as a Shift_JIS name whose
// first character has that lead byte, is recorded with 0x05 in its place.
constexpr uint8_t kDeletedByteStandIn = 0x05;
constexpr uint8_t kEndOfDirectory = 0x00;
// This entry is never listed or written.
constexpr char kHiddenEntryName[] = "PAT     COM";

}  // namespace

void DecodeClusterTable(const uint8_t* fat, uint16_t* table) {
  // Two 12-bit entries in every three bytes: the low byte and low nibble of
  // the middle byte for the first, the high nibble and the last byte for the
  // second.
  for (int group = 0; group < kFatGroups; ++group) {
    const uint8_t* bytes = fat + 3 * group;
    table[2 * group] = static_cast<uint16_t>(((bytes[1] & 0x0F) << 8) | bytes[0]);
    table[2 * group + 1] = static_cast<uint16_t>((bytes[2] << 4) | (bytes[1] >> 4));
  }
}

EntryKind ClassifyEntry(const uint8_t* entry) {
  if (memcmp(entry, kHiddenEntryName, 11) == 0 || entry[0] == kDeletedEntry) {
    return EntryKind::kPassedOver;
  }
  if (entry[0] == kEndOfDirectory) {
    return EntryKind::kEndOfDirectory;
  }
  if (entry[11] & (kAttributeVolumeLabel | kAttributeDirectory)) {
    return EntryKind::kListedOnly;
  }
  return EntryKind::kFile;
}

ClusterChain::ClusterChain(const uint16_t* table, int firstCluster, int32_t size)
    : table(table),
      cluster(firstCluster),
      remaining(size),
      ended(false),
      end(ChainEnd::kSizeReached),
      taken() {}

bool ClusterChain::Next(int* next, int* length) {
  if (ended || remaining <= 0) {
    ended = true;
    return false;
  }
  if (cluster < 0 || cluster > kLastCluster || taken[cluster]) {
    ended = true;
    end = cluster < 0 || cluster > kLastCluster ? ChainEnd::kLeavesVolume : ChainEnd::kComesBack;
    return false;
  }
  taken[cluster] = true;
  *next = cluster;
  *length = std::min(remaining, static_cast<int32_t>(kClusterBytes));
  remaining -= *length;
  if (table[cluster] == kChainEnd) {
    ended = true;
    if (remaining > 0) {
      end = ChainEnd::kEndMark;
    }
  } else {
    cluster = table[cluster];
  }
  return true;
}

DirectoryEntry DecodeEntry(const uint8_t* entry) {
  DirectoryEntry decoded;
  decoded.attributes = entry[11];
  decoded.recorded = DosDateTime{ReadLE16(entry + 22), ReadLE16(entry + 24)};
  const int time = decoded.recorded.time;
  decoded.hour = time >> 11;
  decoded.minute = (time >> 5) & 0x3F;
  decoded.second = (time & 0x1F) * 2;
  const int date = decoded.recorded.date;
  decoded.year = (date >> 9) + 1980;
  decoded.month = (date >> 5) & 0x0F;
  decoded.day = date & 0x1F;
  const int cluster = ReadLE16(entry + 26);
  decoded.firstCluster = cluster >= 0x8000 ? cluster - 0x10000 : cluster;
  decoded.size = ReadLE32(entry + 28);
  return decoded;
}

void BuildFileName(const uint8_t* entry, char name[kFileNameBytes]) {
  int length = 0;
  for (int i = 0; i < 8 && entry[i] != ' '; ++i) {
    name[length++] = static_cast<char>(entry[i]);
  }
  if (entry[0] == kDeletedByteStandIn) {
    name[0] = static_cast<char>(kDeletedEntry);
  }
  if (entry[8] != ' ') {
    name[length++] = '.';
  }
  for (int i = 8; i < 11 && entry[i] != ' '; ++i) {
    name[length++] = static_cast<char>(entry[i]);
  }
  name[length] = '\0';
}
