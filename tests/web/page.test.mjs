// The page, build-web/d88cut.html, driven in Debian's Chromium and Firefox
// ESR through the same ids a user's script would use (doc/web.md,
// "Automation contract"). What it unpacks is compared with what the native
// tool shows on a UTF-8 terminal and writes, and with the folder the Windows
// build leaves under Wine; its zip is read field by field and unpacked with
// the archivers people use.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import {spawnSync} from 'node:child_process';
import http from 'node:http';
import path from 'node:path';
import {after, before, describe, test as nodeTest} from 'node:test';
import {pathToFileURL} from 'node:url';
import vm from 'node:vm';

import puppeteer from 'puppeteer-core';

import {
  BuildDisk, ClusterSector, Crc32, DosDate, DosTime, FindSector, kArchivers, kSample, kSource,
  ParseDisk, ReadEntries, ReadZip, ReadZipWithPython, RecordOf, RunMergeNative, RunNative, RunWindows,
  SampleFiles,
  SampleWithEntries, SparseImage, TempDir, UnpackZip, WriteImage,
} from './fixtures.mjs';

const kPage = process.env.D88CUT_PAGE || path.join(kSource, 'build-web/d88cut.html');
const kNativeTool = process.env.D88CUT_NATIVE_TOOL || path.join(kSource, 'build/d88cut');
// The d88info built beside the native d88cut, whose report the page shows.
const kNativeInfo = path.join(path.dirname(kNativeTool), 'd88info');
// And the d88merge beside it, whose merge the page makes of several images.
const kNativeMerge = path.join(path.dirname(kNativeTool), 'd88merge');
const kWindowsTool =
  process.env.D88CUT_WINDOWS_TOOL || path.join(kSource, 'build-windows/d88cut.exe');
const kScreenshots = process.env.D88CUT_SCREENSHOTS || path.join(path.dirname(kPage), 'screenshots');
const kWinePrefix = path.join(path.dirname(kPage), 'wine-prefix');
const kTimeout = 180000;

const kArchive = 0x20;
const kWhen = {time: DosTime(12, 34, 56), date: DosDate(1990, 3, 4)};

// Offline, quiet, no first-run work; a fresh profile each launch.
const kChromiumArguments = [
  '--no-sandbox', '--disable-background-networking', '--disable-component-update',
  '--disable-sync', '--no-first-run', '--disable-gpu', '--lang=en-US',
];

function FirefoxPreferences(downloads) {
  return {
    'browser.download.folderList': 2,
    'browser.download.dir': downloads,
    'browser.download.useDownloadDir': true,
    'browser.download.always_ask_before_handling_new_types': false,
    'browser.download.start_downloads_in_tmp_dir': false,
    'browser.download.alwaysOpenPanel': false,
    'browser.helperApps.neverAsk.saveToDisk': 'application/zip,application/octet-stream',
    'intl.accept_languages': 'en-US, en',
    'network.captive-portal-service.enabled': false,
    'network.connectivity-service.enabled': false,
  };
}

const kBrowsers = [
  {
    name: 'Chromium',
    Launch: (profile) => puppeteer.launch({
      browser: 'chrome', executablePath: '/usr/bin/chromium', headless: true,
      args: kChromiumArguments, userDataDir: profile, env: {...process.env, TZ: 'UTC'},
    }),
    OpenContext: (browser, downloads) => browser.createBrowserContext(
      {downloadBehavior: {policy: 'allow', downloadPath: downloads}}),
  },
  {
    name: 'Firefox',
    Launch: (profile, downloads) => puppeteer.launch({
      browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true,
      userDataDir: profile, extraPrefsFirefox: FirefoxPreferences(downloads),
      env: {...process.env, TZ: 'UTC'},
    }),
    OpenContext: (browser) => browser.defaultBrowserContext(),
  },
];

// ---------------------------------------------------------------------------
// Images

const kWork = TempDir('d88cut-page-');
const sampleFiles = SampleFiles();
const readme = sampleFiles.readme;
const hello = sampleFiles.hello;
const scores = sampleFiles.scores;

function Entry(name, file, words = kWhen, attributes = kArchive) {
  return {name, attributes, time: words.time, date: words.date, cluster: file.cluster, size: file.size};
}

// Windows' rules for names, each case with what Windows makes of it.
const kWindowsCases = [
  {entry: Entry('CON     TXT', readme), reported: 'CON.TXT'},
  {entry: Entry('A:B     TXT', readme), reported: 'A:B.TXT'},
  {entry: Entry('AB.        ', readme), reported: 'AB.'},
  {entry: Entry('nul     d88', readme), reported: 'nul.d88'},
  // A pair that is no character: listed and reported with '?' for its bytes.
  {entry: Entry('\x85\x40      TXT', readme), reported: '??.TXT'},
  // 表示.TXT, the trail byte of 表 a backslash were it ASCII.
  {entry: Entry('\x95\x5C\x8E\xA6    TXT', hello), file: '\u8868\u793A.TXT'},
  // 蕁蘂.TXT, recorded with 0x05 for its first byte 0xE5, which would mark
  // the entry deleted.
  {entry: Entry('\x05\x40\xE5\x41    TXT', scores), file: '\u8541\u8602.TXT'},
  // Names that differ only in case: one file, the first name, the later
  // contents and time.
  {entry: Entry('ABC     TXT', readme), file: 'ABC.TXT'},
  {entry: Entry('abc     txt', scores, {time: DosTime(8, 0, 0), date: DosDate(2001, 7, 15)})},
  // Full-width Ａ and ａ, Greek Α and α: Windows takes each pair for one name.
  {entry: Entry('\x82\x60      TXT', hello), file: '\uFF21.TXT'},
  {entry: Entry('\x82\x81      TXT', readme, {time: DosTime(9, 0, 0), date: DosDate(1999, 9, 9)})},
  {entry: Entry('\x83\x9F      DAT', readme), file: '\u0391.DAT'},
  {entry: Entry('\x83\xBF      DAT', scores)},
  // A volume file named as a raw area takes that file over, time and all.
  {entry: Entry('main       ', hello, {time: DosTime(1, 2, 4), date: DosDate(1985, 5, 5)})},
  // Words that no clock reads: hour 24, minute 63, month 0, day 0.
  {entry: Entry('ODD     BIN', readme, {time: 0xC7E0, date: 0x0000}), file: 'ODD.BIN'},
  {entry: Entry('LATE    BIN', hello, {time: 0xFFFF, date: 0xFFFF}), file: 'LATE.BIN'},
];

// Names that would be markup if the page took them for it.
const kMarkupCases = [
  {entry: Entry('<B>     TXT', readme), shown: '<B>.TXT', reported: true},
  {entry: Entry("A&B'C   TXT", hello), shown: "A&B'C.TXT", file: "A&B'C.TXT"},
  {entry: Entry('&LT;    TXT', scores), shown: '&LT;.TXT', file: '&LT;.TXT'},
  {entry: Entry("<I'>&   >  ", readme), shown: "<I'>&.>", reported: true},
];

function SampleImage() {
  return kSample;
}

