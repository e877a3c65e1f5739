#!/usr/bin/env python3
"""The Windows program under Wine on Xvfb: start-up to the first painted frame, the tick period
(median, 99th percentile, maximum), and CPU per frame of the program and of the X server, while
the window plays a recorded game with --watch (its first 6.4 s from Start: the countdown and 4 s
of play, just before the third hit), three runs.

Usage: wine_bench.py --exe build-windows/farvane.exe
Figures measured under Wine, not on Windows itself: Wine adds its own costs."""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), 'tests', 'windows'))
from wine_test import Display, Wine  # noqa: E402

RUNS = 3
WATCH_MS = 6400  # from Start: the game's third hit comes at 6600 ms


def cpu_ms(pid):
    """User and system time of a process so far, in ms."""
    with open(f'/proc/{pid}/stat') as stat:
        fields = stat.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000.0 / os.sysconf('SC_CLK_TCK')


def run_once(wine, display, folder):
    script = os.path.join(folder, 'game.txt')
    with open(script, 'w') as game:
        game.write(f'menu mnuStart\nwait {WATCH_MS}\n')
    log = os.path.join(folder, 'ticks.txt')
    env = dict(wine.env, FARVANE_TICK_LOG=log)
    program = subprocess.Popen(wine.command(['--watch', script]), env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    window = display.window('Farvane V1.33.7', 60)
    server_start, program_start = cpu_ms(display.server.pid), cpu_ms(program.pid)
    time.sleep(WATCH_MS / 1000 + 1)
    server_cpu = cpu_ms(display.server.pid) - server_start
    program_cpu = cpu_ms(program.pid) - program_start
    display.xdotool('windowactivate', '--sync', window)
    display.keys('alt+F4')
    program.wait(timeout=20)
    with open(log) as ticks:
        times = [float(line) for line in ticks]
    startup, wakes = times[0], times[1:]
    # Timer1's ticks: wake-ups 50 ms apart; Timer2's 600 ms steps of the countdown left out.
    periods = sorted(b - a for a, b in zip(wakes, wakes[1:]) if b - a < 100)
    frames = len(wakes)
    print(f'start-up to the first painted frame (process creation to WM_PAINT): {startup:.0f} ms')
    print(f'tick period over {len(periods)} ticks: median {statistics.median(periods):.2f} ms, '
          f'99th percentile {periods[int(len(periods) * 0.99) - 1]:.2f} ms, maximum {periods[-1]:.2f} ms')
    print(f'CPU per frame over {frames} frames: program {program_cpu / frames:.3f} ms, '
          f'X server {server_cpu / frames:.3f} ms')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--exe', required=True)
    options = parser.parse_args()
    folder = tempfile.mkdtemp(prefix='farvane-wine-bench-')
    display = Display()
    wine = Wine(options.exe)
    try:
        wine.on_display(display.name)
        for _ in range(RUNS):
            run_once(wine, display, folder)
    finally:
        wine.close()
        display.close()


if __name__ == '__main__':
    main()
