// The command: checks its argument, opens the image, recognises the disk by
// the signature in its first sector and hands on to the later stages.
#include <cstdio>
#include <cstring>

#include "common/read_runs.h"
#include "common/recognition.h"
#include "common/text_output.h"
#include "platform/platform.h"
#include "tool/output.h"
#include "tool/stages.h"
#include "tool/volume.h"

namespace {

// Until an image is opened and judged: no verdict but "not a D88 image".
Recognition runRecognition = {Verdict::kNotD88, {}, HeaderFault::kNone, 0};

// What --help prints: plain ASCII, the same bytes in every character set.
constexpr char kHelpText[] =
    "Usage: d88cut IMAGE.d88\n"
    "       d88cut -h | --help | --version\n"
    "\n"
    "Unpacks one particular floppy disk from its D88 image. The disk is known\n"
    "by the signature BEXO-X1/turboSys in its first sector; d88cut cuts its two\n"
    "raw areas into the files MAIN and DEMO, lists the root directory of its\n"
    "MS-DOS volume and writes each file with its recorded date and time.\n"
    "\n"
    "Every file goes into the current folder, over any regular file of the same\n"
    "name; d88cut stops at a name in use by a link, a folder, a pipe or a device.\n"
    "\n"
    "Exit status: 0 when the disk was unpacked, or when the image is not the\n"
    "disk d88cut knows; 1 when the command line is wrong, the image cannot be\n"
    "opened or read, or a file or the listing cannot be written.\n"
    "\n"
    "If d88cut prints nothing, the image is not that disk, and nothing was\n"
    "written: d88info IMAGE.d88 tells what the image holds and why d88cut\n"
    "leaves it alone. The manual says more: man d88cut, or d88cut-manual.txt\n"
    "beside d88cut.exe on Windows.\n";

constexpr char kVersionText[] = "d88cut " D88CUT_VERSION "\n";

bool IsHelpRequest(const char* argument) {
  const char* systemSpelling = SystemHelpOption();
  return strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0 ||
         (systemSpelling != nullptr && strcmp(argument, systemSpelling) == 0);
}

}  // namespace

const Recognition& RunRecognition() {
  return runRecognition;
}

namespace {

// Reports a read of the image that failed, if one has; true then.
bool ImageReadFailed(const char* path) {
  if (!diskImage.ReadFailed()) {
    return false;
  }
  ReportCannotRead(path, diskImage.ReadError());
  return true;
}

// The run up to its exit status, before standard output is finished.
int Run(int argc, char** argv) {
  // Exactly one argument: -h or --help, --version, or the image's path.
  if (argc == 2 && IsHelpRequest(argv[1])) {
    PrintText(stdout, kHelpText);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    PrintText(stdout, kVersionText);
    return 0;
  }
  if (argc != 2) {
    const char* invokedAs = argc > 0 && argv[0] != nullptr ? argv[0] : "d88cut";
    PrintLocalFormatted(stderr, "Usage: %s [D88 image]\n", invokedAs);
    return 1;
  }
  const char* path = argv[1];
  if (!diskImage.Open(path)) {
    ReportCannotOpen(path, diskImage.OpenError());
    return 1;
  }
  RememberImageFile(diskImage);
  // The signature sector is read into the work buffer, whose zeros stand for
  // a missing sector. An unrecognised disk ends the run with status 0, and
  // without a word but on a terminal, where one line says why and what to try.
  runRecognition = RecogniseImage(diskImage, volumeImage);
  if (ImageReadFailed(path)) {
    return 1;
  }
  if (runRecognition.verdict != Verdict::kRecognised) {
    if (RunsAtAPrompt()) {
      PrintNotTheDisk(stderr, VerdictWords(runRecognition.verdict), argv[1]);
    }
    return 0;
  }
  PrintText(stdout, kRecognisedMessage);

  for (const ReadRun& area : kReadRuns.run) {
    if (!IsRawArea(area.purpose)) {
      continue;
    }
    diskImage.SetSectorRange(area.firstSector, area.lastSector);
    const CutResult cut = CutArea(area.output, area.track, area.track / 2, area.track % 2,
                                  area.firstR, area.sizeCode, 0, area.length);
    if (cut == CutResult::kReadFailed) {
      ImageReadFailed(path);
      return 1;
    }
    if (cut == CutResult::kWriteFailed) {
      return 1;
    }
  }
  LoadVolume();
  if (ImageReadFailed(path)) {
    return 1;
  }
  return WalkDirectory();
}

}  // namespace

int RunD88Cut(int argc, char** argv) {
  const int status = Run(argc, argv);
  // The files are written whatever became of the listing; a listing that
  // was lost is still not a success.
  SystemError error = 0;
  if (!FinishStandardOutput(&error)) {
    char reason[256];
    DescribeSystemError(error, reason, sizeof reason);
    PrintLocalFormatted(stderr, "d88cut: write error: %s\n", reason);
    return 1;
  }
  return status;
}

void ResetToolState() {
  diskImage.Reset();
  if (outputFile != nullptr) {
    fclose(outputFile);
    outputFile = nullptr;
  }
  memset(volumeImage, 0, sizeof volumeImage);
  memset(fatBytes, 0, sizeof fatBytes);
  memset(rootDirectory, 0, sizeof rootDirectory);
  memset(clusterTable, 0, sizeof clusterTable);
  ResetOutput();
  ResetTextOutput();
  runRecognition = Recognition{Verdict::kNotD88, {}, HeaderFault::kNone, 0};
}
