#!/usr/bin/env python3
"""The browser page's figures in headless Chromium: the bytes a first visit loads, the time from
navigation to the first painted frame, and the game tick in WebAssembly against the native tick
(the same loop, web/tickbench.cpp), one run of each in turn. Medians of 5 (the tick: of 9).

Usage: web_bench.py --site build-web/site --native build-bench/web/web_tick_bench"""

import argparse
import os
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


def chromium_binary():
    """Debian's Chromium itself, not the shell script in front of it."""
    return '/usr/lib/chromium/chromium' if os.path.exists('/usr/lib/chromium/chromium') else shutil.which('chromium')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--site', required=True)
    parser.add_argument('--native', required=True)
    args = parser.parse_args()

    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        port = probe.getsockname()[1]
    server = subprocess.Popen([sys.executable, '-m', 'http.server', '--bind', '127.0.0.1', '-d', args.site, str(port)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    profile = tempfile.mkdtemp(prefix='farvane-web-bench-')
    options = webdriver.ChromeOptions()
    options.binary_location = chromium_binary()
    for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                 '--disable-component-update', '--disable-sync', '--no-first-run', '--force-device-scale-factor=1',
                 '--window-size=900,800', '--user-data-dir=' + profile):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(shutil.which('chromedriver')), options=options)
    try:
        time.sleep(0.3)
        driver.execute_cdp_cmd('Network.enable', {})
        driver.execute_cdp_cmd('Network.setCacheDisabled', {'cacheDisabled': True})
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
        files = sorted(os.listdir(args.site))
        print(f'files: {", ".join(f"{name} {os.path.getsize(os.path.join(args.site, name))}" for name in files)}')
        print(f'bytes loaded (uncompressed), median: {statistics.median(sizes):.0f}')
        print(f'navigation to first painted frame, median: {statistics.median(first_frames):.0f} ms '
              f'(runs: {", ".join(f"{t:.0f}" for t in first_frames)})')

        driver.get(f'http://127.0.0.1:{port}/index.html?test')
        for _ in range(400):
            if driver.execute_script('return !!window.farvaneTest'):
                break
            time.sleep(0.01)
        # One run of each in turn, so a change in the machine's load falls on both alike.
        wasm, native = [], []
        for _ in range(TICK_RUNS):
            wasm.append(driver.execute_script(f'return farvaneTest.tickNanos({TICKS})'))
            native.append(float(subprocess.run([args.native, str(TICKS), '1'], capture_output=True, text=True,
                                               check=True).stdout))
        print(f'game tick, median: WebAssembly {statistics.median(wasm):.1f} ns, native {statistics.median(native):.1f} ns, '
              f'ratio {statistics.median(wasm) / statistics.median(native):.2f}')
        print(f'  WebAssembly runs: {", ".join(f"{t:.1f}" for t in wasm)}; native runs: {", ".join(f"{t:.1f}" for t in native)}')
    finally:
        driver.quit()
        server.terminate()
        server.wait()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == '__main__':
    main()
