// Serves the page's folder on 127.0.0.1 (a plain static server: the page needs nothing else).
//   node web/serve.mjs FOLDER [PORT]
import { createServer } from 'node:http';
import { readFileSync } from 'node:fs';
import { join, normalize } from 'node:path';
import { contentType } from './mime.mjs';

const [dir, port = '8056'] = process.argv.slice(2);
createServer((req, res) => {
  const path = normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname)).replace(/^(\.\.[/\\])+/, '');
  const name = path === '/' ? 'index.html' : path.slice(1);
  try {
    const body = readFileSync(join(dir, name));
    res.writeHead(200, { 'Content-Type': contentType(name) });
    res.end(body);
  } catch (e) {
    res.writeHead(404);
    res.end('not found');
  }
}).listen(Number(port), '127.0.0.1', () => {
  console.log(`Zevrin in the browser: http://127.0.0.1:${port}/   (Ctrl+C stops the server)`);
});
