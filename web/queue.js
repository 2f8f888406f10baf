// The queue: every sheet picked waits here, in the order picked, each on a
// card below those picked before, and the converter in its worker
// (worker.js) runs one at a time, with the files picked beside it. The
// worker answers each request in order; see its header for what it says.
// When the queue has run dry, the batch is summed up (summary.js).
import { Run } from './run-card.js';
import { folderName, removePrivateFile, roomLeft } from './storage.js';
import { summarise } from './summary.js';

const results = document.getElementById('results');
const waiting = [];
let current = null;
let converter = null; // {worker, mounted: Set of batch ids}
let batchCount = 0;
let imageCount = 0;
let ready = false; // this page's folder is held
let mayStart = () => true;
let cancelling = 0; // runs whose converter is stopping and whose partial image goes
let batchRuns = []; // the runs queued since the last summary
const runOf = new WeakMap(); // card -> its run

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

/**
 * The next run starts, its card brought into the window if the user follows
 * the runs (the card before it is in view). With none left, the batch is
 * over.
 */
function nextRun() {
  if (ready && !current && waiting.length > 0) {
    current = waiting.shift();
    const previous = current.card.previousElementSibling;
    current.start(current.follow || Boolean(previous && runOf.get(previous).inView()));
    ask({ type: 'size' });
  } else if (!busy() && cancelling === 0 && batchRuns.length > 0) {
    summarise(batchRuns);
    batchRuns = [];
  }
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

/**
 * A waiting run leaves the queue. The running one stops writing at once:
 * its converter is ended. It is "Cancelling…" until its partial image is
 * removed (a Blob went with the worker; a private file is let go of a moment
 * later), and only then "Cancelled". The next run starts meanwhile.
 */
async function cancel(run) {
  if (run === current) {
    stopConverter();
    cancelling++; // before the run ends, so that the batch is not summed up while it is being removed
    endRun(() => run.cancelling());
    try {
      if (run.imageFile) await removePrivateFile(run.imageFile);
      run.cancelled(Boolean(run.imageFile));
    } catch (error) {
      run.broken(`what it had written could not be removed: ${error.message}`);
    }
    cancelling--;
    nextRun();
    return;
  }
  const at = waiting.indexOf(run);
  if (at < 0) return;
  waiting.splice(at, 1);
  run.cancelled(false);
  batchDone(run.batch);
  nextRun();
}

/** Queues the runs of `sheets` ({path, shown}) among `batch.files`, their cards below the others. */
function queue(batch, sheets) {
  const runs = sheets.map(({ path, shown }) => new Run(batch, path, shown, { cancel, again }));
  for (const run of runs) runOf.set(run.card, run);
  results.append(...runs.map((run) => run.card));
  // The user has just asked for them: the first comes into the window.
  runs[0].follow = true;
  runs[0].card.scrollIntoView({ block: 'nearest' });
  waiting.push(...runs);
  batchRuns.push(...runs);
  nextRun();
}

/**
 * Queues every sheet in `sheets` ({path, shown}: its path among `files`,
 * and as the user knows it) to be converted with the files beside it.
 */
export function queueSheets(files, sheets) {
  queue({ id: ++batchCount, files, left: sheets.length }, sheets);
}

/** The same sheet converted again from the same files, on a new card. */
function again(run) {
  run.batch.left++;
  queue(run.batch, [{ path: run.sheetPath, shown: run.shownPath }]);
}

/** Removes the cards of the runs that are over, but for those whose image is still kept unsaved. */
export function clearFinished() {
  let left = 0;
  for (const card of [...results.children]) {
    const run = runOf.get(card);
    if (!run.outcome) continue;
    if (run.image) left++;
    else card.remove();
  }
  return left;
}
