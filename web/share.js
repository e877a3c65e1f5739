// A game shared as a link: this page's address with the recording in its fragment, deflated and
// in base64url. A fragment never leaves the browser, so the game goes to no server; opening such a
// link watches the game. A link is input from a stranger: its size is bounded while it inflates,
// a check sum tells a cut or altered one, and the script reader checks it as it checks a file.
import { game, now, run, recording } from './game.js';
import { watch, watchedBytes, mayWatch, showWatchError } from './recordings.js';

// The fragment: "w", the format's version, ".", then base64url of the CRC-32 of the recording
// (4 bytes, most significant first) and the recording's raw deflate.
const Format = 'w1.';
const MaxRecording = 16 * 1024 * 1024;
// The link is inflated this many bytes at a time: no one step makes more than about 1000 times
// as much, so the bound holds while inflating, not after.
const InflateSlice = 1024;

const Said = {
  damaged: 'This link has been cut or altered: its game cannot be watched.',
  tooLarge: 'This link holds a recording larger than 16 MB: it is not watched.',
  newer: 'This link was made by a newer version of the game: it cannot be watched here.',
};

class LinkError extends Error {}

const shareButton = document.getElementById('share');
const shareNote = document.getElementById('shareNote');
const shareLink = document.getElementById('shareLink');

const CrcTable = Array.from({ length: 256 }, (_, entry) => {
  for (let bit = 0; bit < 8; ++bit) entry = entry & 1 ? 0xedb88320 ^ (entry >>> 1) : entry >>> 1;
  return entry >>> 0;
});

function crc32(bytes) {
  let crc = ~0;
  for (const byte of bytes) crc = CrcTable[(crc ^ byte) & 0xff] ^ (crc >>> 8);
  return ~crc >>> 0;
}

function toBase64url(bytes) {
  let binary = '';
  for (let at = 0; at < bytes.length; at += 0x8000) binary += String.fromCharCode(...bytes.subarray(at, at + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64url(text) {
  if (!/^[A-Za-z0-9_-]*$/.test(text)) throw new LinkError(Said.damaged);
  let binary;
  try {
    binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  } catch {
    throw new LinkError(Said.damaged);
  }
  return Uint8Array.from(binary, (c) => c.charCodeAt(0));
}

async function deflate(bytes) {
  const stream = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

// The recording `packed` holds, refused as soon as it passes MaxRecording bytes.
async function inflate(packed) {
  const { readable, writable } = new DecompressionStream('deflate-raw');
  const writer = writable.getWriter();
  const feeding = (async () => {
    for (let at = 0; at < packed.length; at += InflateSlice) await writer.write(packed.subarray(at, at + InflateSlice));
    await writer.close();
  })();
  feeding.catch(() => {}); // a fault of the data shows on the reading side too
  const reader = readable.getReader();
  const chunks = [];
  let size = 0;
  for (;;) {
    let chunk;
    try {
      chunk = await reader.read();
    } catch {
      throw new LinkError(Said.damaged);
    }
    if (chunk.done) break;
    size += chunk.value.length;
    if (size > MaxRecording) {
      reader.cancel().catch(() => {});
      throw new LinkError(Said.tooLarge);
    }
    chunks.push(chunk.value);
  }
  const bytes = new Uint8Array(size);
  let at = 0;
  for (const chunk of chunks) {
    bytes.set(chunk, at);
    at += chunk.length;
  }
  return bytes;
}

// The link to this page that holds the recording `bytes`.
export async function linkTo(bytes) {
  const packed = await deflate(bytes);
  const whole = new Uint8Array(4 + packed.length);
  new DataView(whole.buffer).setUint32(0, crc32(bytes));
  whole.set(packed, 4);
  const link = new URL(location.href);
  link.hash = Format + toBase64url(whole);
  return link.href;
}

// The recording a link's fragment holds; a LinkError says what is wrong with it.
export async function recordingOf(fragment) {
  if (!fragment.startsWith(Format)) throw new LinkError(/^w\d+\./.test(fragment) ? Said.newer : Said.damaged);
  const whole = fromBase64url(fragment.slice(Format.length));
  if (whole.length < 5) throw new LinkError(Said.damaged);
  const bytes = await inflate(whole.subarray(4));
  if (crc32(bytes) !== new DataView(whole.buffer).getUint32(0)) throw new LinkError(Said.damaged);
  return bytes;
}

// Watches the game in the page's address, if it holds one: at load, and when it changes. The page
// gives a fragment no other meaning.
async function openLink() {
  const fragment = location.hash.slice(1);
  if (!fragment) return;
  try {
    const bytes = await recordingOf(fragment);
    if (await mayWatch('the game in this link')) watch('link', bytes);
  } catch (error) {
    showWatchError(error instanceof LinkError ? error.message : `This link cannot be watched: ${error}`);
  }
}

// Shares the game watched, or else the player's own game so far.
async function share() {
  if (game.busy || !game.module) return;
  let bytes = watchedBytes();
  if (!bytes) {
    if (!game.ended) await run('farvane_frame', now()); // the record reaches this moment
    bytes = new TextEncoder().encode(recording());
  }
  let link;
  try {
    link = await linkTo(bytes);
  } catch (error) {
    shareNote.textContent = `The game could not be made a link here: ${error}`; // no CompressionStream
    return;
  }
  shareLink.value = link;
  try {
    await navigator.clipboard.writeText(link);
    shareNote.textContent = 'The link is on the clipboard.';
    shareLink.hidden = true;
  } catch {
    // No clipboard here (a page served without HTTPS has none): the link shows, to copy by hand.
    shareNote.textContent = 'Copy the link:';
    shareLink.hidden = false;
    shareLink.select();
  }
  if (navigator.share) navigator.share({ title: document.title, url: link }).catch(() => {});
}

export function listenForLinks() {
  shareButton.addEventListener('click', share);
  window.addEventListener('hashchange', openLink);
  return openLink();
}
