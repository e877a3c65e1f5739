#!/usr/bin/env python3
"""farvane.exe under Wine against the Linux farvane: every replay script gives the same standard
output byte for byte, the same errors and exit status and the same screenshot pixel for pixel;
the options and the output files behave as on Linux, with any file name. Then the window on Xvfb:
the keyboard starts a game through the menu, keys steer, the box comes up and OK answers it, and
the recording made there replays on Linux to the picture the window shows; watching, Space pauses
and `.` steps a tick, each picture what --script of the game cut there draws.

Usage: wine_test.py --farvane build-test/farvane --exe build-windows/farvane.exe [--shot OUT.png]
(--shot keeps a picture of the window in play, frame and menu bar included.)
Ends with the line "windows: N passed, N failed"; exits 1 when any check failed. Where Wine or
the program is missing it says so and ends "windows: 0 passed, 0 failed" with status 0."""

import argparse
import glob
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from pngpixels import decode_png  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPTS = os.path.join(ROOT, 'tests', 'replay', 'scripts')


def wine_loader():
    """Debian's 64-bit loader itself: its wrapper scripts write their own notes to standard error."""
    direct = '/usr/lib/wine/wine64'
    return direct if os.access(direct, os.X_OK) else shutil.which('wine64') or shutil.which('wine')


class Wine:
    """One Wine prefix beside the program, its server kept up between runs."""

    def __init__(self, exe):
        self.exe = os.path.abspath(exe)
        self.wine = wine_loader()
        self.env = dict(os.environ, WINEPREFIX=os.path.join(os.path.dirname(self.exe), 'wineprefix'),
                        WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=', LANG='C.UTF-8')
        self.env.pop('DISPLAY', None)
        # A new prefix takes some seconds to make, once. Wine's own services stay up after it with
        # its output inherited: nothing of theirs may hold a pipe of ours.
        os.makedirs(self.env['WINEPREFIX'], exist_ok=True)
        subprocess.run(['wineserver', '-p'], env=self.env)  # stays up between runs (2 if it is up already)
        quiet = {'stdout': subprocess.DEVNULL, 'stderr': subprocess.DEVNULL}
        subprocess.run([self.wine, 'wineboot', '--init'], env=self.env, check=True, **quiet)
        # With no X display Wine's null driver takes over, so it starts no desktop that fails
        # (and says so on our standard error) at every run.
        subprocess.run([self.wine, 'reg', 'add', r'HKCU\Software\Wine\Drivers', '/v', 'Graphics',
                        '/d', 'x11,null', '/f'], env=self.env, check=True, **quiet)

    def close(self):
        subprocess.run(['wineserver', '-k'], env=self.env)

    def on_display(self, display):
        """From now on with an X display: Wine's services start again on it."""
        self.close()
        self.env['DISPLAY'] = display
        subprocess.run(['wineserver', '-p'], env=self.env)

    def command(self, args):
        return [self.wine, self.exe] + args


def run(command, cwd, stdin=None, env=None):
    with open(stdin, 'rb') if stdin else open(os.devnull, 'rb') as source:
        done = subprocess.run(command, cwd=cwd, stdin=source, capture_output=True, timeout=120, env=env)
    return done.returncode, done.stdout, done.stderr


def pixels(path):
    if not os.path.exists(path):
        return None
    with open(path, 'rb') as png:
        return decode_png(png.read())


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, name, ok, detail=''):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f'FAIL {name}: {detail}')


def same_run(checks, name, linux, windows):
    """Exit status, standard output and standard error alike."""
    for what, i in (('exit status', 0), ('standard output', 1), ('standard error', 2)):
        checks.check(f'{name}: {what}', linux[i] == windows[i],
                     f'Linux {repr(linux[i])[:300]}, Windows {repr(windows[i])[:300]}')


def replay_scripts(checks, linux_farvane, wine, scratch):
    """Each script in both programs, with a screenshot of its end."""
    dumps = 0
    scripts = sorted(glob.glob(os.path.join(SCRIPTS, '*.txt')))
    for script in scripts:
        name = os.path.splitext(os.path.basename(script))[0]
        stdin = script if name.startswith('stdin-') else None
        results = {}
        for system, command, env in (('linux', [linux_farvane], None), ('windows', wine.command([]), wine.env)):
            shot = os.path.join(scratch, f'{name}-{system}.png')
            args = ['--script', '-' if stdin else os.path.basename(script), '--screenshot', shot]
            results[system] = run(command + args, SCRIPTS, stdin, env) + (pixels(shot),)
        same_run(checks, name, results['linux'], results['windows'])
        checks.check(f'{name}: screenshot', results['linux'][3] == results['windows'][3],
                     'the pictures differ' if results['linux'][3] and results['windows'][3]
                     else 'only one program wrote it')
        dumps += results['windows'][1].count(b'{"dump": ')
    return len(scripts), dumps


