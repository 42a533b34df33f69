// The listing line of the root-directory walk; the entries themselves are
// decoded by common/volume_decoding.h.
#ifndef TOOL_DIRECTORY_WALK_H_
#define TOOL_DIRECTORY_WALK_H_

#include <cstdio>

#include "common/volume_decoding.h"

// The listing line up to and including the three spaces after the flags;
// the line feed follows once the file is written.
void PrintListingLine(FILE* out, const char* name, const DirectoryEntry& entry);

#endif  // TOOL_DIRECTORY_WALK_H_
