// d88info's report as one JSON document on one line, for scripts: its
// start and its end around the disks (report.h).
#ifndef INFO_JSON_REPORT_H_
#define INFO_JSON_REPORT_H_

#include "info/disk_walk.h"
#include "info/report_model.h"

// Starts the document: path, sha1, image, verdict, verdict_words and
// signature_found_hex; the object stays open for the disks.
void StartJsonReport(const ImageReport& report);
// The array "disks": each disk's fields, the same words as the text's and
// the bytes, its track runs, its own oddities, and the tracks that have
// oddities or, with --tracks, IDs, each with its own.
extern const DiskRenderer kJsonDisks;
// For a recognised disk the outputs and the folders not entered; then
// ends the object and its line.
void EndJsonReport(const ImageReport& report);

#endif  // INFO_JSON_REPORT_H_
