#include "merge/command.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/dump_merge.h"
#include "common/json_writer.h"
#include "common/merge_report.h"
#include "common/output_health.h"
#include "common/outputs_report.h"
#include "common/text_output.h"
#include "d88/d88_image.h"
#include "platform/platform.h"

namespace {

const char kUsage[] =
    "Usage: d88merge [--json] [-f|--force] -o OUTPUT DUMP DUMP...\n"
    "Try 'd88merge --help' for more information.\n";

const char kHelp[] =
    "Usage: d88merge [--json] [-f|--force] -o OUTPUT DUMP DUMP...\n"
    "Make one D88 image, OUTPUT, out of two or more dumps of the same disks,\n"
    "taking each sector from the first dump that holds it whole. DUMP 1, the\n"
    "first given, is the base: its disks, its tracks' order, its headers.\n"
    "\n"
    "  -o OUTPUT    the merged image to write; never one of the dumps\n"
    "  -f, --force  replace OUTPUT if it exists (a link itself, not its target)\n"
    "  --json       print the report as one JSON document (UTF-8)\n"
    "  -h, --help   show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "A copy of a sector is whole when its status and deleted-data bytes are 0\n"
    "and it holds all the 128 << N bytes its N says. The report names each\n"
    "sector taken from a later dump (recovered), each whose whole copies\n"
    "differ (conflict: the first is kept) and each whole in no dump\n"
    "(unrecovered), then the files d88cut would write from OUTPUT and whether\n"
    "each is intact.\n"
    "\n"
    "Exit status: 0 OUTPUT was written, whatever is left unrecovered; 1 a usage\n"
    "error, a dump that cannot be read, or OUTPUT refused or not written; 2 a\n"
    "dump is not a D88 image. See d88merge(1).\n";

const char kVersion[] = "d88merge " D88CUT_VERSION "\n";

// The dumps as given, each open in a reader of its own.
D88Image dumps[kMaxDumps];
D88Image* dumpReaders[kMaxDumps];
const char* dumpPaths[kMaxDumps];
int64_t dumpSizes[kMaxDumps];
int dumpCount;

// The merged image, written into a new file beside OUTPUT, which takes
// OUTPUT's name only once it is whole.
struct Output {
  const char* path;
  char temporary[4096];
  FILE* file;
  int64_t position;   // where the next write goes without a seek
  SystemError error;  // why the first write that failed did
};
Output output;

// The merged image read back, to judge the files d88cut would write from it.
D88Image merged;
DiskHealth health;

bool asJson;

// The text report's counts over every disk.
MergedDisk total;

// In JSON each disk's sectors are listed three times over (recovered,
// conflicts, unrecovered), so they are kept in a scratch file until the
// disk is done: there can be more of them than memory should hold.
FILE* spool;
int64_t spooled;
SystemError reportError;
int disksShown;

// --- Writing the image ---

bool WriteAt(void* /*context*/, int64_t offset, const uint8_t* bytes, size_t length) {
  if (offset != output.position) {
    if (!SeekFile(output.file, offset)) {
      output.error = LastFileError();
      return false;
    }
    output.position = offset;
  }
  if (fwrite(bytes, 1, length, output.file) != length) {
    output.error = LastFileError();
    return false;
  }
  output.position += static_cast<int64_t>(length);
  return true;
}

// Closes OUTPUT's new file, flushing it; false when a write or the flush
// failed.
bool CloseOutput() {
  const bool written = fflush(output.file) == 0 && ferror(output.file) == 0;
  if (!written && output.error == 0) {
    output.error = LastFileError();
  }
  const bool closed = fclose(output.file) == 0;
  if (!closed && output.error == 0) {
    output.error = LastFileError();
  }
  output.file = nullptr;
  return written && closed;
}

// Throws away OUTPUT's new file, whatever has been written to it.
void DropOutput() {
  if (output.file != nullptr) {
    fclose(output.file);
    output.file = nullptr;
  }
  if (output.temporary[0] != '\0') {
    RemoveFile(output.temporary);
    output.temporary[0] = '\0';
  }
}

// --- The report as text ---

void SectorAsText(void* /*context*/, const MergedSector& sector) {
  PrintMergedSector(sector);
}

void DiskAsText(void* /*context*/, const MergedDisk& disk) {
  AddMergedCounts(&total, disk);
}

// --- The report as JSON ---

void SectorToSpool(void* /*context*/, const MergedSector& sector) {
  if (reportError != 0) {
    return;
  }
  if (fwrite(&sector, sizeof sector, 1, spool) != 1) {
    reportError = LastFileError();
    return;
  }
  ++spooled;
}

void JsonSector(const MergedSector& sector) {
  JsonOpen('{');
  JsonKey("track");
  JsonNumber(sector.track);
  JsonKey("c");
  JsonNumber(sector.c);
  JsonKey("h");
  JsonNumber(sector.h);
  JsonKey("r");
  JsonNumber(sector.r);
  JsonKey("n");
  JsonNumber(sector.n);
}

// The disk's sectors of one kind, read back from the spool.
void JsonSectorList(const char* key, int kind) {
  JsonKey(key);
  JsonOpen('[');
  if (reportError == 0 && !SeekFile(spool, 0)) {
    reportError = LastFileError();
  }
  for (int64_t i = 0; i < spooled && reportError == 0; ++i) {
    MergedSector sector;
    if (fread(&sector, sizeof sector, 1, spool) != 1) {
      reportError = LastFileError();
      break;
    }
    if (kind == 0 && sector.recovered) {
      JsonSector(sector);
      JsonKey("from");
      JsonNumber(sector.from + 1);
      JsonClose('}');
    } else if (kind == 1 && sector.conflict) {
      JsonSector(sector);
      JsonKey("good_in");
      JsonOpen('[');
      for (int d = 0; d < kMaxDumps; ++d) {
        if (sector.goodIn & (1u << d)) {
          JsonNumber(d + 1);
        }
      }
      JsonClose(']');
      JsonClose('}');
    } else if (kind == 2 && sector.unrecovered) {
      JsonSector(sector);
      JsonClose('}');
    }
  }
  JsonClose(']');
}

void DiskAsJson(void* /*context*/, const MergedDisk& disk) {
  AddMergedCounts(&total, disk);
  if (disksShown++ == 0) {
    JsonKey("disks");
    JsonOpen('[');
  }
  JsonOpen('{');
  JsonKey("sectors");
  JsonNumber(disk.sectors);
  JsonSectorList("recovered", 0);
  JsonSectorList("conflicts", 1);
  JsonSectorList("unrecovered", 2);
  JsonClose('}');
  // The next disk's sectors from the spool's start again.
  if (reportError == 0 && !SeekFile(spool, 0)) {
    reportError = LastFileError();
  }
  spooled = 0;
}

// --- Failures ---

void PrintPathMessage(const char* format, const char* path, const char* text) {
  char shown[4096];
  PrintLocalFormatted(stderr, format, PathAsShown(stderr, path, shown, sizeof shown), text);
}

int CannotWrite(SystemError error) {
  return PrintCannotWriteMerged(output.path, error);
}

int CannotRead(int dump) {
  const MergeResult result = {MergeEnd::kReadFailed, dump, 0, 0, HeaderFault::kNone, 0, 0, 0};
  return PrintMergeEnd(result, MergeFailure{dumpPaths, dumps[dump].ReadError(), output.path, 0});
}

// The merge's end, when it is not kMerged, as a message; the exit status.
int ReportMergeEnd(const MergeResult& result) {
  const SystemError readError =
      result.end == MergeEnd::kReadFailed ? dumps[result.dump].ReadError() : 0;
  return PrintMergeEnd(result, MergeFailure{dumpPaths, readError, output.path, output.error});
}

// Opens the dumps; 0, or the exit status of the first that cannot be.
int OpenDumps() {
  for (int d = 0; d < dumpCount; ++d) {
    if (!dumps[d].Open(dumpPaths[d])) {
      return PrintCannotOpenDump(dumpPaths[d], dumps[d].OpenError());
    }
    if (dumps[d].ReadFailed()) {
      return CannotRead(d);
    }
    if (!OpenFileSize(dumps[d].ImageStream(), &dumpSizes[d])) {
      PrintPathMessage("d88merge: cannot open '%s': %s\n", dumpPaths[d], "its size cannot be told");
      return 1;
    }
    dumpReaders[d] = &dumps[d];
  }
  return 0;
}

// Whether OUTPUT may be written: never over a dump, and over anything else
// only with --force. 0, or the exit status of the refusal.
int CheckOutput(bool force) {
  PathStatus status;
  SystemError error = 0;
  if (!InspectPath(output.path, &status, &error)) {
    return CannotWrite(error);
  }
  if (status.resolves) {
    for (int d = 0; d < dumpCount; ++d) {
      FileIdentity identity;
      if (dumps[d].IdentifyImage(&identity) && identity.volume == status.target.volume &&
          identity.index == status.target.index) {
        char text[64];
        snprintf(text, sizeof text, "%d", d + 1);
        PrintPathMessage("d88merge: '%s' is dump %s, which is never written over\n", output.path,
                         text);
        return 1;
      }
    }
  }
  if (status.exists && !force) {
    PrintPathMessage("d88merge: '%s' exists%s; --force replaces it\n", output.path,
                     status.isLink ? " (a link)" : "");
    return 1;
  }
  return 0;
}

// Reads the merged image back and judges the files d88cut would write from
// it; false when it cannot be read.
bool JudgeMerged() {
  if (!merged.Open(output.temporary)) {
    output.error = merged.OpenError();
    return false;
  }
  JudgeOutputs(merged, &health);
  const bool read = !merged.ReadFailed();
  if (!read) {
    output.error = merged.ReadError();
  }
  merged.Open(nullptr);
  return read;
}

// Closes the dumps and the spool; returns `status`.
int Finish(int status) {
  for (int d = 0; d < dumpCount; ++d) {
    dumps[d].Open(nullptr);
  }
  if (spool != nullptr) {
    fclose(spool);
    spool = nullptr;
  }
  return status;
}

int Merge(bool force) {
  int status = OpenDumps();
  if (status == 0) {
    status = CheckOutput(force);
  }
  if (status != 0) {
    return status;
  }
  SystemError error = 0;
  output.file = CreateFileBeside(output.path, output.temporary, sizeof output.temporary, &error);
  if (output.file == nullptr) {
    output.temporary[0] = '\0';
    return CannotWrite(error);
  }
  output.position = 0;
  if (asJson) {
    spool = OpenScratchFile(&error);
    if (spool == nullptr) {
      DropOutput();
      PrintLocalFormatted(stderr, "d88merge: cannot write the report: %s\n", "no scratch file");
      return 1;
    }
    JsonReset();
    JsonOpen('{');
    JsonKey("dumps");
    JsonOpen('[');
    for (int d = 0; d < dumpCount; ++d) {
      JsonPath(dumpPaths[d]);
    }
    JsonClose(']');
    JsonKey("output");
    JsonPath(output.path);
  }
  const MergeSink sink = {nullptr, WriteAt, asJson ? SectorToSpool : SectorAsText,
                          asJson ? DiskAsJson : DiskAsText, nullptr};
  const MergeResult result = MergeDumps(dumpReaders, dumpSizes, dumpCount, sink);
  if (result.end != MergeEnd::kMerged) {
    DropOutput();
    fflush(stdout);
    return ReportMergeEnd(result);
  }
  if (!CloseOutput() || !JudgeMerged()) {
    DropOutput();
    fflush(stdout);
    return CannotWrite(output.error);
  }
  if (!RenameOnto(output.temporary, output.path, force, &error)) {
    DropOutput();
    fflush(stdout);
    return CannotWrite(error);
  }
  output.temporary[0] = '\0';
  if (asJson) {
    if (disksShown > 0) {
      JsonClose(']');
    }
    JsonKey("verdict");
    JsonText(VerdictName(health.recognition.verdict));
    if (health.recognition.verdict == Verdict::kRecognised) {
      JsonOutputs(health);
    }
    JsonClose('}');
    JsonFinish();
  } else {
    PrintMergeSummary(total, result.disks);
    if (health.recognition.verdict == Verdict::kRecognised) {
      PrintOutputsSection(health);
    }
  }
  if (reportError != 0 || !FinishStandardOutput(&error)) {
    char reason[256];
    DescribeSystemError(reportError != 0 ? reportError : error, reason, sizeof reason);
    PrintLocalFormatted(stderr, "d88merge: cannot write the report: %s\n", reason);
    return 1;
  }
  return 0;
}

// Forgets what the last run left: its output, counts and report state.
void ClearRunState() {
  output = Output{};
  total = MergedDisk{};
  spooled = 0;
  reportError = 0;
  disksShown = 0;
  dumpCount = 0;
}

}  // namespace

