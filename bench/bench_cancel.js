#!/usr/bin/env node
// bench_cancel.js: how much the web page writes after Cancel, on the 628 MB
// bench disc of bench_web.js (a 551 MB image), in chromium or firefox-esr.
//
// Each run picks the disc, waits until the card shows 180 MB written, then
// presses Cancel, and watches the image's private file on disk, in the
// browser's profile, as the kernel sees it: its size just before the click,
// the largest it grows to before it is removed, and how long until the card
// says "Cancelled.". Prints each run and the medians; exits with status 1
// when a run wrote more than 64 MB after the click, or left its file.
//
// Needs `npm ci --prefix tests/web` and the web build:
//   node bench/bench_cancel.js [--engine chromium|firefox] [--runs 5]
//                              [--site build-web/site] [--dir FOLDER]
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { onBenchDisc } = require('./bench_web.js');

const CLICK_AT_BYTES = 180e6;
const LIMIT_BYTES = 64e6;
const POLL_MS = 5;

function options() {
  const given = { engine: 'chromium', runs: '5', site: 'build-web/site', dir: os.tmpdir() };
  const args = process.argv.slice(2);
  for (let i = 0; i < args.length; i += 2) {
    const name = args[i].replace(/^--/, '');
    if (!(name in given) || args[i + 1] === undefined) {
      console.error('usage: bench_cancel.js [--engine chromium|firefox] [--runs N] [--site D] [--dir D]');
      process.exit(2);
    }
    given[name] = args[i + 1];
  }
  return { ...given, runs: Number(given.runs) };
}

/** The folder where the browser keeps its profile, the private file system with it. */
function profileOf(engine) {
  if (engine.name === 'chromium') return engine.browser.profile;
  const args = engine.browser.process().spawnargs;
  return args[args.findIndex((arg) => /^--?profile$/.test(arg)) + 1];
}

/** The largest file under `folder`: the image being written, the profile's other files being small. */
function largestFile(folder) {
  let largest = { file: null, size: -1 };
  for (const entry of fs.readdirSync(folder, { withFileTypes: true, recursive: true })) {
    if (!entry.isFile()) continue;
    const file = path.join(entry.parentPath ?? entry.path, entry.name);
    const size = fs.statSync(file, { throwIfNoEntry: false })?.size ?? -1;
    if (size > largest.size) largest = { file, size };
  }
  return largest;
}

/** Run in the page: the newest card's bytes written, once they pass `bytes`. */
function writtenPast(bytes) {
  const bar = [...document.querySelectorAll('.run progress')].pop();
  return bar && bar.value >= bytes && bar.value;
}

/** Run in the page: presses the newest card's Cancel; the bytes its bar showed then. */
function pressCancel() {
  const card = [...document.querySelectorAll('.run')].pop();
  const shown = card.querySelector('progress').value;
  [...card.querySelectorAll('button')].find((button) => button.textContent === 'Cancel').click();
  return shown;
}

const cancelled = () => [...document.querySelectorAll('.run .state')].pop().textContent === 'Cancelled.';

/** One run: the bytes shown and on disk at the click, the most on disk after it, the seconds to "Cancelled.". */
async function cancelRun(engine, files, profile) {
  await engine.pick('#files', files);
  await engine.waitFor(writtenPast, CLICK_AT_BYTES, 120000);
  const { file } = largestFile(profile);
  // Its size just before the click: the bytes after it are, if anything, overstated.
  const atClick = fs.statSync(file).size;
  const shown = await engine.evaluate(pressCancel);
  const clicked = Date.now();
  let most = atClick;
  let said = null;
  for (let size = atClick; size >= 0 || !said;) {
    if (!said && (await engine.evaluate(cancelled))) said = (Date.now() - clicked) / 1000;
    size = fs.statSync(file, { throwIfNoEntry: false })?.size ?? -1;
    most = Math.max(most, size);
    if (Date.now() - clicked > 30000) throw new Error(`${file} is still there 30 s after the click`);
    await new Promise((resolve) => setTimeout(resolve, POLL_MS));
  }
  return { shown, atClick, after: most - atClick, said };
}

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const mb = (bytes) => `${(bytes / 1e6).toFixed(1)} MB`;

async function main() {
  const given = options();
  const runs = await onBenchDisc(given, 'MODE1/2352', async (engine, files) => {
    const profile = profileOf(engine);
    const done = [];
    for (let n = 1; n <= given.runs; n++) {
      const run = await cancelRun(engine, files, profile);
      done.push(run);
      console.log(`run ${n}: ${mb(run.shown)} shown, ${mb(run.atClick)} on disk at the click, ` +
        `${mb(run.after)} written after it; "Cancelled." after ${run.said.toFixed(1)} s`);
    }
    return done;
  });
  const after = runs.map((run) => run.after);
  console.log(`written after the click: median ${mb(median(after))}, at most ${mb(Math.max(...after))} ` +
    `(the limit is ${mb(LIMIT_BYTES)}); "Cancelled." after ${median(runs.map((run) => run.said)).toFixed(1)} s (median)`);
  if (Math.max(...after) > LIMIT_BYTES) process.exitCode = 1;
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
