// The page's converter: cuesmelt itself, compiled to WebAssembly, run on the
// files that the page hands over, one sheet at a time, each with the command
// line's own arguments. Whatever the command line prints, refuses or writes,
// this passes on to the page unchanged.
//
// The picked files are mounted read-only with WORKERFS, which reads a File
// in slices as the program asks for them: nothing is copied into memory
// whole. The image leaves through a device file, piece by piece as the
// program writes it: into a file of the origin's private file system where
// the browser has one, written synchronously and straight to disk, else into
// a Blob (browsers keep large Blobs on disk). Either way the worker needs a
// few MiB whatever the size of the disc.
//
// The page asks, and this answers in order:
//   {type: 'mount', batch, files: [{path, file}]}  files of one pick, paths
//                                                  relative to one folder
//   {type: 'size', batch, sheet}     -> {type: 'size', size, sheetInArchive,
//                                        privateFile}: sheetInArchive the
//                                        name of the sheet in a zip archive
//   {type: 'convert', batch, sheet, image, size, goOn}
//       -> {type: 'text', stream: 'out' | 'err', text} as the run prints,
//          {type: 'progress', written, size},
//          {type: 'done', status, image}: image null, or {file} and, for a
//          private file, its {folder, name}
//   {type: 'unmount', batch}
// Besides: {type: 'broken', error} when the converter cannot start or stops
// where it must not.
'use strict';
// pako inflates the entries of zip archives for the program (base/inflater_web.cc).
importScripts('pako.js', 'cuesmelt.js');

const IMAGE_PATH = '/dev/image';
const TERMINAL_PATH = '/dev/terminal';
const READ_AHEAD_BYTES = 8 << 20;
// Each new Blob costs a round trip to the browser, however small: the pieces
// are gathered up to this size first.
const BLOB_PIECE_BYTES = 8 << 20;
const PROGRESS_INTERVAL_MS = 100;
// Whether the page still wants the run is asked this often, by time and by
// bytes written, whichever comes first (see loads).
const STOP_CHECK_MS = 100;
const STOP_CHECK_BYTES = 32 << 20;
// Emscripten's errno values are WASI's, not Linux's (ERRNO_CODES).
const EIO = 29;
const ENOSPC = 51;
// Chromium's synchronous handle reports a write that found no room not as
// an exception but as a count of bytes written: its own error code -8 (no
// space) read as an unsigned 32-bit number.
const NO_SPACE_COUNT = 2 ** 32 - 8;

/**
 * The image in a file of the origin's private file system. Its handle writes
 * synchronously, as the program needs, and was measured to take a 600 MB
 * image about ten times as fast as Blobs do.
 */
class PrivateFileImage {
  /** A new, empty file `name` in `folder`. */
  static async open(folder, name) {
    const handle = await folder.getFileHandle(name, { create: true });
    return new PrivateFileImage(folder, handle, await handle.createSyncAccessHandle());
  }

  constructor(folder, handle, access) {
    Object.assign(this, { folder, handle, access, written: 0 });
  }

  /** Returns the bytes written; a full quota fails as a full disk does. */
  write(bytes) {
    const written = this.access.write(bytes, { at: this.written });
    if (written > bytes.length) {
      const full = written === NO_SPACE_COUNT;
      throw new DOMException('the image could not be written', full ? 'QuotaExceededError' : 'InvalidStateError');
    }
    this.written += written;
    return written;
  }

  // Browsers of 2022 gave promises from flush and close: they are awaited.
  async finish() {
    await this.access.flush();
    await this.access.close();
    return this.handle.getFile();
  }

  async discard() {
    await this.access.close();
    await this.folder.removeEntry(this.handle.name);
  }
}

/** The image as a Blob, built from the pieces as they come. */
class BlobImage {
  constructor() {
    this.parts = [];
    this.gathered = new Uint8Array(BLOB_PIECE_BYTES);
    this.gatheredBytes = 0;
  }

  write(bytes) {
    if (this.gatheredBytes + bytes.length > BLOB_PIECE_BYTES) this.flushGathered();
    if (bytes.length >= BLOB_PIECE_BYTES) {
      this.parts.push(new Blob([bytes])); // the Blob takes a copy
    } else {
      this.gathered.set(bytes, this.gatheredBytes);
      this.gatheredBytes += bytes.length;
    }
    return bytes.length;
  }

