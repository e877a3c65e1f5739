// The page around the game: the browser's clock, keys, touches and menus go into the WebAssembly
// module; its picture goes onto the canvas. The game itself runs in the module.
import createFarvane from './farvane.js';

const params = new URLSearchParams(location.search);
// ?test: the test drives the clock (farvaneTest.advance) instead of real time; ?test=real keeps
// real time and the page's own timer, with the test's hook.
const testMode = params.has('test');
const virtualTime = testMode && params.get('test') !== 'real';
let testNow = 0;
const now = virtualTime ? () => testNow : () => performance.now();

const page = document.getElementById('page');
const gameWindow = document.getElementById('window');
const client = document.getElementById('client');
const tools = document.getElementById('tools');
const canvas = document.getElementById('scene');
// Desynchronized: the canvas goes to the screen without waiting on the page's own frames, which
// halves the main thread's work a tick in play.
const context = canvas.getContext('2d', { alpha: false, desynchronized: true });
const box = document.getElementById('box');
const boxOk = document.getElementById('boxOk');
const saveButton = document.getElementById('save');
const endedNote = document.getElementById('ended');
const announcer = document.getElementById('announce');
const menus = [...document.querySelectorAll('.menu')];
const entries = [...document.querySelectorAll('[data-entry]')];
const fileTitle = document.getElementById('mnuFile');
const helpTitle = document.getElementById('mnuHelp');
const menubar = document.querySelector('.menubar');

const KeyLeft = 37;
const KeyRight = 39;
// Keys whose browser default would scroll the page or press a button: the game has them alone.
const pageKeys = new Set([13, 32, 33, 34, 35, 36, 37, 38, 39, 40]);
// A finger held on the playfield steers again after this long, then at this interval.
const TouchRepeatDelay = 500;
const TouchRepeatEvery = 100;
const SceneWidth = 441;
const SceneHeight = 425;
// The score is told each time it passes another multiple of this, not on every tick.
const ScoreEvery = 500;

let module = null;
let busy = false;     // a call into the module is running, or waits for the box
let ended = false;
let hiddenSent = false;
let boxOpened = null; // resolves the test's wait when a box comes up
let ratio = 1;        // device pixels per scene pixel, the ratio the module draws at
let layoutDue = true; // the viewport changed since the canvas was last sized
let timer = 0;        // the page's one timer: the next tick due
let calls = 0;        // calls into the module, for the idle test
let okClicks = 0;     // clicks on the box's OK, answered or not, for the test

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

let shownState = -1;
let titleBits = null; // the bits of the File and Help menus and of the end, as the module lays them out

// An entry is greyed by the key it is run by, its data-entry.
function showMenus(state) {
  if (state === shownState) return;
  shownState = state;
  const on = (bit) => (state & (1 << bit)) !== 0;
  for (const entry of entries) entry.disabled = !on(Number(entry.dataset.entry));
  fileTitle.disabled = !on(titleBits[0]);
  helpTitle.disabled = !on(titleBits[1]);
  if (on(titleBits[2])) endGame();
}

function refresh() {
  const pixels = module._farvane_render();
  if (pixels) {
    paint(pixels, module._farvane_width(), module._farvane_height(), dirtyRects());
    announceChanges();
  }
  showMenus(module._farvane_state());
}

function endGame(reason) {
  if (ended) return;
  ended = true;
  clearTimeout(timer);
  closeMenus();
  canvas.hidden = true;
  if (reason) endedNote.textContent = reason;
  endedNote.hidden = false;
  say(endedNote.textContent);
  for (const control of [...entries, fileTitle, helpTitle]) control.disabled = true;
}

// Runs one event of the module. One at a time: while one runs (or its box is up) the page takes
// no other, as the desktop window takes no input under its box.
function run(name, ...args) {
  if (busy || ended || !module) return Promise.resolve(false);
  busy = true;
  calls += 1;
  clearTimeout(timer);
  return module.ccall(name, 'number', args.map(() => 'number'), args, { async: true }).then((result) => {
    busy = false;
    sendHidden();
    if (layoutDue) layout();
    refresh();
    schedule();
    return result;
  }, (error) => {
    // A fault inside the module: the page says so rather than freeze.
    endGame(`The game stopped on an error: ${error}`);
    throw error;
  });
}

// The page sleeps until the next tick is due: no frames and no calls while nothing is.
function schedule() {
  clearTimeout(timer);
  timer = 0;
  if (virtualTime || busy || ended || !module) return;
  const due = module._farvane_next_due();
  if (due < 0) return;
  timer = setTimeout(() => run('farvane_frame', now()), Math.max(0, Math.ceil(due - now())));
}

// --- The canvas's size ---------------------------------------------------------------------

