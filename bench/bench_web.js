#!/usr/bin/env node
// bench_web.js: times the web page against the native program and against a
// copy floor in the browser, on the 628 MB bench disc of bench.py (session
// 1: 12000 audio sectors, session 2: 255000 sectors of the chosen data mode,
// a few MiB of random bytes repeated).
//
// The page is served from the site folder and opened in Debian's chromium
// or firefox-esr, headless (tests/web/engines.js); each of its runs is timed
// from picking the sheet and its two BIN files to the image offered, and
// checked to give an image as large as the native one. The copy floor is
// what the page cannot do without: its own worker reads the same BIN files
// in the same slices and writes as many bytes as the image into the same
// storage (a file of the origin's private file system), converting nothing.
// It is appended to worker.js as served, uses only the worker's own
// top-level names, and is asked to run over a BroadcastChannel.
// Runs go in alternating triples, native, page, floor and floor, page,
// native, each after sync(1) so that none pays for the writing of the one
// before, and the medians of the per-triple ratios page/native and
// page/floor are printed with the median times, because the machine's speed
// drifts.
// Memory, in chromium: the worker's heap, its WebAssembly memory and,
// sampled through DevTools while the runs go on, its ArrayBuffers and
// JavaScript heap; and the peak resident size of the page's renderer
// process (the page and its worker) and of the browser process, as the
// kernel counts them.
//
// With --zip deflated it times instead, in alternating pairs, the page on
// a zip archive of the disc (packed by Info-ZIP's zip, deflated) against the
// page on its unpacked files, and prints the median of the ratios.
//
// Needs `npm ci` in tests/web, the web build and the native build:
//   node bench/bench_web.js [--site build-web/site] [--cuesmelt build/cuesmelt]
//                           [--runs 5] [--mode MODE1/2352] [--dir FOLDER]
//                           [--engine chromium|firefox] [--zip deflated]
'use strict';
const { execFileSync } = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { openEngine } = require('../tests/web/engines.js');

const RAW = 2352;
const AUDIO_SECTORS = 12000;
const DATA_SECTORS = 255000;

function options() {
  const given = {
    site: 'build-web/site', cuesmelt: 'build/cuesmelt', runs: '5', mode: 'MODE1/2352', dir: os.tmpdir(),
    engine: 'chromium', zip: '',
  };
  const args = process.argv.slice(2);
  for (let i = 0; i < args.length; i += 2) {
    const name = args[i].replace(/^--/, '');
    if (!(name in given) || args[i + 1] === undefined) {
      console.error('usage: bench_web.js [--site D] [--cuesmelt P] [--runs N] [--mode M] [--dir D] [--engine E] [--zip deflated]');
      process.exit(2);
    }
    given[name] = args[i + 1];
  }
  return { ...given, runs: Number(given.runs) };
}

/**
 * The bench disc in `folder`; `compressible`, its bytes deflate to about
 * half, as a game's data does (random bytes of 16 values, then zeros), else
 * to nothing.
 */
