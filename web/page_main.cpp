// The page's entry. The worker mounts the chosen image, runs main on it in a
// fresh instance, and then asks how the image was judged, to tell the user in
// plain words why an image is not the disk.
#include <emscripten.h>

#include "common/recognition.h"
#include "platform/platform.h"
#include "tool/stages.h"

int main(int argc, char** argv) {
  const CommandLine commandLine(argc, argv);
  PrepareLocalTime();
  return RunD88Cut(commandLine.argc, commandLine.argv);
}

// The run's verdict, as VerdictName gives it.
extern "C" EMSCRIPTEN_KEEPALIVE const char* D88cutVerdictName() {
  return VerdictName(RunRecognition().verdict);
}

// Bytes 1-16 of the signature sector as the run found them.
extern "C" EMSCRIPTEN_KEEPALIVE const uint8_t* D88cutFoundBytes() {
  return RunRecognition().found;
}
