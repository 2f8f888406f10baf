// The page's converter: cuesmelt itself, compiled to WebAssembly, run on the
// files that the page hands over, one sheet after the other, each with the
// command line's own arguments. Whatever the command line prints, refuses or
// writes, this passes on to the page unchanged.
//
// The picked files are mounted read-only with WORKERFS, which reads a File
// in slices as the program asks for them: nothing is copied into memory
// whole. The image leaves through a device file; each piece the program
// writes goes into a Blob at once (browsers keep large Blobs on disk), so the
// worker needs a few MiB whatever the size of the disc.
//
// From the page: {files: [{path, file}], sheets: [path]}, paths relative to
// one folder. To the page: {type: 'text', stream: 'out' | 'err', text},
// {type: 'progress', written, size}, {type: 'done', status, image} per sheet
// (image a Blob when the status is 0), and {type: 'broken', error} when the
// converter cannot start or stops where it must not.
'use strict';
importScripts('cuesmelt.js');

const IMAGE_PATH = '/dev/image';
// Small pieces (the descriptor, pregap zeros) are gathered up to this size
// first: a Blob per piece would be tens of thousands of Blobs.
const GATHER_BYTES = 1 << 20;
const PROGRESS_INTERVAL_MS = 100;

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

/** The image of one run, built as a Blob from the pieces as they come. */
class ImageBlob {
  constructor(size) {
    this.size = size;
    this.written = 0;
    this.parts = [];
    this.gathered = new Uint8Array(GATHER_BYTES);
    this.gatheredBytes = 0;
    this.lastProgress = 0;
  }

  /** `bytes` is a view of the program's memory, valid only during the call. */
  write(bytes) {
    if (this.gatheredBytes + bytes.length > GATHER_BYTES) this.flushGathered();
    if (bytes.length >= GATHER_BYTES) {
      this.parts.push(new Blob([bytes])); // the Blob takes a copy
    } else {
      this.gathered.set(bytes, this.gatheredBytes);
      this.gatheredBytes += bytes.length;
    }
    this.written += bytes.length;
    if (performance.now() - this.lastProgress >= PROGRESS_INTERVAL_MS) this.postProgress();
  }

  postProgress() {
    this.lastProgress = performance.now();
    postMessage({ type: 'progress', written: this.written, size: this.size });
  }

  flushGathered() {
    if (this.gatheredBytes === 0) return;
    this.parts.push(new Blob([this.gathered.subarray(0, this.gatheredBytes)]));
    this.gatheredBytes = 0;
  }

  finish() {
    this.flushGathered();
    this.postProgress();
    return new Blob(this.parts, { type: 'application/octet-stream' });
  }
}

const output = new RunText('out');
const error = new RunText('err');
let image = null; // the image of the run under way

function addImageDevice({ FS }) {
  // The program creates the image file with O_TRUNC; a device is never
  // truncated, and every piece written to it comes here.
  const device = FS.makedev(FS.createDevice.major++, 0);
  FS.registerDevice(device, {
    write(stream, memory, offset, length) {
      image.write(new Uint8Array(memory.buffer, memory.byteOffset + offset, length));
      return length;
    },
  });
  FS.mkdev(IMAGE_PATH, device);
}

// Whatever the page sends before the runtime is ready waits for it here.
const runtime = createCuesmelt({
  thisProgram: 'cuesmelt',
  noInitialRun: true,
  stdout: (byte) => output.add(byte),
  stderr: (byte) => error.add(byte),
}).then((module) => {
  addImageDevice(module);
  return module;
});

/**
 * Converts the sheet at `path` as `cuesmelt --cue <sheet> --cdi <image>`
 * run in the sheet's folder would: the messages name the track files as the
 * sheet does. The attached form keeps a sheet whose name begins with "-"
 * from being read as an option.
 */
function convert(module, path) {
  const folder = path.slice(0, path.lastIndexOf('/'));
  const sheet = path.slice(folder.length + 1);
  module.FS.chdir(folder);
  image = new ImageBlob(module.ccall('cuesmelt_image_size', 'number', ['string'], [sheet]));
  image.postProgress();
  const status = module.callMain([`--cue=${sheet}`, `--cdi=${IMAGE_PATH}`]);
  output.flush();
  error.flush();
  const result = { type: 'done', status, image: status === 0 ? image.finish() : null };
  image = null;
  return result;
}

let batches = 0;

onmessage = async ({ data }) => {
  let module;
  try {
    module = await runtime;
  } catch (reason) {
    postMessage({ type: 'broken', error: String(reason) });
    return;
  }
  const { FS } = module;
  const root = `/picked/${++batches}`;
  FS.mkdirTree(root);
  const blobs = data.files.map(({ path, file }) => ({ name: path, data: file }));
  FS.mount(FS.filesystems.WORKERFS, { blobs }, root);
  try {
    for (const sheet of data.sheets) postMessage(convert(module, `${root}/${sheet}`));
  } catch (reason) {
    // Only the runtime itself throws past callMain (out of memory, say), and
    // it is not usable after that.
    postMessage({ type: 'broken', error: String(reason) });
    return;
  }
  FS.chdir('/');
  FS.unmount(root);
  FS.rmdir(root);
};
