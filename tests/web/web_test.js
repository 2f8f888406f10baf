// The web page in every engine CI has (engines.js: chromium, firefox and
// webkit), driven as a user would drive it: each case picks a folder's
// files in the page's file picker, and what the page shows and offers must
// be what the native program gives for each sheet of that folder, run in
// it: the same text as on a terminal, the same message, and an image with
// the same SHA-256. A case runs in every engine unless it names its
// engines; some also save, remove or cancel, or take the page offline.
//
// node --test tests/web/web_test.js, from the repository root, after the web
// build (build-web/site) and the native sample disc (build/sample).
// CUESMELT_WEB_ENGINES=firefox,webkit picks engines; all by default.
'use strict';
const { describe, test, before, after } = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { ENGINE_NAMES, openEngine } = require('./engines.js');

const ROOT = path.resolve(__dirname, '../..');
const NATIVE = path.join(ROOT, 'build/cuesmelt');
const SAMPLE = path.join(ROOT, 'build/sample');
const RAW = 2352;
const AXE = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');

function copySample(folder, { leaveOut } = {}) {
  for (const name of fs.readdirSync(SAMPLE)) {
    if (name !== leaveOut) fs.copyFileSync(path.join(SAMPLE, name), path.join(folder, name));
  }
}

/** The sample disc packed by Info-ZIP's zip into `archive`, as dumps are shared. */
function zipSample(archive, { leaveOut } = {}) {
  const names = fs.readdirSync(SAMPLE).filter((name) => name !== leaveOut);
  spawnSync('zip', ['-q', path.resolve(archive), ...names], { cwd: SAMPLE, stdio: 'inherit' });
}

/** The image's name for a disc: after its sheet, or the one sheet inside its zip archive. */
function imageName(folder, disc) {
  const listed = disc.endsWith('.zip') ? spawnSync('unzip', ['-Z1', path.join(folder, disc)], { encoding: 'utf8' }).stdout : disc;
  return path.basename(listed.split('\n').find((name) => name.endsWith('.cue'))).replace(/\.cue$/, '.cdi');
}

/** A disc of about 690 MB whose every sector carries its own number. */
function writeLargeDisc(folder) {
  const noise = crypto.randomBytes(RAW);
  const track = (name, sectors) => {
    const fd = fs.openSync(path.join(folder, name), 'w');
    const chunk = Buffer.alloc(256 * RAW);
    for (let first = 0; first < sectors; first += 256) {
      const count = Math.min(256, sectors - first);
      for (let s = 0; s < count; s++) {
        noise.copy(chunk, s * RAW);
        for (const at of [0, 16, 2340]) chunk.writeUInt32LE(first + s, s * RAW + at);
      }
      fs.writeSync(fd, chunk, 0, count * RAW);
    }
    fs.closeSync(fd);
  };
  track('Large (Track 1).bin', 10000);
  track('Large (Track 2).bin', 280000);
  track('Large (Track 3).bin', 3000);
  fs.writeFileSync(path.join(folder, 'Large.cue'), [
    'REM SESSION 01', 'FILE "Large (Track 1).bin" BINARY', '  TRACK 01 AUDIO', '    INDEX 01 00:00:00',
    'REM SESSION 02', 'FILE "Large (Track 2).bin" BINARY', '  TRACK 02 MODE2/2352', '    INDEX 01 00:00:00',
    'FILE "Large (Track 3).bin" BINARY', '  TRACK 03 AUDIO', '    INDEX 00 00:00:00', '    INDEX 01 00:02:00', '',
  ].join('\n'));
}

/** A sheet whose track is a sparse file of 700 MB: a run long enough to cancel. */
function writeLongDisc(folder) {
  const fd = fs.openSync(path.join(folder, 'A Long.bin'), 'w');
  fs.ftruncateSync(fd, 300000 * RAW);
  fs.closeSync(fd);
  fs.writeFileSync(path.join(folder, 'A Long.cue'),
    'REM SESSION 01\nFILE "A Long.bin" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n');
}

const AUDIO_ONLY = 'REM SESSION 01\nFILE "Sample Disc (Track 1).bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n';

// WebKitGTK's MiniBrowser gives the page no private file system: its images are Blobs.
const PRIVATE_FILES = ['chromium', 'firefox'];

