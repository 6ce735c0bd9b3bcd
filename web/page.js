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
  },
  en: {
    open: 'Open..', saveAs: 'Save As..', exportObj: 'Export OBJ', view: 'View',
    front: 'Front', left: 'Left', top: 'Top', zoomIn: 'Zoom in', zoomOut: 'Zoom out', fit: 'Fit',
    language: 'Language', tolerance: 'Correct Plane X=0(G)', dropHint: 'Drop a file here',
    hintOpen: 'Open', hintSaveAs: 'Save As', hintSaveName: 'Name of the saved file',
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
  const worker = new Worker(url);
  URL.revokeObjectURL(url);
  return worker;
}

const worker = startWorker();
let nextId = 1;
let commandCount = 0;
const waiting = new Map();

worker.onmessage = (event) => {
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

function ask(cmd, args = {}, transfer = []) {
  const id = nextId++;
  return new Promise((resolve) => {
    waiting.set(id, resolve);
    worker.postMessage(Object.assign({ id, cmd }, args), transfer);
  });
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

function showAnswer() {
  const a = state.last;
  if (!a) return;
  $('memo').value = a.memo;
  $('status').textContent = a.status[state.lang];
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
  for (const el of document.querySelectorAll('.edit, #save-button, #obj-button')) el.disabled = true;
  const answer = await ask(cmd, args, transfer);
  state.last = answer;
  if (answer.ok && redraw) {
    if (cmd === 'open') fitView();
    await redisplay();
  }
  state.busy = false;
  document.body.classList.remove('busy');
  showAnswer();
  if (!answer.ok && answer.error[state.lang]) showError(answer.error[state.lang]);
  window.zevrinLast = {
    seq: ++commandCount, cmd, ok: answer.ok, ms: answer.ms, memoryBytes: answer.memoryBytes,
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
      if (answer.ok) {
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

async function openFile(file) {
  if (!file || state.busy) return;
  const bytes = await file.arrayBuffer();
  // Assimp's formats go through a reader worker of their own first (polygons.js).
  await polygons.ready;
  const answer = isPolygonFile(file.name) ? await openPolygonFile(file.name, bytes)
    : await command('open', { name: file.name, bytes }, [bytes], true);
  if (answer.ok) $('save-name').value = answer.fileName;
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
  const answer = await command('save', { name: $('save-name').value.trim() });
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
  $('halvejoin').addEventListener('click', () => edit('halvejoin', { tolerance: tolerance() }));
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

$('tolerance').value = store.get('tolerance', '0.4');
// A stored switch that is no integer counts as off, any integer but 0 as on.
$('cpid').checked = (parseInt(store.get('cpid', '0'), 10) || 0) !== 0;
wire();
applyLanguage();
$('status').textContent = 'Ver0.56';
paint();
// For the tests that drive the page: ready once the module has loaded; idle when no command
// and no drawing is under way.
window.zevrinReady = ask('ping').then(() => true);
window.zevrinIdle = () => !state.busy && !drawing;
