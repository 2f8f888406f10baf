// What becomes of a converted image. It is kept (storage.js) and offered:
// a download, streamed out of the private file system by the service
// worker where it can be, "Save as…" where the browser lets the page write
// a file the user picks, and Remove. Where the browser lets the page write
// into a folder (showDirectoryPicker), the user may choose one, and each
// image is then saved there as it is converted; or each may be downloaded
// by itself as it is converted, in every browser. Those saves and downloads
// go one at a time. Once an image is saved or removed, its room is given
// back; the card then offers to convert the sheet again.
import { KeptImage } from './storage.js';
import { browserReason, button, element, errorDetails, megabytes } from './ui.js';

/** Private file name -> the run whose image it is, until saved or removed. */
export const kept = new Map();
/** Private file name -> {run, frame, ended}: a streamed download under way. */
const downloads = new Map();
let destination = null; // the folder chosen to save into
let downloadEach = false;
let sending = Promise.resolve(); // the saves into the folder and downloads by themselves, one at a time

/**
 * The run has converted its image: it is kept, offered, and sent on if the
 * user asked. Its end is announced once: where the image went, or that it
 * is there to download.
 */
export function imageConverted(run, image) {
  run.image = new KeptImage(image);
  if (run.image.name) kept.set(run.image.name, run);
  offer(run);
  if (!sendOn(run)) run.announce(`${convertedWords(run)}, Download ${run.imageName}`);
}

const convertedWords = (run) => `converted, ${megabytes(run.image.file.size)}`;

/** Resolves once the images converted so far have been saved into the folder or downloaded, as asked. */
export const sent = () => sending;

/** Sends the image on as the user asked, if they did: true then. */
function sendOn(run) {
  const send = destination ? saveIntoFolder : downloadEach ? downloadByItself : null;
  if (!send) return false;
  sending = sending.then(() => run.image && !downloads.has(run.image.name) && send(run)).catch(() => {});
  return true;
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

/** A line under the card's offer, such as why a save failed, with the browser's error folded away. */
function say(run, text, error) {
  run.changed(() => run.result.append(element('p', 'meaning', text), ...(error ? [errorDetails(error)] : [])));
}

/** Why the browser refused `error`, as the end of a sentence. */
const because = (error) => browserReason(error) || 'the browser refused it';

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
    say(run, `The image could not be saved there: ${because(error)}. It is still kept.`, error);
    return;
  }
  await freeImage(run, 'Saved.');
}

/**
 * Saved or not wanted: the image's room is given back. Its card says so,
 * and offers to convert the sheet again, the only way left to save it again.
 * Announced as `heard`: what happened, as said after the sheet's path.
 */
export async function freeImage(run, what, heard = what.toLowerCase().replace(/\.$/, '')) {
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
    run.announce(heard);
  } catch (error) {
    say(run, `${what} Its room could not be freed: ${because(error)}; the page frees it when it is opened again.`,
      error);
    run.announce(heard);
  }
}

/**
 * A streamed download, where the service worker can give one: true when it
 * started. `ended` is called once the service worker has said how it went;
 * `heard(what)` is how its end is announced.
 */
function startStreamedDownload(run, ended = () => {}, heard = (what) => what) {
  const { image } = run;
  if (!image || !image.name || !navigator.serviceWorker || !navigator.serviceWorker.controller) return false;
  // The browser sends a navigation through the service worker, but not a
  // link's download: the stream is opened in a frame of its own.
  const frame = element('iframe', 'download-frame');
  frame.hidden = true;
  frame.src = image.streamAddress(run.imageName);
  document.body.append(frame);
  downloads.set(image.name, { run, frame, ended, heard });
  return true;
}

/**
 * The service worker streamed a private file of this page out: `whole`,
 * read through to its end. The download's `ended` is called once the card
 * says so.
 */
export async function streamEnded(name, whole) {
  const download = downloads.get(name);
  if (!download) return;
  downloads.delete(name);
  download.frame.remove();
  const { run, heard } = download;
  if (run.image && run.image.name === name) { // not removed meanwhile
    if (whole) await freeImage(run, 'Saved.', heard('downloaded'));
    else say(run, 'The download stopped before its end; the image is still kept.');
  }
  download.ended();
}

/** Downloads the image by itself; resolves when the download has ended, either way. */
function downloadByItself(run) {
  const converted = convertedWords(run);
  return new Promise((ended) => {
    if (startStreamedDownload(run, ended, (what) => `${converted}, ${what}`)) return;
    // A Blob downloads from memory, and stays kept until removed.
    run.result.querySelector('a.download').click();
    run.announce(`${converted}, downloading`);
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
  const converted = convertedWords(run);
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
    const unsaved = `could not be saved into \u201c${where}\u201d: ${because(error)}`;
    say(run, `The image ${unsaved}. It is still kept.`, error);
    run.announce(`${converted}, but ${unsaved}; it is still kept`);
    return;
  }
  const renamed = name === run.imageName ? '' : `, since a file \u201c${run.imageName}\u201d was there already`;
  const saved = `into \u201c${where}\u201d as \u201c${name}\u201d`;
  await freeImage(run, `Saved ${saved}${renamed}.`, `${converted}, saved ${saved}`);
}

/**
 * The controls that say where the images go: "Save into a folder…" where
 * the browser lets the page write into one, and in every browser a choice
 * to download each image by itself; one or the other, or neither (each
 * image is kept until saved).
 */
export function offerDestinations() {
  const choose = document.getElementById('save-into');
  const said = document.getElementById('destination');
  const stop = document.getElementById('keep-here');
  const each = document.getElementById('download-each');
  const keepHere = () => {
    destination = null;
    said.textContent = 'Each image is kept in your browser until you save it.';
    choose.textContent = 'Save into a folder…';
    stop.hidden = true;
  };
  each.addEventListener('change', () => {
    downloadEach = each.checked;
    if (!downloadEach) return;
    if (destination) keepHere();
    for (const run of kept.values()) sendOn(run);
  });
  if (!self.showDirectoryPicker) {
    document.getElementById('folder-destination').hidden = true;
    return;
  }
  choose.addEventListener('click', async () => {
    try {
      destination = { folder: await showDirectoryPicker({ id: 'cuesmelt-images', mode: 'readwrite' }) };
    } catch (error) {
      if (error.name === 'AbortError') return; // the user changed their mind
      said.replaceChildren(`That folder cannot be used: ${because(error)}. Choose another.`, errorDetails(error));
      return;
    }
    said.textContent = `Each image is saved into \u201c${destination.folder.name}\u201d as it is converted.`;
    choose.textContent = 'Save into another folder…';
    stop.hidden = false;
    each.checked = downloadEach = false;
    for (const run of kept.values()) sendOn(run); // the images converted so far go there too
  });
  stop.addEventListener('click', () => {
    keepHere();
    choose.focus(); // the button pressed is gone
  });
}
