'use strict';
// The practice disk: a D88 image of the disk d88cut unpacks, made here, that
// the worker runs the tool on while the page waits for the user's image.
// Each run of the tool goes through the same code as a run on a real dump of
// that disk: the signature, both raw areas, the volume's allocation table,
// its root directory and three files, one of them named in Shift_JIS and
// one beyond the raw areas. The browser compiles code well only once it has
// run a while, so that without practice the user's first image meets slow
// code. Nothing of these runs reaches the page.

// The disk's layout (common/disk_layout.h): track t is C t/2, H t%2; tracks
// 0-2 and 9-79 hold the MS-DOS volume in nine 512-byte sectors each, and
// track 0 also the 256-byte signature sector R1; tracks 3-8 hold the raw
// areas in sixteen 256-byte sectors each.
const kPracticeTracks = 80;
const kPracticeSlotBytes = 9 * 512;

// One file of the volume: its 11-byte directory name, its first cluster and
// its bytes. Cluster n lies at offset (n + 4) * 1,024 of the volume.
function PracticeFiles() {
  const text = (line, length) => {
    const bytes = new Uint8Array(length);
    for (let at = 0; at < length; ++at) {
      bytes[at] = line.charCodeAt(at % line.length);
    }
    return bytes;
  };
  return [
    {name: 'PRACTICE', ext: 'TXT', cluster: 2, bytes: text('The page practises on this disk.\r\n', 3000)},
    // "テスト" in Shift_JIS.
    {name: [0x83, 0x65, 0x83, 0x58, 0x83, 0x67], ext: 'DAT', cluster: 40,
     bytes: text('0123456789ABCDEF', 5000)},
    {name: 'SCORES', ext: 'DAT', cluster: 200, bytes: text('PLAYER 00001234\r\n', 2600)},
  ];
}

// The volume as d88cut loads it: one 4,608-byte slot per track.
function PracticeVolume() {
  const volume = new Uint8Array(kPracticeTracks * kPracticeSlotBytes);
  const fat = volume.subarray(512, 512 + 1024);  // track 0, R2-R3
  const setFat = (cluster, value) => {
    const at = Math.floor(cluster * 3 / 2);
    if (cluster % 2 === 0) {
      fat[at] = value & 0xFF;
      fat[at + 1] = (fat[at + 1] & 0xF0) | (value >> 8);
    } else {
      fat[at] = (fat[at] & 0x0F) | ((value & 0x0F) << 4);
      fat[at + 1] = value >> 4;
    }
  };
  setFat(0, 0xFFE);
  setFat(1, 0xFFF);
  const root = new DataView(volume.buffer, 2560, 64 * 32);  // track 0, R6-R9
  PracticeFiles().forEach((file, index) => {
    const entry = index * 32;
    const name = typeof file.name === 'string' ? Array.from(file.name, (c) => c.charCodeAt(0)) : file.name;
    for (let at = 0; at < 11; ++at) {
      const padded = at < 8 ? name[at] : file.ext.charCodeAt(at - 8);
      root.setUint8(entry + at, padded === undefined ? 0x20 : padded);
    }
    root.setUint8(entry + 11, 0x20);  // archive
    root.setUint16(entry + 22, (12 << 11) | (34 << 5) | 28, true);  // 12:34:56
    root.setUint16(entry + 24, ((1990 - 1980) << 9) | (3 << 5) | 4, true);  // 1990-03-04
    root.setUint16(entry + 26, file.cluster, true);
    root.setUint32(entry + 28, file.bytes.length, true);
    const clusters = Math.ceil(file.bytes.length / 1024);
    for (let i = 0; i < clusters; ++i) {
      const cluster = file.cluster + i;
      setFat(cluster, i + 1 < clusters ? cluster + 1 : 0xFFF);
      volume.set(file.bytes.subarray(i * 1024, (i + 1) * 1024), (cluster + 4) * 1024);
    }
  });
  return volume;
}

// The image: a D88 header, then each track's records, each a 16-byte
// header (C, H, R, N, records in the track, density, deleted, status,
// data length) and its data.
function PracticeDisk() {
  const volume = PracticeVolume();
  const records = [];
  for (let track = 0; track < kPracticeTracks; ++track) {
    const raw = track >= 3 && track <= 8;
    const sectors = [];
    if (track === 0) {
      const signature = new Uint8Array(256);
      signature.set(Array.from('BEXO-X1/turboSys', (c) => c.charCodeAt(0)), 1);
      sectors.push({r: 1, n: 1, data: signature});
    }
    for (let r = 1; r <= (raw ? 16 : 9); ++r) {
      const data = raw ? new Uint8Array(256).fill(0x30 + track) :
        volume.subarray(track * kPracticeSlotBytes + (r - 1) * 512, track * kPracticeSlotBytes + r * 512);
      sectors.push({r, n: raw ? 1 : 2, data});
    }
    records.push(sectors);
  }
  const kHeader = 0x2B0;
  let size = kHeader;
  for (const sectors of records) {
    for (const sector of sectors) {
      size += 16 + sector.data.length;
    }
  }
  const image = new Uint8Array(size);
  const view = new DataView(image.buffer);
  image.set(Array.from('PRACTICE', (c) => c.charCodeAt(0)), 0);
  view.setUint32(0x1C, size, true);
  let at = kHeader;
  records.forEach((sectors, track) => {
    view.setUint32(0x20 + track * 4, at, true);
    for (const sector of sectors) {
      image.set([track >> 1, track & 1, sector.r, sector.n], at);
      view.setUint16(at + 4, sectors.length, true);
      view.setUint16(at + 14, sector.data.length, true);
      image.set(sector.data, at + 16);
      at += 16 + sector.data.length;
    }
  });
  return image;
}