function NotTheDisk(verdict) {
  const image = new Uint8Array(fs.readFileSync(kSample));
  if (verdict === 'no-first-sector') {
    image[FindSector(image, 0, 0, 0, 1, 1).header + 2] = 0x21;  // R1 becomes R33
  } else {
    image[FindSector(image, 0, 0, 0, 1, 1).data + 6] ^= 0x20;  // "BEXO-x1/turboSys"
  }
  return image;
}

// The sample with a sector of each kind of damage: README.TXT's first with
// an error status, HELLO.COM's marked deleted, the fourth of SCORES.DAT cut
// to 100 bytes, and R5 of MAIN's first track taken away.
function DamagedSample() {
  const disk = ParseDisk(new Uint8Array(fs.readFileSync(kSample)));
  const first = (file) => ClusterSector(file.cluster);
  RecordOf(disk, first(readme).track, first(readme).r).status = 0xB0;
  RecordOf(disk, first(hello).track, first(hello).r).deleted = 0x10;
  const cut = RecordOf(disk, 2, 3);
  cut.data = cut.data.slice(0, 100);
  disk.tracks[3] = disk.tracks[3].filter((record) => record.r !== 5);
  return BuildDisk(disk);
}

// The sample with track 2's R2 taken away and the image cut short inside
// R9 of track 7: the volume's read of tracks 0-2 stops at R2, in
// SCORES.DAT's second sector, and DEMO's at R9 of track 7; neither reaches
// the sectors after, of which the image holds track 2's and not track 8's.
function CutShortSample() {
  const disk = ParseDisk(new Uint8Array(fs.readFileSync(kSample)));
  disk.tracks[2] = disk.tracks[2].filter((record) => record.r !== 2);
  const image = BuildDisk(disk);
  return image.slice(0, FindSector(image, 7, 3, 1, 9, 1).data + 100);
}

// Two damaged dumps of the sample, each whole where the other is not. The
// first by name (DISK-A) lacks README.TXT's second sector, which the merge
// adds at the end of its track, and has SCORES.DAT's first with an error
// status, which the merge replaces where it lies; the second (DISK-B) has
// HELLO.COM's first with an error status, which the first has whole. The
// sectors the merge takes from DISK-B, as track:R.
const kRecoveredFromSecond = [
  `${ClusterSector(readme.cluster).track}:${ClusterSector(readme.cluster).r + 1}`,
  `${ClusterSector(scores.cluster).track}:${ClusterSector(scores.cluster).r}`,
];

function DamagedDump(which) {
  const disk = ParseDisk(new Uint8Array(fs.readFileSync(kSample)));
  if (which === 'A') {
    const [readmeTrack, readmeR] = kRecoveredFromSecond[0].split(':').map(Number);
    disk.tracks[readmeTrack] = disk.tracks[readmeTrack].filter((record) => record.r !== readmeR);
    RecordOf(disk, ClusterSector(scores.cluster).track, ClusterSector(scores.cluster).r).status = 0xB0;
  } else {
    RecordOf(disk, ClusterSector(hello.cluster).track, ClusterSector(hello.cluster).r).status = 0xB0;
  }
  return BuildDisk(disk);
}

// The name the page gives the merge of `dumps`: the first name by
// JavaScript's sort, "-merged" before its extension.
function MergedNameOf(dumps) {
  const first = dumps.map((dump) => path.basename(dump)).sort()[0];
  return first.replace(/(\.[^.]*)?$/, (extension) => `-merged${extension || '.d88'}`);
}

// Names the page does not write, names that go to one file, and a volume
// file named as a raw area, with what the listing and the links then say.
// Each file has clusters of its own, or none, so that none is cross-linked.
const kEmpty = {cluster: 0, size: 0};
const kFateCases = [
  {entry: Entry('CON     TXT', kEmpty), fate: 'not-written', words: 'not written: an unsafe file name'},
  {entry: Entry('README  TXT', readme), fate: 'replaced', words: 'intact; replaced by a later file'},
  // A slash: not one file name on any system, so no output at all.
  {entry: Entry('A/B     TXT', kEmpty), fate: 'not-written', words: 'not written: an unsafe file name'},
  {entry: Entry('ABC     TXT', kEmpty), fate: 'replaced', words: 'intact; replaced by a later file'},
  {entry: Entry('abc     txt', scores), fate: 'written', words: 'intact'},
  {entry: Entry('README  TXT', kEmpty), fate: 'written', words: 'intact'},
  // Windows takes it for DEMO; its chain ends before its size.
  {entry: Entry('demo       ', {...hello, size: 5000}), fate: 'written',
   words: '\u26a0\ufe0e damaged: shorter than recorded'},
];

// The sample with 70 records of 128 bytes on its last track, more than the
// map draws of one track.
function CrowdedSample() {
  const disk = ParseDisk(new Uint8Array(fs.readFileSync(kSample)));
  disk.tracks[79] = Array.from({length: 70}, (_, i) => ({
    c: 39, h: 1, r: i + 1, n: 0, density: 0, deleted: 0, status: 0, data: new Uint8Array(128),
  }));
  return BuildDisk(disk);
}

// The sample with three files that share one chain of 200 clusters (100-299,
// on tracks 22-67): more than half a megabyte of files in all.
function SharedChainSample() {
  const kFirst = 100;
  const kClusters = 200;
  const image = SampleWithEntries(['ONE     DAT', 'TWO     DAT', 'THREE   DAT'].map((name) => ({
    name, attributes: kArchive, time: kWhen.time, date: kWhen.date, cluster: kFirst,
    size: kClusters * 1024,
  })));
  const fat = FindSector(image, 0, 0, 0, 2, 2).data;
  const SetEntry = (cluster, value) => {
    const at = fat + Math.floor(cluster * 3 / 2);
    if (cluster % 2 === 0) {
      image[at] = value & 0xFF;
      image[at + 1] = (image[at + 1] & 0xF0) | (value >> 8);
    } else {
      image[at] = (image[at] & 0x0F) | ((value & 0x0F) << 4);
      image[at + 1] = value >> 4;
    }
  };
  for (let cluster = kFirst; cluster < kFirst + kClusters; ++cluster) {
    SetEntry(cluster, cluster === kFirst + kClusters - 1 ? 0xFFF : cluster + 1);
  }
  return image;
}

// What the map shows of the damaged sample, besides sectors read well, as
// track:R ranges: the short sector ends the volume's read of tracks 0-2, and
// the missing one MAIN's.
const kDamagedStates = [
  ['1:4', 'file bad'], ['1:6', 'file deleted'], ['2:3', 'file short'], ['2:4', 'file unread'],
  ['2:5-9', 'unused unread'], ['3:5', 'main missing'], ['3:6-16', 'main unread'],
  ['4:1-16', 'main unread'],
];

// The sample's sectors that hold something, by role, as track:R ranges.
const kSampleRoles = {
  signature: ['0:1'],
  fat: ['0:2-3'],
  directory: ['0:6-9'],
  file: ['1:4-6', '1:8-9', '2:1-4'],
  main: ['3:1-16', '4:1-16'],
  demo: ['5:1-16', '6:1-16', '7:1-16', '8:1-16'],
};

