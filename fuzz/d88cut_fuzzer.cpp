// Fuzzes the whole command in-process: each input is a D88 image, written as
// DISK.D88 into a private work folder and run as `d88cut DISK.D88` there,
// with the tool's state back at start-up before every run. After the run
// the fuzzer checks what the tool left behind and empties the folder:
// - the status is 0 or 1;
// - the work folder holds plain files only, none larger than the volume's
//   356 clusters, and the image is unchanged;
// - nothing appeared beside the work folder.
// The tool's own output goes to /dev/null; sanitizer reports and the
// fuzzer's log still reach standard error.
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/work_folder.h"
#include "testing/in_process_run.h"

namespace fs = std::filesystem;

namespace {

constexpr uintmax_t kMaxOutputBytes = 356 * 1024;  // every cluster of the volume

// Checks what the run left in the work folder and removes it.
void CheckAndEmptyWorkFolder(const uint8_t* data, size_t size) {
  CheckImageUnchanged(data, size);
  std::vector<fs::path> made;
  for (const fs::directory_entry& entry : fs::directory_iterator(WorkFolder())) {
    made.push_back(entry.path());
  }
  for (const fs::path& path : made) {
    const fs::file_status status = fs::symlink_status(path);
    if (!fs::is_regular_file(status)) {
      FuzzFail("not a plain file: " + path.string());
    }
    if (path.filename() != kFuzzImageName && fs::file_size(path) > kMaxOutputBytes) {
      FuzzFail("file larger than the volume: " + path.string());
    }
    fs::remove(path);
  }
  CheckNothingOutsideWorkFolder();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUpWorkFolder("d88cut_fuzzer");
  // Recorded times are converted in a fixed zone, so runs repeat exactly.
  setenv("TZ", "UTC", 1);
  tzset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteFuzzImage(data, size);
  const int status = RunToolInProcess(WorkFolder().c_str(), kFuzzImageName, FuzzOutputSink());
  if (status == kCannotRunInFolder) {
    FuzzFail("cannot run in the work folder");
  }
  if (status != 0 && status != 1) {
    FuzzFail("exit status " + std::to_string(status));
  }
  CheckAndEmptyWorkFolder(data, size);
  return 0;
}
