#!/usr/bin/env python3
"""Start-up under Wine, in one run: the time from launching dist/zarudodo.exe
to the address in its window title, next to the headless server's time from
launch to printing its address. Needs an X display (scripts/bench makes one).
Usage: desktop-startup.py"""

import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'tests', 'e2e', 'desktop'))
sys.path.insert(0, os.path.join(HERE, '..', 'tests', 'e2e', 'server'))
from desktoplib import Desktop, desktop_session  # noqa: E402
from serverlib import Server, free_port  # noqa: E402

REPEATS = 5


def settings():
    return {'port': free_port(), 'extensions': ['mp4'], 'share': False, 'folders': []}


def server_seconds():
    started = time.monotonic()
    server = Server(settings())
    took = time.monotonic() - started
    server.stop()
    return took


def desktop_seconds():
    desktop = Desktop(settings())
    desktop.close()
    return desktop.start_seconds


def main():
    with desktop_session():
        desktop_seconds()  # the first start warms Wine's caches for both
        desktop = [desktop_seconds() for _ in range(REPEATS)]
        server = [server_seconds() for _ in range(REPEATS)]
    print(f'start-up to the address, median of {REPEATS}: desktop program (window title) '
          f'{statistics.median(desktop) * 1000:.0f} ms, headless server (printed) '
          f'{statistics.median(server) * 1000:.0f} ms')
    return 0


if __name__ == '__main__':
    sys.exit(main())
