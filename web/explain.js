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

/** The paragraphs "What it means: …" and "What to do: …" for `message`, or none. */
export function explanation(message) {
  const explained = meaningOf(message);
  if (!explained) return [];
  // doc/messages.md gives each message "<meaning>. What to do: <advice>".
  const [meaning, advice] = explained.split(' What to do: ');
  const paragraph = (lead, text) => {
    const node = element('p', 'meaning', lead);
    node.append(withCode(text.replace(/\.$/, '')), '.');
    return node;
  };
  const paragraphs = [paragraph('What it means: ', meaning)];
  if (advice) paragraphs.push(paragraph('What to do: ', advice));
  return paragraphs;
}
