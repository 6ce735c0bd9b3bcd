// The page's core against the command line: every test and corpus file and the generated
// ones, opened and put through each edit by the WebAssembly module (as the page's worker
// does) and by the native `zevrin`, must give the same saved bytes, the same memo lines, the
// same attach_err.txt and, where the file fails, the same "FILE:LINE: message".
//   node web/tests/equal_native.mjs ZEVRIN MODULE.js FILE_OR_FOLDER...
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync, statSync, existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';

const [cliArg, modulePath, ...inputs] = process.argv.slice(2);
const cli = cliArg && resolve(cliArg);
if (!cli || !modulePath || inputs.length === 0) {
  console.error('usage: node equal_native.mjs ZEVRIN MODULE.js FILE_OR_FOLDER...');
  process.exit(2);
}

// The page reads model, DXF and ROK files; the formats of Assimp stay with the desktop.
const pageKinds = /\.(mdl|seg|dxf|rok)$/i;
const files = [];
for (const input of inputs) {
  if (statSync(input).isDirectory()) {
    for (const name of readdirSync(input).sort()) {
      const path = join(input, name);
      if (statSync(path).isFile() && pageKinds.test(name)) files.push(resolve(path));
    }
  } else {
    files.push(resolve(input));
  }
}

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

function paged(core, edit, file) {
  const page = new core.Page();
  const bytes = readFileSync(file);
  core.HEAPU8.set(bytes, page.reserve(bytes.length));
  let ok = page.open(file) && edit.run(page);
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

const require = createRequire(import.meta.url);
const core = await require(resolve(modulePath))();
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
rmSync(work, { recursive: true, force: true });
console.log(`${files.length} files, ${edits.length} edits each`);
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
