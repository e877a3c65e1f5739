#!/usr/bin/env python3
"""The browser page in headless Chromium: menus, countdown, steering by key and by touch, a lost
game with its box, a hidden tab, Restart and the high score, the saved recording, Quit and Play
again, a watched recording; the canvas at phone and desktop viewports and device ratios; keys
alone; a tap in flight under the box; the touch controls on a phone; a watch's seeks, keys and bar;
an idle page; the bytes of a first visit and of an update, counted at the server; a reload with the
network cut; a game shared as a link, watched offline in a fresh browser, and damaged links. Every
check runs under the page's Content-Security-Policy, and fails on anything it refuses. The canvas
is checked pixel for pixel against `farvane --script S --screenshot --scale R` of the same events,
S being the page's own recording and R the ratio it draws at (outside 1 to 4, the test build's
screenshot_at draws it).

Usage: page_test.py --site build-web/site --farvane build-test/farvane
Ends with the line "web: N passed, N failed"; exits 1 when any check failed."""

import argparse
import base64
import contextlib
import hashlib
import http.server
import json
import os
import pathlib
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions import interaction
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.pointer_input import PointerInput
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.select import Select

CHROMIUM_FLAGS = ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                  '--disable-component-update', '--disable-sync', '--no-first-run', '--window-size=1280,800']
# Viewports (CSS pixels, touch) the canvas must fit at every device ratio; the game goes on at
# the last, a phone.
VIEWPORTS = [(1280, 800, False), (2560, 1440, False), (360, 740, True), (740, 360, True), (768, 1024, True),
             (844, 390, True), (390, 844, True)]
RATIOS = [1, 1.25, 2, 3]


def new_browser(profile, downloads=None):
    """Chromium with its own profile, its log kept for the policy's reports."""
    options = webdriver.ChromeOptions()
    options.binary_location = chromium_binary()
    for flag in CHROMIUM_FLAGS + ['--user-data-dir=' + profile]:
        options.add_argument(flag)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    if downloads:
        options.add_experimental_option('prefs', {'download.default_directory': downloads,
                                                  'download.prompt_for_download': False})
    return webdriver.Chrome(service=Service(shutil.which('chromedriver')), options=options)


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

    def watch_to_end(self, length):
        """Plays the watch on to virtual time `length`, answering each box; returns how many came."""
        boxes = 0
        while self.hook('virtualNow()') < length and boxes < 100:
            if self.advance(1000) == 'box':
                boxes += 1
                self.driver.find_element(By.ID, 'box').find_element(By.TAG_NAME, 'button').click()
                self.settle()
        return boxes

    def until_box(self):
        for _ in range(120):
            if self.advance(500) == 'box':
                return
        raise AssertionError('the game was not lost')

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

    def keys(self, *keys):
        ActionChains(self.driver).send_keys(*keys).perform()
        self.settle()

    def alt(self):
        ActionChains(self.driver).key_down(Keys.ALT).key_up(Keys.ALT).perform()

    def focused(self):
        return self.js('return document.activeElement.id')

    def settle(self):
        """Waits until no event of the page is running."""
        for _ in range(200):
            if not self.js('return !!window.farvaneTest && farvaneTest.busy()'):
                return
            time.sleep(0.01)

    def enabled(self, element_id):
        return self.driver.find_element(By.ID, element_id).is_enabled()

    def touch(self, kind, x=0, y=0):
        points = [] if kind == 'touchEnd' else [{'x': x, 'y': y}]
        self.driver.execute_cdp_cmd('Input.dispatchTouchEvent', {'type': kind, 'touchPoints': points})

    def center(self, element_id):
        return self.js('const r = document.getElementById(arguments[0]).getBoundingClientRect();'
                       'return [r.left + r.width / 2, r.top + r.height / 2]', element_id)

    def load(self, url):
        self.driver.get(url)
        for _ in range(200):
            if self.js('return !!window.farvaneTest'):
                return
            time.sleep(0.05)
        raise RuntimeError('the page did not load')

    def set_viewport(self, width, height, ratio, touch):
        self.driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                                    {'width': width, 'height': height, 'deviceScaleFactor': ratio, 'mobile': touch})
        self.driver.execute_cdp_cmd('Emulation.setTouchEmulationEnabled', {'enabled': touch, 'maxTouchPoints': 5})
        for _ in range(100):
            if self.js('return [innerWidth, innerHeight, devicePixelRatio]') == [width, height, ratio]:
                break
            time.sleep(0.02)
        self.js("dispatchEvent(new Event('resize'))")  # the page sizes the canvas now, not later
        self.settle()


