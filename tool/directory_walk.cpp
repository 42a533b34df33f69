// Lists the root directory and writes its files, following each file's
// cluster chain through the allocation table.
#include "tool/directory_walk.h"

#include <algorithm>
#include <cstring>

#include "d88/d88_image.h"
#include "tool/output.h"
#include "tool/platform.h"
#include "tool/stages.h"
#include "tool/text_output.h"
#include "tool/volume.h"

namespace {

// The listing's name column, in bytes.
constexpr int kListingNameWidth = 12;

// ExtractFile's answer when the walk goes on to the next entry.
constexpr int kNextEntry = -1;

constexpr uint8_t kDeletedEntry = 0xE5;
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

// Writes up to `size` bytes of the chain from `firstCluster`. The file is
// left short where the chain ends at 0xFFF, leaves the clusters held in
// volumeImage or comes back to a cluster it has already written.
// False on a write error.
bool WriteClusterChain(int firstCluster, int32_t size) {
  bool written[kLastCluster + 1] = {};
  int32_t remaining = size;
  int cluster = firstCluster;
  while (remaining > 0) {
    if (cluster < 0 || cluster > kLastCluster || written[cluster]) {
      break;
    }
    written[cluster] = true;
    const int length = std::min(remaining, static_cast<int32_t>(kClusterBytes));
    if (!WriteOutputFile(volumeImage + (cluster + kClusterSlotBias) * kClusterBytes, length)) {
      return false;
    }
    remaining -= length;
    if (clusterTable[cluster] == kChainEnd) {
      break;
    }
    cluster = clusterTable[cluster];
  }
  return true;
}

void SetFileTime(const char* name, time_t recorded) {
  if (recorded != static_cast<time_t>(-1)) {
    SetNamedFileTimes(name, recorded);
  }
}

// Writes one file after its listing line. Returns kNextEntry, or the exit
// status to end the walk with.
int ExtractFile(const char* name, const DirectoryEntry& entry, time_t recorded) {
  if (!IsSafeFileName(name)) {
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
  if (opened == OutputOpen::kFailed || !WriteClusterChain(entry.firstCluster, entry.size) ||
      !WriteOutOutputFile()) {
    ReportWriteFailure();
    return 1;
  }
  PrintText(stdout, "\n");
  if (!CloseOutputFile()) {
    ReportWriteFailure();
    return 1;
  }
  SetFileTime(name, recorded);
  return kNextEntry;
}

}  // namespace

DirectoryEntry DecodeEntry(const uint8_t* entry) {
  DirectoryEntry decoded;
  decoded.attributes = entry[11];
  const int time = ReadLE16(entry + 22);
  decoded.hour = time >> 11;
  decoded.minute = (time >> 5) & 0x3F;
  decoded.second = (time & 0x1F) * 2;
  const int date = ReadLE16(entry + 24);
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
  if (entry[8] != ' ') {
    name[length++] = '.';
  }
  for (int i = 8; i < 11 && entry[i] != ' '; ++i) {
    name[length++] = static_cast<char>(entry[i]);
  }
  name[length] = '\0';
}

bool IsSafeFileName(const char* name) {
  return IsPlainFileName(name);
}

time_t RecordedTime(const DirectoryEntry& entry) {
  struct tm local = {};
  local.tm_sec = entry.second;
  local.tm_min = entry.minute;
  local.tm_hour = entry.hour;
  local.tm_mday = entry.day;
  local.tm_mon = entry.month - 1;
  local.tm_year = entry.year - 1900;
  local.tm_isdst = -1;  // summer time as the local zone has it on that date
  return mktime(&local);
}

void PrintListingLine(FILE* out, const char* name, const DirectoryEntry& entry) {
  PrintDiskName(out, name, kListingNameWidth);
  char flags[sizeof "A D V S H R   "] = "";
  for (const Flag& flag : kFlags) {
    if (entry.attributes & flag.bit) {
      strcat(flags, flag.text);
    }
  }
  PrintFormatted(out, " %8d %04d/%02d/%02d %02d:%02d:%02d %s   ", static_cast<int>(entry.size),
                 entry.year, entry.month, entry.day, entry.hour, entry.minute, entry.second, flags);
}

int WalkDirectory() {
  for (int index = 0; index < kRootEntries; ++index) {
    const uint8_t* entry = rootDirectory + index * kDirectoryEntryBytes;
    if (memcmp(entry, kHiddenEntryName, 11) == 0 || entry[0] == kDeletedEntry) {
      continue;
    }
    if (entry[0] == kEndOfDirectory) {
      return 0;
    }
    char name[kFileNameBytes];
    BuildFileName(entry, name);
    const DirectoryEntry fields = DecodeEntry(entry);
    // Converted for every listed entry, in directory order: the answer for
    // an hour that summer time repeats can depend on the previous call.
    const time_t recorded = RecordedTime(fields);
    PrintListingLine(stdout, name, fields);
    if (fields.attributes & (kAttributeVolumeLabel | kAttributeDirectory)) {
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
