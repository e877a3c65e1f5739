#!/usr/bin/env python3
"""The browser page in headless Chromium: menus, countdown, steering by key and by touch, a lost
game with its box, a hidden tab, Restart and the high score, the saved recording and Quit. The
canvas is checked pixel for pixel against `farvane --script S --screenshot` of the same events,
S being the page's own recording.

Usage: page_test.py --site build-web/site --farvane build-test/farvane
Ends with the line "web: N passed, N failed"; exits 1 when any check failed."""

import argparse
import base64
import contextlib
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import traceback

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions import interaction
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.pointer_input import PointerInput
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from pngpixels import decode_png  # noqa: E402 - found through the path set just above

CHROMIUM_FLAGS = ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                  '--disable-component-update', '--disable-sync', '--no-first-run',
                  '--force-device-scale-factor=1', '--window-size=900,800']


def chromium_binary():
    """Debian's Chromium itself, not the shell script in front of it."""
    return '/usr/lib/chromium/chromium' if os.path.exists('/usr/lib/chromium/chromium') else shutil.which('chromium')


class Page:
    def __init__(self, driver):
        self.driver = driver

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def hook(self, call):
        return self.js('return farvaneTest.' + call)

    def advance(self, ms):
        """Moves the page's clock on; returns 'box' when a box came up, else 'done'."""
        return self.driver.execute_async_script(
            'farvaneTest.advance(arguments[0]).then(arguments[1])', ms)

    def dump(self):
        return self.hook('dump()')

    def state(self, key):
        """One value of the page's dump, e.g. "lblReady"."""
        return json.loads(self.dump())['dump'][key]

    def click(self, element_id):
        self.driver.find_element(By.ID, element_id).click()

    def choose(self, menu, entry):
        self.click(menu)
        self.click(entry)
        self.settle()

    def settle(self):
        """Waits until no event of the page is running."""
        for _ in range(200):
            if not self.hook('busy()'):
                return
            time.sleep(0.01)

    def enabled(self, element_id):
        return self.driver.find_element(By.ID, element_id).is_enabled()

    def pixels(self):
        shot = self.hook('pixels()')
        return shot['width'], shot['height'], base64.b64decode(shot['rgba'])


class Checks:
    def __init__(self, page, farvane, scratch):
        self.page, self.farvane, self.scratch = page, farvane, scratch
        self.passed, self.failed = 0, []

    def run(self, name, check):
        try:
            check()
            self.passed += 1
            print('PASS', name)
        except Exception:  # noqa: BLE001 - every failure is reported and counted
            self.failed.append(name)
            print('FAIL', name)
            traceback.print_exc(file=sys.stdout)

    def replay(self, script, *options):
        path = os.path.join(self.scratch, 'replay.txt')
        with open(path, 'w', encoding='utf-8') as out:
            out.write(script)
        done = subprocess.run([self.farvane, '--script', path, *options], capture_output=True, text=True,
                              timeout=60, check=False)
        assert done.returncode == 0, done.stderr
        return done.stdout

    def same_pixels(self, moment, script=None):
        """The canvas equals the headless screenshot of `script`, by default the page's recording so far."""
        shot = os.path.join(self.scratch, moment + '.png')
        self.replay(script if script is not None else self.page.hook('recording()'), '--screenshot', shot)
        with open(shot, 'rb') as png:
            expected = decode_png(png.read())
        actual = self.page.pixels()
        assert actual[:2] == expected[:2], f'{moment}: canvas {actual[:2]}, screenshot {expected[:2]}'
        if actual[2] != expected[2]:
            differ = sum(1 for i in range(0, len(actual[2]), 4) if actual[2][i:i + 4] != expected[2][i:i + 4])
            raise AssertionError(f'{moment}: {differ} pixels differ from the screenshot')

    def same_final_dump(self, script):
        """The script replays headless to the page's own state dump."""
        lines = self.replay(script + 'dump\n').splitlines()
        assert lines[-1] == self.page.dump(), f'replay: {lines[-1]}\npage:   {self.page.dump()}'


