// Images for the page's tests, made from the sample disk, and what the
// native tool and the Windows build make of them.
import {execFileSync, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

export const kSource = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const kSample = path.join(kSource, 'examples/sample.d88');

export function TempDir(prefix) {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

// ---------------------------------------------------------------------------
// The D88 layout, as far as the tests need it.

const kTrackTable = 0x20;

// The file offset of the data of the first record of `track` that is
// C/H/R/N, and that record's header offset.
export function FindSector(image, track, c, h, r, n) {
  const view = new DataView(image.buffer, image.byteOffset, image.byteLength);
  let at = view.getUint32(kTrackTable + 4 * track, true);
  for (let index = 0; at + 16 <= image.length; ++index) {
    const count = view.getUint16(at + 4, true);
    const length = view.getUint16(at + 14, true);
    if (image[at] === c && image[at + 1] === h && image[at + 2] === r && image[at + 3] === n) {
      return {header: at, data: at + 16};
    }
    if (count === 0 || index === count - 1) {
      break;
    }
    at += 16 + length;
  }
  throw new Error(`no sector C${c} H${h} R${r} N${n} on track ${track}`);
}

// The first sector of the root directory: entries 0-15.
export function RootDirectory(image) {
  return FindSector(image, 0, 0, 0, 6, 2).data;
}

export function DosTime(hour, minute, second) {
  return (hour << 11) | (minute << 5) | (second >> 1);
}

export function DosDate(year, month, day) {
  return ((year - 1980) << 9) | (month << 5) | day;
}

// The sample's root directory, entry by entry.
export function ReadEntries(image) {
  const root = RootDirectory(image);
  const view = new DataView(image.buffer, image.byteOffset, image.byteLength);
  const entries = [];
  for (let i = 0; i < 16; ++i) {
    const at = root + 32 * i;
    if (image[at] === 0) {
      break;
    }
    entries.push({
      name: image.subarray(at, at + 11),
      attributes: image[at + 11],
      time: view.getUint16(at + 22, true),
      date: view.getUint16(at + 24, true),
      cluster: view.getUint16(at + 26, true),
      size: view.getUint32(at + 28, true),
    });
  }
  return entries;
}

// Bytes of a name field, from a string of byte values below 0x100.
export function NameBytes(text) {
  if (text.length !== 11) {
    throw new Error(`a directory name is 11 bytes: ${JSON.stringify(text)}`);
  }
  return Uint8Array.from(text, (character) => character.charCodeAt(0));
}

// The sample with its root directory replaced by `entries` ({name (11
// bytes as a byte string), attributes, time, date, cluster, size}), which
// take their data from the sample's own files' clusters.
export function SampleWithEntries(entries) {
  const image = new Uint8Array(fs.readFileSync(kSample));
  const root = RootDirectory(image);
  if (entries.length > 16) {
    throw new Error('the first directory sector holds 16 entries');
  }
  image.fill(0, root, root + 512);
  const view = new DataView(image.buffer);
  entries.forEach((entry, i) => {
    const at = root + 32 * i;
    image.set(NameBytes(entry.name), at);
    image[at + 11] = entry.attributes ?? 0x20;
    view.setUint16(at + 22, entry.time, true);
    view.setUint16(at + 24, entry.date, true);
    view.setUint16(at + 26, entry.cluster, true);
    view.setUint32(at + 28, entry.size, true);
  });
  return image;
}

// The sample's three files, whose clusters the made-up entries share.
export function SampleFiles() {
  const image = new Uint8Array(fs.readFileSync(kSample));
  const byName = {};
  for (const entry of ReadEntries(image)) {
    byName[Buffer.from(entry.name).toString('latin1').trim().replace(/ +/, '.')] = entry;
  }
  return {readme: byName['README.TXT'], hello: byName['HELLO.COM'], scores: byName['SCORES.DAT']};
}

export function WriteImage(dir, name, bytes) {
  const file = path.join(dir, name);
  fs.writeFileSync(file, bytes);
  return file;
}

// The sample followed by zeros up to 2 GiB, without taking the space.
export function SparseImage(dir) {
  const file = path.join(dir, 'LARGE.d88');
  fs.copyFileSync(kSample, file);
  fs.truncateSync(file, 2 ** 31);
  return file;
}

// ---------------------------------------------------------------------------
// The native tool.

// Runs `tool` on `image` in a fresh folder with TZ=UTC, with one stream on a
// pseudo-terminal in a UTF-8 locale, as a user's terminal shows it: the
// text the page must show. Returns {out, err, status, files: {name: bytes}},
// names as latin1 strings of their bytes.
export function RunNative(tool, image) {
  const environment = {...process.env, TZ: 'UTC', LC_ALL: 'C.UTF-8'};
  // Names are read as bytes: a disk's names need not be UTF-8.
  const onTerminal = (dir, redirect) => {
    const run = spawnSync('script', ['-q', '-e', '-c', `"${tool}" "${image}" ${redirect}`, '/dev/null'],
                          {cwd: dir, env: environment, encoding: 'utf8'});
    return {text: run.stdout.replace(/\r\n/g, '\n'), status: run.status};
  };
  const errDir = TempDir('d88cut-native-');
  const err = onTerminal(errDir, '2>&1 >/dev/null');
  fs.rmSync(errDir, {recursive: true});
  const dir = TempDir('d88cut-native-');
  const out = onTerminal(dir, '2>/dev/null');
  const files = {};
  for (const name of fs.readdirSync(dir, {encoding: 'buffer'}).sort(Buffer.compare)) {
    const file = Buffer.concat([Buffer.from(dir + '/'), name]);
    files[name.toString('latin1')] = new Uint8Array(fs.readFileSync(file));
  }
  fs.rmSync(dir, {recursive: true});
  return {out: out.text, err: err.text, status: out.status, files};
}

// Runs d88merge (`tool`) on `dumps` in a fresh folder with standard output
// on a pseudo-terminal in a UTF-8 locale, as a user's terminal shows it.
// Returns {out, status, image (the merged image's bytes)}.
export function RunMergeNative(tool, dumps) {
  const dir = TempDir('d88merge-native-');
  try {
    const quoted = dumps.map((dump) => `"${dump}"`).join(' ');
    const run = spawnSync('script', ['-q', '-e', '-c', `"${tool}" -o merged.d88 ${quoted} 2>/dev/null`, '/dev/null'],
                          {cwd: dir, env: {...process.env, TZ: 'UTC', LC_ALL: 'C.UTF-8'}, encoding: 'utf8'});
    const image = new Uint8Array(fs.readFileSync(path.join(dir, 'merged.d88')));
    return {out: run.stdout.replace(/\r\n/g, '\n'), status: run.status, image};
  } finally {
    fs.rmSync(dir, {recursive: true});
  }
}

// Runs the Windows build's d88cut.exe on `image` under Wine in a fresh
// folder, in the Wine prefix `prefix`, and returns the files it leaves
// there: {name: bytes}, names as Wine writes them, in UTF-8.
export function RunWindows(tool, image, prefix) {
  const dir = TempDir('d88cut-windows-');
  fs.copyFileSync(image, path.join(dir, 'image.d88'));
  execFileSync(path.join(kSource, 'cmake/wine-run.sh'), [prefix, tool, 'image.d88'],
               {cwd: dir, env: {...process.env, TZ: 'UTC0'}, stdio: 'ignore'});
  const files = {};
  for (const name of fs.readdirSync(dir).sort()) {
    if (name !== 'image.d88') {
      files[name] = new Uint8Array(fs.readFileSync(path.join(dir, name)));
    }
  }
  fs.rmSync(dir, {recursive: true});
  return files;
}

// ---------------------------------------------------------------------------
// Zip files, read by hand so that every field can be checked.

export function ReadZip(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const end = bytes.length - 22;
  if (view.getUint32(end, true) !== 0x06054B50) {
    throw new Error('no end of central directory where a zip without comment has it');
  }
  const count = view.getUint16(end + 10, true);
  let at = view.getUint32(end + 16, true);
  const entries = [];
  for (let i = 0; i < count; ++i) {
    if (view.getUint32(at, true) !== 0x02014B50) {
      throw new Error(`no central directory record ${i}`);
    }
    const nameLength = view.getUint16(at + 28, true);
    const extraLength = view.getUint16(at + 30, true);
    const commentLength = view.getUint16(at + 32, true);
    const local = view.getUint32(at + 42, true);
    const name = new TextDecoder('utf-8', {fatal: true}).decode(
      bytes.subarray(at + 46, at + 46 + nameLength));
    const size = view.getUint32(at + 24, true);
    const localNameLength = view.getUint16(local + 26, true);
    const dataAt = local + 30 + localNameLength + view.getUint16(local + 28, true);
    entries.push({
      name,
      flags: view.getUint16(at + 8, true),
      localFlags: view.getUint16(local + 6, true),
      method: view.getUint16(at + 10, true),
      time: view.getUint16(at + 12, true),
      date: view.getUint16(at + 14, true),
      localTime: view.getUint16(local + 10, true),
      localDate: view.getUint16(local + 12, true),
      crc: view.getUint32(at + 16, true),
      localCrc: view.getUint32(local + 14, true),
      compressedSize: view.getUint32(at + 20, true),
      size,
      localName: new TextDecoder().decode(bytes.subarray(local + 30, local + 30 + localNameLength)),
      bytes: bytes.subarray(dataAt, dataAt + size),
    });
    at += 46 + nameLength + extraLength + commentLength;
  }
  return entries;
}

export function Crc32(bytes) {
  let crc = 0xFFFFFFFF;
  for (const byte of bytes) {
    crc ^= byte;
    for (let k = 0; k < 8; ++k) {
      crc = crc & 1 ? 0xEDB88320 ^ (crc >>> 1) : crc >>> 1;
    }
  }
  return (crc ^ 0xFFFFFFFF) >>> 0;
}

// ---------------------------------------------------------------------------
// Zip files, as users unpack them.

// A name read from a directory, as a string when its bytes are UTF-8, and
// otherwise as its bytes in hex, so that a garbled name never compares
// equal to the right one.
function NameOfBytes(bytes) {
  const text = bytes.toString('utf8');
  return Buffer.from(text).equals(bytes) ? text : `bytes ${bytes.toString('hex')}`;
}

// Each archiver's command that unpacks `zip` into `dir`.
export const kArchivers = [
  {name: 'unzip', Command: (zip, dir) => ['unzip', '-q', zip, '-d', dir]},
  {name: 'bsdtar', Command: (zip, dir) => ['bsdtar', '-xf', zip, '-C', dir]},
  {name: '7z', Command: (zip, dir) => ['7z', 'x', '-bso0', '-bsp0', '-y', `-o${dir}`, zip]},
];

// Unpacks `zip` (its bytes) with `archiver` in a UTF-8 locale with umask
// 022, as a user's shell has it, and returns what it left:
// {name: {bytes, mode}}, mode being the whole st_mode.
export function UnpackZip(archiver, zip) {
  const dir = TempDir(`d88cut-${archiver.name}-`);
  const zipFile = path.join(dir, 'page.zip');
  const into = path.join(dir, 'files');
  fs.writeFileSync(zipFile, zip);
  fs.mkdirSync(into);
  const run = spawnSync('sh', ['-c', 'umask 022 && exec "$@"', 'sh', ...archiver.Command(zipFile, into)],
                        {env: {...process.env, LC_ALL: 'C.UTF-8'}, encoding: 'utf8'});
  try {
    if (run.status !== 0) {
      throw new Error(`${archiver.name} failed with status ${run.status}: ${run.error ?? ''}${run.stderr}`);
    }
    const files = {};
    for (const name of fs.readdirSync(into, {encoding: 'buffer'})) {
      const file = Buffer.concat([Buffer.from(into + '/'), name]);
      files[NameOfBytes(name)] = {bytes: new Uint8Array(fs.readFileSync(file)), mode: fs.lstatSync(file).mode};
    }
    return files;
  } finally {
    fs.rmSync(dir, {recursive: true});
  }
}

// `zip` as Python's zipfile reads it: [{name, mode, bytes}], mode being the
// high 16 bits of the external attributes, which zipfile's users take for
// st_mode; zipfile checks each entry's CRC as it reads it.
export function ReadZipWithPython(zip) {
  const script = `
import base64, io, json, sys, zipfile
with zipfile.ZipFile(io.BytesIO(sys.stdin.buffer.read())) as archive:
    print(json.dumps([{"name": info.filename, "mode": info.external_attr >> 16,
                       "bytes": base64.b64encode(archive.read(info)).decode()}
                      for info in archive.infolist()]))
`;
  const run = spawnSync('python3', ['-c', script], {input: zip, encoding: 'utf8'});
  if (run.status !== 0) {
    throw new Error(`python3's zipfile failed: ${run.error ?? ''}${run.stderr}`);
  }
  return JSON.parse(run.stdout).map(
    (entry) => ({...entry, bytes: new Uint8Array(Buffer.from(entry.bytes, 'base64'))}));
}

// ---------------------------------------------------------------------------
// Damaged disks: a D88 image taken apart into its records and put together
// again, so that a record can be cut short, marked or taken away.

// The first disk of `image`: {header (the disk header's bytes), tracks:
// [track number: [{c, h, r, n, density, deleted, status, data}] or null]}.
export function ParseDisk(image) {
  const view = new DataView(image.buffer, image.byteOffset, image.byteLength);
  const header = image.slice(0, 0x2B0);
  const tracks = [];
  for (let track = 0; track < 164; ++track) {
    let at = view.getUint32(kTrackTable + 4 * track, true);
    if (at === 0) {
      tracks.push(null);
      continue;
    }
    const records = [];
    for (let index = 0; at + 16 <= image.length; ++index) {
      const count = view.getUint16(at + 4, true);
      const length = view.getUint16(at + 14, true);
      records.push({
        c: image[at], h: image[at + 1], r: image[at + 2], n: image[at + 3],
        density: image[at + 6], deleted: image[at + 7], status: image[at + 8],
        data: image.slice(at + 16, at + 16 + length),
      });
      if (count === 0 || index === count - 1) {
        break;
      }
      at += 16 + length;
    }
    tracks.push(records);
  }
  return {header, tracks};
}

// The disk of ParseDisk as a D88 image, each record's count set to its
// track's.
export function BuildDisk(disk) {
  const parts = [];
  let size = 0x2B0;
  const offsets = disk.tracks.map((records) => {
    if (records === null) {
      return 0;
    }
    const start = size;
    for (const record of records) {
      const header = new Uint8Array(16);
      const view = new DataView(header.buffer);
      header.set([record.c, record.h, record.r, record.n]);
      view.setUint16(4, records.length, true);
      header[6] = record.density;
      header[7] = record.deleted;
      header[8] = record.status;
      view.setUint16(14, record.data.length, true);
      parts.push(header, record.data);
      size += 16 + record.data.length;
    }
    return start;
  });
  const image = new Uint8Array(size);
  image.set(disk.header);
  const view = new DataView(image.buffer);
  view.setUint32(0x1C, size, true);
  offsets.forEach((offset, track) => view.setUint32(kTrackTable + 4 * track, offset, true));
  let at = 0x2B0;
  for (const part of parts) {
    image.set(part, at);
    at += part.length;
  }
  return image;
}

// Where the volume keeps the first sector of `cluster`: its track and R.
// The volume is 9 sectors of 512 bytes a track; its files' clusters of two
// sectors start at its 13th sector.
export function ClusterSector(cluster) {
  const sector = 12 + (cluster - 2) * 2;
  return {track: Math.floor(sector / 9), r: (sector % 9) + 1};
}

// The record of `disk` on `track` with R `r` and N `n`.
export function RecordOf(disk, track, r, n = 2) {
  const found = disk.tracks[track].find((record) => record.r === r && record.n === n);
  if (!found) {
    throw new Error(`no R${r} N${n} on track ${track}`);
  }
  return found;
}
