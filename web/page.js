// The page: the window's commands over the core, which runs in a worker. Everything the page
// shows of a document (memo, status line, errors, the wireframe's segments) comes from the
// core; the page lays it out, draws the segments on a canvas and keeps the settings.
'use strict';

const $ = (id) => document.getElementById(id);

// Captions in both languages; the edit captions, "CPID表示" and the Mirror Bone dialog are
// Japanese in both, as in the window.
const TEXTS = {
  ja: {
    open: '開く', saveAs: '名前を付けて保存', exportObj: 'OBJ書き出し', view: '表示',
    front: '前', left: '左', top: '上', zoomIn: '拡大', zoomOut: '縮小', fit: '全体表示',
    language: '言語', tolerance: 'X=0平面に対する誤差(G)', dropHint: 'ファイルをここにドロップ',
    hintOpen: 'ファイルを開く', hintSaveAs: '名前を付けて保存', hintSaveName: '保存するファイル名',
    yes: 'はい', no: 'いいえ', restoring: '中止した操作の前の状態に戻しています…',
  },
  en: {
    open: 'Open..', saveAs: 'Save As..', exportObj: 'Export OBJ', view: 'View',
    front: 'Front', left: 'Left', top: 'Top', zoomIn: 'Zoom in', zoomOut: 'Zoom out', fit: 'Fit',
    language: 'Language', tolerance: 'Correct Plane X=0(G)', dropHint: 'Drop a file here',
    hintOpen: 'Open', hintSaveAs: 'Save As', hintSaveName: 'Name of the saved file',
    yes: 'Yes', no: 'No', restoring: 'Putting the document back as it was before…',
  },
};

// Settings kept between visits, as the window keeps its own.
const store = {
  get(key, fallback) {
    try {
      const v = localStorage.getItem('zevrin.' + key);
      return v === null ? fallback : v;
    } catch (e) {
      return fallback;
    }
  },
  set(key, value) {
    try {
      localStorage.setItem('zevrin.' + key, String(value));
    } catch (e) {
      // A page from file:// may have no storage; the settings then last one visit.
    }
  },
};

const state = {
  lang: store.get('lang', (navigator.language || '').toLowerCase().startsWith('ja') ? 'ja' : 'en'),
  last: null,  // the worker's last answer (memo, status, error in both languages)
  cancelledStatus: false,  // the status line says that the last command was cancelled
  restoring: false,
  picture: null,  // the last drawing: segments in pixels of a picture zoom times the canvas
  zoom: 1,
  panX: 0,  // the canvas shows the picture from (panX, panY) on
  panY: 0,
  busy: false,
  attachBlobUrl: null,
};

// --- The worker ------------------------------------------------------------------------

function startWorker() {
  const source = $('zevrin-worker').textContent;
  const url = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
  const w = new Worker(url);
  URL.revokeObjectURL(url);
  w.onmessage = (event) => {
    const m = event.data;
    if (m.type === 'progress') {
      $('bar-main').value = m.main;
      $('bar-sub').value = m.sub;
      return;
    }
    const resolve = waiting.get(m.id);
    waiting.delete(m.id);
    if (resolve) resolve(m);
  };
  return w;
}

let nextId = 1;
let commandCount = 0;
const waiting = new Map();
let worker = startWorker();

function ask(cmd, args = {}, transfer = []) {
  const id = nextId++;
  return new Promise((resolve) => {
    waiting.set(id, resolve);
    worker.postMessage(Object.assign({ id, cmd }, args), transfer);
  });
}

// The commands that made the open document what it is, from the one that opened it on: a
// worker cannot be interrupted, so Cancel ends it and a new one runs these again, which gives
// the document, its undo steps and its saved state back exactly as they were.
const journal = [];
const CHANGES = new Set(['halvejoin', 'connect', 'attachAll', 'detachAll', 'mirrorBone', 'undo',
                         'redo']);

