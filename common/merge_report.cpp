#include "common/merge_report.h"

#include <cinttypes>
#include <cstdio>

#include "common/recognition.h"
#include "common/text_output.h"

namespace {

const char* Plural(int64_t count, const char* one, const char* many) {
  return count == 1 ? one : many;
}

// "1, 3": the dumps whose bits are set, numbered from 1.
void DumpList(uint32_t dumpsHolding, char* text, size_t capacity) {
  size_t used = 0;
  text[0] = '\0';
  for (int d = 0; d < kMaxDumps && used < capacity; ++d) {
    if (dumpsHolding & (1u << d)) {
      const int length =
          snprintf(text + used, capacity - used, "%s%d", used == 0 ? "" : ", ", d + 1);
      if (length > 0) {
        used += static_cast<size_t>(length);
      }
    }
  }
}

void PrintPathMessage(const char* format, const char* path, const char* text) {
  char shown[4096];
  PrintLocalFormatted(stderr, format, PathAsShown(stderr, path, shown, sizeof shown), text);
}

}  // namespace

void PrintMergedSector(const MergedSector& sector) {
  char place[96];
  snprintf(place, sizeof place, "disk %d, track %d, C%d H%d R%d N%d: ", sector.disk + 1,
           sector.track, sector.c, sector.h, sector.r, sector.n);
  if (sector.recovered) {
    PrintLocalFormatted(stdout, "%srecovered from dump %d\n", place, sector.from + 1);
  }
  if (sector.conflict) {
    char holding[kMaxDumps * 4];
    DumpList(sector.goodIn, holding, sizeof holding);
    PrintLocalFormatted(stdout, "%sconflict: dumps %s hold good copies that differ\n", place,
                        holding);
  }
  if (sector.unrecovered) {
    PrintLocalFormatted(stdout, "%sunrecovered\n", place);
  }
}

void AddMergedCounts(MergedDisk* sum, const MergedDisk& disk) {
  sum->sectors += disk.sectors;
  sum->recovered += disk.recovered;
  sum->conflicts += disk.conflicts;
  sum->unrecovered += disk.unrecovered;
}

void PrintMergeSummary(const MergedDisk& total, int disks) {
  PrintLocalFormatted(stdout,
                      "%" PRId64 " %s in %d %s: %" PRId64 " recovered, %" PRId64 " %s, %" PRId64
                      " unrecovered\n",
                      total.sectors, Plural(total.sectors, "sector", "sectors"), disks,
                      Plural(disks, "disk", "disks"), total.recovered, total.conflicts,
                      Plural(total.conflicts, "conflict", "conflicts"), total.unrecovered);
}

int PrintCannotOpenDump(const char* path, SystemError error) {
  char reason[256];
  DescribeSystemError(error, reason, sizeof reason);
  PrintPathMessage("d88merge: cannot open '%s': %s\n", path, reason);
  return 1;
}

int PrintCannotWriteMerged(const char* outputPath, const char* reason) {
  PrintPathMessage("d88merge: cannot write '%s': %s\n", outputPath, reason);
  return 1;
}

int PrintCannotWriteMerged(const char* outputPath, SystemError error) {
  char reason[256];
  DescribeSystemError(error, reason, sizeof reason);
  return PrintCannotWriteMerged(outputPath, reason);
}

int PrintTooManyDumps() {
  PrintLocalFormatted(stderr, "d88merge: at most %d dumps can be merged at once\n", kMaxDumps);
  return 1;
}

int PrintMergeEnd(const MergeResult& result, const MergeFailure& failure) {
  switch (result.end) {
    case MergeEnd::kMerged:
      return 0;
    case MergeEnd::kNotD88: {
      Recognition recognition = {};
      recognition.verdict = Verdict::kNotD88;
      recognition.fault = result.fault;
      recognition.faultValue = result.faultValue;
      char fault[128];
      DescribeHeaderFault(recognition, fault, sizeof fault);
      PrintPathMessage("d88merge: '%s' is not a D88 image: %s\n", failure.dumpPaths[result.dump],
                       fault);
      return 2;
    }
    case MergeEnd::kReadFailed: {
      char reason[256];
      DescribeSystemError(failure.readError, reason, sizeof reason);
      PrintReadFailure(stderr, "d88merge", failure.dumpPaths[result.dump], reason);
      return 1;
    }
    case MergeEnd::kDumpChanged:
      PrintPathMessage("d88merge: cannot read '%s': %s\n", failure.dumpPaths[result.dump],
                       "it grew shorter while it was read");
      return 1;
    case MergeEnd::kTooManyRecords: {
      char reason[160];
      snprintf(reason, sizeof reason,
               "track %d of disk %d would hold more than %d sectors, more than D88 can count",
               result.track, result.disk + 1, kMaxMergedRecords);
      return PrintCannotWriteMerged(failure.outputPath, reason);
    }
    case MergeEnd::kTooLarge: {
      char reason[160];
      snprintf(reason, sizeof reason,
               "with disk %d the image would reach 2 GiB, more than D88's sizes can hold",
               result.disk + 1);
      return PrintCannotWriteMerged(failure.outputPath, reason);
    }
    case MergeEnd::kWriteFailed:
      return PrintCannotWriteMerged(failure.outputPath, failure.writeError);
  }
  return 1;
}
