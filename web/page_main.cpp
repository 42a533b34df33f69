// The page's entry. The worker mounts the chosen image and runs main on it in
// a fresh instance. For a recognised disk, main first passes what the disk
// map draws: each output d88cut writes and whether it is whole, and each
// sector record of the first disk and what it holds, judged as d88info
// judges them, for the page to draw while main goes on. main then runs
// d88cut on the image; the worker is told how the image was judged, to tell
// the user in plain words why an image is not the disk, and collects the
// files the run left, for the page to show. main then runs d88info, whose
// text the worker takes from there on as the report. Nothing in the module
// is called once main has returned, since its runtime has exited by then.
//
// Given several images (main MERGED DUMP DUMP...), main first merges them
// into MERGED, as d88merge does, printing d88merge's text report, and then
// does all of the above on MERGED; each record of the map then also says
// which dump its copy came from.
#include <emscripten.h>

#include <algorithm>
#include <cstring>

#include "common/dump_merge.h"
#include "common/merge_report.h"
#include "common/output_health.h"
#include "common/outputs_report.h"
#include "common/recognition.h"
#include "common/text_output.h"
#include "d88/d88_image.h"
#include "info/command.h"
#include "info/report.h"
#include "platform/platform.h"
#include "platform/shift_jis.h"
#include "platform/windows_names.h"
#include "tool/stages.h"

// d88cut's run has ended: its verdict, as VerdictName gives it, and bytes
// 1-16 of the signature sector as the run found them. What is written to
// standard output and error from here on is the report.
EM_JS(void, PassRunEnd, (const char* verdict, const uint8_t* found, int length),
      { Module.d88cutRunEnded(UTF8ToString(verdict), HEAPU8.slice(found, found + length)); });

// One output d88cut writes, in write order: its name as a terminal is given
// it (Shift_JIS), whether it is a volume file, its HealthProblem bits, the
// number of the page's file that holds its bytes (-1 when the page does not
// write it), whether a later output replaces that file, and the CRC-32 of
// the bytes it writes.
EM_JS(void, PassOutput,
      (const char* name, int length, int volumeFile, int problems, int file, int replaced,
       uint32_t crc32),
      {
        Module.d88cutOutput(HEAPU8.slice(name, name + length), volumeFile != 0, problems, file,
                            replaced != 0, crc32 >>> 0);
      });

// The merge has ended with exit status `status` (0: MERGED is whole); its
// report is what was written since main started.
EM_JS(void, PassMergeEnd, (int status), { Module.d88cutMergeEnded(status); });

// The disk map: kMapCellBytes for each sector record, track by track. It
// comes after the outputs, and always for a recognised disk.
EM_JS(void, PassMap, (const uint8_t* cells, int length, int capped),
      { Module.d88cutMap(HEAPU8.slice(cells, cells + length), capped); });