class Checks:
    def __init__(self, page, farvane, scratch):
        self.page, self.farvane, self.scratch = page, farvane, scratch
        self.passed, self.failed = 0, []

    def run(self, name, check):
        try:
            check()
            refused = csp_violations(self.page.driver)
            assert not refused, f'the Content-Security-Policy refused: {refused}'
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

    def same_pixels(self, moment, script=None, page=None):
        """The canvas of `page` (by default the test's) equals the headless screenshot of `script`, by
        default the page's recording so far, drawn at the page's ratio."""
        page = page or self.page
        shot = os.path.join(self.scratch, moment + '.png')
        script = script if script is not None else page.hook('recording()')
        ratio = page.hook('ratio()')
        if 1 <= ratio <= 4:
            self.replay(script, '--screenshot', shot, '--scale', repr(ratio))
        else:
            # Outside what --scale takes (a phone at ratio 1, a large screen): the same rasterizer
            # from the test build's own tool.
            path = os.path.join(self.scratch, 'replay.txt')
            with open(path, 'w', encoding='utf-8') as out:
                out.write(script)
            tool = os.path.join(os.path.dirname(self.farvane), 'tests', 'web', 'screenshot_at')
            subprocess.run([tool, path, shot, repr(ratio)], timeout=60, check=True)
        with open(shot, 'rb') as png:
            data = base64.b64encode(png.read()).decode()
        differ = page.driver.execute_async_script(
            'farvaneTest.differsFrom(arguments[0]).then(arguments[1])', data)
        assert differ == 0, f'{moment}: {differ} pixels differ from the screenshot'

    def same_final_dump(self, script):
        """The script replays headless to the page's own state dump."""
        lines = self.replay(script + 'dump\n').splitlines()
        assert lines[-1] == self.page.dump(), f'replay: {lines[-1]}\npage:   {self.page.dump()}'


def csp_violations(driver):
    """What the page's Content-Security-Policy refused since the last call, from the browser's log."""
    return [entry['message'] for entry in driver.get_log('browser') if 'Content Security Policy' in entry['message']]


def kept_when_ready(driver):
    """The files the service worker keeps, once it has taken over."""
    return driver.execute_async_script(
        'navigator.serviceWorker.ready.then(() => caches.open("farvane-files")).then((c) => c.keys())'
        '.then((keys) => arguments[0](keys.map((k) => k.url)))')


def cut(script, ms):
    """`script` up to virtual time `ms`: every command up to then, the wait in progress cut there."""
    lines, at = [], 0
    for line in script.splitlines():
        words = line.split()
        if words[:1] == ['wait']:
            if at + int(words[1]) > ms:
                lines.append(f'wait {ms - at}')
                break
            at += int(words[1])
        lines.append(line)
    return '\n'.join(lines) + '\n'


def length_of(script):
    return sum(int(line.split()[1]) for line in script.splitlines() if line.startswith('wait '))


def first_move(script):
    return next((line for line in script.splitlines() if not line.startswith('#')), '')


