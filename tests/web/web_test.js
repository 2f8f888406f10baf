// The web page in every engine CI has (engines.js: chromium, firefox and
// webkit), driven as a user would drive it: each case picks a folder's
// files in the page's file picker, and what the page shows and offers must
// be what the native program gives for each sheet of that folder, run in
// it: the same output, the same message, and an image with the same
// SHA-256. A case runs in every engine unless it names its engines.
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
  { name: 'a disc of 690 MB converts', make: writeLargeDisc, images: 1, engines: ['chromium'] },
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

/** Picks `files` in the page; what each sheet's card shows, with the SHA-256 of the image it offers. */
async function pageRuns(engine, files) {
  await engine.pick('#files', files);
  const sheets = files.filter((file) => file.endsWith('.cue')).length;
  await engine.waitFor((count) => {
    const states = [...document.querySelectorAll('.run .state')].map((state) => state.textContent);
    return states.length === count && states.every((state) => /^(Converted|Not converted)/.test(state));
  }, sheets, 300000);
  const cards = await engine.evaluate(() => [...document.querySelectorAll('.run')].map((card) => ({
    output: [...card.querySelector('.log').childNodes].filter((node) => node.nodeType === Node.TEXT_NODE)
      .map((node) => node.textContent).join(''),
    error: [...card.querySelectorAll('.log .error')].map((node) => node.textContent).join('').trim(),
    meaning: Boolean(card.querySelector('.meaning')),
    download: card.querySelector('a.download')?.download ?? null,
    progress: [card.querySelector('progress').value, card.querySelector('progress').max],
  })));
  const images = await engine.imageHashes('.run a.download');
  for (const card of cards) card.image = card.download ? images.shift() : null;
  return cards;
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
          const names = fs.readdirSync(folder).sort((a, b) => a.localeCompare(b, undefined, { numeric: true }));
          const sheets = names.filter((name) => name.endsWith('.cue'));
          const expected = [];
          for (const sheet of sheets) expected.push(await nativeRun(folder, sheet));

          const withoutPrivateFiles = (text) => `delete self.FileSystemSyncAccessHandle;\n${text}`;
          engine.rewrite('worker.js', testCase.blobOnly && withoutPrivateFiles);
          await engine.reload();
          const cards = await pageRuns(engine, names.map((name) => path.join(folder, name)));
          assert.deepEqual(engine.misses, [], 'the page asked for something outside its folder');

          assert.equal(cards.filter((card) => card.download).length, testCase.images);
          assert.equal(cards.length, sheets.length);
          cards.forEach((card, i) => {
            const native = expected[i];
            assert.equal(card.output, native.output);
            assert.equal(card.error, native.error);
            assert.equal(card.image, native.image);
            if (native.image) {
              assert.equal(card.download, sheets[i].replace(/\.cue$/, '.cdi'));
              assert.deepEqual(card.progress, [native.size, native.size]);
            } else {
              assert.ok(card.meaning, `no explanation of ${card.error}`);
            }
          });
          if (testCase.blobOnly) {
            const offered = () => [...window.offeredBlobs.values()].some((blob) => blob instanceof File);
            assert.ok(!(await engine.evaluate(offered)), 'an image came from the private file system');
          }
          if (testCase.message) assert.equal(cards[0].error, testCase.message);
          if (testCase.same) assert.equal(cards[0].image, await sha256(path.join(ROOT, testCase.same)));
        } finally {
          fs.rmSync(folder, { recursive: true, force: true });
        }
      });
    }
  });
}
