// The page against the command line on one large model, in the same run: opening it and
// Halvejoin inside headless Chromium (the core's time in the page's worker, and the page's
// whole time from the file input to the answer) beside the native `zevrin` on the same file,
// with the peak memory of each (the worker's WebAssembly memory, which only grows; the
// command line's highest resident set). The page's saved bytes must be the command line's.
//   node web/tests/bench_browser.mjs PAGE_DIR ZEVRIN MODEL.mdl [RUNS]
import { mkdtempSync, readFileSync, readdirSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { median, openPage, serve, timedRun } from './harness.mjs';

const [pageDir, cliArg, modelArg, runsArg] = process.argv.slice(2);
const cli = resolve(cliArg);
const model = resolve(modelArg);
const runs = Number(runsArg || 3);
const work = mkdtempSync(join(tmpdir(), 'zevrin-bench-web-'));

const timed = (args) => timedRun(cli, args, work);

const nativeOpen = [];
const nativeJoin = [];

for (let i = 0; i < runs; ++i) {
  nativeOpen.push(timed(['info', model]));
  nativeJoin.push(timed(['halvejoin', model, '-t', '0.001', '-o', join(work, 'native.mdl')]));
}

const server = await serve(resolve(pageDir));
const url = `http://127.0.0.1:${server.address().port}/`;
const pageOpen = [];
const pageOpenWall = [];
const pageJoin = [];
const pageSave = [];
let memory = 0;
let same = true;
for (let i = 0; i < runs; ++i) {
  const downloads = join(work, 'downloads' + i);
  const { browser, page } = await openPage(url, downloads);
  const wait = (seq) => page.waitForFunction(
    (s) => window.zevrinLast && window.zevrinLast.seq > s && window.zevrinIdle(),
    { timeout: 600000, polling: 20 }, seq);
  const input = await page.$('#open-input');
  const t0 = Date.now();
  await input.uploadFile(model);
  await wait(0);
  pageOpenWall.push((Date.now() - t0) / 1000);
  let last = await page.evaluate(() => window.zevrinLast);
  pageOpen.push(last.ms / 1000);
  await page.$eval('#tolerance', (el) => { el.value = '0.001'; });
  await page.click('#halvejoin');
  await wait(last.seq);
  last = await page.evaluate(() => window.zevrinLast);
  pageJoin.push(last.ms / 1000);
  await page.click('#save-button');
  await wait(last.seq);
  last = await page.evaluate(() => window.zevrinLast);
  pageSave.push(last.ms / 1000);
  memory = Math.max(memory, last.memoryBytes);
  let file = null;
  for (let k = 0; k < 600 && !file; ++k) {
    const names = readdirSync(downloads).filter((n) => n.endsWith('.mdl'));
    if (names.length) file = join(downloads, names[0]);
    else await new Promise((r) => setTimeout(r, 100));
  }
  same = same && file && readFileSync(file).equals(readFileSync(join(work, 'native.mdl')));
  await browser.close();
}
server.close();

const mb = (bytes) => (bytes / 1048576).toFixed(0) + ' MB';
const o = median(nativeOpen.map((r) => r.seconds));
const j = median(nativeJoin.map((r) => r.seconds));
const po = median(pageOpen);
const pj = median(pageJoin);
const ps = median(pageSave);
console.log(`model ${model}: ${(statSync(model).size / 1048576).toFixed(1)} MB, medians of ${runs} runs`);
console.log(`native  open (zevrin info)          ${o.toFixed(2)} s, peak ${mb(Math.max(...nativeOpen.map((r) => r.kb)) * 1024)}`);
console.log(`native  halvejoin -o (open+edit+save) ${j.toFixed(2)} s, peak ${mb(Math.max(...nativeJoin.map((r) => r.kb)) * 1024)}`);
console.log(`native  Halvejoin and save (halvejoin -o - info) ${(j - o).toFixed(2)} s`);
console.log(`page    open in the worker          ${po.toFixed(2)} s   (${(po / o).toFixed(2)}x native open; from the file input ${median(pageOpenWall).toFixed(2)} s)`);
console.log(`page    Halvejoin in the worker     ${pj.toFixed(2)} s, save ${ps.toFixed(2)} s   (together ${((pj + ps) / Math.max(j - o, 1e-3)).toFixed(2)}x native Halvejoin and save)`);
console.log(`page    open+Halvejoin+save         ${(po + pj + ps).toFixed(2)} s   (${((po + pj + ps) / j).toFixed(2)}x native halvejoin -o)`);
console.log(`page    peak WebAssembly memory     ${mb(memory)}`);
console.log(`page    download equals the command line's output: ${same ? 'yes' : 'NO'}`);
rmSync(work, { recursive: true, force: true });
process.exit(same ? 0 : 1);
