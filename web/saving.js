// What becomes of a converted image. It is kept (storage.js) and offered:
// a download, streamed out of the private file system by the service
// worker where it can be, "Save as…" where the browser lets the page write
// a file the user picks, and Remove. Where the browser lets the page write
// into a folder (showDirectoryPicker), the user may choose one, and each
// image is then saved there as it is converted; elsewhere each may be
// downloaded by itself as it is converted. Those saves and downloads go one
// at a time. Once an image is saved or removed, its room is given back; the
// card then offers to convert the sheet again.
import { KeptImage } from './storage.js';
import { button, element, megabytes } from './ui.js';

/** Private file name -> the run whose image it is, until saved or removed. */
export const kept = new Map();
/** Private file name -> {run, frame, ended}: a streamed download under way. */
const downloads = new Map();
let destination = null; // the folder chosen to save into
let downloadEach = false;
let sending = Promise.resolve(); // the saves into the folder and downloads by themselves, one at a time

/** The run has converted its image: it is kept, offered, and sent on if the user asked. */
export function imageConverted(run, image) {
  run.image = new KeptImage(image);
  if (run.image.name) kept.set(run.image.name, run);
  offer(run);
  sendOn(run);
}

function sendOn(run) {
  const send = destination ? saveIntoFolder : downloadEach ? downloadByItself : null;
  if (!send) return;
  sending = sending.then(() => run.image && !downloads.has(run.image.name) && send(run)).catch(() => {});
}

/** The image to download or save, and to remove. */
function offer(run) {
  const { image } = run;
  const link = element('a', 'download', `Download ${run.imageName} `);
  link.append(element('span', 'size', `(${megabytes(image.file.size)})`));
  link.href = image.url;
  link.download = run.imageName;
  link.addEventListener('click', (event) => {
    if (downloads.has(image.name)) event.preventDefault(); // under way already
    else if (startStreamedDownload(run)) event.preventDefault();
  });
  const actions = element('p', 'actions');
  actions.append(link);
  if (self.showSaveFilePicker) actions.append(button('Save as…', () => saveAs(run)));
  actions.append(button('Remove', () => freeImage(run, 'Removed.')));
  const note = image.name
    ? 'The image is kept in your browser until it is saved; then its room is freed.'
    : 'The image is kept in your browser\u2019s memory until you remove it or leave the page.';
  run.result.replaceChildren(actions, element('p', 'note', note));
}

/** A line under the card's offer, such as why a save failed. */
function say(run, text, className = 'meaning') {
  run.changed(() => run.result.append(element('p', className, text)));
}

/** Writes the image of `run` straight into a file that the user picks. */
async function saveAs(run) {
  try {
    const target = await showSaveFilePicker({
      suggestedName: run.imageName,
      types: [{ description: 'CDI disc image', accept: { 'application/octet-stream': ['.cdi'] } }],
    });
    await run.image.file.stream().pipeTo(await target.createWritable());
  } catch (error) {
    if (error.name === 'AbortError') return; // the user changed their mind
    say(run, `The image could not be saved there: ${error.message}`);
    return;
  }
  await freeImage(run, 'Saved.');
}

/**
 * Saved or not wanted: the image's room is given back. Its card says so,
 * and offers to convert the sheet again, the only way left to save it again.
 */
export async function freeImage(run, what) {
  const { image } = run;
  if (!image) return;
  run.image = null;
  kept.delete(image.name);
  run.changed(() => run.result.replaceChildren(element('p', 'note', `${what} Freeing its room in your browser…`)));
  try {
    await image.free();
    run.changed(() => {
      run.result.replaceChildren(element('p', 'note', `${what} Its room in your browser is free again. ` +
        'To save the image again, convert it again.'));
      run.offerAgain();
    });
  } catch (error) {
    say(run, `${what} Its room could not be freed: ${error.message}`);
  }
}

/**
 * A streamed download, where the service worker can give one: true when it
 * started. `ended` is called once the service worker has said how it went.
 */
function startStreamedDownload(run, ended = () => {}) {
  const { image } = run;
  if (!image || !image.name || !navigator.serviceWorker || !navigator.serviceWorker.controller) return false;
  // The browser sends a navigation through the service worker, but not a
  // link's download: the stream is opened in a frame of its own.
  const frame = element('iframe', 'download-frame');
  frame.hidden = true;
  frame.src = image.streamAddress(run.imageName);
  document.body.append(frame);
  downloads.set(image.name, { run, frame, ended });
  return true;
}