// The CRC-32 of `bytes` as Python's zlib sums it, in 8 lowercase hex digits.
function ZlibCrc32(bytes) {
  const run = spawnSync('python3', ['-c', 'import sys, zlib; print("%08x" % zlib.crc32(sys.stdin.buffer.read()))'],
                        {input: bytes, encoding: 'utf8'});
  assert.equal(run.status, 0, run.stderr);
  return run.stdout.trim();
}

function Expanded(ranges) {
  return ranges.flatMap((range) => {
    const [, track, first, last] = /^(\d+):(\d+)(?:-(\d+))?$/.exec(range);
    return Array.from({length: Number(last ?? first) - Number(first) + 1},
                      (_, i) => `${track}:${Number(first) + i}`);
  });
}

const images = {
  sample: kSample,
  windows: WriteImage(kWork, 'WINDOWS.d88', SampleWithEntries(kWindowsCases.map((c) => c.entry))),
  markup: WriteImage(kWork, "<M>&'.d88", SampleWithEntries(kMarkupCases.map((c) => c.entry))),
  notD88: WriteImage(kWork, 'NOTES.txt', new TextEncoder().encode('Not a disk image at all.\n')),
  empty: WriteImage(kWork, 'EMPTY.d88', new Uint8Array(0)),
  noFirstSector: WriteImage(kWork, 'NOSIG.d88', NotTheDisk('no-first-sector')),
  signatureDiffers: WriteImage(kWork, 'OTHER.d88', NotTheDisk('signature-differs')),
  large: SparseImage(kWork),
  damaged: WriteImage(kWork, 'DAMAGED.d88', DamagedSample()),
  cutShort: WriteImage(kWork, 'CUTSHORT.d88', CutShortSample()),
  fates: WriteImage(kWork, 'FATES.d88', SampleWithEntries(kFateCases.map((c) => c.entry))),
  crowded: WriteImage(kWork, 'CROWDED.d88', CrowdedSample()),
  sharedChain: WriteImage(kWork, 'SHARED.d88', SharedChainSample()),
  dumpA: WriteImage(kWork, 'DISK-A.d88', DamagedDump('A')),
  dumpB: WriteImage(kWork, 'DISK-B.d88', DamagedDump('B')),
};

after(() => fs.rmSync(kWork, {recursive: true, force: true}));

// ---------------------------------------------------------------------------
// Driving the page

// The page, served alone over HTTP on 127.0.0.1; every request it gets is
// noted.
function ServePage() {
  const requests = [];
  const page = fs.readFileSync(kPage);
  const server = http.createServer((request, response) => {
    requests.push(request.url);
    if (request.url === '/d88cut.html') {
      response.writeHead(200, {'Content-Type': 'text/html; charset=utf-8'});
      response.end(page);
    } else {
      response.writeHead(404);
      response.end();
    }
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      resolve({url: `http://127.0.0.1:${server.address().port}/d88cut.html`, requests,
               Close: () => new Promise((done) => server.close(done))});
    });
  });
}

// The one file that appears in `dir` once the browser has finished it. The
// browser may change a name that its system could not hold, so the file is
// taken whatever its name.
function WaitForDownload(dir, timeout = 30000) {
  const started = Date.now();
  return new Promise((resolve, reject) => {
    const look = () => {
      const names = fs.readdirSync(dir);
      const pending = names.some((name) => /\.(part|crdownload)$/.test(name));
      if (names.length === 1 && !pending) {
        const file = path.join(dir, names[0]);
        const bytes = new Uint8Array(fs.readFileSync(file));
        fs.rmSync(file);
        resolve(bytes);
      } else if (Date.now() - started > timeout) {
        reject(new Error(`nothing was downloaded into ${dir}: ${names.join(', ')}`));
      } else {
        setTimeout(look, 50);
      }
    };
    look();
  });
}

// True when `promise` settles within `ms` milliseconds.
async function Settles(promise, ms) {
  let timer;
  const late = new Promise((resolve) => {
    timer = setTimeout(() => resolve(false), ms);
  });
  const settled = await Promise.race([promise.then(() => true, () => true), late]);
  clearTimeout(timer);
  return settled;
}

// Firefox ESR now and then stops answering altogether in these tests: the
// process of file:// pages deadlocks (its main thread and a DOM worker each
// wait on the other) and every later navigation times out. It strikes when
// a page is closed while its worker runs script after compiling wasm, as
// the page's worker does once it has started, while it practises and after
// each run, when it makes the next instance; a page whose worker is idle then, or has no wasm,
// closes cleanly. So pages are closed only once their worker has settled
// (Open makes page.close wait). It has struck once where no page closed,
// so a case that does not end within kAttemptTimeout (each takes a few
// seconds) still runs once more in a freshly started browser; one that
// hangs twice, or fails, fails.
const kAttemptTimeout = 75000;
const kWorkerSettleMs = 300;
const kPracticeTimeout = 20000;
const kCloseTimeout = 15000;

async function RunWithFreshBrowserOnHang(session, body) {
  for (let attempt = 1; ; ++attempt) {
    const run = body();
    if (await Settles(run, kAttemptTimeout)) {
      return run;
    }
    run.catch(() => {});
    if (attempt === 2) {
      throw new Error(`no end after ${kAttemptTimeout} ms, twice, each in a fresh ${session.kind.name}`);
    }
    console.log(`${session.kind.name} stopped answering; the case runs again in a fresh one`);
    await session.Restart();
  }
}

class PageSession {
  constructor(browserKind) {
    this.kind = browserKind;
  }

  async Start() {
    this.profile = TempDir('d88cut-profile-');
    this.downloads = TempDir('d88cut-downloads-');
    this.browser = await this.kind.Launch(this.profile, this.downloads);
    this.context = await this.kind.OpenContext(this.browser, this.downloads);
  }

  // Closes the browser, or kills it when it does not answer.
  async Stop() {
    if (!(await Settles(this.browser.close().catch(() => {}), kCloseTimeout))) {
      this.browser.process()?.kill('SIGKILL');
    }
    fs.rmSync(this.profile, {recursive: true, force: true});
    fs.rmSync(this.downloads, {recursive: true, force: true});
  }

  // Kills a browser that stopped answering and starts a fresh one.
  async Restart() {
    this.browser.process()?.kill('SIGKILL');
    fs.rmSync(this.profile, {recursive: true, force: true});
    fs.rmSync(this.downloads, {recursive: true, force: true});
    await this.Start();
  }

  // A fresh tab on `url`; every request it makes is noted in page.requests.
  async Open(url, {languages = null} = {}) {
    const page = await this.context.newPage();
    page.requests = [];
    page.errors = [];
    page.on('request', (request) => page.requests.push(request.url()));
    page.on('pageerror', (error) => page.errors.push(String(error)));
    if (languages) {
      await page.evaluateOnNewDocument((list) => {
        Object.defineProperty(navigator, 'languages', {get: () => list});
      }, languages);
    }
    await page.goto(url);
    // Closes the page once its worker has practised and had time to settle
    // (see above).
    const close = page.close.bind(page);
    page.close = async (options) => {
      await page.waitForFunction(() => 'practised' in document.getElementById('status').dataset,
                                 {timeout: kPracticeTimeout}).catch(() => {});
      await new Promise((settled) => setTimeout(settled, kWorkerSettleMs));
      return close(options);
    };
    return page;
  }

