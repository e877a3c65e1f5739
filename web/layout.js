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

// Up to this many device pixels a scene pixel, the module draws the scene at the size it shows.
const DrawnUpTo = 4;
// Above it (a 4K screen), the module draws at a whole ratio no larger than this, and the canvas
// shows that enlarged a whole number of times (CSS image-rendering: pixelated): the road's lines
// stay even, and the picture costs what it costs at this ratio.
const LargeDrawRatio = 2;
// The enlarged scene may come out this much smaller than the largest that fits, for a larger
// drawing ratio.
const Shrink = 0.8;

// The ratio the module draws at and the device pixels a scene pixel covers on the screen, for a
// scene that may cover `fit` device pixels a scene pixel.
export function ratios(fit) {
  // A scene pixel never gets less than a fifth of a device pixel, whatever the window's size.
  if (fit <= DrawnUpTo) return { draw: Math.max(fit, 0.2), shown: Math.max(fit, 0.2) };
  const whole = Math.floor(fit);
  for (let draw = LargeDrawRatio; ; --draw) {
    const shown = draw * Math.floor(whole / draw);
    if (shown >= Shrink * whole || draw === 1) return { draw, shown };
  }
}

// The largest scene that fits the viewport beside the title, the menu bar and the page's
// controls: below them, or on the right where that leaves more room. The backing store has the
// device pixels the canvas covers drawn by the module at that ratio, or on a large screen a
// whole fraction of them (see ratios()), never stretched otherwise. With `redraw` false (the
// module waits for the box) the canvas takes its new size at once and its picture is drawn anew
// later. Before the game has loaded, only `ratio` is set for it to start with.
export function layout(loaded = true, redraw = true) {
  if (redraw) game.layoutDue = false;
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
  const { draw, shown } = ratios(best.room * dpr);
  const deviceWidth = Math.round(SceneWidth * shown);
  const deviceHeight = Math.round(SceneHeight * shown);
  canvas.style.width = client.style.width = `${deviceWidth / dpr}px`;
  canvas.style.height = client.style.height = `${deviceHeight / dpr}px`;
  // Centred across, and on whole device pixels: borders and padding of fractional device
  // pixels (2 CSS px at ratio 1.25) would put the canvas between two.
  gameWindow.style.marginLeft = gameWindow.style.marginTop = '0px';
  const spare = (viewWidth - best.padX - chromeWidth - best.toolsWidth - deviceWidth / dpr) / 2;
  const at = canvas.getBoundingClientRect();
  const toWhole = (x) => (x - Math.floor(x) < 0.05 ? 0 : Math.ceil(x) - x);
  const across = Math.max(0, Math.floor(spare * dpr)) + toWhole(at.left * dpr);
  const down = toWhole(at.top * dpr);
  gameWindow.style.marginLeft = `${across / dpr}px`;
  gameWindow.style.marginTop = `${down / dpr}px`;
  game.shown = shown;
  if (redraw && draw !== game.ratio) {
    game.ratio = draw;
    if (loaded) game.module._farvane_set_ratio(game.ratio);
  }
}

// The screen turned or the window changed: the layout follows at once, also while the box is
// up (the picture under it is drawn at the new ratio once the box is answered).
export function viewportChanged() {
  game.layoutDue = true;
  if (box.open) {
    layout(true, false);
    placeBox();
    return;
  }
  if (game.busy || !game.module || game.ended) return; // sized when the event in progress is over
  layout();
  refresh();
}
