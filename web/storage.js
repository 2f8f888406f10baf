// Where the page keeps the converted images until they are saved: files in
// a folder of this page's own in the origin's private file system, where
// the browser has one (the worker writes them, see worker.js), else Blobs.
import { pause } from './ui.js';

// This page's folder, held by a lock of the same name for as long as the
// page lives (worker.js removes the folders of pages that are gone). The
// page's converters are named after it. It is also named on the window for
// whoever inspects the page, as the tests and the benches do.
export const folderName = `cuesmelt-${self.crypto && crypto.randomUUID ? crypto.randomUUID() : Date.now()}`;
self.cuesmeltFolder = folderName;
export const folderHeld = navigator.locks
  ? new Promise((held) => navigator.locks.request(folderName, () => (held(), new Promise(() => {}))))
  : Promise.resolve();

/** Removes `name` from this page's folder; a file a converter just let go of may stay locked a moment. */
export async function removePrivateFile(name) {
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
export async function roomLeft() {
  if (!navigator.storage || !navigator.storage.estimate) return Infinity;
  const { quota, usage } = await navigator.storage.estimate();
  return quota === undefined ? Infinity : Math.max(0, quota - (usage || 0));
}

/**
 * A converted image, kept until saved: in a private file where the browser
 * has them (`name` in this page's folder), else as a Blob.
 */
export class KeptImage {
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