function record(cmd, args) {
  const opens = cmd === 'open' || cmd === 'openRead';
  if (opens) journal.length = 0;
  if (cmd === 'save') {
    journal.push({ cmd: 'markSaved', args: {} });
  } else if (opens || CHANGES.has(cmd)) {
    journal.push({ cmd, args });
  }
}

// Cancel: ends the worker with whatever it is doing and starts a fresh one. Every question
// still waiting is answered as cancelled; the command that was running then restores.
function requestCancel() {
  if (!state.busy || state.restoring) return;
  // While a polygon file is read, only its reader worker goes: the document is not touched.
  if (polygons.cancelRead) {
    polygons.cancelRead();
    return;
  }
  worker.terminate();
  for (const resolve of waiting.values()) resolve({ type: 'done', ok: false, cancelled: true });
  waiting.clear();
  worker = startWorker();
}

// Builds the document anew in the fresh worker; resolves to the last answer.
async function restore() {
  state.restoring = true;
  $('cancel-button').disabled = true;
  $('status').textContent = texts().restoring;
  let last = await ask('ping');
  for (const step of journal) {
    const answer = await ask(step.cmd, step.args);
    if (answer.ok) last = answer;
  }
  state.restoring = false;
  return last;
}

// --- Showing what the core said --------------------------------------------------------

function texts() {
  return TEXTS[state.lang];
}

function applyLanguage() {
  document.documentElement.lang = state.lang;
  for (const el of document.querySelectorAll('[data-text]')) el.textContent = texts()[el.dataset.text];
  for (const el of document.querySelectorAll('[data-hint]')) el.title = texts()[el.dataset.hint];
  $('lang-select').value = state.lang;
  showAnswer();
}

// The history's and the questions' texts, as the core words them (see Page.texts).
function coreText(index) {
  const a = state.last;
  return a && a.texts ? a.texts[state.lang][index] : '';
}

function showAnswer() {
  const a = state.last;
  if (!a) return;
  $('memo').value = a.memo;
  $('status').textContent = state.cancelledStatus ? coreText(9) : a.status[state.lang];
  $('note').textContent = a.note[state.lang];
  document.title = a.title;
  $('undo-button').textContent = $('undo-button').title = coreText(0);
  $('redo-button').textContent = $('redo-button').title = coreText(1);
  $('undo-button').disabled = !a.canUndo || state.busy;
  $('redo-button').disabled = !a.canRedo || state.busy;
  $('cancel-button').textContent = coreText(6);
  // A tag file saves as a tag file; any other model in either format, as in the window.
  $('format-bracketed').textContent = coreText(10);
  $('format-tag').textContent = coreText(11);
  $('format-bracketed').disabled = a.isTagFile;
  if (a.isTagFile) $('save-format').value = 'tag';
  $('drop-hint').hidden = a.hasDocument;
  for (const el of document.querySelectorAll('.edit, #save-button, #obj-button'))
    el.disabled = !a.hasDocument || state.busy;
  const link = $('attach-errors');
  if (state.attachBlobUrl) URL.revokeObjectURL(state.attachBlobUrl);
  state.attachBlobUrl = null;
  link.hidden = !a.attachErrors;
  if (a.attachErrors) {
    state.attachBlobUrl = URL.createObjectURL(new Blob([a.attachErrors]));
    link.href = state.attachBlobUrl;
    link.download = 'attach_err.txt';
  }
}

function showError(text) {
  $('error-text').textContent = text;
  $('error-box').showModal();
}