  // Chooses `image`, or several images at once, and waits for the run's
  // end; returns what the page shows.
  async Run(page, image) {
    const chosen = [].concat(image);
    const name = chosen.length > 1 ? MergedNameOf(chosen) : path.basename(image);
    const input = await page.$('input[type=file]');
    await input.uploadFile(...chosen);
    await page.waitForFunction(
      (name) => {
        const status = document.getElementById('status');
        return status.dataset.image === name && ['done', 'error'].includes(status.dataset.state);
      },
      {timeout: kTimeout}, name);
    return page.evaluate(() => {
      const status = document.getElementById('status');
      const zip = document.getElementById('download-zip');
      return {
        state: status.dataset.state,
        image: status.dataset.image,
        ms: status.dataset.ms,
        practised: 'practised' in status.dataset,
        verdict: status.dataset.verdict,
        statusText: status.textContent,
        out: document.getElementById('output').textContent,
        err: document.getElementById('errors').textContent,
        exitStatus: document.getElementById('exit-status').textContent,
        reason: document.getElementById('reason').hidden ? '' : document.getElementById('reason').textContent,
        found: document.getElementById('found').hidden ? '' : document.getElementById('found-bytes').textContent,
        files: Array.from(document.querySelectorAll('#files a[download]'),
                          (link) => ({name: link.getAttribute('download'), text: link.textContent})),
        zip: zip.hasAttribute('href') && !zip.hidden ? zip.getAttribute('download') : null,
        rows: Array.from(document.querySelectorAll('#listing tbody tr'),
                         (row) => Array.from(row.cells, (cell) => cell.textContent)),
        report: document.getElementById('report').textContent,
        // Each output's row and link: name, data-health, data-problems.
        rowCrc32: Array.from(document.querySelectorAll('#listing tbody tr[data-crc32]'),
                             (row) => row.dataset.crc32),
        rowHealth: Array.from(document.querySelectorAll('#listing tbody tr[data-health]'),
                              (row) => [row.cells[0].textContent, row.dataset.health, row.dataset.problems]),
        linkHealth: Array.from(document.querySelectorAll('#files a[download]'),
                               (link) => [link.download, link.dataset.health, link.dataset.problems]),
        map: Array.from(document.querySelectorAll('#disk-map [data-r]'), (cell) => ({
          at: `${cell.dataset.track}:${cell.dataset.r}`, role: cell.dataset.role, state: cell.dataset.state,
        })),
        // What shows besides the verdict, by id.
        shownParts: ['files-part', 'listing-part', 'map-part', 'report-part', 'stdout-part', 'stderr-part']
          .filter((id) => document.getElementById(id).offsetParent !== null),
        elementsFromText: document.querySelectorAll('#results b, #results i, #results m').length,
      };
    });
  }

  // Downloads what the link `selector` offers, as the user would.
  async Download(page, selector) {
    for (const name of fs.readdirSync(this.downloads)) {
      fs.rmSync(path.join(this.downloads, name), {recursive: true});
    }
    await page.click(selector);
    return WaitForDownload(this.downloads);
  }
}

// Only the page itself, the blob: URLs it makes for its worker and its
// downloads, and data: URLs (its icon, and a font Firefox makes for itself):
// nothing that leaves the machine.
function AssertNoRequestLeft(page, url) {
  const others = page.requests.filter(
    (request) => request !== url && !request.startsWith('blob:') && !request.startsWith('data:'));
  assert.deepEqual(others, [], 'requests beyond the page itself');
}

function ToolRunsOf(image) {
  return RunNative(kNativeTool, image);
}

let windowsFiles = null;
function WindowsFilesOfNamingImage() {
  if (windowsFiles === null) {
    windowsFiles = RunWindows(kWindowsTool, images.windows, kWinePrefix);
  }
  return windowsFiles;
}

function AssertZipEntry(entry) {
  assert.equal(entry.flags & 0x0800, 0x0800, `${entry.name}: UTF-8 flag`);
  assert.equal(entry.localFlags, entry.flags, `${entry.name}: local flags`);
  assert.equal(entry.method, 0, `${entry.name}: stored`);
  assert.equal(entry.localName, entry.name);
  assert.equal(entry.localTime, entry.time);
  assert.equal(entry.localDate, entry.date);
  assert.equal(entry.crc, Crc32(entry.bytes), `${entry.name}: CRC`);
  assert.equal(entry.localCrc, entry.crc);
  assert.equal(entry.compressedSize, entry.size);
  assert.ok(!/[\\/]/.test(entry.name) && entry.name !== '..' && entry.name !== '.', entry.name);
}

// The zip as users unpack it: each archiver leaves exactly the files
// `expected` ({name: bytes}), each a regular file that everyone may read
// (mode 0644), and Python's zipfile reads the same names, bytes and mode.
function AssertZipUnpacks(zip, expected) {
  const names = Object.keys(expected).sort();
  const kRegularFile0644 = (fs.constants.S_IFREG | 0o644).toString(8);
  for (const archiver of kArchivers) {
    const files = UnpackZip(archiver, zip);
    assert.deepEqual(Object.keys(files).sort(), names, `${archiver.name}: names`);
    for (const [name, file] of Object.entries(files)) {
      assert.deepEqual(file.bytes, expected[name], `${archiver.name}: ${name}`);
      assert.equal(file.mode.toString(8), kRegularFile0644, `${archiver.name}: ${name}: mode`);
    }
  }
  const read = ReadZipWithPython(zip);
  assert.deepEqual(read.map((entry) => entry.name).sort(), names, 'python3 zipfile: names');
  for (const entry of read) {
    assert.deepEqual(entry.bytes, expected[entry.name], `python3 zipfile: ${entry.name}`);
    assert.equal(entry.mode.toString(8), kRegularFile0644, `python3 zipfile: ${entry.name}: mode`);
  }
}

// The DOS words of the run's time, read back in the browser's zone (UTC).
function RunTimeOfWords(words) {
  return Date.UTC(1980 + (words.date >> 9), ((words.date >> 5) & 15) - 1, words.date & 31,
                  words.time >> 11, (words.time >> 5) & 63, (words.time & 31) * 2);
}

// ---------------------------------------------------------------------------
// The cases

// The disk the page's worker practises on (web/practice.js) is one that
// d88cut takes whole, with every kind of output; were it not, the practice
// would run little of the tool.
nodeTest('the practice disk is the disk, whole', () => {
  const source = fs.readFileSync(path.join(kSource, 'web/practice.js'), 'utf8');
  const image = path.join(kWork, 'practice.d88');
  fs.writeFileSync(image, vm.runInNewContext(`${source}\nPracticeDisk();`));
  const run = spawnSync(kNativeInfo, ['--json', image], {encoding: 'utf8'});
  assert.equal(run.status, 0, run.stderr);
  const report = JSON.parse(run.stdout);
  assert.equal(report.verdict, 'recognised');
  assert.deepEqual(report.outputs.map((output) => [output.name, output.size, output.health]), [
    ['MAIN', 8192, 'intact'], ['DEMO', 16384, 'intact'], ['PRACTICE.TXT', 3000, 'intact'],
    ['\u30c6\u30b9\u30c8.DAT', 5000, 'intact'], ['SCORES.DAT', 2600, 'intact'],
  ]);
});

