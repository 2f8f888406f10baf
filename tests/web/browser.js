// The page as a user gets it: the site folder served on 127.0.0.1 at a free
// port, opened in Debian's chromium, headless, with a profile of its own
// that goes away afterwards. Nothing here downloads a browser.
'use strict';
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };

function serve(folder) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(folder, name.endsWith('/') ? `${name}index.html` : name);
    if (!file.startsWith(folder + path.sep) || !fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

/** Opens the page of `site`; close() ends the browser and the server. */
async function openPage(site) {
  const server = await serve(path.resolve(site));
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'cuesmelt-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    acceptDownloads: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const page = context.pages()[0] || (await context.newPage());
  await page.goto(`http://127.0.0.1:${server.address().port}/`);
  const close = async () => {
    await context.close();
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return { page, profile, close };
}

module.exports = { openPage };
