#!/usr/bin/env node
// bench_collection.js: memory over a long visit to the web page, on the
// 628 MB bench disc of bench_web.js, all in one page as a person converting
// a collection would use it.
//
//   chromium  24 discs, each picked, converted and removed before the next;
//             prints the peak resident size of the page's renderer process
//             (the page and its worker) during each disc. The peaks of
//             discs 5 and on must stay within 128 MiB of the highest of the
//             first four.
//   firefox   one disc converted and downloaded 8 times, each download
//             streamed out of the private file system by the service worker
//             and read through (the downloaded file is then deleted);
//             prints the resident size of the browser's parent process
//             after each download, and its peak during it. The sizes after
//             downloads 2 and on must stay within 256 MiB of the size after
//             the first.
//
// Exits with status 1 when a limit is passed. Peaks come from the kernel
// (VmHWM, reset before each disc through /proc/<pid>/clear_refs).
//
// Needs `npm ci --prefix tests/web` and the web build:
//   node bench/bench_collection.js [--engine chromium|firefox] [--count N]
//                                  [--site build-web/site] [--dir FOLDER]
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { openEngine } = require('../tests/web/engines.js');
const { finished, makeDisc } = require('./bench_web.js');

const MIB = 1 << 20;
const LIMITS = { chromium: { count: 24, first: 4, slack: 128 * MIB }, firefox: { count: 8, first: 1, slack: 256 * MIB } };

function options() {
  const given = { engine: 'chromium', count: '', site: 'build-web/site', dir: os.tmpdir() };
  const args = process.argv.slice(2);
  for (let i = 0; i < args.length; i += 2) {
    const name = args[i].replace(/^--/, '');
    if (!(name in given) || args[i + 1] === undefined || !(given.engine in LIMITS)) {
      console.error('usage: bench_collection.js [--engine chromium|firefox] [--count N] [--site D] [--dir D]');
      process.exit(2);
    }
    given[name] = args[i + 1];
  }
  return { ...given, count: Number(given.count) || LIMITS[given.engine].count };
}

const mib = (bytes) => `${(bytes / MIB).toFixed(0)} MiB`;

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

/** The resident size of `pid` now and at its peak since the last reset, in bytes. */
function resident(pid) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  const kib = (field) => Number(new RegExp(`${field}:\\s+(\\d+) kB`).exec(status)[1]) * 1024;
  return { now: kib('VmRSS'), peak: kib('VmHWM') };
}

const resetPeak = (pid) => fs.writeFileSync(`/proc/${pid}/clear_refs`, '5');

/** The renderer processes of the chromium whose profile is `profile`. */
function chromiumRenderers(profile) {
  const all = processes();
  const browser = all.find((p) => p.command.includes(`--user-data-dir=${profile}`) && !p.command.includes('--type='));
  const family = new Set([browser.pid]);
  for (let grew = true; grew;) {
    grew = false;
    for (const p of all) if (family.has(p.parent) && !family.has(p.pid)) grew = family.add(p.pid);
  }
  return all.filter((p) => family.has(p.pid) && p.command.includes('--type=renderer')).map((p) => p.pid);
}

/** Picks the disc and waits for its card to say it converted; the card's number. */
async function convert(engine, files) {
  const cards = await engine.evaluate(() => document.querySelectorAll('.run').length);
  await engine.pick('#files', files);
  await engine.evaluate(finished, cards);
  const state = await engine.evaluate((n) => document.querySelectorAll('.run .state')[n].textContent, cards);
  if (state !== 'Converted.') throw new Error(`disc ${cards + 1}: ${state}`);
  return cards;
}

/** Waits until card `n` says its image's room is free again. */
const freed = (engine, n) => engine.waitFor((card) =>
  /free again/.test(document.querySelectorAll('.run')[card].querySelector('.result').textContent), n, 120000);

async function chromiumDiscs(engine, files, count) {
  const peaks = [];
  for (let disc = 1; disc <= count; disc++) {
    const renderers = chromiumRenderers(engine.browser.profile);
    renderers.forEach(resetPeak);
    const n = await convert(engine, files);
    await engine.evaluate((card) => [...document.querySelectorAll('.run')[card].querySelectorAll('button')]
      .find((button) => button.textContent === 'Remove').click(), n);
    await freed(engine, n);
    const peak = Math.max(...chromiumRenderers(engine.browser.profile).map((pid) => resident(pid).peak));
    peaks.push(peak);
    console.log(`disc ${disc}: renderer peak ${mib(peak)}`);
  }
  return peaks;
}

/** Resolves once the folder holds just `name`, `size` bytes long: a download has been written whole. */
async function downloaded(folder, name, size) {
  for (let waited = 0; waited < 120000; waited += 100) {
    const names = fs.readdirSync(folder);
    if (names.length === 1 && names[0] === name && fs.statSync(path.join(folder, name)).size === size) return;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  throw new Error(`${folder} holds ${fs.readdirSync(folder).join(', ')}, not ${name} of ${size} bytes`);
}

async function firefoxDownloads(engine, files, count) {
  const parent = engine.browser.process().pid;
  await engine.waitFor(() => Boolean(navigator.serviceWorker.controller), null, 60000);
  const sizes = [];
  for (let download = 1; download <= count; download++) {
    const n = await convert(engine, files);
    const size = await engine.evaluate((card) =>
      window.offeredBlobs.get(document.querySelectorAll('.run')[card].querySelector('a.download').href).size, n);
    resetPeak(parent);
    await engine.evaluate((card) => document.querySelectorAll('.run')[card].querySelector('a.download').click(), n);
    await freed(engine, n);
    await downloaded(engine.downloads, 'Bench.cdi', size);
    fs.rmSync(path.join(engine.downloads, 'Bench.cdi'));
    const { now, peak } = resident(parent);
    sizes.push(now);
    console.log(`download ${download}: parent process ${mib(now)} after it, ${mib(peak)} at its peak`);
  }
  return sizes;
}

async function main() {
  const given = options();
  const limit = LIMITS[given.engine];
  const folder = fs.mkdtempSync(path.join(given.dir, 'cuesmelt-bench-collection-'));
  let engine = null;
  try {
    const files = makeDisc(folder, 'MODE1/2352');
    engine = await openEngine(given.engine, given.site);
    console.log(`${engine.name} ${engine.version}`);
    const sizes = given.engine === 'chromium'
      ? await chromiumDiscs(engine, files, given.count)
      : await firefoxDownloads(engine, files, given.count);
    const base = Math.max(...sizes.slice(0, limit.first));
    const rest = Math.max(...sizes.slice(limit.first));
    const what = given.engine === 'chromium' ? 'renderer peak' : 'parent process after a download';
    console.log(`${what}: at most ${mib(base)} over the first ${limit.first}, ${mib(rest)} over the ` +
      `${sizes.length - limit.first} after (${mib(rest - base)} more; the limit is ${mib(limit.slack)})`);
    if (rest - base > limit.slack) process.exitCode = 1;
  } finally {
    if (engine) await engine.close();
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
