'use strict';
// The worker owns the tool; the page never touches it.
//
// It takes, in this order:
// - {practise: true}, at most once and first: it runs the tool on a disk of
//   its own (practice.js), so that the browser has compiled the tool before
//   the first image, and posts {practised: true} when done, failed or not.
// - {run, files, mergedName, runTime}, once per image: `run` numbers the
//   image, `files` is the File, or several Files to merge, in order, into
//   the image `mergedName`; `runTime` the moment it was chosen (ms since
//   1970), the time MAIN and DEMO get in the zip. An image waits for a
//   practice under way.
//
// For each image it posts, each message carrying the image's `run`:
// 0. For several files, once the merge has ended: {part: 'merge', status
//    (d88merge's exit status), report (its text, both streams as a terminal
//    shows them), image (the merged image's bytes; null when the merge
//    failed)}. Then the rest is about the merged image; when the merge
//    failed, only part 3 follows.
// 1. For a disk d88cut recognises, and before d88cut runs:
//    {part: 'health', outputs, map}. `outputs`: each output d88cut writes,
//    in write order, as {name, volumeFile, problems (HealthProblem bits),
//    file (the number of the page's file holding its bytes, or -1),
//    replaced}; `map`: {cells (a Uint8Array of 8 bytes per sector, see
//    page_main.cpp), capped}.
// 2. As soon as d88cut's run has ended: {part: 'cut', verdict, found (bytes
//    1-16 of the signature sector as found), files ([{name, size, url}], in
//    the order made), zip ({url}, or {bytes} when too large for a data:
//    URL; {} with no files), stdout, stderr}.
// 3. Last: {status, verdict, found, files: [], counts ({reads, bytes,
//    unreadable}), error, cutPosted, merged, stdout, stderr, report}.
//    `status` is d88cut's exit status, or the merge's when it failed
//    (`merged` is then false; null without a merge, true when the merge
//    went well), null when the run could not finish (`error` then
//    says why), `report` d88info's text (null when d88cut's run did not end), and
//    `cutPosted` false when part 2 never came: stdout and stderr are then
//    all the text d88cut's run left.
// Part 1 comes only for a recognised disk, and part 2 only when d88cut's run
// ends; part 3 always comes, unless the worker itself fails.
//
// Each image gets a fresh instance of the module, made from the wasm compiled
// once (kWasmBase64 and createD88cutModule come before this source), with
// the image, or the files to merge, mounted read-only; nothing is kept from
// one run to the next.

// The image is read a block at a time, and a read that the last block holds
// is served from it: the reader's own window is 64 KiB, and every read call
// is a costly call to the browser. One block holds a whole disk of the kind
// d88cut knows, so the recognised disk is read in one call; a multi-gigabyte
// image costs this block and no more.
const kBlockBytes = 512 * 1024;

const kImagePath = '/image/image.d88';

// The tool's wasm, compiled once for all the page's runs.
const compiled = WebAssembly.compile(Uint8Array.from(atob(kWasmBase64), (c) => c.charCodeAt(0)));

// emscripten's number for an input/output error.
const kEio = 29;

// Serves WORKERFS reads from one cached block of each file: a merge reads
// its files by turns. A read that the browser refuses (the file was
// changed, moved or taken away) is noted and reaches the tool as a failed
// read.
function ReadInBlocks(FS, counts) {
  const workerfs = FS.filesystems.WORKERFS;
  const reader = new FileReaderSync();
  const blocks = new Map();
  workerfs.stream_ops.read = (stream, buffer, offset, length, position) => {
    let block = blocks.get(stream.node) || {start: 0, bytes: new Uint8Array(0)};
    const size = stream.node.size;
    if (position >= size || length <= 0) {
      return 0;
    }
    const wanted = Math.min(length, size - position);
    const end = position + wanted;
    if (position < block.start || end > block.start + block.bytes.length) {
      let start = position - (position % kBlockBytes);
      if (end > start + kBlockBytes) {
        start = position;
      }
      const stop = Math.min(size, Math.max(start + kBlockBytes, end));
      // A whole file is read as it is: slicing it costs a call to the browser.
      const file = stream.node.contents;
      try {
        block = {
          start,
          bytes: new Uint8Array(reader.readAsArrayBuffer(
            start === 0 && stop === size ? file : file.slice(start, stop))),
        };
      } catch (error) {
        counts.unreadable = String(error);
        throw new FS.ErrnoError(kEio);
      }
      blocks.set(stream.node, block);
      counts.reads += 1;
      counts.bytes += block.bytes.length;
    }
    const from = position - block.start;
    buffer.set(block.bytes.subarray(from, from + wanted), offset);
    return wanted;
  };
}

