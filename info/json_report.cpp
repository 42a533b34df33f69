#include "info/json_report.h"

#include "common/json_writer.h"
#include "common/outputs_report.h"

void StartJsonReport(const ImageReport& report) {
  const Recognition& recognition = report.outputs->recognition;
  char sha1[2 * kSha1Bytes + 1];
  WriteHex(report.file.sha1, kSha1Bytes, sha1);
  JsonReset();
  JsonOpen('{');
  JsonKey("path");
  JsonPath(report.file.path);
  JsonKey("sha1");
  JsonText(sha1);
  JsonKey("image");
  JsonOpen('{');
  JsonKey("bytes");
  JsonNumber(report.file.bytes);
  if (report.counted) {
    JsonKey("disks");
    JsonNumber(report.disks);
  }
  JsonClose('}');
  JsonKey("verdict");
  JsonText(VerdictName(recognition.verdict));
  JsonKey("verdict_words");
  char words[kVerdictWordsBytes];
  DescribeVerdict(recognition, words, sizeof words);
  JsonText(words);
  JsonKey("signature_found_hex");
  JsonHex(recognition.found, kSignatureLength);
}

void EndJsonReport(const ImageReport& report) {
  if (report.outputs->recognition.verdict == Verdict::kRecognised) {
    JsonOutputs(*report.outputs);
    JsonDirectoriesNotEntered(*report.outputs);
  }
  JsonClose('}');
  JsonFinish();
}