// Runs one command in the worker with the bars reset; afterwards the memo, the status line
// and any error are shown, and after a success that changed the picture (`redraw`) it is
// drawn anew. Returns the answer.
async function command(cmd, args = {}, transfer = [], redraw = false) {
  state.busy = true;
  $('bar-main').value = 0;
  $('bar-sub').value = 0;
  document.body.classList.add('busy');
  for (const el of document.querySelectorAll('.edit, #save-button, #obj-button, #undo-button, #redo-button'))
    el.disabled = true;
  $('cancel-button').disabled = false;
  state.cancelledStatus = false;
  let answer = await ask(cmd, args, transfer);
  if (answer.cancelled) {
    // The new worker has the document of before the command; the picture is drawn anew.
    answer = await restore();
    state.cancelledStatus = true;
    answer.cancelled = true;
    answer.ok = false;
    state.last = answer;
    state.picture = null;
    state.busy = false;
    await redisplay();
    paint();
  } else {
    state.last = answer;
    if (answer.ok) record(cmd, args);
    if (answer.ok && redraw) {
      if (cmd === 'open' || cmd === 'openRead') fitView();
      await redisplay();
    }
  }
  state.busy = false;
  $('cancel-button').disabled = true;
  document.body.classList.remove('busy');
  showAnswer();
  if (!answer.ok && !answer.cancelled && answer.error[state.lang]) showError(answer.error[state.lang]);
  window.zevrinLast = {
    seq: ++commandCount, cmd, ok: answer.ok, ms: answer.ms, memoryBytes: answer.memoryBytes,
    cancelled: !!answer.cancelled,
  };
  return answer;
}

// --- The wireframe ---------------------------------------------------------------------

const canvas = $('canvas');
const MIN_ZOOM = 0.25;
const MAX_ZOOM = 64;

function canvasSize() {
  const r = canvas.getBoundingClientRect();
  return { width: Math.max(1, Math.round(r.width)), height: Math.max(1, Math.round(r.height)) };
}

function hex(rgb) {
  return '#' + rgb.toString(16).padStart(6, '0');
}

// Draws the last picture onto the canvas at the pan offset: the lines in their runs of one
// colour, each label over the lines drawn before it.
function paint() {
  const { width, height } = canvasSize();
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
  }
  const ctx = canvas.getContext('2d');
  const p = state.picture;
  ctx.fillStyle = p ? hex(p.background) : '#000000';
  ctx.fillRect(0, 0, width, height);
  if (!p) return;
  const dx = -state.panX + 0.5;
  const dy = -state.panY + 0.5;
  const segments = p.lines.length / 4;
  let label = 0;
  const labelCount = p.labels.length / 6;
  ctx.lineWidth = 1;
  ctx.font = '12px "VL Gothic", monospace';
  ctx.textBaseline = 'top';
  const drawLabelsUpTo = (segment) => {
    while (label < labelCount && p.labels[label * 6 + 2] <= segment) {
      const at = label * 6;
      const text = p.texts[label];
      const x = p.labels[at] - state.panX;
      const y = p.labels[at + 1] - state.panY;
      ctx.fillStyle = hex(p.labels[at + 4]);
      ctx.fillRect(x, y, Math.ceil(ctx.measureText(text).width), 12);
      ctx.fillStyle = hex(p.labels[at + 3]);
      ctx.fillText(text, x, y);
      ++label;
    }
  };
  for (let r = 0; r < p.runs.length; r += 2) {
    const first = p.runs[r];
    const end = r + 2 < p.runs.length ? p.runs[r + 2] : segments;
    ctx.strokeStyle = hex(p.runs[r + 1]);
    let s = first;
    while (s < end) {
      // Up to the next label, so that the label covers exactly the lines drawn before it.
      const stop = label < labelCount ? Math.min(end, Math.max(s + 1, p.labels[label * 6 + 2])) : end;
      drawLabelsUpTo(s);
      ctx.beginPath();
      for (let i = s; i < stop; ++i) {
        const k = i * 4;
        ctx.moveTo(p.lines[k] + dx, p.lines[k + 1] + dy);
        ctx.lineTo(p.lines[k + 2] + dx, p.lines[k + 3] + dy);
      }
      ctx.stroke();
      s = stop;
    }
  }
  drawLabelsUpTo(Infinity);
}

