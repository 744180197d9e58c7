"""Runs dist/zarudodo.exe under Wine on the run's X display, in a prefix of
its own, and drives its window with the window tool."""

import json
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'server'))
from serverlib import BUILD, DIST, WineSession  # noqa: E402

MAIN_CLASS = 'MainWindow'
START_TIMEOUT = 60
STOP_TIMEOUT = 30
TITLE = re.compile(r'^Talveno Viridude - Please go to (http://[^:]+:(\d+)) from your client device$')


def desktop_session():
    return WineSession(os.path.join(BUILD, 'desktop-wineprefix'), display=True)


def tool(*args):
    """The window tool's exit code and its standard output."""
    done = subprocess.run(['wine', os.path.join(BUILD, 'tools', 'window-tool', 'window-tool.exe'), *args],
                          env=WineSession.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=START_TIMEOUT + 10)
    return done.returncode, done.stdout.decode('utf-8', 'replace')


class Desktop:
    """The program with its settings file written first; the tracked heap's
    report (through OutputDebugString) lands in its standard error."""

    def __init__(self, settings):
        with open(WineSession.settings_file(), 'w') as f:
            json.dump(settings, f)
        env = dict(WineSession.env(), WINEDEBUG='-all,+debugstr')
        started = time.monotonic()
        self.process = subprocess.Popen(['wine', os.path.join(DIST, 'zarudodo.exe')], cwd=DIST, env=env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        code, out = tool('title', MAIN_CLASS, 'http://', str(START_TIMEOUT))
        self.start_seconds = time.monotonic() - started
        match = TITLE.match(out.strip())
        if code != 0 or not match:
            self.close()
            raise RuntimeError(f'no address in the main window\'s title: {out!r}')
        self.address, self.port = match.group(1), int(match.group(2))

    def close(self):
        """Closes the window; the exit code, or None when the program hung."""
        tool('close', MAIN_CLASS)
        try:
            self.report = self.process.communicate(timeout=STOP_TIMEOUT)[1].decode('utf-8', 'replace')
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.report = self.process.communicate()[1].decode('utf-8', 'replace')
            return None
        return self.process.returncode