def free_port():
    with contextlib.closing(socket.socket()) as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def play(page, checks, downloads):
    js, driver = page.js, page.driver

    def title_and_start_scene():
        # The caption is the game's own text; the version the page was built as is its meta tag.
        assert driver.title == 'Farvane V1.33.7'
        assert driver.find_element(By.TAG_NAME, 'h1').text == 'Farvane V1.33.7'
        version = subprocess.run([checks.farvane, '--version'], capture_output=True, text=True, check=True).stdout
        assert driver.find_element(By.CSS_SELECTOR, 'meta[name=version]').get_attribute('content') == version.strip()
        assert all(page.enabled(i) for i in ('mnuFile', 'mnuHelp'))
        checks.same_pixels('start')
    checks.run('title, heading and the start scene', title_and_start_scene)

    def policy_in_force():
        # What a script injected into the page tries; each must fail, and be reported. (A string
        # given to setTimeout is evaluated as eval would: the probe for eval, which the test's own
        # scripts may run.)
        for attempt in ("await import('data:text/javascript,window.ran = 1')",
                        "document.head.append(Object.assign(document.createElement('script'), {textContent: 'window.ran = 1'}))",
                        "setTimeout('window.ran = 1')",
                        "await fetch('http://example.invalid/')"):
            ran = driver.execute_async_script(
                f'(async () => {{ {attempt}; await new Promise((r) => setTimeout(r, 50)); }})()'
                '.then(() => !!window.ran, () => false).then(arguments[0])')
            assert not ran, attempt
        assert len(csp_violations(driver)) >= 4
    checks.run('the Content-Security-Policy refuses inline script, eval, other scripts and hosts', policy_in_force)

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
        # A screen reader hears the words, not every tick.
        said = page.hook('said()')
        assert said[-3:] == ['Ready', 'Set', 'Go!'], said
    checks.run('Start greys the menus; the countdown every 600 ms, told to a screen reader', countdown)

    def steering():
        page.advance(500)
        page.keys(Keys.ARROW_LEFT)
        assert page.state('Steer') == 25
        page.keys('x')  # passed on as its code, ignored by the game
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

    def viewports():
        wrong = []
        for width, height, touch in VIEWPORTS:
            for ratio in RATIOS:
                page.set_viewport(width, height, ratio, touch)
                where = f'{width}x{height} at {ratio}'
                fit = js('const r = scene.getBoundingClientRect(), s = document.scrollingElement;'
                         'return [r.left, r.top, r.right, r.bottom, innerWidth, innerHeight,'
                         '        s.scrollWidth - s.clientWidth, s.scrollHeight - s.clientHeight, r.width, r.height,'
                         '        scene.width, scene.height]')
                left, top, right, bottom, view_width, view_height, over_x, over_y, css_w, css_h, store_w, store_h = fit
                if left < 0 or top < 0 or right > view_width or bottom > view_height or over_x > 0 or over_y > 0:
                    wrong.append(f'{where}: canvas {fit[:4]} in {fit[4:6]}, overflow {fit[6:8]}')
                draw, shown = page.hook('ratio()'), page.hook('scale()')
                # The backing store is what the ratio makes and covers the canvas pixel for pixel, or
                # on a large screen a whole number of times; the canvas starts on a device pixel.
                whole = shown == draw or (draw == int(draw) and shown % draw == 0)
                if [store_w, store_h] != [round(441 * draw), round(425 * draw)] or not whole or \
                        abs(css_w * ratio - round(441 * shown)) > 0.5 or abs(css_h * ratio - round(425 * shown)) > 0.5:
                    wrong.append(f'{where}: store {store_w}x{store_h} at {draw} shown at {shown}, css {css_w}x{css_h}')
                # (within what layout's 1/64 CSS pixel can place)
                if abs(left * ratio - round(left * ratio)) > 0.05 or abs(top * ratio - round(top * ratio)) > 0.05:
                    wrong.append(f'{where}: the canvas starts at {left * ratio}, {top * ratio} device pixels')
                checks.same_pixels(f'viewport-{width}x{height}-{ratio}')
        assert not wrong, '\n'.join(wrong)
    checks.run('at every viewport and ratio the whole canvas shows, crisp, and nothing scrolls', viewports)

    def touch():
        for offset, steer in ((-0.3, 25), (0.3, 0), (0.3, -25)):
            finger = ActionBuilder(driver, mouse=PointerInput(interaction.POINTER_TOUCH, 'finger'))
            scene = driver.find_element(By.ID, 'scene')
            finger.pointer_action.move_to(scene, int(offset * scene.size['width']), 0).pointer_down().pointer_up()
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
        page.until_box()
        box = driver.find_element(By.ID, 'box')
        assert js('return box.open') and box.find_element(By.ID, 'boxPrompt').text == 'You Lose!'
        # Told as the box shows, not once it is answered.
        lost_score.append(page.state('lblScore'))
        said = page.hook('said()')
        assert said[-1] == f'Game over. Score {lost_score[0]}', said[-3:]
        # The region keeps what came before, so news in quick succession is all read.
        assert js('return [...announce.children].map((line) => line.textContent)')[-2:] == said[-2:]
        assert box.find_element(By.ID, 'boxTitle').text == 'Muahahahaa'
        assert len(box.find_elements(By.TAG_NAME, 'button')) == 1
        # Over the road, in front of it.
        road, dialog = (js(f'const r = {e}.getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom]')
                        for e in ('client', 'box'))
        assert road[0] <= dialog[0] and road[1] <= dialog[1] and dialog[2] <= road[2] and dialog[3] <= road[3]
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
        assert page.hook('said()')[-1] == f'Game over. Score {lost_score[0]}'
        checks.same_pixels('lost')
    checks.run('a lost game: the box waits for OK over the road, then the game stands', lost_game)

    def restart():
        page.choose('mnuFile', 'mnuRestart')
        assert page.state('lblHigh') == lost_score[0] and page.state('lblScore') == '0'
        assert page.hook('said()')[-1] == f'3 shields left. Score 0. High score {lost_score[0]}'
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

    def quit_game():
        page.choose('mnuFile', 'mnuQuit')
        assert not driver.find_element(By.ID, 'scene').is_displayed()
        assert driver.find_element(By.ID, 'ended').is_displayed() and page.focused() == 'playAgain'
        assert not page.enabled('mnuFile') and not page.enabled('mnuHelp')
        dump = page.dump()
        ActionChains(driver).send_keys(Keys.ARROW_LEFT).perform()
        page.advance(1000)
        assert page.dump() == dump
        script = page.hook('recording()')
        assert script.endswith('menu mnuQuit\n')
        assert checks.replay(script).splitlines()[-1].startswith('{"end": ')
        # Play again: a new game in place, no reload.
        js('window.sameDocument = true')
        page.click('playAgain')
        page.settle()
        assert js('return window.sameDocument && !scene.hidden && ended.hidden')
        page.advance(2400)
        assert page.state('Timer1') and page.state('lblHigh') == ''
        assert first_move(page.hook('recording()')) == 'menu mnuStart', page.hook('recording()')
        checks.same_pixels('played-again')
    checks.run('Quit ends the game at once; Play again plays a new one in place', quit_game)

    def watched_recording():
        driver.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})
        picker = driver.find_element(By.ID, 'watch')
        bad = os.path.join(checks.scratch, 'bad.txt')
        with open(bad, 'w', encoding='utf-8') as out:
            out.write('menu mnuStart\njump\n')
        refused = subprocess.run([checks.farvane, '--script', 'bad.txt'], capture_output=True, text=True,
                                 cwd=checks.scratch, check=False)
        def pick(path, answer):
            picker.send_keys(path)
            for _ in range(100):
                if js('return ask.open'):
                    break
                time.sleep(0.02)
            assert js('return ask.open'), 'a recording picked during a game was not asked about'
            page.click(answer)
        pick(bad, 'askNo')
        assert first_move(page.hook('recording()')) == 'menu mnuStart'  # the game goes on
        pick(bad, 'askYes')
        note = driver.find_element(By.ID, 'watchError')
        for _ in range(100):
            if note.text:
                break
            time.sleep(0.02)
        assert note.text == refused.stderr.strip(), note.text
        assert first_move(page.hook('recording()')) == 'menu mnuStart'  # refused: the game goes on
        path = os.path.join(downloads, 'farvane-recording.txt')  # saved by an earlier check
        with open(path, encoding='utf-8') as saved:
            script = saved.read()
        pick(path, 'askYes')
        for _ in range(100):
            if page.hook('recording()') == '':
                break
            time.sleep(0.02)
        assert page.enabled('mnuFile') and not page.enabled('mnuStart') and page.enabled('mnuQuit')
        length = length_of(script)
        assert page.watch_to_end(length) == checks.replay(script).count('"msgbox"')
        ActionChains(driver).send_keys(Keys.ARROW_UP).perform()  # the recorded game's keys change nothing
        page.advance(500)
        checks.same_pixels('watched', script)
        # Over: watch again, or play.
        assert driver.find_element(By.ID, 'watchOver').is_displayed()
        page.click('watchAgain')
        assert not driver.find_element(By.ID, 'watchOver').is_displayed() and page.hook('virtualNow()') < length
        page.watch_to_end(length)
        page.advance(500)
        page.click('watchPlay')
        page.settle()
        page.advance(2400)
        assert page.state('Timer1') and first_move(page.hook('recording()')) == 'menu mnuStart'
        assert page.enabled('save')
    checks.run('a recording picked during a game is asked about, plays to the headless screenshot, '
               'and can be watched again or left for a game', watched_recording)