// An output's name, from the bytes a terminal is given for it (every
// character of them decodes), as the listing shows it.
const shiftJis = new TextDecoder('shift_jis');
function ShownName(bytes) {
  return shiftJis.decode(bytes);
}

function Joined(chunks) {
  const length = chunks.reduce((sum, chunk) => sum + chunk.length, 0);
  const joined = new Uint8Array(length);
  let at = 0;
  for (const chunk of chunks) {
    joined.set(chunk, at);
    at += chunk.length;
  }
  return new TextDecoder('utf-8').decode(joined);
}

// A file's bytes as a data: URL. A file of the volume is never larger than
// the volume (360 KB), well within what browsers take in a URL, and a data:
// URL is made without the round trip to the browser's blob store that each
// blob: URL costs (doc/performance.md).
function DataUrl(bytes, type) {
  // Spread into arguments a short piece at a time, which Chromium does
  // faster than long ones (doc/performance.md).
  const kChunk = 0x1000;
  const chunks = [];
  for (let at = 0; at < bytes.length; at += kChunk) {
    chunks.push(String.fromCharCode.apply(null, bytes.subarray(at, at + kChunk)));
  }
  return `data:${type};base64,${btoa(chunks.join(''))}`;
}

// The largest zip given as a data: URL: larger than any one file, and in
// base64 well within what browsers take in a URL (Chromium: 2 MB).
const kDataUrlMaxBytes = 512 * 1024;

// The links for the files a run left, made here so that the page has only
// to show them: each file as {name, size, url}, and the zip of them all as
// {url} when a data: URL holds it, or {bytes} for the page to make a blob:
// URL of (the page's blob: URLs live as long as its links). A volume file
// keeps its recorded time words in the zip; MAIN and DEMO get `runTime`,
// as the tool gives them the time it writes them.
function Links(files, runTime) {
  const entries = files.map((file) => {
    const words = file.time === null ? DosWordsOf(runTime) : {time: file.time, date: file.date};
    return {name: file.name, bytes: file.bytes, time: words.time, date: words.date};
  });
  const links = entries.map((entry) => ({
    name: entry.name, size: entry.bytes.length, url: DataUrl(entry.bytes, 'application/octet-stream'),
  }));
  if (entries.length === 0) {
    return {files: links, zip: {}};
  }
  const zip = MakeZip(entries);
  return {
    files: links,
    zip: zip.length <= kDataUrlMaxBytes ? {url: DataUrl(zip, 'application/zip')} : {bytes: zip},
  };
}

// A fresh instance of the module, its runtime started and main not yet
// run, with what its run will pass back: made ahead, while the worker waits
// for an image, and used for one image only.
function Prepare() {
  const run = {
    streams: {1: [], 2: []}, merge: null, report: null, outputs: [], made: [], diagnostics: [],
    ended: null, healthKnown: null, mergeEnded: null,
  };
  run.module = compiled.then((wasm) => createD88cutModule({
    // A new instance of the compiled wasm, with memory of its own.
    instantiateWasm: (imports, receive) => {
      const instance = new WebAssembly.Instance(wasm, imports);
      receive(instance, wasm);
      return instance.exports;
    },
    // The merge's report, when there is a merge; d88cut's streams; then,
    // once its run has ended, d88info's report. The reports each have both
    // streams in one, as a terminal shows them.
    d88cutText: (stream, bytes) => (run.merge || run.report || run.streams[stream]).push(bytes),
    d88cutMergeEnded: (status) => run.mergeEnded(status),
    d88cutOutput: (name, volumeFile, problems, file, replaced, crc32) => {
      run.outputs.push({name: ShownName(name), volumeFile, problems, file, replaced,
                        crc32: crc32.toString(16).padStart(8, '0')});
    },
    // The map comes last of the health, after every output.
    d88cutMap: (cells, capped) => run.healthKnown(run.outputs, {cells, capped: capped !== 0}),
    d88cutFileMade: (number, name) => {
      run.made[number] = {name, time: null, date: null};
    },
    d88cutFileTime: (number, time, date) => {
      run.made[number].time = time;
      run.made[number].date = date;
    },
    // Called by main once d88cut's run has ended, every file closed.
    d88cutRunEnded: (verdict, found) => run.ended(verdict, found),
    // emscripten's own messages, such as an abort's.
    print: (line) => run.diagnostics.push(line),
    printErr: (line) => run.diagnostics.push(line),
  }));
  return run;
}

const kDumpsPath = '/dumps';
const kMergedFolder = '/merged';

