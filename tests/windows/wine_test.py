#!/usr/bin/env python3
"""farvane.exe under Wine against the Linux farvane: every replay script gives the same standard
output byte for byte, the same errors and exit status and the same screenshot pixel for pixel;
the options and the output files behave as on Linux, with any file name.

Usage: wine_test.py --farvane build-test/farvane --exe build-windows/farvane.exe
Ends with the line "windows: N passed, N failed"; exits 1 when any check failed. Where Wine or
the program is missing it says so and ends "windows: 0 passed, 0 failed" with status 0."""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile

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
        with open(os.path.join(folder, 'old.png'), 'w') as old:
            old.write('the picture before')
    cases = [
        ('--help', ['--help']),
        ('--version', ['--version']),
        ('an unknown option', ['--jump']),
        ('a missing script', ['--script', 'absent.txt']),
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--farvane', required=True, help='the Linux farvane program')
    parser.add_argument('--exe', required=True, help='farvane.exe')
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
    finally:
        wine.close()
        shutil.rmtree(scratch, ignore_errors=True)
    print(f'windows: {checks.passed} passed, {checks.failed} failed')
    return 1 if checks.failed else 0


if __name__ == '__main__':
    sys.exit(main())
