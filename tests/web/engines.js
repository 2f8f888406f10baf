// The page in each browser engine that CI has, behind one interface, so
// that one table of cases runs in all of them. Each engine is Debian's own
// browser, driven the way it is best driven; nothing here downloads one:
//
//   chromium  /usr/bin/chromium, headless, through playwright-core
//   firefox   /usr/bin/firefox-esr, headless, through puppeteer-core over
//             WebDriver BiDi
//   webkit    WebKitGTK's MiniBrowser through /usr/bin/WebKitWebDriver and
//             selenium-webdriver, on an Xvfb display of its own (it has no
//             headless mode)
//
// openEngine(name, site) serves `site` (browser.js) and opens its page. The
// engine then offers:
//   reload(options)               loads the page again, from a clean state:
//                                 service workers and their caches gone,
//                                 misses emptied; with {asVisitor: true}
//                                 they stay, as when a person reloads
//   pick(selector, files)         picks files (paths) in a file input
//   click(selector)               clicks an element
//   activate()                    presses Enter on the focused element (in
//                                 firefox, whose driver's keys work no
//                                 control, clicks it)
//   colourScheme(scheme)          shows the page 'light' or 'dark' (where
//                                 the driver cannot, its rules for it apply)
//   resize(width, height)         makes the window about that size (the
//                                 page's own, where the driver can)
//   evaluate(fn, arg)             runs fn(arg) in the page; its result,
//                                 awaited; fn must return JSON-like values
//                                 (no elements), arg be JSON
//   waitFor(fn, arg, timeoutMs)   evaluates until fn(arg) is truthy; that value
//   imageHashes(selector)         the SHA-256 (hex) of the Blob behind each
//                                 link offered by the page (default
//                                 'a.download'), in document order; the
//                                 page's window.offeredBlobs maps every
//                                 object URL it made to its Blob
//   rewrite(file, edit)           from the next load on, the site's `file`
//                                 is served as edit(text); null undoes it
//   misses                        the requests outside the site, if any
//   downloads                     (firefox) the folder its downloads go to
//   downloaded(names, timeoutMs)  (firefox) waits until that folder holds
//                                 just `names`, each written whole; their paths
//   name, version, close()
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const http = require('http');
const net = require('net');
const os = require('os');
const path = require('path');
const { serve, launchChromium } = require('./browser.js');

const MINIBROWSER = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const SCRIPT_TIMEOUT_MS = 600000;
const STARTUP_MS = 60000;
const POLL_MS = 100;

/**
 * Run in the page after each load: keeps every Blob the page offers, by its
 * object URL. The images are read back from there: the page's security
 * policy lets nobody fetch a blob: URL, and no engine needs its downloads
 * handled.
 */
function keepOfferedBlobs() {
  const offered = new Map();
  const create = URL.createObjectURL;
  URL.createObjectURL = (object) => {
    const url = create.call(URL, object);
    offered.set(url, object);
    return url;
  };
  window.offeredBlobs = offered;
}

/**
 * Run in the page before each reload: a service worker would answer the
 * reload from its cache, not with what the server (and its rewrites) gives.
 * The page's own service worker is let finish installing first: in WebKitGTK
 * one whose page goes while it installs stays installing for good, and every
 * later call about it waits forever.
 */
async function forgetServiceWorkers() {
  if (navigator.serviceWorker) {
    await Promise.race([navigator.serviceWorker.ready, new Promise((resolve) => setTimeout(resolve, 10000))]);
  }
  const registrations = navigator.serviceWorker ? await navigator.serviceWorker.getRegistrations() : [];
  await Promise.all(registrations.map((registration) => registration.unregister()));
  const names = self.caches ? await caches.keys() : [];
  await Promise.all(names.map((name) => caches.delete(name)));
}

/** Run in the page: its rules for `scheme` apply, and the browser's own controls take it, as when preferred. */
function applyColourScheme(scheme) {
  const originals = (window.colourSchemeRules ??= new Map());
  for (const sheet of document.styleSheets) {
    for (const rule of sheet.cssRules) {
      const text = rule instanceof CSSMediaRule && (originals.get(rule) ?? rule.media.mediaText);
      if (!text || !text.includes('prefers-color-scheme')) continue;
      originals.set(rule, text);
      rule.media.mediaText = text.includes(scheme) ? 'all' : 'not all';
    }
  }
  document.documentElement.style.colorScheme = scheme;
}

