// Builds D88 images for tests, with every field open to override so that
// broken and hostile images are as easy to make as good ones.
#ifndef TESTING_D88_WRITER_H_
#define TESTING_D88_WRITER_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct Record {
  int c = 0, h = 0, r = 1, n = 1;
  Bytes data;
  // The record count field; by default the number of records in the track.
  std::optional<uint16_t> count;
  // The data length field; by default data.size(). Only data is written.
  std::optional<uint16_t> dataLength;
  uint8_t density = 0x00;  // 0x40: single density
  uint8_t deleted = 0x00;  // 0x10: deleted data
  uint8_t status = 0x00;   // the controller's status on reading it
};

struct Track {
  std::vector<Record> records;
};

struct Disk {
  std::string name;  // up to 16 bytes are written
  uint8_t mediaType = 0;
  uint8_t writeProtect = 0;     // 0x10: write-protected
  std::map<int, Track> tracks;  // by track index; written in index order
  // Raw track-offset fields, replacing the computed ones (0 removes a track).
  std::map<int, int32_t> trackOffsets;
  // The size field; by default the disk's real size.
  std::optional<uint32_t> size;
};

// A sector record holding `data`, its count and length fields left to default.
Record MakeRecord(int c, int h, int r, int n, const Bytes& data);
// Bytes 0, 1, 2, ... (mod 256), offset by `seed`.
Bytes PatternBytes(size_t length, int seed = 0);
// Bytes that do not repeat every 256, so that a slice read from the wrong
// place cannot pass for the right one.
Bytes MixedBytes(size_t length, uint32_t seed);

Bytes BuildDisk(const Disk& disk);
Bytes BuildImage(const std::vector<Disk>& disks);
// Paths are UTF-8 on Windows, as ScopedTempDir gives them, and bytes as
// they are on POSIX.
void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

#endif  // TESTING_D88_WRITER_H_