int RunD88Merge(int argc, char** argv) {
  bool force = false;
  bool optionsEnded = false;
  asJson = false;
  ClearRunState();
  int paths = 0;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!optionsEnded && strcmp(argument, "--") == 0) {
      optionsEnded = true;
    } else if (!optionsEnded && (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0)) {
      PrintText(stdout, kHelp);
      return 0;
    } else if (!optionsEnded && strcmp(argument, "--version") == 0) {
      PrintText(stdout, kVersion);
      return 0;
    } else if (!optionsEnded && strcmp(argument, "--json") == 0) {
      asJson = true;
    } else if (!optionsEnded && (strcmp(argument, "--force") == 0 || strcmp(argument, "-f") == 0)) {
      force = true;
    } else if (!optionsEnded && strcmp(argument, "-o") == 0) {
      if (i + 1 == argc || output.path != nullptr) {
        PrintText(stderr, kUsage);
        return 1;
      }
      output.path = argv[++i];
    } else if (!optionsEnded && argument[0] == '-' && argument[1] != '\0') {
      char shown[4096];
      PrintLocalFormatted(stderr, "d88merge: unknown option '%s'\n%s",
                          PathAsShown(stderr, argument, shown, sizeof shown), kUsage);
      return 1;
    } else {
      if (paths < kMaxDumps) {
        dumpPaths[paths] = argument;
      }
      ++paths;
    }
  }
  if (output.path == nullptr || output.path[0] == '\0' || paths < 2) {
    PrintText(stderr, kUsage);
    return 1;
  }
  if (paths > kMaxDumps) {
    return PrintTooManyDumps();
  }
  dumpCount = paths;
  return Finish(Merge(force));
}

void ResetMergeState() {
  for (D88Image& dump : dumps) {
    dump.Reset();
  }
  merged.Reset();
  if (output.file != nullptr || output.temporary[0] != '\0') {
    DropOutput();
  }
  if (spool != nullptr) {
    fclose(spool);
    spool = nullptr;
  }
  ClearRunState();
  ResetTextOutput();
}
