#include "info/folder_walk.h"

#include <cstring>

namespace {

// Each folder is read in batches: a pass over its entries keeps the
// kBatchKeys smallest keys after the last one taken, so that a folder of any
// size takes fixed memory, and a folder of n entries about n / kBatchKeys
// passes, and one more after each folder in it. A key is an entry's name,
// with "/" after a folder's, so that keys sort as the paths under them do
// ("a.d88" < "a/..." < "a0.d88"). One batch serves every level: a folder
// entered takes it over, and its parent reads its next batch on its return.
constexpr int kBatchKeys = 64;
// A name from any system's folder, in UTF-8, and the "/".
constexpr size_t kKeyBytes = 256 * 3 + 2;

struct Batch {
  int count;
  char key[kBatchKeys][kKeyBytes];
};
Batch batch;
char path[kMaxWalkPathBytes];

struct Pass {
  Batch* batch;
  const char* after;  // nullptr: the folder's first pass
};

bool EndsInD88(const char* name, size_t length) {
  if (length < 4) {
    return false;
  }
  const char* end = name + length - 4;
  return end[0] == '.' && (end[1] == 'd' || end[1] == 'D') && end[2] == '8' && end[3] == '8';
}

void Consider(const char* name, FolderEntry kind, void* context) {
  Pass& pass = *static_cast<Pass*>(context);
  const size_t length = strlen(name);
  if (kind == FolderEntry::kOther || (kind == FolderEntry::kFile && !EndsInD88(name, length)) ||
      length + 2 > kKeyBytes) {
    return;
  }
  char key[kKeyBytes];
  memcpy(key, name, length);
  if (kind == FolderEntry::kFolder) {
    key[length] = '/';
    key[length + 1] = '\0';
  } else {
    key[length] = '\0';
  }
  if (pass.after != nullptr && strcmp(key, pass.after) <= 0) {
    return;
  }
  Batch& batch = *pass.batch;
  int at = batch.count;
  while (at > 0 && strcmp(key, batch.key[at - 1]) < 0) {
    --at;
  }
  if (at == kBatchKeys) {
    return;  // past the batch's largest
  }
  const int kept = batch.count < kBatchKeys ? batch.count : kBatchKeys - 1;
  memmove(batch.key[at + 1], batch.key[at], static_cast<size_t>(kept - at) * kKeyBytes);
  memcpy(batch.key[at], key, length + 2);
  batch.count = kept + 1;
}

void WalkLevel(size_t pathLength, int depth,
               void (*visit)(const char* path, SystemError error, void* context), void* context) {
  if (depth > kMaxFolderDepth) {
    visit(path, kFolderTooDeep, context);
    return;
  }
  char after[kKeyBytes];
  Pass pass = {&batch, nullptr};
  for (;;) {
    batch.count = 0;
    SystemError error = 0;
    if (!ListFolder(path, Consider, &pass, &error)) {
      visit(path, error, context);
      return;
    }
    const bool whole = batch.count < kBatchKeys;
    bool entered = false;
    for (int i = 0; i < batch.count && !entered; ++i) {
      memcpy(after, batch.key[i], strlen(batch.key[i]) + 1);
      pass.after = after;
      size_t keyLength = strlen(after);
      const bool folder = after[keyLength - 1] == '/';
      keyLength -= folder ? 1 : 0;
      const bool slash = pathLength > 0 && path[pathLength - 1] != '/';
      const size_t length = pathLength + (slash ? 1 : 0) + keyLength;
      if (length >= sizeof path) {
        visit(path, kFolderTooDeep, context);
        continue;
      }
      if (slash) {
        path[pathLength] = '/';
      }
      memcpy(path + length - keyLength, after, keyLength);
      path[length] = '\0';
      if (folder) {
        WalkLevel(length, depth + 1, visit, context);
        entered = true;  // the batch is the folder's now
      } else {
        visit(path, 0, context);
      }
      path[pathLength] = '\0';
    }
    if (whole && !entered) {
      return;
    }
  }
}

}  // namespace

void WalkImageFolder(const char* folder,
                     void (*visit)(const char* path, SystemError error, void* context),
                     void* context) {
  const size_t length = strlen(folder);
  if (length >= sizeof path) {
    visit(folder, kFolderTooDeep, context);
    return;
  }
  memcpy(path, folder, length + 1);
  WalkLevel(length, 0, visit, context);
}
