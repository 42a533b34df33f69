// The page's entry. The worker mounts the chosen image and runs main on it in
// a fresh instance; before main returns, the worker is told how the image was
// judged, to tell the user in plain words why an image is not the disk, and
// collects the files the run left. Nothing in the module is called once main
// has returned, since its runtime has exited by then.
#include <emscripten.h>

#include "common/recognition.h"
#include "platform/platform.h"
#include "tool/stages.h"

// The run has ended: its verdict, as VerdictName gives it, and bytes 1-16 of
// the signature sector as the run found them.
EM_JS(void, PassRunEnd, (const char* verdict, const uint8_t* found, int length),
      { Module.d88cutRunEnded(UTF8ToString(verdict), HEAPU8.slice(found, found + length)); });

int main(int argc, char** argv) {
  const CommandLine commandLine(argc, argv);
  PrepareLocalTime();
  const int status = RunD88Cut(commandLine.argc, commandLine.argv);
  const Recognition& recognition = RunRecognition();
  PassRunEnd(VerdictName(recognition.verdict), recognition.found, kSignatureLength);
  return status;
}
