// The web page in Debian's headless chromium, driven as a user would drive
// it: each case picks a folder's files in the page's file picker, and what
// the page shows and offers must be what the native program gives for each
// sheet of that folder, run in it: the same output, the same message, and
// an image with the same SHA-256.
//
// node --test tests/web/web_test.js, from the repository root, after the web
// build (build-web/site) and the native sample disc (build/sample).
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { openPage } = require('./browser.js');

const ROOT = path.resolve(__dirname, '../..');
const NATIVE = path.join(ROOT, 'build/cuesmelt');
const SAMPLE = path.join(ROOT, 'build/sample');
const RAW = 2352;

function copySample(folder, { leaveOut } = {}) {
  for (const name of fs.readdirSync(SAMPLE)) {
    if (name !== leaveOut) fs.copyFileSync(path.join(SAMPLE, name), path.join(folder, name));
  }
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

const CASES = [
  { name: 'the sample disc gives the native sample.cdi', make: copySample, images: 1, same: 'build/sample.cdi' },
  { name: 'without a private file system the image is a Blob', make: copySample, images: 1, blobOnly: true },
  {
    name: 'a refused sheet shows its message and no download',
    make: (folder) => fs.writeFileSync(path.join(folder, 'Bad.cue'), 'REM SESSION 01\nFILE "x.bin" WAVE\n'),
    images: 0,
  },
  {
    name: 'a BIN that was not picked is not found',
    make: (folder) => copySample(folder, { leaveOut: 'Sample Disc (Track 2).bin' }),
    images: 0,
    message: 'FILE not found at "Sample Disc (Track 2).bin". Quitting...',
  },
  {
    name: 'two sheets picked together give two images',
    make: (folder) => {
      copySample(folder);
      fs.writeFileSync(path.join(folder, 'Audio Only.cue'),
        'REM SESSION 01\nFILE "Sample Disc (Track 1).bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n');
    },
    images: 2,
  },
  { name: 'a disc of 690 MB converts', make: writeLargeDisc, images: 1 },
];

function sha256(file) {
  return new Promise((resolve, reject) => {
    const hash = crypto.createHash('sha256');
    fs.createReadStream(file).on('data', (data) => hash.update(data)).on('end', () => resolve(hash.digest('hex')))
      .on('error', reject);
  });
}

/** The native program run on `sheet` in its folder, as the page runs it. */
async function nativeRun(folder, sheet) {
  const image = `${folder}.cdi`;
  const run = spawnSync(NATIVE, [`--cue=${sheet}`, `--cdi=${image}`], { cwd: folder, encoding: 'utf8' });
  const result = { output: run.stdout, error: run.stderr.trim(), image: null, size: 0 };
  if (run.status === 0) Object.assign(result, { image: await sha256(image), size: fs.statSync(image).size });
  fs.rmSync(image, { force: true });
  return result;
}

/** Picks `files` in the page; what each sheet's card shows, its image downloaded and hashed. */
async function pageRuns(page, files) {
  await page.setInputFiles('#files', files);
  const sheets = files.filter((file) => file.endsWith('.cue')).length;
  await page.waitForFunction((count) => {
    const states = [...document.querySelectorAll('.run .state')].map((state) => state.textContent);
    return states.length === count && states.every((state) => /^(Converted|Not converted)/.test(state));
  }, sheets, { timeout: 300000 });
  const cards = await page.$$eval('.run', (all) => all.map((card) => ({
    output: [...card.querySelector('.log').childNodes].filter((node) => node.nodeType === Node.TEXT_NODE)
      .map((node) => node.textContent).join(''),
    error: [...card.querySelectorAll('.log .error')].map((node) => node.textContent).join('').trim(),
    meaning: Boolean(card.querySelector('.meaning')),
    download: card.querySelector('a.download')?.download ?? null,
    progress: [card.querySelector('progress').value, card.querySelector('progress').max],
  })));
  for (const [i, card] of cards.entries()) {
    if (!card.download) continue;
    const link = page.locator('.run').nth(i).locator('a.download');
    const [download] = await Promise.all([page.waitForEvent('download'), link.click()]);
    card.image = await sha256(await download.path());
    await download.delete();
  }
  return cards;
}

let browser;
before(async () => {
  browser = await openPage(path.join(ROOT, 'build-web/site'));
});
after(() => browser.close());

for (const testCase of CASES) {
  test(testCase.name, async () => {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'cuesmelt-web-'));
    try {
      testCase.make(folder);
      const names = fs.readdirSync(folder).sort((a, b) => a.localeCompare(b, undefined, { numeric: true }));
      const sheets = names.filter((name) => name.endsWith('.cue'));
      const expected = [];
      for (const sheet of sheets) expected.push(await nativeRun(folder, sheet));

      const { page } = browser;
      await page.unroute('**/worker.js');
      if (testCase.blobOnly) {
        await page.route('**/worker.js', async (route) => {
          const response = await route.fetch();
          const body = `delete self.FileSystemSyncAccessHandle;\n${await response.text()}`;
          await route.fulfill({ response, body });
        });
      }
      await page.reload();
      const cards = await pageRuns(page, names.map((name) => path.join(folder, name)));

      assert.equal(cards.filter((card) => card.download).length, testCase.images);
      assert.equal(cards.length, sheets.length);
      cards.forEach((card, i) => {
        const native = expected[i];
        assert.equal(card.output, native.output);
        assert.equal(card.error, native.error);
        assert.equal(card.image ?? null, native.image);
        if (native.image) {
          assert.equal(card.download, sheets[i].replace(/\.cue$/, '.cdi'));
          assert.deepEqual(card.progress, [native.size, native.size]);
        } else {
          assert.ok(card.meaning, `no explanation of ${card.error}`);
        }
      });
      if (testCase.message) assert.equal(cards[0].error, testCase.message);
      if (testCase.same) assert.equal(cards[0].image, await sha256(path.join(ROOT, testCase.same)));
    } finally {
      fs.rmSync(folder, { recursive: true, force: true });
    }
  });
}
