// The page's core against the command line: every test and corpus file and the generated
// ones, opened and put through each edit by the WebAssembly module (as the page's worker
// does) and by the native `zevrin`, must give the same saved bytes, the same memo lines, the
// same attach_err.txt and, where the file fails, the same "FILE:LINE: message". A polygon
// file of Assimp's formats is read by a second instance of the module, as the page's reader
// worker reads it, and its face stream opened by the first. The files of the folders given
// after --exports are also exported in every format the page offers, with and without
// triangulation, and each file made must be `zevrin export`'s byte for byte (but for the time
// of writing that FBX and Collada files hold).
//   node web/tests/equal_native.mjs ZEVRIN MODULE.js FILE_OR_FOLDER... [--exports FOLDER...]
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync, statSync, existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';

const [cliArg, modulePath, ...rest] = process.argv.slice(2);
const cli = cliArg && resolve(cliArg);
const split = rest.indexOf('--exports');
const inputs = split < 0 ? rest : rest.slice(0, split);
const exportInputs = split < 0 ? [] : rest.slice(split + 1);
if (!cli || !modulePath || inputs.length + exportInputs.length === 0) {
  console.error('usage: node equal_native.mjs ZEVRIN MODULE.js FILE_OR_FOLDER... [--exports FOLDER...]');
  process.exit(2);
}

const require = createRequire(import.meta.url);
const core = await require(resolve(modulePath))();
// The reader worker's module: an instance of its own, as in the page.
const readerCore = await require(resolve(modulePath))();

// The page reads model, DXF and ROK files, and every format of Assimp the desktop reads.
const probe = new core.Page();
const polygonKinds = new Set(probe.polygonExtensions().trim().split(' '));
probe.delete();
const extensionOf = (name) => (/\.[^./\\]*$/.exec(name) || [''])[0].toLowerCase();
const isPolygon = (name) => polygonKinds.has(extensionOf(name));
const pageKind = (name) => /\.(mdl|seg|dxf|rok)$/i.test(name) || isPolygon(name);
function filesOf(list) {
  const out = [];
  for (const input of list) {
    if (statSync(input).isDirectory()) {
      for (const name of readdirSync(input).sort()) {
        const path = join(input, name);
        if (statSync(path).isFile() && pageKind(name)) out.push(resolve(path));
      }
    } else {
      out.push(resolve(input));
    }
  }
  return out;
}
const exported = new Set(filesOf(exportInputs));
const files = [...new Set([...filesOf(inputs), ...exported])];

const edits = [
  { name: 'convert', args: [], run: (p) => true },
  { name: 'convert', args: ['--format', 'tag'], tag: true, run: (p) => true },
  { name: 'halvejoin', args: ['-t', '0.25'], run: (p) => p.halvejoin('0.25') },
  { name: 'connect', args: [], run: (p) => p.connect() },
  { name: 'attach-all', args: [], run: (p) => p.attachAll() },
  { name: 'detach-all', args: [], run: (p) => p.detachAll() },
  {
    name: 'mirror-bone',
    args: ['-t', '0.25', '--rule', 'suffix', '--word', '_L', '--replacement', '_R'],
    run: (p) => p.mirrorBone('0.25', 2, '_L', '_R', 'mb'),
  },
];

const work = mkdtempSync(join(tmpdir(), 'zevrin-web-equal-'));
const out = join(work, 'out.mdl');
const attachFile = join(work, 'attach_err.txt');

