// What a message of the program means and what to do about it, as
// doc/messages.md says (messages.js is made from it when the page is built).
import messages from './messages.js';
import { element, withCode } from './ui.js';

/**
 * doc/messages.md quotes each message with placeholders ("path", N, reason)
 * where the run names the real thing, so the best entry is the one that
 * shares the longest start and end with the message.
 */
function meaningOf(message) {
  let best = null;
  let bestScore = 0;
  for (const [quoted, meaning] of messages) {
    let start = 0;
    while (start < quoted.length && quoted[start] === message[start]) start++;
    let end = 0;
    while (
      end < quoted.length - start &&
      end < message.length - start &&
      quoted[quoted.length - 1 - end] === message[message.length - 1 - end]
    ) {
      end++;
    }
    const score = start + end;
    if (score > bestScore && score * 2 >= quoted.length) {
      best = meaning;
      bestScore = score;
    }
  }
  return best;
}

// doc/messages.md gives each message "<meaning>. What to do: <advice>".
const partsOf = (message) => (meaningOf(message) || '').split(' What to do: ');

/** The first sentence of what to do about `message`, as plain text; '' for none. */
export function adviceOf(message) {
  const [, advice] = partsOf(message);
  return advice ? advice.replaceAll('`', '').split(/(?<=[.;]) /)[0].replace(/[.;]?$/, '.') : '';
}

/**
 * True when what to do is to pick the files again: in the page, a message
 * about the picked files themselves, which converting the same files again
 * cannot mend.
 */
export const asksToPickAgain = (message) => /^Pick\b/.test(partsOf(message)[1] || '');

/** The paragraphs "What it means: …" and "What to do: …" for `message`, or none. */
export function explanation(message) {
  const [meaning, advice] = partsOf(message);
  if (!meaning) return [];
  const paragraph = (lead, text) => {
    const node = element('p', 'meaning', lead);
    node.append(withCode(text.replace(/\.$/, '')), '.');
    return node;
  };
  const paragraphs = [paragraph('What it means: ', meaning)];
  if (advice) paragraphs.push(paragraph('What to do: ', advice));
  return paragraphs;
}
