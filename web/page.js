'use strict';
// The page: the user chooses or drops an image, a worker runs the tool on it
// (the source text in #worker-source), and the page shows what came back.
// Everything that comes from the disk reaches the page as text or as an
// attribute's value, never as markup. The page never touches the module.

const kTexts = {
  en: {
    title: 'd88cut',
    intro:
      'Unpacks the disk from its D88 image here, on your own computer: the image is not sent ' +
      'anywhere. You get MAIN, DEMO and the files of the disk\u2019s MS-DOS volume, each with ' +
      'its recorded date and time, in one zip or one by one.',
    choose: 'Choose a D88 image',
    drop: 'Or drop the image anywhere on this page.',
    idle: 'No image chosen yet.',
    running: (name) => `Unpacking ${name}\u2026`,
    done: {
      recognised: (name) => `${name} holds the disk. Its files are below.`,
      'not-d88': (name) => `${name} is not the disk.`,
      'no-first-sector': (name) => `${name} is not the disk.`,
      'signature-differs': (name) => `${name} is not the disk.`,
    },
    error: (name) => `${name} could not be unpacked in full.`,
    unreadable: (name) => `${name} could not be read. Check that the file is still there and can be opened, then choose it again.`,
    reasons: {
      recognised: '',
      'not-d88':
        'The file is not a D88 disk image: it is too short to hold the header of a disk, ' +
        'or its first disk\u2019s header cannot be one.',
      'no-first-sector':
        'The file is a D88 image, but its first disk has no sector C0 H0 R1 N1, where the ' +
        'disk carries its signature.',
      'signature-differs':
        'The file is a D88 image of another disk: bytes 1\u201316 of its first sector ' +
        '(C0 H0 R1 N1) are not the signature \u201cBEXO-X1/turboSys\u201d.',
    },
    failed: 'The run ended with an error; what it wrote before that is below.',
    found: 'The 16 bytes found there:',
    files: 'Files',
    noFiles: 'The run wrote no files.',
    zip: (name, count) => `Download ${name} (${count} ${count === 1 ? 'file' : 'files'})`,
    bytes: (count) => `${count.toLocaleString('en')} bytes`,
    listing: 'Listing',
    noListing: 'The run listed no directory entries.',
    name: 'Name',
    size: 'Size',
    date: 'Date',
    time: 'Time',
    attributes: 'Attributes',
    flags: {A: 'archive', D: 'directory', V: 'volume label', S: 'system', H: 'hidden', R: 'read-only'},
    text: 'The tool\u2019s text output',
    stdout: 'Standard output',
    stderr: 'Standard error',
    exitStatus: 'Exit status:',
  },
  ja: {
    title: 'd88cut',
    intro:
      'D88 \u30a4\u30e1\u30fc\u30b8\u304b\u3089\u30c7\u30a3\u30b9\u30af\u3092\u3053\u306e\u30b3' +
      '\u30f3\u30d4\u30e5\u30fc\u30bf\u30fc\u306e\u4e0a\u3067\u5c55\u958b\u3057\u307e\u3059\u3002' +
      '\u30a4\u30e1\u30fc\u30b8\u306f\u3069\u3053\u306b\u3082\u9001\u4fe1\u3055\u308c\u307e\u305b' +
      '\u3093\u3002MAIN\u3001DEMO \u3068 MS-DOS \u30dc\u30ea\u30e5\u30fc\u30e0\u306e\u30d5\u30a1' +
      '\u30a4\u30eb\u3092\u3001\u8a18\u9332\u3055\u308c\u305f\u65e5\u6642\u306e\u307e\u307e\u3001' +
      'zip \u3067\u307e\u3068\u3081\u3066\u3001\u307e\u305f\u306f\u4e00\u3064\u305a\u3064\u4fdd' +
      '\u5b58\u3067\u304d\u307e\u3059\u3002',
    choose: 'D88 \u30a4\u30e1\u30fc\u30b8\u3092\u9078\u3076',
    drop: '\u307e\u305f\u306f\u3001\u30a4\u30e1\u30fc\u30b8\u3092\u3053\u306e\u30da\u30fc\u30b8' +
      '\u306b\u30c9\u30ed\u30c3\u30d7\u3057\u3066\u304f\u3060\u3055\u3044\u3002',
    idle: '\u30a4\u30e1\u30fc\u30b8\u306f\u307e\u3060\u9078\u3070\u308c\u3066\u3044\u307e\u305b' +
      '\u3093\u3002',
    running: (name) => `${name} \u3092\u5c55\u958b\u3057\u3066\u3044\u307e\u3059\u2026`,
    done: {
      recognised: (name) => `${name} \u306f\u5bfe\u8c61\u306e\u30c7\u30a3\u30b9\u30af\u3067` +
        '\u3059\u3002\u30d5\u30a1\u30a4\u30eb\u306f\u4e0b\u306b\u3042\u308a\u307e\u3059\u3002',
      'not-d88': (name) => `${name} \u306f\u5bfe\u8c61\u306e\u30c7\u30a3\u30b9\u30af\u3067` +
        '\u306f\u3042\u308a\u307e\u305b\u3093\u3002',
      'no-first-sector': (name) => `${name} \u306f\u5bfe\u8c61\u306e\u30c7\u30a3\u30b9\u30af` +
        '\u3067\u306f\u3042\u308a\u307e\u305b\u3093\u3002',
      'signature-differs': (name) => `${name} \u306f\u5bfe\u8c61\u306e\u30c7\u30a3\u30b9` +
        '\u30af\u3067\u306f\u3042\u308a\u307e\u305b\u3093\u3002',
    },
    error: (name) => `${name} \u3092\u6700\u5f8c\u307e\u3067\u5c55\u958b\u3067\u304d\u307e` +
      '\u305b\u3093\u3067\u3057\u305f\u3002',
    unreadable: (name) => `${name} \u3092\u8aad\u3081\u307e\u305b\u3093\u3067\u3057\u305f\u3002` +
      '\u30d5\u30a1\u30a4\u30eb\u304c\u307e\u3060\u3042\u308a\u3001\u958b\u3051\u308b\u3053' +
      '\u3068\u3092\u78ba\u304b\u3081\u3066\u3001\u3082\u3046\u4e00\u5ea6\u9078\u3093\u3067' +
      '\u304f\u3060\u3055\u3044\u3002',
    reasons: {
      recognised: '',
      'not-d88': '\u3053\u306e\u30d5\u30a1\u30a4\u30eb\u306f D88 \u30a4\u30e1\u30fc\u30b8\u3067' +
        '\u306f\u3042\u308a\u307e\u305b\u3093\u3002\u30c7\u30a3\u30b9\u30af\u306e\u30d8\u30c3' +
        '\u30c0\u30fc\u3092\u4fdd\u6301\u3067\u304d\u306a\u3044\u307b\u3069\u77ed\u3044\u304b' +
        '\u3001\u6700\u521d\u306e\u30c7\u30a3\u30b9\u30af\u306e\u30d8\u30c3\u30c0\u30fc\u304c' +
        '\u3042\u308a\u5f97\u306a\u3044\u5024\u3067\u3059\u3002',
      'no-first-sector': 'D88 \u30a4\u30e1\u30fc\u30b8\u3067\u3059\u304c\u3001\u6700\u521d' +
        '\u306e\u30c7\u30a3\u30b9\u30af\u306b\u3001\u7f72\u540d\u304c\u3042\u308b\u306f\u305a' +
        '\u306e\u30bb\u30af\u30bf C0 H0 R1 N1 \u304c\u3042\u308a\u307e\u305b\u3093\u3002',
      'signature-differs': '\u5225\u306e\u30c7\u30a3\u30b9\u30af\u306e D88 \u30a4\u30e1\u30fc' +
        '\u30b8\u3067\u3059\u3002\u6700\u521d\u306e\u30bb\u30af\u30bf (C0 H0 R1 N1) \u306e' +
        '\u30d0\u30a4\u30c8 1\u301c16 \u304c\u7f72\u540d\u300cBEXO-X1/turboSys\u300d\u3067\u306f' +
        '\u3042\u308a\u307e\u305b\u3093\u3002',
    },
    failed: '\u5b9f\u884c\u306f\u30a8\u30e9\u30fc\u3067\u7d42\u308f\u308a\u307e\u3057\u305f' +
      '\u3002\u305d\u308c\u307e\u3067\u306b\u66f8\u304b\u308c\u305f\u3082\u306e\u3092\u4e0b\u306b' +
      '\u793a\u3057\u307e\u3059\u3002',
    found: '\u305d\u3053\u306b\u3042\u3063\u305f 16 \u30d0\u30a4\u30c8:',
    files: '\u30d5\u30a1\u30a4\u30eb',
    noFiles: '\u30d5\u30a1\u30a4\u30eb\u306f\u66f8\u304b\u308c\u307e\u305b\u3093\u3067\u3057' +
      '\u305f\u3002',
    zip: (name, count) => `${name} \u3092\u4fdd\u5b58 (${count} \u30d5\u30a1\u30a4\u30eb)`,
    bytes: (count) => `${count.toLocaleString('ja')} \u30d0\u30a4\u30c8`,
    listing: '\u4e00\u89a7',
    noListing: '\u30c7\u30a3\u30ec\u30af\u30c8\u30ea\u9805\u76ee\u306f\u3042\u308a\u307e\u305b' +
      '\u3093\u3002',
    name: '\u540d\u524d',
    size: '\u30b5\u30a4\u30ba',
    date: '\u65e5\u4ed8',
    time: '\u6642\u523b',
    attributes: '\u5c5e\u6027',
    flags: {
      A: '\u30a2\u30fc\u30ab\u30a4\u30d6',
      D: '\u30c7\u30a3\u30ec\u30af\u30c8\u30ea',
      V: '\u30dc\u30ea\u30e5\u30fc\u30e0\u30e9\u30d9\u30eb',
      S: '\u30b7\u30b9\u30c6\u30e0',
      H: '\u96a0\u3057',
      R: '\u8aad\u307f\u53d6\u308a\u5c02\u7528',
    },
    text: '\u30c4\u30fc\u30eb\u306e\u30c6\u30ad\u30b9\u30c8\u51fa\u529b',
    stdout: '\u6a19\u6e96\u51fa\u529b',
    stderr: '\u6a19\u6e96\u30a8\u30e9\u30fc\u51fa\u529b',
    exitStatus: '\u7d42\u4e86\u30b9\u30c6\u30fc\u30bf\u30b9:',
  },
};

