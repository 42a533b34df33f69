// d88info's report as one JSON document on one line, for scripts: its
// start and its end around the disks (report.h).
#ifndef INFO_JSON_REPORT_H_
#define INFO_JSON_REPORT_H_

#include "info/report_model.h"

// Starts the document: path, sha1, image, verdict, verdict_words and
// signature_found_hex; the object stays open for the disks.
void StartJsonReport(const ImageReport& report);
// For a recognised disk the outputs and the folders not entered; then
// ends the object and its line.
void EndJsonReport(const ImageReport& report);

#endif  // INFO_JSON_REPORT_H_
