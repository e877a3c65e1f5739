// The game's module and the page's clock: one call into the module at a time, its picture on the
// canvas, and one timer for the next tick due.
import { layout } from './layout.js';
import { showMenus, closeMenus, disableMenus, forgetMenus, choose } from './menus.js';
import { announceChanges, forgetHeard, say } from './announce.js';
import { showControls } from './input.js';
import { showWatchBar } from './watchbar.js';

const params = new URLSearchParams(location.search);
// ?test: the test drives the clock (farvaneTest.advance) instead of real time; ?test=real keeps
// real time and the page's own timer, with the test's hook.
export const testMode = params.has('test');
export const virtualTime = testMode && params.get('test') !== 'real';

export const canvas = document.getElementById('scene');
// Desynchronized: the canvas goes to the screen without waiting on the page's own frames, which
// halves the main thread's work a tick in play.
export const context = canvas.getContext('2d', { alpha: false, desynchronized: true });
const endedNote = document.getElementById('ended');
const endedText = document.getElementById('endedText');
const playAgainButton = document.getElementById('playAgain');

export const game = {
  module: null,
  busy: false,      // a call into the module is running, or waits for the box
  ended: false,
  hiddenSent: false,
  ratio: 1,         // device pixels per scene pixel, the ratio the module draws at
  shown: 1,         // device pixels per scene pixel on the screen: `ratio` or a whole multiple of it
  layoutDue: true,  // the viewport changed since the canvas was last sized
  timer: 0,         // the page's one timer: the next tick due
  calls: 0,         // calls into the module, for the idle test
  testNow: 0,       // the test's clock
};

export const now = virtualTime ? () => game.testNow : () => performance.now();

// Puts the module's picture on the canvas: only the rectangles `dirty` names (x, y, width,
// height in device pixels), or all of it when `dirty` is null or the canvas changes size.
export function paint(pixels, width, height, dirty = null) {
  const resized = canvas.width !== width || canvas.height !== height;
  if (resized) {
    canvas.width = width;
    canvas.height = height;
  }
  const bytes = new Uint8ClampedArray(game.module.HEAPU8.buffer, pixels, width * height * 4);
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
  const { module } = game;
  const count = module._farvane_dirty_count();
  return new Int32Array(module.HEAPU8.buffer, module._farvane_dirty_rects(), count * 4);
}

export function refresh() {
  const { module } = game;
  const watching = module._farvane_watch_state();
  // The bar under the road came or went: the road takes the room there is now.
  if (showWatchBar(watching)) layout();
  const pixels = module._farvane_render();
  if (pixels) {
    paint(pixels, module._farvane_width(), module._farvane_height(), dirtyRects());
    announceChanges();
  }
  const state = module._farvane_state();
  showMenus(state);
  showControls(state, watching);
}

// The game has ended (Quit): its picture gives way to a note and a way to play again. A `reason`
// (a fault) replaces the note, and there is no playing again then.
export function endGame(reason) {
  if (game.ended) return;
  game.ended = true;
  clearTimeout(game.timer);
  closeMenus();
  canvas.hidden = true;
  if (reason) endedText.textContent = reason;
  playAgainButton.hidden = !!reason;
  endedNote.hidden = false;
  say(endedText.textContent);
  disableMenus();
  showControls(0, 0);
  if (showWatchBar(0)) game.layoutDue = true;
  if (!reason) playAgainButton.focus();
}

// Shows the module's game again after it ended or was replaced: a fresh picture, menus and news.
export function showGameAgain() {
  const refocus = endedNote.contains(document.activeElement);
  game.ended = false;
  canvas.hidden = false;
  endedNote.hidden = true;
  forgetMenus();
  forgetHeard();
  if (refocus) document.activeElement.blur();
  if (game.layoutDue) layout();
  refresh();
  schedule();
}

// A new game in place, as a new start of the program, and Start chosen: after Quit, or after
// watching a recording.
export function playAgain() {
  if (game.busy || !game.module) return Promise.resolve(false);
  game.module._farvane_load(now(), game.ratio);
  showGameAgain();
  return choose(0);
}

// Runs one event of the module. One at a time: while one runs (or its box is up) the page takes
// no other, as the desktop window takes no input under its box.
export function run(name, ...args) {
  if (game.busy || game.ended || !game.module) return Promise.resolve(false);
  game.busy = true;
  game.calls += 1;
  clearTimeout(game.timer);
  return game.module.ccall(name, 'number', args.map(() => 'number'), args, { async: true }).then((result) => {
    game.busy = false;
    sendHidden();
    if (game.layoutDue) layout();
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
export function schedule() {
  clearTimeout(game.timer);
  game.timer = 0;
  if (virtualTime || game.busy || game.ended || !game.module) return;
  const due = game.module._farvane_next_due();
  if (due < 0) return;
  game.timer = setTimeout(() => run('farvane_frame', now()), Math.max(0, Math.ceil(due - now())));
}

// The clock holds while the tab is hidden: a game never jumps or races when the player is back.
export function sendHidden() {
  if (game.busy || game.ended || !game.module || document.hidden === game.hiddenSent) return;
  game.hiddenSent = document.hidden;
  game.module._farvane_hidden(now(), game.hiddenSent ? 1 : 0);
}

// The game played so far, up to now, as a script that `farvane --script` replays.
export function recording() {
  return game.module.UTF8ToString(game.module._farvane_recording());
}