// Run in the page: the files in this page's private folder (storage.js names it on the window);
// with `onceCancelled`, as soon as the first card says "Cancelled.".
async function keptFiles(onceCancelled) {
  const state = document.querySelector('.run .state');
  if (onceCancelled) {
    await new Promise((said) => {
      const seen = () => state.textContent === 'Cancelled.' && said();
      new MutationObserver(seen).observe(state, { childList: true, characterData: true, subtree: true });
      seen();
    });
  }
  if (!navigator.storage) return [];
  const root = await navigator.storage.getDirectory();
  const folder = await root.getDirectoryHandle(cuesmeltFolder).catch(() => null);
  const names = [];
  if (folder) for await (const name of folder.keys()) names.push(name);
  return names;
}

// Presses the button `text` of card `card` from the keyboard, as a person who tabbed to it.
const pressButton = async (engine, card, text) => {
  await engine.evaluate(([n, label]) => [...document.querySelectorAll('.run')[n].querySelectorAll('button')]
    .find((button) => button.textContent === label).focus(), [card, text]);
  await engine.activate();
};
// What has the focus, as a screen reader names it: its tag and its name.
const focused = (engine) => engine.evaluate(() => {
  const at = document.activeElement;
  const labelledBy = at.getAttribute('aria-labelledby');
  const name = at.getAttribute('aria-label') || (labelledBy ? document.getElementById(labelledBy) : at).textContent;
  return `${at.tagName.toLowerCase()} ${name.trim()}`;
});
// Waits until the focus is on what `pattern` names (see focused), as the page moves it when a run ends.
async function focusLands(engine, pattern) {
  let at = await focused(engine);
  for (const end = Date.now() + 30000; !pattern.test(at) && Date.now() < end; at = await focused(engine)) {
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.match(at, pattern);
}
const summaryText = (engine) => engine.evaluate(() => ({
  line: document.querySelector('.summary-line').textContent,
  failures: [...document.querySelectorAll('.summary li')].map((item) => item.textContent),
}));

/** axe-core's violations on the page as it is now, in both colour schemes: there must be none. */
async function noViolations(engine, when) {
  if (!(await engine.evaluate(() => Boolean(window.axe)))) await engine.evaluate(`${AXE}\n;null`);
  for (const scheme of ['dark', 'light']) {
    await engine.colourScheme(scheme);
    const violations = await engine.evaluate(async () => (await axe.run(document, { resultTypes: ['violations'] }))
      .violations.map(({ id, nodes }) => `${id}: ${nodes.map((node) => node.target.join(' ')).join(', ')}`));
    assert.deepEqual(violations, [], `axe, ${when}, ${scheme}`);
  }
}

const clickButton = (engine, card, text) => engine.evaluate(([n, label]) => [...document.querySelectorAll('.run')[n]
  .querySelectorAll('button')].find((button) => button.textContent === label).click(), [card, text]);
const untilResult = (engine, card, pattern) => engine.waitFor(([n, text]) =>
  new RegExp(text).test(document.querySelectorAll('.run')[n].querySelector('.result').textContent), [card, pattern], 30000);
const leaveAsks = (engine) => engine.evaluate(() => !dispatchEvent(new Event('beforeunload', { cancelable: true })));
const inWindow = (engine, selector) => engine.evaluate((what) =>
  ((box) => box.top >= 0 && box.bottom <= innerHeight)(document.querySelector(what).getBoundingClientRect()), selector);
// The SHA-256 of each file at a path in the private file system (null for no path).
const hashes = (engine, files) => engine.evaluate(async (paths) => Promise.all(paths.map(async (where) => {
  if (!where) return null;
  let folder = await navigator.storage.getDirectory();
  const parts = where.split('/');
  for (const part of parts.slice(0, -1)) folder = await folder.getDirectoryHandle(part);
  const bytes = await (await (await folder.getFileHandle(parts.at(-1))).getFile()).arrayBuffer();
  return [...new Uint8Array(await crypto.subtle.digest('SHA-256', bytes))].map((b) => b.toString(16).padStart(2, '0')).join('');
})), files);
const PHONE = [390, 844];
const DESKTOP = [1280, 800];
const controlled = (engine) => engine.waitFor(() => Boolean(navigator.serviceWorker.controller), null, 30000);

const CASES = [
  {
    name: 'the sample disc gives the native sample.cdi, its download in a phone\'s window',
    make: copySample,
    images: 1,
    same: 'build/sample.cdi',
    window: PHONE,
  },
  { name: 'without a private file system the image is a Blob', make: copySample, images: 1, blobOnly: true },
  {
    name: 'a refused sheet shows its message and no download',
    make: (folder) => fs.writeFileSync(path.join(folder, 'Bad.cue'), 'REM SESSION 01\nFILE "x.bin" WAVE\n'),
    images: 0,
    window: DESKTOP,
  },
  {
    name: 'a BIN that was not picked is not found',
    make: (folder) => copySample(folder, { leaveOut: 'Sample Disc (Track 2).bin' }),
    images: 0,
    message: 'FILE not found at "Sample Disc (Track 2).bin". Quitting...',
  },
  {
    name: 'two sheets picked together give two images, each outcome in a phone\'s window as it ends, each heard once',
    make: (folder) => {
      copySample(folder);
      fs.writeFileSync(path.join(folder, 'Audio Only.cue'), AUDIO_ONLY);
    },
    images: 2,
    window: PHONE,
    heard: (expected) => [
      ...['Audio Only', 'Sample Disc'].map((disc, i) =>
        `${disc}.cue: converted, ${(expected[i].size / 1e6).toFixed(1)}\u00a0MB, Download ${disc}.cdi`),
      '2 converted',
    ],
  },
  {
    name: 'two picks in one visit keep their order',
    make: (folder) => {
      copySample(folder);
      fs.writeFileSync(path.join(folder, 'Audio Only.cue'), AUDIO_ONLY);
    },
    picks: (names) => [names.filter((name) => name !== 'Sample Disc.cue'), names.filter((name) => name !== 'Audio Only.cue')],
    images: 2,
  },
  {
    name: 'a disc of 690 MB converts; mid-run its bar is part full and leaving asks',
    make: writeLargeDisc,
    images: 1,
    engines: ['chromium'],
    during: async (engine, expected) => {
      const [value, max] = await engine.waitFor(() => {
        const bar = document.querySelector('.run progress');
        return bar.value > 0 && [bar.value, bar.max];
      }, null, 30000);
      assert.equal(max, expected[0].size);
      assert.ok(value < max, 'the bar is full before the run ends');
      assert.ok(await leaveAsks(engine), 'leaving during a single run does not ask');
    },
  },
  {
    name: 'a zip converts as its files do, its image named after the sheet inside; one without a BIN is refused',
    make: (folder) => {
      zipSample(path.join(folder, 'Game (Japan).zip'));
      zipSample(path.join(folder, 'Lacking.zip'), { leaveOut: 'Sample Disc (Track 2).bin' });
    },
    images: 1,
    same: 'build/sample.cdi',
  },
  {
    name: 'sheets in subfolders of a chosen folder find their BINs, a zip there too',
    make: (folder) => {
      fs.mkdirSync(path.join(folder, 'A'));
      copySample(path.join(folder, 'A'));
      fs.mkdirSync(path.join(folder, 'B'));
      fs.copyFileSync(path.join(SAMPLE, 'Sample Disc (Track 1).bin'), path.join(folder, 'B/Sample Disc (Track 1).bin'));
      fs.writeFileSync(path.join(folder, 'B/Audio Only.cue'), AUDIO_ONLY);
      fs.mkdirSync(path.join(folder, 'C'));
      zipSample(path.join(folder, 'C/Zipped.zip'));
    },
    images: 3,
    folder: true,
    engines: ['chromium'], // the other drivers pick files, not folders
  },
  {
    name: 'Cancel ends the run and removes what it wrote; a waiting run never starts',
    make: (folder) => {
      writeLongDisc(folder);
      copySample(folder);
      fs.writeFileSync(path.join(folder, 'B Audio Only.cue'), AUDIO_ONLY);
    },
    images: 1,
    cancelled: 2,
    engines: PRIVATE_FILES,
    during: async (engine) => {
      await engine.waitFor(() => document.querySelector('.run progress').value > 0, null, 30000);
      assert.ok(await leaveAsks(engine), 'leaving during a run does not ask');
      assert.ok(await inWindow(engine, '.run button'), 'the running card\'s Cancel is out of the window');
      const partial = await engine.evaluate(keptFiles);
      await clickButton(engine, 1, 'Cancel');
      await pressButton(engine, 0, 'Cancel');
      assert.ok(!(await engine.evaluate(keptFiles, true)).includes(partial[0]), '"Cancelled." while its file is kept');
    },
    after: async (engine, cards) => {
      assert.equal(cards[1].log, '');
      await untilResult(engine, 0, 'What it had written is removed');
      assert.equal((await engine.evaluate(keptFiles)).length, 1);
      assert.ok(!(await leaveAsks(engine)), 'leaving asks with no run going');
      await focusLands(engine, /^button Convert again \(A Long\.cue\)$/);
      // Converted on its second try, a disc counts once, as converted.
      await pressButton(engine, 1, 'Convert again');
      await focusLands(engine, /^a Download B Audio Only\.cdi/);
      assert.deepEqual(await summaryText(engine), { line: '2 converted, 1 cancelled', failures: [] });
    },
  },
  {
    name: 'an image that cannot fit is refused before the run, both sizes named',
    make: copySample,
    images: 0,
    room: { quota: 2e6, usage: 1e6 },
    engines: PRIVATE_FILES,
    after: async (engine, cards) => assert.match(cards[0].result, /needs 3\.1\u00a0MB.* 1\.0\u00a0MB more/),
  },
  {
    name: 'an image that finds no room fails as on a full disk, and is removed',
    make: copySample,
    images: 0,
    nativeImage: '/dev/full',
    engines: PRIVATE_FILES,
    worker: (text) => text.replace('= this.access.write(', '= this.written > 1e6 ? 2 ** 32 - 8 : this.access.write('),
    after: async (engine) => assert.deepEqual(await engine.evaluate(keptFiles), []),
  },
  {
    name: 'a fault of the page mid-run is said to be one, its error folded away, and what was written is removed',
    make: copySample,
    images: 0,
    failsWith: { 'Sample Disc.cue': '' },
    worker: (text) => text.replace('function postProgress() {', "$&\n  if (run.written > 1e6) throw new TypeError('a fault');"),
    after: async (engine, cards) => {
      assert.equal(cards[0].state, 'Not converted: the page met an error of its own.');
      assert.match(cards[0].result, /What it had written is removed\..*The browser\u2019s errorTypeError: a fault/);
      assert.deepEqual(await engine.evaluate(keptFiles), []);
    },
  },
  {
    name: 'a BIN rewritten mid-run and one removed after picking: the program\'s message, nothing left; picked again, ' +
      'only they convert, and Clear keeps the summary',
    make: (folder) => {
      writeLongDisc(folder);
      copySample(folder);
      fs.writeFileSync(path.join(folder, 'Audio Only.cue'), AUDIO_ONLY);
    },
    images: 1,
    failsWith: {
      'A Long.cue': 'Error while reading track file "A Long.bin". Quitting...',
      'Sample Disc.cue': 'Error while reading track file "Sample Disc (Track 2).bin". Quitting...',
    },
    engines: PRIVATE_FILES,
    during: async (engine, expected, folder) => {
      await engine.waitFor(() => document.querySelector('.run progress').value > 0, null, 30000);
      // Firefox reads on from a file rewritten as long as it was; Chromium refuses any change.
      fs.writeFileSync(path.join(folder, 'A Long.bin'), Buffer.alloc(1000 * RAW));
      fs.rmSync(path.join(folder, 'Sample Disc (Track 2).bin'));
    },
    after: async (engine, cards, expected, folder) => {
      assert.match(cards[0].result, /What it had written is removed/);
      assert.equal((await engine.evaluate(keptFiles)).length, 1, 'a partial image is left');
      const offered = await engine.evaluate(() => [...document.querySelectorAll('.run button')].map((button) => button.textContent));
      assert.deepEqual(offered.filter((text) => /again/.test(text)), ['Pick the files again…', 'Pick the files again…']);
      fs.copyFileSync(path.join(SAMPLE, 'Sample Disc (Track 2).bin'), path.join(folder, 'Sample Disc (Track 2).bin'));
      const files = fs.readdirSync(folder).filter((name) => !name.startsWith('A Long')).map((name) => path.join(folder, name));
      if (engine.name === 'chromium') {
        const [chooser] = await Promise.all([engine.page.waitForEvent('filechooser'), pressButton(engine, 2, 'Pick the files again…')]);
        await chooser.setFiles(files);
      } else {
        await engine.pick('#files', files); // its driver cannot answer a file chooser
      }
      await engine.waitFor(() => document.querySelectorAll('.run').length === 4 &&
        /^2 converted/.test(document.querySelector('.summary-line').textContent), null, 30000);
      assert.match(await engine.evaluate(() => document.getElementById('notice').textContent),
        /^Converted already in this visit, so not converted again: Audio Only\.cue\. /);
      assert.deepEqual(await engine.imageHashes('.run:last-child a.download'), [await sha256(path.join(ROOT, 'build/sample.cdi'))]);
      const summary = { line: '2 converted, 1 not converted', failures: [`A Long.cue: ${cards[0].error}`] };
      assert.deepEqual(await summaryText(engine), summary);
      await engine.evaluate(() => document.getElementById('clear').focus());
      await engine.activate();
      assert.equal(await engine.evaluate(() => document.querySelectorAll('.run').length), 2, 'Clear took a kept image');
      assert.deepEqual(await summaryText(engine), summary, 'Clear took the summary');
      assert.equal(await focused(engine), 'section Summary');
    },
  },
  {
    name: 'axe finds nothing at first load, after a batch with a refusal and after Clear, in both colour schemes',
    make: (folder) => {
      copySample(folder);
      fs.writeFileSync(path.join(folder, 'Bad.cue'), 'REM SESSION 01\nFILE "x.bin" WAVE\n');
    },
    images: 1,
    before: (engine) => noViolations(engine, 'at first load'),
    after: async (engine) => {
      await noViolations(engine, 'after the batch');
      await engine.click('#clear');
      await noViolations(engine, 'after Clear');
    },
  },
  {
    name: 'Remove frees a kept image; Clear keeps a kept one; it converts again from the same files',
    make: copySample,
    images: 1,
    after: async (engine, cards, expected) => {
      const cardCount = () => engine.evaluate(() => document.querySelectorAll('.run').length);
      await engine.click('#clear');
      assert.equal(await cardCount(), 1, 'Clear took a card whose image is kept');
      await pressButton(engine, 0, 'Remove');
      await untilResult(engine, 0, 'Removed\\. Its room in your browser is free again');
      await focusLands(engine, /^button Convert again \(Sample Disc\.cue\)$/);
      assert.deepEqual(await engine.evaluate(keptFiles), []);
      await clickButton(engine, 0, 'Convert again');
      await untilResult(engine, 1, 'kept in your browser');
      assert.deepEqual(await engine.imageHashes('.run a.download'), [expected[0].image]);
      await engine.click('#clear');
      assert.equal(await cardCount(), 1);
    },
  },
  {
    name: 'a download read to its end frees the image',
    make: copySample,
    images: 1,
    engines: ['chromium'], // the download is what Playwright watches
    after: async (engine, cards, expected) => {
      await controlled(engine);
      const [download] = await Promise.all([engine.page.waitForEvent('download'), engine.click('.run a.download')]);
      assert.equal(await sha256(await download.path()), expected[0].image);
      await untilResult(engine, 0, 'Saved\\. Its room in your browser is free again');
      assert.deepEqual(await engine.evaluate(keptFiles), []);
    },
  },
  {
    name: 'Save as writes the chosen file and frees the image',
    make: copySample,
    images: 1,
    engines: ['chromium'], // showSaveFilePicker
    before: (engine) => engine.evaluate(() => {
      window.showSaveFilePicker = async () => (await navigator.storage.getDirectory()).getFileHandle('chosen.cdi', { create: true });
    }),
    after: async (engine, cards, expected) => {
      await clickButton(engine, 0, 'Save as…');
      await untilResult(engine, 0, 'Saved\\. Its room in your browser is free again');
      assert.deepEqual(await engine.evaluate(keptFiles), []);
      assert.deepEqual(await hashes(engine, ['chosen.cdi']), [expected[0].image]);
      await engine.evaluate(async () => (await navigator.storage.getDirectory()).removeEntry('chosen.cdi'));
    },
  },
  {
    name: 'a folder saved into a chosen folder: one name in two subfolders, a file there kept, the refused one summed up',
    make: (folder) => {
      for (const [sub, sheet] of [['Alpha', fs.readFileSync(path.join(SAMPLE, 'Sample Disc.cue'))], ['Beta', AUDIO_ONLY]]) {
        fs.mkdirSync(path.join(folder, sub));
        copySample(path.join(folder, sub), { leaveOut: 'Sample Disc.cue' });
        fs.writeFileSync(path.join(folder, sub, 'Game.cue'), sheet);
      }
      fs.writeFileSync(path.join(folder, 'Bad.cue'), 'REM SESSION 01\nFILE "x.bin" WAVE\n');
    },
    folder: true,
    images: 2,
    window: DESKTOP,
    engines: ['chromium'], // showDirectoryPicker, and folders picked
    before: async (engine) => {
      await engine.evaluate(async () => {
        const chosen = await (await navigator.storage.getDirectory()).getDirectoryHandle('chosen', { create: true });
        const there = await (await chosen.getDirectoryHandle('Alpha', { create: true })).getFileHandle('Game.cdi', { create: true });
        const writable = await there.createWritable();
        await writable.write('there before');
        await writable.close();
        window.showDirectoryPicker = async () => chosen;
      });
      await engine.click('#save-into');
    },
    saved: async (engine, cards) => {
      const results = await engine.waitFor(() => {
        const texts = [...document.querySelectorAll('.run .result')].map((result) => result.textContent);
        return texts.filter((text) => /free again/.test(text)).length === 2 && texts;
      }, null, 30000);
      results.forEach((result, i) => (cards[i].result = result));
      const where = /Saved into \u201c(.+?)\u201d as \u201c(.+?)\u201d/;
      return hashes(engine, results.map((result) => where.test(result) && result.match(where).slice(1).join('/')));
    },
    after: async (engine, cards) => {
      assert.match(cards[0].result, /Saved into “chosen\/Alpha” as “Game \(2\)\.cdi”, since a file “Game\.cdi” was there/);
      assert.match(cards[2].result, /Saved into “chosen\/Beta” as “Game\.cdi”\./);
      const before = crypto.createHash('sha256').update('there before').digest('hex');
      assert.deepEqual(await hashes(engine, ['chosen/Alpha/Game.cdi']), [before], 'a file that was there is replaced');
      assert.equal(await engine.evaluate(() => document.querySelector('.summary li').textContent),
        'Bad.cue: Error: Only BINARY file types supported. Quitting...');
      assert.deepEqual(await engine.evaluate(keptFiles), []);
      await engine.evaluate(async () => (await navigator.storage.getDirectory()).removeEntry('chosen', { recursive: true }));
    },
  },
  {
    name: 'each image downloads by itself, one at a time, freed once read through',
    make: (folder) => {
      copySample(folder);
      fs.writeFileSync(path.join(folder, 'Audio Only.cue'), AUDIO_ONLY);
    },
    images: 2,
    engines: ['firefox'], // the other engine with a service worker offers a folder instead
    before: async (engine) => {
      await controlled(engine);
      await engine.click('#download-each');
      await engine.evaluate(() => {
        window.mostDownloads = 0;
        new MutationObserver(() => {
          window.mostDownloads = Math.max(window.mostDownloads, document.querySelectorAll('iframe').length);
        }).observe(document.body, { childList: true });
      });
    },
    saved: async (engine, cards) => {
      await engine.waitFor(() => [...document.querySelectorAll('.run .result')].every((result) =>
        /Saved\. Its room in your browser is free again/.test(result.textContent)), null, 30000);
      const names = cards.map(({ heading }) => heading.replace(/\.cue$/, '.cdi'));
      return Promise.all((await engine.downloaded(names, 30000)).map(sha256));
    },
    after: async (engine) => {
      assert.equal(await engine.evaluate(() => window.mostDownloads), 1);
      assert.deepEqual(await engine.evaluate(keptFiles), []);
      for (const name of fs.readdirSync(engine.downloads)) fs.rmSync(path.join(engine.downloads, name));
    },
  },
  {
    name: 'after one visit the page opens and converts offline',
    make: copySample,
    images: 1,
    offline: true,
    engines: ['chromium'], // offline emulation
  },
  {
    name: 'a new build replaces every file of the one before',
    make: copySample,
    images: 1,
    engines: ['chromium'],
    before: async (engine) => {
      await controlled(engine);
      const next = { 'service-worker.js': (text) => text.replace(/VERSION = '([^']+)'/, "VERSION = '$1-next'"),
        'page.js': (text) => `${text}// the next build\n` };
      for (const [file, edit] of Object.entries(next)) engine.rewrite(file, edit);
      await engine.reload({ asVisitor: true });
      await engine.waitFor(() => document.querySelector('#update button'), null, 30000);
      await Promise.all([engine.page.waitForNavigation(), engine.click('#update button')]);
      await engine.reload({ asVisitor: true });
      const cached = await engine.evaluate(async () => {
        const hashes = { caches: await caches.keys() };
        const cache = await caches.open(hashes.caches[0]);
        for (const request of await cache.keys()) {
          const digest = await crypto.subtle.digest('SHA-256', await (await cache.match(request)).arrayBuffer());
          hashes[new URL(request.url).pathname] = [...new Uint8Array(digest)].map((b) => b.toString(16).padStart(2, '0')).join('');
        }
        return hashes;
      });
      assert.equal(cached.caches.length, 1);
      assert.match(cached.caches[0], /-next$/);
      for (const [file, hash] of Object.entries(cached)) {
        if (file === 'caches') continue;
        const name = path.basename(file === '/cuesmelt/' ? 'index.html' : file);
        const served = fs.readFileSync(path.join(ROOT, 'build-web/site', name));
        const edit = next[name];
        const bytes = edit ? Buffer.from(edit(served.toString('utf8'))) : served;
        assert.equal(hash, crypto.createHash('sha256').update(bytes).digest('hex'), `${file} is not the new build's`);
      }
    },
  },
];

