// The page as a user gets it: the site folder served on 127.0.0.1 at a free
// port under a sub-path, /cuesmelt/, as a project's pages are published
// (so every URL the page uses must be relative), and opened in Debian's
// chromium, headless, with a profile of its own that goes away afterwards.
// Nothing here downloads a browser.
'use strict';
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const SUB_PATH = '/cuesmelt/';
const TYPES = {
  '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.json': 'application/json', '.webmanifest': 'application/manifest+json',
  '.svg': 'image/svg+xml', '.png': 'image/png',
};

/**
 * Serves `folder` at server.url. server.rewrites maps a file's name to a
 * function of its text, for a test to change what the page loads next;
 * server.misses lists the requests outside the site, which must be none.
 * Nothing is cached, so a reload loads what is served now.
 */
async function serve(folder) {
  folder = path.resolve(folder);
  const rewrites = new Map();
  const misses = [];
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    if (`${name}/` === SUB_PATH) {
      response.writeHead(301, { Location: SUB_PATH }).end(); // as static hosts do
      return;
    }
    const relative = name.slice(SUB_PATH.length);
    const file = path.join(folder, relative.endsWith('/') || relative === '' ? `${relative}index.html` : relative);
    const inSite = name.startsWith(SUB_PATH) && file.startsWith(folder + path.sep);
    if (!inSite || !fs.statSync(file, { throwIfNoEntry: false })?.isFile()) {
      misses.push(request.url);
      response.writeHead(404).end();
      return;
    }
    const type = TYPES[path.extname(file)] || 'application/octet-stream';
    const rewrite = rewrites.get(path.basename(file));
    response.writeHead(200, { 'Content-Type': type, 'Cache-Control': 'no-store' });
    if (rewrite) response.end(rewrite(fs.readFileSync(file, 'utf8')));
    else fs.createReadStream(file).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return Object.assign(server, { url: `http://127.0.0.1:${server.address().port}${SUB_PATH}`, rewrites, misses });
}

/** Debian's chromium, headless, on a new profile folder; the context's first page. */
async function launchChromium() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'cuesmelt-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    acceptDownloads: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const page = context.pages()[0] || (await context.newPage());
  const close = async () => {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return { page, profile, close };
}

/** Opens the page of `site` in chromium (Playwright); close() ends the browser and the server. */
async function openPage(site) {
  const server = await serve(site);
  const browser = await launchChromium();
  await browser.page.goto(server.url);
  const close = async () => {
    await browser.close();
    server.close();
  };
  return { page: browser.page, profile: browser.profile, server, close };
}

module.exports = { serve, launchChromium, openPage };
