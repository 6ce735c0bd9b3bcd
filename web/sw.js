// The installed page's service worker: keeps the page and what installation needs in a cache
// of this build, so that the app opens without a network. The build writes its version into
// the cache's name; a new build is a new worker, which replaces the old cache when it takes
// over.
'use strict';

const CACHE = 'zevrin-__VERSION__';
const FILES = ['./', './index.html', './manifest.webmanifest', './icon.svg', './icon-192.png',
               './icon-512.png'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((n) => n.startsWith('zevrin-') && n !== CACHE)
                                      .map((n) => caches.delete(n))))
    .then(() => self.clients.claim()));
});

// The cache first (the page of this build), the network for anything else.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(caches.open(CACHE)
    .then((cache) => cache.match(request, { ignoreSearch: true }))
    .then((hit) => hit || fetch(request)));
});
