#!/usr/bin/env node
// bench_web.js: times the web page against the native program on the 628 MB
// bench disc of bench.py (session 1: 12000 audio sectors, session 2: 255000
// sectors of the chosen data mode, a few MiB of random bytes repeated).
//
// The page is served from the site folder and opened in Debian's headless
// chromium (tests/web/browser.js); each of its runs is timed from picking
// the sheet and its two BIN files to the download link, and checked to give
// an image as large as the native one. Runs go in alternating pairs, native
// then page and page then native, and the median of the per-pair ratios is
// printed with the median times, because the machine's speed drifts.
// Memory: the worker's heap, its WebAssembly memory and, sampled through
// DevTools while the runs go on, its ArrayBuffers and JavaScript heap; and
// the peak resident size of the page's renderer process (the page and its
// worker) and of the browser process, as the kernel counts them.
//
// Needs `npm ci` in tests/web, the web build and the native build:
//   node bench/bench_web.js [--site build-web/site] [--cuesmelt build/cuesmelt]
//                           [--runs 5] [--mode MODE1/2352] [--dir FOLDER]
'use strict';
const { execFileSync } = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { openPage } = require('../tests/web/browser.js');

const RAW = 2352;
const AUDIO_SECTORS = 12000;
const DATA_SECTORS = 255000;

function options() {
  const given = { site: 'build-web/site', cuesmelt: 'build/cuesmelt', runs: '5', mode: 'MODE1/2352', dir: os.tmpdir() };
  const args = process.argv.slice(2);
  for (let i = 0; i < args.length; i += 2) {
    const name = args[i].replace(/^--/, '');
    if (!(name in given) || args[i + 1] === undefined) {
      console.error('usage: bench_web.js [--site D] [--cuesmelt P] [--runs N] [--mode M] [--dir D]');
      process.exit(2);
    }
    given[name] = args[i + 1];
  }
  return { ...given, runs: Number(given.runs) };
}

function makeDisc(folder, mode) {
  const block = crypto.randomBytes(8 << 20);
  const writeTrack = (name, sectors) => {
    const fd = fs.openSync(path.join(folder, name), 'w');
    for (let left = sectors * RAW; left > 0; left -= block.length) {
      fs.writeSync(fd, block, 0, Math.min(left, block.length));
    }
    fs.closeSync(fd);
  };
  writeTrack('Bench (Track 1).bin', AUDIO_SECTORS);
  writeTrack('Bench (Track 2).bin', DATA_SECTORS);
  fs.writeFileSync(path.join(folder, 'Bench.cue'),
    'REM SESSION 01\nFILE "Bench (Track 1).bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' +
    `REM SESSION 02\nFILE "Bench (Track 2).bin" BINARY\n  TRACK 02 ${mode}\n    INDEX 01 00:00:00\n`);
  return ['Bench.cue', 'Bench (Track 1).bin', 'Bench (Track 2).bin'].map((name) => path.join(folder, name));
}

function seconds(action) {
  const start = process.hrtime.bigint();
  return Promise.resolve(action()).then(() => Number(process.hrtime.bigint() - start) / 1e9);
}

/** The native run: its time, and its image's size (the image is deleted). */
function nativeRun(cuesmelt, files, output) {
  return seconds(() => execFileSync(cuesmelt, ['--cue', files[0], '--cdi', output])).then((time) => {
    const { size } = fs.statSync(output);
    fs.rmSync(output);
    return { time, size };
  });
}

/** One page run: its time, and the size of the image it offers (downloaded, which frees it). */
async function pageRun(page, files) {
  const card = page.locator('.run').nth(await page.locator('.run').count()); // the new card is the last
  const time = await seconds(async () => {
    await page.setInputFiles('#files', files);
    await card.locator('.state', { hasText: /^(Converted|Not converted)/ }).waitFor({ timeout: 600000 });
  });
  const [download] = await Promise.all([page.waitForEvent('download'), card.locator('.download').click()]);
  const { size } = fs.statSync(await download.path());
  await download.delete();
  return { time, size };
}

/**
 * Samples the worker's heap while the page runs: its JavaScript heap, and the
 * ArrayBuffers it holds besides the WebAssembly memory (the slices read
 * ahead, and any that wait for the garbage collector). The worker is reached
 * through the page's DevTools session; stop() gives the peaks.
 */
