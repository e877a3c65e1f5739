// Keeps the page's files so that a reload with no network still plays. Each file is kept under
// its name and the SHA-256 of its contents: a new version of the page fetches only the files
// that changed, and a first visit takes from the browser's cache what the page has just loaded
// rather than download it again.
const Version = '@SITE_VERSION@';
const Cache = 'farvane-files';
const Files = [
@SITE_FILES@];

const keyOf = (file, sum) => new URL(`${file}?sha256=${sum}`, self.registration.scope).href;
// The kept key of each path the page asks for.
const Keys = new Map(Files.map(([file, sum]) => [new URL(file, self.registration.scope).pathname, keyOf(file, sum)]));

async function sha256(response) {
  const digest = await crypto.subtle.digest('SHA-256', await response.clone().arrayBuffer());
  return [...new Uint8Array(digest)].map((byte) => byte.toString(16).padStart(2, '0')).join('');
}

// The file with the contents `sum`: the browser's cached copy when it has those contents, else
// the network's. A server whose file is not (yet) what this version lists fails the install,
// and the version before goes on.
async function fetchExactly(file, sum) {
  for (const mode of ['force-cache', 'reload']) {
    const response = await fetch(new Request(file, { cache: mode }));
    if (response.ok && await sha256(response) === sum) return response;
  }
  throw new Error(`${file} is not the file of version ${Version}`);
}

async function keep() {
  const cache = await caches.open(Cache);
  const fetched = new Map(); // by contents: './' and index.html are one file
  for (const [file, sum] of Files) {
    const key = keyOf(file, sum);
    if (await cache.match(key)) continue;
    if (!fetched.has(sum)) fetched.set(sum, fetchExactly(file, sum));
    const response = await fetched.get(sum);
    await cache.put(key, response.clone());
  }
}

// Drops what no file of this version is kept under, and the caches of earlier workers.
async function forget() {
  const wanted = new Set(Keys.values());
  const cache = await caches.open(Cache);
  for (const request of await cache.keys())
    if (!wanted.has(request.url)) await cache.delete(request);
  for (const name of await caches.keys())
    if (name.startsWith('farvane-') && name !== Cache) await caches.delete(name);
}

self.addEventListener('install', (event) => {
  event.waitUntil(keep().then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(forget().then(() => self.clients.claim()));
});

// The kept file when there is one (the test's and other queries ignored), else the network's.
self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  const key = Keys.get(new URL(event.request.url).pathname);
  if (!key) return;
  event.respondWith(caches.open(Cache)
    .then((cache) => cache.match(key))
    .then((kept) => kept || fetch(event.request)));
});