def keys_alone(page, checks, url):
    """From a fresh load, the keyboard alone plays, answers the box and works the menus."""
    def keyboard():
        page.set_viewport(1280, 800, 1, False)
        page.load(url)
        page.keys(Keys.TAB)
        assert page.focused() == 'mnuFile'
        page.keys(Keys.TAB)
        assert page.focused() == 'save'
        page.keys(Keys.ESCAPE)
        page.alt()  # File opens on Start; Enter chooses it
        assert page.focused() == 'mnuStart' and page.js('return mnuFile.getAttribute("aria-expanded")') == 'true'
        page.keys(Keys.ENTER)
        assert page.focused() in ('', None) and page.state('lblReady') == ''
        page.keys(Keys.TAB)  # after a menu, Tab comes to the menu bar first
        assert page.focused() == 'mnuFile'
        page.keys(Keys.ESCAPE)
        page.advance(2400)
        assert page.state('Timer1')
        for key, steer in ((Keys.ARROW_LEFT, 25), (Keys.SPACE, 25), (Keys.PAGE_DOWN, 25), (Keys.ARROW_RIGHT, 0)):
            page.keys(key)
            assert page.state('Steer') == steer
        page.until_box()
        page.keys(Keys.ENTER)
        assert not page.hook('boxOpen()') and not page.state('Timer1')
        page.keys(Keys.F10)  # after a lost game Start is grey: File opens on Restart
        assert page.focused() == 'mnuRestart'
        page.keys(Keys.ARROW_DOWN, Keys.ARROW_UP, Keys.ENTER)
        assert page.state('lblScore') == '0' and page.state('lblHigh') != ''
        page.alt()
        page.keys(Keys.ARROW_RIGHT)  # the Help menu opens on How To Play
        assert page.focused() == 'mnuHow'
        page.keys(Keys.ARROW_DOWN, Keys.ENTER)
        assert page.state('lblReady') == 'Programmed By: Telmasc'
        page.alt()
        page.keys(Keys.ESCAPE)  # the menu closes and the keys are the game's again
        assert page.js('return document.querySelectorAll(".entries:not([hidden])").length') == 0
        assert page.js('return [scrollX, scrollY, document.scrollingElement.scrollTop]') == [0, 0, 0]
    checks.run('keys alone start a game, steer, answer the box, Restart and open About', keyboard)

    def tap_in_flight():
        page.set_viewport(390, 844, 2, True)
        # A first game finds when the box comes up and where OK is; a fresh tap answers it.
        page.load(url)
        page.choose('mnuFile', 'mnuStart')
        page.until_box()
        lost_at, spot = page.hook('virtualNow()'), page.center('boxOk')
        page.touch('touchStart', *spot)
        page.touch('touchEnd')
        page.settle()
        assert not page.hook('boxOpen()'), 'a fresh tap did not answer the box'
        # The same game again, with a finger down on that spot just before the box comes up.
        page.load(url)
        page.choose('mnuFile', 'mnuStart')
        page.advance(lost_at - page.hook('virtualNow()') - 20)
        page.touch('touchStart', *spot)
        assert page.advance(200) == 'box', 'the box did not come up under the finger'
        clicks = page.hook('okClicks()')
        page.touch('touchEnd')
        time.sleep(0.3)
        assert page.hook('okClicks()') == clicks + 1, 'the tap did not reach OK'
        assert page.hook('boxOpen()'), 'a tap in flight answered the box'
    checks.run('a tap begun before the box shows does not close it', tap_in_flight)