let drawing = null;
let drawAgain = false;

// Asks the core for the picture at the current zoom (a picture zoom times the canvas's size,
// of which the canvas shows a part), then paints it. Requests while one runs are merged.
async function redisplay() {
  if (!state.last || !state.last.hasDocument) return;
  if (drawing) {
    drawAgain = true;
    return drawing;
  }
  drawing = (async () => {
    do {
      drawAgain = false;
      const { width, height } = canvasSize();
      const answer = await ask('draw', {
        view: Number($('view-select').value),
        width: Math.round(width * state.zoom),
        height: Math.round(height * state.zoom),
        cpid: $('cpid').checked,
      });
      if (answer.cancelled) {
        break;  // the worker was ended; the command that ended it draws anew
      } else if (answer.ok) {
        state.picture = answer.picture;
        paint();
      } else if (answer.error[state.lang]) {
        showError(answer.error[state.lang]);
      }
    } while (drawAgain);
    drawing = null;
  })();
  return drawing;
}

// Zooms by `factor` keeping the picture's point under (x, y) of the canvas in place.
function zoomBy(factor, x, y) {
  const { width, height } = canvasSize();
  if (x === undefined) {
    x = width / 2;
    y = height / 2;
  }
  const zoom = Math.min(MAX_ZOOM, Math.max(MIN_ZOOM, state.zoom * factor));
  const f = zoom / state.zoom;
  if (f === 1) return;
  state.panX = (state.panX + x) * f - x;
  state.panY = (state.panY + y) * f - y;
  state.zoom = zoom;
  redisplay();
}

function fitView() {
  state.zoom = 1;
  state.panX = 0;
  state.panY = 0;
}

function fit() {
  fitView();
  redisplay();
}

// --- Commands --------------------------------------------------------------------------

// Asks `text` under `title` with the buttons given as [value, caption] (the first is the
// default); resolves to the value of the one pressed, or 'cancel' when the dialog is closed.
function question(title, text, buttons) {
  const box = $('question-box');
  $('question-title').textContent = title;
  $('question-text').textContent = text;
  const row = $('question-buttons');
  row.replaceChildren();
  for (const [value, caption] of buttons) {
    const b = document.createElement('button');
    b.value = value;
    b.textContent = caption;
    b.id = 'question-' + value;
    row.appendChild(b);
  }
  return new Promise((resolve) => {
    box.addEventListener('close', () => resolve(box.returnValue || 'cancel'), { once: true });
    box.returnValue = '';
    box.showModal();
    row.firstChild.focus();
  });
}

// Before an edited document is replaced: save it (a download), let it go, or keep it. True
// when the work may go on.
async function maySetDocumentAside() {
  const a = state.last;
  if (!a || !a.hasDocument || !a.modified) return true;
  const choice = await question(coreText(3), coreText(2),
                                [['save', coreText(4)], ['discard', coreText(5)], ['cancel', coreText(6)]]);
  if (choice === 'discard') return true;
  if (choice !== 'save') return false;
  await saveAs();
  return !state.last.modified;
}

async function openFile(file) {
  if (!file || state.busy) return;
  if (!(await maySetDocumentAside())) return;
  const bytes = await file.arrayBuffer();
  // The bytes are copied, not handed over: Cancel may need them to build the document anew.
  // Assimp's formats go through a reader worker of their own first (polygons.js).
  await polygons.ready;
  const answer = isPolygonFile(file.name) ? await openPolygonFile(file.name, bytes)
    : await command('open', { name: file.name, bytes }, [], true);
  if (answer.ok) {
    $('save-name').value = answer.fileName;
    $('save-format').value = answer.isTagFile ? 'tag' : 'bracketed';
  }
}
async function halvejoin() {
  if (state.busy || !state.last || !state.last.hasDocument) return;
  const t = tolerance();
  // A model that is whole already would be doubled: the user may have meant another edit.
  const check = await ask('wouldDoubleModel', { tolerance: t });
  if (check.ok) {
    const choice = await question(coreText(8), coreText(7), [['no', texts().no], ['yes', texts().yes]]);
    if (choice !== 'yes') return;
  }
  await edit('halvejoin', { tolerance: t });
}

