// d88info's report: what a D88 image holds and what d88cut does with it, as
// plain lines on standard output through the text output layer, so that a
// disk's name reaches a terminal only as the terminal can show it.
#ifndef INFO_REPORT_H_
#define INFO_REPORT_H_

#include <cstddef>
#include <cstdint>

#include "common/checksums.h"
#include "common/output_health.h"
#include "common/recognition.h"
#include "d88/d88_image.h"

// The image file a report is about, as the command found it.
struct ReportedImage {
  const char* path;  // as given, or as a folder's walk made it
  int64_t bytes;
  uint8_t sha1[kSha1Bytes];  // of the whole file
};

// Prints the report on the open `image`, the file `file`: its size, SHA-1
// and number of disks, and the verdict on its first disk; then, unless
// it is not a D88 image, each disk: its offset, size, name, media type and
// write protection, its tracks as runs of one layout, and each oddity on a
// line of its own, named by track. With `everyId`, also each track's sector
// IDs. For a recognised disk, then each output d88cut writes and whether it
// is intact. With `asJson`, all of it as one JSON document on one line,
// with the path first. Returns the
// verdict. A read of the image that fails ends the report after its last
// whole line (see D88Image::ReadFailed), or in JSON mid-document.
Verdict PrintReport(D88Image& image, const ReportedImage& file, bool everyId, bool asJson);

// The verdict line's words: "recognised", "not a D88 image: " and why, "no
// sector C0 H0 R1 N1 on the first disk", or "signature differs, found " and
// the 16 bytes in quotes, each that is not printable ASCII as \xNN. At most
// `capacity` - 1 bytes and a NUL; kVerdictWordsBytes holds any of them.
constexpr size_t kVerdictWordsBytes = 256;
void DescribeVerdict(const Recognition& recognition, char* words, size_t capacity);

// Outputs judged already by JudgeOutputs, on this same image, by a caller
// that had them first (the page shows them while d88cut runs): the next
// report of a recognised disk takes them instead of judging again, once.
// `judged` must outlive that report.
void UseJudgedOutputs(const DiskHealth* judged);

#endif  // INFO_REPORT_H_
