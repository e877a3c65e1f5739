// The bar under the road while a recording is watched: play and pause, the time to seek to with
// where the watch stands, and the speed. The module's watch controls do the work, as for the keys.
import { game, now, run } from './game.js';

const bar = document.getElementById('watchBar');
const pauseButton = document.getElementById('watchPause');
const timeRange = document.getElementById('watchTime');
const timeText = document.getElementById('watchAt');
const speedChoice = document.getElementById('watchSpeed');
let paused = false;

export function listenToWatchBar() {
  pauseButton.addEventListener('click', () => run('farvane_watch_pause', now(), paused ? 0 : 1));
  // Every move of the slider seeks, exactly: the picture follows the finger.
  timeRange.addEventListener('input', () => run('farvane_watch_seek', now(), Number(timeRange.value)));
  speedChoice.addEventListener('change', () => run('farvane_watch_speed', now(), Number(speedChoice.value)));
}

// Shows the bar while a recording is watched (`watching` as farvane_watch_state has it), with
// where the watch stands; returns whether the bar came or went.
export function showWatchBar(watching) {
  const hide = game.ended || watching === 0;
  const toggled = bar.hidden !== hide;
  bar.hidden = hide;
  if (hide) return toggled;
  const { module } = game;
  const fields = module.UTF8ToString(module._farvane_watch_position()).split('\n');
  const [at, length, speed, isPaused, over] = fields.slice(0, 5).map(Number);
  const text = fields[5]; // "0:07.5 / 1:00.5", as the windows' titles show it
  paused = isPaused === 1;
  pauseButton.textContent = paused ? 'Play' : 'Pause';
  pauseButton.disabled = over === 1;
  timeRange.max = length;
  timeRange.value = at;
  if (timeText.textContent !== text) {
    timeText.textContent = text;
    timeRange.setAttribute('aria-valuetext', text);
  }
  speedChoice.value = String(speed);
  return toggled;
}
