#include "info/text_report.h"

#include <cinttypes>
#include <cstdio>

#include "common/outputs_report.h"
#include "common/text_output.h"

void PrintTextHead(const ImageReport& report) {
  char line[320];
  if (report.counted) {
    snprintf(line, sizeof line, "image: %" PRId64 " bytes, %d %s\n", report.file.bytes,
             report.disks, report.disks == 1 ? "disk" : "disks");
  } else {
    snprintf(line, sizeof line, "image: %" PRId64 " bytes\n", report.file.bytes);
  }
  PrintText(stdout, line);
  char sha1[2 * kSha1Bytes + 1];
  WriteHex(report.file.sha1, kSha1Bytes, sha1);
  snprintf(line, sizeof line, "sha1: %s\n", sha1);
  PrintText(stdout, line);
  char words[kVerdictWordsBytes];
  DescribeVerdict(report.outputs->recognition, words, sizeof words);
  snprintf(line, sizeof line, "verdict: %s\n", words);
  PrintText(stdout, line);
}

void PrintTextTail(const ImageReport& report) {
  if (report.outputs->recognition.verdict == Verdict::kRecognised) {
    PrintOutputsSection(*report.outputs);
  }
}
