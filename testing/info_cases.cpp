#include "testing/info_cases.h"

#include <cstring>
#include <functional>
#include <stdexcept>

#include "common/checksums.h"
#include "testing/test_disk.h"

namespace {

// A small disk d88cut recognises: tracks 0-2 of four 256-byte sectors, R1-4,
// recorded as C = track / 2, H = track % 2; the signature in C0 H0 R1 N1.
// Each track is 4 records of 16 + 256 bytes, so tracks 0, 1 and 2 start at
// 688, 1776 and 2864, and the disk is 3952 bytes.
Disk SmallDisk() {
  Disk disk;
  disk.name = "SMALL";
  for (int track = 0; track < 3; ++track) {
    for (int r = 1; r <= 4; ++r) {
      const Bytes data =
          track == 0 && r == 1 ? SignatureSector() : PatternBytes(256, 16 * track + r);
      disk.tracks[track].records.push_back(MakeRecord(track / 2, track % 2, r, 1, data));
    }
  }
  return disk;
}

Bytes SmallImage(const std::function<void(Disk&)>& edit) {
  Disk disk = SmallDisk();
  edit(disk);
  return BuildImage({disk});
}

Record& RecordOf(Disk& disk, int track, int r) {
  for (Record& record : disk.tracks.at(track).records) {
    if (record.r == r) {
      return record;
    }
  }
  throw std::logic_error("no such record");
}

Bytes Cut(Bytes bytes, size_t length) {
  bytes.resize(length);
  return bytes;
}

// The report's head: the image, the verdict and the first disk's header.
std::string Head(size_t imageBytes, const std::string& verdict, size_t diskBytes) {
  return "image: " + std::to_string(imageBytes) + " bytes, 1 disk\n" + "verdict: " + verdict +
         "\n\ndisk 1\n  offset: 0\n  size: " + std::to_string(diskBytes) +
         " bytes\n  name: SMALL\n  media: 2D\n  write-protected: no\n";
}

const char kFourSectors[] = "4 sectors of 256 bytes (N1), R1-4\n";
const std::string kAllTracks = std::string("  tracks 0-2: ") + kFourSectors;

const std::string kShorter = "the file is shorter than a disk header (688 bytes)";

// A first disk whose signature sector holds zeros, so that its header alone
// decides whether it is a D88 image.
Bytes UnsignedImage(const std::function<void(Disk&)>& edit) {
  return SmallImage([&edit](Disk& disk) {
    RecordOf(disk, 0, 1).data = Bytes(256, 0);
    edit(disk);
  });
}

// The whole report on a file that is not a D88 image: its size, no count of
// disks, and why.
std::string NotD88(size_t imageBytes, const std::string& why) {
  return "image: " + std::to_string(imageBytes) + " bytes\nverdict: not a D88 image: " + why + "\n";
}

}  // namespace

std::string Sha1Hex(const Bytes& bytes) {
  Sha1 sha;
  StartSha1(&sha);
  AddToSha1(&sha, bytes.data(), bytes.size());
  uint8_t digest[kSha1Bytes];
  FinishSha1(&sha, digest);
  char hex[2 * kSha1Bytes + 1];
  WriteHex(digest, kSha1Bytes, hex);
  return hex;
}

