// What the command fuzzers share: a private directory under TMPDIR (or /tmp)
// that holds one work folder, where each input is written as DISK.D88 and
// the command runs with its output going to /dev/null. Nothing else may
// appear in the private directory, which is removed at exit.
#ifndef FUZZ_WORK_FOLDER_H_
#define FUZZ_WORK_FOLDER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

constexpr char kFuzzImageName[] = "DISK.D88";

// Makes the directories, named after `fuzzer`, which also starts every
// message of FuzzFail. Call once, from LLVMFuzzerInitialize.
void SetUpWorkFolder(const char* fuzzer);
const std::filesystem::path& WorkFolder();
// /dev/null, for the command's output.
FILE* FuzzOutputSink();

// Reports `what` on standard error and aborts, so that libFuzzer keeps the
// input.
[[noreturn]] void FuzzFail(const std::string& what);

// Writes the input as DISK.D88 in the work folder.
void WriteFuzzImage(const uint8_t* data, size_t size);
// Fails unless DISK.D88 still holds exactly the input.
void CheckImageUnchanged(const uint8_t* data, size_t size);
// Fails if anything but the work folder is in the private directory.
void CheckNothingOutsideWorkFolder();

#endif  // FUZZ_WORK_FOLDER_H_
