#!/usr/bin/env python3
"""zarudodo-server.exe from dist/ under Wine with the real ffmpeg.exe, driven
by raw HTTP from loopback addresses and by Linux ffmpeg as an HLS player:
whole plays, errors, a client leaving, idle expiry, HEAD, refused settings,
and shutdown leaving no ffmpeg.exe."""

import concurrent.futures
import json
import os
import pathlib
import re
import socket
import struct
import subprocess
import sys
import urllib.parse

sys.path.insert(0, os.path.dirname(__file__))
from serverlib import (TRANSCODER_EXE, Server, WineSession, check, failures, free_port, http, make_video,  # noqa: E402
                       remove_others, url_name, video_frames, wait_for_files, windows_path, wine_env)

WORK = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.getcwd(), 'server-e2e')
ONE = os.path.join(WORK, 'videos one')
LONG, THIRTY, TINY, TEN = 'Été à Zürich.mp4', '日本 thirty.avi', 'tiny clip.mp4', 'ten and a bit.mp4'
BROKEN, EXPIRING = 'broken.mp4', 'left alone.mp4'
VIDEOS = {}


def make_videos():
    for name, seconds, picture in ((LONG, 65, 'testsrc2'), (THIRTY, 30, 'testsrc'), (TINY, 0.6, 'testsrc2'),
                                   (TEN, 10.01, 'testsrc2'), (EXPIRING, 15, 'testsrc2')):
        VIDEOS[name] = make_video(os.path.join(ONE, name), seconds, picture=picture)
    # A damaged file: the header of a real one, then noise.
    pathlib.Path(ONE, BROKEN).write_bytes(pathlib.Path(VIDEOS[LONG]).read_bytes()[:2000] + os.urandom(50000))
    remove_others(ONE, list(VIDEOS) + [BROKEN])


def test_setconfig(server):
    """Bad JSON, and settings in the address or posted from another site, change nothing."""
    def send(config, method='POST', origin=None):
        form = 'setconfig=&config=' + urllib.parse.quote(config, safe='')
        if method == 'GET':
            return http(server.port, '/db?' + form)[0]
        posted = {'Content-Type': 'application/x-www-form-urlencoded', **({'Origin': origin} if origin else {})}
        status, _, body = http(server.port, '/db', method, form, headers=posted)
        return json.loads(body)['status'] if status == 200 else status

    before = pathlib.Path(server.settings_file).read_bytes()
    share = json.dumps(dict(server.settings, folders=['\\\\evil.example\\share']))
    got = [send(text) for text in ('{"folders": [', '[1, 2]', '')] + [send(share, 'GET'), send(share, 'PUT')] + [
        send(share, origin=origin) for origin in ('http://evil.example', f'http://evil.example:{server.port}', 'null')]
    check(got == ['syntax error'] * 3 + [403] * 5 and pathlib.Path(server.settings_file).read_bytes() == before
          and json.loads(http(server.port, '/db?getconfig')[2])['config'] == server.settings,
          f'bad JSON, and setconfig in the address or posted from another site, change nothing {got}')


def test_head(server):
    """HEAD of a video gets the head alone and starts no transcoder (the head itself is unit-tested)."""
    before = WineSession.processes('ffmpeg.exe')
    got = [http(server.port, target, 'HEAD')[::2] for target in (f'/v/{url_name(LONG)}?ss=20', '/v/no%20such.mp4?ss=0')]
    check(got == [(200, b''), (404, b'')] and WineSession.processes('ffmpeg.exe') <= before,
          f'HEAD of a segment answers the head alone and starts no transcoder {got}')


def test_playlists(server):
    """Segment addresses name the host the client asked for, or else the server's own address and port."""
    for host, asked in (('phone.example:8080', {'Host': 'phone.example:8080'}), (f'127.0.0.1:{server.port}', {})):
        _, headers, body = http(server.port, f'/v/{url_name(LONG)}.m3u8', headers=asked)
        check(headers.get('content-type') == 'application/x-mpegURL'
              and body.endswith(f'http://{host}/v/{url_name(LONG)}/60-end.ts\r\n#EXT-X-ENDLIST\r\n'.encode()),
              f'the playlist names {host}')


def test_segments(server):
    got = [(r[0], r[1].get('content-type'), b'Not Found' in r[2])
           for r in (http(server.port, f'/v/{url_name(LONG)}?ss=600'), http(server.port, f'/v/{BROKEN}?ss=0'))]
    check(got == [(404, 'text/html', True)] * 2, f'a start past the end and a damaged file get a 404 page {got}')


