// The content types the page's files are served with: a service worker's script must come as
// JavaScript, the manifest as a manifest.
const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.webmanifest': 'application/manifest+json', '.png': 'image/png', '.svg': 'image/svg+xml',
};

export function contentType(name) {
  return TYPES[name.slice(name.lastIndexOf('.'))] || 'application/octet-stream';
}
