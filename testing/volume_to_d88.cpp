// volume_to_d88: makes a D88 image of the disk d88cut recognises from a raw
// 360 KB FAT12 volume, such as one made by mtools (`mformat -f 360`).
//
//   volume_to_d88 mark-bad VOLUME
//       Marks clusters 9-36 bad (0xFF7) in both FAT copies. On the disk these
//       clusters lie under the raw areas of tracks 3-8 and are lost, so run
//       this on a freshly formatted volume, before any file, directory or
//       label with a cluster is added. Fails if one of them is in use.
//   volume_to_d88 rename VOLUME NAME NEW-NAME
//       Gives the root-directory entry whose 11 name bytes are NAME the 11
//       bytes NEW-NAME (base name and extension, space-padded, no dot), for
//       names mtools will not write, such as two-byte Shift_JIS ones.
//   volume_to_d88 convert VOLUME MAIN DEMO OUT.d88
//       Writes OUT.d88: one disk of 80 tracks (track t is cylinder t / 2,
//       head t % 2). Track 0 holds the 256-byte signature sector C0 H0 R1 N1
//       and the volume's sectors R1-R9 (512 bytes, N2); tracks 1-2 and 9-79
//       hold the volume's sectors R1-R9; tracks 3-8 hold sixteen 256-byte
//       sectors R1-R16 (N1) each: the file MAIN on tracks 3-4 (up to 8,192
//       bytes) and DEMO on tracks 5-8 (up to 16,384 bytes), zero-padded.
//       Fails if a file's clusters lie in 9-36, where they would be lost.
//
// VOLUME must be 368,640 bytes with the 360 KB layout: 512-byte sectors,
// 2 sectors a cluster, 1 reserved sector, two 2-sector FATs, 112 root
// entries. Exit status 0 on success, 1 with a message on standard error.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "testing/d88_writer.h"
#include "testing/test_disk.h"

namespace {

// Clusters 9-36 have data in tracks 3-8 of the disk.
constexpr int kFirstLostCluster = 9;
constexpr int kLastLostCluster = 36;
constexpr int kBadCluster = 0xFF7;
constexpr size_t kMainBytes = 8192;
constexpr size_t kDemoBytes = 16384;
constexpr size_t kRootOffset = 5 * 512;
constexpr int kRootEntries = 112;
constexpr size_t kNameBytes = 11;

// The BIOS parameter block of a 360 KB volume, bytes 11-23 of sector 0.
constexpr uint8_t kVolumeParameters[] = {0x00, 0x02, 0x02, 0x01, 0x00, 0x02, 0x70,
                                         0x00, 0xD0, 0x02, 0xFD, 0x02, 0x00};

bool Fail(const std::string& message) {
  fprintf(stderr, "volume_to_d88: %s\n", message.c_str());
  return false;
}

bool ReadFile(const std::string& path, Bytes& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return Fail("cannot read " + path);
  }
  bytes = ReadBytes(path);
  return true;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  return file ? true : Fail("cannot write " + path);
}

bool LoadVolume(const std::string& path, TestVolume& volume) {
  if (!ReadFile(path, volume.bytes)) {
    return false;
  }
  if (volume.bytes.size() != kVolumeBytes ||
      memcmp(&volume.bytes[11], kVolumeParameters, sizeof kVolumeParameters) != 0) {
    return Fail(path + " is not a 360 KB FAT12 volume (mformat -f 360)");
  }
  return true;
}

// The first cluster of 9-36 that holds something other than `allowed` or
// free (0), or 0 if there is none.
int LostClusterInUse(const TestVolume& volume, int allowed) {
  for (int cluster = kFirstLostCluster; cluster <= kLastLostCluster; ++cluster) {
    const int value = volume.Fat(cluster);
    if (value != 0 && value != allowed) {
      return cluster;
    }
  }
  return 0;
}

bool MarkBad(const std::string& path) {
  TestVolume volume;
  if (!LoadVolume(path, volume)) {
    return false;
  }
  if (const int cluster = LostClusterInUse(volume, kBadCluster)) {
    return Fail("cluster " + std::to_string(cluster) + " of " + path +
                " is in use; mark clusters 9-36 bad before adding files");
  }
  for (int cluster = kFirstLostCluster; cluster <= kLastLostCluster; ++cluster) {
    volume.SetFat(cluster, kBadCluster);
  }
  return WriteFile(path, volume.bytes);
}

bool Rename(const std::string& path, const std::string& name, const std::string& newName) {
  if (name.size() != kNameBytes || newName.size() != kNameBytes) {
    return Fail("a directory name is 11 bytes, space-padded, without a dot");
  }
  TestVolume volume;
  if (!LoadVolume(path, volume)) {
    return false;
  }
  for (int index = 0; index < kRootEntries; ++index) {
    uint8_t* entry = &volume.bytes[kRootOffset + static_cast<size_t>(index) * 32];
    if (memcmp(entry, name.data(), kNameBytes) == 0) {
      memcpy(entry, newName.data(), kNameBytes);
      return WriteFile(path, volume.bytes);
    }
  }
  return Fail("no root-directory entry named \"" + name + "\" in " + path);
}

bool Convert(const std::string& volumePath, const std::string& mainPath,
             const std::string& demoPath, const std::string& outPath) {
  TestVolume volume;
  Bytes mainArea;
  Bytes demoArea;
  if (!LoadVolume(volumePath, volume) || !ReadFile(mainPath, mainArea) ||
      !ReadFile(demoPath, demoArea)) {
    return false;
  }
  if (mainArea.size() > kMainBytes || demoArea.size() > kDemoBytes) {
    return Fail("MAIN holds at most 8,192 bytes and DEMO 16,384");
  }
  if (const int cluster = LostClusterInUse(volume, kBadCluster)) {
    return Fail("cluster " + std::to_string(cluster) + " of " + volumePath +
                " is in use and would be lost under the raw areas; run mark-bad first");
  }
  return WriteFile(outPath, BuildImage({MakeRecognisedDisk(volume.bytes, mainArea, demoArea)}));
}

int Usage(const char* program) {
  fprintf(stderr,
          "Usage: %s mark-bad VOLUME\n"
          "       %s rename VOLUME NAME NEW-NAME\n"
          "       %s convert VOLUME MAIN DEMO OUT.d88\n",
          program, program, program);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  bool done = false;
  if (command == "mark-bad" && argc == 3) {
    done = MarkBad(argv[2]);
  } else if (command == "rename" && argc == 5) {
    done = Rename(argv[2], argv[3], argv[4]);
  } else if (command == "convert" && argc == 6) {
    done = Convert(argv[2], argv[3], argv[4], argv[5]);
  } else {
    return Usage(argv[0]);
  }
  return done ? 0 : 1;
}
