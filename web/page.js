// The page: takes the picked or dropped files, hands them to the converter
// in its worker (worker.js) a batch at a time, and shows each sheet's run:
// its text as the command line prints it, a progress bar, then a download
// link for the image or what the refusal means. The page only presents; the
// outcome, every message and every byte of the image are the program's.
'use strict';

const picker = document.getElementById('files');
const dropZone = document.getElementById('drop');
const notice = document.getElementById('notice');
const results = document.getElementById('results');

const megabytes = (bytes) => `${(bytes / 1e6).toFixed(1)} MB`;

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

/** `text` with its `code spans`, as the README writes them, shown as code. */
function withCode(text) {
  const fragment = document.createDocumentFragment();
  text.split('`').forEach((part, i) => {
    if (part) fragment.append(i % 2 ? element('code', '', part) : part);
  });
  return fragment;
}

/**
 * What the README says a message means. The README quotes each message with
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

let runCount = 0;

/** One sheet's conversion as the page shows it. */
class Run {
  constructor(sheetPath) {
    this.name = sheetPath.slice(sheetPath.lastIndexOf('/') + 1);
    this.imageName = this.name.replace(/\.cue$/i, '') + '.cdi';
    this.card = element('article', 'run');
    const heading = element('h2', '', sheetPath);
    heading.id = `run-${++runCount}`;
    this.card.setAttribute('aria-labelledby', heading.id);
    this.state = element('p', 'state', 'Waiting for the sheets before it.');
    this.bar = element('progress');
    this.bar.hidden = true;
    this.bar.setAttribute('aria-label', `${this.imageName} written`);
    this.amount = element('span', 'amount');
    this.log = element('pre', 'log');
    this.log.setAttribute('role', 'log');
    this.log.setAttribute('aria-label', `cuesmelt's output for ${this.name}`);
    this.log.tabIndex = 0;
    this.result = element('div', 'result');
    const progress = element('p', 'progress');
    progress.append(this.bar, this.amount);
    this.card.append(heading, this.state, progress, this.log, this.result);
  }

  start() {
    this.card.classList.add('running');
    this.state.textContent = 'Converting…';
    this.bar.hidden = false;
  }

  text(stream, text) {
    this.log.append(stream === 'err' ? element('span', 'error', text) : text);
  }

  progress(written, size) {
    this.bar.max = size || 1;
    this.bar.value = written;
    this.amount.textContent = size ? `${megabytes(written)} of ${megabytes(size)}` : '';
  }

  done(status, image) {
    this.card.classList.remove('running');
    if (status === 0) {
      this.state.textContent = 'Converted.';
      const link = element('a', 'download', `Download ${this.imageName}`);
      link.href = URL.createObjectURL(image);
      link.download = this.imageName;
      this.result.append(link, ` (${megabytes(image.size)})`);
      return;
    }
    this.card.classList.add('refused');
    this.bar.hidden = true;
    this.amount.textContent = '';
    this.state.textContent = 'Not converted.';
    const errors = this.log.querySelectorAll('.error');
    const message = errors.length ? errors[errors.length - 1].textContent.trim() : '';
    const meaning = meaningOf(message);
    if (meaning) {
      const explanation = element('p', 'meaning', 'What it means: ');
      explanation.append(withCode(meaning), '.');
      // Here a track file is found only among the files picked with the sheet.
      if (message.startsWith('FILE not found at')) {
        explanation.append(' Pick or drop the sheet together with all its BIN files.');
      }
      this.result.append(explanation);
    }
  }

  broken(error) {
    this.done(1, null);
    this.state.textContent = `Not converted: the converter stopped (${error}).`;
  }
}

// Batches wait here while the one before is converted.
const queue = [];
let active = null; // {files, runs, next}
let worker = null;

function startWorker() {
  worker = new Worker('worker.js');
  worker.onmessage = ({ data }) => {
    if (data.type === 'spent') return; // the worker's used memory, for the collector here
    const run = active.runs[active.next];
    if (data.type === 'text') run.text(data.stream, data.text);
    else if (data.type === 'progress') run.progress(data.written, data.size);
    else if (data.type === 'done') {
      run.done(data.status, data.image);
      if (++active.next < active.runs.length) active.runs[active.next].start();
      else finishBatch();
    } else if (data.type === 'broken') breakBatch(data.error);
  };
  worker.onerror = (event) => {
    event.preventDefault();
    breakBatch(event.message || 'the worker failed');
  };
}

/** The converter is not usable any more: this batch ends, the next gets a new one. */
function breakBatch(error) {
  worker.terminate();
  worker = null;
  if (!active) return; // it failed to load: the next batch tries again
  active.runs.slice(active.next).forEach((run) => run.broken(error));
  finishBatch();
}

function finishBatch() {
  active = null;
  if (queue.length) startBatch(queue.shift());
}

function startBatch(batch) {
  active = batch;
  if (!worker) startWorker();
  batch.runs[0].start();
  worker.postMessage({ files: batch.files, sheets: batch.sheets });
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
  const runs = sheets.map((sheet) => new Run(sheet));
  results.prepend(...runs.map((run) => run.card)); // the newest batch first
  const batch = { files, sheets, runs, next: 0 };
  if (active) queue.push(batch);
  else startBatch(batch);
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

picker.addEventListener('change', () => {
  convertFiles([...picker.files].map((file) => ({ path: file.name, file })));
  picker.value = ''; // picking the same files again starts again
});

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
  if (!carriesFiles(event) || picker.disabled) return;
  event.preventDefault();
  dropZone.classList.remove('dragging');
  try {
    convertFiles(await droppedFiles(event.dataTransfer));
  } catch (error) {
    notice.textContent = `The dropped files could not be read: ${error.message}`;
  }
});

// Opened as a file rather than from a web server, the browser refuses the worker.
try {
  startWorker();
} catch (error) {
  picker.disabled = true;
  notice.textContent =
    'This page must be opened from a web server, not as a file: in its folder, run ' +
    '"python3 -m http.server --bind 127.0.0.1" and open http://127.0.0.1:8000/.';
}
