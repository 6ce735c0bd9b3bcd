// The page's polygon files, beyond model, DXF and ROK files: every format the desktop reads
// through Assimp, read in a reader worker of their own, and the patches exported as the
// command line's `zevrin export` writes them. Runs after page.js, in the same scope.
'use strict';

const polygons = {
  extensions: new Set(),  // ".obj", ...: the formats the reader worker reads
  // The tests' stand-in for --reader-timeout: { seconds, memoryBytes }, each 0 for the default.
  limits: null,
  fault: '',  // the tests' misbehaviour of the reader worker (worker.js)
  module: null,  // the WebAssembly module, compiled once
  spare: null,  // the reader worker of the next read
  ready: null,
  cancelRead: null,  // ends the read under way, if any
};

Object.assign(TEXTS.ja, {
  exportObj: '書き出し', exportFormat: '書き出す形式', triangulate: '三角形に分割',
  polylines: 'スプライン (OBJ の折れ線)',
});
Object.assign(TEXTS.en, {
  exportObj: 'Export', exportFormat: 'Export format', triangulate: 'Triangulate',
  polylines: 'Splines (OBJ polylines)',
});

function isPolygonFile(name) {
  const m = /\.[^./\\]*$/.exec(name);
  return !!m && polygons.extensions.has(m[0].toLowerCase());
}

// A reader worker started ahead of the read it will serve, so that a read does not wait for
// the browser to take in the worker's script (several megabytes); and the module compiled
// once, which each reader worker instantiates (decoding and compiling it anew would cost each
// read a second or more).
function startReader() {
  const url = URL.createObjectURL(
    new Blob([$('zevrin-worker').textContent], { type: 'text/javascript' }));
  const reader = new Worker(url, { name: 'zevrin-reader' });
  URL.revokeObjectURL(url);
  return reader;
}
async function compileModule() {
  try {
    const source = $('zevrin-worker').textContent;
    // The module's bytes as the loader holds them: a data URL, "\0asm" its first bytes.
    const at = source.indexOf('data:application/octet-stream;base64,AGFzbQ');
    const end = source.indexOf('"', at);
    const bytes = await (await fetch(source.slice(at, end))).arrayBuffer();
    return await WebAssembly.compile(bytes);
  } catch (e) {
    return null;  // each reader worker then decodes and compiles the module itself
  }
}

// Reads `bytes` in a reader worker, which ends with the read: its answer (the face stream),
// or how it ended without one. Past `seconds` (counted from the moment it is given the file,
// as the desktop counts from the start of its reader process) it is ended.
function readInWorker(name, bytes, seconds, memoryBytes) {
  return new Promise((resolve) => {
    const reader = polygons.spare || startReader();
    polygons.spare = null;
    let timer = null;
    let ended = false;
    const end = (result) => {
      if (ended) return;
      ended = true;
      polygons.cancelRead = null;
      clearTimeout(timer);
      reader.terminate();
      resolve(result);
    };
    timer = setTimeout(() => end({ failure: 'timeout' }), seconds * 1000);
    polygons.cancelRead = () => end({ cancelled: true });
    reader.onmessage = (event) => end(event.data);
    reader.onerror = (event) => {
      event.preventDefault();
      end({ failure: 'crashed', reason: event.message || 'error' });
    };
    reader.postMessage({ name, bytes, memoryBytes, module: polygons.module, fault: polygons.fault },
                       [bytes]);
    polygons.spare = startReader();
  });
}

// The largest memory a WebAssembly module of 32 bits may have.
const MAX_WASM_MEMORY = 65536 * 65536;

async function openPolygonFile(name, bytes) {
  state.busy = true;
  document.body.classList.add('busy');
  for (const el of document.querySelectorAll('.edit, #save-button, #obj-button, #undo-button, #redo-button'))
    el.disabled = true;
  $('cancel-button').disabled = false;
  const limits = await ask('readerLimits', { size: bytes.byteLength });
  const wanted = polygons.limits || {};
  const seconds = wanted.seconds || limits.readerSeconds;
  const memoryBytes = Math.min(wanted.memoryBytes || limits.readerMemoryBytes, MAX_WASM_MEMORY);
  const read = await readInWorker(name, bytes, seconds, memoryBytes);
  if (read.cancelled) {
    // Nothing reached the document: the status says so and the page is as it was.
    state.busy = false;
    state.cancelledStatus = true;
    document.body.classList.remove('busy');
    $('cancel-button').disabled = true;
    showAnswer();
    window.zevrinLast = { seq: ++commandCount, cmd: 'openRead', ok: false, cancelled: true };
    return { ok: false, cancelled: true };
  }
  const answer = read.answer || new ArrayBuffer(0);
  // The face stream is copied, not handed over: Cancel may need it to build the document anew.
  return command('openRead', {
    name, bytes: answer, memoryBytes, seconds, failure: read.failure || '', reason: read.reason || '',
  }, [], true);
}

// The export button: the format chosen, the patches through Assimp's writers, or the splines
// as polylines. A .gltf file comes with its .bin buffer: both are downloaded.
async function exportChosen() {
  if (state.busy || !state.last || !state.last.hasDocument) return;
  const format = $('export-format').value;
  store.set('export.format', format);
  store.set('export.triangulate', $('export-triangulate').checked ? '1' : '0');
  if (format === 'polylines') return exportObj();
  const stem = state.last.fileName.replace(/^.*[\\/]/, '').replace(/\.[^.]*$/, '');
  const answer = await command('exportPatches', {
    name: stem + format, triangulate: $('export-triangulate').checked,
  });
  if (answer.ok) for (const f of answer.files) download(f.blob, f.name.replace(/^.*[\\/]/, ''));
  window.zevrinExported = answer.ok ? answer.files : null;
}

function wirePolygons() {
  const select = $('export-format');
  if ([...select.options].some((o) => o.value === store.get('export.format', '')))
    select.value = store.get('export.format', 'polylines');
  $('export-triangulate').checked = store.get('export.triangulate', '0') === '1';
  polygons.ready = Promise.all([
    ask('polygonFormats').then((a) => {
      polygons.extensions = new Set(a.extensions);
      $('open-input').accept += ',' + a.extensions.join(',');
    }),
    compileModule().then((m) => { polygons.module = m; }),
  ]);
  polygons.spare = startReader();
}

wirePolygons();
applyLanguage();
window.zevrinReady = window.zevrinReady.then(() => polygons.ready).then(() => true);
