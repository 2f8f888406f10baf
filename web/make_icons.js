// make_icons.js: draws icon.svg as the 192 and 512 pixel PNG icons that the
// web app manifest names, in Debian's headless chromium. The PNGs are kept
// in the repository; run this after changing icon.svg, from the repository
// root, once `npm ci --prefix tests/web` has installed playwright-core:
//   node web/make_icons.js
'use strict';
const fs = require('fs');
const path = require('path');
const { chromium } = require(path.join(__dirname, '../tests/web/node_modules/playwright-core'));

(async () => {
  const svg = fs.readFileSync(path.join(__dirname, 'icon.svg'), 'base64');
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
  try {
    for (const size of [192, 512]) {
      const page = await browser.newPage({ viewport: { width: size, height: size } });
      await page.setContent(`<body style="margin:0"><img src="data:image/svg+xml;base64,${svg}" ` +
        `width="${size}" height="${size}" style="display:block"></body>`);
      await page.screenshot({ path: path.join(__dirname, `icon-${size}.png`), omitBackground: true });
      await page.close();
    }
  } finally {
    await browser.close();
  }
})();
