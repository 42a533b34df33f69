#include "info/command.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/checksums.h"
#include "common/text_output.h"
#include "d88/d88_image.h"
#include "info/report.h"
#include "platform/platform.h"

namespace {

D88Image image;

const char kUsage[] =
    "Usage: d88info [--tracks] [--json] IMAGE\n"
    "Try 'd88info --help' for more information.\n";

const char kHelp[] =
    "Usage: d88info [--tracks] [--json] IMAGE\n"
    "Show what the D88 disk image IMAGE holds, whether d88cut takes it, and\n"
    "which of the files d88cut writes from it are whole.\n"
    "\n"
    "  --tracks    also list every track's sector IDs (C H R N)\n"
    "  --json      print the report as one JSON document (UTF-8)\n"
    "  -h, --help  show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "The verdict line says what d88cut does with the image's first disk:\n"
    "recognised (d88cut unpacks it), not a D88 image, no sector C0 H0 R1 N1 on\n"
    "the first disk, or signature differs (with the 16 bytes found).\n"
    "\n"
    "Exit status: 0 the image reads as D88, whatever the verdict; 1 it cannot\n"
    "be opened or read, or a usage error; 2 it is not a D88 image.\n"
    "d88info only reads the image; it writes no file. See d88info(1).\n";

const char kVersion[] = "d88info " D88CUT_VERSION "\n";

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

// Prints why the image at `path` could not be read, and the report's end
// there, and gives the exit status: 1.
int ReportCannotRead(const char* path) {
  fflush(stdout);
  char reason[256];
  DescribeSystemError(image.ReadError(), reason, sizeof reason);
  PrintReadFailure(stderr, "d88info", path, reason);
  image.Open(nullptr);
  return 1;
}

}  // namespace

int RunD88Info(int argc, char** argv) {
  bool everyId = false;
  bool asJson = false;
  bool optionsEnded = false;
  const char* path = nullptr;
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
    } else if (!optionsEnded && strcmp(argument, "--tracks") == 0) {
      everyId = true;
    } else if (!optionsEnded && strcmp(argument, "--json") == 0) {
      asJson = true;
    } else if (!optionsEnded && argument[0] == '-' && argument[1] != '\0') {
      PrintLocalFormatted(stderr, "d88info: unknown option '%s'\n%s", argument, kUsage);
      return 1;
    } else {
      path = argument;
      ++paths;
    }
  }
  if (paths != 1) {
    PrintText(stderr, kUsage);
    return 1;
  }
  if (!image.Open(path)) {
    char reason[256];
    DescribeSystemError(image.OpenError(), reason, sizeof reason);
    char shown[4096];
    PrintLocalFormatted(stderr, "d88info: cannot open '%s': %s\n",
                        PathAsShown(stderr, path, shown, sizeof shown), reason);
    return 1;
  }
  int64_t imageSize = 0;
  if (image.ReadFailed()) {
    return ReportCannotRead(path);
  }
  if (!OpenFileSize(image.ImageStream(), &imageSize)) {
    char shown[4096];
    PrintLocalFormatted(stderr, "d88info: cannot open '%s': its size cannot be told\n",
                        PathAsShown(stderr, path, shown, sizeof shown));
    return 1;
  }
  ReportedImage file = {path, imageSize, {}};
  if (!HashImage(file.sha1)) {
    return ReportCannotRead(path);
  }
  const Verdict verdict = PrintReport(image, file, everyId, asJson);
  if (image.ReadFailed()) {
    return ReportCannotRead(path);
  }
  image.Open(nullptr);
  if (fflush(stdout) != 0 || ferror(stdout) != 0) {
    PrintLocalFormatted(stderr, "d88info: cannot write the report: %s\n", strerror(errno));
    return 1;
  }
  return verdict == Verdict::kNotD88 ? 2 : 0;
}

void ResetInfoState() {
  UseJudgedOutputs(nullptr);
  image.Reset();
  ResetTextOutput();
}
