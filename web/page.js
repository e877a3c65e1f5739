// The page around the game: the browser's clock, keys, touches and menus go into the WebAssembly
// module; its picture goes onto the canvas. The game itself runs in the module.
import createFarvane from './farvane.js';

const params = new URLSearchParams(location.search);
// ?test: the test drives the clock (farvaneTest.advance) instead of real time.
const testMode = params.has('test');
let testNow = 0;
const now = testMode ? () => testNow : () => performance.now();

const canvas = document.getElementById('scene');
const context = canvas.getContext('2d', { alpha: false });
const box = document.getElementById('box');
const saveButton = document.getElementById('save');
const endedNote = document.getElementById('ended');
const menus = [...document.querySelectorAll('.menu')];
const entries = [...document.querySelectorAll('[data-entry]')];
const fileTitle = document.getElementById('mnuFile');
const helpTitle = document.getElementById('mnuHelp');

const KeyLeft = 37;
const KeyRight = 39;
// Keys that would scroll the page, move the focus or press a button: the game has them alone.
const pageKeys = new Set([9, 13, 32, 33, 34, 35, 36, 37, 38, 39, 40]);
// A finger held on the playfield steers again after this long, then at this interval.
const TouchRepeatDelay = 500;
const TouchRepeatEvery = 100;

let module = null;
let busy = false;     // a call into the module is running, or waits for the box
let ended = false;
let hiddenSent = false;
let boxOpened = null; // resolves the test's wait when a box comes up
let ratio = window.devicePixelRatio || 1; // the ratio the module draws at

// Puts the module's picture on the canvas: only the rectangles `dirty` names (x, y, width,
// height in device pixels), or all of it when `dirty` is null or the canvas changes size.
function paint(pixels, width, height, dirty = null) {
  const resized = canvas.width !== width || canvas.height !== height;
  if (resized) {
    canvas.width = width;
    canvas.height = height;
  }
  const bytes = new Uint8ClampedArray(module.HEAPU8.buffer, pixels, width * height * 4);
  const picture = new ImageData(bytes, width, height);
  if (resized || !dirty) {
    context.putImageData(picture, 0, 0);
    return;
  }
  for (let i = 0; i < dirty.length; i += 4)
    context.putImageData(picture, 0, 0, dirty[i], dirty[i + 1], dirty[i + 2], dirty[i + 3]);
}

// The rectangles the module's last render drew.
function dirtyRects() {
  const count = module._farvane_dirty_count();
  return new Int32Array(module.HEAPU8.buffer, module._farvane_dirty_rects(), count * 4);
}

function showMenus(state) {
  entries.forEach((entry, i) => { entry.disabled = !(state & (1 << i)); });
  fileTitle.disabled = !(state & (1 << 5));
  helpTitle.disabled = !(state & (1 << 6));
  if (state & (1 << 7)) endGame();
}

function refresh() {
  const pixels = module._farvane_render();
  if (pixels) paint(pixels, module._farvane_width(), module._farvane_height(), dirtyRects());
  showMenus(module._farvane_state());
}

function endGame(reason) {
  if (ended) return;
  ended = true;
  closeMenus();
  canvas.hidden = true;
  if (reason) endedNote.textContent = reason;
  endedNote.hidden = false;
  for (const control of [...entries, fileTitle, helpTitle]) control.disabled = true;
}

// Runs one event of the module. One at a time: while one runs (or its box is up) the page takes
// no other, as the desktop window takes no input under its box.
function run(name, ...args) {
  if (busy || ended || !module) return Promise.resolve(false);
  busy = true;
  return module.ccall(name, 'number', args.map(() => 'number'), args, { async: true }).then((result) => {
    busy = false;
    followPixelRatio();
    sendHidden();
    refresh();
    return result;
  }, (error) => {
    // A fault inside the module: the page says so rather than freeze.
    endGame(`The game stopped on an error: ${error}`);
    throw error;
  });
}

