// The page: takes the picked or dropped files and has the converter in its
// worker (worker.js) run each sheet among them, one after the other, in the
// order picked. Each sheet's card shows its run: its text as a terminal
// shows the command line's, a progress bar, then the image to save or what
// the refusal means. The page only presents; the outcome, every message and
// every byte of the image are the program's.
//
// Images are kept in the origin's private file system, in a folder of this
// page's own (see worker.js), until they are saved: a download read through
// to its end, or a "Save as…" written out. Then their room is given back.
'use strict';

const filePicker = document.getElementById('files');
const folderPicker = document.getElementById('folder');
const dropZone = document.getElementById('drop');
const notice = document.getElementById('notice');
const results = document.getElementById('results');

/** A size as the page shows it; the no-break space keeps it on one line. */
const megabytes = (bytes) => `${(bytes / 1e6).toFixed(1)}\u00a0MB`;
const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function button(text, action) {
  const node = element('button', '', text);
  node.type = 'button';
  node.addEventListener('click', action);
  return node;
}

/** `text` with its `code spans`, as doc/messages.md writes them, shown as code. */
function withCode(text) {
  const fragment = document.createDocumentFragment();
  text.split('`').forEach((part, i) => {
    if (part) fragment.append(i % 2 ? element('code', '', part) : part);
  });
  return fragment;
}

/**
 * What doc/messages.md says a message means and what to do. It quotes each message with
 * placeholders ("path", N, reason) where the run names the real thing, so the
 * best entry is the one that shares the longest start and end with it.
 */
function meaningOf(message) {
  let best = null;
  let bestScore = 0;
  for (const [quoted, meaning] of cuesmeltMessages) {
    let start = 0;
    while (start < quoted.length && quoted[start] === message[start]) start++;
    let end = 0;
    while (
      end < quoted.length - start &&
      end < message.length - start &&
      quoted[quoted.length - 1 - end] === message[message.length - 1 - end]
    ) {
      end++;
    }
    const score = start + end;
    if (score > bestScore && score * 2 >= quoted.length) {
      best = meaning;
      bestScore = score;
    }
  }
  return best;
}

// This page's folder in the private file system, held by a lock of the same
// name for as long as the page lives (worker.js removes the folders of pages
// that are gone). The page's converters are named after it.
const folderName = `cuesmelt-${self.crypto && crypto.randomUUID ? crypto.randomUUID() : Date.now()}`;
const folderHeld = navigator.locks
  ? new Promise((held) => navigator.locks.request(folderName, () => (held(), new Promise(() => {}))))
  : Promise.resolve();

/** Removes `name` from this page's folder; a file a converter just let go of may stay locked a moment. */
async function removePrivateFile(name) {
  const root = await navigator.storage.getDirectory();
  const folder = await root.getDirectoryHandle(folderName);
  for (let attempt = 1; ; attempt++) {
    try {
      return await folder.removeEntry(name);
    } catch (error) {
      if (error.name === 'NotFoundError') return undefined;
      if (attempt === 50) throw error;
      await pause(100);
    }
  }
}

/** How much more the browser lets this page store, or Infinity where it does not say. */
async function roomLeft() {
  if (!navigator.storage || !navigator.storage.estimate) return Infinity;
  const { quota, usage } = await navigator.storage.estimate();
  return quota === undefined ? Infinity : Math.max(0, quota - (usage || 0));
}

/**
 * A converted image, kept until saved: in a private file where the browser
 * has them (`name` in this page's folder), else as a Blob.
 */
class KeptImage {
  constructor({ file, name }) {
    Object.assign(this, { file, name: name || null, url: URL.createObjectURL(file) });
  }

  /** Where the service worker streams the private file from, as `fileName`. */
  streamAddress(fileName) {
    return ['download', folderName, this.name, fileName].map(encodeURIComponent).join('/');
  }

  async free() {
    URL.revokeObjectURL(this.url);
    this.file = null;
    if (this.name) await removePrivateFile(this.name);
  }
}

let runCount = 0;

