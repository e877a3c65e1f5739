// The box of a lost game: a <dialog> over the road that the module's tick waits for.
import { now, paint } from './game.js';
import { showMenus, closeMenus } from './menus.js';
import { announceChanges } from './announce.js';

export const box = document.getElementById('box');
export const boxOk = document.getElementById('boxOk');
const client = document.getElementById('client');

const shown = {
  at: Infinity,  // performance.now() when the box came up
  pressed: false, // a press on the box began after it came up
  opened: null,  // resolves the test's wait when a box comes up
  okClicks: 0,   // clicks on OK, answered or not, for the test
};
export const boxState = shown;

// The module's tick waits here; the picture and menus come along, since nothing may call into
// the module while it waits. Only a press that begins after the box shows answers it: a tap or
// key already in flight does not.
export function showBox(prompt, title, picture) {
  paint(picture.pixels, picture.width, picture.height);
  announceChanges(); // the lost game is told as its box shows
  showMenus(picture.menuState);
  closeMenus();
  document.getElementById('boxTitle').textContent = title;
  document.getElementById('boxPrompt').textContent = prompt;
  return new Promise((resolve) => {
    box.addEventListener('close', () => {
      shown.at = Infinity;
      resolve(now());
    }, { once: true });
    shown.pressed = false;
    box.showModal();
    shown.at = performance.now();
    boxOk.focus();
    placeBox();
    if (shown.opened) shown.opened();
  });
}

// Over the middle of the road, inside the viewport.
export function placeBox() {
  const road = client.getBoundingClientRect();
  const left = road.left + (road.width - box.offsetWidth) / 2;
  const top = road.top + (road.height - box.offsetHeight) / 2;
  box.style.left = `${Math.max(0, Math.min(left, innerWidth - box.offsetWidth))}px`;
  box.style.top = `${Math.max(0, Math.min(top, innerHeight - box.offsetHeight))}px`;
}

export function boxKey(event) {
  event.preventDefault();
  if (['Enter', ' ', 'Escape'].includes(event.key) && !event.repeat && event.timeStamp >= shown.at) box.close();
  else if (event.key === 'Tab') boxOk.focus();
}

// A click on OK answers the box only when its press began on the box after it showed.
export function listenToBox() {
  box.addEventListener('pointerdown', (event) => {
    if (event.timeStamp >= shown.at) shown.pressed = true;
  }, true);
  boxOk.addEventListener('click', () => {
    shown.okClicks += 1;
    if (shown.pressed) box.close();
  });
  box.addEventListener('cancel', (event) => event.preventDefault());
}
