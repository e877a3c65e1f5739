// Recordings: the game played so far saved as a script, and a script watched on the page as
// `farvane --watch FILE` plays it.
import { game, now, run, showGameAgain, playAgain, recording } from './game.js';
import { box } from './box.js';

const saveButton = document.getElementById('save');
const ask = document.getElementById('ask');
let watched = null; // the last recording watched: its name and bytes

export function listenForRecordings() {
  saveButton.addEventListener('click', saveRecording);
  document.getElementById('playAgain').addEventListener('click', playAgain);
  document.getElementById('watchPlay').addEventListener('click', playAgain);
  document.getElementById('watchAgain').addEventListener('click', () => watched && watch(...watched));
  ask.addEventListener('cancel', () => { ask.returnValue = 'no'; });
  document.getElementById('askYes').addEventListener('click', () => ask.close('yes'));
  document.getElementById('askNo').addEventListener('click', () => ask.close('no'));
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

// Whether the player has a game going that watching would drop: one started (Start greys once
// chosen) and not ended, or a watch not yet over.
function gameGoing() {
  if (!game.module || game.ended) return false;
  const watching = game.module._farvane_watch_state();
  return watching === 1 || (watching === 0 && (game.module._farvane_state() & 1) === 0);
}

// Asks before a recording replaces the game in play; resolves to whether to watch it.
export function mayWatch(name) {
  if (!gameGoing()) return Promise.resolve(true);
  document.getElementById('askPrompt').textContent = `Stop this game and watch ${name}?`;
  return new Promise((resolve) => {
    ask.addEventListener('close', () => resolve(ask.returnValue === 'yes'), { once: true });
    ask.returnValue = '';
    ask.showModal();
    document.getElementById('askNo').focus();
  });
}

// The file's bytes go to the module as they are, as `farvane --script` reads them.
export async function watchFile(file) {
  try {
    const bytes = new Uint8Array(await file.arrayBuffer());
    if (await mayWatch(file.name)) watch(file.name, bytes);
  } catch (error) {
    showWatchError(`farvane: cannot read ${file.name}: ${error}`);
  }
}

export function showWatchError(message) {
  const note = document.getElementById('watchError');
  note.textContent = message;
  note.hidden = !message;
}

// The recording being watched, as it was read; null in a game of the player's own.
export function watchedBytes() {
  return watched && !game.ended && game.module._farvane_watch_state() !== 0 ? watched[1] : null;
}

// Starts watching the script `bytes`; a script with an error is refused with the message
// `farvane --script` gives, and the game in play goes on.
export function watch(name, bytes) {
  const { module } = game;
  if (game.busy || !module || box.open) return false;
  if (typeof bytes === 'string') bytes = new TextEncoder().encode(bytes);
  const nameBytes = new TextEncoder().encode(name);
  const input = module._farvane_input(nameBytes.length + bytes.length);
  module.HEAPU8.set(nameBytes, input);
  module.HEAPU8.set(bytes, input + nameBytes.length);
  const error = module.UTF8ToString(module._farvane_watch(now(), nameBytes.length));
  showWatchError(error);
  if (error) return false;
  watched = [name, bytes];
  showGameAgain();
  return true;
}

async function saveRecording() {
  if (game.busy || !game.module) return;
  if (!game.ended) await run('farvane_frame', now()); // the record reaches this moment
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([recording()], { type: 'text/plain' }));
  link.download = 'farvane-recording.txt';
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}
