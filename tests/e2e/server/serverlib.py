"""dist/zarudodo-server.exe under Wine for end-to-end tests and benchmarks: a prefix of its own
(its settings file and process list are the caller's alone), test videos, raw HTTP over loopback."""

import fcntl
import json
import os
import pathlib
import random
import re
import socket
import subprocess
import threading
import time
import urllib.parse

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), '..', '..', '..'))
BUILD = os.environ.get('ZARUDODO_BUILD', os.path.join(ROOT, 'build'))
# Another build's program folder can be named, to set its figures beside ours.
DIST = os.environ.get('ZARUDODO_DIST', os.path.join(ROOT, 'dist'))
SERVER_EXE = os.path.join(DIST, 'zarudodo-server.exe')
TRANSCODER_EXE = os.path.join(DIST, 'ffmpeg.exe')
PREFIX = os.path.join(BUILD, 'server-wineprefix')
START_TIMEOUT = 60
STOP_TIMEOUT = 30
PORT_SEARCH = 100  # the server tries this many ports after its own


def windows_path(linux_path):
    return 'Z:' + os.path.abspath(linux_path).replace('/', '\\')


def wine_env(prefix=PREFIX, display=False):
    """Headless unless display: the desktop program needs the run's X display."""
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=')
    if not display:
        env.pop('DISPLAY', None)
    return env


