// A batch summed up when the queue runs dry: one line, visible and
// announced (the summary is a status region), such as "2 converted, 1 not
// converted", and each sheet that was not converted with why, in a line.
import { element } from './ui.js';

const summary = document.getElementById('summary');

const plural = (count, one, many) => `${count} ${count === 1 ? one : many}`;

/** Sums up `runs`, every one of them over. */
export function summarise(runs) {
  const count = (outcome) => runs.filter((run) => run.outcome === outcome).length;
  const parts = [`${count('converted')} converted`];
  if (count('refused') > 0) parts.push(`${count('refused')} not converted`);
  if (count('cancelled') > 0) parts.push(`${count('cancelled')} cancelled`);
  const lines = [element('p', 'summary-line', parts.join(', '))];
  const failures = runs.filter((run) => run.outcome === 'refused');
  if (failures.length > 0) {
    const list = element('ul', 'failures');
    for (const run of failures) {
      const item = element('li');
      item.append(element('strong', '', run.shownPath), `: ${run.reason}`);
      list.append(item);
    }
    lines.push(list);
  }
  const followed = runs[runs.length - 1].inView();
  summary.replaceChildren(...lines);
  if (followed) summary.scrollIntoView({ block: 'nearest' });
}

/** The finished cards were cleared, but for `left` whose images are kept unsaved. */
export function cleared(left) {
  summary.replaceChildren();
  if (left > 0) {
    summary.append(element('p', 'note', `${plural(left, 'card stays', 'cards stay')}: ` +
      `${left === 1 ? 'its image is' : 'their images are'} kept until saved or removed.`));
  }
}
