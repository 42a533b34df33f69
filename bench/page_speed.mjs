// Times the page against the native tool on one image, in one session:
//
//   node bench/page_speed.mjs [IMAGE]     (IMAGE defaults to examples/sample.d88)
//
// Needs build-web/d88cut.html, build/d88cut, Debian's chromium and
// firefox-esr, and puppeteer-core from tests/web (`npm ci` there). Set
// D88CUT_PAGE, D88CUT_NATIVE_TOOL or RUNS (default 20) to change them.
//
// In each browser the page is opened once from disk and the image chosen
// RUNS times in a row, as a user would, each time read back from #status's
// data-ms: the page's own milliseconds from the input's change event to the
// run shown in full. Between two page runs the native tool runs once on the
// same image in a fresh folder, timed from before the process is started to
// after it has exited (node's spawnSync), so that both meet the same load.
// Printed: each one's median and quartiles, and the page's median over the
// native median.
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath, pathToFileURL} from 'node:url';

const kSource = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const kPage = process.env.D88CUT_PAGE || path.join(kSource, 'build-web/d88cut.html');
const kNativeTool = process.env.D88CUT_NATIVE_TOOL || path.join(kSource, 'build/d88cut');
const kImage = path.resolve(process.argv[2] || path.join(kSource, 'examples/sample.d88'));
const kRuns = Number(process.env.RUNS || 20);

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
  return {q1: at(0.25), median: at(0.5), q3: at(0.75)};
}

// One whole native run in a fresh folder, in milliseconds.
function NativeRun() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'd88cut-speed-'));
  const start = process.hrtime.bigint();
  const run = spawnSync(kNativeTool, [kImage], {cwd: dir, stdio: 'ignore', env: {...process.env, TZ: 'UTC'}});
  const ms = Number(process.hrtime.bigint() - start) / 1e6;
  fs.rmSync(dir, {recursive: true});
  if (run.status !== 0) {
    throw new Error(`${kNativeTool} exited with ${run.status}`);
  }
  return ms;
}

// One page run: chooses the image and returns the page's data-ms.
async function PageRun(page, input) {
  await page.evaluate(() => {
    const image = document.getElementById('image');
    image.value = '';
  });
  await input.uploadFile(kImage);
  await page.waitForFunction(
    () => {
      const status = document.getElementById('status');
      return ['done', 'error'].includes(status.dataset.state) && status.dataset.ms !== undefined;
    },
    {timeout: 60000});
  const {state, ms} = await page.evaluate(() => ({...document.getElementById('status').dataset}));
  if (state !== 'done') {
    throw new Error(`the page ended with state ${state}`);
  }
  return Number(ms);
}

function Line(name, figures) {
  const f = (value) => value.toFixed(1).padStart(6);
  return `${name.padEnd(10)} median ${f(figures.median)} ms   quartiles ${f(figures.q1)} ${f(figures.q3)} ms`;
}

console.log(`${new Date().toISOString()}  ${os.cpus()[0].model}, ${os.cpus().length} cores, ${os.platform()} ${os.release()}`);
console.log(`image ${path.relative(kSource, kImage)}, ${kRuns} runs each`);
for (const kind of kBrowsers) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'd88cut-speed-profile-'));
  const browser = await puppeteer.launch({...kind.options, headless: true, userDataDir: profile});
  try {
    const page = await browser.newPage();
    await page.goto(pathToFileURL(kPage).href);
    const input = await page.$('input[type=file]');
    const pageTimes = [];
    const nativeTimes = [];
    for (let run = 0; run < kRuns; ++run) {
      nativeTimes.push(NativeRun());
      pageTimes.push(await PageRun(page, input));
    }
    const pageFigures = Quartiles(pageTimes);
    const nativeFigures = Quartiles(nativeTimes);
    console.log(`${kind.name} ${await browser.version()}`);
    console.log('  ' + Line('page', pageFigures));
    console.log('  ' + Line('native', nativeFigures));
    console.log(`  page / native: ${(pageFigures.median / nativeFigures.median).toFixed(2)}`);
    if (process.env.VERBOSE) {
      console.log('  page runs: ' + pageTimes.map((ms) => ms.toFixed(1)).join(' '));
    }
  } finally {
    await browser.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
}
