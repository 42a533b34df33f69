#include "info/command.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/checksums.h"
#include "common/text_output.h"
#include "d88/d88_image.h"
#include "info/brief_line.h"
#include "info/folder_walk.h"
#include "info/report.h"
#include "platform/platform.h"

namespace {

D88Image image;

const char kUsage[] =
    "Usage: d88info [--tracks] [--json | --brief] IMAGE...\n"
    "Try 'd88info --help' for more information.\n";

const char kHelp[] =
    "Usage: d88info [--tracks] [--json | --brief] IMAGE...\n"
    "Show what each D88 disk image IMAGE holds, whether d88cut takes it, and\n"
    "which of the files d88cut writes from it are whole, with their checksums.\n"
    "A folder given as IMAGE stands for every file under it named *.d88.\n"
    "\n"
    "  --tracks    also list every track's sector IDs (C H R N)\n"
    "  --json      print each report as one JSON document on one line (UTF-8)\n"
    "  --brief     print one line for each image: its verdict and damaged files\n"
    "  -h, --help  show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "The verdict line says what d88cut does with the image's first disk:\n"
    "recognised (d88cut unpacks it), not a D88 image, no sector C0 H0 R1 N1 on\n"
    "the first disk, or signature differs (with the 16 bytes found).\n"
    "\n"
    "Exit status: 0 every image reads as D88, whatever the verdict; 1 one\n"
    "cannot be opened or read, or a usage error; else 2 one is not a D88 image.\n"
    "d88info only reads the images; it writes no file. See d88info(1).\n";

const char kVersion[] = "d88info " D88CUT_VERSION "\n";

enum class Form { kText, kJson, kBrief };

// What the run has been asked, and what its images have come to so far.
struct Run {
  Form form;
  bool everyId;
  bool headed;  // each text report under "==> PATH <==", as head does
  int reports;  // reports printed so far
  bool cannotRead;
  bool notD88;
};

// The SHA-1 of the whole open image, read through a fixed buffer; false
// when a read of it fails.
bool HashImage(uint8_t digest[kSha1Bytes]) {
  static uint8_t piece[64 * 1024];
  Sha1 sha;
  StartSha1(&sha);
  int64_t at = 0;
  for (;;) {
    const int got = image.ReadBytes(at, piece, static_cast<int>(sizeof piece));
    if (got <= 0) {
      break;
    }
    AddToSha1(&sha, piece, static_cast<size_t>(got));
    at += got;
  }
  FinishSha1(&sha, digest);
  return !image.ReadFailed();
}

void ReportCannotOpen(const char* path, const char* reason) {
  char shown[4096];
  PrintLocalFormatted(stderr, "d88info: cannot open '%s': %s\n",
                      PathAsShown(stderr, path, shown, sizeof shown), reason);
}

// Prints why the image at `path` could not be read, after what its report
// printed, if it had `started`; a JSON document cut short still ends its
// line, so that the next image's starts a line of its own.
void ReportCannotRead(Run& run, const char* path, bool started) {
  if (started && run.form == Form::kJson && run.headed) {
    PrintText(stdout, "\n");
  }
  fflush(stdout);
  char reason[256];
  DescribeSystemError(image.ReadError(), reason, sizeof reason);
  PrintReadFailure(stderr, "d88info", path, reason);
  run.cannotRead = true;
}

// Reports on the image at `path`, in the run's form.
void ReportImage(Run& run, const char* path) {
  if (!image.Open(path)) {
    char reason[256];
    DescribeSystemError(image.OpenError(), reason, sizeof reason);
    ReportCannotOpen(path, reason);
    run.cannotRead = true;
    return;
  }
  ReportedImage file = {path, 0, {}};
  if (image.ReadFailed() || !HashImage(file.sha1)) {
    ReportCannotRead(run, path, false);
    image.Open(nullptr);
    return;
  }
  if (!OpenFileSize(image.ImageStream(), &file.bytes)) {
    ReportCannotOpen(path, "its size cannot be told");
    run.cannotRead = true;
    image.Open(nullptr);
    return;
  }
  ImageReport report;
  if (!CollectReport(image, file, &report)) {
    ReportCannotRead(run, path, false);
    image.Open(nullptr);
    return;
  }
  const Verdict verdict = report.outputs->recognition.verdict;
  if (run.form == Form::kBrief) {
    PrintBriefLine(report);
  } else {
    if (run.form == Form::kText && run.headed) {
      char shown[4096];
      PrintLocalFormatted(stdout, "%s==> %s <==\n", run.reports > 0 ? "\n" : "",
                          PathAsShown(stdout, path, shown, sizeof shown));
    }
    PrintReport(image, report, run.everyId, run.form == Form::kJson);
  }
  ++run.reports;
  if (image.ReadFailed()) {
    ReportCannotRead(run, path, true);
  } else if (verdict == Verdict::kNotD88) {
    run.notD88 = true;
  }
  image.Open(nullptr);
}

void ReportWalkedImage(const char* path, SystemError error, void* context) {
  Run& run = *static_cast<Run*>(context);
  if (error == 0) {
    ReportImage(run, path);
    return;
  }
  char reason[256];
  if (error == kFolderTooDeep) {
    snprintf(reason, sizeof reason, "folders nest deeper than %d or paths pass %d bytes",
             kMaxFolderDepth, kMaxWalkPathBytes - 1);
  } else {
    DescribeSystemError(error, reason, sizeof reason);
  }
  ReportCannotOpen(path, reason);
  run.cannotRead = true;
}

bool IsOption(const char* argument, const char* option) {
  return strcmp(argument, option) == 0;
}

}  // namespace