// The first of the user's languages that the page speaks; English otherwise.
function ChooseLanguage(languages) {
  for (const language of languages || []) {
    const primary = String(language).toLowerCase().split('-')[0];
    if (primary in kTexts) {
      return primary;
    }
  }
  return 'en';
}

const language = ChooseLanguage(navigator.languages);
const texts = kTexts[language];
const byId = (id) => document.getElementById(id);
const status = byId('status');
const workerUrl = URL.createObjectURL(
  new Blob([byId('worker-source').textContent], {type: 'text/javascript'}));
let objectUrls = [];

document.documentElement.lang = language;
for (const element of document.querySelectorAll('[data-text]')) {
  element.textContent = texts[element.dataset.text];
}
status.textContent = texts.idle;

// "GAME.d88" gives "GAME.zip"; a name without an extension gets one.
function ZipName(imageName) {
  const dot = imageName.lastIndexOf('.');
  return (dot > 0 ? imageName.slice(0, dot) : imageName) + '.zip';
}

// A file's bytes as a data: URL. A file of the volume is never larger than
// the volume (360 KB), well within what browsers take in a URL, and a data:
// URL is made without the round trip to the browser's blob store that each
// blob: URL costs (about half a millisecond in Chromium).
function DataUrl(bytes, type) {
  const kChunk = 0x8000;
  const chunks = [];
  for (let at = 0; at < bytes.length; at += kChunk) {
    chunks.push(String.fromCharCode.apply(null, bytes.subarray(at, at + kChunk)));
  }
  return `data:${type};base64,${btoa(chunks.join(''))}`;
}

