// Serves the page's folder on 127.0.0.1 (a plain static server: the page needs nothing else).
//   node web/serve.mjs FOLDER [PORT]
import { createServer } from 'node:http';
import { readFileSync } from 'node:fs';
import { join, normalize } from 'node:path';

const [dir, port = '8056'] = process.argv.slice(2);
const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm' };
createServer((req, res) => {
  const path = normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname)).replace(/^(\.\.[/\\])+/, '');
  const name = path === '/' ? 'index.html' : path.slice(1);
  try {
    const body = readFileSync(join(dir, name));
    res.writeHead(200, { 'Content-Type': types[name.slice(name.lastIndexOf('.'))] || 'application/octet-stream' });
    res.end(body);
  } catch (e) {
    res.writeHead(404);
    res.end('not found');
  }
}).listen(Number(port), '127.0.0.1', () => {
  console.log(`Zevrin in the browser: http://127.0.0.1:${port}/   (Ctrl+C stops the server)`);
});
