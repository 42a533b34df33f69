// d88info --brief: one line for an image, for reading a shelf of dumps at a
// glance.
#ifndef INFO_BRIEF_LINE_H_
#define INFO_BRIEF_LINE_H_

#include "common/output_health.h"

// Prints on standard output, through the text output layer, "PATH: " and
// the verdict on the image's first disk; for a recognised disk then ", N
// files, M damaged" and, after ": ", the damaged outputs' names; for one that
// is not a D88 image, why, between parentheses. `health` is the disk as
// JudgeOutputs judged it.
void PrintBriefLine(const char* path, const DiskHealth& health);

#endif  // INFO_BRIEF_LINE_H_
