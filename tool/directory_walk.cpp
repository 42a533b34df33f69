// Lists the root directory and writes its files, following each file's
// cluster chain through the allocation table.
#include "tool/directory_walk.h"

#include <algorithm>
#include <cstring>

#include "common/text_output.h"
#include "d88/d88_image.h"
#include "platform/platform.h"
#include "tool/output.h"
#include "tool/stages.h"
#include "tool/volume.h"

namespace {

// The listing's name column, in bytes.
constexpr int kListingNameWidth = 12;

// ExtractFile's answer when the walk goes on to the next entry.
constexpr int kNextEntry = -1;

constexpr uint8_t kDeletedEntry = 0xE5;
// A name whose first byte really is 0xE5, such as a Shift_JIS name whose
// first character has that lead byte, is recorded with 0x05 in its place.
constexpr uint8_t kDeletedByteStandIn = 0x05;
constexpr uint8_t kEndOfDirectory = 0x00;
// This entry is never listed or written.
constexpr char kHiddenEntryName[] = "PAT     COM";

struct Flag {
  uint8_t bit;
  const char* text;
};
constexpr Flag kFlags[] = {
    {kAttributeArchive, "A "}, {kAttributeDirectory, "D "}, {kAttributeVolumeLabel, "V "},
    {kAttributeSystem, "S "},  {kAttributeHidden, "H "},    {kAttributeReadOnly, "R"},
};

// Writes up to `size` bytes of the chain from `firstCluster`, short where
// the chain ends first. Clusters that follow each other in volumeImage go
// out in one write. False on a write error.
bool WriteClusterChain(int firstCluster, int32_t size) {
  ClusterChain chain(clusterTable, firstCluster, size);
  const uint8_t* run = nullptr;
  int runLength = 0;
  int cluster = 0;
  int length = 0;
  while (chain.Next(&cluster, &length)) {
    const uint8_t* data = volumeImage + (cluster + kClusterSlotBias) * kClusterBytes;
    if (data != run + runLength) {
      if (!WriteOutputFile(run, runLength)) {
        return false;
      }
      run = data;
      runLength = 0;
    }
    runLength += length;
  }
  return WriteOutputFile(run, runLength);
}

// Appends `value` in decimal as printf's "%*d" does, right-aligned in
// `width` columns; with `pad` '0' as "%0*d". The listing's fields are formatted
// here: printf's general machinery was a fifth of a whole run's work.
char* AppendDecimal(char* at, int32_t value, int width, char pad) {
  char digits[12];
  int count = 0;
  // Counted in the negative range, which holds every int32_t.
  int32_t rest = value < 0 ? value : -value;
  do {
    digits[count++] = static_cast<char>('0' - rest % 10);
    rest /= 10;
  } while (rest != 0);
  const int length = count + (value < 0 ? 1 : 0);
  if (value < 0 && pad == '0') {
    *at++ = '-';
  }
  for (int i = length; i < width; ++i) {
    *at++ = pad;
  }
  if (value < 0 && pad != '0') {
    *at++ = '-';
  }
  while (count > 0) {
    *at++ = digits[--count];
  }
  return at;
}

// Writes one file after its listing line. Returns kNextEntry, or the exit
// status to end the walk with.
int ExtractFile(const char* name, const DirectoryEntry& entry, const FileTime& recorded) {
  if (!IsPlainFileName(name)) {
    PrintText(stdout, "\n");
    ReportUnsafeName(name);
    return kNextEntry;
  }
  const OutputOpen opened = OpenOutputFile(name);
  if (opened == OutputOpen::kIsImage) {
    PrintText(stdout, "\n");
    ReportImageInTheWay(name);
    return kNextEntry;
  }
  if (opened == OutputOpen::kFailed || !WriteClusterChain(entry.firstCluster, entry.size)) {
    ReportWriteFailure(name);
    return 1;
  }
  PrintText(stdout, "\n");
  SetOutputFileTimes(recorded);
  if (!CloseOutputFile()) {
    ReportWriteFailure(name);
    return 1;
  }
  return kNextEntry;
}

}  // namespace

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

void PrintListingLine(FILE* out, const char* name, const DirectoryEntry& entry) {
  PrintDiskName(out, name, kListingNameWidth);
  // " %8d %04d/%02d/%02d %02d:%02d:%02d ", the flags, then three spaces.
  char line[64];
  char* at = line;
  *at++ = ' ';
  at = AppendDecimal(at, entry.size, 8, ' ');
  *at++ = ' ';
  at = AppendDecimal(at, entry.year, 4, '0');
  *at++ = '/';
  at = AppendDecimal(at, entry.month, 2, '0');
  *at++ = '/';
  at = AppendDecimal(at, entry.day, 2, '0');
  *at++ = ' ';
  at = AppendDecimal(at, entry.hour, 2, '0');
  *at++ = ':';
  at = AppendDecimal(at, entry.minute, 2, '0');
  *at++ = ':';
  at = AppendDecimal(at, entry.second, 2, '0');
  *at++ = ' ';
  for (const Flag& flag : kFlags) {
    if (entry.attributes & flag.bit) {
      for (const char* text = flag.text; *text != '\0'; ++text) {
        *at++ = *text;
      }
    }
  }
  memcpy(at, "   ", 4);
  PrintText(out, line);
}

int WalkDirectory() {
  for (int index = 0; index < kRootEntries; ++index) {
    const uint8_t* entry = rootDirectory + index * kDirectoryEntryBytes;
    const EntryKind kind = ClassifyEntry(entry);
    if (kind == EntryKind::kPassedOver) {
      continue;
    }
    if (kind == EntryKind::kEndOfDirectory) {
      return 0;
    }
    char name[kFileNameBytes];
    BuildFileName(entry, name);
    const DirectoryEntry fields = DecodeEntry(entry);
    // Converted for every listed entry, in directory order: the answer for
    // an hour that summer time repeats can depend on the previous call.
    const FileTime recorded = ConvertRecordedTime(fields.recorded);
    PrintListingLine(stdout, name, fields);
    if (kind == EntryKind::kListedOnly) {
      PrintText(stdout, "\n");
      continue;
    }
    const int status = ExtractFile(name, fields, recorded);
    if (status != kNextEntry) {
      return status;
    }
  }
  return 0;
}
