// d88info's report as plain lines, for people: the head and the outputs
// around the disks' lines (report.h).
#ifndef INFO_TEXT_REPORT_H_
#define INFO_TEXT_REPORT_H_

#include "info/report_model.h"

// "image: N bytes" (and ", N disks" when counted), "sha1: ..." and
// "verdict: ..." on standard output.
void PrintTextHead(const ImageReport& report);
// For a recognised disk, the outputs section (outputs_report.h).
void PrintTextTail(const ImageReport& report);

#endif  // INFO_TEXT_REPORT_H_