async function hashOffered(selector) {
  const hashes = [];
  for (const link of document.querySelectorAll(selector)) {
    const blob = window.offeredBlobs.get(link.href);
    const digest = blob && new Uint8Array(await crypto.subtle.digest('SHA-256', await blob.arrayBuffer()));
    hashes.push(digest ? [...digest].map((byte) => byte.toString(16).padStart(2, '0')).join('') : null);
  }
  return hashes;
}

/** What every engine does the same way, over its driver's goto, reloadPage, evaluate and quit. */
class Engine {
  async open(site) {
    this.server = await serve(site);
    this.misses = this.server.misses;
    await this.goto(this.server.url);
    await this.evaluate(keepOfferedBlobs);
  }

  async reload({ asVisitor = false } = {}) {
    this.misses.length = 0;
    if (!asVisitor) await this.evaluate(forgetServiceWorkers);
    await this.reloadPage();
    await this.evaluate(keepOfferedBlobs);
  }

  rewrite(file, edit) {
    if (edit) this.server.rewrites.set(file, edit);
    else this.server.rewrites.delete(file);
  }

  async waitFor(predicate, arg, timeoutMs) {
    const end = Date.now() + timeoutMs;
    for (;;) {
      const value = await this.evaluate(predicate, arg);
      if (value) return value;
      if (Date.now() > end) throw new Error(`${this.name}: still false after ${timeoutMs} ms: ${predicate}`);
      await new Promise((resolve) => setTimeout(resolve, POLL_MS));
    }
  }

  colourScheme(scheme) {
    return this.evaluate(applyColourScheme, scheme);
  }

  imageHashes(selector = 'a.download') {
    return this.evaluate(hashOffered, selector);
  }

  async close() {
    try {
      await this.quit();
    } finally {
      this.server?.close();
    }
  }
}

class Chromium extends Engine {
  name = 'chromium';

  async launch() {
    this.browser = await launchChromium();
    this.page = this.browser.page;
    this.version = this.page.context().browser()?.version() ?? '';
  }

  goto(url) { return this.page.goto(url); }
  reloadPage() { return this.page.reload(); }
  pick(selector, files) { return this.page.setInputFiles(selector, files); }
  click(selector) { return this.page.click(selector); }
  activate() { return this.page.keyboard.press('Enter'); }
  colourScheme(scheme) { return this.page.emulateMedia({ colorScheme: scheme }); }
  resize(width, height) { return this.page.setViewportSize({ width, height }); }
  evaluate(fn, arg) { return this.page.evaluate(fn, arg); }
  quit() { return this.browser?.close(); }
}

class Firefox extends Engine {
  name = 'firefox';

  async launch() {
    const puppeteer = require('puppeteer-core');
    this.downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'cuesmelt-firefox-downloads-'));
    this.browser = await puppeteer.launch({
      browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true, protocolTimeout: SCRIPT_TIMEOUT_MS,
      // Watching the network (WebDriver BiDi's network events) keeps about
      // the whole of each download the service worker streams in the
      // parent process for a while, 535 MiB per 628 MB image: nothing here
      // needs it.
      networkEnabled: false,
      extraPrefsFirefox: {
        'browser.download.dir': this.downloads,
        'browser.download.folderList': 2,
        'browser.download.useDownloadDir': true,
        'browser.download.always_ask_before_handling_new_types': false,
      },
    });
    this.page = (await this.browser.pages())[0] || (await this.browser.newPage());
    this.version = await this.browser.version();
  }

  goto(url) { return this.page.goto(url); }
  reloadPage() { return this.page.reload(); }
  async pick(selector, files) { await (await this.page.$(selector)).uploadFile(...files); }
  click(selector) { return this.page.click(selector); }
  activate() { return this.page.evaluate(() => document.activeElement.click()); }
  resize(width, height) { return this.page.setViewport({ width, height }); }
  evaluate(fn, arg) { return this.page.evaluate(fn, arg); }

  // Firefox writes a download into "<name>.part" until it is whole.
  async downloaded(names, timeoutMs) {
    const wanted = [...names].sort().join('/');
    for (const end = Date.now() + timeoutMs; fs.readdirSync(this.downloads).sort().join('/') !== wanted;) {
      if (Date.now() > end) throw new Error(`the downloads folder holds ${fs.readdirSync(this.downloads)}, not ${names}`);
      await new Promise((resolve) => setTimeout(resolve, POLL_MS));
    }
    return names.map((name) => path.join(this.downloads, name));
  }

  async quit() {
    try {
      await this.browser?.close();
    } finally {
      fs.rmSync(this.downloads, { recursive: true, force: true });
    }
  }
}

