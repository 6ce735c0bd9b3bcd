// The page's worker: runs the core (the module made by emscripten, whose loader createZevrin
// stands before this script in the same file) away from the page, so that the page stays
// responsive while a long command runs. One message in, one answer out; the bars' moves go
// out as they happen.
'use strict';

let core = null;
let page = null;
// A reader worker (see the end) makes its own module, with the reader's memory limit.
const READER_NAME = 'zevrin-reader';
const ready = self.name === READER_NAME ? null : createZevrin().then((m) => {
  core = m;
  page = new m.Page();
  page.setProgress((main, sub) => postMessage({ type: 'progress', main, sub }));
});

// Everything the page shows after a command, in both languages so that switching needs no
// question to the worker.
function shown() {
  return {
    hasDocument: page.hasDocument(),
    fileName: page.fileName(),
    memo: page.memo().replace(/\n$/, ''),
    status: { ja: page.status(true), en: page.status(false) },
    error: { ja: page.error(true), en: page.error(false) },
    attachErrors: page.attachErrors(),
    isTagFile: page.isTagFile(),
    canUndo: page.canUndo(),
    canRedo: page.canRedo(),
    modified: page.modified(),
    title: page.title(),
    note: { ja: page.note(true), en: page.note(false) },
    texts: { ja: page.texts(true).split('\n'), en: page.texts(false).split('\n') },
  };
}

// The bytes a sink receives, gathered into a Blob.
function collect(write) {
  const parts = [];
  const ok = write((view) => parts.push(view.slice()));
  return { ok, blob: new Blob(parts) };
}

function run(msg, transfer) {
  const t0 = performance.now();
  const answer = { type: 'done', id: msg.id, cmd: msg.cmd };
  switch (msg.cmd) {
    case 'open': {
      const bytes = new Uint8Array(msg.bytes);
      const at = page.reserve(bytes.length);
      core.HEAPU8.set(bytes, at);  // after reserve: the memory may have grown
      answer.ok = page.open(msg.name);
      break;
    }
    // --- Polygon files: the reader worker's answer, the reader's limits, the export ---
    case 'openRead': {
      const bytes = new Uint8Array(msg.bytes);
      const at = page.reserve(bytes.length);
      core.HEAPU8.set(bytes, at);
      answer.ok = page.openRead(msg.name, msg.memoryBytes, msg.failure, msg.seconds, msg.reason);
      break;
    }
    case 'polygonFormats':
      answer.ok = true;
      answer.extensions = page.polygonExtensions().trim().split(' ');
      break;
    case 'readerLimits':
      answer.ok = true;
      answer.readerSeconds = core.readerSeconds(msg.size);
      answer.readerMemoryBytes = core.readerMemoryBytes(msg.size);
      break;
    case 'exportPatches': {
      const files = [];
      answer.ok = page.exportPatches(msg.name, msg.triangulate, (name, view) =>
        files.push({ name, blob: new Blob([view.slice()]) }));
      answer.files = files;
      break;
    }
    // --- end of polygon files ---
    case 'halvejoin': answer.ok = page.halvejoin(msg.tolerance); break;
    case 'connect': answer.ok = page.connect(); break;
    case 'attachAll': answer.ok = page.attachAll(); break;
    case 'detachAll': answer.ok = page.detachAll(); break;
    case 'mirrorBone':
      answer.ok = page.mirrorBone(msg.tolerance, msg.rule, msg.word, msg.replacement, msg.append);
      break;
    case 'undo': answer.ok = page.undo(); break;
    case 'redo': answer.ok = page.redo(); break;
    case 'markSaved': answer.ok = page.markSaved(); break;
    case 'wouldDoubleModel': answer.ok = page.wouldDoubleModel(msg.tolerance); break;
    case 'save': {
      const { ok, blob } = collect((sink) => page.saveInFormat(msg.name, msg.format === 'tag', sink));
      Object.assign(answer, { ok, blob, name: page.saveName(msg.name) });
      break;
    }
    case 'exportObj': {
      const { ok, blob } = collect((sink) => page.exportObj(sink));
      Object.assign(answer, { ok, blob });
      break;
    }
    case 'draw': {
      answer.ok = page.draw(msg.view, msg.width, msg.height, msg.cpid);
      if (answer.ok) {
        answer.picture = {
          width: msg.width,
          height: msg.height,
          lines: page.lines().slice(),
          runs: page.runs().slice(),
          labels: page.labels().slice(),
          texts: page.labelTexts().split('\n'),
          background: page.background(),
        };
        transfer.push(answer.picture.lines.buffer, answer.picture.runs.buffer,
                      answer.picture.labels.buffer);
      }
      break;
    }
    case 'ping': answer.ok = true; break;
    default: answer.ok = false;
  }
  answer.ms = performance.now() - t0;
  answer.memoryBytes = core.HEAPU8.length;
  return Object.assign(answer, shown());
}

onmessage = async (event) => {
  await ready;
  const transfer = [];
  let answer;
  try {
    answer = run(event.data, transfer);
  } catch (e) {
    // Only a fault of the module itself gets here (the core's errors are answers).
    answer = Object.assign({ type: 'done', id: event.data.id, ok: false }, shown());
    answer.error = { ja: 'zevrin: ' + e, en: 'zevrin: ' + e };
  }
  postMessage(answer, transfer);
};

// --- The reader worker -------------------------------------------------------------------
// A worker of this same script, named READER_NAME, reads one polygon file with Assimp as the
// desktop's reader process does, away from the document: the page gives it the file and a
// memory limit, ends it past the time limit, and hands its answer (the face stream) to the
// main worker. What Assimp does with a hostile file (loop, crash, exhaust memory) ends here.
if (self.name === READER_NAME) {
  onmessage = async (event) => {
    const { name, bytes, memoryBytes, module, fault } = event.data;
    // For the tests alone, as the desktop's reader has ZEVRIN_READER_TEST_FAULT: "crash" dies
    // outside any handler, "hang" never answers.
    if (fault === 'crash') setTimeout(() => { throw new Error('test crash'); });
    if (fault === 'crash' || fault === 'hang') return;
    let reply;
    try {
      // The module's own minimum (64 MB) to start with, growing up to the limit and no further.
      const pages = Math.max(1024, Math.min(65536, Math.floor(memoryBytes / 65536)));
      const settings = { wasmMemory: new WebAssembly.Memory({ initial: 1024, maximum: pages }) };
      // The module the page compiled, when it could.
      if (module) {
        settings.instantiateWasm = (imports, done) => {
          WebAssembly.instantiate(module, imports).then((instance) => done(instance, module));
          return {};
        };
      }
      const m = await createZevrin(settings);
      // The file under the name it was opened by, so that Assimp's texts name it alike.
      const slash = name.lastIndexOf('/');
      if (slash > 0) m.FS.mkdirTree(name.slice(0, slash));
      m.FS.writeFile(name, new Uint8Array(bytes));
      const parts = [];
      let size = 0;
      m.readPolygons(name, (view) => {
        parts.push(view.slice());
        size += view.length;
      });
      const answer = new Uint8Array(size);
      let at = 0;
      for (const p of parts) {
        answer.set(p, at);
        at += p.length;
      }
      reply = { answer: answer.buffer };
    } catch (e) {
      // A trap of the WebAssembly (the desktop's reader would have died of a signal).
      reply = { failure: 'crashed', reason: String(e && e.message ? e.message : e) };
    }
    postMessage(reply, reply.answer ? [reply.answer] : []);
  };
}