function sha256(file) {
  return new Promise((resolve, reject) => {
    const hash = crypto.createHash('sha256');
    fs.createReadStream(file).on('data', (data) => hash.update(data)).on('end', () => resolve(hash.digest('hex')))
      .on('error', reject);
  });
}

/** Every file under `folder`, relative to it. */
function filesUnder(folder, prefix = '') {
  return fs.readdirSync(path.join(folder, prefix), { withFileTypes: true }).flatMap((entry) =>
    entry.isDirectory() ? filesUnder(folder, path.join(prefix, entry.name)) : [path.join(prefix, entry.name)]);
}

/**
 * The native program run on `sheet` in its folder, as the page runs it, on
 * a pseudo-terminal (`script`): its text is what a person sees there, the
 * two streams in the order written, lines ended with CR LF.
 */
async function nativeRun(folder, sheet, image = `${folder}.cdi`) {
  const run = spawnSync('script', ['-q', '-e', '-c', '"$CUESMELT" --cue="$SHEET" --cdi="$IMAGE"', '/dev/null'], {
    cwd: path.join(folder, path.dirname(sheet)),
    encoding: 'utf8',
    env: { ...process.env, NO_COLOR: '1', CUESMELT: NATIVE, SHEET: path.basename(sheet), IMAGE: image },
  });
  const result = { terminal: run.stdout.replace(/\r\n/g, '\n'), image: null, size: 0 };
  if (run.status === 0) Object.assign(result, { image: await sha256(image), size: fs.statSync(image).size });
  if (image === `${folder}.cdi`) fs.rmSync(image, { force: true });
  return result;
}

