#include "info/report.h"

#include "info/disk_walk.h"
#include "info/json_report.h"
#include "info/text_report.h"

Verdict PrintReport(D88Image& image, const ImageReport& report, bool everyId, bool asJson) {
  if (asJson) {
    StartJsonReport(report);
  } else {
    PrintTextHead(report);
  }
  if (report.counted) {
    WalkDisks(image, report.file.bytes, everyId, asJson ? kJsonDisks : kTextDisks);
  }
  if (!image.ReadFailed()) {
    if (asJson) {
      EndJsonReport(report);
    } else {
      PrintTextTail(report);
    }
  }
  return report.outputs->recognition.verdict;
}
