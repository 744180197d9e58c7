#!/usr/bin/env python3
"""Usage: desktop-e2e.py WORK-FOLDER. The desktop program from dist/ on the run's X display serves
"/" and a segment at the address in its title, copies its log to the clipboard, and ends on closing
its window with exit code 0, a clean leak report and no transcoder left. The sample program on the
application framework ends through the close command of its description."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
from desktoplib import MAIN_CLASS, START_TIMEOUT, STOP_TIMEOUT, Desktop, desktop_session, tool  # noqa: E402
from serverlib import (DIST, WineSession, check, failures, free_port, host_header, http, make_video,  # noqa: E402
                       url_name, wait_for_files, windows_path)

VIDEOS = os.path.join(sys.argv[1], 'videos')
VIDEO = 'Desktop clip ü.mp4'
SAMPLE_CLASS = 'DefaultXmlFrameWindow'


def screenshot(name):
    path = os.path.join(os.environ['ZARUDODO_SCREENSHOTS'], name)
    grab = subprocess.run(['ffmpeg', '-loglevel', 'error', '-y', '-f', 'x11grab', '-i', os.environ['DISPLAY'],
                           '-frames:v', '1', path])
    check(grab.returncode == 0, f'screenshot saved as {path}')


def run(desktop):
    status, _, body = http(desktop.port, '/')
    check(status == 200 and b'<html' in body.lower(), f'"/" from {desktop.address} serves the front page')
    check(wait_for_files(desktop, [VIDEO]), '"/db?getfiles" lists the scanned video')
    status, _, body = http(desktop.port, '/v/' + url_name(VIDEO) + '?ss=0', headers=host_header(desktop.port))
    check(status == 200 and body[:1] == b'\x47', 'a segment streams, with a transcoder kept for the client')
    tool('command', MAIN_CLASS, '1001')
    check('\r\nHost name is ' in tool('clipboard')[1], 'the copy-log command puts the log on the clipboard')
    screenshot('desktop-main-window.png')


def sample_closes():
    """Its frame's close box runs the description's close command, which ends the program."""
    sample = subprocess.Popen(['wine', os.path.join(DIST, 'xml-sample.exe')], cwd=DIST, env=WineSession.env(),
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shown = tool('title', SAMPLE_CLASS, 'Xml Sample', str(START_TIMEOUT))[0] == 0
    check(shown, 'the sample program shows its window')
    screenshot('xml-sample-window.png')
    tool('close', SAMPLE_CLASS)
    try:
        code = sample.wait(timeout=STOP_TIMEOUT)
    except subprocess.TimeoutExpired:
        sample.kill()
        code = None
    check(code == 0, f'closing the sample\'s window ends it with exit code 0 ({code})')


def main():
    make_video(os.path.join(VIDEOS, VIDEO), 12)
    with desktop_session():
        desktop = Desktop({'port': free_port(), 'extensions': ['mp4'], 'share': False,
                           'folders': [windows_path(VIDEOS)]})
        try:
            run(desktop)
        finally:
            code = desktop.close()
        check(code == 0, f'closing the main window ends the program with exit code 0 ({code})')
        check('No memory leaks detected.' in desktop.report and 'Leaked ' not in desktop.report,
              'the leak report at exit is clean')
        check(not WineSession.processes('ffmpeg.exe'), 'no transcoder is left running')
        sample_closes()
        if failures:
            print('--- standard error ---\n' + desktop.report[-5000:])
    print(f'{len(failures)} failed' if failures else 'all passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
