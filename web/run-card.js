// One sheet's run as the page shows it, on a card of its own: its text as a
// terminal shows the command line's, a progress bar, then its outcome: the
// image and where it went, or what the refusal means. The card only
// presents; the outcome, every message and every byte of the image are the
// program's.
import { adviceOf, asksToPickAgain, explanation } from './explain.js';
import { imageConverted } from './saving.js';
import { announce, button, element, errorDetails, inView, megabytes } from './ui.js';

let runCount = 0;

export class Run {
  /**
   * The sheet at `sheetPath` among the files of `batch`, headed `shownPath`
   * (its path inside the folder chosen). `actions` are what its buttons do:
   * cancel(run); again(run), which converts the same sheet again; and
   * pickAgain(run), which opens the picker its files came from.
   */
  constructor(batch, sheetPath, shownPath, actions) {
    Object.assign(this, { batch, sheetPath, shownPath, actions, image: null, imageFile: null, written: 0 });
    this.outcome = null; // then 'converted', 'refused' or 'cancelled'
    this.reason = ''; // why it was not converted, in one line
    this.name = sheetPath.slice(sheetPath.lastIndexOf('/') + 1);
    this.imageName = this.name.replace(/\.cue$/i, '') + '.cdi';
    this.card = element('article', 'run waiting');
    this.card.tabIndex = -1; // focus waits here while the card's controls change
    const heading = element('h2', '', shownPath);
    heading.id = `run-${++runCount}`;
    this.card.setAttribute('aria-labelledby', heading.id);
    // The card's end is announced once, in a line of its own (announce):
    // neither its state nor its log is live.
    this.state = element('p', 'state', 'Waiting for the sheets before it.');
    this.bar = element('progress');
    this.bar.setAttribute('aria-label', `${this.imageName} written`);
    this.amount = element('span', 'amount');
    // Cancel stands beside the bar, so that it is in view as soon as the card is.
    this.cancelButton = button('Cancel', () => actions.cancel(this));
    this.cancelButton.setAttribute('aria-label', `Cancel ${this.name}`);
    this.progressRow = element('p', 'progress');
    this.progressRow.append(this.bar, this.amount, this.cancelButton);
    this.bar.hidden = true;
    this.log = element('pre', 'log');
    this.log.hidden = true; // until the run prints
    this.log.setAttribute('role', 'log');
    this.log.setAttribute('aria-live', 'off');
    this.log.setAttribute('aria-label', `cuesmelt's output for ${this.name}`);
    this.log.tabIndex = 0;
    this.errorText = '';
    this.result = element('div', 'result');
    this.card.append(heading, this.state, this.progressRow, this.log, this.result);
  }

  /** A zip archive's image is named after the sheet inside it, once the worker has found it. */
  nameImageAfter(sheet) {
    this.imageName = sheet.replace(/\.cue$/i, '') + '.cdi';
    this.bar.setAttribute('aria-label', `${this.imageName} written`);
  }

  setState(text, className) {
    this.card.classList.remove('waiting', 'running', 'cancelling');
    if (className) this.card.classList.add(className);
    this.state.textContent = text;
  }

  /** `follow`: the user follows the runs, so the card is brought into the window. */
  start(follow) {
    this.setState('Converting…', 'running');
    this.bar.hidden = false;
    if (follow) this.card.scrollIntoView({ block: 'nearest' });
  }

  /** True when some of the card is in the window: the user follows its run. */
  inView() {
    return inView(this.card);
  }

  text(stream, text) {
    this.log.hidden = false;
    const last = this.log.lastChild;
    if (stream === 'err') {
      this.errorText += text;
      if (last && last.nodeName === 'SPAN') last.append(text);
      else this.log.append(element('span', 'error', text));
    } else if (last && last.nodeType === Node.TEXT_NODE) {
      last.appendData(text);
    } else {
      this.log.append(text);
    }
  }

  progress(written, size) {
    this.written = written;
    this.bar.max = size || 1;
    this.bar.value = written;
    this.amount.textContent = size ? `${megabytes(written)} of ${megabytes(size)}` : '';
  }

  /**
   * The run is over, whatever its end: what is left of the card is its
   * outcome, which `fill()` puts in, brought into the window unless the user
   * looks elsewhere.
   */
  end(outcome, state, reason, fill) {
    this.changed(() => {
      Object.assign(this, { outcome, reason });
      this.cancelButton.remove();
      this.setState(state, outcome);
      if (outcome !== 'converted') this.progressRow.hidden = true;
      fill();
    });
  }

