#!/usr/bin/env python3
"""The desktop program from dist/ on the run's X display: the address in
its title serves "/" and the file list, the copy-log command puts the log
on the clipboard, and closing the window ends the program with exit code 0,
a clean leak report and no transcoder left."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
from desktoplib import MAIN_CLASS, Desktop, desktop_session, tool  # noqa: E402
from serverlib import (BUILD, WineSession, check, failures, free_port, host_header, http, make_video,  # noqa: E402
                       url_name, wait_for_files, windows_path)

WORK = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.getcwd(), 'desktop-e2e')
VIDEOS = os.path.join(WORK, 'videos')
VIDEO = 'Desktop clip ü.mp4'
SCREENSHOT = os.path.join(os.environ.get('ZARUDODO_SCREENSHOTS', os.path.join(BUILD, 'gui-screenshots')),
                          'desktop-main-window.png')
def screenshot():
    os.makedirs(os.path.dirname(SCREENSHOT), exist_ok=True)
    subprocess.run(['ffmpeg', '-loglevel', 'error', '-y', '-f', 'x11grab', '-i', os.environ['DISPLAY'],
                    '-frames:v', '1', SCREENSHOT], check=False)
    return os.path.exists(SCREENSHOT)


def run(desktop):
    status, _, body = http(desktop.port, '/')
    check(status == 200 and b'<html' in body.lower(), f'"/" from {desktop.address} serves the front page')
    check(wait_for_files(desktop, [VIDEO]), '"/db?getfiles" lists the scanned video')
    status, _, body = http(desktop.port, '/v/' + url_name(VIDEO) + '?ss=0', headers=host_header(desktop.port))
    check(status == 200 and body[:1] == b'\x47', 'a segment streams, with a transcoder kept for the client')

    code, (code2, text) = tool('command', MAIN_CLASS, '1001')[0], tool('clipboard')
    check(code == 0 and code2 == 0 and text.startswith('Debug Window Started.\r\n') and text.endswith('\r\n') and
          '\r\nHost name is ' in text,
          'the copy-log command puts every log line, each ended by "\\r\\n", on the clipboard')
    check(screenshot(), f'screenshot saved as {SCREENSHOT}')


def main():
    make_video(os.path.join(VIDEOS, VIDEO), 12)
    with desktop_session():
        desktop = Desktop({'port': free_port(), 'extensions': ['mp4'], 'share': False,
                           'folders': [windows_path(VIDEOS)]})
        print(f'started in {desktop.start_seconds:.2f} s at {desktop.address}', flush=True)
        try:
            run(desktop)
        finally:
            code = desktop.close()
        check(code == 0, f'closing the main window ends the program with exit code 0 ({code})')
        check('No memory leaks detected.' in desktop.report and 'Leaked ' not in desktop.report,
              'the leak report at exit is clean')
        check(tool('alive', MAIN_CLASS)[0] != 0, 'the main window is gone')
        check(not WineSession.processes('ffmpeg.exe'), 'no transcoder is left running')
        if failures:
            print('--- standard error ---\n' + desktop.report[-5000:])
    print(f'{len(failures)} failed' if failures else 'all passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
