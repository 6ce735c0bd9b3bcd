// The page in a real browser, as a user drives it: Debian's Chromium, headless, driven by
// puppeteer-core. The page loads from a local static server and from file://, a dropped file
// opens, Halvejoin runs, the downloaded file is the command line's output byte for byte, a
// zoom step changes the canvas, bad files give the command line's errors and keep the
// document; polygon files of Assimp's formats open through their reader worker and export as
// the command line's; a screenshot in each language goes to the folder given.
//   node web/tests/browser.mjs PAGE_DIR ZEVRIN EXAMPLES_DIR SCREENSHOT_DIR
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { launch, serve } from './harness.mjs';

const [pageDir, cli, examples, shots] = process.argv.slice(2).map((p) => resolve(p));
let passed = 0;
let failed = 0;
function check(ok, what) {
  if (ok) ++passed;
  else {
    ++failed;
    console.log('FAIL ' + what);
  }
}

// Drops a file with these bytes onto the page, as the desktop's file manager would.
async function drop(page, name, bytes) {
  await page.evaluate((n, b64) => {
    const bin = atob(b64);
    const data = new Uint8Array(bin.length);
    for (let i = 0; i < bin.length; ++i) data[i] = bin.charCodeAt(i);
    const dt = new DataTransfer();
    dt.items.add(new File([data], n));
    document.getElementById('view').dispatchEvent(
      new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
  }, name, Buffer.from(bytes).toString('base64'));
}

const text = (page, id) =>
  page.$eval('#' + id, (el) => (el.tagName === 'TEXTAREA' || el.tagName === 'INPUT' ? el.value : el.textContent));
const status = (page) => page.$eval('#status', (el) => el.textContent);
async function waitFor(page, fn, ...args) {
  await page.waitForFunction(fn, { timeout: 60000, polling: 50 }, ...args);
}
// Waits until the command in flight has answered.
async function settled(page) {
  await waitFor(page, () => window.zevrinIdle());
}
const canvasPixels = (page) => page.$eval('#canvas', (c) => c.toDataURL());

function nativeOutput(args, cwd) {
  const out = join(cwd, 'native_out.mdl');
  execFileSync(cli, ['-q', ...args, '-o', out], { cwd });
  return readFileSync(out);
}

function nativeError(args, cwd) {
  try {
    execFileSync(cli, ['-q', ...args], { cwd, stdio: ['ignore', 'pipe', 'pipe'] });
  } catch (e) {
    return e.stderr.toString().trim();
  }
  return '';
}

// Waits for the download `name` in `folder`; null after ten seconds.
async function downloaded(folder, name) {
  for (let i = 0; i < 100; ++i) {
    const done = readdirSync(folder).filter((n) => !n.endsWith('.crdownload'));
    if (done.includes(name)) return readFileSync(join(folder, name));
    await new Promise((r) => setTimeout(r, 100));
  }
  return null;
}

// Drops a file and waits until the page has answered it.
async function dropAndWait(page, name, bytes) {
  const seq = await page.evaluate(() => window.zevrinLast.seq);
  await drop(page, name, bytes);
  await waitFor(page, (s) => window.zevrinLast.seq > s && window.zevrinIdle(), seq);
}

// Assimp's formats: an OBJ and a binary STL open through the reader worker with the command
// line's counts, and export as GLB byte for byte as `zevrin export` writes it. Hostile files
// (PLY files cut short, on which Assimp loops for ever; a PLY file that claims more vertices
// than the reader's memory holds) end in the desktop's named error, and the document opened
// before stays.
async function polygonFiles(page, downloads) {
  const data = join(examples, '..', 'tests', 'data');
  for (const name of ['cube.obj', 'cube_binary.stl']) {
    const path = join(data, 'assimp', name);
    await dropAndWait(page, name, readFileSync(path));
    const counts = execFileSync(cli, ['-q', 'info', path], { encoding: 'utf8' }).trim();
    check(await text(page, 'memo') === counts, `${name}: memo ${await text(page, 'memo')} is ${counts}`);
    await page.select('#export-format', '.glb');
    await page.click('#obj-button');
    await waitFor(page, () => window.zevrinLast.cmd === 'exportPatches');
    const glb = name.replace(/\.[^.]*$/, '.glb');
    const got = await downloaded(downloads, glb);
    execFileSync(cli, ['-q', 'export', path, '-o', glb], { cwd: work });
    check(got && got.equals(readFileSync(join(work, glb))), `${name}: ${glb} is the command line's`);
  }
  const memo = await text(page, 'memo');
  const picture = await canvasPixels(page);
  const second = { seconds: 1 };
  const oneSecond = ['--reader-timeout', '1'];
  const hostile = [
    ['cut.ply', 'ply\nformat ascii', second, oneSecond],
    ['cut2.ply', 'ply\nformat ascii 1.0\nelement vertex 3\n', second, oneSecond],
    ['cut3.ply', 'ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n',
     second, oneSecond],
    // Under the default limits, as the desktop reads it.
    ['vast.ply', 'ply\nformat binary_little_endian 1.0\nelement vertex 400000000\n' +
     'property float x\nproperty float y\nproperty float z\nend_header\n', null, []],
  ];
  for (const [name, content, limits, option] of hostile) {
    writeFileSync(join(work, name), content);
    await page.evaluate((l) => { polygons.limits = l; }, limits);
    const start = Date.now();
    await drop(page, name, Buffer.from(content));
    await waitFor(page, () => document.getElementById('error-box').open);
    const took = Date.now() - start;
    const shown = await text(page, 'error-text');
    const native = nativeError([...option, '--lang', 'en', 'info', name], work);
    check(shown === native, `${name}: the error "${shown}" is the command line's "${native}"`);
    if (limits) check(took >= 1000 && took < 5000, `${name}: ended by the time limit (${took} ms)`);
    await page.click('#error-ok');
    await settled(page);
    check(await text(page, 'memo') === memo, `${name}: the memo stays`);
    check(await canvasPixels(page) === picture, `${name}: the picture stays`);
  }
  // A reader worker that dies, or never answers: the desktop's errors for a reader that
  // crashed or ran out of time, in both languages.
  const faults = [
    ['crash', null, 'The polygon file reader crashed (Uncaught Error: test crash)',
     'ポリゴンファイルの読み込みプロセスが異常終了しました (Uncaught Error: test crash)'],
    ['hang', second, 'Reading the polygon file did not finish within 1 s',
     'ポリゴンファイルの読み込みが 1 秒以内に終わりませんでした'],
  ];
  for (const [fault, limits, english, japanese] of faults) {
    await page.evaluate((f, l) => { polygons.fault = f; polygons.limits = l; }, fault, limits);
    await drop(page, 'shape.obj', readFileSync(join(data, 'pentagon.obj')));
    await waitFor(page, () => document.getElementById('error-box').open);
    const shown = await page.evaluate(() => state.last.error);
    check(shown.en === 'shape.obj: ' + english && shown.ja === 'shape.obj: ' + japanese,
          `${fault}: ${JSON.stringify(shown)}`);
    await page.click('#error-ok');
    await settled(page);
    check(await text(page, 'memo') === memo, `${fault}: the memo stays`);
    check(await canvasPixels(page) === picture, `${fault}: the picture stays`);
  }
  await page.evaluate(() => { polygons.limits = null; polygons.fault = ''; });
  // And the next file opens as ever.
  await dropAndWait(page, 'cube.obj', readFileSync(join(data, 'assimp', 'cube.obj')));
  check(await page.evaluate(() => window.zevrinLast.ok), 'a polygon file opens after the faults');
}

const work = mkdtempSync(join(tmpdir(), 'zevrin-browser-'));
mkdirSync(shots, { recursive: true });
const server = await serve(pageDir);
const url = `http://127.0.0.1:${server.address().port}/`;
const halfBox = readFileSync(join(examples, 'half_box.mdl'));

try {
  for (const lang of ['ja', 'en']) {
    const browser = await launch(lang);
    const page = await browser.newPage();
    // The browser's language, as the system would set it.
    await page.evaluateOnNewDocument((l) => {
      Object.defineProperty(navigator, 'language', { get: () => l });
      Object.defineProperty(navigator, 'languages', { get: () => [l] });
    }, lang === 'ja' ? 'ja-JP' : 'en-US');
    await page.setViewport({ width: 1000, height: 700 });
    const downloads = join(work, 'downloads_' + lang);
    mkdirSync(downloads);
    const cdp = await page.createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    await page.goto(url);
    await page.evaluate(() => window.zevrinReady);
    check(await page.$eval('html', (h) => h.lang) === lang, `${lang}: the page speaks the browser's language`);
    check(await text(page, 'zoom-fit') === (lang === 'ja' ? '全体表示' : 'Fit'), `${lang}: captions`);

    // Open by dropping, then Halvejoin with the tolerance typed.
    await drop(page, 'half_box.mdl', halfBox);
    await settled(page);
    await waitFor(page, () => window.zevrinLast && window.zevrinLast.cmd === 'open');
    check(await status(page) === (lang === 'ja' ? 'half_box.mdl を読み込みました。' : 'Opend half_box.mdl'),
          `${lang}: status after the drop: ${await status(page)}`);
    check(await text(page, 'memo') === 'Number of cp=12\nNumber of spline=4', `${lang}: memo after open`);
    await page.$eval('#tolerance', (el) => { el.value = ''; });
    await page.type('#tolerance', '0.001');
    await page.click('#halvejoin');
    await waitFor(page, () => window.zevrinLast.cmd === 'halvejoin');
    await settled(page);
    check(await text(page, 'memo') === 'Number of cp=12+8->20\nNumber of spline=4+2->6',
          `${lang}: memo after Halvejoin: ${await text(page, 'memo')}`);

    // A zoom step draws the picture anew, larger.
    const before = await canvasPixels(page);
    await page.click('#zoom-in');
    await settled(page);
    check(await canvasPixels(page) !== before, `${lang}: a zoom step changes the canvas`);
    await page.click('#zoom-fit');
    await settled(page);
    check(await canvasPixels(page) === before, `${lang}: fit gives the first picture back`);
    await page.screenshot({ path: join(shots, `page_${lang}.png`) });

    // The label switch draws the control points' ids; the language switch turns the captions
    // and the status line over at once.
    await page.click('#cpid');
    await settled(page);
    check(await canvasPixels(page) !== before, `${lang}: CPID表示 labels the points`);
    await page.click('#cpid');
    await settled(page);
    check(await canvasPixels(page) === before, `${lang}: without labels the picture is as before`);
    const other = lang === 'ja' ? 'en' : 'ja';
    await page.select('#lang-select', other);
    check(await status(page) === (other === 'ja' ? 'half_box.mdl をHalvejoinしました。' : 'Halvejoined half_box.mdl'),
          `${lang}: switched to ${other}: ${await status(page)}`);
    check(await text(page, 'zoom-fit') === (other === 'ja' ? '全体表示' : 'Fit'), `${lang}: captions switched`);
    await page.select('#lang-select', lang);

    // The download is the command line's output.
    await page.click('#save-button');
    await waitFor(page, () => window.zevrinLast.cmd === 'save');
    let saved = null;
    for (let i = 0; i < 100 && !saved; ++i) {
      const done = readdirSync(downloads).filter((n) => !n.endsWith('.crdownload'));
      if (done.includes('half_box.mdl')) saved = readFileSync(join(downloads, 'half_box.mdl'));
      else await new Promise((r) => setTimeout(r, 100));
    }
    const expected = nativeOutput(['halvejoin', join(examples, 'half_box.mdl'), '-t', '0.001'], work);
    check(saved && saved.equals(expected), `${lang}: the download equals the command line's output`);

    // Bad files: the command line's error, and the document, memo and picture as they were.
    const picture = await canvasPixels(page);
    const memo = await text(page, 'memo');
    const cut = readFileSync(join(examples, '..', 'tests', 'data', 'halvejoin_in.mdl')).subarray(0, 450);
    writeFileSync(join(work, 'cut.mdl'), cut);
    for (const [name, bytes] of [['cut.mdl', cut], ['notes.txt', Buffer.from('hello')]]) {
      writeFileSync(join(work, name), bytes);
      await drop(page, name, bytes);
      await waitFor(page, () => document.getElementById('error-box').open);
      const shown = await text(page, 'error-text');
      const native = nativeError(['--lang', lang, 'info', name], work);
      check(shown === native, `${lang}: ${name}: the error "${shown}" is the command line's "${native}"`);
      await page.click('#error-ok');
      check(await text(page, 'memo') === memo, `${lang}: ${name}: the memo stays`);
      check(await canvasPixels(page) === picture, `${lang}: ${name}: the picture stays`);
    }
    // A tag file of the modeller's later versions: drawn, and saved back byte for byte.
    const thom = readFileSync(join(examples, '..', 'tests', 'data', 'tag', 'Thom2.mdl'));
    {
      const seq = await page.evaluate(() => window.zevrinLast.seq);
      await drop(page, 'Thom2.mdl', thom);
      await waitFor(page, (s) => window.zevrinLast.seq > s && window.zevrinIdle(), seq);
      await settled(page);
      check(await text(page, 'memo') === 'Number of cp=874\nNumber of spline=77', `${lang}: a tag file opens`);
      check(await canvasPixels(page) !== picture, `${lang}: the tag file is drawn`);
      await page.screenshot({ path: join(shots, `page_tag_${lang}.png`) });
      await page.click('#save-button');
      await waitFor(page, () => window.zevrinLast.cmd === 'save');
      let back = null;
      for (let i = 0; i < 100 && !back; ++i) {
        const done = readdirSync(downloads).filter((n) => !n.endsWith('.crdownload'));
        if (done.includes('Thom2.mdl')) back = readFileSync(join(downloads, 'Thom2.mdl'));
        else await new Promise((r) => setTimeout(r, 100));
      }
      check(back && back.equals(thom), `${lang}: the tag file downloads as it was opened`);
    }
    // Nesting at the page's limit still opens in the browser's worker; one more is refused.
    if (lang === 'en') {
      for (const [depth, opens] of [[4000, true], [4001, false]]) {
        const deep = '[S]\r\n'.repeat(depth) + '[ENDS]\r\n'.repeat(depth);
        const seq = await page.evaluate(() => window.zevrinLast.seq);
        await drop(page, 'deep.mdl', Buffer.from(deep));
        await waitFor(page, (s) => window.zevrinLast.seq > s && window.zevrinIdle(), seq);
        const ok = await page.evaluate(() => window.zevrinLast.ok);
        check(ok === opens, `nesting ${depth} deep ${opens ? 'opens' : 'is refused'}`);
        if (!ok) {
          const shown = await text(page, 'error-text');
          check(shown === 'deep.mdl:4001: Sections nested too deeply (at most 4000 levels)', `deep error: ${shown}`);
          await page.click('#error-ok');
        }
      }
    }
    if (lang === 'en') await polygonFiles(page, downloads);
    await browser.close();
  }

  // The same page from file://: its worker comes from the page itself.
  const browser = await launch('en');
  const page = await browser.newPage();
  await page.goto('file://' + join(pageDir, 'index.html'));
  await page.evaluate(() => window.zevrinReady);
  await drop(page, 'half_box.mdl', halfBox);
  await waitFor(page, () => window.zevrinLast && window.zevrinLast.cmd === 'open');
  check(await status(page) === 'Opend half_box.mdl', 'file://: a dropped file opens');
  // A polygon file too: its reader worker and the module compiled for it work from file://.
  const cube = join(examples, '..', 'tests', 'data', 'assimp', 'cube.obj');
  await dropAndWait(page, 'cube.obj', readFileSync(cube));
  check(await text(page, 'memo') === execFileSync(cli, ['-q', 'info', cube], { encoding: 'utf8' }).trim(),
        `file://: a polygon file opens: ${await text(page, 'memo')}`);
  check(await page.evaluate(() => polygons.module !== null), 'file://: the module is compiled once for the readers');
  await browser.close();
} finally {
  server.close();
  rmSync(work, { recursive: true, force: true });
}
console.log(`screenshots: ${join(shots, 'page_ja.png')} ${join(shots, 'page_en.png')}`);
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
