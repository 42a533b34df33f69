// Fuzzes d88merge in-process: each input is cut into two or three dumps at
// each "D88|" in it (an input without one is its own two dumps), written as
// DUMP1.D88, DUMP2.D88... into a private work folder and merged there with
// `d88merge -o MERGED.D88 DUMP1.D88 DUMP2.D88...` (with --json too for an
// input of odd size), the readers and the text output back at start-up
// before every run.
// After the run the fuzzer checks that the status is 0, 1 or 2; that the
// dumps are unchanged; that MERGED.D88 is there only after status 0, and
// nothing else ever is (no file half written); and that a merged image is a
// D88 image whose first disk's size field is the file's size or less. Its
// report goes to /dev/null.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "d88/d88_image.h"
#include "fuzz/work_folder.h"
#include "testing/in_process_run.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSeparator[] = "D88|";
constexpr size_t kSeparatorLength = sizeof kSeparator - 1;
constexpr char kMerged[] = "MERGED.D88";

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> CutDumps(const uint8_t* data, size_t size) {
  std::vector<Bytes> dumps;
  size_t start = 0;
  for (size_t at = 0; dumps.size() < 2 && at + kSeparatorLength <= size; ++at) {
    if (memcmp(data + at, kSeparator, kSeparatorLength) == 0) {
      dumps.emplace_back(data + start, data + at);
      start = at + kSeparatorLength;
      at = start - 1;
    }
  }
  dumps.emplace_back(data + start, data + size);
  if (dumps.size() == 1) {
    dumps.push_back(dumps.front());
  }
  return dumps;
}

Bytes ReadWhole(const fs::path& path) {
  Bytes bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) {
    FuzzFail("cannot read " + path.string());
  }
  uint8_t buffer[65536];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  fclose(file);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUpWorkFolder("d88merge_fuzzer");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<Bytes> dumps = CutDumps(data, size);
  std::vector<std::string> arguments = {"-o", kMerged};
  if (size % 2 == 1) {
    arguments.insert(arguments.begin(), "--json");
  }
  std::set<std::string> names;
  for (size_t i = 0; i < dumps.size(); ++i) {
    const std::string name = "DUMP" + std::to_string(i + 1) + ".D88";
    FILE* file = fopen((WorkFolder() / name).c_str(), "wb");
    if (file == nullptr || fwrite(dumps[i].data(), 1, dumps[i].size(), file) != dumps[i].size() ||
        fclose(file) != 0) {
      FuzzFail("cannot write " + name);
    }
    arguments.push_back(name);
    names.insert(name);
  }
  const int status =
      RunInProcess(kD88MergeCommand, arguments, WorkFolder().c_str(), FuzzOutputSink());
  if (status == kCannotRunInFolder) {
    FuzzFail("cannot run in the work folder");
  }
  if (status < 0 || status > 2) {
    FuzzFail("exit status " + std::to_string(status));
  }
  for (size_t i = 0; i < dumps.size(); ++i) {
    if (ReadWhole(WorkFolder() / ("DUMP" + std::to_string(i + 1) + ".D88")) != dumps[i]) {
      FuzzFail("dump " + std::to_string(i + 1) + " was changed");
    }
  }
  bool merged = false;
  for (const fs::directory_entry& entry : fs::directory_iterator(WorkFolder())) {
    const std::string name = entry.path().filename().string();
    if (name == kMerged && status == 0) {
      merged = true;
    } else if (names.count(name) == 0) {
      FuzzFail("d88merge left " + name + " after status " + std::to_string(status));
    }
  }
  if (status == 0) {
    if (!merged) {
      FuzzFail("status 0 and no merged image");
    }
    static D88Image image;
    const fs::path path = WorkFolder() / kMerged;
    int64_t mergedSize = 0;
    if (!image.Open(path.c_str()) || image.DiskCount() < 1 || !image.SelectDisk(0) ||
        !OpenFileSize(image.ImageStream(), &mergedSize) || image.DiskSize() < kDiskHeaderSize ||
        image.DiskSize() > mergedSize) {
      FuzzFail("the merged image is no D88 image");
    }
    image.Reset();
    fs::remove(path);
  }
  for (const std::string& name : names) {
    fs::remove(WorkFolder() / name);
  }
  CheckNothingOutsideWorkFolder();
  return 0;
}
