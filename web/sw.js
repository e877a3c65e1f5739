// Keeps the page's files so that a reload with no network still plays. The cache is named after
// the files' contents: a page changed in any byte installs beside it, and the old one goes once
// the new one has every file.
const Cache = 'farvane-@SITE_VERSION@';
const Files = [
  './',
@SITE_FILES@];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(Cache)
    .then((cache) => cache.addAll(Files.map((file) => new Request(file, { cache: 'reload' }))))
    .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((name) => name.startsWith('farvane-') && name !== Cache)
      .map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

// The kept file when there is one (the test's and other queries ignored), else the network's.
self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  event.respondWith(caches.open(Cache)
    .then((cache) => cache.match(event.request, { ignoreSearch: true }))
    .then((kept) => kept || fetch(event.request)));
});