def touch_first(page, checks, url):
    """On a phone the page's own large controls start, steer, and survive a turn with the box up."""
    js = page.js

    def rect(element_id):
        return js('const r = document.getElementById(arguments[0]).getBoundingClientRect();'
                  'return [r.left, r.top, r.right, r.bottom]', element_id)

    def tap(element_id):
        page.touch('touchStart', *page.center(element_id))
        page.touch('touchEnd')
        page.settle()

    def hints():
        # (touch, words the hint must have, words it must not)
        for touch, has, lacks in ((True, 'Tap Start', ('key', 'F10', 'Enter', 'Alt')),
                                  (False, 'F10, Enter (or File \u2192 Start)', ('Tap',))):
            page.set_viewport(390, 844, 3, touch)
            page.load(url)
            hint = js('return hint.textContent')
            assert has in hint and not any(word in hint for word in lacks), (touch, hint)
            assert js('return getComputedStyle(controls).display') == ('flex' if touch else 'none')
    checks.run('the hint says how to begin in the words of the input in use', hints)

    def phone():
        page.set_viewport(390, 844, 3, True)
        page.load(url)
        for control in ('touchStart', 'padLeft', 'padRight', 'mnuFile', 'mnuHelp'):
            left, top, right, bottom = rect(control)
            assert right - left >= 48 and bottom - top >= 48 and 0 <= left and right <= 390 and bottom <= 844, \
                (control, rect(control))
        assert js('return touchRestart.hidden')  # until a game has been played
        tap('touchStart')  # one tap starts a game
        assert first_move(page.hook('recording()')) == 'menu mnuStart'
        page.advance(2400)
        assert page.state('Timer1')
        for pad, steer in (('padLeft', 25), ('padRight', 0)):
            tap(pad)
            assert page.state('Steer') == steer, (pad, page.state('Steer'))
        # Held, a pad repeats as a held key does.
        page.touch('touchStart', *page.center('padLeft'))
        for _ in range(300):
            if page.hook('recording()').count('key 37') >= 3:
                break
            time.sleep(0.02)
        page.touch('touchEnd')
        page.settle()
        script = page.hook('recording()')
        assert script.count('key 37') >= 3 and 'key 39' in script, script
        assert js('return hint.textContent').startswith('Hold')
        assert js('return !touchRestart.hidden && !touchRestart.disabled')
        # Turned with the box up, the road stays inside the screen.
        page.until_box()
        page.set_viewport(844, 390, 3, True)
        for name in ('scene', 'box'):
            left, top, right, bottom = rect(name)
            assert left >= 0 and top >= 0 and right <= 844.5 and bottom <= 390.5, (name, rect(name))
        tap('boxOk')
        assert not page.hook('boxOpen()')
        checks.same_pixels('turned')
    checks.run('on a phone a large Start starts with one tap, the pads steer, a turn with the box up fits',
               phone)

    def smallest():
        page.set_viewport(250, 250, 1, True)
        page.load(url)
        unreachable = []
        for control in ('mnuFile', 'mnuHelp', 'touchStart', 'padLeft', 'padRight', 'hint', 'save', 'watch'):
            hit = js('const e = document.getElementById(arguments[0]); e.scrollIntoView({block: "nearest"});'
                     'const r = e.getBoundingClientRect();'
                     'const at = document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2);'
                     'return !!at && (e.contains(at) || at.contains(e))', control)
            if not hit:
                unreachable.append(control)
        assert not unreachable, unreachable
    checks.run('at 250 x 250 every control can be reached', smallest)


