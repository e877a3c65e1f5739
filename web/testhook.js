// window.farvaneTest: what the page's tests drive and read.
import { game, canvas, context, run, now, recording } from './game.js';
import { box, boxState } from './box.js';
import { said } from './announce.js';
import { watch } from './recordings.js';

export function testHook() {
  const { module } = game;
  return {
    // Moves the page's clock on by `ms`, a frame every 10 ms; stops early when a box comes up.
    // Resolves to 'box' or 'done'.
    async advance(ms) {
      const boxUp = new Promise((resolve) => { boxState.opened = () => resolve('box'); });
      for (let left = ms; left > 0 && !box.open; left -= 10) {
        game.testNow += Math.min(10, left);
        const result = await Promise.race([run('farvane_frame', now()).then(() => 'done'), boxUp]);
        if (result === 'box') return 'box';
      }
      return box.open ? 'box' : 'done';
    },
    // Moves the clock without running a frame (a hidden tab, the time a box is up).
    pass(ms) { game.testNow += ms; },
    // A key pressed now, as the keyboard's key `code` sends it.
    key: (code) => run('farvane_key', now(), code, 0),
    watchState: () => module._farvane_watch_state(),
    // The clock and the length (virtual ms), the speed, paused and over (1 or 0).
    watchPosition: () => module.UTF8ToString(module._farvane_watch_position()).split('\n').slice(0, 5).map(Number),
    now: () => game.testNow,
    busy: () => game.busy,
    boxOpen: () => box.open,
    ratio: () => game.ratio,
    scale: () => game.shown,
    calls: () => game.calls,
    okClicks: () => boxState.okClicks,
    timerSet: () => game.timer !== 0,
    said: () => said,
    dump: () => module.UTF8ToString(module._farvane_dump()),
    recording,
    watch,
    virtualNow: () => module._farvane_virtual_now(),
    // The number of canvas pixels that differ from the PNG (base64), or a string saying why
    // they cannot be compared.
    async differsFrom(png) {
      const bytes = Uint8Array.from(atob(png), (c) => c.charCodeAt(0));
      const image = await createImageBitmap(new Blob([bytes], { type: 'image/png' }),
                                            { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
      if (image.width !== canvas.width || image.height !== canvas.height)
        return `canvas ${canvas.width}x${canvas.height}, screenshot ${image.width}x${image.height}`;
      const scratch = new OffscreenCanvas(image.width, image.height).getContext('2d');
      scratch.drawImage(image, 0, 0);
      const want = new Uint32Array(scratch.getImageData(0, 0, image.width, image.height).data.buffer);
      const have = new Uint32Array(context.getImageData(0, 0, canvas.width, canvas.height).data.buffer);
      let differ = 0;
      for (let i = 0; i < want.length; ++i) differ += want[i] !== have[i] ? 1 : 0;
      return differ;
    },
  };
}
