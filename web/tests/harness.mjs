// What the browser tests and the benchmark share: a static server for the page's folder on
// 127.0.0.1 and Debian's Chromium, headless, driven by puppeteer-core.
import { spawnSync } from 'node:child_process';
import { createServer } from 'node:http';
import { mkdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';
import { contentType } from '../mime.mjs';

export function serve(dir) {
  const server = createServer((req, res) => {
    const path = new URL(req.url, 'http://x').pathname;
    const name = path === '/' ? 'index.html' : decodeURIComponent(path.slice(1));
    try {
      const body = readFileSync(join(dir, name.replace(/\.\.+/g, '')));
      res.writeHead(200, { 'Content-Type': contentType(name) });
      res.end(body);
    } catch (e) {
      res.writeHead(404);
      res.end();
    }
  });
  return new Promise((ok) => server.listen(0, '127.0.0.1', () => ok(server)));
}

export function launch(lang) {
  return puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', `--lang=${lang}`],
    env: Object.assign({}, process.env, { LANG: lang === 'ja' ? 'ja_JP.UTF-8' : 'en_US.UTF-8' }),
  });
}


export const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

// Seconds and peak resident kilobytes of one run of the command line `cli -q ARGS` in `cwd`.
export function timedRun(cli, args, cwd) {
  const run = spawnSync('/usr/bin/time', ['-f', '%e %M', cli, '-q', ...args],
                        { cwd, stdio: ['ignore', 'ignore', 'pipe'] });
  if (run.status !== 0) throw new Error(`${cli} ${args.join(' ')}: ${run.stderr}`);
  const [seconds, kb] = run.stderr.toString().trim().split('\n').pop().split(' ').map(Number);
  return { seconds, kb };
}

// A page of the served Zevrin in a fresh headless browser, its downloads going to `downloads`
// (made here), once the page is ready.
export async function openPage(url, downloads) {
  const browser = await launch('en');
  const page = await browser.newPage();
  mkdirSync(downloads);
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.goto(url);
  await page.evaluate(() => window.zevrinReady);
  return { browser, page };
}
