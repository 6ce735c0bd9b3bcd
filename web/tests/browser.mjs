// The page in a real browser, as a user drives it: Debian's Chromium, headless, driven by
// puppeteer-core. The page loads from a local static server and from file://, a dropped file
// opens, Halvejoin runs, the downloaded file is the command line's output byte for byte, a
// zoom step changes the canvas, bad files give the command line's errors and keep the
// document; undo and redo follow the edits, the page asks before an edited document is
// replaced or closed, Cancel leaves the document as it was; polygon files of Assimp's formats
// open through their reader worker and export as the command line's; a screenshot in each
// language goes to the folder given.
//   node web/tests/browser.mjs PAGE_DIR ZEVRIN EXAMPLES_DIR SCREENSHOT_DIR
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
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
    // A command line built with a sanitizer gives its reader no memory limit (the shadow
    // memory needs the room), so there the vast file runs out of time instead: the page's
    // answer is then the one a release build of the command line gives.
    const native = name === 'vast.ply' && sanitized
      ? 'vast.ply: Reading the polygon file needs more than 2048 MB of memory'
      : nativeError([...option, '--lang', 'en', 'info', name], work);
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
  // Cancel while a reader never answers: only the reader goes; the document stays.
  await page.evaluate(() => { polygons.fault = 'hang'; polygons.limits = null; });
  const seq = await page.evaluate(() => window.zevrinLast.seq);
  await drop(page, 'shape.obj', readFileSync(join(data, 'pentagon.obj')));
  await waitFor(page, () => document.body.classList.contains('busy'));
  await page.click('#cancel-button');
  await waitFor(page, (s) => window.zevrinLast.seq > s && window.zevrinIdle(), seq);
  check(await page.evaluate(() => window.zevrinLast.cancelled) &&
        await status(page) === 'Cancelled; the document is as it was.', `Cancel ends a read: ${await status(page)}`);
  check(await text(page, 'memo') === memo && await canvasPixels(page) === picture, 'Cancel of a read keeps the document');
  await page.evaluate(() => { polygons.limits = null; polygons.fault = ''; });
  // And the next file opens as ever.
  await dropAndWait(page, 'cube.obj', readFileSync(join(data, 'assimp', 'cube.obj')));
  check(await page.evaluate(() => window.zevrinLast.ok), 'a polygon file opens after the faults');
}

