#include "info/brief_line.h"

#include <cstdio>

#include "common/text_output.h"
void PrintBriefLine(const ImageReport& report) {
  const DiskHealth& health = *report.outputs;
  char shown[4096];
  PrintLocalFormatted(stdout, "%s: ", PathAsShown(stdout, report.file.path, shown, sizeof shown));
  char words[kVerdictWordsBytes];
  DescribeVerdict(health.recognition, words, sizeof words);
  char line[320];
  if (health.recognition.verdict == Verdict::kNotD88) {
    char fault[128];
    DescribeHeaderFault(health.recognition, fault, sizeof fault);
    PrintText(stdout, VerdictWords(Verdict::kNotD88));
    if (fault[0] != '\0') {
      snprintf(line, sizeof line, " (%s)", fault);
      PrintText(stdout, line);
    }
    PrintText(stdout, "\n");
    return;
  }
  PrintText(stdout, words);
  if (health.recognition.verdict != Verdict::kRecognised) {
    PrintText(stdout, "\n");
    return;
  }
  int damaged = 0;
  for (int i = 0; i < health.outputs; ++i) {
    damaged += health.output[i].problems != 0 ? 1 : 0;
  }
  snprintf(line, sizeof line, ", %d %s, %d damaged", health.outputs,
           health.outputs == 1 ? "file" : "files", damaged);
  PrintText(stdout, line);
  const char* separator = ": ";
  for (int i = 0; i < health.outputs; ++i) {
    if (health.output[i].problems != 0) {
      PrintText(stdout, separator);
      PrintDiskName(stdout, health.output[i].name, 0);
      separator = ", ";
    }
  }
  PrintText(stdout, "\n");
}