// The box of a lost game. The module's tick waits for it; the picture and menus come along,
// since nothing may call into the module while it waits.
function showBox(prompt, title, shown) {
  paint(shown.pixels, shown.width, shown.height);
  showMenus(shown.menuState);
  closeMenus();
  document.getElementById('boxTitle').textContent = title;
  document.getElementById('boxPrompt').textContent = prompt;
  return new Promise((resolve) => {
    // OK, Enter or Escape: whatever closes the box answers it.
    box.addEventListener('close', () => resolve(now()), { once: true });
    box.showModal();
    if (boxOpened) boxOpened();
  });
}

// The clock holds while the tab is hidden: a game never jumps or races when the player is back.
function sendHidden() {
  if (busy || ended || !module || document.hidden === hiddenSent) return;
  hiddenSent = document.hidden;
  module._farvane_hidden(now(), hiddenSent ? 1 : 0);
}

function frame() {
  if (ended) return;
  run('farvane_frame', now());
  requestAnimationFrame(frame);
}

function shiftMask(event) {
  return (event.shiftKey ? 1 : 0) | (event.ctrlKey ? 2 : 0) | (event.altKey ? 4 : 0);
}

function openMenu() {
  return menus.find((menu) => !menu.querySelector('.entries').hidden);
}

function closeMenus() {
  for (const menu of menus) {
    menu.querySelector('.entries').hidden = true;
    menu.querySelector('.title').setAttribute('aria-expanded', 'false');
  }
}

function toggleMenu(menu) {
  const wasOpen = openMenu() === menu;
  closeMenus();
  if (wasOpen) return;
  menu.querySelector('.entries').hidden = false;
  menu.querySelector('.title').setAttribute('aria-expanded', 'true');
}

function listen() {
  window.addEventListener('keydown', (event) => {
    if (box.open) return; // the box keeps its keys
    if (openMenu()) {     // so does an open menu: Escape closes it
      if (event.key === 'Escape') closeMenus();
      return;
    }
    if (pageKeys.has(event.keyCode)) event.preventDefault();
    // A held key repeats: each repeat is one more key-down, as on the desktop.
    if (event.keyCode && !event.isComposing) run('farvane_key', now(), event.keyCode, shiftMask(event));
  });

  // A touch on the left or right half of the playfield steers left or right; a held finger
  // repeats like a held key.
  let repeat = null;
  const release = () => { clearTimeout(repeat); repeat = null; };
  canvas.addEventListener('pointerdown', (event) => {
    if (event.pointerType === 'mouse') return;
    event.preventDefault();
    release();
    const half = event.offsetX < canvas.clientWidth / 2 ? KeyLeft : KeyRight;
    const steer = (wait) => {
      if (!box.open) run('farvane_key', now(), half, 0);
      repeat = setTimeout(() => steer(TouchRepeatEvery), wait);
    };
    steer(TouchRepeatDelay);
  });
  for (const end of ['pointerup', 'pointercancel', 'pointerleave']) canvas.addEventListener(end, release);

  for (const menu of menus) {
    menu.querySelector('.title').addEventListener('click', () => toggleMenu(menu));
    // Once a menu is open, pointing at the other title opens that one, as in a menu bar.
    menu.querySelector('.title').addEventListener('pointerenter', () => {
      if (openMenu() && openMenu() !== menu) toggleMenu(menu);
    });
  }
  for (const entry of entries) {
    entry.addEventListener('click', () => {
      entry.blur(); // the keys stay with the game
      closeMenus();
      run('farvane_menu', now(), Number(entry.dataset.entry));
    });
  }
  document.addEventListener('pointerdown', (event) => {
    if (!event.target.closest('.menu')) closeMenus();
  });
  document.addEventListener('visibilitychange', sendHidden);
  saveButton.addEventListener('click', saveRecording);
  listenForRecordings();
}

// A recording picked or dropped on the page plays in real time, as `farvane --watch FILE` plays it.
function listenForRecordings() {
  const picker = document.getElementById('watch');
  picker.addEventListener('change', () => {
    if (picker.files.length) watchFile(picker.files[0]);
    picker.value = '';
  });
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    if (event.dataTransfer.files.length) watchFile(event.dataTransfer.files[0]);
  });
}

