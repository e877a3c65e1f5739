// The canvas's size and place: the largest scene that fits the viewport beside the page's own
// controls, on whole device pixels.
import { game, canvas, refresh } from './game.js';
import { box, placeBox } from './box.js';

const SceneWidth = 441;
const SceneHeight = 425;

const page = document.getElementById('page');
const gameWindow = document.getElementById('window');
const client = document.getElementById('client');
const tools = document.getElementById('tools');

// The largest scene that fits the viewport beside the title, the menu bar and the page's
// controls: below them, or on the right where that leaves more room. The backing store has the
// device pixels the canvas covers, drawn by the module at that ratio, never stretched.
// Before the game has loaded, only `ratio` is set for it to start with.
export function layout(loaded = true) {
  game.layoutDue = false;
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
  if (drawRatio !== game.ratio) {
    game.ratio = drawRatio;
    if (loaded) game.module._farvane_set_ratio(game.ratio);
  }
}

export function viewportChanged() {
  game.layoutDue = true;
  if (box.open) placeBox();
  if (game.busy || !game.module || game.ended) return; // sized when the event in progress is over
  layout();
  refresh();
}