def free_port():
    with contextlib.closing(socket.socket()) as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def play(page, checks, downloads):
    js, driver = page.js, page.driver

    def title_and_start_scene():
        assert driver.title == 'Farvane V1.33.7'
        assert driver.find_element(By.TAG_NAME, 'h1').text == 'Farvane V1.33.7'
        assert js('return [scene.width, scene.height, scene.clientWidth, scene.clientHeight]') == [441, 425, 441, 425]
        assert all(page.enabled(i) for i in ('mnuFile', 'mnuHelp'))
        checks.same_pixels('start')
    checks.run('title, heading and the start scene', title_and_start_scene)

    def help_texts():
        page.choose('mnuHelp', 'mnuAbout')
        assert page.state('lblReady') == 'Programmed By: Telmasc'
    checks.run('Help > About writes its text', help_texts)

    def countdown():
        page.choose('mnuFile', 'mnuStart')
        assert not page.enabled('mnuHelp') and page.enabled('mnuFile')
        page.click('mnuFile')
        assert [page.enabled(i) for i in ('mnuStart', 'mnuRestart', 'mnuQuit')] == [False, True, True]
        page.click('mnuFile')
        words = []
        for _ in range(3):
            page.advance(600)
            words.append(page.state('lblReady'))
        assert words == ['Ready', 'Set', 'Go!'], words
        checks.same_pixels('countdown')
        page.advance(600)
        assert page.state('Timer1') and not page.state('Timer2')
    checks.run('Start greys the menus; the countdown every 600 ms', countdown)

    def steering():
        page.advance(500)
        ActionChains(driver).send_keys(Keys.ARROW_LEFT).perform()
        page.settle()
        assert page.state('Steer') == 25
        ActionChains(driver).send_keys('x').perform()  # passed on as its code, ignored by the game
        page.settle()
        # A held key's repeats steer too.
        driver.execute_cdp_cmd('Input.dispatchKeyEvent', {'type': 'rawKeyDown', 'windowsVirtualKeyCode': 39,
                                                          'key': 'ArrowRight', 'code': 'ArrowRight', 'autoRepeat': True})
        driver.execute_cdp_cmd('Input.dispatchKeyEvent', {'type': 'keyUp', 'windowsVirtualKeyCode': 39,
                                                          'key': 'ArrowRight', 'code': 'ArrowRight'})
        page.settle()
        assert page.state('Steer') == 0
        page.advance(300)
        checks.same_pixels('steering')
    checks.run('the Left key steers', steering)

    def touch():
        for offset, steer in ((-150, 25), (150, 0), (150, -25)):
            finger = ActionBuilder(driver, mouse=PointerInput(interaction.POINTER_TOUCH, 'finger'))
            finger.pointer_action.move_to(driver.find_element(By.ID, 'scene'), offset, 0).pointer_down().pointer_up()
            finger.perform()
            page.settle()
            assert page.state('Steer') == steer, (offset, page.state('Steer'))
    checks.run('touching the left and right halves steers', touch)

    def hidden_tab():
        before = page.hook('virtualNow()')
        js("Object.defineProperty(document, 'hidden', {value: true, configurable: true});"
           "document.dispatchEvent(new Event('visibilitychange'))")
        page.advance(10000)  # frames may still come; the clock holds
        assert page.hook('virtualNow()') == before
        js("Object.defineProperty(document, 'hidden', {value: false, configurable: true});"
           "document.dispatchEvent(new Event('visibilitychange'))")
        page.advance(100)
        assert page.hook('virtualNow()') == before + 100, page.hook('virtualNow()') - before
    checks.run('the clock holds while the tab is hidden', hidden_tab)

    lost_score = []

    def lost_game():
        keys = page.hook('recording()').count('\nkey ')
        outcome = 'done'
        for _ in range(120):
            outcome = page.advance(500)
            if outcome == 'box':
                break
        assert outcome == 'box', 'the game was not lost'
        box = driver.find_element(By.ID, 'box')
        assert js('return box.open') and box.find_element(By.ID, 'boxPrompt').text == 'You Lose!'
        assert box.find_element(By.ID, 'boxTitle').text == 'Muahahahaa'
        assert len(box.find_elements(By.TAG_NAME, 'button')) == 1
        ActionChains(driver).send_keys(Keys.ARROW_LEFT).perform()  # the box keeps its keys
        page.hook('pass(5000)')  # the box stays up for 5 s: the tick waits, the clock holds
        box.find_element(By.TAG_NAME, 'button').click()
        page.settle()
        assert not js('return box.open')
        assert page.hook('recording()').count('\nkey ') == keys, 'a key reached the game under the box'
        assert not page.state('Timer1') and page.enabled('mnuHelp')
        page.click('mnuFile')
        assert not page.enabled('mnuStart')
        page.click('mnuFile')
        at = page.hook('virtualNow()')
        page.advance(50)
        assert page.hook('virtualNow()') == at + 50
        lost_score.append(page.state('lblScore'))
        checks.same_pixels('lost')
    checks.run('a lost game: the box waits for OK, then the game stands', lost_game)

    def restart():
        page.choose('mnuFile', 'mnuRestart')
        assert page.state('lblHigh') == lost_score[0] and page.state('lblScore') == '0'
        checks.same_pixels('restart')
    checks.run('Restart keeps the high score', restart)

    def saved_recording():
        page.choose('mnuFile', 'mnuStart')
        page.advance(3000)
        page.click('save')
        path = os.path.join(downloads, 'farvane-recording.txt')
        for _ in range(100):
            if os.path.exists(path):
                break
            time.sleep(0.05)
        with open(path, encoding='utf-8') as saved:
            script = saved.read()
        assert script == page.hook('recording()')
        checks.same_final_dump(script)
    checks.run('the saved recording replays to the same state', saved_recording)

    def ratio_two():
        # A zoom or another screen: the page follows without a reload.
        driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                               {'width': 900, 'height': 800, 'deviceScaleFactor': 2, 'mobile': False})
        sizes = None
        for _ in range(100):
            sizes = js('return [scene.width, scene.height, scene.clientWidth, scene.clientHeight]')
            if sizes[0] != 441:
                break
            time.sleep(0.02)
        assert sizes == [882, 850, 441, 425], sizes
    checks.run('at pixel ratio 2 the canvas has 882 x 850 device pixels', ratio_two)

    def quit_game():
        page.choose('mnuFile', 'mnuQuit')
        assert js('return scene.hidden') and driver.find_element(By.ID, 'ended').is_displayed()
        assert 'Reload the page' in driver.find_element(By.ID, 'ended').text
        assert not page.enabled('mnuFile') and not page.enabled('mnuHelp')
        dump = page.dump()
        ActionChains(driver).send_keys(Keys.ARROW_LEFT).perform()
        page.advance(1000)
        assert page.dump() == dump
        script = page.hook('recording()')
        assert script.endswith('menu mnuQuit\n')
        assert checks.replay(script).splitlines()[-1].startswith('{"end": ')
    checks.run('Quit ends the game on the page', quit_game)

    def watched_recording():
        driver.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})
        picker = driver.find_element(By.ID, 'watch')
        bad = os.path.join(checks.scratch, 'bad.txt')
        with open(bad, 'w', encoding='utf-8') as out:
            out.write('menu mnuStart\njump\n')
        refused = subprocess.run([checks.farvane, '--script', 'bad.txt'], capture_output=True, text=True,
                                 cwd=checks.scratch, check=False)
        picker.send_keys(bad)
        note = driver.find_element(By.ID, 'watchError')
        for _ in range(100):
            if note.text:
                break
            time.sleep(0.02)
        assert note.text == refused.stderr.strip(), note.text
        assert js('return scene.hidden')  # nothing shown: the page stays ended
        path = os.path.join(downloads, 'farvane-recording.txt')  # saved by an earlier check
        with open(path, encoding='utf-8') as saved:
            script = saved.read()
        picker.send_keys(path)
        for _ in range(100):
            if not js('return scene.hidden'):
                break
            time.sleep(0.02)
        assert page.enabled('mnuFile') and not page.enabled('mnuStart') and page.enabled('mnuQuit')
        length = sum(int(line.split()[1]) for line in script.splitlines() if line.startswith('wait '))
        boxes = 0
        while page.hook('virtualNow()') < length and boxes < 10:
            if page.advance(1000) == 'box':
                boxes += 1
                driver.find_element(By.ID, 'box').find_element(By.TAG_NAME, 'button').click()
                page.settle()
        assert boxes == checks.replay(script).count('"msgbox"'), boxes
        ActionChains(driver).send_keys(Keys.ARROW_LEFT).perform()  # the watcher's keys change nothing
        page.advance(500)
        checks.same_pixels('watched', script)
    checks.run('a recording opened on the page plays to the headless screenshot', watched_recording)