function native(edit, file) {
  rmSync(out, { force: true });
  rmSync(attachFile, { force: true });
  let code = 0;
  let stdout = '';
  let stderr = '';
  try {
    stdout = execFileSync(cli, ['-q', '--lang', 'en', edit.name, file, ...edit.args, '-o', out],
                          { cwd: work, encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
  } catch (e) {
    code = e.status;
    stdout = e.stdout;
    stderr = e.stderr;
  }
  return {
    code,
    memo: stdout.split('\n').filter((l) => l !== ''),
    error: stderr.trim(),
    bytes: code === 0 ? readFileSync(out) : null,
    attach: existsSync(attachFile) ? readFileSync(attachFile, 'latin1') : '',
  };
}

// What the reader worker answers for `file`: the face stream.
function readInReader(file) {
  const slash = file.lastIndexOf('/');
  if (slash > 0) readerCore.FS.mkdirTree(file.slice(0, slash));
  readerCore.FS.writeFile(file, readFileSync(file));
  const parts = [];
  readerCore.readPolygons(file, (view) => parts.push(Buffer.from(view)));
  readerCore.FS.unlink(file);
  return Buffer.concat(parts);
}

// Opens `file` as the page's worker does.
function openPaged(page, file) {
  if (!isPolygon(file)) {
    const bytes = readFileSync(file);
    core.HEAPU8.set(bytes, page.reserve(bytes.length));
    return page.open(file);
  }
  const size = statSync(file).size;
  const answer = readInReader(file);
  core.HEAPU8.set(answer, page.reserve(answer.length));
  return page.openRead(file, core.readerMemoryBytes(size), '', core.readerSeconds(size), '');
}

function paged(core, edit, file) {
  const page = new core.Page();
  let ok = openPaged(page, file) && edit.run(page);
  let saved = null;
  if (ok) {
    const parts = [];
    const sink = (view) => parts.push(Buffer.from(view));
    ok = edit.tag ? page.saveInFormat('', true, sink) : page.save('', sink);
    saved = Buffer.concat(parts);
  }
  const result = {
    ok,
    memo: page.memo().split('\n').filter((l) => l !== ''),
    error: page.error(false),
    bytes: saved,
    attach: page.attachErrors(),
  };
  page.delete();
  return result;
}

// The export formats the page offers, each as `zevrin export FILE -o STEM.EXT [--triangulate]`
// writes it, run in a folder of its own: every file made, by name.
const exportFormats = ['.obj', '.gltf', '.glb', '.stl', '.ply', '.fbx', '.dae'];
function nativeExport(file, name, triangulate) {
  const dir = mkdtempSync(join(work, 'export-'));
  let error = '';
  try {
    execFileSync(cli, ['-q', '--lang', 'en', 'export', file, '-o', name,
                       ...(triangulate ? ['--triangulate'] : [])],
                 { cwd: dir, encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
  } catch (e) {
    error = e.stderr.trim();
  }
  const made = new Map();
  for (const n of readdirSync(dir).sort()) made.set(n, readFileSync(join(dir, n)));
  rmSync(dir, { recursive: true, force: true });
  return { error, made };
}
// The moment of writing, which FBX and Collada files hold and two runs of the command line
// already differ in, made the same on both sides.
function withoutTime(bytes) {
  const text = bytes.toString('latin1')
    .replace(/^(\s*(Year|Month|Day|Hour|Minute|Second|Millisecond): )\d+/gm, '$1#')
    .replace(/<(created|modified)>[^<]*</g, '<$1>#<');
  return Buffer.from(text, 'latin1');
}
function pagedExport(file, name, triangulate) {
  const page = new core.Page();
  const made = new Map();
  let ok = openPaged(page, file);
  if (ok) ok = page.exportPatches(name, triangulate, (n, view) => made.set(n, Buffer.from(view)));
  const result = { ok, error: page.error(false), made, memo: page.memo() };
  page.delete();
  return result;
}

let passed = 0;
let failed = 0;
const fail = (what) => {
  ++failed;
  if (failed <= 30) console.log('FAIL ' + what);
};
for (const file of files) {
  for (const edit of edits) {
    const n = native(edit, file);
    const p = paged(core, edit, file);
    const what = `${edit.name} ${edit.args.join(' ')} ${file}`;
    if (n.code === 0) {
      if (!p.ok) fail(`${what}: the page failed: ${p.error}`);
      else if (!n.bytes.equals(p.bytes)) fail(`${what}: saved bytes differ`);
      else if (n.attach !== p.attach) fail(`${what}: attach_err.txt differs`);
      // Attach all and Detach all print no memo; the page keeps the one it shows.
      else if (n.memo.length && JSON.stringify(n.memo) !== JSON.stringify(p.memo))
        fail(`${what}: memo ${JSON.stringify(p.memo)} is not ${JSON.stringify(n.memo)}`);
      else ++passed;
    } else if (p.ok) {
      fail(`${what}: the command line failed (${n.error}), the page did not`);
    } else if (n.error !== p.error) {
      fail(`${what}: error "${p.error}" is not "${n.error}"`);
    } else {
      ++passed;
    }
  }
}
let exports = 0;
for (const file of exported) {
  const stem = file.replace(/^.*\//, '').replace(/\.[^.]*$/, '');
  for (const format of exportFormats) {
    for (const triangulate of [false, true]) {
      const name = stem + format;
      const what = `export ${name}${triangulate ? ' --triangulate' : ''} of ${file}`;
      const n = nativeExport(file, name, triangulate);
      const p = pagedExport(file, name, triangulate);
      ++exports;
      if (n.error) {
        if (p.ok) fail(`${what}: the command line failed (${n.error}), the page did not`);
        else if (p.error !== n.error) fail(`${what}: error "${p.error}" is not "${n.error}"`);
        else ++passed;
      } else if (!p.ok) {
        fail(`${what}: the page failed: ${p.error}`);
      } else if ([...n.made.keys()].join() !== [...p.made.keys()].join()) {
        fail(`${what}: files ${[...p.made.keys()]} are not ${[...n.made.keys()]}`);
      } else if ([...n.made].some(([k, v]) => !withoutTime(v).equals(withoutTime(p.made.get(k))))) {
        fail(`${what}: bytes differ`);
      } else {
        ++passed;
      }
    }
  }
}
rmSync(work, { recursive: true, force: true });
console.log(`${files.length} files, ${edits.length} edits each; ${exports} exports`);
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
