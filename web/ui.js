// What the page's parts build their markup with.

/** A size as the page shows it; the no-break space keeps it on one line. */
export const megabytes = (bytes) => `${(bytes / 1e6).toFixed(1)}\u00a0MB`;

export const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

/** True when some of `node` is in the window. */
export function inView(node) {
  const { top, bottom } = node.getBoundingClientRect();
  return bottom > 0 && top < innerHeight;
}

export function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

export function button(text, action) {
  const node = element('button', '', text);
  node.type = 'button';
  node.addEventListener('click', action);
  return node;
}

/** `text` with its `code spans`, as doc/messages.md writes them, shown as code. */
export function withCode(text) {
  const fragment = document.createDocumentFragment();
  text.split('`').forEach((part, i) => {
    if (part) fragment.append(i % 2 ? element('code', '', part) : part);
  });
  return fragment;
}

const announcements = document.getElementById('announcements');
const ANNOUNCEMENTS_KEPT = 20;

/**
 * Says `text` once to a screen reader, politely: each is a new line of a
 * visually hidden log, so that two said in a row are both heard.
 */
export function announce(text) {
  announcements.append(element('p', '', text));
  while (announcements.childElementCount > ANNOUNCEMENTS_KEPT) announcements.firstElementChild.remove();
}

// What a browser's error means, for those a user can do something about.
const BROWSER_REASONS = {
  QuotaExceededError: 'there is no room left there',
  NotAllowedError: 'the browser no longer lets the page write there',
  SecurityError: 'the browser no longer lets the page write there',
  NotFoundError: 'it was moved or removed meanwhile',
  NoModificationAllowedError: 'another program or tab holds the file',
};

/** Why the browser refused, in words; null for an error nobody expects. */
export const browserReason = (error) =>
  (error && Object.hasOwn(BROWSER_REASONS, error.name) ? BROWSER_REASONS[error.name] : null);

/** The browser's own words for `error`, folded away: for a report, not for the user to act on. */
export function errorDetails(error) {
  const details = element('details', 'error-details');
  const text = error && error.name && error.message ? `${error.name}: ${error.message}` : String(error);
  details.append(element('summary', '', 'The browser\u2019s error'), element('pre', '', text));
  return details;
}
