"""zarudodo-server.exe for a browser test, in a Wine prefix of its own. Usage:
serve.py LOG SETTINGS VIDEOS; prints {"port", "settingsFile"} as one line and
stops the server when standard input ends. See startServer in server.mjs."""

import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'e2e', 'server'))
from serverlib import BUILD, Server, WineSession, free_port, make_video, remove_others  # noqa: E402

VIDEOS = os.path.join(BUILD, 'web-tests')


def main(log, settings, videos):
    for name, files in json.loads(videos).items():
        folder = os.path.join(VIDEOS, name)
        for file, seconds in files.items():
            make_video(os.path.join(folder, file), seconds)
        remove_others(folder, files)
        with open(os.path.join(folder, 'notes.txt'), 'w') as f:
            f.write('not a video\n')
    with WineSession(os.path.join(BUILD, 'web-wineprefix')):
        server = Server({'port': free_port(), **json.loads(settings)})
        print(json.dumps({'port': server.port, 'settingsFile': server.settings_file}), flush=True)
        sys.stdin.read()
        server.stop()
    with open(os.path.join(VIDEOS, log + '.log'), 'w') as f:
        f.write('\n'.join(server.lines))


if __name__ == '__main__':
    main(*sys.argv[1:])
