// The keys and touches that go to the game.
import { canvas, now, run, sendHidden, schedule } from './game.js';
import { box, boxKey, listenToBox } from './box.js';
import { menusHaveKeys, menuBarKey, menuKey, listenToMenus } from './menus.js';
import { viewportChanged } from './layout.js';

export const KeyLeft = 37;
export const KeyRight = 39;
// Keys whose browser default would scroll the page or press a button: the game has them alone.
const pageKeys = new Set([13, 32, 33, 34, 35, 36, 37, 38, 39, 40]);
// A finger held on the playfield steers again after this long, then at this interval.
const TouchRepeatDelay = 500;
const TouchRepeatEvery = 100;

function shiftMask(event) {
  return (event.shiftKey ? 1 : 0) | (event.ctrlKey ? 2 : 0) | (event.altKey ? 4 : 0);
}

function listenToKeys() {
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
    if (menusHaveKeys()) return menuKey(event);
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
}

// A touch on the left or right half of the playfield steers left or right; a held finger
// repeats like a held key.
function listenToPlayfield() {
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
}

export function listen() {
  listenToKeys();
  listenToPlayfield();
  listenToBox();
  listenToMenus();
  document.addEventListener('visibilitychange', () => {
    sendHidden();
    schedule();
  });
  window.addEventListener('resize', viewportChanged);
}
