#include "tool/output.h"

#include <cstdio>
#include <cstring>

#include "common/output_health.h"
#include "common/text_output.h"
#include "platform/platform.h"

const char kCannotOpenMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x83\x49\x81\x5b\x83\x76\x83\x93\x82\xc5\x82\xab\x82"
    "\xdc"
    "\x82\xb9\x82\xf1\n";
const char kRecognisedMessage[] =
    "DISK 1"
    "\x82\xf0\x94\x46\x8e\xaf\x82\xb5\x82\xdc\x82\xb5\x82\xbd"
    ".\n";
const char kWriteFailureMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82"
    "\xf1"
    ". \n";

FILE* outputFile;

namespace {

// Output files are unbuffered: one write per run of clusters, straight from
// the volume's buffer. A failing disk is reported as a 4 KiB stream buffer
// would show it: by the write once a file has more than 4 KiB, else by the
// close.
constexpr int kOutputBlockBytes = 4096;
int outputBytes;
// Why the output file could not be created, written or closed; taken when
// the failure happens, which can be before it is reported.
SystemError outputError;

FileIdentity imageIdentity;
bool imageIdentityKnown;

// The names of the files the run opened for writing, in order: a subsequence
// of the outputs JudgeOutputs lists, which also holds those a name refused
// here, the image in the way, or a failure that ended the run kept unwritten.
char writtenNames[kMaxHealthOutputs][kFileNameBytes];
int writtenCount;

}  // namespace

OutputOpen OpenOutputFile(const char* name) {
  outputBytes = 0;
  outputError = 0;
  switch (OpenNamedOutput(name, imageIdentityKnown ? &imageIdentity : nullptr, &outputFile,
                          &outputError)) {
    case OutputOpening::kOpened:
      break;
    case OutputOpening::kIsImage:
      return OutputOpen::kIsImage;
    case OutputOpening::kRefused:
      return OutputOpen::kFailed;
  }
  setvbuf(outputFile, nullptr, _IONBF, 0);
  if (writtenCount < kMaxHealthOutputs) {
    snprintf(writtenNames[writtenCount++], kFileNameBytes, "%s", name);
  }
  return OutputOpen::kOpened;
}

bool WriteOutputFile(const uint8_t* data, int length) {
  if (length > 0) {
    if (fwrite(data, 1, static_cast<size_t>(length), outputFile) != static_cast<size_t>(length) &&
        outputError == 0) {
      outputError = LastFileError();
    }
    outputBytes += length;
  }
  return outputBytes <= kOutputBlockBytes || ferror(outputFile) == 0;
}

void SetOutputFileTimes(const FileTime& time) {
  SetOpenFileTimes(outputFile, time);
}

bool CloseOutputFile() {
  const bool hadError = ferror(outputFile) != 0;
  const bool closed = fclose(outputFile) == 0;
  if (!closed && outputError == 0) {
    outputError = LastFileError();
  }
  outputFile = nullptr;
  return closed && !hadError;
}

void ReportWriteFailure(const char* name) {
  const SystemError error = outputError;
  if (outputFile != nullptr) {
    fclose(outputFile);
    outputFile = nullptr;
  }
  EndUnfinishedTerminalLine(stdout);
  PrintText(stderr, kWriteFailureMessage);
  char reason[256];
  DescribeSystemError(error, reason, sizeof reason);
  PrintWriteFailureReason(stderr, name, reason);
}

void ReportCannotOpen(const char* path, SystemError error) {
  PrintText(stderr, kCannotOpenMessage);
  char reason[256];
  DescribeSystemError(error, reason, sizeof reason);
  PrintOpenFailureReason(stderr, path, reason);
}

void ReportCannotRead(const char* path, SystemError error) {
  char reason[256];
  DescribeSystemError(error, reason, sizeof reason);
  PrintReadFailure(stderr, "d88cut", path, reason);
}

void RememberImageFile(const D88Image& image) {
  imageIdentityKnown = image.IdentifyImage(&imageIdentity);
}

void ReportImageInTheWay(const char* name) {
  PrintNameMessage(stderr, "image file would be overwritten, not written: ", name);
}

void ReportUnsafeName(const char* name) {
  PrintNameMessage(stderr, "unsafe file name, not written: ", name);
}

void ReportDamagedOutputs(D88Image& image, const char* path) {
  if (writtenCount == 0 || !RunsAtAPrompt() || !GoesToTerminal(stderr) || image.ReadFailed()) {
    return;
  }
  static DiskHealth health;
  JudgeOutputs(image, &health);
  if (image.ReadFailed() || health.recognition.verdict != Verdict::kRecognised) {
    return;
  }
  const char* damaged[kMaxHealthOutputs];
  int count = 0;
  int written = 0;
  for (int i = 0; i < health.outputs && written < writtenCount; ++i) {
    const OutputHealth& output = health.output[i];
    if (strcmp(output.name, writtenNames[written]) != 0) {
      continue;
    }
    ++written;
    if (output.problems != 0) {
      damaged[count++] = output.name;
    }
  }
  PrintDamagedOutputs(stderr, damaged, count, path);
}

void ResetOutput() {
  writtenCount = 0;
  imageIdentityKnown = false;
  outputBytes = 0;
  outputError = 0;
}
