// The queue: every sheet picked waits here, in the order picked, and the
// converter in its worker (worker.js) runs one at a time, with the files
// picked beside it. The worker answers each request in order; see its
// header for what it says.
import { Run } from './run-card.js';
import { folderName, removePrivateFile, roomLeft } from './storage.js';

const waiting = [];
let current = null;
let converter = null; // {worker, mounted: Set of batch ids}
let batchCount = 0;
let imageCount = 0;
let ready = false; // this page's folder is held
let mayStart = () => true;

/** True while a run goes on or waits. */
export const busy = () => Boolean(current) || waiting.length > 0;

/**
 * Starts the converter, once this page's folder is held; false where the
 * browser refuses the worker (a page opened as a file). `allowed()` is
 * asked before each new converter: a page whose files were replaced by a
 * new version must not start the new version's worker.
 */
export function startQueue(allowed) {
  mayStart = allowed;
  try {
    if (!converter) startConverter();
  } catch {
    return false;
  }
  ready = true;
  nextRun();
  return true;
}

function startConverter() {
  if (!mayStart()) throw new Error('cuesmelt was updated in another tab: reload this page');
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

/**
 * Queues every sheet among `files` ({path, file}, paths relative to one
 * folder), in name order, to be converted with the files beside it; the
 * runs, whose cards the caller shows.
 */
export function queueSheets(files, sheets) {
  const batch = { id: ++batchCount, files, left: sheets.length };
  const runs = sheets.map((sheet) => new Run(batch, sheet, cancel));
  waiting.push(...runs);
  nextRun();
  return runs;
}
