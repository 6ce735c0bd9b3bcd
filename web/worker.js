// The page's worker: runs the core (the module made by emscripten, whose loader createZevrin
// stands before this script in the same file) away from the page, so that the page stays
// responsive while a long command runs. One message in, one answer out; the bars' moves go
// out as they happen.
'use strict';

let core = null;
let page = null;
const ready = createZevrin().then((m) => {
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