namespace {

// A cell of the map: track, C, H, R, N, SectorRole, SectorState, the output
// holding its bytes + 1 (0 for none), and in a merged image the dump its
// record came from, numbered from 1 (0 for none).
constexpr int kMapCellBytes = 9;
// The most records drawn of one track, and of the whole disk: more than any
// real disk holds, few enough for a page to draw at once.
constexpr int kMaxMapTrackRecords = 64;
constexpr int kMaxMapCells = 4096;

uint8_t cells[kMaxMapCells * kMapCellBytes];
int cellCount;
bool capped;

// The report's sectors by file offset, for looking records up.
int sectorsByOffset[kMaxHealthSectors];

D88Image image;

// In a merged image, the dump each of the first records of each track of
// its first disk came from, numbered from 1; 0 for none.
uint8_t recordFrom[kMaxTracks][kMaxMapTrackRecords];
int recordsWritten[kMaxTracks];

void AddCell(int track, uint8_t c, uint8_t h, uint8_t r, uint8_t n, SectorRole role,
             SectorState state, int output, int from = 0) {
  if (cellCount == kMaxMapCells) {
    capped = true;
    return;
  }
  uint8_t* cell = cells + cellCount * kMapCellBytes;
  cell[0] = static_cast<uint8_t>(track);
  cell[1] = c;
  cell[2] = h;
  cell[3] = r;
  cell[4] = n;
  cell[5] = static_cast<uint8_t>(role);
  cell[6] = static_cast<uint8_t>(state);
  cell[7] = static_cast<uint8_t>(output + 1);
  cell[8] = static_cast<uint8_t>(from);
  ++cellCount;
}

// The index in health.sector of the record at `at`; -1 when d88cut neither
// reads nor needs it.
int FindSectorAt(const DiskHealth& health, int found, int64_t at) {
  const int* end = sectorsByOffset + found;
  const int* place =
      std::lower_bound(static_cast<const int*>(sectorsByOffset), end, at,
                       [&](int index, int64_t offset) { return health.sector[index].at < offset; });
  return place != end && health.sector[*place].at == at ? *place : -1;
}

// The sectors the run needs whose record the image lacks (missing where a
// read stopped, or unread past it), by track: those of track t are
// missingSectors[missingStart[t]] to missingSectors[missingStart[t + 1] -
// 1], in the report's order.
int missingSectors[kMaxHealthSectors];
int missingStart[kMaxTracks + 1];
bool missingAdded[kMaxHealthSectors];

// True for a sector the run needs whose record the image lacks, on a track
// of the map.
bool IsMissing(const HealthSector& sector) {
  return sector.at < 0 && sector.track >= 0 && sector.track < kMaxTracks;
}

// Fills missingSectors and missingStart from the report's sectors.
void ListMissingByTrack(const DiskHealth& health) {
  int count[kMaxTracks] = {};
  for (int i = 0; i < health.sectors; ++i) {
    if (IsMissing(health.sector[i])) {
      ++count[health.sector[i].track];
    }
  }
  missingStart[0] = 0;
  for (int track = 0; track < kMaxTracks; ++track) {
    missingStart[track + 1] = missingStart[track] + count[track];
  }
  int next[kMaxTracks];
  memcpy(next, missingStart, sizeof next);
  for (int i = 0; i < health.sectors; ++i) {
    if (IsMissing(health.sector[i])) {
      missingSectors[next[health.sector[i].track]++] = i;
    }
  }
}

// Adds the sectors of `track` that the run needs and the image lacks, each
// before the first record of its C, H and N with a higher R (every one when
// `header` is null), unless added already.
void AddMissing(const DiskHealth& health, int track, const uint8_t* header) {
  for (int i = missingStart[track]; i < missingStart[track + 1]; ++i) {
    const int index = missingSectors[i];
    const HealthSector& sector = health.sector[index];
    if (missingAdded[index]) {
      continue;
    }
    if (header != nullptr &&
        (sector.c != header[kRecordCylinder] || sector.h != header[kRecordHead] ||
         sector.n != header[kRecordSizeCode] || sector.r > header[kRecordSector])) {
      continue;
    }
    missingAdded[index] = true;
    AddCell(track, sector.c, sector.h, sector.r, sector.n, sector.role, sector.state,
            sector.output);
  }
}

// Each record of `track` as a sector read walks it, and among them, where
// their R puts them, the sectors the run needs there and the image lacks:
// a track the image lacks gets the row of those alone.
void MapTrack(const DiskHealth& health, int found, int track, int64_t imageSize) {
  RecordWalk walk;
  const int64_t diskEnd = static_cast<int64_t>(image.DiskBase()) + image.DiskSize();
  if (image.StartRecordWalk(track, &walk)) {
    uint8_t header[kRecordHeaderSize];
    int64_t at = 0;
    for (int taken = 0; walk.next < diskEnd && image.NextRecord(&walk, header, &at); ++taken) {
      if (taken == kMaxMapTrackRecords) {
        capped = true;
        break;
      }
      AddMissing(health, track, header);
      const int64_t end = at + kRecordHeaderSize + ReadLE16(header + kRecordDataLength);
      const int index = FindSectorAt(health, found, at);
      SectorState state = StateOfRecord(header);
      if (end > imageSize) {
        state = SectorState::kShort;
      }
      const int from = recordFrom[track][taken];
      if (index >= 0) {
        const HealthSector& sector = health.sector[index];
        AddCell(track, sector.c, sector.h, sector.r, sector.n, sector.role, sector.state,
                sector.output, from);
      } else {
        AddCell(track, header[kRecordCylinder], header[kRecordHead], header[kRecordSector],
                header[kRecordSizeCode], SectorRole::kUnused, state, -1, from);
      }
    }
  }
  AddMissing(health, track, nullptr);
}

// The map of the open image's first disk.
void PassDiskMap(const DiskHealth& health, int64_t imageSize) {
  cellCount = 0;
  capped = false;
  if (image.SelectDisk(0)) {
    ListMissingByTrack(health);
    int found = 0;
    for (int i = 0; i < health.sectors; ++i) {
      if (health.sector[i].at >= 0) {
        sectorsByOffset[found++] = i;
      }
    }
    std::sort(sectorsByOffset, sectorsByOffset + found,
              [&](int a, int b) { return health.sector[a].at < health.sector[b].at; });
    for (int track = 0; track < kMaxTracks; ++track) {
      MapTrack(health, found, track, imageSize);
    }
  }
  PassMap(cells, cellCount * kMapCellBytes, capped);
}

char16_t fileNames[kMaxHealthOutputs][kDecodedNameLength];

// Each output, with the page's file it ends in: the page writes the names
// Windows takes, and makes names that Windows takes for one name one file,
// numbered in the order first made (platform_web.cpp); an output whose file
// a later output takes is replaced, as the report says.
void PassOutputs(const DiskHealth& health) {
  int files = 0;
  for (int i = 0; i < health.outputs; ++i) {
    const OutputHealth& output = health.output[i];
    int file = -1;
    char16_t decoded[kDecodedNameLength];
    if (IsPlainFileName(output.name) && DecodeName(output.name, decoded)) {
      for (int known = 0; known < files && file < 0; ++known) {
        if (IsSameWindowsFileName(fileNames[known], decoded)) {
          file = known;
        }
      }
      if (file < 0) {
        memcpy(fileNames[files], decoded, sizeof decoded);
        file = files++;
      }
    }
    char shown[kFileNameBytes * 3];
    const size_t length = ShowableName(output.name, shown, sizeof shown);
    PassOutput(shown, static_cast<int>(length), output.volumeFile ? 1 : 0,
               static_cast<int>(output.problems), file, output.replaced ? 1 : 0, output.crc32);
  }
}

DiskHealth health;

// Judges the image as d88info does, on a reader of its own, and passes the
// outputs and the map when d88cut recognises it; d88info's report then
// takes the outputs as judged here.
void PassHealth(const char* path) {
  int64_t imageSize = 0;
  if (image.Open(path) && OpenFileSize(image.ImageStream(), &imageSize)) {
    JudgeOutputs(image, &health);
    if (health.recognition.verdict == Verdict::kRecognised) {
      PassOutputs(health);
      PassDiskMap(health, imageSize);
      if (!image.ReadFailed()) {
        UseJudgedOutputs(&health);
      }
    }
  }
  image.Open(nullptr);
}

// --- Merging several images ---

D88Image dumps[kMaxDumps];
D88Image* dumpReaders[kMaxDumps];
int64_t dumpSizes[kMaxDumps];

// The merged image, written into a new file beside its name, which it takes
// only once whole.
struct MergedFile {
  FILE* file;
  int64_t position;  // where the next write goes without a seek
  SystemError error;
  char temporary[4096];
};
MergedFile merged;
MergedDisk mergedTotal;

bool WriteMerged(void* /*context*/, int64_t offset, const uint8_t* bytes, size_t length) {
  if (offset != merged.position) {
    if (!SeekFile(merged.file, offset)) {
      merged.error = LastFileError();
      return false;
    }
    merged.position = offset;
  }
  if (fwrite(bytes, 1, length, merged.file) != length) {
    merged.error = LastFileError();
    return false;
  }
  merged.position += static_cast<int64_t>(length);
  return true;
}

void PrintSector(void* /*context*/, const MergedSector& sector) {
  PrintMergedSector(sector);
}

void CountDisk(void* /*context*/, const MergedDisk& disk) {
  AddMergedCounts(&mergedTotal, disk);
}

void NoteRecordFrom(void* /*context*/, int disk, int track, int dump) {
  if (disk != 0) {
    return;
  }
  if (recordsWritten[track] < kMaxMapTrackRecords) {
    recordFrom[track][recordsWritten[track]] = static_cast<uint8_t>(dump + 1);
  }
  ++recordsWritten[track];
}

// Merges the `count` dumps at `paths` into `output`, printing the sectors'
// lines as they come, or why the merge failed; the exit status, as
// d88merge's. `*disks` gets the number of disks merged.
int MergeInto(const char* output, char** paths, int count, int* disks) {
  if (count > kMaxDumps) {
    return PrintTooManyDumps();
  }
  for (int d = 0; d < count; ++d) {
    if (!dumps[d].Open(paths[d])) {
      return PrintCannotOpenDump(paths[d], dumps[d].OpenError());
    }
    const MergeFailure failure = {paths, dumps[d].ReadError(), output, 0};
    if (dumps[d].ReadFailed()) {
      return PrintMergeEnd(MergeResult{MergeEnd::kReadFailed, d, 0, 0, HeaderFault::kNone, 0, 0, 0},
                           failure);
    }
    if (!OpenFileSize(dumps[d].ImageStream(), &dumpSizes[d])) {
      return PrintCannotOpenDump(paths[d], LastFileError());
    }
    dumpReaders[d] = &dumps[d];
  }
  SystemError error = 0;
  merged.file = CreateFileBeside(output, merged.temporary, sizeof merged.temporary, &error);
  if (merged.file == nullptr) {
    return PrintCannotWriteMerged(output, error);
  }
  const MergeSink sink = {nullptr, WriteMerged, PrintSector, CountDisk, NoteRecordFrom};
  const MergeResult result = MergeDumps(dumpReaders, dumpSizes, count, sink);
  const bool flushed = fflush(merged.file) == 0 && ferror(merged.file) == 0;
  if (!flushed && merged.error == 0) {
    merged.error = LastFileError();
  }
  const bool closed = fclose(merged.file) == 0;
  if (!closed && merged.error == 0) {
    merged.error = LastFileError();
  }
  if (result.end != MergeEnd::kMerged || !flushed || !closed ||
      !RenameOnto(merged.temporary, output, false, &error)) {
    RemoveFile(merged.temporary);
    if (result.end == MergeEnd::kMerged) {
      return PrintCannotWriteMerged(output, merged.error != 0 ? merged.error : error);
    }
    const SystemError readError =
        result.end == MergeEnd::kReadFailed ? dumps[result.dump].ReadError() : 0;
    return PrintMergeEnd(result, MergeFailure{paths, readError, output, merged.error});
  }
  *disks = result.disks;
  return 0;
}

// Merges the dumps into `output` and ends d88merge's report: its summary
// and the outputs of the merged image; the map and the outputs are passed
// on the way, as for one image. The exit status, as d88merge's.
int Merge(const char* output, char** paths, int count) {
  int disks = 0;
  const int status = MergeInto(output, paths, count, &disks);
  for (int d = 0; d < count && d < kMaxDumps; ++d) {
    dumps[d].Open(nullptr);
  }
  if (status == 0) {
    PassHealth(output);
    PrintMergeSummary(mergedTotal, disks);
    if (health.recognition.verdict == Verdict::kRecognised) {
      PrintOutputsSection(health);
    }
  }
  PassMergeEnd(status);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine commandLine(argc, argv);
  PrepareLocalTime();
  char* imageArguments[] = {commandLine.argv[0], commandLine.argv[1], nullptr};
  if (commandLine.argc > 2) {
    const int merged = Merge(commandLine.argv[1], commandLine.argv + 2, commandLine.argc - 2);
    if (merged != 0) {
      return merged;
    }
  } else if (commandLine.argc == 2) {
    // The health first, for the page to draw the map while d88cut runs.
    PassHealth(commandLine.argv[1]);
  }
  const int argumentCount = commandLine.argc > 2 ? 2 : commandLine.argc;
  const int status = RunD88Cut(argumentCount, imageArguments);
  const Recognition& recognition = RunRecognition();
  PassRunEnd(VerdictName(recognition.verdict), recognition.found, kSignatureLength);
  if (argumentCount == 2) {
    char name[] = "d88info";
    char* infoArguments[] = {name, commandLine.argv[1], nullptr};
    RunD88Info(2, infoArguments);
  }
  return status;
}
