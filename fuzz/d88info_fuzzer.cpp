// Fuzzes d88info in-process: each input is a D88 image, written as DISK.D88
// into a private work folder and run as `d88info --tracks DISK.D88` there,
// with the reader and the text output back at start-up before every run.
// After the run the fuzzer checks that the status is 0 or 2 (the image
// always opens) and that the work folder holds the image alone, unchanged:
// d88info writes nothing. Its report goes to /dev/null; sanitizer reports
// and the fuzzer's log still reach standard error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tests/in_process_run.h"

namespace fs = std::filesystem;

namespace {

constexpr char kImageName[] = "DISK.D88";

fs::path privateFolder;  // holds only the work folder
fs::path workFolder;     // d88info's current folder
FILE* devNull = nullptr;

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "d88info_fuzzer: %s\n", what.c_str());
  abort();
}

void RemovePrivateFolder() {
  std::error_code ignored;
  fs::remove_all(privateFolder, ignored);
}

void WriteImage(const uint8_t* data, size_t size) {
  FILE* file = fopen((workFolder / kImageName).c_str(), "wb");
  if (file == nullptr || fwrite(data, 1, size, file) != size || fclose(file) != 0) {
    Fail("cannot write the image");
  }
}

bool ImageIsUnchanged(const uint8_t* data, size_t size) {
  FILE* file = fopen((workFolder / kImageName).c_str(), "rb");
  if (file == nullptr) {
    return false;
  }
  std::vector<uint8_t> bytes(size + 1);
  const size_t got = fread(bytes.data(), 1, bytes.size(), file);
  fclose(file);
  return got == size && (size == 0 || memcmp(bytes.data(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/d88info-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    Fail("cannot make a private folder");
  }
  privateFolder = fs::absolute(pattern);
  workFolder = privateFolder / "work";
  fs::create_directory(workFolder);
  atexit(RemovePrivateFolder);
  devNull = fopen("/dev/null", "w");
  if (devNull == nullptr) {
    Fail("cannot set up");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteImage(data, size);
  const int status =
      RunInProcess(kD88InfoCommand, {"--tracks", kImageName}, workFolder.c_str(), devNull);
  if (status == kCannotRunInFolder) {
    Fail("cannot run in the work folder");
  }
  if (status != 0 && status != 2) {
    Fail("exit status " + std::to_string(status));
  }
  if (!ImageIsUnchanged(data, size)) {
    Fail("the image was changed");
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(workFolder)) {
    if (entry.path().filename() != kImageName) {
      Fail("d88info wrote " + entry.path().string());
    }
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(privateFolder)) {
    if (entry.path() != workFolder) {
      Fail("written outside the work folder: " + entry.path().string());
    }
  }
  return 0;
}
