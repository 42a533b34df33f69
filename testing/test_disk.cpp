#include "testing/test_disk.h"

#include <cstring>
#include <stdexcept>

#include "testing/test_helpers.h"

namespace {

constexpr int kSectorBytes = 512;
constexpr int kRootSector = 5;
constexpr int kFatSectors[2] = {1, 3};

size_t ClusterOffset(int cluster) {
  return (static_cast<size_t>(cluster) + 4) * 1024;
}

void SetFatCopy(uint8_t* fat, int cluster, int value) {
  uint8_t* group = fat + (cluster / 2) * 3;
  if (cluster % 2 == 0) {
    group[0] = static_cast<uint8_t>(value);
    group[1] = static_cast<uint8_t>((group[1] & 0xF0) | ((value >> 8) & 0x0F));
  } else {
    group[1] = static_cast<uint8_t>((group[1] & 0x0F) | ((value & 0x0F) << 4));
    group[2] = static_cast<uint8_t>(value >> 4);
  }
}

}  // namespace

TestVolume::TestVolume() : bytes(kVolumeBytes, 0) {
  SetFat(0, 0xFF0);
  SetFat(1, 0xFFF);
}

void TestVolume::SetFat(int cluster, int value) {
  for (int sector : kFatSectors) {
    SetFatCopy(&bytes[static_cast<size_t>(sector) * kSectorBytes], cluster, value);
  }
}

int TestVolume::Fat(int cluster) const {
  const uint8_t* group = &bytes[kSectorBytes + (cluster / 2) * 3];
  if (cluster % 2 == 0) {
    return group[0] | ((group[1] & 0x0F) << 8);
  }
  return (group[1] >> 4) | (group[2] << 4);
}

void TestVolume::SetEntry(int index, const std::string& name11, uint8_t attributes, uint16_t time,
                          uint16_t date, uint16_t firstCluster, uint32_t size) {
  if (name11.size() != 11) {
    throw std::invalid_argument("a directory name is 11 bytes: " + name11);
  }
  Bytes entry(32, 0);
  memcpy(entry.data(), name11.data(), 11);
  entry[11] = attributes;
  entry[22] = static_cast<uint8_t>(time);
  entry[23] = static_cast<uint8_t>(time >> 8);
  entry[24] = static_cast<uint8_t>(date);
  entry[25] = static_cast<uint8_t>(date >> 8);
  entry[26] = static_cast<uint8_t>(firstCluster);
  entry[27] = static_cast<uint8_t>(firstCluster >> 8);
  for (int i = 0; i < 4; ++i) {
    entry[28 + i] = static_cast<uint8_t>(size >> (8 * i));
  }
  SetEntryBytes(index, entry);
}

void TestVolume::SetEntryBytes(int index, const Bytes& entry32) {
  memcpy(&bytes[kRootSector * kSectorBytes + static_cast<size_t>(index) * 32], entry32.data(), 32);
}

void TestVolume::StoreChain(const std::vector<int>& clusters, const Bytes& data) {
  for (size_t i = 0; i < clusters.size(); ++i) {
    const size_t from = i * 1024;
    if (from < data.size()) {
      const size_t length = std::min<size_t>(1024, data.size() - from);
      memcpy(&bytes[ClusterOffset(clusters[i])], data.data() + from, length);
    }
    SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0xFFF);
  }
}

int TestVolume::AddFile(int index, const std::string& name11, uint8_t attributes, uint16_t time,
                        uint16_t date, int firstCluster, const Bytes& data) {
  std::vector<int> chain;
  for (size_t used = 0; used < data.size(); used += 1024) {
    chain.push_back(firstCluster + static_cast<int>(chain.size()));
  }
  StoreChain(chain, data);
  SetEntry(index, name11, attributes, time, date,
           static_cast<uint16_t>(chain.empty() ? 0 : firstCluster),
           static_cast<uint32_t>(data.size()));
  return firstCluster + static_cast<int>(chain.size());
}

uint16_t DosDate(int year, int month, int day) {
  return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

Bytes SignatureSector() {
  Bytes sector(256, 0);
  memcpy(&sector[1], "BEXO-X1/turboSys", 16);
  return sector;
}

Disk MakeRecognisedDisk(const Bytes& volume, const Bytes& mainArea, const Bytes& demoArea) {
  Disk disk;
  disk.name = "TEST DISK";
  for (int t = 0; t < 80; ++t) {
    Track& track = disk.tracks[t];
    const int c = t / 2;
    const int h = t % 2;
    if (t >= 3 && t <= 8) {
      const Bytes& area = t <= 4 ? mainArea : demoArea;
      const size_t base = static_cast<size_t>(t <= 4 ? t - 3 : t - 5) * 4096;
      for (int r = 1; r <= 16; ++r) {
        const size_t at = base + static_cast<size_t>(r - 1) * 256;
        Bytes data(256, 0);
        if (at < area.size()) {
          memcpy(data.data(), area.data() + at, std::min<size_t>(256, area.size() - at));
        }
        track.records.push_back(MakeRecord(c, h, r, 1, data));
      }
      continue;
    }
    if (t == 0) {
      track.records.push_back(MakeRecord(0, 0, 1, 1, SignatureSector()));
    }
    for (int r = 1; r <= 9; ++r) {
      const size_t at = static_cast<size_t>(t) * 4608 + static_cast<size_t>(r - 1) * 512;
      track.records.push_back(MakeRecord(c, h, r, 2, Slice(volume, at, 512)));
    }
  }
  return disk;
}

const Bytes& VolumeTestMainArea() {
  static const Bytes area = MixedBytes(8192, 1000);
  return area;
}

const Bytes& VolumeTestDemoArea() {
  static const Bytes area = MixedBytes(16384, 2000);
  return area;
}

Disk WithFillerAfterMain(Disk disk) {
  disk.tracks[4].records.push_back(MakeRecord(9, 9, 99, 1, Bytes(65000, 0)));
  return disk;
}

int64_t TrackStart(const Bytes& image, int track) {
  const size_t at = 0x20 + 4 * static_cast<size_t>(track);
  return static_cast<int64_t>(image.at(at)) | (static_cast<int64_t>(image.at(at + 1)) << 8) |
         (static_cast<int64_t>(image.at(at + 2)) << 16) |
         (static_cast<int64_t>(image.at(at + 3)) << 24);
}
