// The commands run in-process, as the fuzzers and the benchmarks run them
// many times over in one process. POSIX only.
#ifndef TESTING_IN_PROCESS_RUN_H_
#define TESTING_IN_PROCESS_RUN_H_

#include <cstdio>
#include <string>
#include <vector>

// RunInProcess's answer when it cannot enter `folder` or come back.
constexpr int kCannotRunInFolder = -1;

// A command that can run in-process: its name, its entry point, and what
// returns its state to how it was at start-up.
struct InProcessCommand {
  const char* program;
  int (*run)(int argc, char** argv);
  void (*reset)();
};
extern const InProcessCommand kD88CutCommand;
extern const InProcessCommand kD88InfoCommand;
extern const InProcessCommand kD88MergeCommand;

// Runs `command` with `arguments` (the program's name left out), with
// `folder` as the current folder and standard output and error going to
// `sink`, then comes back to the caller's folder and streams. The command's
// state is as at start-up before the run, and again after it, so the image
// is closed when this returns. Returns the exit status, or
// kCannotRunInFolder.
int RunInProcess(const InProcessCommand& command, const std::vector<std::string>& arguments,
                 const char* folder, FILE* sink);

// `d88cut IMAGE`, as RunInProcess runs it.
int RunToolInProcess(const char* folder, const char* image, FILE* sink);

#endif  // TESTING_IN_PROCESS_RUN_H_