/** `command` started; child.stop() ends it, and so does the end of this process. */
function start(command, args, options) {
  const child = spawn(command, args, options);
  const stop = () => child.exitCode === null && child.kill();
  process.on('exit', stop); // even when the tests are cut short
  child.ended = new Promise((resolve) => child.on('exit', resolve).on('error', resolve));
  child.stop = async () => {
    stop();
    await child.ended;
  };
  return child;
}

function freePort() {
  return new Promise((resolve) => {
    const probe = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

async function untilAnswers(url, driver) {
  for (let tries = 0; tries < 100; tries++) {
    if (driver.exitCode !== null) break;
    const answered = await new Promise((resolve) => {
      http.get(url, (response) => resolve(response.resume() && true)).on('error', () => resolve(false));
    });
    if (answered) return;
    await new Promise((resolve) => setTimeout(resolve, POLL_MS));
  }
  throw new Error(`WebKitWebDriver does not answer at ${url}`);
}

class WebKit extends Engine {
  name = 'webkit';

  async launch() {
    const { Builder } = require('selenium-webdriver');
    // Xvfb picks a free display itself and says which on file descriptor 3.
    this.xvfb = start('Xvfb', ['-displayfd', '3', '-nolisten', 'tcp', '-screen', '0', '1280x1024x24'],
      { stdio: ['ignore', 'ignore', 'inherit', 'pipe'] });
    const display = await new Promise((resolve, reject) => {
      let said = '';
      this.xvfb.stdio[3].on('data', (data) => (said += data).includes('\n') && resolve(said.trim()));
      this.xvfb.ended.then(() => reject(new Error('Xvfb ended before it gave a display')));
    });
    const port = await freePort();
    this.driver = start('/usr/bin/WebKitWebDriver', [`--port=${port}`],
      { stdio: ['ignore', 'ignore', 'inherit'], env: { ...process.env, DISPLAY: `:${display}` } });
    await untilAnswers(`http://127.0.0.1:${port}/status`, this.driver);
    const session = new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
      browserName: 'MiniBrowser',
      // These arguments replace MiniBrowser's own.
      'webkitgtk:browserOptions': { binary: MINIBROWSER, args: ['--automation'] },
    }).build();
    // A browser that cannot start (no OpenGL driver, say) leaves the driver waiting for ever.
    session.catch(() => {});
    let timer;
    const late = new Promise((resolve, reject) => {
      timer = setTimeout(() => reject(new Error(`MiniBrowser did not start in ${STARTUP_MS} ms`)), STARTUP_MS);
    });
    this.session = await Promise.race([session, late]).finally(() => clearTimeout(timer));
    await this.session.manage().setTimeouts({ script: SCRIPT_TIMEOUT_MS });
    this.version = (await this.session.getCapabilities()).get('browserVersion');
  }

  goto(url) { return this.session.get(url); }
  reloadPage() { return this.session.navigate().refresh(); }

  async pick(selector, files) {
    const { By } = require('selenium-webdriver');
    await (await this.session.findElement(By.css(selector))).sendKeys(files.join('\n'));
  }

  async click(selector) {
    const { By } = require('selenium-webdriver');
    await (await this.session.findElement(By.css(selector))).click();
  }

  activate() {
    const { Key } = require('selenium-webdriver');
    return this.session.actions().sendKeys(Key.ENTER).perform();
  }

  resize(width, height) { return this.session.manage().window().setRect({ width, height }); }
  evaluate(fn, arg) { return this.session.executeScript(fn, arg); }

  async quit() {
    try {
      await this.session?.quit();
    } finally {
      await this.driver?.stop();
      await this.xvfb?.stop();
    }
  }
}

const ENGINES = { chromium: Chromium, firefox: Firefox, webkit: WebKit };

/** The page of `site` open in engine `name`. */
async function openEngine(name, site) {
  if (!Object.hasOwn(ENGINES, name)) throw new Error(`no engine ${name}; there are ${Object.keys(ENGINES).join(', ')}`);
  const engine = new ENGINES[name]();
  try {
    await engine.launch();
    await engine.open(site);
  } catch (error) {
    await engine.close().catch(() => {});
    throw error;
  }
  return engine;
}

module.exports = { ENGINE_NAMES: Object.keys(ENGINES), openEngine };