// The largest scene that fits the viewport beside the title, the menu bar and the page's
// controls: below them, or on the right where that leaves more room. The backing store has the
// device pixels the canvas covers, drawn by the module at that ratio, never stretched.
// Before the game has loaded, only `ratio` is set for it to start with.
function layout(loaded = true) {
  layoutDue = false;
  const dpr = window.devicePixelRatio || 1;
  const viewWidth = document.documentElement.clientWidth;
  const viewHeight = document.documentElement.clientHeight;
  const chromeWidth = gameWindow.offsetWidth - client.offsetWidth;
  const chromeHeight = gameWindow.offsetHeight - client.offsetHeight;
  let best = null;
  for (const arrangement of ['below', 'side']) {
    page.dataset.layout = arrangement;
    const style = getComputedStyle(page);
    const padX = parseFloat(style.paddingLeft) + parseFloat(style.paddingRight);
    const padY = parseFloat(style.paddingTop) + parseFloat(style.paddingBottom);
    const toolStyle = getComputedStyle(tools);
    const side = arrangement === 'side';
    const toolsWidth = side ? tools.offsetWidth + parseFloat(toolStyle.marginLeft) : 0;
    const toolsHeight = side ? 0 : tools.offsetHeight + parseFloat(toolStyle.marginTop);
    const room = Math.min((viewWidth - padX - chromeWidth - toolsWidth) / SceneWidth,
                          (viewHeight - padY - chromeHeight - toolsHeight) / SceneHeight);
    if (!best || room > best.room) best = { arrangement, room, padX, toolsWidth };
  }
  page.dataset.layout = best.arrangement;
  // A scene pixel never gets less than a fifth of a device pixel, whatever the window's size.
  const drawRatio = Math.max(best.room * dpr, 0.2);
  const deviceWidth = Math.round(SceneWidth * drawRatio);
  const deviceHeight = Math.round(SceneHeight * drawRatio);
  const cssWidth = `${deviceWidth / dpr}px`;
  const cssHeight = `${deviceHeight / dpr}px`;
  canvas.style.width = client.style.width = cssWidth;
  canvas.style.height = client.style.height = cssHeight;
  // Centred across, on a whole device pixel.
  const spare = (viewWidth - best.padX - chromeWidth - best.toolsWidth - deviceWidth / dpr) / 2;
  gameWindow.style.marginLeft = `${Math.max(0, Math.floor(spare * dpr)) / dpr}px`;
  if (drawRatio !== ratio) {
    ratio = drawRatio;
    if (loaded) module._farvane_set_ratio(ratio);
  }
}

function viewportChanged() {
  layoutDue = true;
  if (box.open) placeBox();
  if (busy || !module || ended) return; // sized when the event in progress is over
  layout();
  refresh();
}

// --- Screen readers ------------------------------------------------------------------------

const heard = { score: 0, high: '', ready: '', shields: 3 };
const said = []; // every announcement, for the test

function say(text) {
  said.push(text);
  if (said.length > 50) said.shift();
  // A new node each time, so the same words twice are still told.
  announcer.replaceChildren(document.createTextNode(text));
}

// Tells what changed that a player watches: the countdown words and texts in the road, the
// shields left, the high score, the score at each multiple of ScoreEvery, and the end of a game.
function announceChanges() {
  const [scoreText, high, ready, shieldsText, over] = module.UTF8ToString(module._farvane_status()).split('\n');
  const score = Number(scoreText) || 0;
  const shields = Number(shieldsText);
  const news = [];
  if (ready !== heard.ready && ready) news.push(ready);
  if (shields !== heard.shields) {
    if (over === '1') news.push(`Game over. Score ${score}`);
    else news.push(`${shields} ${shields === 1 ? 'shield' : 'shields'} left. Score ${score}`);
  } else if (Math.floor(score / ScoreEvery) !== Math.floor(heard.score / ScoreEvery)) {
    news.push(`Score ${score}`);
  }
  if (high !== heard.high && high) news.push(`High score ${high}`);
  Object.assign(heard, { score, high, ready, shields });
  if (news.length) say(news.join('. '));
}

// --- The box -------------------------------------------------------------------------------

let boxShownAt = Infinity; // performance.now() when the box came up
let boxPressed = false;    // a press on the box began after it came up

// The box of a lost game. The module's tick waits for it; the picture and menus come along,
// since nothing may call into the module while it waits. Only a press that begins after the
// box shows answers it: a tap or key already in flight does not.
function showBox(prompt, title, shown) {
  paint(shown.pixels, shown.width, shown.height);
  showMenus(shown.menuState);
  closeMenus();
  document.getElementById('boxTitle').textContent = title;
  document.getElementById('boxPrompt').textContent = prompt;
  return new Promise((resolve) => {
    box.addEventListener('close', () => {
      boxShownAt = Infinity;
      resolve(now());
    }, { once: true });
    boxPressed = false;
    box.showModal();
    boxShownAt = performance.now();
    boxOk.focus();
    placeBox();
    if (boxOpened) boxOpened();
  });
}

