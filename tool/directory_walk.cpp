// Lists the root directory and writes its files, following each file's
// cluster chain through the allocation table.
#include "tool/directory_walk.h"

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
// here: printf's general machinery costs a fifth of a whole run.
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