/**
 * Picks each of `picks` (lists of files) in the page in turn; what each
 * sheet's card shows, and the summary, once the batch is over.
 */
async function pageRuns(engine, picker, picks, sheets, during) {
  // Whether each card's outcome, and the summary, was in the window as it came, as the user then saw it;
  // and what a screen reader heard: the text added to live regions.
  await engine.evaluate(() => {
    // Scrolled into the window, a box may stand a fraction of a pixel out of it.
    const inWindow = (box) => Math.round(box.top) >= 0 && Math.round(box.bottom) <= innerHeight;
    window.outcomesInView = [];
    new MutationObserver(() => document.querySelectorAll('.run').forEach((card, i) => {
      if (i in outcomesInView || !/^(Converted|Not converted|Cancelled)/.test(card.querySelector('.state').textContent)) return;
      outcomesInView[i] = inWindow(card.querySelector('.result').getBoundingClientRect());
    })).observe(document.getElementById('results'), { childList: true, subtree: true, characterData: true });
    const summary = document.getElementById('summary');
    new MutationObserver(() => (window.summaryInView = inWindow(summary.getBoundingClientRect())))
      .observe(summary, { childList: true });
    window.heard = [];
    const live = '[aria-live], [role=status], [role=log], [role=alert]';
    new MutationObserver((changes) => changes.forEach(({ target, type, addedNodes }) => {
      const region = (target.nodeType === Node.ELEMENT_NODE ? target : target.parentElement).closest(live);
      if (!region || region.getAttribute('aria-live') === 'off') return;
      const text = type === 'characterData' ? target.data : [...addedNodes].map((node) => node.textContent).join('');
      if (text.trim()) heard.push(text.trim());
    })).observe(document.body, { childList: true, subtree: true, characterData: true });
  });
  for (const files of picks) await engine.pick(picker, files);
  if (during) await during();
  await engine.waitFor((count) => {
    const states = [...document.querySelectorAll('.run .state')].map((state) => state.textContent);
    return states.length === count && states.every((state) => /^(Converted|Not converted|Cancelled)/.test(state)) &&
      Boolean(document.querySelector('.summary-line'));
  }, sheets, 300000);
  const cards = await engine.evaluate(() => [...document.querySelectorAll('.run')].map((card, i) => ({
    heading: card.querySelector('h2').textContent,
    state: card.querySelector('.state').textContent,
    log: card.querySelector('.log').textContent,
    result: card.querySelector('.result').textContent,
    error: [...card.querySelectorAll('.log .error')].map((node) => node.textContent).join('').trim(),
    meaning: Boolean(card.querySelector('.meaning')),
    download: card.querySelector('a.download')?.download ?? null,
    progress: [card.querySelector('progress').value, card.querySelector('progress').max],
    inView: outcomesInView[i],
    summary: document.querySelector('.summary-line').textContent,
    summaryInView: window.summaryInView,
    heard: window.heard,
  })));
  return cards;
}