/** One sheet's conversion as the page shows it. */
class Run {
  constructor(batch, sheetPath) {
    Object.assign(this, { batch, sheetPath, image: null, imageFile: null });
    this.name = sheetPath.slice(sheetPath.lastIndexOf('/') + 1);
    this.imageName = this.name.replace(/\.cue$/i, '') + '.cdi';
    this.card = element('article', 'run waiting');
    const heading = element('h2', '', sheetPath);
    heading.id = `run-${++runCount}`;
    this.card.setAttribute('aria-labelledby', heading.id);
    this.state = element('p', 'state', 'Waiting for the sheets before it.');
    this.state.setAttribute('aria-live', 'polite');
    this.bar = element('progress');
    this.bar.hidden = true;
    this.bar.setAttribute('aria-label', `${this.imageName} written`);
    this.amount = element('span', 'amount');
    this.log = element('pre', 'log');
    this.log.hidden = true; // until the run prints
    this.log.setAttribute('role', 'log');
    this.log.setAttribute('aria-label', `cuesmelt's output for ${this.name}`);
    this.log.tabIndex = 0;
    this.errorText = '';
    this.result = element('div', 'result');
    this.cancelButton = button('Cancel', () => cancel(this));
    this.cancelButton.setAttribute('aria-label', `Cancel ${this.name}`);
    const progress = element('p', 'progress');
    progress.append(this.bar, this.amount);
    this.card.append(heading, this.state, progress, this.log, this.result, this.cancelButton);
  }

  setState(text, className) {
    this.card.classList.remove('waiting', 'running');
    if (className) this.card.classList.add(className);
    this.state.textContent = text;
  }

  start() {
    this.setState('Converting…', 'running');
    this.bar.hidden = false;
  }

  text(stream, text) {
    this.log.hidden = false;
    const last = this.log.lastChild;
    if (stream === 'err') {
      this.errorText += text;
      if (last && last.nodeName === 'SPAN') last.append(text);
      else this.log.append(element('span', 'error', text));
    } else if (last && last.nodeType === Node.TEXT_NODE) {
      last.appendData(text);
    } else {
      this.log.append(text);
    }
  }

  progress(written, size) {
    this.bar.max = size || 1;
    this.bar.value = written;
    this.amount.textContent = size ? `${megabytes(written)} of ${megabytes(size)}` : '';
  }

  /** The run is over, whatever its end: what is left of the card is its result. */
  end(outcome, state) {
    this.cancelButton.remove();
    this.setState(state);
    if (outcome === 'converted') return;
    this.card.classList.add(outcome);
    this.bar.hidden = true;
    this.amount.textContent = '';
  }

  done(status, image) {
    if (status !== 0) {
      this.end('refused', 'Not converted.');
      this.explain();
      return;
    }
    this.end('converted', 'Converted.');
    this.image = new KeptImage(image);
    if (this.image.name) kept.set(this.image.name, this);
    this.offer();
  }

  /** The image to download or save, and to remove. */
  offer() {
    const link = element('a', 'download', `Download ${this.imageName}`);
    link.href = this.image.url;
    link.download = this.imageName;
    link.addEventListener('click', (event) => {
      if (startStreamedDownload(this)) event.preventDefault();
    });
    const size = element('span', 'size', `(${megabytes(this.image.file.size)})`);
    const actions = element('p', 'actions');
    actions.append(link, ' ', size);
    if (self.showSaveFilePicker) actions.append(' ', button('Save as…', () => this.saveAs()));
    actions.append(' ', button('Remove', () => this.freeImage('Removed.')));
    const note = this.image.name
      ? 'The image is kept in your browser until it is saved; then its room is freed.'
      : 'The image is kept in your browser\u2019s memory until you remove it or leave the page.';
    this.result.replaceChildren(actions, element('p', 'note', note));
  }

  /** Writes the image straight into a file that the user picks. */
  async saveAs() {
    try {
      const target = await showSaveFilePicker({
        suggestedName: this.imageName,
        types: [{ description: 'CDI disc image', accept: { 'application/octet-stream': ['.cdi'] } }],
      });
      await this.image.file.stream().pipeTo(await target.createWritable());
    } catch (error) {
      if (error.name === 'AbortError') return; // the user changed their mind
      this.result.append(element('p', 'meaning', `The image could not be saved there: ${error.message}`));
      return;
    }
    await this.freeImage('Saved.');
  }

