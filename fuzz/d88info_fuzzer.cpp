// Fuzzes d88info in-process: each input is a D88 image, written as DISK.D88
// into a private work folder and run as `d88info --tracks DISK.D88` there
// (with --json too for an input of odd size), with the reader and the text
// output back at start-up before every run.
// After the run the fuzzer checks that the status is 0 or 2 (the image
// always opens) and that the work folder holds the image alone, unchanged:
// d88info writes nothing. Its report goes to /dev/null; sanitizer reports
// and the fuzzer's log still reach standard error.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/work_folder.h"
#include "testing/in_process_run.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUpWorkFolder("d88info_fuzzer");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteFuzzImage(data, size);
  const std::vector<std::string> arguments =
      size % 2 == 1 ? std::vector<std::string>{"--json", "--tracks", kFuzzImageName}
                    : std::vector<std::string>{"--tracks", kFuzzImageName};
  const int status =
      RunInProcess(kD88InfoCommand, arguments, WorkFolder().c_str(), FuzzOutputSink());
  if (status == kCannotRunInFolder) {
    FuzzFail("cannot run in the work folder");
  }
  if (status != 0 && status != 2) {
    FuzzFail("exit status " + std::to_string(status));
  }
  CheckImageUnchanged(data, size);
  for (const fs::directory_entry& entry : fs::directory_iterator(WorkFolder())) {
    if (entry.path().filename() != kFuzzImageName) {
      FuzzFail("d88info wrote " + entry.path().string());
    }
  }
  CheckNothingOutsideWorkFolder();
  return 0;
}
