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
  kNotD88,            // the first disk's header is not a D88 header (see HeaderFault)
  kNoFirstSector,     // the first disk has no sector C0 H0 R1 N1 (or it holds no data)
  kSignatureDiffers,  // the sector is there; its bytes 1-16 are not the signature
};

// The stable word for each verdict: "recognised", "not-d88",
// "no-first-sector", "signature-differs".
const char* VerdictName(Verdict verdict);

// Why a first disk's header is not a D88 header; the first that holds.
enum class HeaderFault {
  kNone,
  kShorterThanHeader,  // the file holds no whole 688-byte header
  kSizePastTwoGiB,     // the size field reads as negative: 2 GiB or more
  kSizeBelowHeader,    // the size field is below kSmallestHeader
  kWriteProtectByte,   // byte 0x1A is neither 0x00 nor 0x10
  kMediaByte,          // byte 0x1B is not 0x00, 0x10, 0x20, 0x30 or 0x40
  kTrackInHeader,      // the lowest track offset lies inside kSmallestHeader
  kTrackPastDisk,      // the lowest track offset lies at or past the disk's size
};

// The smallest D88 header, with 160 track offsets: no track of a D88 disk
// starts before it, and no disk is smaller.
constexpr int kSmallestHeader = 0x2A0;
constexpr int kSmallestHeaderTracks = 160;

struct Recognition {
  Verdict verdict;
  // Bytes 1-16 of the signature sector as found (zeros where the sector
  // has no data), for kRecognised and kSignatureDiffers.
  uint8_t found[kSignatureLength];
  // For kNotD88: which rule the header breaks, and the value that breaks
  // it (the size, the byte or the offset; 0 for kShorterThanHeader).
  HeaderFault fault;
  uint32_t faultValue;
};

// The verdict in words, as d88info's verdict line and d88cut's word on a
// terminal say it: "recognised", "not a D88 image", "no sector C0 H0 R1 N1
// on the first disk" or "the signature differs".
const char* VerdictWords(Verdict verdict);
// Writes, for kNotD88, why the header is not a D88 header, such as "the
// media byte 0x50 is not 0x00, 0x10, 0x20, 0x30 or 0x40"; "" otherwise.
void DescribeHeaderFault(const Recognition& recognition, char* text, int capacity);

// The first rule that the current disk of `image` breaks as a D88 header
// (kShorterThanHeader when the image has no disk at all), with the value
// that breaks it in `value`; kNone for a header some D88 writer makes.
HeaderFault CheckDiskHeader(const D88Image& image, uint32_t* value);

// Selects the first disk of the open `image` and reads its signature sector
// into `sector`, kSignatureSectorBytes bytes the caller has filled (d88cut's
// work buffer holds zeros at start-up, so a missing or short sector compares
// as zeros). kRecognised whenever the signature matches, whatever the header
// holds; otherwise the first reason that holds: not a D88 header, then no
// first sector, then another signature.
Recognition RecogniseImage(D88Image& image, uint8_t* sector);

#endif  // COMMON_RECOGNITION_H_