  /** Saved or not wanted: the image's room is given back. */
  async freeImage(what) {
    const { image } = this;
    if (!image) return;
    this.image = null;
    kept.delete(image.name);
    this.result.replaceChildren(element('p', 'note', `${what} Freeing its room in your browser…`));
    try {
      await image.free();
      this.result.replaceChildren(element('p', 'note', `${what} Its room in your browser is free again.`));
    } catch (error) {
      this.result.replaceChildren(element('p', 'meaning', `${what} Its room could not be freed: ${error.message}`));
    }
  }

  explain() {
    const lines = this.errorText.split('\n').filter((line) => line.trim());
    const message = lines.length ? lines[lines.length - 1].trim() : '';
    const explained = meaningOf(message);
    if (!explained) return;
    // doc/messages.md gives each message "<meaning>. What to do: <advice>".
    const [meaning, advice] = explained.split(' What to do: ');
    const paragraph = (lead, text) => {
      const node = element('p', 'meaning', lead);
      node.append(withCode(text.replace(/\.$/, '')), '.');
      return node;
    };
    const explanation = [paragraph('What it means: ', meaning)];
    if (advice) explanation.push(paragraph('What to do: ', advice));
    const last = explanation[explanation.length - 1];
    // Here a track file is found only among the files picked with the sheet.
    if (message.startsWith('FILE not found at')) {
      last.append(' Pick or drop the sheet together with all its BIN files, or choose their folder.');
    }
    if (message.endsWith('No space left on device') && kept.size > 0) {
      last.append(' Save or remove the images above to give their room back, then pick the sheet again.');
    }
    this.result.append(...explanation);
  }

  /** Said before the run: the browser cannot hold the image. */
  noRoom(size, room) {
    this.end('refused', 'Not converted.');
    this.result.append(element('p', 'meaning',
      `There is no room for the image: it needs ${megabytes(size)}, and your browser lets this page ` +
      `store ${megabytes(room)} more. Save or remove the images above, or free room on the disk, ` +
      'then pick the sheet again.'));
  }

  cancelled() {
    this.end('cancelled', 'Cancelled.');
  }

  partialRemoved() {
    this.result.append(element('p', 'note', 'What it had written is removed.'));
  }

  broken(error) {
    this.end('refused', `Not converted: the converter stopped (${error}).`);
  }
}

// The runs wait here in the order picked; one is converted at a time.
const waiting = [];
let current = null;
let converter = null; // {worker, mounted: Set of batch ids}
let batchCount = 0;
let imageCount = 0;
let ready = false; // this page's folder is held
const kept = new Map(); // private file name -> its run, until saved or removed

function startConverter() {
  if (outdated) throw new Error('cuesmelt was updated in another tab: reload this page');
  const worker = new Worker('worker.js', { name: folderName });
  converter = { worker, mounted: new Set() };
  worker.onmessage = ({ data }) => {
    if (data.type === 'spent') return; // the worker's used memory, for the collector here
    if (data.type === 'broken') {
      stopConverter();
      if (current) endRun(() => current.broken(data.error));
      return;
    }
    if (!current) return;
    if (data.type === 'text') current.text(data.stream, data.text);
    else if (data.type === 'progress') current.progress(data.written, data.size);
    else if (data.type === 'size') sized(current, data);
    else if (data.type === 'done') endRun(() => current.done(data.status, data.image));
  };
  worker.onerror = (event) => {
    event.preventDefault();
    stopConverter();
    if (current) endRun(() => current.broken(event.message || 'the worker failed'));
  };
}

function stopConverter() {
  if (converter) converter.worker.terminate();
  converter = null;
}