/** The SHA-256 of the image each card offers for download, null where none. */
async function offeredImages(engine, cards) {
  const images = await engine.imageHashes('.run a.download');
  return cards.map((card) => (card.download ? images.shift() : null));
}

const engines = (process.env.CUESMELT_WEB_ENGINES || ENGINE_NAMES.join(',')).split(',');
for (const engineName of engines) {
  describe(engineName, () => {
    let engine;
    before(async () => {
      engine = await openEngine(engineName, path.join(ROOT, 'build-web/site'));
      console.log(`${engineName} ${engine.version}`);
    });
    after(() => engine?.close());

    for (const testCase of CASES.filter((each) => !each.engines || each.engines.includes(engineName))) {
      test(`${engineName}: ${testCase.name}`, async () => {
        const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'cuesmelt-web-'));
        try {
          testCase.make(folder);
          const byPage = (a, b) => a.localeCompare(b, undefined, { numeric: true });
          const names = filesUnder(folder).sort(byPage);
          const sheets = names.filter((name) => /\.(cue|zip)$/.test(name));
          const expected = [];
          const failsWith = testCase.failsWith || {};
          for (const [i, sheet] of sheets.entries()) {
            const pageOnly = i < (testCase.cancelled || 0) || sheet in failsWith;
            expected.push(pageOnly ? null : await nativeRun(folder, sheet, testCase.nativeImage));
          }

          const withoutPrivateFiles = (text) => `delete self.FileSystemSyncAccessHandle;\n${text}`;
          engine.rewrite('worker.js', testCase.blobOnly ? withoutPrivateFiles : testCase.worker);
          // Each case starts as a first visit: no service worker, nothing kept for offline use.
          await engine.reload();
          if (testCase.offline) {
            await controlled(engine);
            await engine.page.context().setOffline(true);
            await engine.reload({ asVisitor: true });
          }
          if (testCase.room) await engine.evaluate((room) => { navigator.storage.estimate = async () => room; }, testCase.room);
          await engine.resize(...(testCase.window || DESKTOP));
          if (testCase.before) await testCase.before(engine);
          const picks = (testCase.picks || ((all) => [all]))(names).map((pick) => pick.map((name) => path.join(folder, name)));
          const picked = testCase.folder ? ['#folder', [[folder]]] : ['#files', picks];
          const during = testCase.during && (() => testCase.during(engine, expected, folder));
          const cards = await pageRuns(engine, ...picked, sheets.length, during);
          assert.deepEqual(engine.misses, [], 'the page asked for something outside its folder');

          // Images sent on as they are converted are freed meanwhile: their hashes are of what was saved.
          const images = await (testCase.saved || offeredImages)(engine, cards);
          images.forEach((image, i) => (cards[i].image = image));
          assert.equal(cards.filter((card) => card.image).length, testCase.images);
          assert.equal(cards.length, sheets.length);
          const count = (what, n) => (n ? [`${n} ${what}`] : []);
          const converted = testCase.images;
          const cancelled = testCase.cancelled || 0;
          const summary = [`${converted} converted`, ...count('not converted', sheets.length - converted - cancelled),
            ...count('cancelled', cancelled)].join(', ');
          if (!testCase.picks) assert.equal(cards.at(-1).summary, summary);
          if (testCase.window) {
            cards.forEach((card, i) => assert.ok(card.inView, `card ${i + 1} ended with its outcome out of the window`));
            assert.ok(cards[0].summaryInView, 'the summary came out of the window');
          }
          if (testCase.heard) assert.deepEqual(cards[0].heard, testCase.heard(expected));
          cards.forEach((card, i) => {
            const native = expected[i];
            assert.equal(card.heading, sheets[i], 'not the path inside the folder chosen');
            if (sheets[i] in failsWith) {
              assert.equal(card.error, failsWith[sheets[i]]);
              return assert.ok(card.meaning, `no explanation of ${card.error}`);
            }
            if (!native) return assert.equal(card.state, 'Cancelled.');
            if (testCase.room) return assert.equal(card.log, '', 'the run ran');
            assert.equal(card.log, native.terminal);
            assert.equal(card.image, native.image);
            if (native.image) {
              if (card.download) assert.equal(card.download, imageName(folder, sheets[i]));
              assert.deepEqual(card.progress, [native.size, native.size]);
            } else {
              assert.ok(card.meaning, `no explanation of ${card.error}`);
            }
            return undefined;
          });
          if (testCase.blobOnly) {
            const offered = () => [...window.offeredBlobs.values()].some((blob) => blob instanceof File);
            assert.ok(!(await engine.evaluate(offered)), 'an image came from the private file system');
          }
          if (testCase.message) assert.equal(cards[0].error, testCase.message);
          if (testCase.same) assert.equal(cards[0].image, await sha256(path.join(ROOT, testCase.same)));
          if (testCase.after) await testCase.after(engine, cards, expected, folder);
        } finally {
          if (testCase.offline) await engine.page.context().setOffline(false);
          engine.server.rewrites.clear();
          fs.rmSync(folder, { recursive: true, force: true });
        }
      });
    }
  });
}
