// The pieces of the root-directory walk that work on one entry.
#ifndef TOOL_DIRECTORY_WALK_H_
#define TOOL_DIRECTORY_WALK_H_

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

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

DirectoryEntry DecodeEntry(const uint8_t* entry);
// The 8.3 name: the base name up to its first space, then "." and the
// extension up to its first space when the extension does not start with a
// space. A first byte 0x05 stands for 0xE5, which the entry cannot hold
// there since it marks a deleted entry. A NUL byte in the entry ends the
// name there.
void BuildFileName(const uint8_t* entry, char name[kFileNameBytes]);
// The listing line up to and including the three spaces after the flags;
// the line feed follows once the file is written.
void PrintListingLine(FILE* out, const char* name, const DirectoryEntry& entry);

#endif  // TOOL_DIRECTORY_WALK_H_