const std::vector<InfoCase>& InfoCases() {
  static const std::vector<InfoCase> cases = [] {
    std::vector<InfoCase> list;
    // --- One for each verdict ---
    list.push_back({"recognised", SmallImage([](Disk&) {}), "recognised", 0,
                    Head(3952, "recognised", 3952) + kAllTracks});
    list.push_back({"recognised-with-a-17-byte-signature-sector",
                    SmallImage([](Disk& disk) { RecordOf(disk, 0, 1).data.resize(17); }),
                    "recognised", 0,
                    Head(3713, "recognised", 3713) + kAllTracks +
                        "  oddity: track 0: sector C0 H0 R1 N1 holds 17 bytes, N1 says 256\n"});
    list.push_back({"empty-file", Bytes(), "not-d88", 2, NotD88(0, kShorter)});
    list.push_back({"shorter-than-a-disk-header", Cut(SmallImage([](Disk&) {}), 687), "not-d88", 2,
                    NotD88(687, kShorter)});
    {
      Disk disk;
      disk.name = "HEADER";
      disk.size = 100;
      list.push_back({"size-below-the-disk-header", BuildImage({disk}), "not-d88", 2,
                      NotD88(688, "the disk's size field, 100, is below 672")});
    }
    // Size fields of 0 would count the same header 64 times over.
    list.push_back({"a-file-of-zeros", Bytes(2000, 0), "not-d88", 2,
                    NotD88(2000, "the disk's size field, 0, is below 672")});
    {
      // Bytes 0x1C-0x1F 00 00 01 F9, as a PNG file has them: no size below
      // 672, but one past what the field can hold as a size.
      Disk disk;
      disk.size = 0xF9010000;
      list.push_back({"size-field-past-2-GiB", BuildImage({disk}), "not-d88", 2,
                      NotD88(688, "the disk's size field, 0xf9010000, is past 2 GiB")});
    }
    // A header no D88 writer makes; the words say which rule it breaks.
    list.push_back({"write-protect-byte-not-0-or-0x10",
                    UnsignedImage([](Disk& disk) { disk.writeProtect = 0x01; }), "not-d88", 2,
                    NotD88(3952, "the write-protect byte 0x01 is not 0x00 or 0x10")});
    list.push_back({"media-byte-not-a-d88-one",
                    UnsignedImage([](Disk& disk) { disk.mediaType = 0x50; }), "not-d88", 2,
                    NotD88(3952, "the media byte 0x50 is not 0x00, 0x10, 0x20, 0x30 or 0x40")});
    list.push_back({"first-track-inside-the-header",
                    UnsignedImage([](Disk& disk) { disk.trackOffsets[40] = 671; }), "not-d88", 2,
                    NotD88(3952,
                           "the lowest track offset, 671, lies inside the header (672 "
                           "bytes)")});
    list.push_back({"first-track-at-the-disks-end", UnsignedImage([](Disk& disk) {
                      disk.trackOffsets[0] = 0;
                      disk.trackOffsets[1] = 0;
                      disk.trackOffsets[2] = 3952;
                    }),
                    "not-d88", 2,
                    NotD88(3952,
                           "the lowest track offset, 3952, lies at or past the disk's "
                           "end")});
    {
      std::string text;
      while (text.size() < 2000) {
        text += "Not a disk image, but a text file of some lines.\n";
      }
      list.push_back({"a-text-file", Bytes(text.begin(), text.end()), "not-d88", 2,
                      NotD88(text.size(), "the write-protect byte 0x78 is not 0x00 or 0x10")});
    }
    // d88cut recognises it by its signature alone, whatever the header holds.
    list.push_back({"recognised-with-a-header-no-d88-writer-makes", SmallImage([](Disk& disk) {
                      disk.mediaType = 0x50;
                      disk.writeProtect = 0x01;
                    }),
                    "recognised", 0,
                    "image: 3952 bytes, 1 disk\nverdict: recognised\n\ndisk 1\n  offset: 0\n"
                    "  size: 3952 bytes\n  name: SMALL\n  media: 0x50\n"
                    "  write-protected: 0x01\n" +
                        kAllTracks});
    list.push_back({"no-sector-C0-H0-R1-N1", SmallImage([](Disk& disk) {
                      Record& first = RecordOf(disk, 0, 1);
                      first.n = 2;
                      first.data = PatternBytes(512);
                    }),
                    "no-first-sector", 0,
                    Head(4208, "no sector C0 H0 R1 N1 on the first disk", 4208) +
                        "  track 0: 4 sectors: 1 of 512 bytes (N2), R1; 3 of 256 bytes (N1), "
                        "R2-4\n"
                        "  tracks 1-2: " +
                        kFourSectors + "  oddity: track 0: missing sector C0 H0 R1 N1\n"});
    list.push_back({"signature-sector-without-data",
                    SmallImage([](Disk& disk) { RecordOf(disk, 0, 1).data.clear(); }),
                    "no-first-sector", 0,
                    Head(3696, "no sector C0 H0 R1 N1 on the first disk", 3696) + kAllTracks +
                        "  oddity: track 0: sector C0 H0 R1 N1 holds 0 bytes, N1 says 256\n"});
    list.push_back(
        {"signature-differs", SmallImage([](Disk& disk) {
           memcpy(&RecordOf(disk, 0, 1).data[1], "BEXO-X1/turbo\"\\\x82", 16);
         }),
         "signature-differs", 0,
         Head(3952, "signature differs, found \"BEXO-X1/turbo\\\"\\\\\\x82\"", 3952) + kAllTracks});
    {
      // The signature on the second disk only; a third disk that is only a
      // header, with a size that cannot hold it.
      Disk first = SmallDisk();
      RecordOf(first, 0, 1).data = Bytes(256, 0);
      Disk second = SmallDisk();
      second.name = "\x93\xfa\x96\x7b DISK";  // "日本 DISK" in Shift_JIS
      second.mediaType = 0x10;
      second.writeProtect = 0x10;
      Disk third;
      third.mediaType = 0x30;
      third.writeProtect = 0x01;
      third.size = 100;
      list.push_back(
          {"three-disks-the-signature-on-the-second", BuildImage({first, second, third}),
           "signature-differs", 0,
           "image: 8592 bytes, 3 disks\n"
           "verdict: signature differs, found "
           "\"\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\"\n"
           "\ndisk 1\n  offset: 0\n  size: 3952 bytes\n  name: SMALL\n  media: 2D\n"
           "  write-protected: no\n" +
               kAllTracks +
               "\ndisk 2\n  offset: 3952\n  size: 3952 bytes\n  name: \x93\xfa\x96\x7b DISK\n"
               "  media: 2DD\n  write-protected: yes\n" +
               kAllTracks +
               "\ndisk 3\n  offset: 7904\n  size: 100 bytes\n  name:\n  media: 0x30\n"
               "  write-protected: 0x01\n  no tracks\n"
               "  oddity: the disk's size is below the 688 bytes of its header\n"});
    }

    // --- One for each kind of oddity, on the recognised small disk ---
    list.push_back({"missing-sector", SmallImage([](Disk& disk) {
                      auto& records = disk.tracks[1].records;
                      records.erase(records.begin() + 2);
                    }),
                    "recognised", 0,
                    Head(3680, "recognised", 3680) + "  track 0: " + kFourSectors +
                        "  track 1: 3 sectors of 256 bytes (N1), R1-2,4\n"
                        "  track 2: " +
                        kFourSectors + "  oddity: track 1: missing sector C0 H1 R3 N1\n"});
    // R51 among R1-4 is a stray: R3 is missing, not R5-50.
    list.push_back({"missing-sector-beside-a-stray-number",
                    SmallImage([](Disk& disk) { RecordOf(disk, 1, 3).r = 51; }), "recognised", 0,
                    Head(3952, "recognised", 3952) + "  track 0: " + kFourSectors +
                        "  track 1: 4 sectors of 256 bytes (N1), R1-2,51,4\n"
                        "  track 2: " +
                        kFourSectors + "  oddity: track 1: missing sector C0 H1 R3 N1\n"});
    list.push_back({"duplicate-sector", SmallImage([](Disk& disk) {
                      auto& records = disk.tracks[1].records;
                      records.insert(records.begin() + 2, records[1]);
                    }),
                    "recognised", 0,
                    Head(4224, "recognised", 4224) + "  track 0: " + kFourSectors +
                        "  track 1: 5 sectors of 256 bytes (N1), R1-2,2-4\n"
                        "  track 2: " +
                        kFourSectors +
                        "  oddity: track 1: duplicate sector C0 H1 R2 N1 (2 records)\n"});
    list.push_back({"record-length-disagrees-with-N",
                    SmallImage([](Disk& disk) { RecordOf(disk, 1, 2).data.resize(128); }),
                    "recognised", 0,
                    Head(3824, "recognised", 3824) + kAllTracks +
                        "  oddity: track 1: sector C0 H1 R2 N1 holds 128 bytes, N1 says 256\n"});
    // Track 2's R4 record lies at 3680-3951, past a size of 3852.
    list.push_back({"records-past-the-disks-end", SmallImage([](Disk& disk) { disk.size = 3852; }),
                    "recognised", 0,
                    Head(3952, "recognised", 3852) + "  tracks 0-1: " + kFourSectors +
                        "  track 2: 3 sectors of 256 bytes (N1), R1-3\n"
                        "  oddity: track 2: records past the disk's end, from sector C1 H0 R4 N1 "
                        "on\n"});
    list.push_back({"counts-that-do-not-end-the-last-track", SmallImage([](Disk& disk) {
                      for (Record& record : disk.tracks[2].records) {
                        record.count = 0xFFFF;
                      }
                    }),
                    "recognised", 0,
                    Head(3952, "recognised", 3952) + kAllTracks +
                        "  oddity: track 2: the counts do not end the track before the disk's "
                        "end\n"});
    // Bytes 672-687 of the header are the offsets of tracks 160-163: zeros,
    // which read as a record of count 0.
    list.push_back({"track-offsets-outside-the-disk", SmallImage([](Disk& disk) {
                      disk.trackOffsets[5] = 0x7FFFFFFF;
                      disk.trackOffsets[6] = INT32_MIN;
                      disk.trackOffsets[7] = 672;
                      disk.trackOffsets[8] = 3952;
                    }),
                    "recognised", 0,
                    Head(3952, "recognised", 3952) + kAllTracks +
                        "  track 7: no sectors\n"
                        "  oddity: tracks 5-6: 2 offsets, from 2147483647 to 2147483648, lie "
                        "outside the disk\n"
                        "  oddity: track 7: offset 672 lies inside the disk header\n"
                        "  oddity: track 8: offset 3952 lies past the end of the image\n"});
    // Track 2 starts at track 1's second record, and its counts carry it on
    // into the first record of the real track 2.
    list.push_back({"overlapping-tracks",
                    SmallImage([](Disk& disk) { disk.trackOffsets[2] = 1776 + 272; }), "recognised",
                    0,
                    Head(3952, "recognised", 3952) + "  tracks 0-1: " + kFourSectors +
                        "  track 2: 4 sectors of 256 bytes (N1), R2-4,1\n"
                        "  oddity: track 1: overlaps track 2\n"
                        "  oddity: track 2: missing sector C0 H1 R1 N1\n"});
    list.push_back({"deleted-data-and-status", SmallImage([](Disk& disk) {
                      RecordOf(disk, 1, 2).deleted = 0x10;
                      RecordOf(disk, 1, 3).status = 0xB0;
                      RecordOf(disk, 2, 4).deleted = 0x01;
                    }),
                    "recognised", 0,
                    Head(3952, "recognised", 3952) + kAllTracks +
                        "  oddity: track 1: sector C0 H1 R2 N1 holds deleted data\n"
                        "  oddity: track 1: sector C0 H1 R3 N1 has status 0xb0\n"
                        "  oddity: track 2: sector C1 H0 R4 N1 has deleted-data byte 0x01\n"});
    // R3's record is at 3408-3679, its data from 3424.
    list.push_back({"image-ends-in-a-sectors-data", Cut(SmallImage([](Disk&) {}), 3524),
                    "recognised", 0,
                    Head(3524, "recognised", 3952) + "  tracks 0-1: " + kFourSectors +
                        "  track 2: 3 sectors of 256 bytes (N1), R1-3\n"
                        "  oddity: the disk runs 428 bytes past the end of the image\n"
                        "  oddity: track 2: sector C1 H0 R3 N1 is cut short by the end of the "
                        "image, 156 bytes missing\n"});
    // Tracks 3-9 of four sectors more, past the end: tracks 4 and 6 have no
    // offset (their records stay in the disk), and the row of tracks past
    // the end goes on over them.
    list.push_back({"image-ends-before-many-tracks",
                    Cut(SmallImage([](Disk& disk) {
                          for (int track = 3; track < 10; ++track) {
                            disk.tracks[track] = disk.tracks[2];
                          }
                          disk.trackOffsets[4] = 0;
                          disk.trackOffsets[6] = 0;
                        }),
                        3952),
                    "recognised", 0,
                    Head(3952, "recognised", 11568) + kAllTracks +
                        "  oddity: the disk runs 7616 bytes past the end of the image\n"
                        "  oddity: tracks 3-9: 5 offsets, from 3952 to 10480, lie past the end of "
                        "the image\n"});
    list.push_back({"image-ends-in-a-record-header", Cut(SmallImage([](Disk&) {}), 3416),
                    "recognised", 0,
                    Head(3416, "recognised", 3952) + "  tracks 0-1: " + kFourSectors +
                        "  track 2: 2 sectors of 256 bytes (N1), R1-2\n"
                        "  oddity: the disk runs 536 bytes past the end of the image\n"
                        "  oddity: track 2: the image ends inside the track\n"});

    {
      // Track 1 holds 40 sectors of 128 bytes, each with an error status, in
      // place of its 4 of 256: 32 of their oddities are shown.
      std::string oddities;
      Disk disk = SmallDisk();
      std::vector<Record>& records = disk.tracks[1].records;
      records.clear();
      for (int r = 1; r <= 40; ++r) {
        records.push_back(MakeRecord(0, 1, r, 0, PatternBytes(128, r)));
        records.back().status = 0xB0;
        if (r <= 32) {
          oddities +=
              "  oddity: track 1: sector C0 H1 R" + std::to_string(r) + " N0 has status 0xb0\n";
        }
      }
      list.push_back({"more-oddities-than-are-shown", BuildImage({disk}), "recognised", 0,
                      Head(8624, "recognised", 8624) + "  track 0: " + kFourSectors +
                          "  track 1: 40 sectors of 128 bytes (N0), R1-40\n"
                          "  track 2: " +
                          kFourSectors + oddities +
                          "  oddity: track 1: 8 more oddities not shown\n"});
    }

    // --- Layouts ---
    list.push_back({"single-and-double-density", SmallImage([](Disk& disk) {
                      RecordOf(disk, 1, 4).density = 0x40;
                      for (Record& record : disk.tracks[2].records) {
                        record.density = 0x40;
                      }
                    }),
                    "recognised", 0,
                    Head(3952, "recognised", 3952) + "  track 0: " + kFourSectors +
                        "  track 1: 4 sectors: 3 of 256 bytes (N1), R1-3; 1 of 256 bytes (N1), "
                        "R4, single density\n"
                        "  track 2: 4 sectors of 256 bytes (N1), R1-4, single density\n"});
    // Every report gives the image's SHA-1 under its size; the small disk
    // has no raw areas and no volume: d88cut writes nothing.
    for (InfoCase& c : list) {
      c.report.insert(c.report.find('\n') + 1, "sha1: " + Sha1Hex(c.image) + "\n");
      if (c.verdict == "recognised") {
        c.report += "\noutputs:\n  none\n";
      }
    }
    return list;
  }();
  return cases;
}
