// What the page's parts build their markup with.

/** A size as the page shows it; the no-break space keeps it on one line. */
export const megabytes = (bytes) => `${(bytes / 1e6).toFixed(1)}\u00a0MB`;

export const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

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
