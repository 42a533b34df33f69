// The whole command run in-process, as the fuzzer and the benchmarks run it
// many times over in one process. POSIX only.
#ifndef TESTS_IN_PROCESS_RUN_H_
#define TESTS_IN_PROCESS_RUN_H_

#include <cstdio>

// RunToolInProcess's answer when it cannot enter `folder` or come back.
constexpr int kCannotRunInFolder = -1;

// Runs `d88cut IMAGE` with `folder` as the current folder and standard
// output and error going to `sink`, then comes back to the caller's folder
// and streams. The tool's state is as at start-up before the run, and again
// after it, so the image is closed when this returns. Returns the tool's
// exit status, or kCannotRunInFolder.
int RunToolInProcess(const char* folder, const char* image, FILE* sink);

#endif  // TESTS_IN_PROCESS_RUN_H_
