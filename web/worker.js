// The page's converter: cuesmelt itself, compiled to WebAssembly, run on the
// files that the page hands over, one sheet after the other, each with the
// command line's own arguments. Whatever the command line prints, refuses or
// writes, this passes on to the page unchanged.
//
// The picked files are mounted read-only with WORKERFS, which reads a File
// in slices as the program asks for them: nothing is copied into memory
// whole. The image leaves through a device file, piece by piece as the
// program writes it: into a file of the origin's private file system where
// the browser has one, written synchronously and straight to disk, else into
// a Blob (browsers keep large Blobs on disk). Either way the worker needs a
// few MiB whatever the size of the disc, and the download is a Blob.
//
// From the page: {files: [{path, file}], sheets: [path]}, paths relative to
// one folder. To the page: {type: 'text', stream: 'out' | 'err', text},
// {type: 'progress', written, size}, {type: 'done', status, image} per sheet
// (image a Blob when the status is 0), {type: 'broken', error} when the
// converter cannot start or stops where it must not, and {type: 'spent'}
// with memory for the page to let go of.
'use strict';
importScripts('cuesmelt.js');

const IMAGE_PATH = '/dev/image';
const READ_AHEAD_BYTES = 8 << 20;
// Each new Blob costs a round trip to the browser, however small: the pieces
// are gathered up to this size first.
const BLOB_PIECE_BYTES = 8 << 20;
const PROGRESS_INTERVAL_MS = 100;
const EIO = 29; // Emscripten's errno values are its own

/** A standard stream of the run, posted to the page a line at a time. */
class RunText {
  constructor(stream) {
    this.stream = stream;
    this.bytes = [];
  }

  add(byte) {
    this.bytes.push(byte & 0xff); // devices hand over bytes as signed numbers
    if (byte === 0x0a) this.flush();
  }

  flush() {
    if (this.bytes.length === 0) return;
    const text = new TextDecoder().decode(new Uint8Array(this.bytes));
    this.bytes = [];
    postMessage({ type: 'text', stream: this.stream, text });
  }
}

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

  /** Returns the bytes written; a full quota fails like a full disk. */
  write(bytes) {
    const written = this.access.write(bytes, { at: this.written });
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
 * Each open page has a folder of its own, held by a Web Lock while the page
 * lives; the folders of pages that are gone are removed here, so that images
 * do not pile up from visit to visit.
 */
async function privateFolder() {
  try {
    if (!self.FileSystemSyncAccessHandle || !navigator.locks) return null;
    const root = await navigator.storage.getDirectory();
    const name = `cuesmelt-${crypto.randomUUID()}`;
    await new Promise((held) => {
      navigator.locks.request(name, () => {
        held();
        return new Promise(() => {}); // released when the page goes
      });
    });
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

/**
 * WORKERFS reads a File in slices as the program asks for them, about 600 KB
 * at a time; but each slice costs a round trip to the browser, and larger
 * ones were measured to read three times as fast. So the worker reads ahead
 * READ_AHEAD_BYTES at a time and hands the program its reads from there.
 *
 * Each slice is a new ArrayBuffer, and a run is one long task during which
 * the worker's garbage collector hardly gets to work: the used slices piled
 * up to 500 MB. So each used slice is handed over to the page, whose
 * collector is free to take it at once.
 */
function readAhead({ FS }) {
  const reader = new FileReaderSync();
  const letGo = (stream) => {
    if (stream.ahead) postMessage({ type: 'spent' }, [stream.ahead.bytes.buffer]);
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
      ahead = stream.ahead = { start: position, bytes: new Uint8Array(reader.readAsArrayBuffer(slice)) };
    }
    const from = position - ahead.start;
    const piece = ahead.bytes.subarray(from, Math.min(from + length, ahead.bytes.length));
    new Uint8Array(memory.buffer, memory.byteOffset + offset, piece.length).set(piece);
    return piece.length;
  };
}

/** The run under way: where its image goes, and how much of it has. */
let run = null;

function postProgress() {
  run.lastProgress = performance.now();
  postMessage({ type: 'progress', written: run.written, size: run.size });
}

function addImageDevice({ FS }) {
  // The program creates the image file with O_TRUNC; a device is never
  // truncated, and every piece written to it comes here.
  const device = FS.makedev(FS.createDevice.major++, 0);
  FS.registerDevice(device, {
    write(stream, memory, offset, length) {
      let written;
      try {
        written = run.image.write(new Uint8Array(memory.buffer, memory.byteOffset + offset, length));
      } catch {
        throw new FS.ErrnoError(EIO); // the program reports it as a failed write
      }
      run.written += written;
      if (performance.now() - run.lastProgress >= PROGRESS_INTERVAL_MS) postProgress();
      return written;
    },
  });
  FS.mkdev(IMAGE_PATH, device);
}

const output = new RunText('out');
const error = new RunText('err');

// Whatever the page sends before the runtime is ready waits for it here.
const runtime = createCuesmelt({
  thisProgram: 'cuesmelt',
  noInitialRun: true,
  stdout: (byte) => output.add(byte),
  stderr: (byte) => error.add(byte),
}).then((module) => {
  readAhead(module);
  addImageDevice(module);
  return module;
});
const images = privateFolder();
let imageCount = 0;

async function openImage() {
  const folder = await images;
  if (folder) {
    try {
      return await PrivateFileImage.open(folder, `${++imageCount}.cdi`);
    } catch {
      // no room left, say: the Blob may still find some
    }
  }
  return new BlobImage();
}

/**
 * Converts the sheet at `path` as `cuesmelt --cue <sheet> --cdi <image>`
 * run in the sheet's folder would: the messages name the track files as the
 * sheet does. The attached form keeps a sheet whose name begins with "-"
 * from being read as an option.
 */
async function convert(module, path) {
  const folder = path.slice(0, path.lastIndexOf('/'));
  const sheet = path.slice(folder.length + 1);
  module.FS.chdir(folder);
  const size = module.ccall('cuesmelt_image_size', 'number', ['string'], [sheet]);
  run = { image: await openImage(), size, written: 0, lastProgress: 0 };
  postProgress();
  const status = module.callMain([`--cue=${sheet}`, `--cdi=${IMAGE_PATH}`]);
  output.flush();
  error.flush();
  postProgress();
  const { image } = run;
  run = null;
  if (status !== 0) {
    await image.discard();
    return { type: 'done', status, image: null };
  }
  return { type: 'done', status, image: await image.finish() };
}

let batches = 0;

async function convertBatch({ files, sheets }) {
  const module = await runtime;
  const { FS } = module;
  const root = `/picked/${++batches}`;
  FS.mkdirTree(root);
  const blobs = files.map(({ path, file }) => ({ name: path, data: file }));
  FS.mount(FS.filesystems.WORKERFS, { blobs }, root);
  for (const sheet of sheets) postMessage(await convert(module, `${root}/${sheet}`));
  FS.chdir('/');
  FS.unmount(root);
  FS.rmdir(root);
}

// Batches are converted one after the other. Past callMain only the runtime
// itself throws (it cannot load, it ran out of memory), and it is not usable
// after that.
let batchesDone = Promise.resolve();
onmessage = ({ data }) => {
  batchesDone = batchesDone
    .then(() => convertBatch(data))
    .catch((reason) => postMessage({ type: 'broken', error: String(reason) }));
};