def options_and_files(checks, linux_farvane, wine, scratch):
    """The same answers from both programs, run in a folder of their own."""
    for system in ('linux', 'windows'):
        folder = os.path.join(scratch, system)
        os.makedirs(os.path.join(folder, 'folder.png'))
        with open(os.path.join(folder, 'game.txt'), 'w') as game:
            game.write('menu mnuStart\nwait 2450\nkey 37\ndump\n')
        shutil.copy(os.path.join(folder, 'game.txt'), os.path.join(folder, 'spiel-ü.txt'))
        with open(os.path.join(folder, 'bad.txt'), 'w') as bad:
            bad.write('menu mnuStart\njump\n')
        with open(os.path.join(folder, 'old.png'), 'w') as old:
            old.write('the picture before')
    cases = [
        ('--help', ['--help']),
        ('--version', ['--version']),
        ('an unknown option', ['--jump']),
        ('a missing script', ['--script', 'absent.txt']),
        ('a watched script with an error', ['--watch', 'bad.txt']),
        ('a screenshot over a folder', ['--script', 'game.txt', '--screenshot', 'folder.png']),
        ('a screenshot over the script', ['--script', 'game.png', '--screenshot', 'game.png']),
        ('a screenshot into a missing folder', ['--script', 'game.txt', '--screenshot', 'absent/shot.png']),
        ('a screenshot over an older one', ['--script', 'game.txt', '--screenshot', 'old.png']),
        ('a file name beyond ASCII', ['--script', 'spiel-ü.txt', '--screenshot', 'bild-ü.png']),
    ]
    for name, args in cases:
        linux = run([linux_farvane] + args, os.path.join(scratch, 'linux'))
        windows = run(wine.command(args), os.path.join(scratch, 'windows'), env=wine.env)
        same_run(checks, name, linux, windows)
    # What each left behind: the same files, the replaced picture whole, no temporary file.
    listing = {system: sorted(os.listdir(os.path.join(scratch, system))) for system in ('linux', 'windows')}
    checks.check('files left behind', listing['linux'] == listing['windows'], repr(listing))
    checks.check('a replaced picture', pixels(os.path.join(scratch, 'windows', 'old.png')) ==
                 pixels(os.path.join(scratch, 'linux', 'old.png')) is not None, 'old.png differs')


def grab(window, display):
    """Width, height and RGB rows of an X window ('root': the screen), as xwd reads them."""
    data = subprocess.run(['xwd', '-silent'] + (['-root'] if window == 'root' else ['-id', window]),
                          env=dict(os.environ, DISPLAY=display), capture_output=True, check=True).stdout
    fields = struct.unpack('>25I', data[:100])
    header, width, height, pixel_bytes, line_bytes, colours = (fields[0], fields[4], fields[5], fields[11] // 8,
                                                               fields[12], fields[19])
    start = header + colours * 12
    rows = []
    for y in range(height):
        line = data[start + y * line_bytes:start + (y + 1) * line_bytes]
        row = bytearray()
        for x in range(0, width * pixel_bytes, pixel_bytes):
            row += bytes((line[x + 2], line[x + 1], line[x]))  # B, G, R in memory
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, rows):
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    with open(path, 'wb') as png:
        png.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, len(rows), 8, 2, 0, 0, 0)) +
                  chunk(b'IDAT', zlib.compress(b''.join(b'\0' + row for row in rows))) + chunk(b'IEND', b''))


def rgba(rows):
    return b''.join(bytes(row[i:i + 3]) + b'\xff' for row in rows for i in range(0, len(row), 3))


