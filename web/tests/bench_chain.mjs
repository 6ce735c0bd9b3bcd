// A polygon file through the user's whole path in the page against the command line, in one
// run: open (the reader worker, then the conversion), Connect grouped splines, Halvejoin and
// Save As in headless Chromium, each step's time in the page's worker beside the same step of
// the native `zevrin` (a step's time there is the difference of two runs: with the step and
// without it), and the peak memory of each. The page's saved bytes must be the command line's.
//   node web/tests/bench_chain.mjs PAGE_DIR ZEVRIN FILE [RUNS]
import { mkdtempSync, readFileSync, readdirSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join, resolve } from 'node:path';
import { median, openPage, serve, timedRun } from './harness.mjs';

const [pageDir, cliArg, fileArg, runsArg] = process.argv.slice(2);
const cli = resolve(cliArg);
const file = resolve(fileArg);
const runs = Number(runsArg || 3);
const work = mkdtempSync(join(tmpdir(), 'zevrin-bench-chain-'));

const timed = (args) => timedRun(cli, args, work);

const tolerance = '0.001';
const native = { open: [], save: [], connect: [], halvejoin: [], peakKb: 0 };
for (let i = 0; i < runs; ++i) {
  const info = timed(['info', file]);
  const convert = timed(['convert', file, '-o', 'converted.mdl']);
  const connect = timed(['connect', file, '-o', 'connected.mdl']);
  const reopen = timed(['convert', 'connected.mdl', '-o', 'again.mdl']);
  const join_ = timed(['halvejoin', 'connected.mdl', '-t', tolerance, '-o', 'native.mdl']);
  native.open.push(info.seconds);
  native.save.push(convert.seconds - info.seconds);
  native.connect.push(connect.seconds - convert.seconds);
  native.halvejoin.push(join_.seconds - reopen.seconds);
  native.peakKb = Math.max(native.peakKb, info.kb, convert.kb, connect.kb, join_.kb);
}

const server = await serve(resolve(pageDir));
const url = `http://127.0.0.1:${server.address().port}/`;
const paged = { open: [], connect: [], halvejoin: [], save: [] };
let memory = 0;
let same = true;
for (let i = 0; i < runs; ++i) {
  const downloads = join(work, 'downloads' + i);
  const { browser, page } = await openPage(url, downloads);
  const wait = (seq) => page.waitForFunction(
    (s) => window.zevrinLast && window.zevrinLast.seq > s && window.zevrinIdle(),
    { timeout: 1800000, polling: 50 }, seq);
  const step = async (click) => {
    const before = await page.evaluate(() => window.zevrinLast.seq);
    const t0 = Date.now();
    await click();
    await wait(before);
    const last = await page.evaluate(() => window.zevrinLast);
    if (!last.ok) throw new Error(`${last.cmd} failed: ${await page.$eval('#error-text', (e) => e.textContent)}`);
    memory = Math.max(memory, last.memoryBytes || 0);
    return { core: last.ms / 1000, wall: (Date.now() - t0) / 1000 };
  };
  await page.evaluate(() => { window.zevrinLast = { seq: 0 }; });
  const input = await page.$('#open-input');
  const opened = await step(() => input.uploadFile(file));
  // The read in its own worker comes before the conversion: the whole open is the wall time.
  paged.open.push(opened.wall);
  paged.connect.push((await step(() => page.click('#connect'))).core);
  await page.$eval('#tolerance', (el, t) => { el.value = t; }, tolerance);
  paged.halvejoin.push((await step(() => page.click('#halvejoin'))).core);
  paged.save.push((await step(() => page.click('#save-button'))).core);
  let saved = null;
  for (let k = 0; k < 1200 && !saved; ++k) {
    const names = readdirSync(downloads).filter((n) => n.endsWith('.mdl'));
    if (names.length) saved = join(downloads, names[0]);
    else await new Promise((r) => setTimeout(r, 100));
  }
  same = same && saved && readFileSync(saved).equals(readFileSync(join(work, 'native.mdl')));
  await browser.close();
}
server.close();

const mb = (bytes) => (bytes / 1048576).toFixed(0) + ' MB';
console.log(`${basename(file)}: ${(statSync(file).size / 1048576).toFixed(1)} MB, medians of ${runs} runs`);
console.log('step        native     page       ratio');
for (const s of ['open', 'connect', 'halvejoin', 'save']) {
  const n = median(native[s]);
  const p = median(paged[s]);
  console.log(`${s.padEnd(10)}  ${n.toFixed(2).padStart(6)} s  ${p.toFixed(2).padStart(6)} s  ${(p / Math.max(n, 1e-3)).toFixed(2)}x`);
}
console.log(`native peak resident ${mb(native.peakKb * 1024)}; page peak WebAssembly memory of the document's worker ${mb(memory)}`);
console.log(`page's saved model equals the command line's: ${same ? 'yes' : 'NO'}`);
rmSync(work, { recursive: true, force: true });
process.exit(same ? 0 : 1);