async function watchWorkerHeap(page) {
  const cdp = await page.context().newCDPSession(page);
  const { targetInfos } = await cdp.send('Target.getTargets');
  const worker = targetInfos.find((target) => target.type === 'worker');
  const { sessionId } = await cdp.send('Target.attachToTarget', { targetId: worker.targetId, flatten: false });
  const peak = { usedSize: 0, backingStorageSize: 0 };
  cdp.on('Target.receivedMessageFromTarget', ({ message }) => {
    const { result } = JSON.parse(message);
    if (result && 'usedSize' in result) {
      for (const key of Object.keys(peak)) peak[key] = Math.max(peak[key], result[key] || 0);
    }
  });
  let id = 0;
  const ask = () => cdp.send('Target.sendMessageToTarget', {
    sessionId, message: JSON.stringify({ id: ++id, method: 'Runtime.getHeapUsage' }),
  }).catch(() => {});
  const timer = setInterval(ask, 50);
  return { stop: () => (clearInterval(timer), { heap: peak.usedSize, buffers: peak.backingStorageSize }) };
}

/** Peak resident bytes of the browser whose profile is `profile`, and of its renderers. */
function peakResident(profile) {
  const processes = fs.readdirSync('/proc').filter((entry) => /^\d+$/.test(entry)).map((pid) => {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const parent = stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1];
      const command = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
      const peak = /VmHWM:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
      return { pid, parent, command, bytes: peak ? Number(peak[1]) * 1024 : 0 };
    } catch {
      return null; // gone meanwhile
    }
  }).filter(Boolean);
  const browser = processes.find((p) => p.command.includes(`--user-data-dir=${profile}`) && !p.command.includes('--type='));
  const family = new Set([browser.pid]);
  for (let grew = true; grew;) {
    grew = false;
    for (const p of processes) {
      if (family.has(p.parent) && !family.has(p.pid)) grew = family.add(p.pid);
    }
  }
  const renderers = processes.filter((p) => family.has(p.pid) && p.command.includes('--type=renderer'));
  return { browser: browser.bytes, renderer: Math.max(...renderers.map((p) => p.bytes)) };
}

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};

async function main() {
  const given = options();
  const folder = fs.mkdtempSync(path.join(given.dir, 'cuesmelt-bench-web-'));
  let browser = null;
  try {
    const files = makeDisc(folder, given.mode);
    const output = path.join(folder, 'native.cdi');
    console.log(`disc: ${AUDIO_SECTORS} audio + ${DATA_SECTORS} ${given.mode} sectors ` +
      `(${((AUDIO_SECTORS + DATA_SECTORS) * RAW / 1e6).toFixed(0)} MB), ${given.runs} pairs`);
    browser = await openPage(given.site);
    const heap = await watchWorkerHeap(browser.page);
    const before = peakResident(browser.profile);
    const native = [];
    const web = [];
    for (let n = -1; n < given.runs; n++) {
      // Pair -1 warms the page cache, the browser and the program, untimed.
      const pair = n % 2 === 0
        ? [await nativeRun(given.cuesmelt, files, output), await pageRun(browser.page, files)]
        : [await pageRun(browser.page, files), await nativeRun(given.cuesmelt, files, output)].reverse();
      if (pair[1].size !== pair[0].size) throw new Error(`page image ${pair[1].size} bytes, native ${pair[0].size}`);
      if (n < 0) continue;
      native.push(pair[0].time);
      web.push(pair[1].time);
    }
    const worker = heap.stop();
    const resident = peakResident(browser.profile);
    const wasm = await browser.page.workers()[0].evaluate(async () => (await runtime).HEAP8.length);
    const ratios = web.map((time, i) => time / native[i]);
    const mib = (bytes) => `${(bytes / 1048576).toFixed(1)} MiB`;
    console.log(`page ${median(web).toFixed(2)} s, native ${median(native).toFixed(2)} s, ` +
      `ratio page/native ${median(ratios).toFixed(1)} (median of pairs; page runs ${web.map((t) => t.toFixed(1)).join(', ')} s)`);
    console.log(`worker heap at most ${mib(wasm + worker.heap + worker.buffers)}: WebAssembly memory ${mib(wasm)}, ` +
      `ArrayBuffers ${mib(worker.buffers)} (the slices read ahead), JavaScript heap ${mib(worker.heap)} (peaks)`);
    console.log(`peak resident: page's renderer process (page and worker) ${mib(resident.renderer)} ` +
      `(${mib(before.renderer)} before the first run), browser process ${mib(resident.browser)}`);
  } finally {
    if (browser) await browser.close();
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
