// Saving a kept image: a download, streamed out of the private file system
// by the service worker where it can, or "Save as…" where the browser lets
// the page write a file the user picks. Once saved, the image's room is
// given back.
import { element } from './ui.js';

/** Private file name -> the run whose image it is, until saved or removed. */
export const kept = new Map();

/** Writes the image of `run` straight into a file that the user picks. */
export async function saveAs(run) {
  try {
    const target = await showSaveFilePicker({
      suggestedName: run.imageName,
      types: [{ description: 'CDI disc image', accept: { 'application/octet-stream': ['.cdi'] } }],
    });
    await run.image.file.stream().pipeTo(await target.createWritable());
  } catch (error) {
    if (error.name === 'AbortError') return; // the user changed their mind
    run.result.append(element('p', 'meaning', `The image could not be saved there: ${error.message}`));
    return;
  }
  await freeImage(run, 'Saved.');
}

/** Saved or not wanted: the image's room is given back. */
export async function freeImage(run, what) {
  const { image } = run;
  if (!image) return;
  run.image = null;
  kept.delete(image.name);
  run.result.replaceChildren(element('p', 'note', `${what} Freeing its room in your browser…`));
  try {
    await image.free();
    run.result.replaceChildren(element('p', 'note', `${what} Its room in your browser is free again.`));
  } catch (error) {
    run.result.replaceChildren(element('p', 'meaning', `${what} Its room could not be freed: ${error.message}`));
  }
}

/** A streamed download, where the service worker can give one: true when it started. */
export function startStreamedDownload(run) {
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

/** The service worker read a private file of this page through to its end and removed it. */
export function streamedToTheEnd(name) {
  const run = kept.get(name);
  if (!run) return;
  if (run.downloadFrame) run.downloadFrame.remove();
  freeImage(run, 'Saved.');
}
