// The images under a folder, for d88info: every regular file whose name ends
// in ".d88" (in any case), in the byte order of their paths, found with
// memory that does not grow with the number of files.
#ifndef INFO_FOLDER_WALK_H_
#define INFO_FOLDER_WALK_H_

#include "platform/platform.h"

// Deepest folders entered below the one given, and the longest path made.
constexpr int kMaxFolderDepth = 16;
constexpr int kMaxWalkPathBytes = 4096;

// Calls `visit` with the path of each image under `folder`: the folder as
// given, "/" (unless it ends in one), and the path inside. Links, to files
// or folders, are passed over. A folder that cannot be read is given to
// `visit` with the reason in `error` (0 for an image); so is one that lies
// deeper than kMaxFolderDepth or whose path would pass kMaxWalkPathBytes,
// with kFolderTooDeep. The path is valid during the call only.
constexpr SystemError kFolderTooDeep = INT_MIN + 2;
void WalkImageFolder(const char* folder,
                     void (*visit)(const char* path, SystemError error, void* context),
                     void* context);

#endif  // INFO_FOLDER_WALK_H_