def wait_ready(page):
    for _ in range(200):
        if page.js('return !!window.farvaneTest'):
            return
        time.sleep(0.05)
    raise RuntimeError('the page did not load')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--site', required=True)
    parser.add_argument('--farvane', required=True)
    args = parser.parse_args()
    scratch = tempfile.mkdtemp(prefix='farvane-web-')
    downloads = os.path.join(scratch, 'downloads')
    os.mkdir(downloads)
    port = free_port()
    server = subprocess.Popen([sys.executable, '-m', 'http.server', '--bind', '127.0.0.1', '-d', args.site, str(port)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    driver = None
    checks = Checks(None, os.path.abspath(args.farvane), scratch)
    try:
        options = webdriver.ChromeOptions()
        options.binary_location = chromium_binary()
        for flag in CHROMIUM_FLAGS + ['--user-data-dir=' + os.path.join(scratch, 'profile')]:
            options.add_argument(flag)
        options.add_experimental_option('prefs', {'download.default_directory': downloads,
                                                  'download.prompt_for_download': False})
        driver = webdriver.Chrome(service=Service(shutil.which('chromedriver')), options=options)
        driver.execute_cdp_cmd('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': downloads})
        for _ in range(100):
            with contextlib.suppress(Exception):
                driver.get(f'http://127.0.0.1:{port}/index.html?test')
                break
            time.sleep(0.1)
        page = Page(driver)
        wait_ready(page)
        checks.page = page
        play(page, checks, downloads)
    except Exception:  # noqa: BLE001 - a broken run is one more failure
        checks.failed.append('the run itself')
        traceback.print_exc(file=sys.stdout)
    finally:
        if driver:
            driver.quit()
        server.terminate()
        server.wait()
        shutil.rmtree(scratch, ignore_errors=True)
    if checks.failed:
        print('failed:', ', '.join(checks.failed))
    print(f'web: {checks.passed} passed, {len(checks.failed)} failed')
    return 1 if checks.failed else 0


if __name__ == '__main__':
    sys.exit(main())
