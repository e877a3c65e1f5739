#!/usr/bin/env python3
"""The browser page's figures in headless Chromium: the bytes a first visit loads, the time from
navigation to the first painted frame, the game tick in WebAssembly against the native tick (the
same loop, web/tickbench.cpp, whose WebAssembly is a module of its own beside the page's site/),
one run of each in turn, and the tab's CPU idle and in play beside a blank page and a bare page
that puts one 441 x 425 image on a canvas 20 times a second, all in the same run, and the same in
play on a 4K screen at ratio 2. Medians of 5 (the tick: of 9).

Usage: web_bench.py --site build-web/site --native build-bench/web/web_tick_bench
                    [--tickbench build-web/tickbench]"""

import argparse
import os
import pathlib
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

RUNS = 5
TICK_RUNS = 9
TICKS = 2_000_000
CPU_SECONDS = 3
SETTLE_SECONDS = 2  # after a load, before its CPU is measured: compiling and collecting are over
# The pages the game's are measured against, served beside it.
BLANK = '<!DOCTYPE html><html><head><meta charset="utf-8"><title>blank</title></head><body></body></html>'
BARE = """<!DOCTYPE html><html><head><meta charset="utf-8"><title>bare</title></head><body>
<canvas id="c" width="441" height="425"></canvas><script>
const context = document.getElementById('c').getContext('2d', { alpha: false });
const image = context.createImageData(441, 425);
for (let i = 0; i < image.data.length; i += 4) image.data.set([i % 251, i % 241, i % 239, 255], i);
setInterval(() => context.putImageData(image, 0, 0), 50);
</script></body></html>"""
# The tick benchmark's own page.
TICK = """<!DOCTYPE html><html><head><meta charset="utf-8"><title>tick</title></head><body>
<script type="module">
import createTickBench from './tickbench.js';
createTickBench().then((module) => { window.tickNanos = (ticks) => module._tick_nanos(ticks); });
</script></body></html>"""


def chromium_binary():
    """Debian's Chromium itself, not the shell script in front of it."""
    return '/usr/lib/chromium/chromium' if os.path.exists('/usr/lib/chromium/chromium') else shutil.which('chromium')


def browser_cpu(browser_pid):
    """CPU seconds used so far by the renderers and by every process of the browser."""
    parents, used, renderers = {}, {}, set()
    tick = os.sysconf('SC_CLK_TCK')
    for entry in pathlib.Path('/proc').iterdir():
        if not entry.name.isdigit():
            continue
        try:
            fields = (entry / 'stat').read_text().rsplit(')', 1)[1].split()
            command = (entry / 'cmdline').read_bytes()
        except OSError:
            continue
        pid = int(entry.name)
        parents[pid] = int(fields[1])
        used[pid] = (int(fields[11]) + int(fields[12])) / tick
        if b'--type=renderer' in command:
            renderers.add(pid)

    def descends(pid):
        while pid > 1:
            if pid == browser_pid:
                return True
            pid = parents.get(pid, 0)
        return False
    family = [pid for pid in used if descends(pid)]
    return sum(used[pid] for pid in family if pid in renderers), sum(used[pid] for pid in family)


def main_thread_ms(driver):
    metrics = driver.execute_cdp_cmd('Performance.getMetrics', {})['metrics']
    return next(m['value'] for m in metrics if m['name'] == 'TaskDuration') * 1000


def cpu_while(driver, browser_pid, seconds):
    """Renderer and whole-browser CPU in % of a core, and the page's main-thread task time in ms
    a second, over `seconds`."""
    task, (renderer, everything), start = main_thread_ms(driver), browser_cpu(browser_pid), time.monotonic()
    time.sleep(seconds)
    task2, (renderer2, everything2), took = main_thread_ms(driver), browser_cpu(browser_pid), time.monotonic() - start
    return (renderer2 - renderer) / took * 100, (everything2 - everything) / took * 100, (task2 - task) / took


def cpu_figures(driver, browser_pid, base, pages=(('blank', 'blank.html'), ('bare', 'bare.html'),
                                                   ('idle', 'index.html?test=real'))):
    """One round: the blank page, the bare page, the game idle before Start and the game in play
    (from the end of the countdown, before an unsteered game is lost)."""
    figures = {}
    for name, url in pages:
        driver.get(base + url)
        time.sleep(SETTLE_SECONDS)
        figures[name] = cpu_while(driver, browser_pid, CPU_SECONDS)
    driver.execute_script("document.getElementById('mnuFile').click(); document.getElementById('mnuStart').click()")
    time.sleep(2.5)
    figures['play'] = cpu_while(driver, browser_pid, CPU_SECONDS)
    assert driver.execute_script('return !box.open && farvaneTest.virtualNow() > 5000'), 'the game was not in play'
    return figures


def report_cpu(rounds, names=('blank', 'idle', 'bare', 'play'), pairs=(('idle', 'blank'), ('play', 'bare'))):
    def median(name, column):
        return statistics.median(r[name][column] for r in rounds)
    print(f'tab CPU, median of {len(rounds)} rounds of {CPU_SECONDS} s (renderer % of a core / whole browser % / '
          'main-thread task ms a second):')
    for name in names:
        print(f'  {name:5s} {median(name, 0):6.2f} % / {median(name, 1):6.2f} % / {median(name, 2):6.2f} ms')
    for name, against in pairs:
        # Below the clock's tick of 10 ms in the whole measurement, a base reads as 0: no ratio then.
        ratios = [f'{median(name, c) / median(against, c):.2f}' if median(against, c) > 0 else '-' for c in range(3)]
        print(f'  {name} against {against}: {" / ".join(ratios)}')


