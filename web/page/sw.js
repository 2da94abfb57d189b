// SPDX-License-Identifier: GPL-3.0-or-later
// Abacorn's service worker: it keeps the page's own files, one version
// whole, so that the next start needs no network. It asks for nothing else.
'use strict';

// The site's files with the SHA-256 of each, and the version they make
// together: written by scripts/web-offline.py when the site is built.
const FILES = {};
const VERSION = 'abacorn';

const href = path => new URL(path, self.registration.scope).href;
const wanted = new Map(Object.entries(FILES).map(([path, hash]) => [href(path), hash]));

function hex(buffer) {
  return Array.from(new Uint8Array(buffer), b => b.toString(16).padStart(2, '0')).join('');
}

async function take(url, hash, older) {
  // A file an earlier version kept, unchanged, costs no transfer.
  for (const cache of older) {
    const kept = await cache.match(url);
    if (kept && kept.headers.get('x-sha256') === hash) return kept;
  }
  const answer = await fetch(url, {cache: 'no-cache', credentials: 'omit', redirect: 'error'});
  if (!answer.ok) throw new Error(`${url}: ${answer.status}`);
  const body = await answer.arrayBuffer();
  // A host half way through an update may serve files of two versions.
  if (hex(await crypto.subtle.digest('SHA-256', body)) !== hash) throw new Error(`${url}: not of ${VERSION}`);
  return new Response(body, {headers: {'content-type': answer.headers.get('content-type') || '', 'x-sha256': hash}});
}

self.addEventListener('install', event => {
  event.waitUntil((async () => {
    const older = await Promise.all((await caches.keys()).filter(n => n !== VERSION).map(n => caches.open(n)));
    const answers = await Promise.all([...wanted].map(([url, hash]) => take(url, hash, older)));
    // A try that failed half way may have left part of this version.
    await caches.delete(VERSION);
    const cache = await caches.open(VERSION);
    await Promise.all([...wanted.keys()].map((url, i) => cache.put(url, answers[i])));
  })());
});

// No skipWaiting() and no clients.claim(): a new version takes over only
// once no page of the old one is open, so that a page sees one version.
self.addEventListener('activate', event => {
  event.waitUntil(caches.keys().then(names => Promise.all(names.filter(n => n !== VERSION).map(n => caches.delete(n)))));
});

self.addEventListener('fetch', event => {
  const request = event.request;
  if (request.method !== 'GET' || !wanted.has(request.url)) return;  // not the page's: the browser's own way
  event.respondWith(caches.open(VERSION).then(cache => cache.match(request.url)).then(kept => kept || fetch(request)));
});