const sanitized = readFileSync(cli).includes('__asan_init');
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
    // The same in the tag format, as the window's Save As offers it.
    if (lang === 'en') {
      rmSync(join(downloads, 'half_box.mdl'));
      const formats = await page.$$eval('#save-format option', (os) => os.map((o) => o.textContent));
      check(formats.join('|') === 'AniMas ModelFile(seg,mdl) (*.seg *.mdl)|AniMas tag file, version 14 and later(mdl) (*.mdl)',
            `the save formats are named as in the window: ${formats.join('|')}`);
      await page.select('#save-format', 'tag');
      await page.click('#save-button');
      await waitFor(page, () => window.zevrinLast.cmd === 'save' && window.zevrinIdle());
      let tagged = null;
      for (let i = 0; i < 100 && !tagged; ++i) {
        const done = readdirSync(downloads).filter((n) => !n.endsWith('.crdownload'));
        if (done.includes('half_box.mdl')) tagged = readFileSync(join(downloads, 'half_box.mdl'));
        else await new Promise((r) => setTimeout(r, 100));
      }
      const expectedTag = nativeOutput(['halvejoin', join(examples, 'half_box.mdl'), '-t', '0.001', '--format', 'tag'], work);
      check(tagged && tagged.equals(expectedTag), 'the tag-format download equals the command line\'s');
      await page.select('#save-format', 'bracketed');
    }

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
    // Cancel during a long edit: the worker is ended and the document built anew, as it was.
    if (lang === 'en') {
      const big = join(work, 'big.mdl');
      execFileSync(join(dirname(cli), 'zevrin_web_gen'), ['--model', '300000', big]);
      let seq = await page.evaluate(() => window.zevrinLast.seq);
      await drop(page, 'big.mdl', readFileSync(big));
      await waitFor(page, (s) => window.zevrinLast.seq > s && window.zevrinIdle(), seq);
      const opened = { memo: await text(page, 'memo'), picture: await canvasPixels(page), title: await page.title() };
      seq = await page.evaluate(() => window.zevrinLast.seq);
      await page.click('#halvejoin');
      await waitFor(page, () => document.body.classList.contains('busy'));
      await page.click('#cancel-button');
      await waitFor(page, (s) => window.zevrinLast.seq > s && window.zevrinIdle(), seq);
      check(await page.evaluate(() => window.zevrinLast.cancelled), 'Cancel ends the edit');
      check(await status(page) === 'Cancelled; the document is as it was.', `status after Cancel: ${await status(page)}`);
      check(await text(page, 'memo') === opened.memo && await page.title() === opened.title &&
            await canvasPixels(page) === opened.picture, 'after Cancel the document is as it was');
      check(await page.$eval('#undo-button', (b) => b.disabled), 'nothing to undo after a cancelled edit');
      await page.click('#connect');
      await waitFor(page, () => window.zevrinLast.cmd === 'connect');
      await settled(page);
      check(await page.evaluate(() => window.zevrinLast.ok), 'the worker built anew takes the next edit');
      await page.click('#undo-button');
      await waitFor(page, () => window.zevrinLast.cmd === 'undo');
      await settled(page);
      check(await page.title() === opened.title, 'and undoes it');
    }
    // Undo and redo start from the tag file, opened anew.
    {
      const seq = await page.evaluate(() => window.zevrinLast.seq);
      await drop(page, 'Thom2.mdl', thom);
      await waitFor(page, (s) => window.zevrinLast.seq > s && window.zevrinIdle(), seq);
    }
    // Undo and redo: the buttons, the keys, the title's mark, the status line.
    {
      const title = () => page.title();
      check(await title() === 'Zevrin Ver0.56 - Thom2.mdl', `${lang}: title after open: ${await title()}`);
      const thomPicture = await canvasPixels(page);
      await page.click('#connect');
      await waitFor(page, () => window.zevrinLast.cmd === 'connect');
      await settled(page);
      check(await title() === 'Zevrin Ver0.56 - Thom2.mdl *', `${lang}: an edit marks the title: ${await title()}`);
      const undoCaption = lang === 'ja' ? '元に戻す: Connect grouped splines' : 'Undo Connect grouped splines';
      check(await text(page, 'undo-button') === undoCaption, `${lang}: undo button: ${await text(page, 'undo-button')}`);
      const connectedPicture = await canvasPixels(page);
      await page.focus('#canvas');
      await page.keyboard.down('Control');
      await page.keyboard.press('z');
      await page.keyboard.up('Control');
      await waitFor(page, () => window.zevrinLast.cmd === 'undo');
      await settled(page);
      check(await status(page) === (lang === 'ja' ? 'Connect grouped splines を元に戻しました。' : 'Undid Connect grouped splines'),
            `${lang}: Ctrl+Z undoes: ${await status(page)}`);
      check(await title() === 'Zevrin Ver0.56 - Thom2.mdl', `${lang}: undone back to the opened file: ${await title()}`);
      check(await canvasPixels(page) === thomPicture, `${lang}: the picture of the opened file is back`);
      await page.keyboard.down('Control');
      await page.keyboard.press('y');
      await page.keyboard.up('Control');
      await waitFor(page, () => window.zevrinLast.cmd === 'redo');
      await settled(page);
      check(await canvasPixels(page) === connectedPicture, `${lang}: Ctrl+Y redoes`);
      await page.click('#undo-button');
      await waitFor(page, () => window.zevrinLast.cmd === 'undo');
      await settled(page);
      await page.keyboard.down('Control');
      await page.keyboard.down('Shift');
      await page.keyboard.press('z');
      await page.keyboard.up('Shift');
      await page.keyboard.up('Control');
      await waitFor(page, () => window.zevrinLast.cmd === 'redo');
      await settled(page);
      check(await status(page) === (lang === 'ja' ? 'Connect grouped splines をやり直しました。' : 'Redid Connect grouped splines'),
            `${lang}: Ctrl+Shift+Z redoes: ${await status(page)}`);

      // Another file over the edited one: the question first; Cancel keeps the document.
      const seq = await page.evaluate(() => window.zevrinLast.seq);
      await drop(page, 'half_box.mdl', halfBox);
      await waitFor(page, () => document.getElementById('question-box').open);
      check((await text(page, 'question-text')) === (lang === 'ja'
        ? 'Thom2.mdl は変更されています。変更を保存しますか?' : 'Thom2.mdl has been changed. Save the changes?'),
            `${lang}: the question before a replace: ${await text(page, 'question-text')}`);
      await page.screenshot({ path: join(shots, `page_question_${lang}.png`) });
      // The history's keys wait for the answer too.
      await page.keyboard.down('Control');
      await page.keyboard.press('z');
      await page.keyboard.up('Control');
      await page.click('#question-cancel');
      await new Promise((r) => setTimeout(r, 300));
      check(await page.evaluate(() => window.zevrinLast.seq) === seq && (await title()).endsWith('Thom2.mdl *'),
            `${lang}: Cancel keeps the edited document, and Ctrl+Z waited for the answer`);
      await drop(page, 'half_box.mdl', halfBox);
      await waitFor(page, () => document.getElementById('question-box').open);
      await page.click('#question-discard');
      await waitFor(page, (s) => window.zevrinLast.seq > s && window.zevrinIdle(), seq);
      check(await title() === 'Zevrin Ver0.56 - half_box.mdl', `${lang}: Don't Save opens the other file: ${await title()}`);

      // Halvejoin of a model that is whole already asks; No changes nothing.
      await page.click('#halvejoin');
      await waitFor(page, () => window.zevrinLast.cmd === 'halvejoin');
      await settled(page);
      const joined = await text(page, 'memo');
      await page.click('#halvejoin');
      await waitFor(page, () => document.getElementById('question-box').open);
      check((await text(page, 'question-text')).startsWith(lang === 'ja' ? 'このモデルには' : 'This model already'),
            `${lang}: Halvejoin of a whole model asks`);
      await page.click('#question-no');
      await new Promise((r) => setTimeout(r, 300));
      check(await text(page, 'memo') === joined, `${lang}: No keeps the model`);

      // Closing the tab with unsaved work: the browser asks.
      const asked = new Promise((ok) => page.once('dialog', async (d) => {
        ok(d.type());
        await d.dismiss();
      }));
      await page.close({ runBeforeUnload: true });
      check(await Promise.race([asked, new Promise((r) => setTimeout(() => r('none'), 5000))]) === 'beforeunload',
            `${lang}: the browser asks before a tab with unsaved work closes`);
    }
    await browser.close();
  }

  // Installable: the manifest parses with its icons, the browser finds nothing missing, and
  // once the service worker has the page cached it opens and works without a network.
  {
    const browser = await launch('en');
    const page = await browser.newPage();
    await page.goto(url);
    await page.evaluate(() => window.zevrinReady);
    await page.evaluate(() => navigator.serviceWorker.ready.then(() => true));
    const cdp = await page.createCDPSession();
    const manifest = await cdp.send('Page.getAppManifest');
    const data = JSON.parse(manifest.data || '{}');
    check(manifest.errors.length === 0 && data.name === 'Zevrin' && data.icons.length === 3,
          `the manifest parses: ${JSON.stringify(manifest.errors)}`);
    const install = await cdp.send('Page.getInstallabilityErrors');
    check(install.installabilityErrors.length === 0,
          `the browser may install the page: ${JSON.stringify(install.installabilityErrors)}`);
    await page.reload();
    await page.evaluate(() => window.zevrinReady);
    check(await page.evaluate(() => !!navigator.serviceWorker.controller), 'the service worker serves the page');
    await page.setOfflineMode(true);
    await page.reload();
    await page.evaluate(() => window.zevrinReady);
    await drop(page, 'half_box.mdl', halfBox);
    await waitFor(page, () => window.zevrinLast && window.zevrinLast.cmd === 'open');
    check(await status(page) === 'Opend half_box.mdl', 'offline: the installed page opens a file');
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
