// The live region: what a screen reader is told of the game.
import { game } from './game.js';

// The score is told each time it passes another multiple of this, not on every tick.
const ScoreEvery = 500;

// The messages the region keeps: a new one is added after the last, so that two in quick
// succession (two hits 50 ms apart) are both read.
const Kept = 4;

const announcer = document.getElementById('announce');
const Unheard = { score: 0, high: '', ready: '', shields: 3 };
const heard = { ...Unheard };
export const said = []; // every announcement, for the test

export function say(text) {
  said.push(text);
  if (said.length > 50) said.shift();
  // A new node each time, so the same words twice are still told.
  const line = document.createElement('p');
  line.textContent = text;
  announcer.append(line);
  while (announcer.childElementCount > Kept) announcer.firstElementChild.remove();
}

// A new game: nothing of it has been told yet.
export function forgetHeard() {
  Object.assign(heard, Unheard);
}

// What the player watches, as the module reports it.
function readStatus() {
  const [score, high, ready, shields, over] = game.module.UTF8ToString(game.module._farvane_status()).split('\n');
  return { score: Number(score) || 0, high, ready, shields: Number(shields), over: over === '1' };
}

// Tells what changed that a player watches: the countdown words and texts in the road, the
// shields left, the high score, the score at each multiple of ScoreEvery, and the end of a game.
export function announceChanges() {
  const { score, high, ready, shields, over } = readStatus();
  const news = [];
  if (ready !== heard.ready && ready) news.push(ready);
  if (shields !== heard.shields) {
    if (over) news.push(`Game over. Score ${score}`);
    else news.push(`${shields} ${shields === 1 ? 'shield' : 'shields'} left. Score ${score}`);
  } else if (Math.floor(score / ScoreEvery) !== Math.floor(heard.score / ScoreEvery)) {
    news.push(`Score ${score}`);
  }
  if (high !== heard.high && high) news.push(`High score ${high}`);
  Object.assign(heard, { score, high, ready, shields });
  if (news.length) say(news.join('. '));
}