function ask(message) {
  try {
    if (!converter) startConverter();
  } catch (error) {
    endRun(() => current.broken(error.message));
    return;
  }
  const { batch } = current;
  if (!converter.mounted.has(batch.id)) {
    converter.worker.postMessage({ type: 'mount', batch: batch.id, files: batch.files });
    converter.mounted.add(batch.id);
  }
  converter.worker.postMessage({ ...message, batch: batch.id, sheet: current.sheetPath });
}

function nextRun() {
  if (!ready || current || waiting.length === 0) return;
  current = waiting.shift();
  current.start();
  ask({ type: 'size' });
}

/** The room is checked before anything is written: an image that cannot fit is not made. */
async function sized(run, { size, privateFile }) {
  const room = privateFile ? await roomLeft() : Infinity;
  if (run !== current) return; // cancelled meanwhile
  if (size > room) {
    endRun(() => run.noRoom(size, room));
    return;
  }
  const image = `${++imageCount}.cdi`;
  if (privateFile) run.imageFile = image;
  ask({ type: 'convert', image, size });
}

function endRun(end) {
  end();
  const { batch } = current;
  current = null;
  batchDone(batch);
  nextRun();
}

/** A batch's files are let go of once its last run has ended. */
function batchDone(batch) {
  if (--batch.left > 0) return;
  if (converter && converter.mounted.delete(batch.id)) {
    converter.worker.postMessage({ type: 'unmount', batch: batch.id });
  }
}

/** A waiting run leaves the queue; the running one ends with its converter, and its partial image goes. */
function cancel(run) {
  if (run === current) {
    stopConverter();
    endRun(() => run.cancelled());
    // A Blob went with the worker; a private file is let go of a moment later.
    if (run.imageFile) removePrivateFile(run.imageFile).then(() => run.partialRemoved(), () => {});
    return;
  }
  const at = waiting.indexOf(run);
  if (at < 0) return;
  waiting.splice(at, 1);
  run.cancelled();
  batchDone(run.batch);
}

/** A streamed download, where the service worker can give one: true when it started. */
function startStreamedDownload(run) {
  const { image } = run;
  if (!image || !image.name || !navigator.serviceWorker || !navigator.serviceWorker.controller) return false;
  // The browser sends a navigation through the service worker, but not a
  // link's download: the stream is opened in a frame of its own.
  const frame = element('iframe', 'download-frame');
  frame.hidden = true;
  frame.src = image.streamAddress(run.imageName);
  document.body.append(frame);
  run.downloadFrame = frame;
  return true;
}

/** The service worker read a private file through to its end and removed it. */
function streamedToTheEnd({ folder, name }) {
  const run = folder === folderName && kept.get(name);
  if (!run) return;
  if (run.downloadFrame) run.downloadFrame.remove();
  run.freeImage('Saved.');
}

/** Every sheet among `picked` ({path, file}) is converted with the files beside it. */
function convertFiles(picked) {
  const byPath = new Map(picked.map((entry) => [entry.path, entry]));
  const files = [...byPath.values()];
  const sheets = files
    .map(({ path }) => path)
    .filter((path) => /\.cue$/i.test(path))
    .sort((a, b) => a.localeCompare(b, undefined, { numeric: true }));
  if (sheets.length === 0) {
    notice.textContent = files.length
      ? `No CUE sheet among the ${files.length} files: pick the .cue file together with its .bin files.`
      : '';
    return;
  }
  notice.textContent = '';
  const batch = { id: ++batchCount, files, left: sheets.length };
  const runs = sheets.map((sheet) => new Run(batch, sheet));
  results.append(...runs.map((run) => run.card)); // below those picked before
  runs[0].card.scrollIntoView({ block: 'nearest', behavior: 'smooth' });
  waiting.push(...runs);
  nextRun();
}

/** The files of a drop, folders searched through, each with its path in the drop. */
async function droppedFiles(dataTransfer) {
  const entries = [...dataTransfer.items]
    .filter((item) => item.kind === 'file')
    .map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry())
    .filter(Boolean);
  if (entries.length === 0) return [...dataTransfer.files].map((file) => ({ path: file.name, file }));
  const files = [];
  const visit = async (entry, folder) => {
    if (entry.isFile) {
      const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
      files.push({ path: folder + entry.name, file });
    } else if (entry.isDirectory) {
      const reader = entry.createReader();
      for (;;) {
        // readEntries gives a folder's entries a batch at a time.
        const children = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (children.length === 0) break;
        for (const child of children) await visit(child, `${folder}${entry.name}/`);
      }
    }
  };
  for (const entry of entries) await visit(entry, '');
  return files;
}

