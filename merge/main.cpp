#include "merge/command.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  const CommandLine commandLine(argc, argv);
  return RunD88Merge(commandLine.argc, commandLine.argv);
}
