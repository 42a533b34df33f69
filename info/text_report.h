// d88info's report as plain lines, for people: the head and the outputs
// around the disks' lines (report.h).
#ifndef INFO_TEXT_REPORT_H_
#define INFO_TEXT_REPORT_H_

#include "info/disk_walk.h"
#include "info/report_model.h"

// "image: N bytes" (and ", N disks" when counted), "sha1: ..." and
// "verdict: ..." on standard output.
void PrintTextHead(const ImageReport& report);
// Each disk: "disk N" after a blank line, its fields, its track runs and
// oddities ("  oddity: ..."), and with --tracks each track's IDs. Tracks in
// a row whose offsets point where no sector can be read, all outside the
// disk or all past the end of the image, share one line, as a cut-short
// image has dozens; tracks with no offset between them do not end the row.
extern const DiskRenderer kTextDisks;
// For a recognised disk, the outputs section (outputs_report.h).
void PrintTextTail(const ImageReport& report);

#endif  // INFO_TEXT_REPORT_H_
