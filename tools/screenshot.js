// screenshot.js: makes doc/screenshot.png again, the README's picture of the
// web page that has just converted the sample disc, in Debian's chromium,
// headless, the way the browser tests drive it. From the repository root:
//
//   cmake --preset default && cmake --build --preset sample   # build/sample
//   cmake --preset web && cmake --build --preset web          # build-web/site
//   npm ci --prefix tests/web
//   node tools/screenshot.js
//
// The picture is 1000 pixels wide, the page as long as it is. optipng (the
// Debian package of that name), when installed, makes the file smaller.
'use strict';
const fs = require('fs');
const path = require('path');
const { spawnSync } = require('child_process');
const { openPage } = require('../tests/web/browser.js');

const ROOT = path.resolve(__dirname, '..');
const SITE = path.join(ROOT, 'build-web/site');
const SAMPLE = path.join(ROOT, 'build/sample');
const PICTURE = path.join(ROOT, 'doc/screenshot.png');

async function main() {
  for (const needed of [SITE, SAMPLE]) {
    if (!fs.existsSync(needed)) throw new Error(`${needed} is missing: build it first (see the header)`);
  }
  const browser = await openPage(SITE);
  try {
    const { page } = browser;
    await page.setViewportSize({ width: 1000, height: 600 });
    const files = fs.readdirSync(SAMPLE).sort().map((name) => path.join(SAMPLE, name));
    await page.setInputFiles('#files', files);
    await page.waitForFunction(
      () => document.querySelector('.run .state')?.textContent.startsWith('Converted'),
      null,
      { timeout: 60000 },
    );
    await page.screenshot({ path: PICTURE, fullPage: true });
  } finally {
    await browser.close();
  }
  const optimised = spawnSync('optipng', ['-quiet', '-o5', '-strip', 'all', PICTURE], { stdio: 'inherit' });
  if (optimised.error) console.log('optipng is not installed: the picture is not optimised');
  console.log(`${path.relative(ROOT, PICTURE)}: ${fs.statSync(PICTURE).size} bytes`);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
