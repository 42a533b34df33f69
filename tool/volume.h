// The static buffers the recognised disk's stages share, and its layout
// (common/disk_layout.h).
#ifndef TOOL_VOLUME_H_
#define TOOL_VOLUME_H_

#include <cstdint>

#include "common/disk_layout.h"
#include "d88/d88_image.h"

// The one reader, open on the image for the whole run.
extern D88Image diskImage;
// Scratch space for the signature sector and the raw areas, then the
// volume's tracks, one 4,608-byte slot each.
extern uint8_t volumeImage[kVolumeImageBytes];
extern uint8_t fatBytes[kFatBytes];
extern uint8_t rootDirectory[kRootDirectoryBytes];
extern uint16_t clusterTable[kClusterTableEntries];

#endif  // TOOL_VOLUME_H_
