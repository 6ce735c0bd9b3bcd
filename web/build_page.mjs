// Makes the page one file: index.html with its style, its script and its worker (the
// emscripten module, WebAssembly inside, followed by worker.js) written into it, so that it
// needs nothing else from any server and opens from file:// as well. Beside it go what
// installing it as an app needs: the manifest, the icons and the service worker, which caches
// them under the page's own version.
//   node web/build_page.mjs MODULE.js OUT.html
import { copyFileSync, readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { createHash } from 'node:crypto';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const [moduleJs, out] = process.argv.slice(2);
if (!moduleJs || !out) {
  console.error('usage: node build_page.mjs MODULE.js OUT.html');
  process.exit(2);
}
const read = (name) => readFileSync(join(here, name), 'utf8');

// A script's text must not close its element early.
function inline(text, what) {
  if (/<\/script/i.test(text)) {
    console.error(`${what} contains "</script": it cannot be written into the page`);
    process.exit(1);
  }
  return text;
}

const worker = inline(readFileSync(moduleJs, 'utf8') + '\n' + read('worker.js'), 'the worker');
const html = read('index.html')
  .replace('<!-- STYLE -->', () => `<style>\n${read('page.css')}</style>`)
  .replace('<!-- WORKER -->',
           () => `<script type="text/js-worker" id="zevrin-worker">\n${worker}</script>`)
  // polygons.js goes after page.js in the same script, whose functions it uses and lends.
  .replace('<!-- SCRIPT -->', () =>
    `<script>\n${inline(read('page.js') + '\n' + read('polygons.js'), 'the page')}</script>`);
mkdirSync(dirname(out), { recursive: true });
writeFileSync(out, html);
const folder = dirname(out);
copyFileSync(join(here, 'manifest.webmanifest'), join(folder, 'manifest.webmanifest'));
for (const icon of ['icon.svg', 'icon-192.png', 'icon-512.png'])
  copyFileSync(join(here, 'icons', icon), join(folder, icon));
const version = createHash('sha256').update(html).update(read('manifest.webmanifest')).digest('hex');
writeFileSync(join(folder, 'sw.js'), read('sw.js').replace('__VERSION__', version.slice(0, 16)));
console.log(`${out}: ${Buffer.byteLength(html)} bytes`);
