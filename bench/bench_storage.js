#!/usr/bin/env node
// bench_storage.js: three discs of about 870 MB in a row in the web page, in
// a fresh private Chromium context, each image saved (downloaded) before the
// next sheet is picked. In such a context the browser reports about 10 GB of
// room but refuses writes once about 1.5 GB is stored, so the three convert
// only if each saved image's room is given back. Prints per disc whether it
// converted, how long it took and the storage that the page uses once its
// image was saved; fails unless all three converted and the page's storage
// is back under 100 MB.
//
// Needs `npm ci --prefix tests/web` and the web build:
//   node bench/bench_storage.js [--site build-web/site] [--dir FOLDER]
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('../tests/web/node_modules/playwright-core');
const { serve } = require('../tests/web/browser.js');

const RAW = 2352;
const AUDIO_SECTORS = 12000;
const DATA_SECTORS = 358000;
const DISCS = 3;
const USAGE_LIMIT = 100e6;

function options() {
  const given = { site: 'build-web/site', dir: os.tmpdir() };
  const args = process.argv.slice(2);
  for (let i = 0; i < args.length; i += 2) {
    const name = args[i].replace(/^--/, '');
    if (!(name in given) || args[i + 1] === undefined) {
      console.error('usage: bench_storage.js [--site D] [--dir D]');
      process.exit(2);
    }
    given[name] = args[i + 1];
  }
  return given;
}

function makeDisc(folder) {
  const block = crypto.randomBytes(8 << 20);
  const writeTrack = (name, sectors) => {
    const fd = fs.openSync(path.join(folder, name), 'w');
    for (let left = sectors * RAW; left > 0; left -= block.length) fs.writeSync(fd, block, 0, Math.min(left, block.length));
    fs.closeSync(fd);
  };
  writeTrack('Big (Track 1).bin', AUDIO_SECTORS);
  writeTrack('Big (Track 2).bin', DATA_SECTORS);
  fs.writeFileSync(path.join(folder, 'Big.cue'),
    'REM SESSION 01\nFILE "Big (Track 1).bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' +
    'REM SESSION 02\nFILE "Big (Track 2).bin" BINARY\n  TRACK 02 MODE1/2352\n    INDEX 01 00:00:00\n');
  return fs.readdirSync(folder).map((name) => path.join(folder, name));
}

const usage = (page) => page.evaluate(async () => (await navigator.storage.estimate()).usage);
const mb = (bytes) => `${(bytes / 1e6).toFixed(1)} MB`;

/** One disc: picked, converted, downloaded; what its card says and the storage used after. */
async function convertAndSave(page, files, n) {
  const started = Date.now();
  await page.setInputFiles('#files', files);
  const card = page.locator('.run').nth(n);
  await card.locator('.state', { hasText: /^(Converted|Not converted)/ }).waitFor({ timeout: 900000 });
  const seconds = (Date.now() - started) / 1000;
  const state = await card.locator('.state').textContent();
  if (state !== 'Converted.') return { state, seconds, log: await card.locator('.log').textContent() };
  const [download] = await Promise.all([page.waitForEvent('download'), card.locator('a.download').click()]);
  const size = fs.statSync(await download.path()).size;
  await download.delete();
  await card.locator('.note', { hasText: 'free again' }).waitFor({ timeout: 60000 });
  return { state, seconds, size, used: await usage(page) };
}

async function main() {
  const given = options();
  const folder = fs.mkdtempSync(path.join(given.dir, 'cuesmelt-bench-storage-'));
  let browser = null;
  let server = null;
  try {
    const files = makeDisc(folder);
    const input = files.reduce((sum, file) => sum + fs.statSync(file).size, 0);
    server = await serve(given.site);
    browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
    console.log(`${browser.version()}, a fresh private context; ${DISCS} discs of ${mb(input)}`);
    const context = await browser.newContext({ acceptDownloads: true });
    const page = await context.newPage();
    await page.goto(server.url);
    // The images are streamed out by the service worker, which frees them.
    await page.waitForFunction(() => navigator.serviceWorker.controller, null, { timeout: 60000 });
    const quota = await page.evaluate(async () => (await navigator.storage.estimate()).quota);
    console.log(`quota reported: ${mb(quota)}, used before: ${mb(await usage(page))}`);
    let failed = false;
    for (let n = 0; n < DISCS; n++) {
      const disc = await convertAndSave(page, files, n);
      if (disc.state !== 'Converted.') {
        failed = true;
        console.log(`disc ${n + 1}: ${disc.state} after ${disc.seconds.toFixed(1)} s\n${disc.log}`);
        continue;
      }
      console.log(`disc ${n + 1}: converted in ${disc.seconds.toFixed(1)} s, image ${mb(disc.size)} saved; ` +
        `storage used after saving: ${mb(disc.used)}`);
    }
    const used = await usage(page);
    failed = failed || used >= USAGE_LIMIT;
    console.log(`storage used at the end: ${mb(used)} (must be under ${mb(USAGE_LIMIT)})`);
    if (failed) process.exitCode = 1;
  } finally {
    if (browser) await browser.close();
    if (server) server.close();
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