// The zip as a blob: URL, since it may be far larger than one file.
function ObjectUrl(bytes, type) {
  const url = URL.createObjectURL(new Blob([bytes], {type}));
  objectUrls.push(url);
  return url;
}

function Clear() {
  for (const url of objectUrls) {
    URL.revokeObjectURL(url);
  }
  objectUrls = [];
  for (const id of ['reason', 'found', 'results', 'no-files', 'no-listing']) {
    byId(id).hidden = true;
  }
  const zip = byId('download-zip');
  zip.hidden = true;
  zip.removeAttribute('href');
  zip.setAttribute('download', '');
  zip.textContent = '';
  byId('files').replaceChildren();
  byId('listing').tBodies[0].replaceChildren();
  for (const id of ['output', 'errors', 'exit-status', 'found-bytes']) {
    byId(id).textContent = '';
  }
}

function Cell(row, text, className) {
  const cell = row.insertCell();
  cell.textContent = text;
  if (className) {
    cell.className = className;
  }
}

// The listing's lines, as the tool prints them: the name padded to 12
// Shift_JIS bytes (a name holds no ASCII space), then
// " %8d %04d/%02d/%02d %02d:%02d:%02d " and the attribute flags.
const kListingLine = /^([^ ]*) +(-?\d+) (\d{4,})\/(\d{2,})\/(\d{2,}) (\d{2,}):(\d{2,}):(\d{2,}) ((?:[ADVSHR] ?)*) *$/;

