// The service worker (service-worker.js) keeps this version's files for use
// offline and streams the kept images out. A newer version waits until no
// page of this one is open, or until the user takes it: the files of two
// versions never meet in one page. A page whose version was replaced from
// another tab starts no converter any more, whose files would be the new
// version's: it reloads as soon as it has nothing to lose.
import { streamEnded } from './saving.js';
import { folderName } from './storage.js';
import { button } from './ui.js';

const updateNotice = document.getElementById('update');
let outdated = false;

/** False once a newer version took over from another tab. */
export const upToDate = () => !outdated;

function offerUpdate(newer) {
  const take = button('Use it now', () => {
    take.disabled = true;
    newer.postMessage({ type: 'take over' });
  });
  updateNotice.replaceChildren('A new version of cuesmelt is ready. ', take);
}

function versionReplaced(nothingToLose) {
  outdated = true;
  if (nothingToLose()) {
    location.reload();
    return;
  }
  updateNotice.textContent =
    'cuesmelt was updated: reload this page to go on, once its images are saved.';
}

/** Registers the service worker; `nothingToLose()` says whether a reload would cost the user nothing. */
export async function keepOffline(nothingToLose) {
  if (!navigator.serviceWorker) return;
  const { serviceWorker } = navigator;
  serviceWorker.addEventListener('message', ({ data }) => {
    if (data && data.folder === folderName && /^(not )?saved$/.test(data.type)) streamEnded(data.name, data.type === 'saved');
  });
  // The first service worker takes over a page of its own version.
  let version = serviceWorker.controller;
  serviceWorker.addEventListener('controllerchange', () => {
    if (version) versionReplaced(nothingToLose);
    version = serviceWorker.controller;
  });
  const registration = await serviceWorker.register('service-worker.js');
  const watch = (worker) => worker.addEventListener('statechange', () => {
    if (worker.state === 'installed' && serviceWorker.controller) offerUpdate(worker);
  });
  if (registration.waiting && serviceWorker.controller) offerUpdate(registration.waiting);
  if (registration.installing) watch(registration.installing);
  registration.addEventListener('updatefound', () => watch(registration.installing));
}
