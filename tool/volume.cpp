#include "tool/volume.h"

D88Image diskImage;
uint8_t volumeImage[kVolumeImageBytes];
uint8_t fatBytes[kFatBytes];
uint8_t rootDirectory[kRootDirectoryBytes];
uint16_t clusterTable[kClusterTableEntries];
