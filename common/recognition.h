// Whether an image holds the disk d88cut knows, and if not, why not. d88cut
// itself, d88info and the page all ask here, so they always agree.
#ifndef COMMON_RECOGNITION_H_
#define COMMON_RECOGNITION_H_

#include <cstdint>

#include "d88/d88_image.h"

// The signature sector: C0 H0 R1 N1 of track 0, 256 bytes, with the
// signature at bytes 1-16.
constexpr int kSignatureSizeCode = 1;
constexpr int kSignatureSectorBytes = 256;
constexpr int kSignatureOffset = 1;
constexpr int kSignatureLength = 16;

enum class Verdict {
  kRecognised,        // d88cut unpacks it
  kNotD88,            // too short for a disk header, or a first disk that cannot be one
  kNoFirstSector,     // the first disk has no sector C0 H0 R1 N1 (or it holds no data)
  kSignatureDiffers,  // the sector is there; its bytes 1-16 are not the signature
};

// The stable word for each verdict: "recognised", "not-d88",
// "no-first-sector", "signature-differs".
const char* VerdictName(Verdict verdict);

struct Recognition {
  Verdict verdict;
  // Bytes 1-16 of the signature sector as found (zeros where the sector
  // has no data), for kRecognised and kSignatureDiffers.
  uint8_t found[kSignatureLength];
};

// Selects the first disk of the open `image` and reads its signature sector
// into `sector`, kSignatureSectorBytes bytes that the caller has filled
// before (d88cut's work buffer holds zeros at start-up, so a missing or
// short sector compares as zeros). Recognised exactly when d88cut
// recognises the disk; otherwise the first reason that holds.
Recognition RecogniseImage(D88Image& image, uint8_t* sector);

#endif  // COMMON_RECOGNITION_H_
