// The stages of one run, in the order they run. Each returns to its caller,
// so every exit is a return from main and a run can be driven in-process.
#ifndef TOOL_STAGES_H_
#define TOOL_STAGES_H_

#include <cstdint>

#include "common/recognition.h"

// The whole run: command line, recognition, raw areas, volume, listing.
// Returns the process exit status: 1 also when reading the image failed, or
// when standard output could not be written (after every file was).
int RunD88Cut(int argc, char** argv);

// How the run judged its image: kNotD88, with zeros found, until an image has
// been opened and judged (and so after the usage or open-failure message).
const Recognition& RunRecognition();

// Returns the tool's static state (reader, buffers, output) to how it was at
// start-up, so that another run can follow in the same process.
void ResetToolState();

enum class CutResult {
  kAreaMissing,  // the area's first sector is missing: nothing printed or written
  kCut,          // the area was announced (and written unless it is the image)
  kWriteFailed,  // reported on standard error; the run ends with status 1
  kReadFailed,   // reading the image failed: nothing printed or written, and
                 // the caller reports it; the run ends with status 1
};

// Reads skip + length bytes as a run from the given sector into volumeImage
// and writes `length` of them, from `skip`, to the file `name`.
CutResult CutArea(const char* name, int track, int c, int h, int r, int n, int skip, int length);

// Switches the reader to the volume's 9 x 512-byte tracks and reads the
// allocation table, the root directory and the volume's tracks into their
// buffers, then decodes the table into clusterTable.
void LoadVolume();

// Lists the root directory's entries and writes each file with its recorded
// time. Returns the exit status: 0, or 1 after a write failure.
int WalkDirectory();

#endif  // TOOL_STAGES_H_
