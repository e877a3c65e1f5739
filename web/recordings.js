// Recordings: the game played so far saved as a script, and a script watched on the page as
// `farvane --watch FILE` plays it.
import { game, canvas, now, run, refresh, schedule, recording } from './game.js';
import { box } from './box.js';
import { forgetMenus } from './menus.js';

const saveButton = document.getElementById('save');
const endedNote = document.getElementById('ended');

export function listenForRecordings() {
  saveButton.addEventListener('click', saveRecording);
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

export function enableSaving() {
  saveButton.disabled = false;
}

// The file's bytes go to the module as they are, as `farvane --script` reads them.
async function watchFile(file) {
  try {
    watch(file.name, new Uint8Array(await file.arrayBuffer()));
  } catch (error) {
    showWatchError(`farvane: cannot read ${file.name}: ${error}`);
  }
}

function showWatchError(message) {
  const note = document.getElementById('watchError');
  note.textContent = message;
  note.hidden = !message;
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
  saveButton.disabled = true; // a watch records nothing
  if (game.ended) {
    game.ended = false;
    canvas.hidden = false;
    endedNote.hidden = true;
  }
  forgetMenus();
  refresh();
  schedule();
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
