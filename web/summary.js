// The visit's discs summed up whenever the queue runs dry: one line, such as
// "4 converted, 1 not converted", announced, and each sheet that was not
// converted with why. A disc is its sheet's path as picked, and counts
// once: as converted if any of its runs converted, else as its last run
// ended; so Convert again, and a folder picked again, fold into the count.
// The summary stays when the finished cards are cleared, until its own
// "Clear the summary" starts the count again.
import { announce, button, element, inView } from './ui.js';

const summary = document.getElementById('summary');
const counted = []; // the runs the summary counts, in the order queued
const convertedBefore = new Set(); // the paths of the sheets converted before the summary was cleared
let note = null; // what Clear finished left, under the summary

const plural = (n, one, many) => `${n} ${n === 1 ? one : many}`;

/** Counts `run`, a new try of its disc, in the summary. */
export function count(run) {
  counted.push(run);
}

/** True when the sheet at `path`, as picked, converted earlier in this visit. */
export const wasConverted = (path) =>
  convertedBefore.has(path) || counted.some((run) => run.sheetPath === path && run.outcome === 'converted');

/** The outcome of each disc of the runs counted, by the sheet's path: the run that decides it. */
function discs() {
  const decided = new Map();
  for (const run of counted) {
    const before = decided.get(run.sheetPath);
    if (!before || before.outcome !== 'converted') decided.set(run.sheetPath, run);
  }
  return [...decided.values()];
}

/**
 * Sums up the discs counted, every run of them over; brought into the
 * window if the last card is in it (the user follows the runs).
 */
export function summarise() {
  const runs = discs();
  const number = (outcome) => runs.filter((run) => run.outcome === outcome).length;
  const parts = [`${number('converted')} converted`];
  if (number('refused') > 0) parts.push(`${number('refused')} not converted`);
  if (number('cancelled') > 0) parts.push(`${number('cancelled')} cancelled`);
  const line = element('h2', 'summary-line', parts.join(', '));
  line.id = 'summary-line';
  const shown = [line];
  const failures = runs.filter((run) => run.outcome === 'refused');
  if (failures.length > 0) {
    const list = element('ul', 'failures');
    for (const run of failures) {
      const item = element('li');
      item.append(element('strong', '', run.shownPath), `: ${run.reason}`);
      list.append(item);
    }
    shown.push(list);
  }
  const last = document.getElementById('results').lastElementChild;
  const followed = last && inView(last);
  note = null;
  summary.replaceChildren(...shown, clearButton());
  announce(line.textContent);
  if (followed) summary.scrollIntoView({ block: 'nearest' });
}

function clearButton() {
  const actions = element('p', 'actions');
  actions.append(button('Clear the summary', () => {
    for (const run of counted) if (run.outcome === 'converted') convertedBefore.add(run.sheetPath);
    counted.length = 0;
    summary.replaceChildren();
    document.getElementById('files').focus();
  }));
  return actions;
}

/**
 * The finished cards were cleared, but for `left` whose images are kept
 * unsaved: the summary stays, and says so. Focus goes to it, or to the
 * file picker when there is none.
 */
export function cleared(left) {
  note?.remove();
  note = null;
  if (left > 0) {
    note = element('p', 'note', `${plural(left, 'card stays', 'cards stay')}: ` +
      `${left === 1 ? 'its image is' : 'their images are'} kept until saved or removed.`);
    summary.append(note);
  }
  if (summary.childElementCount > 0) summary.focus();
  else document.getElementById('files').focus();
}