int RunD88Info(int argc, char** argv) {
  Run run = {Form::kText, false, false, 0, false, false};
  bool json = false;
  bool brief = false;
  bool optionsEnded = false;
  int paths = 0;
  // The arguments that are images, marked as the options are read.
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!optionsEnded && IsOption(argument, "--")) {
      optionsEnded = true;
    } else if (!optionsEnded && (IsOption(argument, "--help") || IsOption(argument, "-h"))) {
      PrintText(stdout, kHelp);
      return 0;
    } else if (!optionsEnded && IsOption(argument, "--version")) {
      PrintText(stdout, kVersion);
      return 0;
    } else if (!optionsEnded && IsOption(argument, "--tracks")) {
      run.everyId = true;
    } else if (!optionsEnded && IsOption(argument, "--json")) {
      json = true;
    } else if (!optionsEnded && IsOption(argument, "--brief")) {
      brief = true;
    } else if (!optionsEnded && argument[0] == '-' && argument[1] != '\0') {
      char shown[4096];
      PrintLocalFormatted(stderr, "d88info: unknown option '%s'\n%s",
                          PathAsShown(stderr, argument, shown, sizeof shown), kUsage);
      return 1;
    } else {
      ++paths;
    }
  }
  if (paths == 0) {
    PrintText(stderr, kUsage);
    return 1;
  }
  if (json && brief) {
    PrintLocalFormatted(stderr, "d88info: --json and --brief cannot go together\n%s", kUsage);
    return 1;
  }
  run.form = json ? Form::kJson : (brief ? Form::kBrief : Form::kText);
  run.headed = paths > 1;
  optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!optionsEnded && IsOption(argument, "--")) {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && argument[0] == '-' && argument[1] != '\0') {
      continue;
    }
    if (IsFolderPath(argument)) {
      run.headed = true;
      WalkImageFolder(argument, ReportWalkedImage, &run);
    } else {
      ReportImage(run, argument);
    }
    if (ferror(stdout) != 0) {
      break;
    }
  }
  if (fflush(stdout) != 0 || ferror(stdout) != 0) {
    PrintLocalFormatted(stderr, "d88info: cannot write the report: %s\n", strerror(errno));
    return 1;
  }
  return run.cannotRead ? 1 : (run.notD88 ? 2 : 0);
}

void ResetInfoState() {
  UseJudgedOutputs(nullptr);
  image.Reset();
  ResetTextOutput();
}
