#include "testing/in_process_run.h"

#include <fcntl.h>
#include <unistd.h>

#include "info/command.h"
#include "merge/command.h"
#include "tool/stages.h"

const InProcessCommand kD88CutCommand = {"d88cut", RunD88Cut, ResetToolState};
const InProcessCommand kD88InfoCommand = {"d88info", RunD88Info, ResetInfoState};
const InProcessCommand kD88MergeCommand = {"d88merge", RunD88Merge, ResetMergeState};

int RunInProcess(const InProcessCommand& command, const std::vector<std::string>& arguments,
                 const char* folder, FILE* sink) {
  const int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (back < 0) {
    return kCannotRunInFolder;
  }
  if (chdir(folder) != 0) {
    close(back);
    return kCannotRunInFolder;
  }
  std::vector<std::string> words = {command.program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);

  fflush(stdout);
  fflush(stderr);
  FILE* const realStdout = stdout;
  FILE* const realStderr = stderr;
  stdout = sink;
  stderr = sink;
  command.reset();
  const int status = command.run(static_cast<int>(words.size()), argv.data());
  command.reset();
  fflush(sink);
  clearerr(sink);
  stdout = realStdout;
  stderr = realStderr;
  const bool cameBack = fchdir(back) == 0;
  close(back);
  return cameBack ? status : kCannotRunInFolder;
}

int RunToolInProcess(const char* folder, const char* image, FILE* sink) {
  return RunInProcess(kD88CutCommand, {image}, folder, sink);
}