/** The service worker streamed a private file of this page out: `whole`, read through to its end. */
export function streamEnded(name, whole) {
  const download = downloads.get(name);
  if (!download) return;
  downloads.delete(name);
  download.frame.remove();
  download.ended();
  const { run } = download;
  if (!run.image || run.image.name !== name) return; // removed meanwhile
  if (whole) freeImage(run, 'Saved.');
  else say(run, 'The download stopped before its end; the image is still kept.');
}

/** Downloads the image by itself; resolves when the download has ended, either way. */
function downloadByItself(run) {
  return new Promise((ended) => {
    if (startStreamedDownload(run, ended)) return;
    // A Blob downloads from memory, and stays kept until removed.
    run.result.querySelector('a.download').click();
    ended();
  });
}

/** A free name for `name` in `folder`: itself, or "<stem> (2).cdi" and so on. */
async function freeName(folder, name) {
  const stem = name.replace(/\.cdi$/i, '');
  for (let n = 1; ; n++) {
    const candidate = n === 1 ? name : `${stem} (${n}).cdi`;
    try {
      await folder.getFileHandle(candidate);
    } catch (error) {
      if (error.name === 'NotFoundError') return candidate;
      if (error.name !== 'TypeMismatchError') throw error; // a folder of that name: the next
    }
  }
}

/**
 * Saves the image into the chosen folder, in the subfolders that its sheet
 * has inside the folder picked, so that sheets of one name in two folders
 * do not meet. A file already there is never replaced: the image takes the
 * next free name, and its card says so.
 */
async function saveIntoFolder(run) {
  const { folder } = destination;
  const subfolders = run.shownPath.split('/').slice(0, -1);
  const where = [folder.name, ...subfolders].join('/');
  run.changed(() => run.result.replaceChildren(element('p', 'note', `Saving into \u201c${where}\u201d…`)));
  let into = folder;
  let name = null;
  try {
    for (const subfolder of subfolders) into = await into.getDirectoryHandle(subfolder, { create: true });
    name = await freeName(into, run.imageName);
    const target = await into.getFileHandle(name, { create: true });
    await run.image.file.stream().pipeTo(await target.createWritable());
  } catch (error) {
    if (name) await into.removeEntry(name).catch(() => {});
    offer(run);
    say(run, `The image could not be saved into \u201c${where}\u201d: ${error.message}. It is still kept.`);
    return;
  }
  const renamed = name === run.imageName ? '' : `, since a file \u201c${run.imageName}\u201d was there already`;
  await freeImage(run, `Saved into \u201c${where}\u201d as \u201c${name}\u201d${renamed}.`);
}

/**
 * The controls that say where the images go: "Save into a folder…" where
 * the browser lets the page write into one, else a choice to download each
 * image by itself.
 */
export function offerDestinations() {
  const choose = document.getElementById('save-into');
  const said = document.getElementById('destination');
  const stop = document.getElementById('keep-here');
  if (self.showDirectoryPicker) {
    choose.parentElement.hidden = false;
    choose.addEventListener('click', async () => {
      try {
        destination = { folder: await showDirectoryPicker({ id: 'cuesmelt-images', mode: 'readwrite' }) };
      } catch (error) {
        if (error.name !== 'AbortError') said.textContent = `That folder cannot be used: ${error.message}`;
        return;
      }
      said.textContent = `Each image is saved into \u201c${destination.folder.name}\u201d as it is converted.`;
      choose.textContent = 'Save into another folder…';
      stop.hidden = false;
      for (const run of kept.values()) sendOn(run); // the images converted so far go there too
    });
    stop.addEventListener('click', () => {
      destination = null;
      said.textContent = 'Each image is kept in your browser until you save it.';
      choose.textContent = 'Save into a folder…';
      stop.hidden = true;
    });
    return;
  }
  const each = document.getElementById('download-each');
  each.closest('p').hidden = false;
  each.addEventListener('change', () => {
    downloadEach = each.checked;
    if (downloadEach) for (const run of kept.values()) sendOn(run);
  });
}