  flushGathered() {
    if (this.gatheredBytes === 0) return;
    this.parts.push(new Blob([this.gathered.subarray(0, this.gatheredBytes)]));
    this.gatheredBytes = 0;
  }

  async finish() {
    this.flushGathered();
    return new Blob(this.parts, { type: 'application/octet-stream' });
  }

  async discard() {}
}

/**
 * The private file system's folder for this page's images, or null where the
 * browser has none (an old browser, a page not served from a secure origin).
 * Each open page has a folder of its own, held by a Web Lock of the same
 * name while the page lives: the page names it as this worker's name and
 * holds it, so that it outlives the worker (a cancelled run ends it). The
 * folders of pages that are gone are removed here, so that images do not
 * pile up from visit to visit.
 */
async function privateFolder() {
  try {
    if (!self.FileSystemSyncAccessHandle || !navigator.locks) return null;
    const root = await navigator.storage.getDirectory();
    const name = self.name.startsWith('cuesmelt-') ? self.name : await lockedFolderName();
    const others = [];
    for await (const other of root.keys()) {
      if (other.startsWith('cuesmelt-') && other !== name) others.push(other);
    }
    for (const other of others) {
      await navigator.locks.request(other, { ifAvailable: true }, (lock) =>
        lock ? root.removeEntry(other, { recursive: true }).catch(() => {}) : null,
      );
    }
    return await root.getDirectoryHandle(name, { create: true });
  } catch {
    return null;
  }
}

/** A new folder name, its lock held by this worker (one started without a name). */
async function lockedFolderName() {
  const name = `cuesmelt-${crypto.randomUUID()}`;
  await new Promise((held) => {
    navigator.locks.request(name, () => {
      held();
      return new Promise(() => {}); // released when the worker goes
    });
  });
  return name;
}

/**
 * WORKERFS reads a File in slices as the program asks for them, about 600 KB
 * at a time; but each slice costs a round trip to the browser, and larger
 * ones were measured to read three times as fast. So the worker reads ahead
 * READ_AHEAD_BYTES at a time and hands the program its reads from there.
 *
 * Each slice is a new ArrayBuffer, freed only by a garbage collector, and a
 * run is one long task during which the worker's collector hardly gets to
 * work: the used slices piled up to 500 MB. Handed to the page, they piled
 * up there instead, over a long visit, since the page does too little for
 * its collector to run often: a renderer of 487 MiB after 4 discs had grown
 * to 1543 MiB after 24. So each used slice is let go of at once (letGoOf).
 */
function readAhead({ FS }) {
  const reader = new FileReaderSync();
  const letGo = (stream) => {
    if (stream.ahead) letGoOf(stream.ahead.bytes.buffer);
    stream.ahead = null;
  };
  const operations = FS.filesystems.WORKERFS.stream_ops;
  operations.close = letGo;
  operations.read = (stream, memory, offset, length, position) => {
    const file = stream.node.contents;
    let ahead = stream.ahead;
    if (!ahead || position < ahead.start || position >= ahead.start + ahead.bytes.length) {
      if (position >= file.size) return 0;
      const slice = file.slice(position, position + Math.max(length, READ_AHEAD_BYTES));
      letGo(stream);
      ahead = stream.ahead = { start: position, bytes: readPicked(FS, reader, slice) };
    }
    const from = position - ahead.start;
    const piece = ahead.bytes.subarray(from, Math.min(from + length, ahead.bytes.length));
    new Uint8Array(memory.buffer, memory.byteOffset + offset, piece.length).set(piece);
    return piece.length;
  };
}

/**
 * A slice of a picked file. A file changed, moved or removed since it was
 * picked cannot be read: Chromium refuses it after any change, even of its
 * time alone (NotReadableError, NotFoundError), Firefox once it is shorter
 * or gone (errors of its own). Either way the program gets a failed read
 * of that file, as from a failing disk, and says so in its own words.
 */
function readPicked(FS, reader, slice) {
  try {
    return new Uint8Array(reader.readAsArrayBuffer(slice));
  } catch {
    throw new FS.ErrnoError(EIO);
  }
}

