#include "info/command.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  const CommandLine commandLine(argc, argv);
  return RunD88Info(commandLine.argc, commandLine.argv);
}
