#include "common/recognition.h"

#include <cstdio>
#include <cstring>

#include "common/read_runs.h"

namespace {

const char kSignature[kSignatureLength + 1] = "BEXO-X1/turboSys";

}  // namespace

HeaderFault CheckDiskHeader(const D88Image& image, uint32_t* value) {
  *value = 0;
  if (image.DiskCount() == 0) {
    return HeaderFault::kShorterThanHeader;
  }
  const int32_t size = image.DiskSize();
  if (size < 0) {
    *value = static_cast<uint32_t>(size);
    return HeaderFault::kSizePastTwoGiB;
  }
  if (size < kSmallestHeader) {
    *value = static_cast<uint32_t>(size);
    return HeaderFault::kSizeBelowHeader;
  }
  const int protection = image.WriteProtection();
  if (protection != 0x00 && protection != 0x10) {
    *value = static_cast<uint32_t>(protection);
    return HeaderFault::kWriteProtectByte;
  }
  const int media = image.MediaType();
  if (media != 0x00 && media != 0x10 && media != 0x20 && media != 0x30 && media != 0x40) {
    *value = static_cast<uint32_t>(media);
    return HeaderFault::kMediaByte;
  }
  // Offsets as the unsigned fields they are: one past 2^31 is past the disk.
  uint32_t lowest = 0;
  for (int track = 0; track < kSmallestHeaderTracks; ++track) {
    const uint32_t offset = static_cast<uint32_t>(image.TrackOffset(track));
    if (offset != 0 && (lowest == 0 || offset < lowest)) {
      lowest = offset;
    }
  }
  *value = lowest;
  if (lowest != 0 && lowest < static_cast<uint32_t>(kSmallestHeader)) {
    return HeaderFault::kTrackInHeader;
  }
  if (lowest != 0 && lowest >= static_cast<uint32_t>(size)) {
    return HeaderFault::kTrackPastDisk;
  }
  *value = 0;
  return HeaderFault::kNone;
}

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

const char* VerdictWords(Verdict verdict) {
  switch (verdict) {
    case Verdict::kRecognised:
      return "recognised";
    case Verdict::kNotD88:
      return "not a D88 image";
    case Verdict::kNoFirstSector:
      return "no sector C0 H0 R1 N1 on the first disk";
    case Verdict::kSignatureDiffers:
      return "the signature differs";
  }
  return "not a D88 image";
}

void DescribeHeaderFault(const Recognition& recognition, char* text, int capacity) {
  if (capacity <= 0) {
    return;
  }
  const size_t room = static_cast<size_t>(capacity);
  const unsigned value = recognition.faultValue;
  text[0] = '\0';
  if (recognition.verdict != Verdict::kNotD88) {
    return;
  }
  switch (recognition.fault) {
    case HeaderFault::kNone:
      return;
    case HeaderFault::kShorterThanHeader:
      snprintf(text, room, "the file is shorter than a disk header (%d bytes)", kDiskHeaderSize);
      return;
    case HeaderFault::kSizePastTwoGiB:
      snprintf(text, room, "the disk's size field, 0x%08x, is past 2 GiB", value);
      return;
    case HeaderFault::kSizeBelowHeader:
      snprintf(text, room, "the disk's size field, %d, is below %d", static_cast<int32_t>(value),
               kSmallestHeader);
      return;
    case HeaderFault::kWriteProtectByte:
      snprintf(text, room, "the write-protect byte 0x%02x is not 0x00 or 0x10", value);
      return;
    case HeaderFault::kMediaByte:
      snprintf(text, room, "the media byte 0x%02x is not 0x00, 0x10, 0x20, 0x30 or 0x40", value);
      return;
    case HeaderFault::kTrackInHeader:
      snprintf(text, room, "the lowest track offset, %u, lies inside the header (%d bytes)", value,
               kSmallestHeader);
      return;
    case HeaderFault::kTrackPastDisk:
      snprintf(text, room, "the lowest track offset, %u, lies at or past the disk's end", value);
      return;
  }
}

Recognition RecogniseImage(D88Image& image, uint8_t* sector) {
  image.SelectDisk(0);  // an image of several disks is judged by its first
  const ReadRun& run = kSignatureRun;
  const int got = image.ReadSector(run.track, run.track / 2, run.track % 2, run.firstR,
                                   run.sizeCode, sector + run.offset, run.length);
  Recognition result = {};
  memcpy(result.found, sector + kSignatureOffset, kSignatureLength);
  const HeaderFault fault = CheckDiskHeader(image, &result.faultValue);
  // The compare alone decides: whatever else is odd about the image, d88cut
  // unpacks a disk whose first sector carries the signature.
  if (memcmp(result.found, kSignature, kSignatureLength) == 0) {
    result.verdict = Verdict::kRecognised;
  } else if (fault != HeaderFault::kNone) {
    result.verdict = Verdict::kNotD88;
    result.fault = fault;
  } else if (got == 0) {
    result.verdict = Verdict::kNoFirstSector;
  } else {
    result.verdict = Verdict::kSignatureDiffers;
  }
  if (result.verdict != Verdict::kNotD88) {
    result.faultValue = 0;
  }
  return result;
}