for (const picker of [filePicker, folderPicker]) {
  picker.addEventListener('change', () => {
    // A folder's files carry their path in it, so that sheets find the BINs beside them.
    convertFiles([...picker.files].map((file) => ({ path: file.webkitRelativePath || file.name, file })));
    picker.value = ''; // picking the same files again starts again
  });
}

const carriesFiles = (event) => event.dataTransfer && event.dataTransfer.types.includes('Files');
for (const type of ['dragenter', 'dragover']) {
  document.addEventListener(type, (event) => {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    event.dataTransfer.dropEffect = 'copy';
    dropZone.classList.add('dragging');
  });
}
document.addEventListener('dragleave', (event) => {
  if (!event.relatedTarget) dropZone.classList.remove('dragging');
});
document.addEventListener('drop', async (event) => {
  if (!carriesFiles(event)) return;
  event.preventDefault();
  dropZone.classList.remove('dragging');
  if (filePicker.disabled) return;
  try {
    convertFiles(await droppedFiles(event.dataTransfer));
  } catch (error) {
    notice.textContent = `The dropped files could not be read: ${error.message}`;
  }
});

// Leaving or reloading would end the runs: the browser asks first.
addEventListener('beforeunload', (event) => {
  if (!current && waiting.length === 0) return;
  event.preventDefault();
  event.returnValue = '';
});

/**
 * The service worker (service-worker.js) keeps this version's files for use
 * offline and streams the kept images out. A newer version waits until no
 * page of this one is open, or until the user takes it: the files of two
 * versions never meet in one page. A page whose version was replaced from
 * another tab starts no converter any more, whose files would be the new
 * version's: it reloads as soon as it has nothing to lose.
 */
const updateNotice = document.getElementById('update');
let outdated = false;

function offerUpdate(newer) {
  const take = button('Use it now', () => {
    take.disabled = true;
    newer.postMessage({ type: 'take over' });
  });
  updateNotice.replaceChildren('A new version of cuesmelt is ready. ', take);
}

function versionReplaced() {
  outdated = true;
  if (!current && waiting.length === 0 && kept.size === 0) {
    location.reload();
    return;
  }
  updateNotice.textContent =
    'cuesmelt was updated: reload this page to go on, once its images are saved.';
}

async function keepOffline() {
  if (!navigator.serviceWorker) return;
  const { serviceWorker } = navigator;
  serviceWorker.addEventListener('message', ({ data }) => {
    if (data && data.type === 'saved') streamedToTheEnd(data);
  });
  // The first service worker takes over a page of its own version.
  let version = serviceWorker.controller;
  serviceWorker.addEventListener('controllerchange', () => {
    if (version) versionReplaced();
    version = serviceWorker.controller;
  });
  const registration = await serviceWorker.register('service-worker.js');
  const watch = (worker) => worker.addEventListener('statechange', () => {
    if (worker.state === 'installed' && serviceWorker.controller) offerUpdate(worker);
  });
  if (registration.waiting && serviceWorker.controller) offerUpdate(registration.waiting);
  if (registration.installing) watch(registration.installing);
  registration.addEventListener('updatefound', () => watch(registration.installing));
}

// Opened as a file rather than from a web server, the browser refuses the
// worker and the service worker.
folderHeld.then(() => {
  try {
    if (!converter) startConverter();
  } catch (error) {
    filePicker.disabled = folderPicker.disabled = true;
    notice.textContent =
      'This page must be opened from a web server, not as a file: in its folder, run ' +
      '"python3 -m http.server --bind 127.0.0.1" and open http://127.0.0.1:8000/.';
    return;
  }
  ready = true;
  nextRun();
  keepOffline().catch(() => {}); // without it the page works as long as it is online
});