  /**
   * Makes `change` to the card, then brings its outcome into the window if
   * the card was in it. Focus that was in the card stays in it: where the
   * control it was on went away, on the card's first control, the user's
   * next step (or on the card itself, until it has one).
   */
  changed(change) {
    const followed = inView(this.card);
    const focused = this.card.contains(document.activeElement);
    change();
    if (focused) this.keepFocus();
    if (followed) (this.result.lastElementChild || this.card).scrollIntoView({ block: 'nearest' });
  }

  keepFocus() {
    const at = document.activeElement;
    if (at !== this.card && this.card.contains(at) && !at.disabled) return;
    (this.result.querySelector('a[href], button:not(:disabled)') || this.card).focus();
  }

  /** Brings focus to the card, which passes it on to its outcome when it ends. */
  focus() {
    this.card.focus();
  }

  /** Says how the run ended, once, naming its sheet. */
  announce(text) {
    announce(`${this.shownPath}: ${text}`);
  }

  done(status, image) {
    if (status === 0) {
      this.end('converted', 'Converted.', '', () => imageConverted(this, image));
      return;
    }
    const message = this.lastMessage();
    const pickAgain = asksToPickAgain(message);
    this.end('refused', 'Not converted.', message, () => {
      this.result.append(...explanation(message));
      if (this.written > 0) this.result.append(element('p', 'note', 'What it had written is removed.'));
      this.offerAgain(pickAgain);
    });
    this.announce(`not converted. ${adviceOf(message) || message}`);
  }

  /** The last line the run printed on standard error: its message. */
  lastMessage() {
    const lines = this.errorText.split('\n').filter((line) => line.trim());
    return lines.length ? lines[lines.length - 1].trim() : '';
  }

  /** Not converted, for `reason` that the page found, which `sentence` explains. */
  notConverted(reason, sentence) {
    this.end('refused', 'Not converted.', reason, () => {
      this.result.append(element('p', 'meaning', sentence));
      this.offerAgain();
    });
    this.announce(`not converted. ${sentence}`);
  }

  /** Said before the run: the browser cannot hold the image. */
  noRoom(size, room) {
    this.notConverted(`no room for the image: it needs ${megabytes(size)}, ${megabytes(room)} are left`,
      `There is no room for the image: it needs ${megabytes(size)}, and your browser lets this page ` +
      `store ${megabytes(room)} more. Save or remove the images above, or free room on the disk, ` +
      'then convert it again.');
  }

  /** Cancel was pressed while it ran: the run is stopping and what it wrote is being removed. */
  cancelling() {
    this.changed(() => {
      this.cancelButton.disabled = true;
      this.setState('Cancelling…', 'cancelling');
    });
  }

  /** The run has ended, and `partial`, what it had written, is removed. */
  cancelled(partial) {
    this.end('cancelled', 'Cancelled.', '', () => {
      const removed = partial ? 'What it had written is removed. ' : '';
      this.result.append(element('p', 'note', `${removed}To convert the sheet, pick it again with its ` +
        'BIN files, or convert it again from the same files.'));
      this.offerAgain();
    });
    this.announce('cancelled.');
  }

  /**
   * The page met an error of its own, no outcome of the program: the card
   * says what happened, `what`, with the error folded away for a report.
   */
  pageError(error, what) {
    const reason = 'the page met an error of its own';
    this.end('refused', `Not converted: ${reason}.`, reason, () => {
      this.result.append(element('p', 'meaning', `${what} This is a fault of the page, not of your files: ` +
        'convert the sheet again, and if it fails again, reload the page.'), errorDetails(error));
      this.offerAgain();
    });
    this.announce(`not converted: ${reason}.`);
  }

  /**
   * What the user can do next: convert the same sheet from the same files,
   * on a new card below, or, where the files themselves are at fault
   * (`pickAgain`), pick them again.
   */
  offerAgain(pickAgain = false) {
    const again = pickAgain
      ? button('Pick the files again…', () => this.actions.pickAgain(this))
      : button('Convert again', () => {
        again.disabled = true;
        this.actions.again(this);
      });
    again.setAttribute('aria-label', `${again.textContent} (${this.name})`);
    const actions = element('p', 'actions');
    actions.append(again);
    this.result.append(actions);
  }
}
