// d88info --brief: one line for an image, for reading a shelf of dumps at a
// glance.
#ifndef INFO_BRIEF_LINE_H_
#define INFO_BRIEF_LINE_H_

#include "info/report_model.h"

// Prints on standard output, through the text output layer, "PATH: " and
// the verdict on the image's first disk; for a recognised disk then ", N
// files, M damaged" and, after ": ", the damaged outputs' names; for one that
// is not a D88 image, why, between parentheses.
void PrintBriefLine(const ImageReport& report);

#endif  // INFO_BRIEF_LINE_H_
