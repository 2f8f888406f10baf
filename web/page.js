// The page: takes the picked or dropped files and queues every sheet among
// them (queue.js), each on a card of its own (run-card.js), below those
// picked before. Its parts, one concern each:
//
//   queue.js        the sheets waiting, the converter's worker, Cancel
//   run-card.js     one run's card: its text, progress and outcome
//   summary.js      a batch summed up when the queue runs dry
//   explain.js      what a message means and what to do (doc/messages.md)
//   saving.js       where each image goes: downloads, a folder, "Save as…"
//   storage.js      where images are kept until saved
//   offline.js      the service worker: offline use and updates
//   ui.js           the markup helpers they share
import { keepOffline, upToDate } from './offline.js';
import { busy, clearFinished, queueSheets, startQueue } from './queue.js';
import { kept, offerDestinations } from './saving.js';
import { folderHeld } from './storage.js';
import { cleared, wasConverted } from './summary.js';
import { browserReason, button, errorDetails } from './ui.js';

const filePicker = document.getElementById('files');
const folderPicker = document.getElementById('folder');
const dropZone = document.getElementById('drop');
const notice = document.getElementById('notice');
const results = document.getElementById('results');
const clear = document.getElementById('clear');

/**
 * Every sheet among `picked` ({path, file}) is converted with the files
 * beside it; `picker` is the id of the file input that picks such files
 * again. Of several sheets, those converted earlier in this visit are left
 * out, unless the user asks for them too: picking a folder again after
 * mending it converts what had failed.
 */
function convertFiles(picked, picker) {
  const byPath = new Map(picked.map((entry) => [entry.path, entry]));
  const files = [...byPath.values()];
  const sheets = files
    .map(({ path }) => path)
    .filter((path) => /\.(cue|zip)$/i.test(path)) // a zip archive holds a disc: the run reads its sheet
    .sort((a, b) => a.localeCompare(b, undefined, { numeric: true }));
  if (sheets.length === 0) {
    notice.textContent = files.length
      ? `No CUE sheet or zip archive among the ${files.length} files: pick the .cue file together with its .bin files, or the disc's .zip.`
      : '';
    return;
  }
  notice.textContent = '';
  const shown = insideTheFolder(files.map(({ path }) => path));
  const sheetsShown = sheets.map((path) => ({ path, shown: shown(path) }));
  const done = sheets.length > 1 ? sheetsShown.filter(({ path }) => wasConverted(path)) : [];
  const left = sheetsShown.filter((sheet) => !done.includes(sheet));
  if (left.length > 0) queueSheets(files, left, picker);
  if (done.length > 0) offerConverted(files, done, picker, left.length === 0);
}

/** Says which sheets were left out as converted already, and offers to convert them too. */
function offerConverted(files, sheets, picker, focus) {
  const names = sheets.map(({ shown }) => shown).join(', ');
  const too = button(sheets.length === 1 ? 'Convert it again too' : 'Convert them again too', () => {
    notice.textContent = '';
    queueSheets(files, sheets, picker, true);
  });
  notice.replaceChildren(`Converted already in this visit, so not converted again: ${names}. `, too);
  if (focus) too.focus();
}

/**
 * A sheet's path as the user knows it: inside the folder chosen or dropped
 * (`A/Game.cue`), without that folder's own name, which every path of a
 * folder's files starts with.
 */
function insideTheFolder(paths) {
  const tops = new Set(paths.map((path) => (path.includes('/') ? path.slice(0, path.indexOf('/')) : '')));
  const [top] = tops;
  return tops.size === 1 && top ? (path) => path.slice(top.length + 1) : (path) => path;
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

function takePicked(picker) {
  // A folder's files carry their path in it, so that sheets find the BINs beside them.
  convertFiles([...picker.files].map((file) => ({ path: file.webkitRelativePath || file.name, file })), picker.id);
  picker.value = ''; // picking the same files again starts again
}

clear.addEventListener('click', () => cleared(clearFinished()));
// Clear finished is there while there are cards, from the first: files may have been picked already.
new MutationObserver(() => (clear.hidden = results.children.length === 0)).observe(results, { childList: true });

for (const picker of [filePicker, folderPicker]) {
  picker.addEventListener('change', () => takePicked(picker));
  // Files picked while the page's modules still loaded are not lost.
  if (picker.files.length > 0) takePicked(picker);
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
  const folderDropped = [...event.dataTransfer.items].some((item) => item.webkitGetAsEntry?.()?.isDirectory);
  try {
    convertFiles(await droppedFiles(event.dataTransfer), folderDropped ? 'folder' : 'files');
  } catch (error) {
    const reason = browserReason(error) || 'the browser refused them';
    notice.replaceChildren(`The dropped files could not be read: ${reason}. Drop them again, or choose them.`,
      errorDetails(error));
  }
});

offerDestinations();

// Leaving or reloading would end the runs: the browser asks first.
addEventListener('beforeunload', (event) => {
  if (!busy()) return;
  event.preventDefault();
  event.returnValue = '';
});

folderHeld.then(() => {
  if (!startQueue(upToDate)) {
    // Opened as a file rather than from a web server, the browser refuses the worker.
    filePicker.disabled = folderPicker.disabled = true;
    document.getElementById('served-only').hidden = false;
    return;
  }
  // Without the service worker the page works as long as it is online.
  keepOffline(() => !busy() && kept.size === 0).catch(() => {});
});
