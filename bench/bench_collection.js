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
const { chromiumProcesses, finished, onBenchDisc, resident } = require('./bench_web.js');

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

const resetPeak = (pid) => fs.writeFileSync(`/proc/${pid}/clear_refs`, '5');

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
    const renderers = chromiumProcesses(engine.browser.profile).renderers;
    renderers.forEach(resetPeak);
    const n = await convert(engine, files);
    await engine.evaluate((card) => [...document.querySelectorAll('.run')[card].querySelectorAll('button')]
      .find((button) => button.textContent === 'Remove').click(), n);
    await freed(engine, n);
    const peak = Math.max(...chromiumProcesses(engine.browser.profile).renderers.map((pid) => resident(pid).peak));
    peaks.push(peak);
    console.log(`disc ${disc}: renderer peak ${mib(peak)}`);
  }
  return peaks;
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
    const [image] = await engine.downloaded(['Bench.cdi'], 120000);
    if (fs.statSync(image).size !== size) throw new Error(`${image} is not ${size} bytes long`);
    fs.rmSync(image);
    const { now, peak } = resident(parent);
    sizes.push(now);
    console.log(`download ${download}: parent process ${mib(now)} after it, ${mib(peak)} at its peak`);
  }
  return sizes;
}

async function main() {
  const given = options();
  const limit = LIMITS[given.engine];
  const sizes = await onBenchDisc(given, 'MODE1/2352', (engine, files) => (given.engine === 'chromium'
    ? chromiumDiscs(engine, files, given.count)
    : firefoxDownloads(engine, files, given.count)));
  const base = Math.max(...sizes.slice(0, limit.first));
  const rest = Math.max(...sizes.slice(limit.first));
  const what = given.engine === 'chromium' ? 'renderer peak' : 'parent process after a download';
  console.log(`${what}: at most ${mib(base)} over the first ${limit.first}, ${mib(rest)} over the ` +
    `${sizes.length - limit.first} after (${mib(rest - base)} more; the limit is ${mib(limit.slack)})`);
  if (rest - base > limit.slack) process.exitCode = 1;
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