/**
 * Frees `buffer` now rather than at the next garbage collection: it is
 * transferred into a message port whose other end is closed, so the
 * message and the memory it carries are dropped as soon as it is sent.
 */
const drain = new MessageChannel();
drain.port2.close();
function letGoOf(buffer) {
  drain.port1.postMessage(null, [buffer]);
}

const bytesOf = (memory, offset, length) => new Uint8Array(memory.buffer, memory.byteOffset + offset, length);

/**
 * The run's standard output and error are a terminal, as for a person at a
 * command line, and the page shows them as one: the program then delivers
 * each text as it prints it and ends an open line before a message on
 * standard error, so the page shows its lines in the order it wrote them.
 * This runtime's isatty() asks fd_fdstat_get, which calls a stream a
 * terminal when the stream carries a `tty`: the device below is opened as
 * descriptors 1 and 2 in place of the runtime's own, and what each write
 * brings goes to the page at once. NO_COLOR keeps styling out of the texts.
 */
function openTerminal({ FS, ENV }) {
  ENV.NO_COLOR = '1';
  const decoders = { 1: new TextDecoder(), 2: new TextDecoder() };
  const device = FS.makedev(FS.createDevice.major++, 0);
  FS.registerDevice(device, {
    open(stream) {
      stream.tty = { terminal: true };
      stream.seekable = false;
    },
    write(stream, memory, offset, length) {
      const text = decoders[stream.fd].decode(bytesOf(memory, offset, length), { stream: true });
      if (text) postMessage({ type: 'text', stream: stream.fd === 1 ? 'out' : 'err', text });
      return length;
    },
  });
  FS.mkdev(TERMINAL_PATH, device);
  for (const descriptor of [1, 2]) {
    FS.close(FS.getStream(descriptor));
    // The lowest free descriptor is the one just closed.
    if (FS.open(TERMINAL_PATH, 1 /* O_WRONLY */).fd !== descriptor) throw new Error('no terminal');
  }
}

/** The run under way: where its image goes, and how much of it has. */
let run = null;

/**
 * Whether the page still wants the run: its go-on address, an object URL of
 * an empty Blob that the page revokes on Cancel, can still be loaded. A run
 * is one long task, so no message reaches the worker before it ends, and
 * Chromium stops a busy worker only 2 seconds after terminate(): long enough
 * to write a few hundred MB more, at times the whole image. A synchronous
 * request takes a millisecond or two, about 3% of a run asked every 32 MiB.
 * Where one cannot be made at all (a host's security policy may forbid
 * it), the run does not ask, and terminate() alone stops it.
 */
function loads(address) {
  const request = new XMLHttpRequest();
  try {
    request.open('GET', address, false);
    request.send();
    return request.status === 200;
  } catch {
    return false;
  }
}

const canAskToGoOn = (() => {
  const probe = URL.createObjectURL(new Blob());
  const answered = loads(probe);
  URL.revokeObjectURL(probe);
  return answered;
})();

/** Asks whether the run is still wanted, now and then as it writes; once not, it stops. */
function askToGoOn() {
  run.askedAt = { time: performance.now(), written: run.written };
  if (run.goOn && !loads(run.goOn)) run.stopped = true;
}

const dueToAsk = () =>
  performance.now() - run.askedAt.time >= STOP_CHECK_MS || run.written - run.askedAt.written >= STOP_CHECK_BYTES;

function postProgress() {
  run.lastProgress = performance.now();
  postMessage({ type: 'progress', written: run.written, size: run.size });
}

/** A write that found no room fails with the full disk's own errno. */
function errnoOf(error) {
  return error && error.name === 'QuotaExceededError' ? ENOSPC : EIO;
}

function addImageDevice({ FS }) {
  // The program creates the image file with O_TRUNC; a device is never
  // truncated, and every piece written to it comes here.
  const device = FS.makedev(FS.createDevice.major++, 0);
  FS.registerDevice(device, {
    write(stream, memory, offset, length) {
      // A run no longer wanted fails as at a failed write, and its image goes.
      if (run.stopped) throw new FS.ErrnoError(EIO);
      let written;
      try {
        written = run.image.write(bytesOf(memory, offset, length));
      } catch (error) {
        throw new FS.ErrnoError(errnoOf(error)); // the program reports it as a failed write
      }
      run.written += written;
      if (performance.now() - run.lastProgress >= PROGRESS_INTERVAL_MS) postProgress();
      if (dueToAsk()) askToGoOn();
      return written;
    },
  });
  FS.mkdev(IMAGE_PATH, device);
}