for (const kind of kBrowsers) {
  describe(kind.name, {timeout: 20 * 60 * 1000}, () => {
    const session = new PageSession(kind);
    before(() => session.Start());
    after(() => session.Stop());
    const test = (name, options, body) =>
      nodeTest(name, options, () => RunWithFreshBrowserOnHang(session, body));

    const fileUrl = pathToFileURL(kPage).href;
    const sampleNative = ToolRunsOf(images.sample);
    const sampleEntries = ReadEntries(new Uint8Array(fs.readFileSync(kSample)));
    // d88info's report on each image, on a UTF-8 terminal.
    const reports = new Map();
    const ReportOf = (image) => {
      if (!reports.has(image)) {
        reports.set(image, RunNative(kNativeInfo, image).out);
      }
      return reports.get(image);
    };

    // The sample as the native tool has it: its text, its files and their
    // recorded words; MAIN and DEMO stamped with the run's time.
    async function CheckSample(page, shown, image, started, ended) {
      assert.equal(shown.state, 'done');
      // The page's own time for the run: a number of milliseconds, within
      // the time the test waited for it.
      assert.match(shown.ms, /^\d+\.\d$/);
      assert.ok(Number(shown.ms) > 0 && Number(shown.ms) <= ended - started + 1000, shown.ms);
      // The worker practised before it took the image: the image waited.
      assert.ok(shown.practised);
      assert.equal(shown.verdict, 'recognised');
      assert.equal(shown.image, path.basename(image));
      assert.equal(shown.out, sampleNative.out);
      assert.equal(shown.err, sampleNative.err);
      assert.equal(shown.exitStatus, '0');
      assert.equal(shown.zip, path.basename(image).replace(/\.d88$/, '.zip'));
      assert.deepEqual(shown.files.map((file) => file.name).sort(), Object.keys(sampleNative.files));
      // The listing gives each file's CRC-32, as zlib sums the file d88cut writes.
      const crc32 = (name) => ZlibCrc32(sampleNative.files[name]);
      assert.deepEqual(shown.rows[1],
                       ['README.TXT', '620', '1990-03-04', '12:34:56', 'archive, read-only',
                        crc32('README.TXT'), 'intact']);
      assert.deepEqual(shown.rowCrc32, ['README.TXT', 'HELLO.COM', 'SCORES.DAT'].map(crc32));
      assert.equal(shown.report, ReportOf(image));
      const intact = (name) => [name, 'intact', ''];
      assert.deepEqual(shown.linkHealth, ['MAIN', 'DEMO', 'README.TXT', 'HELLO.COM', 'SCORES.DAT'].map(intact));
      assert.deepEqual(shown.rowHealth, ['README.TXT', 'HELLO.COM', 'SCORES.DAT'].map(intact));
      const roles = {};
      for (const cell of shown.map) {
        assert.equal(cell.state, 'ok', cell.at);
        if (cell.role !== 'unused') {
          (roles[cell.role] ||= []).push(cell.at);
        }
      }
      assert.deepEqual(roles, Object.fromEntries(
        Object.entries(kSampleRoles).map(([role, ranges]) => [role, Expanded(ranges)])));
      // One row a track: tracks 0-79, 763 records.
      assert.equal(shown.map.length, 10 + 2 * 9 + 6 * 16 + 71 * 9);
      // A zip this small is a data: URL, as each file is.
      assert.match(await page.$eval('#download-zip', (zip) => zip.href), /^data:application\/zip;base64,/);
      const zipBytes = await session.Download(page, '#download-zip');
      const zip = ReadZip(zipBytes);
      assert.deepEqual(zip.map((entry) => entry.name), shown.files.map((file) => file.name));
      AssertZipUnpacks(zipBytes, sampleNative.files);
      for (const entry of zip) {
        AssertZipEntry(entry);
        assert.deepEqual(entry.bytes, sampleNative.files[entry.name], entry.name);
        if (entry.name === 'MAIN' || entry.name === 'DEMO') {
          const stamped = RunTimeOfWords(entry);
          assert.ok(stamped >= started - 2000 && stamped <= ended + 2000, `${entry.name}: run time`);
        } else {
          const recorded = sampleEntries.find(
            (found) => Buffer.from(found.name).toString('latin1').replace(/ +/, '.').trim() === entry.name);
          assert.deepEqual({time: entry.time, date: entry.date},
                           {time: recorded.time, date: recorded.date}, entry.name);
        }
      }
      const single = await session.Download(page, '#files a[download="SCORES.DAT"]');
      assert.deepEqual(single, sampleNative.files['SCORES.DAT']);
    }

    test('the sample, opened from disk and served over HTTP', {timeout: kTimeout}, async () => {
      const server = await ServePage();
      try {
        for (const url of [fileUrl, server.url]) {
          const page = await session.Open(url);
          const started = Date.now();
          const shown = await session.Run(page, images.sample);
          await CheckSample(page, shown, images.sample, started, Date.now());
          AssertNoRequestLeft(page, url);
          assert.deepEqual(page.errors, []);
          await page.close();
        }
        assert.deepEqual(server.requests, ['/d88cut.html'], 'requests the server saw');
      } finally {
        await server.Close();
      }
    });

    // What a person sees once scrolled to it: the browser draws a track's
    // row of the map only when it comes into view, a frame or two later.
    const Drawn = (page) => page.evaluate(() => new Promise((drawn) => {
      requestAnimationFrame(() => requestAnimationFrame(() => setTimeout(drawn, 50)));
    }));

    async function ShootMap(page, file) {
      await page.$eval('#map-part', (part) => part.scrollIntoView());
      await Drawn(page);
      await (await page.$('#map-part')).screenshot({path: file});
    }

    // The whole page, in a window as tall as the page, so that every row is
    // in view and drawn.
    async function ShootPage(page, file) {
      const height = await page.evaluate(() => document.documentElement.scrollHeight);
      await page.setViewport({width: 900, height});
      await Drawn(page);
      await page.screenshot({path: file});
      await page.setViewport({width: 900, height: 800});
    }

    test('screenshots after the sample, light and dark, English and Japanese',
         {timeout: kTimeout}, async () => {
      fs.mkdirSync(kScreenshots, {recursive: true});
      const variants = kind.name === 'Chromium'
        ? [['en', 'light'], ['en', 'dark'], ['ja', 'light'], ['ja', 'dark']]
        : [['en', 'light']];
      for (const [language, scheme] of variants) {
        const page = await session.Open(fileUrl, {languages: language === 'ja' ? ['ja-JP', 'ja'] : ['en-US', 'en']});
        if (scheme === 'dark') {
          await page.emulateMediaFeatures([{name: 'prefers-color-scheme', value: 'dark'}]);
        }
        const shown = await session.Run(page, images.sample);
        assert.equal(shown.state, 'done');
        assert.equal(await page.evaluate(() => document.documentElement.lang), language);
        await page.setViewport({width: 900, height: 800});
        await ShootPage(page,
                        path.join(kScreenshots, `sample-${kind.name.toLowerCase()}-${language}-${scheme}.png`));
        // The disk map of the sample and of a damaged disk, alone.
        const suffix = `${kind.name.toLowerCase()}-${language}-${scheme}.png`;
        await ShootMap(page, path.join(kScreenshots, `map-sample-${suffix}`));
        const damaged = await session.Run(page, images.damaged);
        assert.equal(damaged.state, 'done');
        await ShootPage(page, path.join(kScreenshots, `damaged-${suffix}`));
        await ShootMap(page, path.join(kScreenshots, `map-damaged-${suffix}`));
        await page.close();
      }
    });

    test('several dumps at once: merged in the order of their names, then unpacked',
         {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      const shown = await session.Run(page, [images.dumpB, images.dumpA]);
      const native = RunMergeNative(kNativeMerge, [images.dumpA, images.dumpB]);
      assert.equal(native.status, 0);
      assert.equal(shown.state, 'done');
      assert.equal(shown.image, 'DISK-A-merged.d88');
      assert.equal(shown.verdict, 'recognised');
      const merge = await page.evaluate(() => ({
        order: Array.from(document.querySelectorAll('#merge-dumps li'), (item) => item.textContent),
        report: document.getElementById('merge-report').textContent,
        name: document.getElementById('download-merged').getAttribute('download'),
      }));
      assert.deepEqual(merge.order, ['DISK-A.d88', 'DISK-B.d88']);
      assert.equal(merge.report, native.out);
      assert.match(merge.report, /^disk 1, track 1, C0 H1 R8 N2: recovered from dump 2\n/);
      assert.equal(merge.name, 'DISK-A-merged.d88');
      assert.deepEqual(await session.Download(page, '#download-merged'), native.image);
      // Each record of the map names the dump its copy came from, in the
      // merged image's order of records.
      const merged = ParseDisk(native.image);
      const expected = merged.tracks.flatMap((records, track) => (records || []).map((record) => {
        const at = `${track}:${record.r}`;
        return `${at} ${kRecoveredFromSecond.includes(at) ? 2 : 1}`;
      }));
      assert.deepEqual(await page.$$eval('#disk-map [role="gridcell"]', (cells) => cells.map((cell) =>
        `${cell.dataset.track}:${cell.dataset.r} ${cell.dataset.from}`)), expected);
      // The rest is the merged image's: whole, as the sample.
      const mergedFile = WriteImage(kWork, 'DISK-A-merged.d88', native.image);
      assert.equal(shown.report, ReportOf(mergedFile));
      assert.equal(shown.out, sampleNative.out);
      assert.equal(shown.err, sampleNative.err);
      const intact = (name) => [name, 'intact', ''];
      assert.deepEqual(shown.linkHealth, ['MAIN', 'DEMO', 'README.TXT', 'HELLO.COM', 'SCORES.DAT'].map(intact));
      assert.equal(shown.zip, 'DISK-A-merged.zip');
      AssertZipUnpacks(await session.Download(page, '#download-zip'), sampleNative.files);
      if (kind.name === 'Chromium') {
        fs.mkdirSync(kScreenshots, {recursive: true});
        await ShootPage(page, path.join(kScreenshots, 'merge-chromium-en-light.png'));
        await page.emulateMediaFeatures([{name: 'prefers-color-scheme', value: 'dark'}]);
        await ShootPage(page, path.join(kScreenshots, 'merge-chromium-en-dark.png'));
      }
      // One image after a merge is one image again.
      const single = await session.Run(page, images.sample);
      assert.equal(single.image, 'sample.d88');
      assert.equal(await page.$eval('#merge-part', (part) => part.hidden), true);
      assert.equal(await page.$$eval('#disk-map [data-from]', (cells) => cells.length), 0);
      assert.deepEqual(page.errors, []);
      AssertNoRequestLeft(page, fileUrl);
      await page.close();
    });

    test("Windows' names: unsafe, undecodable, and equal but for case", {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      const shown = await session.Run(page, images.windows);
      const native = ToolRunsOf(images.windows);
      assert.equal(shown.state, 'done');
      assert.equal(shown.out, native.out, 'the listing, as a UTF-8 terminal shows it');
      assert.equal(shown.err, kWindowsCases.filter((c) => c.reported)
        .map((c) => `unsafe file name, not written: ${c.reported}\n`).join(''));
      const expectedNames = ['MAIN', 'DEMO'].concat(kWindowsCases.filter((c) => c.file).map((c) => c.file));
      assert.deepEqual(shown.files.map((file) => file.name), expectedNames);
      const zipBytes = await session.Download(page, '#download-zip');
      const zip = ReadZip(zipBytes);
      const byName = Object.fromEntries(zip.map((entry) => [entry.name, entry]));
      for (const entry of zip) {
        AssertZipEntry(entry);
      }
      // The later of two names Windows takes for one: its contents and words.
      const words = (entry) => ({time: entry.time, date: entry.date});
      assert.deepEqual(words(byName['ABC.TXT']), {time: DosTime(8, 0, 0), date: DosDate(2001, 7, 15)});
      assert.deepEqual(byName['ABC.TXT'].bytes, sampleNative.files['SCORES.DAT']);
      assert.deepEqual(words(byName['\uFF21.TXT']), {time: DosTime(9, 0, 0), date: DosDate(1999, 9, 9)});
      assert.deepEqual(byName['MAIN'].bytes, sampleNative.files['HELLO.COM']);
      assert.deepEqual(words(byName.MAIN), {time: DosTime(1, 2, 4), date: DosDate(1985, 5, 5)});
      assert.deepEqual(words(byName['ODD.BIN']), {time: 0xC7E0, date: 0});
      assert.deepEqual(words(byName['LATE.BIN']), {time: 0xFFFF, date: 0xFFFF});
      // The folder the Windows build leaves, under Wine.
      if (fs.existsSync(kWindowsTool)) {
        const windows = WindowsFilesOfNamingImage();
        assert.deepEqual(zip.map((entry) => entry.name).sort(), Object.keys(windows).sort());
        for (const entry of zip) {
          assert.deepEqual(entry.bytes, windows[entry.name], entry.name);
        }
        AssertZipUnpacks(zipBytes, windows);
      } else {
        assert.fail(`no Windows build at ${kWindowsTool} to compare the files with`);
      }
      AssertNoRequestLeft(page, fileUrl);
      await page.close();
    });

    test("names holding < > & ' show as they are", {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      const shown = await session.Run(page, images.markup);
      assert.equal(shown.state, 'done');
      assert.equal(shown.image, "<M>&'.d88");
      assert.equal(shown.elementsFromText, 0);
      assert.ok(shown.statusText.includes("<M>&'.d88"), shown.statusText);
      assert.equal(shown.zip, "<M>&'.zip");
      const native = ToolRunsOf(images.markup);
      assert.equal(shown.out, native.out);
      assert.deepEqual(shown.rows.map((row) => row[0]), kMarkupCases.map((c) => c.shown));
      assert.equal(shown.err, kMarkupCases.filter((c) => c.reported)
        .map((c) => `unsafe file name, not written: ${c.shown}\n`).join(''));
      const written = kMarkupCases.filter((c) => c.file).map((c) => c.file);
      assert.deepEqual(shown.files.slice(2).map((file) => file.name), written);
      assert.deepEqual(shown.files.slice(2).map((file) => file.text), written);
      const zip = ReadZip(await session.Download(page, '#download-zip'));
      assert.deepEqual(zip.slice(2).map((entry) => entry.name), written);
      await page.close();
    });

    test('files of over half a megabyte in all: the zip from a blob: URL', {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      const shown = await session.Run(page, images.sharedChain);
      assert.equal(shown.state, 'done');
      const native = ToolRunsOf(images.sharedChain);
      assert.equal(shown.out, native.out);
      assert.deepEqual(shown.files.map((file) => file.name).sort(), Object.keys(native.files).sort());
      assert.deepEqual(shown.linkHealth.slice(2).map(([name, health, problems]) => `${name} ${problems}`),
                       ['ONE.DAT cross-linked', 'TWO.DAT cross-linked', 'THREE.DAT cross-linked']);
      assert.match(await page.$eval('#download-zip', (zip) => zip.href), /^blob:/);
      const zipBytes = await session.Download(page, '#download-zip');
      assert.ok(zipBytes.length > 600000, String(zipBytes.length));
      AssertZipUnpacks(zipBytes, native.files);
      assert.deepEqual(page.errors, []);
      await page.close();
    });

    test('images that are not the disk say why', {timeout: kTimeout}, async () => {
      const cases = [
        {image: images.notD88, verdict: 'not-d88'},
        {image: images.empty, verdict: 'not-d88'},
        {image: images.noFirstSector, verdict: 'no-first-sector'},
        {image: images.signatureDiffers, verdict: 'signature-differs',
         found: '42 45 58 4f 2d 78 31 2f 74 75 72 62 6f 53 79 73\nBEXO-x1/turboSys'},
      ];
      const page = await session.Open(fileUrl);
      for (const c of cases) {
        const shown = await session.Run(page, c.image);
        const native = ToolRunsOf(c.image);
        assert.equal(shown.state, 'done', c.verdict);
        assert.equal(shown.verdict, c.verdict);
        assert.equal(shown.out, native.out);
        assert.equal(shown.out, '');
        assert.equal(shown.err, '');
        assert.equal(shown.exitStatus, '0');
        assert.notEqual(shown.reason, '');
        assert.equal(shown.found, c.found ?? '');
        assert.deepEqual(shown.files, []);
        assert.equal(shown.zip, null);
        assert.equal(shown.report, ReportOf(c.image), c.verdict);
        // The verdict, the report and the exit status; no empty table or box.
        assert.deepEqual(shown.shownParts, ['report-part'], c.verdict);
        assert.deepEqual(shown.map, []);
      }
      AssertNoRequestLeft(page, fileUrl);
      await page.close();
    });

    test('a damaged disk: its report, which files are whole, and its map', {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      const shown = await session.Run(page, images.damaged);
      assert.equal(shown.state, 'done');
      assert.equal(shown.report, ReportOf(images.damaged));
      const json = JSON.parse(spawnSync(kNativeInfo, ['--json', images.damaged], {encoding: 'utf8'}).stdout);
      const judged = json.outputs.map((output) => [output.name, output.health, output.problems.join(',')]);
      assert.deepEqual(shown.linkHealth, judged);
      assert.deepEqual(shown.rowHealth, judged.slice(2));
      assert.deepEqual(shown.linkHealth.map(([name, , problems]) => `${name} ${problems}`), [
        'MAIN not-from-disk', 'DEMO ', 'README.TXT bad-sector', 'HELLO.COM bad-sector',
        'SCORES.DAT not-from-disk',
      ]);
      assert.deepEqual(shown.map.filter((cell) => cell.state !== 'ok')
        .map((cell) => `${cell.at} ${cell.role} ${cell.state}`),
                       kDamagedStates.flatMap(([range, what]) =>
                         Expanded([range]).map((at) => `${at} ${what}`)));
      // The missing sector has its place among its track's records.
      assert.deepEqual(shown.map.filter((cell) => cell.at.startsWith('3:')).map((cell) => cell.at),
                       Expanded(['3:1-16']));
      // Choosing README.TXT in the listing lights its two sectors; choosing
      // it again puts them out.
      const lit = () => page.$$eval('#disk-map .lit', (cells) => cells.map((cell) =>
        `${cell.dataset.track}:${cell.dataset.r}`));
      await page.click('#listing button[data-output="2"]');
      assert.deepEqual(await lit(), ['1:4', '1:5']);
      await page.click('#listing button[data-output="2"]');
      assert.deepEqual(await lit(), []);
      // One tab stop into the map, then the arrow keys; the box is named.
      // The pointer goes out of the way first: a box that comes under it as
      // the map scrolls into view would be named instead.
      await page.mouse.move(0, 0);
      await page.focus('#disk-map [tabindex="0"]');
      await page.keyboard.press('ArrowDown');
      await page.keyboard.press('ArrowRight');
      await page.keyboard.press('ArrowRight');
      await page.keyboard.press('ArrowRight');
      const focused = await page.evaluate(() => {
        const cell = document.activeElement;
        return [cell.dataset.track, cell.dataset.r, cell.tabIndex,
                document.querySelectorAll('#disk-map [tabindex="0"]').length,
                document.getElementById('map-focus').textContent, cell.getAttribute('aria-label')];
      });
      const words = 'Track 1, sector C0 H1 R4 N2: a file \u2014 README.TXT; bad: an error status.';
      assert.deepEqual(focused, ['1', '4', 0, 1, words, words]);
      // A track of more records than the map draws: the first 64, and a
      // note that says so; then the volume's R1 N2, which it lacks, and the
      // rest of the track's read, which stops there.
      const crowded = await session.Run(page, images.crowded);
      assert.equal(crowded.report, ReportOf(images.crowded));
      assert.deepEqual(crowded.map.filter((cell) => cell.at.startsWith('79:'))
        .map((cell) => `${cell.at} ${cell.state}`),
                       Expanded(['79:1-64']).map((at) => `${at} ok`).concat(
                         '79:1 missing', Expanded(['79:2-9']).map((at) => `${at} unread`)));
      assert.equal(await page.$eval('#map-capped', (note) => note.hidden), false);
      assert.deepEqual(page.errors, []);
      await page.close();
    });

    test('a read cut short: the map names each sector it needed, as the report does',
         {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      const shown = await session.Run(page, images.cutShort);
      assert.equal(shown.state, 'done');
      assert.equal(shown.report, ReportOf(images.cutShort));
      assert.match(shown.report,
                   /SCORES\.DAT +2600 damaged: not-from-disk \(.*C1 H0 R2 missing, C1 H0 R3-4 not read\)/);
      // What each box of tracks 2, 7 and 8 holds, and the output it names.
      const described = await page.$$eval('#disk-map [role="row"]', (rows) => rows
        .filter((row) => ['2', '7', '8'].includes(row.querySelector('[data-track]').dataset.track))
        .map((row) => [row.querySelector('[role="rowheader"]').getAttribute('aria-label'),
                       Array.from(row.querySelectorAll('[role="gridcell"]'), (cell) => {
                         cell.dispatchEvent(new MouseEvent('mouseover', {bubbles: true}));
                         const named = document.getElementById('map-focus').textContent;
                         return [`${cell.dataset.track}:${cell.dataset.r}`, cell.dataset.role,
                                 cell.dataset.state, /\u2014 (\S+);/.exec(named)?.[1] ?? ''];
                       })]));
      const expect = (track, ranges) => [`Track ${track}`, ranges.flatMap(([range, role, state, output]) =>
        Expanded([range]).map((at) => [at, role, state, output]))];
      assert.deepEqual(described, [
        expect(2, [['2:1', 'file', 'ok', 'SCORES.DAT'], ['2:2', 'file', 'missing', 'SCORES.DAT'],
                   ['2:3-4', 'file', 'unread', 'SCORES.DAT'], ['2:5-9', 'unused', 'unread', '']]),
        expect(7, [['7:1-8', 'demo', 'ok', 'DEMO'], ['7:9', 'demo', 'short', 'DEMO'],
                   ['7:10-16', 'demo', 'unread', 'DEMO']]),
        expect(8, [['8:1-16', 'demo', 'unread', 'DEMO']]),
      ]);
      const words = await page.$eval('#disk-map [data-track="2"][data-r="3"]', (cell) => {
        cell.dispatchEvent(new MouseEvent('mouseover', {bubbles: true}));
        return document.getElementById('map-focus').textContent;
      });
      assert.equal(words, 'Track 2, sector C1 H0 R3 N2: a file \u2014 SCORES.DAT; ' +
                          'not read: its read stopped before it.');
      // Every box has a name before it is pointed at or focused. Choosing
      // SCORES.DAT lights, and selects, its sectors: those read and those
      // that were not.
      assert.equal(await page.$$eval('#disk-map [role="gridcell"]:not([aria-label])',
                                     (cells) => cells.length), 0);
      await page.click('#listing button[data-output="4"]');
      const selected = await page.$$eval('#disk-map [role="gridcell"]', (cells) => cells
        .filter((cell) => cell.classList.contains('lit') || cell.hasAttribute('aria-selected'))
        .map((cell) => `${cell.dataset.track}:${cell.dataset.r} ${cell.classList.contains('lit')} ` +
                       cell.getAttribute('aria-selected')));
      assert.deepEqual(selected, Expanded(['1:8-9', '2:1-4']).map((at) => `${at} true true`));
      assert.deepEqual(page.errors, []);
      await page.close();
    });

    test('what became of each file: written, replaced or not written', {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      const shown = await session.Run(page, images.fates);
      assert.equal(shown.state, 'done');
      const rows = await page.$$eval('#listing tbody tr', (found) => found.map((row) =>
        [row.cells[0].textContent, row.dataset.fate, row.cells[row.cells.length - 1].textContent]));
      assert.deepEqual(rows, kFateCases.map((c) =>
        [c.entry.name.replace(/ +/, '.').replace(/\.$/, ''), c.fate, c.words]));
      // The report calls replaced the outputs whose rows say so, and DEMO,
      // whose file the later volume file demo takes: DEMO's link has demo's
      // health and says whose bytes it holds.
      const replacedInReport = shown.report.split('\n')
        .filter((line) => line.endsWith(' replaced by a later output'))
        .map((line) => line.trim().split(/ +/)[0]);
      assert.deepEqual(replacedInReport, ['DEMO', 'README.TXT', 'ABC.TXT']);
      const links = await page.$$eval('#files li', (items) => items.map((item) => {
        const link = item.querySelector('a');
        const holds = item.querySelector('.holds-later');
        return [link.download, link.dataset.health, holds ? holds.textContent : ''];
      }));
      assert.deepEqual(links, [
        ['MAIN', 'intact', ''],
        ['DEMO', 'damaged', '(holds the bytes of the later demo, which replaced DEMO)'],
        ['README.TXT', 'intact', '(holds the bytes of the later README.TXT, which replaced README.TXT)'],
        ['ABC.TXT', 'intact', '(holds the bytes of the later abc.txt, which replaced ABC.TXT)'],
      ]);
      assert.deepEqual(page.errors, []);
      await page.close();
    });

    test('on a phone and on a wide screen, nothing runs past its box', {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      await session.Run(page, images.cutShort);
      for (const width of [420, 1280]) {
        await page.setViewport({width, height: 800});
        const overflows = await page.evaluate(() => {
          const found = [];
          for (const cell of document.querySelectorAll('#listing td')) {
            if (cell.getBoundingClientRect().right > document.documentElement.clientWidth) {
              found.push(`listing: ${cell.textContent}`);
            }
          }
          const report = document.getElementById('report');
          if (report.scrollWidth > report.clientWidth) {
            found.push(`report: ${report.scrollWidth} px of text in ${report.clientWidth}`);
          }
          return found;
        });
        assert.deepEqual(overflows, [], `${width} px`);
      }
      await page.close();
    });

    test('a 2 GiB image whose first disk is the sample', {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      const started = Date.now();
      const shown = await session.Run(page, images.large);
      await CheckSample(page, shown, images.large, started, Date.now());
      await page.close();
    });

    test('images one after another, without a reload', {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      const first = await session.Run(page, images.sample);
      const second = await session.Run(page, images.signatureDiffers);
      assert.equal(second.verdict, 'signature-differs');
      assert.deepEqual(second.files, []);
      assert.deepEqual(second.rows, []);
      assert.equal(second.zip, null);
      assert.equal(second.out, '');
      const third = await session.Run(page, images.windows);
      assert.equal(third.verdict, 'recognised');
      const fourth = await session.Run(page, images.sample);
      assert.deepEqual({...fourth, ms: null}, {...first, ms: null});
      const started = Date.now();
      await CheckSample(page, fourth, images.sample, started - 60000, Date.now());
      AssertNoRequestLeft(page, fileUrl);
      await page.close();
    });

    test('an image chosen while the last one still runs takes its place', {timeout: kTimeout}, async () => {
      const page = await session.Open(fileUrl);
      const input = await page.$('input[type=file]');
      await input.uploadFile(images.large);
      const started = Date.now();
      const shown = await session.Run(page, images.windows);
      assert.equal(shown.image, path.basename(images.windows));
      assert.equal(shown.out, ToolRunsOf(images.windows).out);
      const sample = await session.Run(page, images.sample);
      await CheckSample(page, sample, images.sample, started, Date.now());
      assert.deepEqual(page.errors, []);
      await page.close();
    });
  });
}