function makeDisc(folder, mode, compressible = false) {
  const block = crypto.randomBytes(8 << 20);
  if (compressible) block.forEach((byte, i) => (block[i] = i % (4 << 20) < 3 << 20 ? byte & 0xF0 : 0));
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

/** The time `action` takes, with the data of the runs before it on disk first, untimed. */
function seconds(action) {
  execFileSync('sync');
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

/** Resolves when the page's newest card, the last, beyond the first `count`, says its run is over. */
function finished(count) {
  const over = () => {
    const cards = document.querySelectorAll('.run');
    return cards.length > count && /^(Converted|Not converted)/.test(cards[cards.length - 1].querySelector('.state').textContent);
  };
  return new Promise((resolve) => {
    if (over()) return resolve(true);
    const observer = new MutationObserver(() => over() && (observer.disconnect(), resolve(true)));
    observer.observe(document.body, { subtree: true, childList: true, characterData: true });
  });
}

/** The size of the newest card's image, which is then removed, so that the runs do not fill the storage. */
function takeImage() {
  const card = [...document.querySelectorAll('.run')].pop();
  const link = card.querySelector('a.download');
  if (!link) return 0;
  const { size } = window.offeredBlobs.get(link.href);
  [...card.querySelectorAll('button')].find((button) => button.textContent === 'Remove').click();
  return size;
}

/** One page run: its time, and the size of the image it offers (then removed). */
async function pageRun(engine, files) {
  const cards = await engine.evaluate(() => document.querySelectorAll('.run').length);
  const time = await seconds(async () => {
    await engine.pick('#files', files);
    await engine.evaluate(finished, cards);
  });
  return { time, size: await engine.evaluate(takeImage) };
}

/**
 * The copy floor, appended to worker.js. It keeps the files of the page's
 * last batch, and on {copy: imageBytes} reads their BIN files as the worker
 * reads them for the program (READ_AHEAD_BYTES at a time, each used slice
 * let go of at once) and writes, through PrivateFileImage and in pieces as
 * large as the program's, as much of the image as the program would have
 * written by then; {remove: true} removes that file.
 */
const COPY_FLOOR = `
let floorFiles = [];
addEventListener('message', ({ data }) => (floorFiles = data.files || floorFiles));
const FLOOR_NAME = 'copy-floor.bin';
// The program writes a batch of 256 sectors at a time, 512 KiB in mode 1;
// writes of 8 MiB were measured to take five times as long.
const FLOOR_PIECE_BYTES = 512 << 10;
async function copyFloor(folder, imageBytes) {
  const bins = floorFiles.filter(({ path }) => !/[.]cue$/i.test(path)).map(({ file }) => file);
  const total = bins.reduce((sum, file) => sum + file.size, 0);
  const image = await PrivateFileImage.open(folder, FLOOR_NAME);
  const reader = new FileReaderSync();
  let read = 0;
  for (const file of bins) {
    for (let at = 0; at < file.size; at += READ_AHEAD_BYTES) {
      const bytes = new Uint8Array(reader.readAsArrayBuffer(file.slice(at, at + READ_AHEAD_BYTES)));
      read += bytes.length;
      let due = Math.round(imageBytes * (read / total)) - image.written;
      for (let from = 0; due > 0; from = (from + FLOOR_PIECE_BYTES) % bytes.length) {
        const written = image.write(bytes.subarray(from, from + Math.min(due, FLOOR_PIECE_BYTES)));
        if (written === 0) throw new Error('the private file system is full');
        due -= written;
      }
      letGoOf(bytes.buffer);
    }
  }
  await image.finish();
  return image.written;
}
const floorChannel = new BroadcastChannel('copy-floor');
floorChannel.onmessage = async ({ data }) => {
  try {
    const folder = await images;
    if (!folder) throw new Error('this browser gives the page no private file system');
    if (data.remove) await folder.removeEntry(FLOOR_NAME);
    floorChannel.postMessage({ written: data.remove ? 0 : await copyFloor(folder, data.copy) });
  } catch (error) {
    floorChannel.postMessage({ error: String(error) });
  }
};
`;

/** Run in the page: asks the worker's copy floor for `request`; the bytes it wrote. */
function askFloor(request) {
  return new Promise((resolve, reject) => {
    const channel = new BroadcastChannel('copy-floor');
    channel.onmessage = ({ data }) => {
      channel.close();
      if (data.error) reject(new Error(data.error));
      else resolve(data.written);
    };
    channel.postMessage(request);
  });
}

/** One floor run: its time, and the bytes it wrote (then removed). */
async function floorRun(engine, imageBytes) {
  let size = 0;
  const time = await seconds(async () => {
    size = await engine.evaluate(askFloor, { copy: imageBytes });
  });
  await engine.evaluate(askFloor, { remove: true });
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

/** The processes of this machine: pid, parent pid and command line. */
function processes() {
  return fs.readdirSync('/proc').filter((entry) => /^\d+$/.test(entry)).map((pid) => {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const parent = stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1];
      return { pid, parent, command: fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8') };
    } catch {
      return null; // gone meanwhile
    }
  }).filter(Boolean);
}

/** The resident size of `pid` now and at its peak since the last reset, in bytes; 0 for a process gone. */
function resident(pid) {
  let status = '';
  try {
    status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  } catch {
    // gone meanwhile
  }
  const kib = (field) => Number(new RegExp(`${field}:\\s+(\\d+) kB`).exec(status)?.[1] || 0) * 1024;
  return { now: kib('VmRSS'), peak: kib('VmHWM') };
}

/** The pids of the chromium whose profile is `profile`: its browser process, and its renderers. */
function chromiumProcesses(profile) {
  const all = processes();
  const browser = all.find((p) => p.command.includes(`--user-data-dir=${profile}`) && !p.command.includes('--type='));
  const family = new Set([browser.pid]);
  for (let grew = true; grew;) {
    grew = false;
    for (const p of all) if (family.has(p.parent) && !family.has(p.pid)) grew = family.add(p.pid);
  }
  const renderers = all.filter((p) => family.has(p.pid) && p.command.includes('--type=renderer')).map((p) => p.pid);
  return { browser: browser.pid, renderers };
}

/** Peak resident bytes of the browser whose profile is `profile`, and of its renderers. */
function peakResident(profile) {
  const { browser, renderers } = chromiumProcesses(profile);
  return { browser: resident(browser).peak, renderer: Math.max(...renderers.map((pid) => resident(pid).peak)) };
}

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};

/** The page on a deflated zip of the disc against the page on its files, in pairs. */
async function zipAgainstFiles(given) {
  await onBenchDisc({ ...given, compressible: true }, given.mode, async (engine, files) => {
    const archive = path.join(path.dirname(files[0]), 'Bench.zip');
    execFileSync('zip', ['-q', '-j', archive, ...files]);
    console.log(`archive ${(fs.statSync(archive).size / 1e6).toFixed(0)} MB, ${given.runs} pairs`);
    const sizes = [(await pageRun(engine, [archive])).size, (await pageRun(engine, files)).size];
    if (sizes[0] !== sizes[1] || sizes[0] === 0) throw new Error(`images of ${sizes.join(' and ')} bytes`);
    const zipped = [];
    const unpacked = [];
    for (let n = 0; n < given.runs; n++) {
      const pair = n % 2 === 0
        ? [await pageRun(engine, [archive]), await pageRun(engine, files)]
        : [await pageRun(engine, files), await pageRun(engine, [archive])].reverse();
      zipped.push(pair[0].time);
      unpacked.push(pair[1].time);
    }
    const ratio = median(zipped.map((time, i) => time / unpacked[i]));
    console.log(`page on the zip ${median(zipped).toFixed(2)} s, on the files ${median(unpacked).toFixed(2)} s ` +
      `(medians); ratio zip/files ${ratio.toFixed(2)} (median of pairs)`);
  });
}

async function main() {
  const given = options();
  if (given.zip) return zipAgainstFiles(given);
  const folder = fs.mkdtempSync(path.join(given.dir, 'cuesmelt-bench-web-'));
  let engine = null;
  try {
    const files = makeDisc(folder, given.mode);
    const output = path.join(folder, 'native.cdi');
    console.log(`disc: ${AUDIO_SECTORS} audio + ${DATA_SECTORS} ${given.mode} sectors ` +
      `(${((AUDIO_SECTORS + DATA_SECTORS) * RAW / 1e6).toFixed(0)} MB), ${given.runs} triples`);
    engine = await openEngine(given.engine, given.site);
    console.log(`${engine.name} ${engine.version}`);
    engine.rewrite('worker.js', (text) => text + COPY_FLOOR);
    await engine.reload();
    const chromium = engine.name === 'chromium';
    const heap = chromium && (await watchWorkerHeap(engine.page));
    const before = chromium && peakResident(engine.browser.profile);
    // The floor copies the files of the page's last run: there must be one.
    const imageBytes = (await nativeRun(given.cuesmelt, files, output)).size;
    await pageRun(engine, files);
    const native = [];
    const web = [];
    const floor = [];
    for (let n = -1; n < given.runs; n++) {
      // Triple -1 warms the page cache, the browser and the program, untimed.
      const runNative = () => nativeRun(given.cuesmelt, files, output);
      const runPage = () => pageRun(engine, files);
      const runFloor = () => floorRun(engine, imageBytes);
      const triple = n % 2 === 0
        ? [await runNative(), await runPage(), await runFloor()]
        : [await runFloor(), await runPage(), await runNative()].reverse();
      for (const [name, run] of [['page', triple[1]], ['floor', triple[2]]]) {
        if (run.size !== imageBytes) throw new Error(`${name}: ${run.size} bytes, the native image ${imageBytes}`);
      }
      if (n < 0) continue;
      native.push(triple[0].time);
      web.push(triple[1].time);
      floor.push(triple[2].time);
    }
    const ratio = (other) => median(web.map((time, i) => time / other[i]));
    const times = (list) => list.map((time) => time.toFixed(2)).join(', ');
    console.log(`page ${median(web).toFixed(2)} s, native ${median(native).toFixed(2)} s, ` +
      `copy floor ${median(floor).toFixed(2)} s (medians; page runs ${times(web)} s, floor runs ${times(floor)} s)`);
    console.log(`ratio page/native ${ratio(native).toFixed(2)}, page/floor ${ratio(floor).toFixed(2)} (medians of triples)`);
    if (!chromium) return;
    const worker = heap.stop();
    const resident = peakResident(engine.browser.profile);
    const wasm = await engine.page.workers()[0].evaluate(async () => (await runtime).HEAP8.length);
    const mib = (bytes) => `${(bytes / 1048576).toFixed(1)} MiB`;
    console.log(`worker heap at most ${mib(wasm + worker.heap + worker.buffers)}: WebAssembly memory ${mib(wasm)}, ` +
      `ArrayBuffers ${mib(worker.buffers)} (the slices read ahead), JavaScript heap ${mib(worker.heap)} (peaks)`);
    console.log(`peak resident: page's renderer process (page and worker) ${mib(resident.renderer)} ` +
      `(${mib(before.renderer)} before the first run), browser process ${mib(resident.browser)}`);
  } finally {
    if (engine) await engine.close();
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

if (require.main === module) {
  main().catch((error) => {
    console.error(error);
    process.exit(1);
  });
}

/**
 * Runs `body(engine, files)` on the bench disc in `mode`, made in a new
 * folder under `dir`, with the page of `site` open in `engineName`;
 * afterwards the browser is closed and the disc removed, either way.
 */
async function onBenchDisc({ dir, site, engine: engineName, compressible }, mode, body) {
  const folder = fs.mkdtempSync(path.join(dir, 'cuesmelt-bench-'));
  let engine = null;
  try {
    const files = makeDisc(folder, mode, compressible);
    engine = await openEngine(engineName, site);
    console.log(`${engine.name} ${engine.version}`);
    return await body(engine, files);
  } finally {
    if (engine) await engine.close();
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

module.exports = { makeDisc, finished, chromiumProcesses, resident, onBenchDisc };
