#include "info/report_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The outputs d88cut writes from the first disk, and how whole they are.
DiskHealth health;
// The same, judged by the caller already (UseJudgedOutputs); nullptr: judge.
const DiskHealth* judgedOutputs = nullptr;

}  // namespace

void UseJudgedOutputs(const DiskHealth* judged) {
  judgedOutputs = judged;
}

bool CollectReport(D88Image& image, const ReportedImage& file, ImageReport* report) {
  const DiskHealth* judged = judgedOutputs;
  judgedOutputs = nullptr;
  *report = ImageReport{file, false, 0, &health};
  if (judged != nullptr && judged->recognition.verdict == Verdict::kRecognised) {
    report->outputs = judged;
  } else {
    // Recognises the first disk and, for the disk, makes d88cut's reads
    // again into buffers of its own.
    JudgeOutputs(image, &health);
  }
  report->counted = report->outputs->recognition.verdict != Verdict::kNotD88;
  report->disks = image.DiskCount();
  return !image.ReadFailed();
}

void DescribeVerdict(const Recognition& recognition, char* words, size_t capacity) {
  if (capacity == 0) {
    return;
  }
  size_t length = 0;
  const auto put = [&](const char* text) {
    const int written = snprintf(words + length, capacity - length, "%s", text);
    if (written > 0) {
      length = std::min(length + static_cast<size_t>(written), capacity - 1);
    }
  };
  words[0] = '\0';
  switch (recognition.verdict) {
    case Verdict::kRecognised:
      put("recognised");
      break;
    case Verdict::kNotD88: {
      char fault[128];
      DescribeHeaderFault(recognition, fault, sizeof fault);
      put("not a D88 image");
      if (fault[0] != '\0') {
        put(": ");
        put(fault);
      }
      break;
    }
    case Verdict::kNoFirstSector:
      put("no sector C0 H0 R1 N1 on the first disk");
      break;
    case Verdict::kSignatureDiffers:
      // The bytes found, in quotes, each byte that is not printable ASCII
      // as \xNN.
      put("signature differs, found \"");
      for (int i = 0; i < kSignatureLength; ++i) {
        const uint8_t byte = recognition.found[i];
        char piece[8];
        if (byte == '"' || byte == '\\') {
          snprintf(piece, sizeof piece, "\\%c", byte);
        } else if (byte >= 0x20 && byte < 0x7F) {
          snprintf(piece, sizeof piece, "%c", byte);
        } else {
          snprintf(piece, sizeof piece, "\\x%02x", byte);
        }
        put(piece);
      }
      put("\"");
      break;
  }
}
