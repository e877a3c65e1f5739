// The keys and touches that go to the game.
import { game, canvas, now, run, sendHidden, schedule } from './game.js';
import { box, boxKey, listenToBox } from './box.js';
import { menusHaveKeys, menuBarKey, menuKey, listenToMenus, choose } from './menus.js';
import { viewportChanged } from './layout.js';

export const KeyLeft = 37;
export const KeyRight = 39;
// Keys whose browser default would scroll the page or press a button: the game has them alone.
const pageKeys = new Set([13, 32, 33, 34, 35, 36, 37, 38, 39, 40]);
// A finger held on a pad or the playfield steers again after this long, then at this interval,
// as a held key repeats.
const TouchRepeatDelay = 500;
const TouchRepeatEvery = 100;

const ask = document.getElementById('ask');
const touchStart = document.getElementById('touchStart');
const touchRestart = document.getElementById('touchRestart');
const pads = [[document.getElementById('padLeft'), KeyLeft], [document.getElementById('padRight'), KeyRight]];
const saveButton = document.getElementById('save');
const shareButton = document.getElementById('share');
const watchOver = document.getElementById('watchOver');
const hint = document.getElementById('hint');

// How to begin and to play, in the words of the input in use.
const Hints = {
  touch: {
    begin: 'Tap Start to play.',
    game: 'Hold \u25c0 or \u25b6 to steer; Restart begins anew.',
  },
  keys: {
    begin: 'To play: F10, Enter (or File \u2192 Start).',
    game: 'Steer with the arrow keys. Alt or F10 opens the menus.',
  },
  watching: {
    touch: 'Watching a recording.',
    keys: 'Watching: Space pauses, \u2190 \u2192 seek 5 s, [ ] speed, . steps, Home, End.',
  },
  over: 'The recording has ended: watch it again, or play.',
  ended: 'Play again starts a new game.',
};
let inputInUse = matchMedia('(pointer: coarse)').matches ? 'touch' : 'keys';
let shown = { state: 0, watching: 0 };
let played = false; // a game of the player's own has been started: there is one to share

function showHint() {
  const { state, watching } = shown;
  let text;
  if (game.ended) text = Hints.ended;
  else if (watching) text = watching === 2 ? Hints.over : Hints.watching[inputInUse];
  else text = Hints[inputInUse][state & 1 ? 'begin' : 'game'];
  if (hint.textContent !== text) hint.textContent = text;
}

function inputUsed(kind) {
  if (kind === inputInUse) return;
  inputInUse = kind;
  showHint();
}

// The page's own controls as the module's menu bits and watch state (see farvane_watch_state)
// have them: Start and Restart usable as their menu entries are, Restart shown once a game has
// been played; saving while the player's own game is shown, and sharing it once started, or the
// recording watched; watch again or play after a watch.
export function showControls(state, watching) {
  shown = { state, watching };
  if (!game.ended && watching === 0 && !(state & 1)) played = true;
  touchStart.disabled = game.ended || !(state & 1);
  const restart = !game.ended && !!(state & 2);
  // Start greys once chosen: from then on a game has been played.
  if (restart && !(state & 1)) touchRestart.hidden = false;
  touchRestart.disabled = !restart;
  if (!game.ended) {
    saveButton.disabled = watching !== 0;
    shareButton.disabled = watching === 0 && !played;
  }
  watchOver.hidden = game.ended || watching !== 2;
  showHint();
}

// While watching, the keys of the watch controls by what they type, whatever the keyboard's
// layout: [ and ] change the speed, . steps.
const WatchKeys = new Map([['[', 219], [']', 221], ['.', 190]]);

function shiftMask(event) {
  return (event.shiftKey ? 1 : 0) | (event.ctrlKey ? 2 : 0) | (event.altKey ? 4 : 0);
}

function listenToKeys() {
  let altAlone = false; // Alt went down and no other key since: its release opens the menus
  window.addEventListener('keydown', (event) => {
    if (event.isTrusted) inputUsed('keys');
    if (ask.open) return; // the question's buttons have the keys
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
    if (menusHaveKeys()) return menuKey(event);
    // The page's own buttons keep Enter and Space; Tab moves the focus to the menu bar and them.
    const control = event.target instanceof Element && event.target.closest('button, input, select, a');
    if (event.key === 'Tab' || (control && (event.key === 'Enter' || event.key === ' '))) return;
    if (pageKeys.has(event.keyCode)) event.preventDefault();
    // A held key repeats: each repeat is one more key-down, as on the desktop.
    let code = event.keyCode;
    if (game.module && game.module._farvane_watch_state() !== 0 && WatchKeys.has(event.key)) code = WatchKeys.get(event.key);
    if (code && !event.isComposing) run('farvane_key', now(), code, shiftMask(event));
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
}

// Sends `code` as a key press now and then again as a held key repeats; returns what stops it.
function holdKey(code) {
  let repeat = 0;
  const press = (wait) => {
    if (!box.open && !ask.open) run('farvane_key', now(), code, 0);
    repeat = setTimeout(() => press(TouchRepeatEvery), wait);
  };
  press(TouchRepeatDelay);
  return () => clearTimeout(repeat);
}

// A touch on the left or right half of the playfield steers left or right; a held finger
// repeats like a held key.
function listenToPlayfield() {
  let release = () => {};
  canvas.addEventListener('pointerdown', (event) => {
    if (event.pointerType === 'mouse') return;
    event.preventDefault();
    release();
    release = holdKey(event.offsetX < canvas.clientWidth / 2 ? KeyLeft : KeyRight);
  });
  for (const end of ['pointerup', 'pointercancel', 'pointerleave']) canvas.addEventListener(end, () => release());
}

// The touch controls: Start and Restart choose those menu entries; a pad pressed and held steers
// as the arrow key held does, and a pad worked from the keyboard presses its key once.
function listenToControls() {
  touchStart.addEventListener('click', () => choose(0));
  touchRestart.addEventListener('click', () => choose(1));
  for (const [pad, code] of pads) {
    let release = null;
    const stop = () => {
      if (release) release();
      release = null;
    };
    pad.addEventListener('pointerdown', (event) => {
      event.preventDefault();
      stop();
      pad.setPointerCapture(event.pointerId);
      release = holdKey(code);
    });
    for (const end of ['pointerup', 'pointercancel', 'lostpointercapture']) pad.addEventListener(end, stop);
    pad.addEventListener('contextmenu', (event) => event.preventDefault());
    pad.addEventListener('click', (event) => {
      if (event.detail === 0) run('farvane_key', now(), code, 0);
    });
  }
  document.addEventListener('pointerdown', (event) => {
    if (event.pointerType !== 'mouse') inputUsed('touch');
  }, true);
}

export function listen() {
  listenToKeys();
  listenToPlayfield();
  listenToControls();
  listenToBox();
  listenToMenus();
  document.addEventListener('visibilitychange', () => {
    sendHidden();
    schedule();
  });
  window.addEventListener('resize', viewportChanged);
}
