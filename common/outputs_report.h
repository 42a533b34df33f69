// The files d88cut writes from a recognised disk and whether each is
// whole, as d88info's report shows them and d88merge's report ends: the
// "outputs:" section of the text, and the "outputs" of the JSON.
#ifndef COMMON_OUTPUTS_REPORT_H_
#define COMMON_OUTPUTS_REPORT_H_

#include "common/output_health.h"

// Prints on standard output, through the text output layer, a blank line,
// "outputs:", then a line for each output: its name as the listing shows
// it, its size, and "intact" or "damaged:" with the kinds and, between
// parentheses, the sectors or clusters that make it so, and " replaced by a
// later output" for one whose file a later one takes, and below it, indented,
// the CRC-32 and SHA-1 of the bytes written; then the folders that are not
// entered, if any.
void PrintOutputsSection(const DiskHealth& health);

// Writes the key "outputs" and its array into the open JSON object: for
// each output its name (decoded) and name_hex, size, recorded_size, health,
// replaced, problems, details, crc32 (8 lowercase hex digits) and sha1 (40).
void JsonOutputs(const DiskHealth& health);
// Writes the key "directories_not_entered" and the folders' names.
void JsonDirectoriesNotEntered(const DiskHealth& health);

#endif  // COMMON_OUTPUTS_REPORT_H_
