// The text of a merge's report, as d88merge prints it and the page shows
// it: a line for each sector the merge names, then a summary line; and the
// message for a merge that ended before its image was whole.
#ifndef COMMON_MERGE_REPORT_H_
#define COMMON_MERGE_REPORT_H_

#include <cstdint>

#include "common/dump_merge.h"
#include "platform/platform.h"

// Prints the sector's lines on standard output: recovered (from which
// dump), conflict (which dumps hold the good copies that differ) and
// unrecovered, as many as apply.
void PrintMergedSector(const MergedSector& sector);

// Adds a disk's counts to `sum`.
void AddMergedCounts(MergedDisk* sum, const MergedDisk& disk);

// Prints the summary line of `total`, the counts over `disks` disks.
void PrintMergeSummary(const MergedDisk& total, int disks);

// What the merge knew when it ended early: the dumps' paths as given, the
// read error of the dump it names, and OUTPUT with the error of its write.
struct MergeFailure {
  const char* const* dumpPaths;
  SystemError readError;
  const char* outputPath;
  SystemError writeError;
};

// Prints on standard error why a merge that did not end in kMerged ended,
// and returns the exit status: 2 for a dump that is not a D88 image, 1
// otherwise, 0 for kMerged (which prints nothing).
int PrintMergeEnd(const MergeResult& result, const MergeFailure& failure);

// Prints on standard error that dump `path` cannot be opened, and why;
// returns 1.
int PrintCannotOpenDump(const char* path, SystemError error);

// Prints on standard error that the output path cannot be written, with
// `reason`; returns 1.
int PrintCannotWriteMerged(const char* outputPath, const char* reason);
int PrintCannotWriteMerged(const char* outputPath, SystemError error);

// Prints on standard error that more than kMaxDumps dumps were given;
// returns 1.
int PrintTooManyDumps();

#endif  // COMMON_MERGE_REPORT_H_
