#include "tests/in_process_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "tool/stages.h"

int RunToolInProcess(const char* folder, const char* image, FILE* sink) {
  const int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (back < 0) {
    return kCannotRunInFolder;
  }
  if (chdir(folder) != 0) {
    close(back);
    return kCannotRunInFolder;
  }
  fflush(stdout);
  fflush(stderr);
  FILE* const realStdout = stdout;
  FILE* const realStderr = stderr;
  stdout = sink;
  stderr = sink;
  ResetToolState();
  char program[] = "d88cut";
  std::string imageArgument = image;
  char* argv[] = {program, imageArgument.data(), nullptr};
  const int status = RunD88Cut(2, argv);
  ResetToolState();
  fflush(sink);
  stdout = realStdout;
  stderr = realStderr;
  const bool cameBack = fchdir(back) == 0;
  close(back);
  return cameBack ? status : kCannotRunInFolder;
}
