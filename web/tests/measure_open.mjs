// Times the opening of files in the page (from the drop until the page is idle, the reader
// worker included for Assimp's formats) against `zevrin info` (the whole process), best of
// RUNS each; prints one line per file. A measurement, not a test.
//   node web/tests/measure_open.mjs PAGE_DIR ZEVRIN RUNS FILE_OR_FOLDER...
import { execFileSync } from 'node:child_process';
import { readFileSync, readdirSync, statSync } from 'node:fs';
import { basename, join, resolve } from 'node:path';
import { launch, serve } from './harness.mjs';

const [pageDir, cli, runsArg, ...inputs] = process.argv.slice(2);
const runs = Number(runsArg) || 3;
const files = [];
for (const input of inputs) {
  if (statSync(input).isDirectory()) {
    for (const n of readdirSync(input).sort())
      if (statSync(join(input, n)).isFile() && !n.endsWith('.md')) files.push(resolve(join(input, n)));
  } else {
    files.push(resolve(input));
  }
}
const server = await serve(resolve(pageDir));
const browser = await launch('en');
const page = await browser.newPage();
await page.goto(`http://127.0.0.1:${server.address().port}/`);
await page.evaluate(() => window.zevrinReady);
console.log('file\tbytes\tpage ms\tnative ms\tresult');
for (const file of files) {
  const bytes = readFileSync(file);
  let best = Infinity;
  let ok = null;
  for (let r = 0; r < runs; ++r) {
    const result = await page.evaluate(async (name, b64) => {
      const bin = atob(b64);
      const data = new Uint8Array(bin.length);
      for (let i = 0; i < bin.length; ++i) data[i] = bin.charCodeAt(i);
      const seq = window.zevrinLast ? window.zevrinLast.seq : 0;
      const start = performance.now();
      const dt = new DataTransfer();
      dt.items.add(new File([data], name));
      document.getElementById('view').dispatchEvent(
        new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
      while (!(window.zevrinLast && window.zevrinLast.seq > seq && window.zevrinIdle()))
        await new Promise((r) => setTimeout(r, 2));
      const ms = performance.now() - start;
      const box = document.getElementById('error-box');
      if (box.open) box.close();
      return { ms, ok: window.zevrinLast.ok };
    }, basename(file), bytes.toString('base64'));
    best = Math.min(best, result.ms);
    ok = result.ok;
  }
  let native = Infinity;
  for (let r = 0; r < runs; ++r) {
    const start = process.hrtime.bigint();
    try {
      execFileSync(cli, ['-q', 'info', file], { stdio: 'ignore' });
    } catch (e) {
      // a refused file is timed as well
    }
    native = Math.min(native, Number(process.hrtime.bigint() - start) / 1e6);
  }
  console.log(`${basename(file)}\t${bytes.length}\t${best.toFixed(1)}\t${native.toFixed(1)}\t${ok ? 'opened' : 'refused'}`);
}
await browser.close();
server.close();