function ShowListing(stdout) {
  const body = byId('listing').tBodies[0];
  for (const line of stdout.split('\n')) {
    const match = kListingLine.exec(line);
    if (!match) {
      continue;
    }
    const row = body.insertRow();
    Cell(row, match[1], 'name');
    Cell(row, Number(match[2]).toLocaleString(language), 'number');
    Cell(row, `${match[3]}-${match[4]}-${match[5]}`);
    Cell(row, `${match[6]}:${match[7]}:${match[8]}`);
    Cell(row, match[9].split(' ').filter(Boolean).map((flag) => texts.flags[flag]).join(', '));
  }
  byId('no-listing').hidden = body.rows.length > 0;
}

function Hex(bytes) {
  const hex = Array.from(bytes, (byte) => byte.toString(16).padStart(2, '0')).join(' ');
  const shown = Array.from(bytes, (byte) =>
    byte >= 0x20 && byte < 0x7F ? String.fromCharCode(byte) : '.').join('');
  return `${hex}\n${shown}`;
}

function ShowFiles(imageName, files, runTime) {
  const list = byId('files');
  const entries = files.map((file) => {
    const words = file.time === null ? DosWordsOf(runTime) : {time: file.time, date: file.date};
    return {name: file.name, bytes: file.bytes, time: words.time, date: words.date};
  });
  for (const entry of entries) {
    const item = document.createElement('li');
    const link = document.createElement('a');
    link.href = DataUrl(entry.bytes, 'application/octet-stream');
    link.download = entry.name;
    link.textContent = entry.name;
    const size = document.createElement('span');
    size.className = 'size';
    size.textContent = ' \u2014 ' + texts.bytes(entry.bytes.length);
    item.append(link, size);
    list.append(item);
  }
  byId('no-files').hidden = entries.length > 0;
  if (entries.length > 0) {
    const zip = byId('download-zip');
    const zipName = ZipName(imageName);
    zip.href = ObjectUrl(MakeZip(entries), 'application/zip');
    zip.download = zipName;
    zip.textContent = texts.zip(zipName, entries.length);
    zip.hidden = false;
  }
}

