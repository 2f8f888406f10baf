// One sheet's run as the page shows it, on a card of its own: its text as a
// terminal shows the command line's, a progress bar, then the image to save
// or what the refusal means. The card only presents; the outcome, every
// message and every byte of the image are the program's.
import { explanation } from './explain.js';
import { freeImage, kept, saveAs, startStreamedDownload } from './saving.js';
import { KeptImage } from './storage.js';
import { button, element, megabytes } from './ui.js';

let runCount = 0;

export class Run {
  /** `sheetPath` in the files of `batch`; `cancel(run)` is what its Cancel button does. */
  constructor(batch, sheetPath, cancel) {
    Object.assign(this, { batch, sheetPath, image: null, imageFile: null });
    this.name = sheetPath.slice(sheetPath.lastIndexOf('/') + 1);
    this.imageName = this.name.replace(/\.cue$/i, '') + '.cdi';
    this.card = element('article', 'run waiting');
    const heading = element('h2', '', sheetPath);
    heading.id = `run-${++runCount}`;
    this.card.setAttribute('aria-labelledby', heading.id);
    this.state = element('p', 'state', 'Waiting for the sheets before it.');
    this.state.setAttribute('aria-live', 'polite');
    this.bar = element('progress');
    this.bar.hidden = true;
    this.bar.setAttribute('aria-label', `${this.imageName} written`);
    this.amount = element('span', 'amount');
    this.log = element('pre', 'log');
    this.log.hidden = true; // until the run prints
    this.log.setAttribute('role', 'log');
    this.log.setAttribute('aria-label', `cuesmelt's output for ${this.name}`);
    this.log.tabIndex = 0;
    this.errorText = '';
    this.result = element('div', 'result');
    this.cancelButton = button('Cancel', () => cancel(this));
    this.cancelButton.setAttribute('aria-label', `Cancel ${this.name}`);
    const progress = element('p', 'progress');
    progress.append(this.bar, this.amount);
    this.card.append(heading, this.state, progress, this.log, this.result, this.cancelButton);
  }

  setState(text, className) {
    this.card.classList.remove('waiting', 'running');
    if (className) this.card.classList.add(className);
    this.state.textContent = text;
  }

  start() {
    this.setState('Converting…', 'running');
    this.bar.hidden = false;
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
    this.bar.max = size || 1;
    this.bar.value = written;
    this.amount.textContent = size ? `${megabytes(written)} of ${megabytes(size)}` : '';
  }

  /** The run is over, whatever its end: what is left of the card is its result. */
  end(outcome, state) {
    this.cancelButton.remove();
    this.setState(state);
    if (outcome === 'converted') return;
    this.card.classList.add(outcome);
    this.bar.hidden = true;
    this.amount.textContent = '';
  }

  done(status, image) {
    if (status !== 0) {
      this.end('refused', 'Not converted.');
      this.explain();
      return;
    }
    this.end('converted', 'Converted.');
    this.image = new KeptImage(image);
    if (this.image.name) kept.set(this.image.name, this);
    this.offer();
  }

  /** The image to download or save, and to remove. */
  offer() {
    const link = element('a', 'download', `Download ${this.imageName}`);
    link.href = this.image.url;
    link.download = this.imageName;
    link.addEventListener('click', (event) => {
      if (startStreamedDownload(this)) event.preventDefault();
    });
    const size = element('span', 'size', `(${megabytes(this.image.file.size)})`);
    const actions = element('p', 'actions');
    actions.append(link, ' ', size);
    if (self.showSaveFilePicker) actions.append(' ', button('Save as…', () => saveAs(this)));
    actions.append(' ', button('Remove', () => freeImage(this, 'Removed.')));
    const note = this.image.name
      ? 'The image is kept in your browser until it is saved; then its room is freed.'
      : 'The image is kept in your browser\u2019s memory until you remove it or leave the page.';
    this.result.replaceChildren(actions, element('p', 'note', note));
  }

  explain() {
    const lines = this.errorText.split('\n').filter((line) => line.trim());
    const message = lines.length ? lines[lines.length - 1].trim() : '';
    const paragraphs = explanation(message);
    if (paragraphs.length === 0) return;
    const last = paragraphs[paragraphs.length - 1];
    // Here a track file is found only among the files picked with the sheet.
    if (message.startsWith('FILE not found at')) {
      last.append(' Pick or drop the sheet together with all its BIN files, or choose their folder.');
    }
    if (message.endsWith('No space left on device') && kept.size > 0) {
      last.append(' Save or remove the images above to give their room back, then pick the sheet again.');
    }
    this.result.append(...paragraphs);
  }

  /** Said before the run: the browser cannot hold the image. */
  noRoom(size, room) {
    this.end('refused', 'Not converted.');
    this.result.append(element('p', 'meaning',
      `There is no room for the image: it needs ${megabytes(size)}, and your browser lets this page ` +
      `store ${megabytes(room)} more. Save or remove the images above, or free room on the disk, ` +
      'then pick the sheet again.'));
  }

  cancelled() {
    this.end('cancelled', 'Cancelled.');
  }

  partialRemoved() {
    this.result.append(element('p', 'note', 'What it had written is removed.'));
  }

  broken(error) {
    this.end('refused', `Not converted: the converter stopped (${error}).`);
  }
}
