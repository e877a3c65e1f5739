// The menu bar: File and Help, worked by pointer or by keys as a desktop window's are.
import { game, now, run, endGame } from './game.js';

const menus = [...document.querySelectorAll('.menu')];
export const entries = [...document.querySelectorAll('[data-entry]')];
const fileTitle = document.getElementById('mnuFile');
const helpTitle = document.getElementById('mnuHelp');
export const menubar = document.querySelector('.menubar');

const titleOf = (menu) => menu.querySelector('.title');
const entriesOf = (menu) => menu.querySelector('.entries');

let shownState = -1;
let titleBits = null; // the bits of the File and Help menus and of the end, as the module lays them out

// The module's menu bits: an entry is greyed by the key it is run by, its data-entry.
export function showMenus(state) {
  if (state === shownState) return;
  shownState = state;
  titleBits ??= [0, 1, 2].map((which) => game.module._farvane_menu_bit(which));
  const on = (bit) => (state & (1 << bit)) !== 0;
  for (const entry of entries) entry.disabled = !on(Number(entry.dataset.entry));
  fileTitle.disabled = !on(titleBits[0]);
  helpTitle.disabled = !on(titleBits[1]);
  if (on(titleBits[2])) endGame();
}

// The next showMenus shows the module's state, whatever the page showed before.
export function forgetMenus() {
  shownState = -1;
}

export function disableMenus() {
  for (const control of [...entries, fileTitle, helpTitle]) control.disabled = true;
}

export function openMenu() {
  return menus.find((menu) => !entriesOf(menu).hidden);
}

export function closeMenus() {
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

const heading = document.querySelector('h1');

// The keys go back to the game: nothing of the page keeps the focus. The next Tab starts from
// the heading, so it comes to the menu bar first rather than past it.
export function backToGame() {
  closeMenus();
  if (document.activeElement && document.activeElement !== document.body) {
    heading.focus({ preventScroll: true });
    heading.blur();
  }
}

// Opens `menu` from the keyboard with its first (or last) entry that can be chosen focused.
function enterMenu(menu, last = false) {
  showMenu(menu);
  const usable = [...entriesOf(menu).children].filter((entry) => !entry.disabled);
  (usable.length ? usable[last ? usable.length - 1 : 0] : titleOf(menu)).focus();
}

export function menusHaveKeys() {
  return menubar.contains(document.activeElement) || !!openMenu();
}

// Alt or F10: the File menu, or back to the game when a menu has the keys.
export function menuBarKey() {
  if (menusHaveKeys()) backToGame();
  else if (!fileTitle.disabled) enterMenu(menus[0]);
}

// The arrows move between menus and entries, Enter or Space chooses, Escape gives the keys back.
export function menuKey(event) {
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

// Chooses menu entry `index` of MenuItems, as a click on it does.
export function choose(index) {
  return run('farvane_menu', now(), index);
}

export function listenToMenus() {
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
      choose(Number(entry.dataset.entry));
    });
  }
  document.addEventListener('pointerdown', (event) => {
    if (!event.target.closest('.menu') && menusHaveKeys()) backToGame();
  });
}