async function historyStep(undo) {
  const a = state.last;
  if (state.busy || !a || !(undo ? a.canUndo : a.canRedo)) return;
  await command(undo ? 'undo' : 'redo', {}, [], true);
}

function tolerance() {
  const text = $('tolerance').value;
  store.set('tolerance', text);
  return text;
}

async function edit(cmd, args = {}, redraw = true) {
  if (state.busy || !state.last || !state.last.hasDocument) return;
  await command(cmd, args, [], redraw);
}

function download(blob, name) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(blob);
  a.download = name;
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 60000);
}

async function saveAs() {
  if (state.busy) return;
  const answer = await command('save', { name: $('save-name').value.trim(), format: $('save-format').value });
  if (answer.ok) download(answer.blob, answer.name);
}

async function exportObj() {
  if (state.busy) return;
  const answer = await command('exportObj');
  if (answer.ok) download(answer.blob, answer.fileName.replace(/\.[^./\\]*$/, '') + '.obj');
}

function mirrorBone() {
  if (state.busy) return;
  // The dialog starts with the rule last confirmed.
  const rule = store.get('mirror.rule', '3');
  for (const r of document.querySelectorAll('input[name=rule]')) r.checked = r.value === rule;
  $('mirror-word').value = store.get('mirror.word', 'left');
  $('mirror-replacement').value = store.get('mirror.replacement', 'right');
  $('mirror-append').value = store.get('mirror.append', 'mb');
  $('mirror-dialog').showModal();
}

async function mirrorConfirmed() {
  const checked = document.querySelector('input[name=rule]:checked');
  const rule = checked ? checked.value : '3';
  store.set('mirror.rule', rule);
  store.set('mirror.word', $('mirror-word').value);
  store.set('mirror.replacement', $('mirror-replacement').value);
  store.set('mirror.append', $('mirror-append').value);
  await edit('mirrorBone', {
    tolerance: tolerance(), rule: Number(rule), word: $('mirror-word').value,
    replacement: $('mirror-replacement').value, append: $('mirror-append').value,
  });
}

// --- Wiring ----------------------------------------------------------------------------