// Whatever the page sends before the runtime is ready waits for it here.
const runtime = createCuesmelt({ thisProgram: 'cuesmelt', noInitialRun: true }).then((module) => {
  openTerminal(module);
  readAhead(module);
  addImageDevice(module);
  return module;
});
const images = privateFolder();

async function openImage(name) {
  const folder = await images;
  if (folder) {
    try {
      return await PrivateFileImage.open(folder, name);
    } catch {
      // no room left, say: the Blob may still find some
    }
  }
  return new BlobImage();
}

const batchRoot = (batch) => `/picked/${batch}`;

/**
 * Runs `body` in the folder of the sheet at `sheet` in `batch`, given the
 * sheet's name there: the program runs as the command line would in the
 * sheet's folder, and its messages name the track files as the sheet does.
 */
function inSheetFolder({ FS }, batch, sheet, body) {
  const path = `${batchRoot(batch)}/${sheet}`;
  const folder = path.slice(0, path.lastIndexOf('/'));
  FS.chdir(folder);
  try {
    return body(path.slice(folder.length + 1));
  } finally {
    FS.chdir('/');
  }
}

/** The image's size from the layout, as the run will make it (0: the run refuses the disc). */
function imageSize(module, batch, sheet) {
  return inSheetFolder(module, batch, sheet, (name) => module.ccall('cuesmelt_image_size', 'number', ['string'], [name]));
}

/** For a zip archive, the name of the one sheet in it, after which its image is named; else null. */
function sheetInArchive(module, batch, sheet) {
  const name = inSheetFolder(module, batch, sheet, (name) =>
    module.ccall('cuesmelt_sheet_in_archive', 'string', ['string'], [name]),
  );
  return name || null;
}

const answers = {
  mount(module, { batch, files }) {
    const { FS } = module;
    FS.mkdirTree(batchRoot(batch));
    const blobs = files.map(({ path, file }) => ({ name: path, data: file }));
    FS.mount(FS.filesystems.WORKERFS, { blobs }, batchRoot(batch));
  },

  unmount({ FS }, { batch }) {
    FS.unmount(batchRoot(batch));
    FS.rmdir(batchRoot(batch));
  },

  async size(module, { batch, sheet }) {
    postMessage({
      type: 'size',
      size: imageSize(module, batch, sheet),
      sheetInArchive: sheetInArchive(module, batch, sheet),
      privateFile: Boolean(await images),
    });
  },

  /**
   * Converts the sheet as `cuesmelt --cue <sheet> --cdi <image>` run in the
   * sheet's folder would; `size` is what `size` answered for it, for the
   * progress bar; `goOn` the address the page revokes to cancel it (see
   * loads). The attached form keeps a sheet whose name begins with "-" from
   * being read as an option.
   */
  async convert(module, { batch, sheet, image: imageName, size, goOn }) {
    const image = await openImage(imageName);
    run = { image, size, written: 0, lastProgress: 0, goOn: canAskToGoOn ? goOn : null };
    askToGoOn();
    postProgress();
    let status;
    try {
      status = inSheetFolder(module, batch, sheet, (name) =>
        module.callMain([`--cue=${name}`, `--cdi=${IMAGE_PATH}`]),
      );
      postProgress();
    } catch (error) {
      await image.discard().catch(() => {}); // the page is told the converter broke; nothing is left
      throw error;
    } finally {
      run = null;
    }
    if (status !== 0) {
      await image.discard();
      postMessage({ type: 'done', status, image: null });
      return;
    }
    const file = await image.finish();
    const where = image instanceof PrivateFileImage ? { folder: image.folder.name, name: imageName } : {};
    postMessage({ type: 'done', status, image: { file, ...where } });
  },
};

// Requests are answered one after the other. Past callMain only the runtime
// itself throws (it cannot load, it ran out of memory), and it is not usable
// after that.
let answered = Promise.resolve();
onmessage = ({ data }) => {
  answered = answered
    .then(async () => answers[data.type](await runtime, data))
    .catch((reason) => postMessage({ type: 'broken', error: String(reason) }));
};
