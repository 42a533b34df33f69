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
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tests/in_process_run.h"

namespace fs = std::filesystem;

namespace {

constexpr char kImageName[] = "DISK.D88";
constexpr uintmax_t kMaxOutputBytes = 356 * 1024;  // every cluster of the volume

fs::path privateFolder;  // holds only the work folder
fs::path workFolder;     // the tool's current folder
FILE* devNull = nullptr;

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "d88cut_fuzzer: %s\n", what.c_str());
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

int RunInWorkFolder() {
  const int status = RunToolInProcess(workFolder.c_str(), kImageName, devNull);
  if (status == kCannotRunInFolder) {
    Fail("cannot run in the work folder");
  }
  return status;
}

// Checks what the run left in the work folder and removes it.
void CheckAndEmptyWorkFolder(const uint8_t* data, size_t size) {
  if (!ImageIsUnchanged(data, size)) {
    Fail("the image was changed");
  }
  std::vector<fs::path> made;
  for (const fs::directory_entry& entry : fs::directory_iterator(workFolder)) {
    made.push_back(entry.path());
  }
  for (const fs::path& path : made) {
    const fs::file_status status = fs::symlink_status(path);
    if (!fs::is_regular_file(status)) {
      Fail("not a plain file: " + path.string());
    }
    if (path.filename() != kImageName && fs::file_size(path) > kMaxOutputBytes) {
      Fail("file larger than the volume: " + path.string());
    }
    fs::remove(path);
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(privateFolder)) {
    if (entry.path() != workFolder) {
      Fail("written outside the work folder: " + entry.path().string());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/d88cut-fuzz-XXXXXX";
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
  // Recorded times are converted in a fixed zone, so runs repeat exactly.
  setenv("TZ", "UTC", 1);
  tzset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteImage(data, size);
  const int status = RunInWorkFolder();
  if (status != 0 && status != 1) {
    Fail("exit status " + std::to_string(status));
  }
  CheckAndEmptyWorkFolder(data, size);
  return 0;
}