// Over the middle of the road, inside the viewport.
function placeBox() {
  const road = client.getBoundingClientRect();
  const left = road.left + (road.width - box.offsetWidth) / 2;
  const top = road.top + (road.height - box.offsetHeight) / 2;
  box.style.left = `${Math.max(0, Math.min(left, innerWidth - box.offsetWidth))}px`;
  box.style.top = `${Math.max(0, Math.min(top, innerHeight - box.offsetHeight))}px`;
}

function boxKey(event) {
  event.preventDefault();
  if (['Enter', ' ', 'Escape'].includes(event.key) && !event.repeat && event.timeStamp >= boxShownAt) box.close();
  else if (event.key === 'Tab') boxOk.focus();
}

// --- Menus ---------------------------------------------------------------------------------

const titleOf = (menu) => menu.querySelector('.title');
const entriesOf = (menu) => menu.querySelector('.entries');

function openMenu() {
  return menus.find((menu) => !entriesOf(menu).hidden);
}

function closeMenus() {
  for (const menu of menus) {
    entriesOf(menu).hidden = true;
    titleOf(menu).setAttribute('aria-expanded', 'false');
  }
}

function showMenu(menu) {
  closeMenus();
  entriesOf(menu).hidden = false;
  titleOf(menu).setAttribute('aria-expanded', 'true');
  // One title at a time takes Tab: the one last used.
  for (const other of menus) titleOf(other).tabIndex = other === menu ? 0 : -1;
}

// A click on a title: the menu opens, or closes and the keys go back to the game.
function toggleMenu(menu) {
  if (openMenu() === menu) backToGame();
  else showMenu(menu);
}

// The keys go back to the game: nothing of the page keeps the focus.
function backToGame() {
  closeMenus();
  if (document.activeElement && document.activeElement !== document.body) document.activeElement.blur();
}

// Opens `menu` from the keyboard with its first (or last) entry that can be chosen focused.
function enterMenu(menu, last = false) {
  showMenu(menu);
  const usable = [...entriesOf(menu).children].filter((entry) => !entry.disabled);
  (usable.length ? usable[last ? usable.length - 1 : 0] : titleOf(menu)).focus();
}

// Alt or F10: the File menu, or back to the game when a menu has the keys.
function menuBarKey() {
  if (menubar.contains(document.activeElement) || openMenu()) backToGame();
  else if (!fileTitle.disabled) enterMenu(menus[0]);
}

// The arrows move between menus and entries, Enter or Space chooses, Escape gives the keys back.
function menuKey(event) {
  const menu = menus.find((m) => m.contains(document.activeElement)) || openMenu() || menus[0];
  const isOpen = openMenu() === menu;
  const usable = [...entriesOf(menu).children].filter((entry) => !entry.disabled);
  const at = usable.indexOf(document.activeElement);
  const sideways = (step) => {
    const titles = menus.filter((m) => !titleOf(m).disabled);
    const next = titles[(titles.indexOf(menu) + step + titles.length) % titles.length] || menu;
    if (isOpen) enterMenu(next);
    else titleOf(next).focus();
  };
  switch (event.key) {
  case 'Tab':
    closeMenus();
    return; // the focus moves on as usual
  case 'Escape':
    backToGame();
    break;
  case 'ArrowLeft':
    sideways(-1);
    break;
  case 'ArrowRight':
    sideways(1);
    break;
  case 'ArrowDown':
  case 'ArrowUp': {
    const step = event.key === 'ArrowDown' ? 1 : -1;
    if (!isOpen || at < 0) enterMenu(menu, step < 0);
    else usable[(at + step + usable.length) % usable.length].focus();
    break;
  }
  case 'Home':
  case 'End':
    if (usable.length) usable[event.key === 'Home' ? 0 : usable.length - 1].focus();
    break;
  case 'Enter':
  case ' ':
    if (at >= 0) usable[at].click();
    else enterMenu(menu);
    break;
  default:
    break;
  }
  event.preventDefault();
}

// --- Input ---------------------------------------------------------------------------------

function shiftMask(event) {
  return (event.shiftKey ? 1 : 0) | (event.ctrlKey ? 2 : 0) | (event.altKey ? 4 : 0);
}

