#include "common/recognition.h"

#include <cstring>

namespace {

const char kSignature[kSignatureLength + 1] = "BEXO-X1/turboSys";

// A first disk that no D88 writer makes: its size field cannot even hold
// its own header.
bool FirstDiskCannotBe(const D88Image& image) {
  return image.DiskCount() == 0 || image.DiskSize() < kDiskHeaderSize;
}

}  // namespace

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kRecognised:
      return "recognised";
    case Verdict::kNotD88:
      return "not-d88";
    case Verdict::kNoFirstSector:
      return "no-first-sector";
    case Verdict::kSignatureDiffers:
      return "signature-differs";
  }
  return "not-d88";
}

Recognition RecogniseImage(D88Image& image, uint8_t* sector) {
  image.SelectDisk(0);  // an image of several disks is judged by its first
  const int got = image.ReadSector(0, 0, 0, 1, kSignatureSizeCode, sector, kSignatureSectorBytes);
  Recognition result;
  memcpy(result.found, sector + kSignatureOffset, kSignatureLength);
  // The compare alone decides: whatever else is odd about the image, d88cut
  // unpacks a disk whose first sector carries the signature.
  if (memcmp(result.found, kSignature, kSignatureLength) == 0) {
    result.verdict = Verdict::kRecognised;
  } else if (FirstDiskCannotBe(image)) {
    result.verdict = Verdict::kNotD88;
  } else if (got == 0) {
    result.verdict = Verdict::kNoFirstSector;
  } else {
    result.verdict = Verdict::kSignatureDiffers;
  }
  return result;
}
