// Writes the fuzzers' seed corpora, built with the tests' own image writer:
//
//   d88cut_fuzz_seeds READER_FOLDER TOOL_FOLDER
//
// TOOL_FOLDER gets D88 images: recognised disks (whole, cut down to their
// first tracks), files of several disks, broken images, and d88info's test
// table of one image for each verdict and each oddity (testing/info_cases.h);
// d88cut_fuzzer and d88info_fuzzer both start from them. READER_FOLDER
// gets the same images, each followed by trailers (fuzz/reader_input.h)
// whose calls read the signature sector, the raw areas and the volume.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/reader_input.h"
#include "testing/d88_writer.h"
#include "testing/info_cases.h"
#include "testing/test_disk.h"
#include "testing/test_helpers.h"

namespace {

// A volume with one of each kind of entry, good and hostile.
TestVolume SeedVolume() {
  const uint16_t time = DosTime(12, 0, 0);
  const uint16_t date = DosDate(1990, 3, 4);
  TestVolume volume;
  volume.AddFile(0, "README  TXT", 0x20, time, date, 2, PatternBytes(1025));
  volume.SetEntry(1, "EMPTY   DAT", 0x20, time, date, 0, 0);
  volume.SetEntry(2, "VOLUME     ", 0x08, time, date, 0, 0);
  volume.SetEntry(3, "GAMES      ", 0x10, time, date, 0, 0);
  volume.SetEntry(4, "\xE5OLD    TXT", 0x20, time, date, 4, 10);
  volume.SetEntry(5, "PAT     COM", 0x20, time, date, 4, 10);
  volume.StoreChain({5}, PatternBytes(1024, 1));
  volume.SetFat(5, 5);  // a cycle
  volume.SetEntry(6, "LOOP    BIN", 0x21, time, date, 5, 0x7FFFFFFF);
  volume.StoreChain({6}, PatternBytes(1024, 2));
  volume.SetFat(6, 0xFF8);
  volume.SetEntry(7, "BAD     BIN", 0x20, time, date, 6, 5000);
  volume.SetEntry(8, "NEG     BIN", 0x20, time, date, 0x8000, 100);
  volume.SetEntry(9, "..         ", 0x20, time, date, 2, 10);
  volume.SetEntry(10, "A/B     TXT", 0x20, time, date, 2, 10);
  volume.SetEntry(11, "\x95\x5C      TXT", 0x20, time, date, 2, 10);
  volume.StoreChain({350, 351, 352, 353, 354, 355}, PatternBytes(6000, 3));
  volume.SetFat(355, 356);  // the chain leaves the volume
  volume.SetEntry(12, "HIGH    BIN", 0x27, time, date, 350, 7000);
  volume.SetEntry(13, "DISK    D88", 0x20, time, date, 2, 10);  // the fuzzer's image name
  volume.SetEntry(14, "PAST    BIN", 0x20, time, date, 356, 10);
  return volume;
}

Disk FullDisk() {
  return MakeRecognisedDisk(SeedVolume().bytes, PatternBytes(8192), PatternBytes(16384, 7));
}

// The recognised disk with only the tracks below `tracks`.
Disk FirstTracks(int tracks) {
  Disk disk = FullDisk();
  disk.tracks.erase(disk.tracks.lower_bound(tracks), disk.tracks.end());
  return disk;
}

Disk Unrecognised() {
  Disk disk;
  disk.name = "OTHER";
  disk.mediaType = 0x10;
  for (int r = 1; r <= 4; ++r) {
    disk.tracks[0].records.push_back(MakeRecord(0, 0, r, 1, PatternBytes(256, r)));
  }
  return disk;
}

std::vector<std::pair<std::string, Bytes>> Images() {
  std::vector<std::pair<std::string, Bytes>> images;
  const Disk tiny = FirstTracks(1);
  images.emplace_back("full", BuildImage({FullDisk()}));
  images.emplace_back("raw-areas-and-volume-head", BuildImage({FirstTracks(9)}));
  images.emplace_back("track-0-only", BuildImage({tiny}));
  images.emplace_back("three-disks", BuildImage({tiny, Unrecognised(), FirstTracks(3)}));
  images.emplace_back("second-disk-recognised", BuildImage({Unrecognised(), tiny}));
  images.emplace_back("many-disks", BuildImage({tiny, tiny, tiny, tiny, tiny}));

  Bytes truncated = BuildImage({FirstTracks(9)});
  truncated.resize(truncated.size() * 2 / 3 + 7);
  images.emplace_back("truncated", truncated);
  Bytes headerOnly = BuildImage({tiny});
  headerOnly.resize(0x2B0);
  images.emplace_back("header-only", headerOnly);
  images.emplace_back("empty", Bytes());

  Disk sizeZero = tiny;
  sizeZero.size = 0;
  images.emplace_back("size-zero", Join({BuildDisk(sizeZero), BuildDisk(tiny)}));
  Disk negativeSize = tiny;
  negativeSize.size = 0x80000000u;
  images.emplace_back("negative-size", Join({BuildDisk(negativeSize), BuildDisk(tiny)}));

  Disk countOne = tiny;
  countOne.tracks[0].records[0].count = 1;
  images.emplace_back("count-ends-early", BuildImage({countOne}));
  Disk countNever = FirstTracks(3);
  for (Record& record : countNever.tracks[0].records) {
    record.count = 0xFFFF;
  }
  images.emplace_back("count-never-matches", BuildImage({countNever}));
  Disk countZero = tiny;
  countZero.tracks[0].records.insert(countZero.tracks[0].records.begin(),
                                     MakeRecord(0, 0, 9, 2, PatternBytes(512)));
  countZero.tracks[0].records[0].count = 0;
  images.emplace_back("count-zero", BuildImage({countZero}));
  Disk longLength = tiny;
  longLength.tracks[0].records[0].dataLength = 0xFFFF;
  images.emplace_back("length-past-end", BuildImage({longLength}));

  Disk offsetPastSize = FirstTracks(3);
  offsetPastSize.trackOffsets[1] = 0x7FFFFFFF;
  offsetPastSize.trackOffsets[2] = 0x20;  // inside the disk header
  images.emplace_back("odd-track-offsets", BuildImage({offsetPastSize}));

  Disk signatureAt0 = tiny;
  signatureAt0.tracks[0].records[0].data.erase(signatureAt0.tracks[0].records[0].data.begin());
  images.emplace_back("signature-at-byte-0", BuildImage({signatureAt0}));
  Disk rawOnly = FirstTracks(9);
  rawOnly.tracks[0].records.resize(1);  // the signature sector
  rawOnly.tracks.erase(1);
  rawOnly.tracks.erase(2);
  images.emplace_back("raw-areas-only", BuildImage({rawOnly}));

  for (const InfoCase& c : InfoCases()) {
    images.emplace_back("info-" + c.name, c.image);
  }
  return images;
}

// Calls aimed at the signature sector, the MAIN area and track 0's records.
ReaderCalls RawAreaCalls() {
  ReaderCalls calls;
  calls.firstSector = 1;
  calls.lastSector = 16;
  calls.track = 0, calls.c = 0, calls.h = 0, calls.r = 1, calls.n = 1, calls.maxLength = 256;
  calls.runTrack = 3, calls.runC = 1, calls.runH = 1, calls.runR = 1, calls.runN = 1;
  calls.runLength = 8192;
  calls.walkTrack = 0, calls.walkRecords = 16;
  return calls;
}

// Calls aimed at the root directory and the volume's first tracks, then at
// the second disk, then at a closed reader.
ReaderCalls VolumeCalls() {
  ReaderCalls calls;
  calls.firstSector = 1;
  calls.lastSector = 9;
  calls.flags = kSecondDisk | kCloseAndRead;
  calls.secondDisk = 1;
  calls.track = 0, calls.c = 0, calls.h = 0, calls.r = 6, calls.n = 2, calls.maxLength = 512;
  calls.runTrack = 0, calls.runC = 0, calls.runH = 0, calls.runR = 1, calls.runN = 2;
  calls.runLength = 13824;
  calls.walkTrack = 1, calls.walkRecords = 10;
  return calls;
}

bool Write(const std::string& path, const Bytes& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "Usage: %s READER_FOLDER TOOL_FOLDER\n", argc > 0 ? argv[0] : "seeds");
    return 2;
  }
  const std::string readerFolder = argv[1];
  const std::string toolFolder = argv[2];
  const std::pair<const char*, ReaderCalls> trailers[] = {{"raw", RawAreaCalls()},
                                                          {"volume", VolumeCalls()}};
  for (const auto& [name, image] : Images()) {
    bool ok = Write(toolFolder + "/" + name + ".d88", image);
    for (const auto& [callsName, calls] : trailers) {
      Bytes input = image;
      input.resize(image.size() + kReaderTrailerBytes);
      EncodeReaderTrailer(calls, input.data() + image.size());
      ok = ok && Write(readerFolder + "/" + name + "-" + callsName, input);
    }
    if (!ok) {
      fprintf(stderr, "cannot write the seeds of %s\n", name.c_str());
      return 1;
    }
  }
  return 0;
}