class WineSession:
    """The private prefix with one persistent wineserver, held under a lock
    so that a test and a benchmark never share it at once."""

    prefix = PREFIX
    display = False

    def __init__(self, prefix=PREFIX, display=False):
        WineSession.prefix = prefix
        WineSession.display = display

    @staticmethod
    def env():
        return wine_env(WineSession.prefix, WineSession.display)

    def __enter__(self):
        os.makedirs(BUILD, exist_ok=True)
        self._lock = open(self.prefix + '.lock', 'w')
        fcntl.flock(self._lock, fcntl.LOCK_EX)
        quiet = dict(env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(['bash', '-c', f'source "{ROOT}/scripts/lib.sh" && export WINEPREFIX="{self.prefix}" && '
                        'make_wine_prefix'], check=True, **quiet)
        for command in (['wineserver', '-k'], ['wineserver', '-w'], ['wineserver', '-p'], ['wine', 'wineboot']):
            subprocess.run(command, **quiet)
        return self

    def __exit__(self, *exc):
        subprocess.run(['wineserver', '-k'], env=self.env(), stderr=subprocess.DEVNULL)
        self._lock.close()

    @staticmethod
    def settings_file():
        users = os.path.join(WineSession.prefix, 'drive_c', 'users')
        names = [n for n in os.listdir(users) if n != 'Public']
        folder = os.path.join(users, names[0], 'AppData', 'Roaming')
        os.makedirs(folder, exist_ok=True)
        return os.path.join(folder, 'quorvelan.conf')

    @staticmethod
    def processes(name):
        listing = subprocess.run(['wine', 'winedbg'], input=b'info proc\n', env=WineSession.env(),
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60).stdout
        pattern = re.compile(r"^\s*=?\s*([0-9a-f]{8})\s+\d+\s+.*'" + re.escape(name) + "'", re.M | re.I)
        return set(pattern.findall(listing.decode('latin-1')))


def free_port():
    port = random.randint(20000, 50000)
    while True:
        try:
            for host in ('0.0.0.0', '127.0.0.1'):
                with socket.socket() as probe:
                    probe.bind((host, port))
            return port
        except OSError:
            port += PORT_SEARCH + 1


def make_video(path, seconds, size='320x240', picture='testsrc2'):
    """Made by scripts/make-test-video, again when its recipe (kept beside the folder) changes."""
    recipe = f'{seconds} {size} {picture}'
    stamp = pathlib.Path(os.path.dirname(path) + '.recipes', os.path.basename(path))
    if not os.path.exists(path) or not stamp.exists() or stamp.read_text() != recipe:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run([os.path.join(ROOT, 'scripts', 'make-test-video'), '--size', size, '--picture', picture,
                        str(seconds), path], check=True)
        stamp.parent.mkdir(exist_ok=True)
        stamp.write_text(recipe)
    return path


def remove_others(folder, names):
    """Removes what earlier versions of a test left in its folder."""
    for stale in set(os.listdir(folder)) - set(names):
        os.remove(os.path.join(folder, stale))


def video_frames(path):
    out = ffprobe(path, '-count_frames', '-show_entries', 'stream=nb_read_frames')
    return int((out.split() or ['0'])[0])  # a transport stream lists it again under its program


def video_times(path):
    """PTS in seconds of every video frame, in presentation order."""
    return sorted(float(line.split(',')[0]) for line in ffprobe(path, '-show_entries', 'frame=pts_time').split())


def ffprobe(path, *args):
    return subprocess.run(['ffprobe', '-v', 'error', '-select_streams', 'v:0', *args, '-of', 'csv=p=0', path],
                          stdout=subprocess.PIPE, check=True).stdout.decode()


def url_name(name):
    """The name as a segment address carries it: UTF-8, lower-case escapes."""
    return re.sub(r'%[0-9A-F]{2}', lambda m: m.group(0).lower(), urllib.parse.quote(name, safe='-_.~'))


class Server:
    """The server's console collected line by line."""

    def __init__(self, settings):
        self.settings = settings
        self.settings_file = WineSession.settings_file()
        with open(self.settings_file, 'w') as f:
            json.dump(settings, f)
        self.lines = []
        self._changed = threading.Condition()
        self.process = subprocess.Popen(['wine', SERVER_EXE], cwd=DIST, env=WineSession.env(),
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        threading.Thread(target=self._collect, daemon=True).start()
        address = self.wait_for(r'^http://[^:]+:(\d+)$', START_TIMEOUT)
        if not address:
            self.stop()
            raise RuntimeError('the server printed no address:\n' + '\n'.join(self.lines))
        self.port = int(re.match(r'^http://[^:]+:(\d+)$', address).group(1))

    def _collect(self):
        for raw in self.process.stdout:
            with self._changed:
                self.lines.append(raw.decode('utf-8', 'replace').rstrip('\r\n'))
                self._changed.notify_all()
        with self._changed:
            self._changed.notify_all()

    def wait_for(self, pattern, timeout, start=0):
        """The first line from index start on matching pattern, or None."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                for line in self.lines[start:]:
                    if regex.search(line):
                        return line
                left = deadline - time.monotonic()
                if left <= 0 or self.process.poll() is not None:
                    return None
                self._changed.wait(min(left, 0.5))

    def mark(self):
        return len(self.lines)

    def stop(self):
        """Closes the server's standard input; its exit code, or None when it hung."""
        if self.process.poll() is None:
            self.process.stdin.close()
        try:
            return self.process.wait(STOP_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None


def http(port, target, method='GET', body=None, headers=None, client='127.0.0.1', timeout=60):
    """One raw HTTP/1.0 exchange from the client address: (status, headers, body).
    Headers are sent exactly as given (no Host unless named)."""
    lines = [f'{method} {target} HTTP/1.0'] + [f'{name}: {value}' for name, value in (headers or {}).items()]
    payload = body.encode() if isinstance(body, str) else (body or b'')
    if body is not None:
        lines.append(f'Content-Length: {len(payload)}')
    request = ('\r\n'.join(lines) + '\r\n\r\n').encode() + payload
    with socket.create_connection(('127.0.0.1', port), timeout=timeout, source_address=(client, 0)) as s:
        s.sendall(request)
        data = b''.join(iter(lambda: s.recv(65536), b''))
    head, _, body = data.partition(b'\r\n\r\n')
    head_lines = head.decode('latin-1').split('\r\n')
    status = int(head_lines[0].split()[1]) if head_lines[0].startswith('HTTP/') else 0
    headers = {name.strip().lower(): value.strip() for name, _, value in (line.partition(':') for line in head_lines[1:])}
    return status, headers, body


def host_header(port):
    return {'Host': f'127.0.0.1:{port}'}


failures = []


def check(condition, what):
    print(('ok   ' if condition else 'FAIL ') + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def wait_for_files(server, names, timeout=30):
    """Whether the file list of the server (anything with a port) comes to be names."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        status, _, body = http(server.port, '/db?getfiles')
        if status == 200 and sorted(json.loads(body)['files']) == sorted(names):
            return True
        time.sleep(0.3)
    return False