function wire() {
  $('open-input').addEventListener('change', (e) => {
    openFile(e.target.files[0]);
    e.target.value = '';
  });
  $('save-button').addEventListener('click', saveAs);
  $('obj-button').addEventListener('click', exportChosen);  // polygons.js
  $('halvejoin').addEventListener('click', halvejoin);
  $('undo-button').addEventListener('click', () => historyStep(true));
  $('redo-button').addEventListener('click', () => historyStep(false));
  $('cancel-button').addEventListener('click', requestCancel);
  document.addEventListener('keydown', (e) => {
    if (!(e.ctrlKey || e.metaKey) || e.altKey) return;
    // While a question is open the document waits for its answer.
    if (document.querySelector('dialog[open]')) return;
    // In a text field the keys undo the typing, as everywhere.
    if (e.target instanceof HTMLInputElement && e.target.type === 'text') return;
    const key = e.key.toLowerCase();
    if (key === 'z' && !e.shiftKey) {
      e.preventDefault();
      historyStep(true);
    } else if ((key === 'z' && e.shiftKey) || (key === 'y' && !e.shiftKey)) {
      e.preventDefault();
      historyStep(false);
    }
  });
  // The browser asks before a tab with unsaved work closes or reloads.
  window.addEventListener('beforeunload', (e) => {
    if (state.last && state.last.modified) {
      e.preventDefault();
      e.returnValue = '';
    }
  });
  $('connect').addEventListener('click', () => edit('connect'));
  // Attach all and Detach all leave the picture as it was, as in the window.
  $('attach-all').addEventListener('click', () => edit('attachAll', {}, false));
  $('detach-all').addEventListener('click', () => edit('detachAll', {}, false));
  $('mirror-bone').addEventListener('click', mirrorBone);
  $('mirror-dialog').addEventListener('close', () => {
    if ($('mirror-dialog').returnValue === 'ok') mirrorConfirmed();
  });
  $('view-select').addEventListener('change', fit);
  $('cpid').addEventListener('change', () => {
    store.set('cpid', $('cpid').checked ? '1' : '0');
    redisplay();
  });
  $('lang-select').addEventListener('change', () => {
    state.lang = $('lang-select').value;
    store.set('lang', state.lang);
    applyLanguage();
  });
  $('zoom-in').addEventListener('click', () => zoomBy(1.25));
  $('zoom-out').addEventListener('click', () => zoomBy(0.8));
  $('zoom-fit').addEventListener('click', fit);
  $('tolerance').addEventListener('change', tolerance);

  canvas.addEventListener('wheel', (e) => {
    e.preventDefault();
    const r = canvas.getBoundingClientRect();
    zoomBy(e.deltaY < 0 ? 1.25 : 0.8, e.clientX - r.left, e.clientY - r.top);
  }, { passive: false });
  let drag = null;
  canvas.addEventListener('pointerdown', (e) => {
    drag = { x: e.clientX, y: e.clientY, panX: state.panX, panY: state.panY };
    canvas.setPointerCapture(e.pointerId);
    canvas.classList.add('dragging');
  });
  canvas.addEventListener('pointermove', (e) => {
    if (!drag) return;
    state.panX = drag.panX - (e.clientX - drag.x);
    state.panY = drag.panY - (e.clientY - drag.y);
    requestAnimationFrame(paint);
  });
  const endDrag = () => {
    drag = null;
    canvas.classList.remove('dragging');
  };
  canvas.addEventListener('pointerup', endDrag);
  canvas.addEventListener('pointercancel', endDrag);

  // A file dropped anywhere on the page opens: the first of them, as in the window.
  const view = $('view');
  document.addEventListener('dragover', (e) => {
    e.preventDefault();
    view.classList.add('over');
  });
  document.addEventListener('dragleave', () => view.classList.remove('over'));
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    view.classList.remove('over');
    const files = e.dataTransfer && e.dataTransfer.files;
    if (files && files.length) openFile(files[0]);
  });

  let resizeTimer = null;
  window.addEventListener('resize', () => {
    paint();
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(redisplay, 150);
  });
}

// Served over http(s), the page can be installed as an app that works offline: the manifest
// and the service worker lie beside it. From file:// there is nothing to install.
if (/^https?:$/.test(location.protocol)) {
  const link = document.createElement('link');
  link.rel = 'manifest';
  link.href = 'manifest.webmanifest';
  document.head.appendChild(link);
  if ('serviceWorker' in navigator) navigator.serviceWorker.register('sw.js').catch(() => {});
}
// An installed app opens the files the system hands it, as a drop does.
if ('launchQueue' in window) {
  window.launchQueue.setConsumer(async (params) => {
    if (params.files && params.files.length) openFile(await params.files[0].getFile());
  });
}

$('tolerance').value = store.get('tolerance', '0.4');
// A stored switch that is no integer counts as off, any integer but 0 as on.
$('cpid').checked = (parseInt(store.get('cpid', '0'), 10) || 0) !== 0;
wire();
applyLanguage();
$('status').textContent = 'Ver0.56';
paint();
// For the tests that drive the page: ready once the module has loaded; idle when no command
// and no drawing is under way.
window.zevrinReady = ask('ping').then((answer) => {
  answer.status = { ja: 'Ver0.56', en: 'Ver0.56' };
  state.last = answer;
  showAnswer();
  return true;
});
window.zevrinIdle = () => !state.busy && !drawing;
