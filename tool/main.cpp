#include "platform/platform.h"
#include "tool/stages.h"

int main(int argc, char** argv) {
  const CommandLine commandLine(argc, argv);
  PrepareLocalTime();
  return RunD88Cut(commandLine.argc, commandLine.argv);
}