// Shows the run's end. `started` is the performance.now() of the event that
// chose the image; #status's data-ms gets the milliseconds from there to the
// page showing everything, set with data-state as the last step.
function Finish(imageName, runTime, started, result) {
  byId('busy').hidden = true;
  const failed = result.error !== null || result.status !== 0 || result.counts.unreadable !== null;
  const verdict = result.verdict || 'not-d88';
  status.dataset.verdict = verdict;
  if (result.counts.unreadable !== null || (result.status === 1 && result.verdict === 'not-d88')) {
    status.textContent = texts.unreadable(imageName);
  } else if (failed) {
    status.textContent = texts.error(imageName);
  } else {
    status.textContent = texts.done[verdict](imageName);
  }
  const reason = byId('reason');
  reason.textContent = failed ? texts.failed : texts.reasons[verdict];
  reason.hidden = reason.textContent === '';
  if (verdict === 'signature-differs' && result.found) {
    byId('found-bytes').textContent = Hex(result.found);
    byId('found').hidden = false;
  }
  byId('output').textContent = result.stdout;
  byId('errors').textContent = result.stderr + (result.error ? result.error + '\n' : '');
  byId('exit-status').textContent = result.status === null ? '\u2014' : String(result.status);
  ShowListing(result.stdout);
  ShowFiles(imageName, result.files, runTime);
  byId('results').hidden = false;
  status.dataset.ms = (performance.now() - started).toFixed(1);
  status.dataset.state = failed ? 'error' : 'done';
}

// The worker lives as long as the page and compiles the tool once, when it
// starts; each image gets a fresh instance there. A run still going when
// the next image comes is cut short with its worker, and a worker that has
// failed is not used again: either way a new one takes its place.
let worker = null;
let current = null;
let runs = 0;

function StartWorker() {
  const started = new Worker(workerUrl);
  worker = started;
  started.onmessage = (event) => {
    if (current !== null && event.data.run === current.run) {
      End(event.data);
    }
  };
  started.onerror = (event) => {
    event.preventDefault();
    started.terminate();
    if (worker !== started) {
      return;
    }
    worker = null;
    if (current !== null) {
      End({status: null, verdict: null, found: null, files: [], stdout: '', stderr: '',
           counts: {unreadable: null}, error: String(event.message || 'the worker failed')});
    }
  };
}

function End(result) {
  const run = current;
  current = null;
  Finish(run.file.name, run.runTime, run.started, result);
}

function Run(file, started) {
  if (current !== null && worker !== null) {
    worker.terminate();
    worker = null;
  }
  if (worker === null) {
    StartWorker();
  }
  // The worker starts on the image while the page clears the last run.
  runs += 1;
  current = {run: runs, file, started, runTime: new Date()};
  worker.postMessage({run: runs, file});
  Clear();
  status.dataset.state = 'running';
  status.dataset.image = file.name;
  delete status.dataset.verdict;
  delete status.dataset.ms;
  status.textContent = texts.running(file.name);
  byId('busy').hidden = false;
}

StartWorker();

const input = byId('image');
input.addEventListener('change', () => {
  const started = performance.now();
  if (input.files.length > 0) {
    Run(input.files[0], started);
  }
});
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dropping');
});
document.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) {
    document.body.classList.remove('dropping');
  }
});
document.addEventListener('drop', (event) => {
  const started = performance.now();
  event.preventDefault();
  document.body.classList.remove('dropping');
  const files = event.dataTransfer ? event.dataTransfer.files : [];
  if (files.length > 0) {
    Run(files[0], started);
  }
});