def large_screen(driver, browser_pid, base):
    """The game in play on a 4K screen at ratio 2 (3840 x 2160 CSS pixels) beside the bare page on
    the same screen, in turn."""
    driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                           {'width': 3840, 'height': 2160, 'deviceScaleFactor': 2, 'mobile': False})
    rounds = [cpu_figures(driver, browser_pid, base, (('bare', 'bare.html'), ('idle', 'index.html?test=real')))
              for _ in range(RUNS)]
    draw, shown = driver.execute_script('return [farvaneTest.ratio(), farvaneTest.scale()]')
    print(f'at 3840 x 2160, ratio 2: the game drew at ratio {draw:g}, shown at {shown:g} device pixels a scene pixel')
    report_cpu(rounds, ('bare', 'play'), (('play', 'bare'),))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--site', required=True)
    parser.add_argument('--native', required=True)
    parser.add_argument('--tickbench', help='the WebAssembly tick benchmark (default: tickbench/ beside the site)')
    args = parser.parse_args()

    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        port = probe.getsockname()[1]
    profile = tempfile.mkdtemp(prefix='farvane-web-bench-')
    site = os.path.join(profile, 'site')
    shutil.copytree(args.site, site)
    pathlib.Path(site, 'blank.html').write_text(BLANK, encoding='utf-8')
    pathlib.Path(site, 'bare.html').write_text(BARE, encoding='utf-8')
    pathlib.Path(site, 'tick.html').write_text(TICK, encoding='utf-8')
    tickbench = args.tickbench or os.path.join(os.path.dirname(os.path.abspath(args.site)), 'tickbench')
    for name in ('tickbench.js', 'tickbench.wasm'):
        shutil.copy(os.path.join(tickbench, name), site)
    server = subprocess.Popen([sys.executable, '-m', 'http.server', '--bind', '127.0.0.1', '-d', site, str(port)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    options = webdriver.ChromeOptions()
    options.binary_location = chromium_binary()
    for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                 '--disable-component-update', '--disable-sync', '--no-first-run', '--force-device-scale-factor=1',
                 '--window-size=900,800', '--user-data-dir=' + os.path.join(profile, 'data')):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(shutil.which('chromedriver')), options=options)
    try:
        time.sleep(0.3)
        driver.execute_cdp_cmd('Network.enable', {})
        driver.execute_cdp_cmd('Network.setCacheDisabled', {'cacheDisabled': True})
        driver.execute_cdp_cmd('Network.setBypassServiceWorker', {'bypass': True})  # every visit a first one
        sizes, first_frames = [], []
        for _ in range(RUNS):
            driver.get('about:blank')
            driver.get(f'http://127.0.0.1:{port}/')
            for _ in range(400):
                if driver.execute_script('return window.farvaneFirstFrame !== undefined'):
                    break
                time.sleep(0.01)
            first_frames.append(driver.execute_script('return window.farvaneFirstFrame'))
            sizes.append(driver.execute_script(
                "const all = [...performance.getEntriesByType('navigation'), ...performance.getEntriesByType('resource')];"
                "return all.map((e) => e.decodedBodySize).reduce((a, b) => a + b, 0)"))
        files = sorted(str(path.relative_to(args.site)) for path in pathlib.Path(args.site).rglob('*') if path.is_file())
        print(f'files: {", ".join(f"{name} {os.path.getsize(os.path.join(args.site, name))}" for name in files)}')
        print(f'bytes loaded (uncompressed), median: {statistics.median(sizes):.0f}')
        print(f'navigation to first painted frame, median: {statistics.median(first_frames):.0f} ms '
              f'(runs: {", ".join(f"{t:.0f}" for t in first_frames)})')

        driver.get(f'http://127.0.0.1:{port}/tick.html')
        for _ in range(400):
            if driver.execute_script('return !!window.tickNanos'):
                break
            time.sleep(0.01)
        # One run of each in turn, so a change in the machine's load falls on both alike.
        wasm, native = [], []
        for _ in range(TICK_RUNS):
            wasm.append(driver.execute_script(f'return tickNanos({TICKS})'))
            native.append(float(subprocess.run([args.native, str(TICKS), '1'], capture_output=True, text=True,
                                               check=True).stdout))
        print(f'game tick, median: WebAssembly {statistics.median(wasm):.1f} ns, native {statistics.median(native):.1f} ns, '
              f'ratio {statistics.median(wasm) / statistics.median(native):.2f}')
        print(f'  WebAssembly runs: {", ".join(f"{t:.1f}" for t in wasm)}; native runs: {", ".join(f"{t:.1f}" for t in native)}')

        # The game at ratio 1 (441 x 425 device pixels), as large as the bare page's image.
        driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                               {'width': 760, 'height': 473, 'deviceScaleFactor': 1, 'mobile': False})
        driver.execute_cdp_cmd('Performance.enable', {})
        browser_pid = driver.service.process.pid
        rounds = [cpu_figures(driver, browser_pid, f'http://127.0.0.1:{port}/') for _ in range(RUNS)]
        ratio = driver.execute_script('return farvaneTest.ratio()')
        print(f'(the game drew at ratio {ratio:g})')
        report_cpu(rounds)
        large_screen(driver, browser_pid, f'http://127.0.0.1:{port}/')
    finally:
        driver.quit()
        server.terminate()
        server.wait()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == '__main__':
    main()