class Display:
    """Xvfb with a window manager, as a desktop has."""

    def __init__(self):
        read, write = os.pipe()
        self.server = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', '1024x768x24', '-nolisten',
                                        'tcp'], pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as answer:
            self.name = ':' + answer.readline().strip()
        self.env = dict(os.environ, DISPLAY=self.name)
        self.manager = subprocess.Popen(['openbox'], env=self.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL) if shutil.which('openbox') else None

    def close(self):
        for process in (self.manager, self.server):
            if process:
                process.terminate()
                process.wait()

    def xdotool(self, *args):
        return subprocess.run(['xdotool'] + list(args), env=self.env, capture_output=True, text=True).stdout.split()

    def window(self, title, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            found = self.xdotool('search', '--name', f'^{title}$')
            if found:
                return found[0]
            time.sleep(0.2)
        return None

    def keys(self, *keys, pause=0.4):
        for key in keys:
            self.xdotool('key', key)
            time.sleep(pause)


def window_game(checks, linux_farvane, wine, scratch, shot):
    """A game played in the window from the keyboard, recorded, and replayed on Linux."""
    missing = [tool for tool in ('Xvfb', 'xdotool', 'xwd') if not shutil.which(tool)]
    if missing:
        print(f'windows: window test skipped, missing {", ".join(missing)}')
        return
    display = Display()
    folder = os.path.join(scratch, 'window')
    os.makedirs(folder)
    program = None
    try:
        wine.on_display(display.name)
        with open(os.path.join(folder, 'err.txt'), 'wb') as err:
            program = subprocess.Popen(wine.command(['--record', 'game.txt']), cwd=folder, env=wine.env,
                                       stdin=subprocess.DEVNULL, stdout=err, stderr=err)
        window = display.window('Farvane V1.33.7', 60)
        checks.check('the window opens', window is not None, 'no window titled "Farvane V1.33.7"')
        if window is None:
            return
        display.xdotool('windowactivate', '--sync', window)
        display.keys('F10', 'Return', 'Return')     # the menu bar, File, Start
        time.sleep(2.6)                              # the countdown
        # Steering there and back: the game still meets its third hit within seconds, as unsteered.
        display.keys('Left', 'Right', 'Left', 'Right', pause=0.15)
        if shot:
            # The screen cut to what is not black: the only window on it, with its frame.
            _, _, rows = grab('root', display.name)
            lit = [y for y, row in enumerate(rows) if row.strip(b'\0')]
            left = min(len(row) - len(row.lstrip(b'\0')) for row in rows if row.strip(b'\0')) // 3
            right = max(len(row.rstrip(b'\0')) for row in rows) // 3 + 1
            write_png(shot, right - left, [row[left * 3:right * 3] for row in rows[lit[0]:lit[-1] + 1]])
        box = display.window('Muahahahaa', 60)
        checks.check('the lost-game box comes up', box is not None, 'no box titled "Muahahahaa"')
        if box is None:
            return
        display.xdotool('windowactivate', '--sync', box)
        display.keys('Return')                       # OK
        checks.check('OK answers the box', display.window('Muahahahaa', 1) is None, 'the box is still up')
        width, height, rows = grab(window, display.name)
        shown = rgba(row[:441 * 3] for row in rows[height - 425:])  # the client area, under the menu bar
        display.keys('F10', 'Return', 'Up', 'Return')  # File, Quit
        status = program.wait(timeout=20)
        checks.check('Quit ends the program', status == 0, f'exit status {status}')
        with open(os.path.join(folder, 'game.txt')) as record:
            text = record.read()
        checks.check('the keys are recorded', 'menu mnuStart\n' in text and 'key 37 0\n' in text and
                     'key 39 0\n' in text and
                     text.endswith('menu mnuQuit\n'), text[-300:])
        linux = run([linux_farvane, '--script', 'game.txt', '--screenshot', 'linux.png'], folder)
        replayed = pixels(os.path.join(folder, 'linux.png'))
        checks.check('the recording replays on Linux to the picture the window shows',
                     linux[0] == 0 and replayed is not None and replayed[2] == shown, f'{linux}')
        program = None
        # Ended from outside while a game runs: the record is closed where the game stood.
        endings = [('Ctrl+C in the console', lambda: program.send_signal(signal.SIGINT), 130, 'wait '),
                   ('log-off', lambda: subprocess.run([wine.wine, 'wineboot', '--end-session'], env=wine.env,
                                                      capture_output=True), 0, 'close')]
        for name, end, expected, last in endings:
            with open(os.path.join(folder, 'err.txt'), 'wb') as err:
                program = subprocess.Popen(wine.command(['--record', 'ended.txt']), cwd=folder, env=wine.env,
                                           stdin=subprocess.DEVNULL, stdout=err, stderr=err)
            window = display.window('Farvane V1.33.7', 60)
            display.xdotool('windowactivate', '--sync', window)
            display.keys('F10', 'Return', 'Return')
            time.sleep(1.5)
            end()
            status = program.wait(timeout=20)
            with open(os.path.join(folder, 'ended.txt')) as record:
                lines = record.read().splitlines()
            replay = run([linux_farvane, '--script', 'ended.txt'], folder)
            checks.check(f'{name} closes the record', status == expected and 'menu mnuStart' in lines and
                         lines[-1].startswith(last) and replay[0] == 0, f'exit status {status}, {lines[-4:]}')
        program = None
        program = watch_controls(checks, linux_farvane, wine, display, folder)
    finally:
        if program and program.poll() is None:
            program.kill()
        wine.close()
        display.close()


WATCHED = 'menu mnuStart\nwait 2600\nkey 37 0\nwait 300\nkey 39 0\nwait 4000\nkey 39 0\nwait 5600\n'


def screenshot_at(linux_farvane, folder, ms):
    """The client area --script draws of WATCHED cut at virtual time `ms`, as RGBA."""
    lines, now = [], 0
    for line in WATCHED.splitlines():
        if line.startswith('wait '):
            if now + int(line[5:]) > ms:
                lines.append(f'wait {ms - now}')
                break
            now += int(line[5:])
        lines.append(line)
    with open(os.path.join(folder, 'cut.txt'), 'w') as cut:
        cut.write('\n'.join(lines) + '\n')
    run([linux_farvane, '--script', 'cut.txt', '--screenshot', 'cut.png'], folder)
    return pixels(os.path.join(folder, 'cut.png'))[2]


def watch_controls(checks, linux_farvane, wine, display, folder):
    """Watching at a quarter speed: Space pauses, Home and Right seek to 5 s exactly, and the picture
    holds there; '.' steps one tick, to 5.05 s. Each picture is what --script of the game cut there
    draws. Returns the program, still running."""
    with open(os.path.join(folder, 'watch.txt'), 'w') as script:
        script.write(WATCHED)
    with open(os.path.join(folder, 'err.txt'), 'wb') as err:
        program = subprocess.Popen(wine.command(['--watch', 'watch.txt', '--speed', '0.25']), cwd=folder,
                                   env=wine.env, stdin=subprocess.DEVNULL, stdout=err, stderr=err)
    window = display.window(r'Farvane V1\.33\.7 .*', 60)
    checks.check('a watch shows where it stands in the title', window is not None, 'no such window title')
    if window is None:
        return program
    display.xdotool('windowactivate', '--sync', window)
    display.keys('space', 'Home', 'Right')
    paused = display.window(r'Farvane V1\.33\.7 .* 0:05\.0 / 0:12\.5, .*, paused', 60)
    checks.check('Space pauses, Home and Right seek to 5 s', paused is not None,
                 ' '.join(display.xdotool('getwindowname', window)))

    def client_area():
        width, height, rows = grab(window, display.name)
        return rgba(row[:441 * 3] for row in rows[height - 425:])

    before = client_area()
    checks.check('paused at 5 s, the window shows what --script of the game cut there draws',
                 before == screenshot_at(linux_farvane, folder, 5000))
    display.keys('period')
    after = before
    deadline = time.monotonic() + 60
    while after == before and time.monotonic() < deadline:
        time.sleep(0.2)
        after = client_area()
    checks.check("'.' steps one tick: the window shows what --script of the game cut at 5.05 s draws",
                 after == screenshot_at(linux_farvane, folder, 5050))
    checks.check("and the watch stays paused", display.window(r'Farvane V1\.33\.7 .*, paused', 1) is not None)
    return program


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--farvane', required=True, help='the Linux farvane program')
    parser.add_argument('--exe', required=True, help='farvane.exe')
    parser.add_argument('--shot', help='where to keep a picture of the window in play')
    options = parser.parse_args()
    missing = [what for what, there in (('Wine', wine_loader()),
                                        ('wineserver', shutil.which('wineserver')),
                                        (options.exe, os.path.exists(options.exe)),
                                        (options.farvane, os.path.exists(options.farvane))) if not there]
    if missing:
        print(f'windows: skipped, missing {", ".join(missing)} (scripts/windows.sh builds the program, '
              'scripts/deps.sh windows installs Wine)')
        print('windows: 0 passed, 0 failed')
        return 0
    checks = Checks()
    wine = Wine(options.exe)
    scratch = tempfile.mkdtemp(prefix='farvane-wine-')
    try:
        scripts, dumps = replay_scripts(checks, os.path.abspath(options.farvane), wine, scratch)
        print(f'windows: {scripts} replay scripts, {dumps} dumps compared byte for byte')
        options_and_files(checks, os.path.abspath(options.farvane), wine, scratch)
        window_game(checks, os.path.abspath(options.farvane), wine, scratch,
                    os.path.abspath(options.shot) if options.shot else None)
    finally:
        wine.close()
        shutil.rmtree(scratch, ignore_errors=True)
    print(f'windows: {checks.passed} passed, {checks.failed} failed')
    return 1 if checks.failed else 0


if __name__ == '__main__':
    sys.exit(main())
