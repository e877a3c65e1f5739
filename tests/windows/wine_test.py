#!/usr/bin/env python3
"""farvane.exe under Wine against the Linux farvane: every replay script gives the same standard
output byte for byte, the same errors and exit status and the same screenshot pixel for pixel,
also typed in cmd (farvane.com before the GUI farvane.exe); the options and the output files
behave as on Linux, with any file name and paths beyond 260 characters, and a read-only file is
refused. Then the window on Xvfb: the keyboard starts a game through the menu, keys steer, the box
comes up and OK answers it, the recording made there replays on Linux to the picture the window
shows, and Ctrl+C or log-off closes a record. Then the installer beside the program installs and
uninstalls silently, leaving nothing behind, and a second build from a copy of the sources in a
folder with spaces in its name gives the same bytes. Watching, Space pauses and `.` steps a tick,
each picture what --script of the game cut there draws.

Usage: wine_test.py --farvane build-test/farvane --exe build-windows/farvane.exe [--shot OUT.png]
                    [--one-build]
(scripts/windows.sh makes farvane.com, the zip and the installer beside farvane.exe; --shot keeps
a picture of the window in play, frame and menu bar included; --one-build skips the second build.)
Ends with the line "windows: N passed, N failed"; exits 1 when any check failed. Where Wine or
the program is missing it says so and ends "windows: 0 passed, 0 failed" with status 0."""

