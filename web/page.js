// The page around the game: the browser's clock, keys, touches and menus go into the WebAssembly
// module; its picture goes onto the canvas. The game itself runs in the module. This starts it;
// the other modules here each take one concern of the page.
import createFarvane from './farvane.js';
import { game, testMode, now, refresh, schedule } from './game.js';
import { layout } from './layout.js';
import { showBox } from './box.js';
import { listen } from './input.js';
import { listenForRecordings } from './recordings.js';
import { listenForLinks } from './share.js';
import { listenToWatchBar } from './watchbar.js';
import { testHook } from './testhook.js';

async function start() {
  if ('serviceWorker' in navigator && location.protocol.startsWith('http'))
    navigator.serviceWorker.register('sw.js', { updateViaCache: 'none' }).catch(() => {}); // offline play is a bonus
  try {
    game.module = await createFarvane({ showBox });
  } catch (error) {
    document.getElementById('endedText').textContent = `The game could not start here: ${error}`;
    document.getElementById('playAgain').hidden = true;
    document.getElementById('ended').hidden = false;
    throw error;
  }
  layout(false);
  game.module._farvane_load(now(), game.ratio);
  refresh();
  listen();
  listenForRecordings();
  listenToWatchBar();
  if (testMode) window.farvaneTest = testHook();
  schedule();
  listenForLinks(); // a link to a game watches it at once
  // When the first picture has been painted (a frame later), for the page's start-up figure.
  requestAnimationFrame(() => requestAnimationFrame(() => { window.farvaneFirstFrame = performance.now(); }));
}

start();
