// Times the page against the native tool on one image:
//
//   node bench/page_speed.mjs [IMAGE]     (IMAGE defaults to examples/sample.d88)
//
// Needs build-web/d88cut.html (preset web), build-bench/d88cut and
// build-bench/bench/run_timer (preset bench), Debian's chromium and
// firefox-esr, and puppeteer-core from tests/web (`npm ci` there). Set
// D88CUT_PAGE, D88CUT_NATIVE_TOOL, D88CUT_RUN_TIMER, RUNS (default 20) or
// PAUSE_MS (default 500) to change them.
//
// For each browser, one session:
// - the native tool runs RUNS times on the image while no browser is open,
//   each run in a fresh folder, timed by run_timer from just before the
//   process is started to just after it has exited;
// - the browser opens the page from disk, and once the worker's practice is
//   over (#status's data-practised) and PAUSE_MS more have passed, as a
//   visitor's first choice would come, the image is chosen RUNS times, each
//   run read back from #status's data-ms: the page's own milliseconds from
//   the input's change event to the run shown in full. Between two runs the
//   page is given PAUSE_MS to settle, as a visitor would take to choose
//   again;
// - once the browser has closed, the native tool runs RUNS times more.
// Printed: the page's median and quartiles; the native runs' median,
// quartiles and range, before and after the browser and together; and the
// page's median over the native runs' median.
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath, pathToFileURL} from 'node:url';

const kSource = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const kPage = process.env.D88CUT_PAGE || path.join(kSource, 'build-web/d88cut.html');
const kNativeTool = process.env.D88CUT_NATIVE_TOOL || path.join(kSource, 'build-bench/d88cut');
const kRunTimer = process.env.D88CUT_RUN_TIMER || path.join(kSource, 'build-bench/bench/run_timer');
const kImage = path.resolve(process.argv[2] || path.join(kSource, 'examples/sample.d88'));
const kRuns = Number(process.env.RUNS || 20);
const kPauseMs = Number(process.env.PAUSE_MS ?? 500);

for (const [what, file, preset] of [['the page', kPage, 'web'], ['the native tool', kNativeTool, 'bench'],
                                    ['run_timer', kRunTimer, 'bench']]) {
  if (!fs.existsSync(file)) {
    console.error(`page_speed.mjs: ${what} is not at ${file}: cmake --workflow --preset ${preset}`);
    process.exit(1);
  }
}

const require = createRequire(path.join(kSource, 'tests/web/package.json'));
const puppeteer = (await import(pathToFileURL(require.resolve('puppeteer-core')).href)).default;

const kBrowsers = [
  {
    name: 'Chromium',
    options: {
      browser: 'chrome', executablePath: '/usr/bin/chromium',
      args: ['--no-sandbox', '--disable-background-networking', '--disable-component-update',
             '--disable-sync', '--no-first-run', '--disable-gpu'],
    },
  },
  {name: 'Firefox', options: {browser: 'firefox', executablePath: '/usr/bin/firefox-esr'}},
];

function Quartiles(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const at = (q) => {
    const position = (sorted.length - 1) * q;
    const low = Math.floor(position);
    const high = Math.ceil(position);
    return sorted[low] + (sorted[high] - sorted[low]) * (position - low);
  };
  return {q1: at(0.25), median: at(0.5), q3: at(0.75), min: sorted[0], max: sorted[sorted.length - 1]};
}

// RUNS whole native runs, each in a fresh folder, in milliseconds.
function NativeRuns() {
  const out = execFileSync(kRunTimer, [String(kRuns), kNativeTool, kImage],
                           {encoding: 'utf8', env: {...process.env, TZ: 'UTC'}});
  return out.trim().split('\n').map((microseconds) => Number(microseconds) / 1000);
}

// One page run: chooses the image and returns the page's data-ms. The end
// is awaited by an observer of #status's data-ms alone, not by polling the
// page every frame, which would make the browser draw meanwhile.
async function PageRun(page, input) {
  await page.evaluate(() => {
    const image = document.getElementById('image');
    image.value = '';
    const status = document.getElementById('status');
    window.d88cutRunEnded = new Promise((resolve) => {
      const observer = new MutationObserver(() => {
        if (status.dataset.ms !== undefined) {
          observer.disconnect();
          resolve();
        }
      });
      observer.observe(status, {attributeFilter: ['data-ms']});
    });
  });
  await input.uploadFile(kImage);
  const {state, ms} = await page.evaluate(async () => {
    await window.d88cutRunEnded;
    return {...document.getElementById('status').dataset};
  });
  if (state !== 'done') {
    throw new Error(`the page ended with state ${state}`);
  }
  return Number(ms);
}

function Line(name, figures) {
  const f = (value) => value.toFixed(1).padStart(6);
  return `${name.padEnd(14)} median ${f(figures.median)} ms   quartiles ${f(figures.q1)} ${f(figures.q3)} ms` +
         `   range ${f(figures.min)} ${f(figures.max)} ms`;
}

const Pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

console.log(`${new Date().toISOString()}  ${os.cpus()[0].model}, ${os.cpus().length} cores, ${os.platform()} ${os.release()}`);
console.log(`image ${path.relative(kSource, kImage)}, ${kRuns} runs each, ${kPauseMs} ms between page runs`);
console.log(`native ${path.relative(kSource, kNativeTool)}; load average ${os.loadavg().map((l) => l.toFixed(2)).join(' ')}`);
for (const kind of kBrowsers) {
  const nativeBefore = NativeRuns();
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'd88cut-speed-profile-'));
  const browser = await puppeteer.launch({...kind.options, headless: true, userDataDir: profile});
  const pageTimes = [];
  let version;
  try {
    version = await browser.version();
    const page = await browser.newPage();
    await page.goto(pathToFileURL(kPage).href);
    await page.waitForFunction(() => document.getElementById('status').dataset.practised !== undefined,
                               {timeout: 60000});
    const input = await page.$('input[type=file]');
    for (let run = 0; run < kRuns; ++run) {
      await Pause(kPauseMs);
      pageTimes.push(await PageRun(page, input));
    }
  } finally {
    await browser.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
  const nativeAfter = NativeRuns();
  const pageFigures = Quartiles(pageTimes);
  const nativeFigures = Quartiles(nativeBefore.concat(nativeAfter));
  console.log(`${kind.name} ${version}; load average ${os.loadavg().map((l) => l.toFixed(2)).join(' ')}`);
  console.log('  ' + Line('page', pageFigures));
  console.log('  ' + Line('native before', Quartiles(nativeBefore)));
  console.log('  ' + Line('native after', Quartiles(nativeAfter)));
  console.log('  ' + Line('native', nativeFigures));
  console.log(`  page / native: ${(pageFigures.median / nativeFigures.median).toFixed(2)}`);
  if (process.env.VERBOSE) {
    console.log('  page runs: ' + pageTimes.map((ms) => ms.toFixed(1)).join(' '));
  }
}
