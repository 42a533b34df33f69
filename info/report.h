// d88info's report on one image: the head, the disks and the outputs, as
// plain lines on standard output through the text output layer, so that a
// disk's name reaches a terminal only as the terminal can show it, or as
// one JSON document.
#ifndef INFO_REPORT_H_
#define INFO_REPORT_H_

#include "d88/d88_image.h"
#include "info/report_model.h"

// Prints the report collected on the open `image` (CollectReport): its
// size, SHA-1 and number of disks, and the verdict on its first disk; then,
// unless it is not a D88 image, each disk, walked as it is printed: its
// offset, size, name, media type and write protection, its tracks as runs
// of one layout, and each oddity on a line of its own, named by track. With
// `everyId`, also each track's sector IDs. For a recognised disk, then each
// output d88cut writes, whether it is intact, and its checksums. With
// `asJson`, all of it as one JSON document on one line, with the path
// first. Returns the verdict. A read of the image that fails ends the report
// after its last whole line (see D88Image::ReadFailed), or in JSON
// mid-document.
Verdict PrintReport(D88Image& image, const ImageReport& report, bool everyId, bool asJson);

#endif  // INFO_REPORT_H_