// The file's bytes go to the module as they are, as `farvane --script` reads them.
async function watchFile(file) {
  try {
    watch(file.name, new Uint8Array(await file.arrayBuffer()));
  } catch (error) {
    showWatchError(`farvane: cannot read ${file.name}: ${error}`);
  }
}

function showWatchError(message) {
  const note = document.getElementById('watchError');
  note.textContent = message;
  note.hidden = !message;
}

// Starts watching the script `bytes`; a script with an error is refused with the message
// `farvane --script` gives, and the game in play goes on.
function watch(name, bytes) {
  if (busy || !module || box.open) return false;
  if (typeof bytes === 'string') bytes = new TextEncoder().encode(bytes);
  const nameBytes = new TextEncoder().encode(name);
  const input = module._farvane_input(nameBytes.length + bytes.length);
  module.HEAPU8.set(nameBytes, input);
  module.HEAPU8.set(bytes, input + nameBytes.length);
  const error = module.UTF8ToString(module._farvane_watch(now(), nameBytes.length));
  showWatchError(error);
  if (error) return false;
  saveButton.disabled = true; // a watch records nothing
  if (ended) {
    ended = false;
    canvas.hidden = false;
    endedNote.hidden = true;
    requestAnimationFrame(frame);
  }
  refresh();
  return true;
}

// The backing store follows the device's pixel ratio: a zoom or another screen changes it. Looked
// at after every event and frame, when the module is free to draw anew.
function followPixelRatio() {
  if ((window.devicePixelRatio || 1) === ratio) return;
  ratio = window.devicePixelRatio || 1;
  module._farvane_set_ratio(ratio);
}

// The game played so far, up to now, as a script that `farvane --script` replays.
function recording() {
  return module.UTF8ToString(module._farvane_recording());
}

async function saveRecording() {
  if (busy || !module) return;
  if (!ended) await run('farvane_frame', now()); // the record reaches this moment
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([recording()], { type: 'text/plain' }));
  link.download = 'farvane-recording.txt';
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function testHook() {
  return {
    // Moves the page's clock on by `ms`, a frame every 10 ms; stops early when a box comes up.
    // Resolves to 'box' or 'done'.
    async advance(ms) {
      const boxUp = new Promise((resolve) => { boxOpened = () => resolve('box'); });
      for (let left = ms; left > 0 && !box.open; left -= 10) {
        testNow += Math.min(10, left);
        const result = await Promise.race([run('farvane_frame', now()).then(() => 'done'), boxUp]);
        if (result === 'box') return 'box';
      }
      return box.open ? 'box' : 'done';
    },
    // Moves the clock without running a frame (a hidden tab, the time a box is up).
    pass(ms) { testNow += ms; },
    now: () => testNow,
    busy: () => busy,
    boxOpen: () => box.open,
    dump: () => module.UTF8ToString(module._farvane_dump()),
    recording,
    watch,
    virtualNow: () => module._farvane_virtual_now(),
    tickNanos: (ticks) => module._farvane_tick_nanos(ticks),
    // The canvas as base64 RGBA bytes.
    pixels() {
      const bytes = context.getImageData(0, 0, canvas.width, canvas.height).data;
      let text = '';
      for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
      return { width: canvas.width, height: canvas.height, rgba: btoa(text) };
    },
  };
}

async function start() {
  try {
    module = await createFarvane({ showBox });
  } catch (error) {
    endedNote.textContent = `The game could not start here: ${error}`;
    endedNote.hidden = false;
    throw error;
  }
  module._farvane_load(now(), ratio);
  refresh();
  listen();
  saveButton.disabled = false;
  if (testMode) window.farvaneTest = testHook();
  requestAnimationFrame(frame);
  // When the first picture has been painted (a frame later), for the page's start-up figure.
  requestAnimationFrame(() => requestAnimationFrame(() => { window.farvaneFirstFrame = performance.now(); }));
}

start();