def play(server, name):
    """Linux ffmpeg as the device, with its stock settings (its HLS reader
    checks the segment addresses' extension): every segment of the playlist
    decoded. Its exit code, the frames it decoded and the errors it reported."""
    url = f'http://127.0.0.1:{server.port}/v/{url_name(name)}.m3u8'
    result = subprocess.run(['ffmpeg', '-hide_banner', '-nostdin', '-v', 'error', '-stats', '-i', url, '-map', '0:v',
                             '-f', 'null', '-'], stderr=subprocess.PIPE, timeout=240)
    report = result.stderr.decode('utf-8', 'replace').replace('\r', '\n')
    frames = re.findall(r'frame=\s*(\d+)', report)
    # A body that ends with the connection is reported as premature by
    # ffmpeg's HTTP client unless the server says "Connection: close"; the
    # bytes are all there (the frame count shows it).
    errors = [line for line in report.split('\n') if line.strip() and not line.startswith('frame=')
              and 'Stream ends prematurely' not in line and 'Input/output error' not in line
              and 'Last message repeated' not in line]
    return result.returncode, int(frames[-1]) if frames else 0, errors


def test_play(server):
    """Every frame of the source played, by one transcoder (a tail of a few
    hundredths joins the last segment); two players on one address at once."""
    for names in ([LONG], [TINY], [TEN], [THIRTY, THIRTY]):
        before, mark = WineSession.processes('ffmpeg.exe'), server.mark()
        with concurrent.futures.ThreadPoolExecutor(len(names)) as pool:
            results = list(pool.map(lambda name: play(server, name), names))
        name, source = names[0], video_frames(VIDEOS[names[0]])
        for code, frames, errors in results:
            check(code == 0 and not errors and frames == source, f'ffmpeg plays {name} without errors {errors[:3]}: '
                  f'{frames} of {source} frames ({len(names)} player(s) on one address)')
        if len(names) == 1:
            started = sum('Create new streaming context' in line for line in server.lines[mark:])
            check(started == 1 and not WineSession.processes('ffmpeg.exe') - before,
                  f'{name} played by one transcoder ({started}), which ended with its play')


def test_asked_again(server):
    """A segment asked for again comes from memory: the same bytes, with no transcoder started for it."""
    mark = server.mark()
    got = [http(server.port, f'/v/{url_name(LONG)}/{start}.ts', client='127.0.0.8')[2] for start in (0, 10, 0)]
    started = sum('Create new streaming context' in line for line in server.lines[mark:])
    check(got[0] and got[2] == got[0] and started == 1,
          f'a segment asked for again is the same {len(got[0])} bytes, from one transcoder ({started})')


def delete_from_windows(path):
    subprocess.run(['wine', 'cmd', '/c', 'del', windows_path(path)], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    return not os.path.exists(path)


def start_idle_client(server):
    mark = server.mark()
    status, headers, body = http(server.port, f'/v/{url_name(EXPIRING)}?ss=0', client='127.0.0.12')
    check(status == 200 and headers.get('content-type') == 'video/MP2T' and len(body) % 188 == 0
          and set(body[::188]) == {0x47} and not delete_from_windows(VIDEOS[EXPIRING]),
          'a client takes the first of two segments (MPEG-TS) and leaves; its waiting transcoder holds the file')
    return mark


def test_expiry(server, mark):
    """The transcoder of the client that left ends after the idle time-out, letting go of the file."""
    line = server.wait_for(r'Expire idle stream context for 127\.0\.0\.12,', 90, mark)
    check(line is not None and delete_from_windows(VIDEOS[EXPIRING]),
          'the idle context of a client that left expires, and its video can be deleted then')


def test_disconnect(server):
    """A client resets its connection mid-segment: its request ends, and its transcoder with it."""
    before, mark = WineSession.processes('ffmpeg.exe'), server.mark()
    leaving = socket.create_connection(('127.0.0.1', server.port), source_address=('127.0.0.4', 0))
    leaving.sendall(f'GET /v/{url_name(LONG)}?ss=0 HTTP/1.0\r\n\r\n'.encode())
    leaving.recv(1000)
    leaving.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
    leaving.close()
    ended = server.wait_for(r'Client left during the stream request|Completed stream request', 30, mark) or ''
    left = WineSession.processes('ffmpeg.exe') - before
    check(ended and not left, f'{ended}: {len(left)} transcoder(s) left')


def test_shutdown(server):
    http(server.port, f'/v/{url_name(LONG)}?ss=0', client='127.0.0.6')  # its transcoder waits for the next one
    running = WineSession.processes('ffmpeg.exe')
    code = server.stop()
    check(running and code == 0 and not WineSession.processes('ffmpeg.exe'),
          f'on closed input the server exits in order, ending {len(running)} waiting transcoders (exit code {code})')


def main():
    if not os.path.exists(TRANSCODER_EXE):
        print(f'FAIL {TRANSCODER_EXE} is missing: the server cannot stream')
        return 1
    make_videos()
    with WineSession():
        server = Server({'port': free_port(), 'extensions': ['mp4', 'avi'], 'folders': [windows_path(ONE)]})
        try:
            check(wait_for_files(server, list(VIDEOS) + [BROKEN]), 'the videos are found')
            idle = start_idle_client(server)
            for test in (test_playlists, test_head, test_segments, test_play, test_asked_again,
                         lambda server: test_expiry(server, idle),
                         test_disconnect, test_setconfig, test_shutdown):
                test(server)
        finally:
            if server.process.poll() is None:
                server.stop()
            if failures:
                print('--- server console ---\n' + '\n'.join(server.lines[-300:]))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
