#include "testing/d88_writer.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

constexpr size_t kHeaderSize = 0x2B0;

void PutLE16(Bytes& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLE32(Bytes& bytes, size_t at, uint32_t value) {
  PutLE16(bytes, at, value & 0xFFFF);
  PutLE16(bytes, at + 2, value >> 16);
}

void AppendTrack(Bytes& out, const Track& track) {
  for (const Record& record : track.records) {
    Bytes header(16, 0);
    header[0] = static_cast<uint8_t>(record.c);
    header[1] = static_cast<uint8_t>(record.h);
    header[2] = static_cast<uint8_t>(record.r);
    header[3] = static_cast<uint8_t>(record.n);
    PutLE16(header, 4, record.count.value_or(static_cast<uint16_t>(track.records.size())));
    header[6] = record.density;
    header[7] = record.deleted;
    header[8] = record.status;
    PutLE16(header, 14, record.dataLength.value_or(static_cast<uint16_t>(record.data.size())));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), record.data.begin(), record.data.end());
  }
}

}  // namespace

Record MakeRecord(int c, int h, int r, int n, const Bytes& data) {
  Record record;
  record.c = c;
  record.h = h;
  record.r = r;
  record.n = n;
  record.data = data;
  return record;
}

Bytes PatternBytes(size_t length, int seed) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<uint8_t>(i + static_cast<size_t>(seed));
  }
  return bytes;
}

Bytes MixedBytes(size_t length, uint32_t seed) {
  Bytes bytes(length);
  uint32_t state = seed * 2654435761u + 1;
  for (uint8_t& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 16);
  }
  return bytes;
}

Bytes BuildDisk(const Disk& disk) {
  Bytes out(kHeaderSize, 0);
  for (size_t i = 0; i < disk.name.size() && i < 16; ++i) {
    out[i] = static_cast<uint8_t>(disk.name[i]);
  }
  out[0x1A] = disk.writeProtect;
  out[0x1B] = disk.mediaType;
  for (const auto& [index, track] : disk.tracks) {
    PutLE32(out, 0x20 + 4 * static_cast<size_t>(index), static_cast<uint32_t>(out.size()));
    AppendTrack(out, track);
  }
  for (const auto& [index, offset] : disk.trackOffsets) {
    PutLE32(out, 0x20 + 4 * static_cast<size_t>(index), static_cast<uint32_t>(offset));
  }
  PutLE32(out, 0x1C, disk.size.value_or(static_cast<uint32_t>(out.size())));
  return out;
}

Bytes BuildImage(const std::vector<Disk>& disks) {
  Bytes out;
  for (const Disk& disk : disks) {
    const Bytes bytes = BuildDisk(disk);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream file(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file) {
    throw std::runtime_error("cannot write " + path);
  }
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