# A minute of play: Start, then 300 presses of Left or Right at uneven intervals (the same every
# run); a lost game's box answered, Restart and Start again. Resolves to the page's recording.
MINUTE_GAME = """
const t = farvaneTest, done = arguments[0];
const settled = async () => { while (t.busy() || t.boxOpen()) await new Promise((r) => setTimeout(r, 10)); };
(async () => {
  document.getElementById('mnuStart').click();
  await t.advance(2400);
  let seed = 12345;
  const next = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
  for (let press = 0; press < 300; ++press) {
    if (await t.advance(10 + Math.floor(next() * 38) * 10) === 'box') {
      boxOk.dispatchEvent(new PointerEvent('pointerdown', { bubbles: true }));
      boxOk.click();
      await settled();
      for (const entry of [mnuRestart, mnuStart]) {
        entry.click();
        await settled();
      }
    }
    await t.key(next() < 0.5 ? 37 : 39);
  }
  return t.recording();
})().then(done, (e) => done(String(e)));
"""


def watch_controls(page, checks, url):
    """A minute's game watched: seeks show the headless picture of the recording cut there, the
    watcher's keys and the bar pause, step, change speed and seek; the game is shared as a link.
    Returns the recording and its link."""
    js, driver = page.js, page.driver
    shared = {}

    def position():
        at, length, speed, paused, over = js('return farvaneTest.watchPosition()')
        return {'at': at, 'length': length, 'speed': speed, 'paused': paused, 'over': over}

    def seeks():
        page.set_viewport(1280, 800, 1, False)
        page.load(url)
        script = driver.execute_async_script(MINUTE_GAME)
        assert script.count('\nkey ') == 300 and length_of(script) >= 60000, script[-200:]
        shared['script'] = script
        assert js('return farvaneTest.watch("minute.txt", arguments[0])', script)
        page.settle()
        assert js('return !watchBar.hidden')
        for ms in (7500, 41000, 2000):  # forward, past boxes, back
            js('watchTime.value = arguments[0]; watchTime.dispatchEvent(new Event("input"))', ms)
            page.settle()
            assert position()['at'] == ms, (ms, position())
            checks.same_pixels(f'seek-{ms}', cut(script, ms))
        length = length_of(script)
        assert js('return watchAt.textContent') == f'0:02.0 / {length // 60000}:{length % 60000 // 100 / 10:04.1f}'
        # The controls below play on for 6 s of the recording: from the Restart that begins its
        # longest stretch with no box.
        restarts, at = [], 0
        for line in script.splitlines():
            at += int(line.split()[1]) if line.startswith('wait ') else 0
            restarts += [at] if line == 'menu mnuRestart' else []
        quiet = max(zip(restarts, restarts[1:] + [length]), key=lambda stretch: stretch[1] - stretch[0])
        assert quiet[1] - quiet[0] > 6000, restarts
        js('watchTime.value = arguments[0]; watchTime.dispatchEvent(new Event("input"))', quiet[0])
        page.settle()
    checks.run('a seek on the page shows the picture of the recording cut there', seeks)

    def controls():
        def pause_button():
            page.click('watchPause')
            page.settle()

        def speed(value):
            Select(driver.find_element(By.ID, 'watchSpeed')).select_by_value(value)
            page.settle()
        # (what the watcher does, the clock it moves the watch by over 1 s, what it changes); a step
        # moves at once, to the next tick of either timer
        for act, moved, want in ((lambda: page.keys(Keys.SPACE), 0, {'paused': 1}),
                                 (lambda: page.keys('.'), 'a tick', {'paused': 1}),
                                 (pause_button, 1000, {'paused': 0}),
                                 (lambda: page.keys('['), 500, {'speed': 0.5}),
                                 (lambda: page.keys(']', ']', ']'), 4000, {'speed': 4}),
                                 (lambda: speed('0.25'), 250, {'speed': 0.25}),
                                 (pause_button, 0, {'paused': 1}),
                                 (lambda: page.keys(Keys.ARROW_RIGHT), 5000, {'paused': 1}),
                                 (lambda: page.keys(Keys.HOME), 0, {'at': 0}),
                                 (lambda: page.keys(Keys.END), 0, {'over': 1})):
            before = position()['at']
            act()
            if moved != 'a tick':
                page.advance(1000)
            after = position()
            assert all(after[key] == value for key, value in want.items()), (want, after)
            if moved == 'a tick':
                assert 0 < after['at'] - before <= 600, after['at'] - before
            elif 'at' not in want and 'over' not in want:
                assert after['at'] - before == moved, (want, moved, after['at'] - before)
        assert js('return [watchPause.disabled, watchSpeed.value]') == [True, '0.25']
    checks.run('the watcher\'s keys and the bar pause, step, change speed and seek', controls)

    def share():
        driver.execute_cdp_cmd('Browser.grantPermissions', {'origin': url.split('/index')[0],
                                                            'permissions': ['clipboardReadWrite',
                                                                            'clipboardSanitizedWrite']})
        page.click('share')
        for _ in range(200):
            if js('return shareNote.textContent'):
                break
            time.sleep(0.02)
        assert js('return shareNote.textContent') == 'The link is on the clipboard.', js('return shareNote.textContent')
        link = driver.execute_async_script('navigator.clipboard.readText().then(arguments[0])')
        assert link.startswith(url + '#w1.') and len(link) <= 4096, (len(link), link[:100])
        print(f'  a {length_of(shared["script"]) / 1000} s game of 300 presses: a link of {len(link)} characters')
        shared['link'] = link
    checks.run('a watched game is shared as a link of at most 4096 characters', share)
    return shared


