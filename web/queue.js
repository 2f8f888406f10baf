// The queue: every sheet picked waits here, in the order picked, each on a
// card below those picked before, and the converter in its worker
// (worker.js) runs one at a time, with the files picked beside it. The
// worker answers each request in order; see its header for what it says.
// When the queue has run dry and the images have been sent on, the visit is
// summed up (summary.js).
import { Run } from './run-card.js';
import { sent } from './saving.js';
import { folderName, removePrivateFile, roomLeft } from './storage.js';
import { count, summarise } from './summary.js';

const results = document.getElementById('results');
const waiting = [];
let current = null;
let converter = null; // {worker, mounted: Set of batch ids}
let batchCount = 0;
let imageCount = 0;
let ready = false; // this page's folder is held
let mayStart = () => true;
let removing = 0; // runs whose converter was stopped and whose partial image goes
let unsummed = false; // runs have ended since the last summary
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
      if (current) broken(current, data.error);
      else stopConverter();
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
    if (current) broken(current, event.message || 'the worker failed');
    else stopConverter();
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
    endRun(() => current.notConverted('cuesmelt was updated in another tab', `${error.message}.`));
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
  } else if (!busy() && removing === 0 && unsummed) {
    unsummed = false;
    // The images go on to a folder or a download first: the summary is the batch's last word.
    sent().then(() => !busy() && summarise());
  }
}

/** The room is checked before anything is written: an image that cannot fit is not made. */
async function sized(run, { size, sheetInArchive, privateFile }) {
  if (sheetInArchive) run.nameImageAfter(sheetInArchive);
  const room = privateFile ? await roomLeft() : Infinity;
  if (run !== current) return; // cancelled meanwhile
  if (size > room) {
    endRun(() => run.noRoom(size, room));
    return;
  }
  const image = `${++imageCount}.cdi`;
  if (privateFile) run.imageFile = image;
  run.goOn = URL.createObjectURL(new Blob());
  ask({ type: 'convert', image, size, goOn: run.goOn });
}

function endRun(end) {
  end();
  const { batch, goOn } = current;
  if (goOn) URL.revokeObjectURL(goOn); // the worker stops writing as soon as it asks
  current = null;
  unsummed = true;
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
 * The running run's converter is ended: `stopping()` says so on its card
 * until its partial image is removed (a Blob went with the worker; a
 * private file is let go of a moment later), then `stopped(partial)`. The
 * next run starts meanwhile.
 */
async function stopMidRun(run, stopping, stopped) {
  stopConverter();
  removing++; // so that the batch is not summed up while its image is being removed
  endRun(stopping); // revokes its go-on address: it stops writing within a moment
  try {
    if (run.imageFile) await removePrivateFile(run.imageFile);
    // Asked to convert, it was writing: into a private file, or a Blob that went with the worker.
    stopped(Boolean(run.goOn));
  } catch (error) {
    run.pageError(error, 'What the run had written could not be removed; the page removes it when it is opened again.');
  }
  removing--;
  nextRun();
}

/** The converter failed where it must not: the run ends with the page's own error, and nothing is left. */
function broken(run, error) {
  const said = (partial) => `The page stopped before cuesmelt ended.${partial ? ' What it had written is removed.' : ''}`;
  stopMidRun(run, () => {}, (partial) => run.pageError(error, said(partial)));
}

/** A waiting run leaves the queue; the running one stops, "Cancelling…" until what it wrote is removed. */
function cancel(run) {
  if (run === current) {
    stopMidRun(run, () => run.cancelling(), (partial) => run.cancelled(partial));
    return;
  }
  const at = waiting.indexOf(run);
  if (at < 0) return;
  waiting.splice(at, 1);
  run.cancelled(false);
  unsummed = true;
  batchDone(run.batch);
  nextRun();
}

/**
 * Queues the runs of `sheets` ({path, shown}) among `batch.files`, their
 * cards below the others; with `focus`, the first card takes the focus.
 */
function queue(batch, sheets, focus) {
  const runs = sheets.map(({ path, shown }) => new Run(batch, path, shown, { cancel, again, pickAgain }));
  for (const run of runs) runOf.set(run.card, run);
  results.append(...runs.map((run) => run.card));
  // The user has just asked for them: the first comes into the window.
  runs[0].follow = true;
  runs[0].card.scrollIntoView({ block: 'nearest' });
  if (focus) runs[0].focus();
  waiting.push(...runs);
  runs.forEach(count);
  nextRun();
}

/**
 * Queues every sheet in `sheets` ({path, shown}: its path among `files`,
 * and as the user knows it) to be converted with the files beside it;
 * `picker` is the id of the file input they came from. With `focus`, the
 * first card takes the focus.
 */
export function queueSheets(files, sheets, picker, focus = false) {
  queue({ id: ++batchCount, files, left: sheets.length, picker }, sheets, focus);
}

/** The same sheet converted again from the same files, on a new card. */
function again(run) {
  run.batch.left++;
  queue(run.batch, [{ path: run.sheetPath, shown: run.shownPath }], true);
}

/** Opens the picker the files of `run` came from: its sheet's files are picked anew. */
function pickAgain(run) {
  document.getElementById(run.batch.picker).click();
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