function listen() {
  let altAlone = false; // Alt went down and no other key since: its release opens the menus
  window.addEventListener('keydown', (event) => {
    if (box.open) return boxKey(event);
    if (event.key === 'Alt') {
      altAlone = !event.repeat;
      event.preventDefault();
      return;
    }
    altAlone = false;
    if (event.key === 'F10') {
      event.preventDefault();
      return menuBarKey();
    }
    if (menubar.contains(document.activeElement) || openMenu()) return menuKey(event);
    // The page's own buttons keep Enter and Space; Tab moves the focus to the menu bar and them.
    const control = event.target instanceof Element && event.target.closest('button, input, a');
    if (event.key === 'Tab' || (control && (event.key === 'Enter' || event.key === ' '))) return;
    if (pageKeys.has(event.keyCode)) event.preventDefault();
    // A held key repeats: each repeat is one more key-down, as on the desktop.
    if (event.keyCode && !event.isComposing) run('farvane_key', now(), event.keyCode, shiftMask(event));
  }, true);
  window.addEventListener('keyup', (event) => {
    if (box.open) {
      event.preventDefault(); // a Space let go here does not press OK
      altAlone = false;
      return;
    }
    if (event.key === 'Alt' && altAlone) {
      altAlone = false;
      event.preventDefault();
      menuBarKey();
    }
  }, true);

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

  // The box: a click on OK answers it only when its press began on the box after it showed.
  box.addEventListener('pointerdown', (event) => {
    if (event.timeStamp >= boxShownAt) boxPressed = true;
  }, true);
  boxOk.addEventListener('click', () => {
    okClicks += 1;
    if (boxPressed) box.close();
  });
  box.addEventListener('cancel', (event) => event.preventDefault());

  for (const menu of menus) {
    titleOf(menu).addEventListener('click', () => toggleMenu(menu));
    // Once a menu is open, pointing at the other title opens that one, as in a menu bar.
    titleOf(menu).addEventListener('pointerenter', () => {
      if (openMenu() && openMenu() !== menu) showMenu(menu);
    });
  }
  for (const entry of entries) {
    entry.addEventListener('click', () => {
      backToGame();
      run('farvane_menu', now(), Number(entry.dataset.entry));
    });
  }
  document.addEventListener('pointerdown', (event) => {
    if (!event.target.closest('.menu') && (openMenu() || menubar.contains(document.activeElement))) backToGame();
  });
  document.addEventListener('visibilitychange', () => {
    sendHidden();
    schedule();
  });
  window.addEventListener('resize', viewportChanged);
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
  }
  shownState = -1; // the menus as the watch has them, whatever the page showed before
  refresh();
  schedule();
  return true;
}

// The clock holds while the tab is hidden: a game never jumps or races when the player is back.
function sendHidden() {
  if (busy || ended || !module || document.hidden === hiddenSent) return;
  hiddenSent = document.hidden;
  module._farvane_hidden(now(), hiddenSent ? 1 : 0);
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
    ratio: () => ratio,
    calls: () => calls,
    okClicks: () => okClicks,
    timerSet: () => timer !== 0,
    said: () => said,
    dump: () => module.UTF8ToString(module._farvane_dump()),
    recording,
    watch,
    virtualNow: () => module._farvane_virtual_now(),
    tickNanos: (ticks) => module._farvane_tick_nanos(ticks),
    // The number of canvas pixels that differ from the PNG (base64), or a string saying why
    // they cannot be compared.
    async differsFrom(png) {
      const bytes = Uint8Array.from(atob(png), (c) => c.charCodeAt(0));
      const image = await createImageBitmap(new Blob([bytes], { type: 'image/png' }),
                                            { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
      if (image.width !== canvas.width || image.height !== canvas.height)
        return `canvas ${canvas.width}x${canvas.height}, screenshot ${image.width}x${image.height}`;
      const scratch = new OffscreenCanvas(image.width, image.height).getContext('2d');
      scratch.drawImage(image, 0, 0);
      const want = new Uint32Array(scratch.getImageData(0, 0, image.width, image.height).data.buffer);
      const have = new Uint32Array(context.getImageData(0, 0, canvas.width, canvas.height).data.buffer);
      let differ = 0;
      for (let i = 0; i < want.length; ++i) differ += want[i] !== have[i] ? 1 : 0;
      return differ;
    },
  };
}

async function start() {
  if ('serviceWorker' in navigator && location.protocol.startsWith('http'))
    navigator.serviceWorker.register('sw.js', { updateViaCache: 'none' }).catch(() => {}); // offline play is a bonus
  try {
    module = await createFarvane({ showBox });
  } catch (error) {
    endedNote.textContent = `The game could not start here: ${error}`;
    endedNote.hidden = false;
    throw error;
  }
  titleBits = [0, 1, 2].map((which) => module._farvane_menu_bit(which));
  layout(false);
  module._farvane_load(now(), ratio);
  refresh();
  listen();
  saveButton.disabled = false;
  if (testMode) window.farvaneTest = testHook();
  schedule();
  // When the first picture has been painted (a frame later), for the page's start-up figure.
  requestAnimationFrame(() => requestAnimationFrame(() => { window.farvaneFirstFrame = performance.now(); }));
}

start();