def shared_links(checks, url, server, shared):
    """In a fresh browser that has seen the page once, with the network cut since: a shared link
    watches its game to the headless picture; a damaged link says so in one line, and the page
    plays."""
    if 'link' not in shared:
        return
    driver = new_browser(os.path.join(checks.scratch, 'fresh'))
    page = Page(driver)
    try:
        def offline():
            page.load(url)
            kept_when_ready(driver)
            server(False)
            driver.get('about:blank')
            page.load(shared['link'])
            for _ in range(200):
                if page.hook('watchState()') == 1:
                    break
                time.sleep(0.02)
            script = shared['script']
            page.watch_to_end(length_of(script))
            page.advance(500)
            assert page.hook('watchState()') == 2
            checks.same_pixels('linked', script, page)
            assert not csp_violations(driver)
        checks.run('a shared link watches its game offline in a fresh browser', offline)

        def damaged():
            head, payload = shared['link'].split('#w1.')
            middle = len(payload) // 2
            swapped = payload[:middle] + ('B' if payload[middle] == 'A' else 'A') + payload[middle + 1:]
            text = b'wait 1\n' * (17 * 1024 * 1024 // 7)  # a valid script, of 17 MB
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            packed = zlib.crc32(text).to_bytes(4, 'big') + packer.compress(text) + packer.flush()
            huge = base64.urlsafe_b64encode(packed).decode().rstrip('=')
            damaged = 'This link has been cut or altered: its game cannot be watched.'
            # (the fragment, what the page says)
            for fragment, said in (('w1.' + swapped, damaged), ('w1.' + payload[:middle], damaged),
                                   ('w1.' + payload + '!', damaged), ('w1.' + huge, 'This link holds a recording '
                                                                                   'larger than 16 MB: it is not watched.'),
                                   ('w2.' + payload, 'This link was made by a newer version of the game: it cannot '
                                                     'be watched here.')):
                driver.get('about:blank')
                page.load(f'{head}#{fragment}')
                for _ in range(500):
                    if page.js('return watchError.textContent'):
                        break
                    time.sleep(0.02)
                assert page.js('return watchError.textContent') == said, (fragment[:20], said)
                assert page.hook('watchState()') == 0
                page.choose('mnuFile', 'mnuStart')
                page.advance(2400)
                assert page.state('Timer1'), 'the page does not play'
            assert not csp_violations(driver)
        checks.run('a damaged or oversized link says so in one line and the page plays', damaged)
    finally:
        driver.quit()


def idle_and_offline(page, checks, url, server, site, served):
    """A page with nothing due makes no calls and asks for no frames; after one visit a reload
    with the network cut plays; a new version of the page replaces the kept one."""
    def idle():
        page.driver.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument', {'source':
            'window.frames_asked = 0; const ask = requestAnimationFrame;'
            'window.requestAnimationFrame = (f) => { frames_asked += 1; return ask(f); };'})
        page.load(url + '=real')
        time.sleep(0.3)
        before = page.js('return [farvaneTest.calls(), frames_asked]')
        time.sleep(1)
        assert page.js('return [farvaneTest.calls(), frames_asked]') == before
        assert not page.hook('timerSet()')
        page.choose('mnuFile', 'mnuStart')
        assert page.hook('timerSet()')  # the countdown is due
    checks.run('an idle page makes no calls and asks for no frames', idle)

    def first_visit():
        # A browser that has never seen the page: the page and its kept copy cost one download.
        page.driver.execute_cdp_cmd('Storage.clearDataForOrigin', {'origin': url.split('/index')[0],
                                                                   'storageTypes': 'all'})
        page.driver.execute_cdp_cmd('Network.clearBrowserCache', {})
        page.driver.get('about:blank')
        served.clear()
        page.load(url)
        kept = kept_when_ready(page.driver)
        assert any('farvane.wasm' in key for key in kept), kept
        total = sum(size for _, size in served)
        wasm = [path for path, _ in served if path.endswith('.wasm')]
        assert total <= 300 * 1024 and len(wasm) == 1, (total, served)
        print(f'  first visit: {total} bytes in {len(served)} responses')
    checks.run('a first visit downloads each file once, 300 KB in all', first_visit)

    def offline():
        server(False)
        page.load(url)
        page.choose('mnuFile', 'mnuStart')
        page.advance(2400)
        assert page.state('Timer1') and page.state('lblReady') == ''
    checks.run('after one visit a reload with the network cut plays', offline)

    def new_version():
        # As a build names the kept files after their contents: page.js changed, its sum in sw.js.
        script, worker = pathlib.Path(site, 'page.js'), pathlib.Path(site, 'sw.js')
        old_sum = hashlib.sha256(script.read_bytes()).hexdigest()
        script.write_text(script.read_text() + '// next\n')
        new_sum = hashlib.sha256(script.read_bytes()).hexdigest()
        worker.write_text(worker.read_text().replace(old_sum, new_sum))
        server(True)
        served.clear()
        page.load(url)
        kept = []
        for _ in range(200):
            kept = page.driver.execute_async_script(
                'caches.open("farvane-files").then((c) => c.keys()).then((k) => arguments[0](k.map((r) => r.url)))')
            if any(new_sum in key for key in kept) and not any(old_sum in key for key in kept):
                break
            time.sleep(0.05)
        assert any(new_sum in key for key in kept) and not any(old_sum in key for key in kept), kept
        assert not [path for path, _ in served if '.wasm' in path], served
        assert '// next' in page.driver.execute_async_script(
            f"caches.match('page.js?sha256={new_sum}').then((r) => r.text()).then(arguments[0])")
    checks.run('the next visit after a change to page.js fetches that file and no .wasm', new_version)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--site', required=True)
    parser.add_argument('--farvane', required=True)
    args = parser.parse_args()
    scratch = tempfile.mkdtemp(prefix='farvane-web-')
    downloads = os.path.join(scratch, 'downloads')
    os.mkdir(downloads)
    port = free_port()
    site = os.path.join(scratch, 'site')  # a copy: the test makes a new version of it
    shutil.copytree(args.site, site)
    servers = []
    served = []  # (path, bytes of the body) of every response, for the first visit's count

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=site, **kwargs)

        def copyfile(self, source, outputfile):
            body = source.read()
            outputfile.write(body)
            served.append((self.path, len(body)))

        def log_message(self, *args):
            pass

    def server(up):
        """Starts or stops the web server: the network is there or cut."""
        while servers:
            servers[-1].shutdown()
            servers.pop().server_close()
        if up:
            servers.append(http.server.ThreadingHTTPServer(('127.0.0.1', port), Handler))
            threading.Thread(target=servers[-1].serve_forever, daemon=True).start()

    driver = None
    checks = Checks(None, os.path.abspath(args.farvane), scratch)
    url = f'http://127.0.0.1:{port}/index.html?test'
    try:
        driver = new_browser(os.path.join(scratch, 'profile'), downloads)
        driver.execute_cdp_cmd('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': downloads})
        page = Page(driver)
        checks.page = page
        server(True)
        page.set_viewport(1280, 800, 1, False)
        for _ in range(100):
            with contextlib.suppress(Exception):
                page.load(url)
                break
            time.sleep(0.1)
        play(page, checks, downloads)
        keys_alone(page, checks, url)
        touch_first(page, checks, url)
        shared = watch_controls(page, checks, url)
        idle_and_offline(page, checks, url, server, site, served)
        shared_links(checks, url, server, shared)
    except Exception:  # noqa: BLE001 - a broken run is one more failure
        checks.failed.append('the run itself')
        traceback.print_exc(file=sys.stdout)
    finally:
        if driver:
            driver.quit()
        server(False)
        shutil.rmtree(scratch, ignore_errors=True)
    if checks.failed:
        print('failed:', ', '.join(checks.failed))
    print(f'web: {checks.passed} passed, {len(checks.failed)} failed')
    return 1 if checks.failed else 0


if __name__ == '__main__':
    sys.exit(main())
