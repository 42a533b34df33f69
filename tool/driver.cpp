// The command: checks its argument, opens the image, recognises the disk by
// the signature in its first sector and hands on to the later stages.
#include <cstdio>
#include <cstring>

#include "tool/output.h"
#include "tool/recognition.h"
#include "tool/stages.h"
#include "tool/text_output.h"
#include "tool/volume.h"

namespace {

// Until an image is opened and judged: no verdict but "not a D88 image".
Recognition runRecognition = {Verdict::kNotD88, {}};

}  // namespace

const Recognition& RunRecognition() {
  return runRecognition;
}

int RunD88Cut(int argc, char** argv) {
  if (argc != 2) {
    const char* invokedAs = argc > 0 && argv[0] != nullptr ? argv[0] : "d88cut";
    PrintLocalFormatted(stderr, "Usage: %s [D88 image]\n", invokedAs);
    return 1;
  }
  if (!diskImage.Open(argv[1])) {
    ReportCannotOpen(argv[1], diskImage.OpenError());
    return 1;
  }
  RememberImageFile(diskImage);
  // The signature sector is read into the work buffer, whose zeros stand for
  // a missing sector; an unrecognised disk ends the run without a word.
  runRecognition = RecogniseImage(diskImage, volumeImage);
  if (runRecognition.verdict != Verdict::kRecognised) {
    return 0;
  }
  PrintText(stdout, kRecognisedMessage);

  diskImage.SetSectorRange(kRawFirstSector, kRawLastSector);
  if (CutArea("MAIN", kMainTrack, kMainTrack / 2, kMainTrack % 2, 1, kRawSizeCode, 0, kMainBytes) ==
      CutResult::kWriteFailed) {
    return 1;
  }
  if (CutArea("DEMO", kDemoTrack, kDemoTrack / 2, kDemoTrack % 2, 1, kRawSizeCode, 0, kDemoBytes) ==
      CutResult::kWriteFailed) {
    return 1;
  }
  LoadVolume();
  return WalkDirectory();
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
  runRecognition = Recognition{Verdict::kNotD88, {}};
}
