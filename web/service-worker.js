// The page's service worker. It keeps every file of the site under a cache
// named for this build, so that after one visit the page opens and converts
// without the network; and it streams the images that the page keeps in the
// origin's private file system out as downloads, removing each one once its
// download has been read through to the end.
//
// make_service_worker.js fills in VERSION (the project's version and a hash
// of the site's files) and SITE_FILES at build time. A build whose files
// differ is a new service worker: it fetches its files into a cache of its
// own while the older one still serves the pages open, takes over when no
// page of the older version is left (or when a page asks it to), and then
// deletes the older caches. The files of two builds never mix.
'use strict';

const VERSION = '@VERSION@';
const CACHE = `cuesmelt-${VERSION}`;
const SITE_FILES = ['@SITE_FILES@'];
// download/<page's folder>/<file>/<name to save as>, in this worker's scope.
const DOWNLOADS = new URL('download/', self.registration.scope).pathname;

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    // From the server itself: the browser's HTTP cache may still hold files
    // of the build before.
    await cache.addAll(SITE_FILES.map((file) => new Request(file, { cache: 'reload' })));
  })());
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if (name.startsWith('cuesmelt-') && name !== CACHE) await caches.delete(name);
    }
    await self.clients.claim();
  })());
});

self.addEventListener('message', ({ data }) => {
  if (data && data.type === 'take over') self.skipWaiting();
});

self.addEventListener('fetch', (event) => {
  const url = new URL(event.request.url);
  if (event.request.method !== 'GET' || url.origin !== self.location.origin) return;
  if (url.pathname.startsWith(DOWNLOADS)) event.respondWith(streamImage(event, url.pathname));
  else event.respondWith(fromCache(event.request));
});

async function fromCache(request) {
  const cache = await caches.open(CACHE);
  return (await cache.match(request, { ignoreSearch: true })) || fetch(request);
}

/** A Content-Disposition that names the file in any script (RFC 6266). */
function attachment(name) {
  const plain = name.replace(/[^\x20-\x7e]|["\\%]/g, '_');
  const encoded = encodeURIComponent(name).replace(/['()*]/g, (c) => `%${c.charCodeAt(0).toString(16).toUpperCase()}`);
  return `attachment; filename="${plain}"; filename*=UTF-8''${encoded}`;
}

/** Tells the pages what became of a streamed image: 'saved' or 'not saved'. */
async function tell(type, folderName, fileName) {
  for (const page of await self.clients.matchAll({ type: 'window', includeUncontrolled: true })) {
    page.postMessage({ type, folder: folderName, name: fileName });
  }
}

/** Removes an image that was read through, and tells the pages. */
async function forget(folder, folderName, fileName) {
  await folder.removeEntry(fileName).catch(() => {}); // then the page removes it
  await tell('saved', folderName, fileName);
}

/**
 * The image's private file as a download. The stream hands over a piece only
 * when the browser asks for one (no queue), so once it asks past the end,
 * every byte has been taken: the file is removed then, and the pages are
 * told, which say that the image was saved. A download that failed or was
 * cancelled leaves the image kept, and the pages are told that too.
 */
async function streamImage(event, path) {
  const [folderName, fileName, saveAs] = path.slice(DOWNLOADS.length).split('/').map(decodeURIComponent);
  let folder;
  let file;
  try {
    folder = await (await navigator.storage.getDirectory()).getDirectoryHandle(folderName);
    file = await (await folder.getFileHandle(fileName)).getFile();
  } catch {
    return new Response('This image is no longer kept: convert its sheet again.\n', {
      status: 404,
      headers: { 'Content-Type': 'text/plain; charset=utf-8' },
    });
  }
  let streamed;
  event.waitUntil(new Promise((resolve) => { streamed = resolve; }));
  const reader = file.stream().getReader();
  const body = new ReadableStream({
    async pull(controller) {
      let piece;
      try {
        piece = await reader.read();
      } catch (error) {
        tell('not saved', folderName, fileName).finally(streamed);
        throw error;
      }
      if (!piece.done) {
        controller.enqueue(piece.value);
        return;
      }
      controller.close();
      await forget(folder, folderName, fileName).finally(streamed);
    },
    cancel(reason) {
      tell('not saved', folderName, fileName).finally(streamed);
      return reader.cancel(reason);
    },
  }, { highWaterMark: 0 });
  return new Response(body, {
    headers: {
      'Content-Type': 'application/octet-stream',
      'Content-Length': String(file.size),
      'Content-Disposition': attachment(saveAs),
    },
  });
}
