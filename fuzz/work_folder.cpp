#include "fuzz/work_folder.h"

#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string fuzzerName = "fuzzer";
fs::path privateFolder;  // directory that holds only the work folder
fs::path workFolder;     // the command's current folder
FILE* devNull = nullptr;

void RemovePrivateFolder() {
  std::error_code ignored;
  fs::remove_all(privateFolder, ignored);
}

}  // namespace

void SetUpWorkFolder(const char* fuzzer) {
  fuzzerName = fuzzer;
  const char* tmp = getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + fuzzerName + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    FuzzFail("cannot make a private folder");
  }
  privateFolder = fs::absolute(pattern);
  workFolder = privateFolder / "work";
  fs::create_directory(workFolder);
  atexit(RemovePrivateFolder);
  devNull = fopen("/dev/null", "w");
  if (devNull == nullptr) {
    FuzzFail("cannot open /dev/null");
  }
}

const fs::path& WorkFolder() {
  return workFolder;
}

FILE* FuzzOutputSink() {
  return devNull;
}

void FuzzFail(const std::string& what) {
  fprintf(stderr, "%s: %s\n", fuzzerName.c_str(), what.c_str());
  abort();
}

void WriteFuzzImage(const uint8_t* data, size_t size) {
  FILE* file = fopen((workFolder / kFuzzImageName).c_str(), "wb");
  if (file == nullptr || fwrite(data, 1, size, file) != size || fclose(file) != 0) {
    FuzzFail("cannot write the image");
  }
}

void CheckImageUnchanged(const uint8_t* data, size_t size) {
  FILE* file = fopen((workFolder / kFuzzImageName).c_str(), "rb");
  if (file == nullptr) {
    FuzzFail("the image is gone");
  }
  std::vector<uint8_t> bytes(size + 1);
  const size_t got = fread(bytes.data(), 1, bytes.size(), file);
  fclose(file);
  if (got != size || (size > 0 && memcmp(bytes.data(), data, size) != 0)) {
    FuzzFail("the image was changed");
  }
}

void CheckNothingOutsideWorkFolder() {
  for (const fs::directory_entry& entry : fs::directory_iterator(privateFolder)) {
    if (entry.path() != workFolder) {
      FuzzFail("written outside the work folder: " + entry.path().string());
    }
  }
}