// Mounts `files` where main reads them, and returns main's arguments: the
// image's path, or for several files the merged image's path and the
// files', in order. The files to merge are named as the user's, relative to
// the working folder, so that the merge's messages name them so.
function MountFiles(FS, files, mergedName) {
  if (files.length === 1) {
    FS.mkdir('/image');
    FS.mount(FS.filesystems.WORKERFS, {blobs: [{name: 'image.d88', data: files[0]}]}, '/image');
    return [kImagePath];
  }
  FS.mkdir(kDumpsPath);
  FS.mount(FS.filesystems.WORKERFS, {blobs: files.map((file) => ({name: file.name, data: file}))},
           kDumpsPath);
  FS.mkdir(kMergedFolder);
  FS.chdir(kDumpsPath);
  return [`${kMergedFolder}/${mergedName}`].concat(files.map((file) => file.name));
}

// Runs main on `files` (one image, or several to merge into `mergedName`).
// For a merge, its part is posted as soon as it has ended, as {part:
// 'merge', status, report, image}. The health is posted (through `Post`) as soon as it
// is known, as {part: 'health', outputs, map}, and what d88cut's run leaves
// as soon as it has ended, as {part: 'cut', verdict, found, files, stdout,
// stderr}, for the page to show while main goes on; the answer returned
// holds the rest, with `cutPosted` when d88cut's part went ahead.
async function Unpack(files, mergedName, runTime, run, Post) {
  const counts = {reads: 0, bytes: 0, unreadable: null};
  const result = {
    status: null, verdict: null, found: null, files: [], counts, error: null, cutPosted: false,
    merged: null,
  };
  run.healthKnown = (outputs, map) => Post({part: 'health', outputs, map}, [map.cells.buffer]);
  try {
    const module = await run.module;
    const FS = module.FS;
    run.ended = (verdict, found) => {
      result.verdict = verdict;
      result.found = found;
      const files = run.made.map((entry, number) => ({...entry, bytes: FS.readFile('/out/' + number)}));
      const links = Links(files, runTime);
      Post({part: 'cut', verdict, found, ...links, stdout: Joined(run.streams[1]),
            stderr: Joined(run.streams[2])}, links.zip.bytes ? [links.zip.bytes.buffer] : []);
      result.cutPosted = true;
      run.report = [];
    };
    FS.mkdir('/out');
    FS.chdir('/out');
    const mainArguments = MountFiles(FS, files, mergedName);
    ReadInBlocks(FS, counts);
    if (files.length > 1) {
      run.merge = [];
      run.mergeEnded = (status) => {
        const report = Joined(run.merge);
        run.merge = null;
        const image = status === 0 ? FS.readFile(mainArguments[0]) : null;
        Post({part: 'merge', status, report, image}, image ? [image.buffer] : []);
        result.merged = status === 0;
      };
    }
    result.status = module.callMain(mainArguments);
  } catch (error) {
    result.error = [String(error)].concat(run.diagnostics).join('\n');
  }
  result.stdout = Joined(run.streams[1]);
  result.stderr = Joined(run.streams[2]);
  result.report = run.report === null ? null : Joined(run.report);
  return result;
}

// Practice: runs on the practice disk (practice.js), run for run as for an
// image, with what they pass back thrown away. The page asks for it once,
// from the worker it starts with; an image that comes meanwhile waits for
// the practice to end.
const kPracticeRuns = 12;
async function Practise() {
  const disk = new File([PracticeDisk()], 'practice.d88');
  for (let run = 0; run < kPracticeRuns; ++run) {
    await Unpack([disk], '', new Date(), Prepare(), () => {});
  }
}
let practice = Promise.resolve();

let prepared = Prepare();

// {practise: true}, first if at all: practise, and say {practised: true}
// at the end. Then one message per image, {run, files, mergedName,
// runTime}: runTime is
// when the user chose it (milliseconds since 1970), the time MAIN and DEMO
// get in the zip. The answers, the health, d88cut's part and then the
// rest, carry the same run. The next instance is made once the answer is
// on its way.
onmessage = async (event) => {
  if (event.data.practise) {
    practice = Practise().catch(() => {}).then(() => postMessage({practised: true}));
    return;
  }
  await practice;
  const run = prepared || Prepare();
  prepared = null;
  const number = event.data.run;
  const result = await Unpack(event.data.files, event.data.mergedName,
                              new Date(event.data.runTime), run,
                              (part, transfers) => postMessage({...part, run: number}, transfers));
  result.run = number;
  postMessage(result);
  prepared = Prepare();
};
