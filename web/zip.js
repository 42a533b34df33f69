'use strict';
// A store-only zip. Each entry keeps its bytes as they are, its name in UTF-8
// with the language-encoding flag (general-purpose bit 11), and the DOS time
// and date words it is given, exactly: a volume file's words are the ones its
// directory entry records, hour 24 or month 0 included, with no time zone
// involved. Zip libraries take a Date and reject or normalise such values,
// so the page writes its own few headers. Files are at most a floppy's size,
// so no entry needs Zip64.
//
// The zip says it was made on Unix, and each entry is a regular file with
// mode 0644. Info-ZIP unzip takes the names of a zip made on MS-DOS for code
// page 437 whatever the flag says, and turns UTF-8 into other characters;
// from Unix it keeps the bytes. 7-Zip and bsdtar give each file the mode the
// entry holds.

const kZipCrcTable = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) {
      c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
    }
    table[n] = c >>> 0;
  }
  return table;
})();

function ZipCrc32(bytes) {
  let crc = 0xFFFFFFFF;
  for (let i = 0; i < bytes.length; ++i) {
    crc = kZipCrcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >>> 8);
  }
  return (crc ^ 0xFFFFFFFF) >>> 0;
}

// The DOS words of a moment in the computer's local time, as zip tools read
// them; before 1980, which DOS cannot say, 1 January 1980.
function DosWordsOf(moment) {
  if (moment.getFullYear() < 1980) {
    return {time: 0, date: (1 << 5) | 1};
  }
  return {
    time: (moment.getHours() << 11) | (moment.getMinutes() << 5) | (moment.getSeconds() >> 1),
    date: ((moment.getFullYear() - 1980) << 9) | ((moment.getMonth() + 1) << 5) | moment.getDate(),
  };
}

// True when `name` is one plain file name that unpacks into the folder the
// zip is unpacked in, on any system: no separator, not "." or "..", no NUL.
function IsZipEntryName(name) {
  return name !== '' && name !== '.' && name !== '..' && !/[\\/\u0000]/.test(name);
}

// entries: [{name, bytes: Uint8Array, time, date}] -> the zip's bytes.
function MakeZip(entries) {
  const kFlagUtf8 = 0x0800;
  const kVersion = 20;  // 2.0: stored entries, as every unzip reads them
  const kMadeOnUnix = (3 << 8) | kVersion;
  const kRegularFile0644 = 0o100644 * 0x10000;  // st_mode in the high 16 bits
  const encoder = new TextEncoder();
  const parts = [];
  const central = [];
  let offset = 0;
  for (const entry of entries) {
    if (!IsZipEntryName(entry.name)) {
      throw new Error('not a plain file name: ' + JSON.stringify(entry.name));
    }
    const name = encoder.encode(entry.name);
    const crc = ZipCrc32(entry.bytes);
    const local = new DataView(new ArrayBuffer(30));
    local.setUint32(0, 0x04034B50, true);
    local.setUint16(4, kVersion, true);
    local.setUint16(6, kFlagUtf8, true);
    local.setUint16(8, 0, true);  // stored
    local.setUint16(10, entry.time, true);
    local.setUint16(12, entry.date, true);
    local.setUint32(14, crc, true);
    local.setUint32(18, entry.bytes.length, true);
    local.setUint32(22, entry.bytes.length, true);
    local.setUint16(26, name.length, true);
    local.setUint16(28, 0, true);
    const record = new DataView(new ArrayBuffer(46));
    record.setUint32(0, 0x02014B50, true);
    record.setUint16(4, kMadeOnUnix, true);
    record.setUint16(6, kVersion, true);
    record.setUint16(8, kFlagUtf8, true);
    record.setUint16(10, 0, true);
    record.setUint16(12, entry.time, true);
    record.setUint16(14, entry.date, true);
    record.setUint32(16, crc, true);
    record.setUint32(20, entry.bytes.length, true);
    record.setUint32(24, entry.bytes.length, true);
    record.setUint16(28, name.length, true);
    // Extra field, comment, disk number, internal attributes: none.
    record.setUint32(38, kRegularFile0644, true);
    record.setUint32(42, offset, true);
    parts.push(new Uint8Array(local.buffer), name, entry.bytes);
    central.push(new Uint8Array(record.buffer), name);
    offset += 30 + name.length + entry.bytes.length;
  }
  const centralSize = central.reduce((sum, part) => sum + part.length, 0);
  const end = new DataView(new ArrayBuffer(22));
  end.setUint32(0, 0x06054B50, true);
  end.setUint16(8, entries.length, true);
  end.setUint16(10, entries.length, true);
  end.setUint32(12, centralSize, true);
  end.setUint32(16, offset, true);
  const all = parts.concat(central, [new Uint8Array(end.buffer)]);
  const zip = new Uint8Array(offset + centralSize + 22);
  let at = 0;
  for (const part of all) {
    zip.set(part, at);
    at += part.length;
  }
  return zip;
}
