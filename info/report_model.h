// d88info's report as data, collected once and rendered as text, as JSON or
// as one brief line: the image file, the verdict on its first disk, and the
// outputs d88cut writes from it. The disks' tracks and oddities are walked
// as they are rendered (report.h), within the walks' own bounds.
#ifndef INFO_REPORT_MODEL_H_
#define INFO_REPORT_MODEL_H_

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

struct ImageReport {
  ReportedImage file;
  // The disks the image's table counts; none for a file that is not a D88
  // image, which has no table.
  bool counted;
  int disks;
  // The first disk as d88cut judges it, and for a recognised disk the
  // outputs it writes; `outputs->recognition` is the verdict.
  const DiskHealth* outputs;
};

// Collects the report on the open `image`, the file `file`: recognises its
// first disk and, when d88cut takes it, judges the outputs (or takes those
// given to UseJudgedOutputs). False when a read of the image fails.
bool CollectReport(D88Image& image, const ReportedImage& file, ImageReport* report);

// Outputs judged already by JudgeOutputs, on this same image, by a caller
// that had them first (the page shows them while d88cut runs): the next
// report of a recognised disk takes them instead of judging again, once.
// `judged` must outlive that report.
void UseJudgedOutputs(const DiskHealth* judged);

// The verdict line's words: "recognised", "not a D88 image: " and why, "no
// sector C0 H0 R1 N1 on the first disk", or "signature differs, found " and
// the 16 bytes in quotes, each that is not printable ASCII as \xNN. At most
// `capacity` - 1 bytes and a NUL; kVerdictWordsBytes holds any of them.
constexpr size_t kVerdictWordsBytes = 256;
void DescribeVerdict(const Recognition& recognition, char* words, size_t capacity);

#endif  // INFO_REPORT_MODEL_H_
