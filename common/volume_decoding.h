// The pure decoding of the recognised disk's MS-DOS volume: its allocation
// table, its root directory's entries and each file's cluster chain. Each
// works on the buffers it is given; d88cut's walk and d88info's health of
// each output use the same code.
#ifndef COMMON_VOLUME_DECODING_H_
#define COMMON_VOLUME_DECODING_H_

#include <cstdint>

#include "common/disk_layout.h"
#include "platform/platform.h"

// Decodes kFatBytes of packed 12-bit entries into kClusterTableEntries.
void DecodeClusterTable(const uint8_t* fat, uint16_t* table);

// Attribute bits of a directory entry, in the order the listing shows them.
constexpr uint8_t kAttributeArchive = 0x20;
constexpr uint8_t kAttributeDirectory = 0x10;
constexpr uint8_t kAttributeVolumeLabel = 0x08;
constexpr uint8_t kAttributeSystem = 0x04;
constexpr uint8_t kAttributeHidden = 0x02;
constexpr uint8_t kAttributeReadOnly = 0x01;

// An 8.3 name: up to 8 + "." + 3 bytes and a NUL.
constexpr int kFileNameBytes = 13;

// A directory entry's fields, decoded but not normalised.
struct DirectoryEntry {
  int attributes;
  int year;   // 1980 + the recorded 7 bits
  int month;  // 1-based as recorded, 0-15
  int day;
  int hour;
  int minute;
  int second;            // twice the recorded 5 bits
  int firstCluster;      // signed 16-bit as recorded
  int32_t size;          // signed as recorded
  DosDateTime recorded;  // the time and date words themselves
};

// What the walk does with a root-directory entry.
enum class EntryKind {
  kPassedOver,      // deleted (first byte 0xE5), or the entry PAT.COM
  kEndOfDirectory,  // first byte 0x00: the walk ends here
  kListedOnly,      // a volume label or a directory: listed, not written
  kFile,            // listed and written
};
EntryKind ClassifyEntry(const uint8_t* entry);

// Why a file's cluster chain ended.
enum class ChainEnd {
  kSizeReached,   // the recorded size is taken
  kEndMark,       // an entry 0xFFF came first
  kLeavesVolume,  // a cluster outside 0-355, whose data the loaded volume lacks
  kComesBack,     // a cluster the chain has already taken
};

// A file's cluster chain through `table`, as d88cut writes it: from
// `firstCluster`, 1,024 bytes a cluster until `size` bytes are taken, the
// chain meets 0xFFF, leaves the loaded volume's clusters or comes back
// to a cluster it has taken.
class ClusterChain {
 public:
  ClusterChain(const uint16_t* table, int firstCluster, int32_t size);
  // The next cluster and how many of its bytes the file takes; false once
  // the chain has ended, End() then telling why.
  bool Next(int* cluster, int* length);
  ChainEnd End() const { return end; }
  // The recorded size's bytes not taken.
  int32_t Remaining() const { return remaining; }
  // The cluster the chain would take next: after kLeavesVolume or
  // kComesBack, the one it could not.
  int Cluster() const { return cluster; }

 private:
  const uint16_t* table;
  int cluster;
  int32_t remaining;
  bool ended;
  ChainEnd end;
  bool taken[kLastCluster + 1];
};

DirectoryEntry DecodeEntry(const uint8_t* entry);
// The 8.3 name: the base name up to its first space, then "." and the
// extension up to its first space when the extension does not start with a
// space. A first byte 0x05 stands for 0xE5, which the entry cannot hold
// there since it marks a deleted entry. A NUL byte in the entry ends the
// name there.
void BuildFileName(const uint8_t* entry, char name[kFileNameBytes]);

#endif  // COMMON_VOLUME_DECODING_H_