import argparse
import glob
import hashlib
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
        # No menu entries or icons of the Start menu's shortcuts made on the Linux desktop.
        self.env = dict(os.environ, WINEPREFIX=os.path.join(os.path.dirname(self.exe), 'wineprefix'),
                        WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d', LANG='C.UTF-8')
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

    def command(self, args, program=None):
        return [self.wine, program or self.exe] + args

    def shell(self, line):
        """A command line typed in cmd: the shell finds farvane.com first."""
        return [self.wine, 'cmd', '/c', windows_path(os.path.dirname(self.exe)) + '\\' + line]


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def wait_for(what, seconds=60):
    """What `what` returns once it is true, or None after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        answer = what()
        if answer or time.monotonic() > deadline:
            return answer or None
        time.sleep(0.2)


def read_text(path):
    try:
        with open(path, encoding='utf-8', errors='replace') as text:
            return text.read()
    except OSError:
        return ''


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


def pe_subsystem(path):
    """The subsystem a PE header names: 2 a GUI program (no console from Explorer), 3 a console one."""
    with open(path, 'rb') as program:
        head = program.read(4096)
    pe = struct.unpack_from('<I', head, 0x3c)[0]
    return struct.unpack_from('<H', head, pe + 24 + 68)[0] if head[pe:pe + 4] == b'PE\0\0' else None


def shell_runs(checks, linux_farvane, wine):
    """`farvane ...` typed in cmd: its dumps, errors and exit status in the shell, as on Linux."""
    for script in ('steer.txt', 'error-unknown-command.txt', 'close.txt'):
        linux = run([linux_farvane, '--script', script], SCRIPTS)
        windows = run(wine.shell(f'farvane --script {script}'), SCRIPTS, env=wine.env)
        same_run(checks, f'cmd /c farvane --script {script}', linux, windows)


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
        ('a screenshot into a file as its folder', ['--script', 'game.txt', '--screenshot', 'game.txt/shot.png']),
        ('a folder as the script', ['--script', 'folder.png']),
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

    # A path beyond the old limit of 260 characters, relative and absolute, read and written.
    deep = os.path.join(*(f'{level}-' + 'x' * 96 for level in range(3)))
    for system in ('linux', 'windows'):
        os.makedirs(os.path.join(scratch, system, deep))
        shutil.copy(os.path.join(scratch, system, 'game.txt'), os.path.join(scratch, system, deep, 'game.txt'))
    for name, folder in (('relative', deep), ('absolute', None)):
        results = {}
        for system, command in (('linux', [linux_farvane]), ('windows', wine.command([]))):
            where = folder or os.path.join(scratch, system, deep)
            shot = os.path.join(where, f'{name}.png')
            results[system] = run(command + ['--script', os.path.join(where, 'game.txt'), '--screenshot', shot],
                                  os.path.join(scratch, system), env=None if system == 'linux' else wine.env)
            results[system] += (pixels(os.path.join(scratch, system, shot)),)
        checks.check(f'a {name} path of {len(os.path.join(scratch, "windows", deep, name))}+ characters',
                     results['windows'] == results['linux'] and results['windows'][0] == 0 and
                     results['windows'][3] is not None, f'{results["windows"][:3]}')

    # A read-only file is refused, not replaced, for a record or a screenshot. (The Linux program is
    # not asked: as root it may write any file.)
    folder = os.path.join(scratch, 'windows')
    for target, args in (('kept.txt', ['--record', 'kept.txt']),
                         ('kept.png', ['--script', 'game.txt', '--screenshot', 'kept.png'])):
        with open(os.path.join(folder, target), 'w') as kept:
            kept.write('kept')
        os.chmod(os.path.join(folder, target), 0o444)
        status, out, err = run(wine.command(args), folder, env=wine.env)
        checks.check(f'a read-only {target} is refused',
                     (status, out, err) == (2, b'', f'farvane: cannot write {target}: Permission denied\n'.encode()) and
                     read_text(os.path.join(folder, target)) == 'kept', f'{status} {out[:100]} {err}')


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



def window_game(checks, linux_farvane, wine, scratch, shot):
    """A game played in the window from the keyboard, recorded, and replayed on Linux. Each key
    waits for what it does: a line of the record, a box, a window gone."""
    missing = [tool for tool in ('Xvfb', 'xdotool', 'xwd') if not shutil.which(tool)]
    if missing:
        print(f'windows: window test skipped, missing {", ".join(missing)}')
        return
    display = Display()
    folder = os.path.join(scratch, 'window')
    os.makedirs(folder)
    program = None

    def start_game(record):
        """The window recording to `record`, a game started from the menu; its window, or None."""
        window = display.window('Farvane V1.33.7', 60)
        if window is None:
            return None
        # The menu bar: a key the record notes. A window just shown may not have the keyboard yet
        # though the window manager made it active, so a key that shows no effect is sent again.
        for _ in range(4):
            display.xdotool('windowactivate', '--sync', window)
            display.xdotool('key', 'F10')
            if wait_for(lambda: 'key 121 0\n' in read_text(record), 15):
                break
        else:
            return None
        display.xdotool('key', 'Return', 'Return')    # File, Start
        return window if wait_for(lambda: 'menu mnuStart\n' in read_text(record)) else None

    try:
        wine.on_display(display.name)
        record = os.path.join(folder, 'game.txt')
        with open(os.path.join(folder, 'err.txt'), 'wb') as err:
            program = subprocess.Popen(wine.command(['--record', 'game.txt']), cwd=folder, env=wine.env,
                                       stdin=subprocess.DEVNULL, stdout=err, stderr=err)
        window = start_game(record)
        checks.check('the menu starts a game', window is not None, read_text(record)[-300:])
        if window is None:
            return
        # Steering there and back: the game still meets its third hit within seconds, as unsteered.
        for key, code in (('Left', 37), ('Right', 39), ('Left', 37), ('Right', 39)):
            count = read_text(record).count(f'key {code} 0\n')
            display.xdotool('key', key)
            wait_for(lambda: read_text(record).count(f'key {code} 0\n') > count)
        if shot:
            # The screen cut to what is not black: the only window on it, with its frame.
            _, _, rows = grab('root', display.name)
            lit = [y for y, row in enumerate(rows) if row.strip(b'\0')]
            left = min(len(row) - len(row.lstrip(b'\0')) for row in rows if row.strip(b'\0')) // 3
            right = max(len(row.rstrip(b'\0')) for row in rows) // 3 + 1
            write_png(shot, right - left, [row[left * 3:right * 3] for row in rows[lit[0]:lit[-1] + 1]])
        box = display.window('Muahahahaa', 120)
        checks.check('the lost-game box comes up', box is not None, 'no box titled "Muahahahaa"')
        if box is None:
            return
        display.xdotool('windowactivate', '--sync', box)
        display.xdotool('key', 'Return')             # OK
        checks.check('OK answers the box', wait_for(lambda: not display.xdotool('search', '--name', '^Muahahahaa$')),
                     'the box is still up')
        # The picture the game ends on: the record so far played on to past the box on Linux, as
        # nothing was pressed after it. The window shows it once repainted where the box was.
        with open(os.path.join(folder, 'ahead.txt'), 'w') as ahead:
            ahead.write(read_text(record) + 'wait 600000\n')
        linux = run([linux_farvane, '--script', 'ahead.txt', '--screenshot', 'ahead.png'], folder)
        expected = pixels(os.path.join(folder, 'ahead.png'))

        def shown():
            width, height, rows = grab(window, display.name)
            return rgba(row[:441 * 3] for row in rows[height - 425:])  # the client area, under the menu bar
        checks.check('the window shows the picture its recording replays to on Linux', linux[0] == 0 and
                     expected is not None and wait_for(lambda: shown() == expected[2]), f'{linux}')
        display.xdotool('windowactivate', '--sync', window)
        display.xdotool('key', 'F10', 'Return', 'Up', 'Return')  # File, Quit
        status = program.wait(timeout=60)
        checks.check('Quit ends the program', status == 0, f'exit status {status}')
        text = read_text(record)
        checks.check('the keys are recorded', 'menu mnuStart\n' in text and 'key 37 0\n' in text and
                     'key 39 0\n' in text and
                     text.endswith('menu mnuQuit\n'), text[-300:])
        linux = run([linux_farvane, '--script', 'game.txt', '--screenshot', 'linux.png'], folder)
        replayed = pixels(os.path.join(folder, 'linux.png'))
        checks.check('the whole recording replays on Linux to the same picture',
                     linux[0] == 0 and replayed is not None and expected is not None and replayed[2] == expected[2],
                     f'{linux}')
        program = None
        # Ended from outside while a game runs: the record is closed where the game stood. Ctrl+C
        # in a terminal reaches every process of its group: farvane.com and the farvane.exe it runs.
        endings = [('Ctrl+C in the console', wine.exe[:-4] + '.com', lambda: os.killpg(program.pid, signal.SIGINT),
                    130, 'wait '),
                   ('log-off', wine.exe, lambda: subprocess.run([wine.wine, 'wineboot', '--end-session'],
                                                                env=wine.env, capture_output=True), 0, 'close')]
        for name, exe, end, expected, last in endings:
            ended = os.path.join(folder, 'ended.txt')
            if os.path.exists(ended):
                os.remove(ended)
            with open(os.path.join(folder, 'err.txt'), 'wb') as err:
                program = subprocess.Popen(wine.command(['--record', 'ended.txt'], exe), cwd=folder, env=wine.env,
                                           stdin=subprocess.DEVNULL, stdout=err, stderr=err, start_new_session=True)
            # Ended once the game has run a while: the record then has its time in it.
            started = start_game(ended) is not None and wait_for(
                lambda: read_text(ended).split('menu mnuStart\n')[-1].startswith('wait '))
            end()
            status = program.wait(timeout=60)
            lines = read_text(ended).splitlines()
            replay = run([linux_farvane, '--script', 'ended.txt'], folder)
            checks.check(f'{name} closes the record', started and status == expected and 'menu mnuStart' in lines and
                         lines[-1].startswith(last) and replay[0] == 0, f'exit status {status}, {lines[-4:]}')
        # Minimised, the game plays on to its end, as a desktop program does: the box comes up.
        with open(os.path.join(folder, 'err.txt'), 'wb') as err:
            program = subprocess.Popen(wine.command(['--record', 'minimised.txt']), cwd=folder, env=wine.env,
                                       stdin=subprocess.DEVNULL, stdout=err, stderr=err)
        window = start_game(os.path.join(folder, 'minimised.txt'))
        if window:
            display.xdotool('windowminimize', '--sync', window)
        checks.check('a minimised game plays on to the lost-game box',
                     window is not None and display.window('Muahahahaa', 120) is not None, 'no box')
        program.kill()
        program.wait(timeout=60)
        program = watch_controls(checks, linux_farvane, wine, display, folder)
    finally:
        if program and program.poll() is None:
            if os.getpgid(program.pid) == program.pid:
                os.killpg(program.pid, signal.SIGKILL)  # farvane.com with the farvane.exe it started
            else:
                program.kill()
        wine.close()
        display.close()


UNINSTALL_KEY = r'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Farvane'


def installer(checks, linux_farvane, wine, setup):
    """The installer, silently: the files, the Start menu entry and the Uninstall key; the installed
    program replays a script; the silent uninstall takes every file, folder and key away again."""
    profile = os.path.join(wine.env['WINEPREFIX'], 'drive_c', 'users', os.environ.get('USER') or 'root')
    if not os.path.isdir(profile):
        profile = max(glob.glob(os.path.join(wine.env['WINEPREFIX'], 'drive_c', 'users', '*')), key=len)
    folder = os.path.join(profile, 'AppData', 'Local', 'Programs', 'Farvane')
    entry = os.path.join(profile, 'AppData', 'Roaming', 'Microsoft', 'Windows', 'Start Menu', 'Programs', 'Farvane.lnk')

    def everything():
        """Every file and folder of the user's and every registry key, but the temporary files."""
        found = set()
        for top, folders, files in os.walk(profile):
            if os.path.relpath(top, profile).split(os.sep)[0] == 'Temp':
                continue
            found.update(os.path.join(top, name) for name in folders + files)
        return found

    def key():
        done = subprocess.run([wine.wine, 'reg', 'query', UNINSTALL_KEY], env=wine.env, capture_output=True,
                              text=True, errors='replace')
        return done.stdout if done.returncode == 0 else ''

    before = everything()
    status = subprocess.run([wine.wine, setup, '/S'], env=wine.env, capture_output=True, timeout=300).returncode
    installed = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    checks.check('the installer installs silently', status == 0 and installed ==
                 ['COPYRIGHT.txt', 'LICENSE.txt', 'README.txt', 'farvane.com', 'farvane.exe', 'uninstall.exe'],
                 f'status {status}, {installed}')
    checks.check('the Start menu entry', os.path.isfile(entry), entry)
    values = key()
    checks.check('the Uninstall key', all(f'{name}    REG_{kind}' in values for name, kind in (
        ('DisplayName', 'SZ    Farvane'), ('DisplayVersion', 'SZ    1.33.7'), ('DisplayIcon', 'SZ'),
        ('Publisher', 'SZ    The Farvane developers'), ('EstimatedSize', 'DWORD'),
        ('UninstallString', 'SZ'), ('QuietUninstallString', 'SZ'))), values)
    linux = run([linux_farvane, '--script', 'steer.txt'], SCRIPTS)
    windows = run(wine.command(['--script', 'steer.txt'], os.path.join(folder, 'farvane.com')), SCRIPTS, env=wine.env)
    same_run(checks, 'the installed program', linux, windows)
    status = subprocess.run([wine.wine, os.path.join(folder, 'uninstall.exe'), '/S'], env=wine.env,
                            capture_output=True, timeout=300).returncode
    # The uninstaller goes on from a copy of itself, so its effect is waited for.
    left = wait_for(lambda: (everything() == before and not key()) or None, 120)
    checks.check('the silent uninstall leaves nothing behind', status == 0 and left,
                 f'status {status}, left: {sorted(everything() - before)[:5]}, key: {key()[:200]}')


def source_files():
    """The project's files and the date its builds carry: those git knows of and the last commit's
    date in a checkout; outside one (an unpacked archive, or no git installed) every file but the
    build folders', dated as scripts/windows.sh dates them there."""
    if shutil.which('git'):
        listed = subprocess.run(['git', 'ls-files', '-z', '--cached', '--others', '--exclude-standard'], cwd=ROOT,
                                capture_output=True)
        epoch = subprocess.run(['git', 'log', '-1', '--format=%ct'], cwd=ROOT, capture_output=True,
                               text=True).stdout.strip()
        if listed.returncode == 0 and epoch:
            return [name for name in listed.stdout.decode().split('\0') if name], epoch
    found = []
    for top, folders, names in os.walk(ROOT):
        if top == ROOT:
            folders[:] = [name for name in folders if name != '.git' and not name.startswith('build')]
        found += [os.path.relpath(os.path.join(top, name), ROOT) for name in names]
    epoch = os.environ.get('SOURCE_DATE_EPOCH') or str(int(os.stat(os.path.join(ROOT, 'LICENSE')).st_mtime))
    return found, epoch


def same_bytes(checks, build):
    """A second build of the same sources, copied into a folder with spaces in its name, gives the
    same programs, zip and installer to the byte."""
    made = [name for name in ('farvane.exe', 'farvane.com') + tuple(
        os.path.basename(path) for path in glob.glob(os.path.join(build, 'farvane-*.zip')) +
        glob.glob(os.path.join(build, 'farvane-*-setup.exe')))]
    if len(made) < 4:
        checks.check('the zip and the installer were made (scripts/windows.sh)', False, f'only {made}')
        return
    sources, epoch = source_files()
    # Beside the first build, where a shared compile cache (CCACHE_BASEDIR) may serve it too.
    with tempfile.TemporaryDirectory(prefix='second build ', dir=build) as scratch:
        copy = os.path.join(scratch, 'farvane sources')
        for name in sources:
            if os.path.isfile(os.path.join(ROOT, name)):
                os.makedirs(os.path.dirname(os.path.join(copy, name)), exist_ok=True)
                shutil.copy2(os.path.join(ROOT, name), os.path.join(copy, name))
        done = subprocess.run([os.path.join(copy, 'scripts', 'windows.sh')], capture_output=True, text=True,
                              env=dict(os.environ, SOURCE_DATE_EPOCH=epoch))
        checks.check('a second build in a folder with spaces', done.returncode == 0 and 'CMake Warning' not in done.stderr,
                     (done.stdout + done.stderr)[-600:])

        def sha256(path):
            with open(path, 'rb') as made_file:
                return hashlib.sha256(made_file.read()).hexdigest() if os.path.exists(path) else None
        for name in made:
            first, second = sha256(os.path.join(build, name)), sha256(os.path.join(copy, 'build-windows', name))
            checks.check(f'{name}: the same SHA-256 from two builds', first == second, f'{first} and {second}')


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
    for key in ('space', 'Home', 'Right'):  # queued in order; the title below tells when all are done
        display.xdotool('key', key)
    paused = display.window(r'Farvane V1\.33\.7 .* 0:05\.0 / 0:12\.5, .*, paused', 60)
    checks.check('Space pauses, Home and Right seek to 5 s', paused is not None,
                 ' '.join(display.xdotool('getwindowname', window)))

    def client_area():
        width, height, rows = grab(window, display.name)
        return rgba(row[:441 * 3] for row in rows[height - 425:])

    before = client_area()
    checks.check('paused at 5 s, the window shows what --script of the game cut there draws',
                 before == screenshot_at(linux_farvane, folder, 5000))
    display.xdotool('key', 'period')
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
    parser.add_argument('--one-build', action='store_true', help='skip the second build that checks for the same bytes')
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
        linux_farvane = os.path.abspath(options.farvane)
        console = options.exe[:-4] + '.com'
        checks.check('farvane.exe is a GUI program, farvane.com a console one',
                     pe_subsystem(options.exe) == 2 and os.path.exists(console) and pe_subsystem(console) == 3,
                     f'subsystems {pe_subsystem(options.exe)}, {os.path.exists(console) and pe_subsystem(console)}')
        scripts, dumps = replay_scripts(checks, linux_farvane, wine, scratch)
        print(f'windows: {scripts} replay scripts, {dumps} dumps compared byte for byte')
        shell_runs(checks, linux_farvane, wine)
        options_and_files(checks, linux_farvane, wine, scratch)
        build = os.path.dirname(os.path.abspath(options.exe))
        setups = glob.glob(os.path.join(build, 'farvane-*-setup.exe'))
        if setups:
            installer(checks, linux_farvane, wine, setups[0])
        else:
            checks.check('the installer was made (scripts/windows.sh)', False, f'no farvane-*-setup.exe in {build}')
        window_game(checks, linux_farvane, wine, scratch, os.path.abspath(options.shot) if options.shot else None)
        if not options.one_build:
            same_bytes(checks, build)
    finally:
        wine.close()
        shutil.rmtree(scratch, ignore_errors=True)
    print(f'windows: {checks.passed} passed, {checks.failed} failed')
    return 1 if checks.failed else 0


if __name__ == '__main__':
    sys.exit(main())
