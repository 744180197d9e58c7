#!/usr/bin/env python3
"""zarudodo-server.exe from dist/ under Wine with the real ffmpeg.exe and
generated videos, driven by raw HTTP from loopback addresses and by Linux
ffmpeg as an HLS player (segment cuts and stamps are the real-transcoder
test's): db commands, playlists, whole plays, errors, several clients, idle
expiry, HEAD, settings changes, and shutdown leaving no ffmpeg.exe."""

import concurrent.futures
import json
import os
import pathlib
import re
import socket
import struct
import subprocess
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(__file__))
from serverlib import (DIST, TRANSCODER_EXE, Server, WineSession, check, failures, free_port,  # noqa: E402
                       host_header, http, make_video, probed_ms, url_name, video_frames,
                       wait_for_files, windows_path, wine_env)

WORK = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.getcwd(), 'server-e2e')
ONE = os.path.join(WORK, 'videos one')
LONG, THIRTY, SHORT, TINY = 'Été à Zürich.mp4', 'thirty seconds.avi', '日本 clip.m4v', 'tiny clip.mp4'
BROKEN, EXPIRING = 'broken.mp4', 'left alone.mp4'
LISTED = [LONG, THIRTY, SHORT, TINY, BROKEN, EXPIRING]
VIDEOS = {}


def make_videos():
    for name, seconds, picture in ((LONG, 65, 'testsrc2'), (THIRTY, 30, 'testsrc'), (SHORT, 9.9, 'testsrc2'),
                                   (TINY, 0.6, 'testsrc2'), (EXPIRING, 15, 'testsrc2')):
        VIDEOS[name] = make_video(os.path.join(ONE, name), seconds, picture=picture)
    pathlib.Path(ONE, 'notes.txt').write_text('not a video\n')
    # A damaged file: the header of a real one, then noise.
    pathlib.Path(ONE, BROKEN).write_bytes(pathlib.Path(VIDEOS[LONG]).read_bytes()[:2000] + os.urandom(50000))


def segment(server, name, start, client='127.0.0.1'):
    return http(server.port, f'/v/{url_name(name)}?ss={start}', headers=host_header(server.port), client=client)


def is_transport_stream(body):
    return len(body) > 0 and len(body) % 188 == 0 and all(body[i] == 0x47 for i in range(0, len(body), 188))


def extinf(ms):
    return str(ms // 1000) if ms % 1000 == 0 else f'{ms // 1000}.{ms % 1000 // 10:02d}'


def expected_playlist(host, name, ms):
    lines = ['#EXTM3U', '#EXT-X-VERSION:3', '#EXT-X-ALLOW-CACHE:NO', '#EXT-X-MEDIA-SEQUENCE:0',
             '#EXT-X-TARGETDURATION:10']
    for start in range(0, ms, 10000):
        lines += [f'#EXTINF:{extinf(min(10000, ms - start))},', f'http://{host}/v/{url_name(name)}?ss={start // 1000}']
    return ('\r\n'.join(lines + ['#EXT-X-ENDLIST']) + '\r\n').encode()


def test_json_interface(server):
    check(wait_for_files(server, LISTED), 'getfiles lists exactly the videos of the folder')
    check(json.loads(http(server.port, '/db?getconfig')[2]) == {'status': 'ok', 'config': server.settings},
          'getconfig returns the settings file')
    check('files' in json.loads(http(server.port, '/db?getfiles&getconfig')[2]), 'getfiles comes before getconfig')
    check(http(server.port, '/db?nothing')[0] == 404 and http(server.port, '/DB?getfiles')[0] == 404,
          'an unknown command and the path /DB give 404')


def setconfig(server, config, headers=None, method='POST'):
    """(status, parsed reply or None): posted as the settings page posts it, or with GET in the address."""
    form = 'setconfig=&config=' + urllib.parse.quote(config, safe='')
    posted = {'Content-Type': 'application/x-www-form-urlencoded', **(headers or {})}
    status, _, body = (http(server.port, '/db?' + form) if method == 'GET'
                       else http(server.port, '/db', method, form, headers=posted))
    return status, json.loads(body) if status == 200 else None


def getconfig(server):
    return json.loads(http(server.port, '/db?getconfig')[2])['config']


def test_setconfig(server):
    settings_file = pathlib.Path(server.settings_file)
    before = settings_file.read_bytes()
    bad = [text for text in ('{"folders": [', '[1, 2]', '"text"', '3', 'null', '')
           if setconfig(server, text) != (200, {'status': 'syntax error'})]
    check(not bad, f'setconfig with bad JSON answers a syntax error {bad}')
    check(settings_file.read_bytes() == before and getconfig(server) == server.settings,
          'a refused setconfig leaves the settings and their file as they were')

    share = json.dumps(dict(server.settings, folders=['\\\\evil.example\\share']))
    refused = [setconfig(server, share, method='GET')[0], setconfig(server, share, method='PUT')[0]] + [
        setconfig(server, share, {'Origin': origin})[0]
        for origin in ('http://evil.example', f'http://evil.example:{server.port}', 'null')]
    check(refused == [403] * 5 and settings_file.read_bytes() == before and getconfig(server) == server.settings,
          f'setconfig in the address, or posted from another site, is refused and changes nothing {refused}')

    mark, own = server.mark(), {'Origin': f'http://127.0.0.1:{server.port}'}
    check(setconfig(server, json.dumps(dict(server.settings, share=True)), own) == (200, {'status': 'ok'}),
          "setconfig posted from the server's own page with the same folders answers ok")
    time.sleep(1)
    check(not server.wait_for('Folders have changed.|Running findTask', 0, mark), 'the same folders start no scan')


def test_head(server):
    """HEAD of a video gets the head alone and starts no transcoder (the head itself is unit-tested)."""
    before, mark = WineSession.processes('ffmpeg.exe'), server.mark()
    got = [http(server.port, target, 'HEAD', headers=host_header(server.port))[::2]
           for target in (f'/v/{url_name(LONG)}?ss=20', '/v/no%20such.mp4?ss=0')]
    check(got == [(200, b''), (404, b'')], f'HEAD of a segment answers the head alone {got}')
    check(not count(server.since(mark), 'Create new streaming context')
          and WineSession.processes('ffmpeg.exe') <= before, 'HEAD starts no transcoder')


def test_playlists(server):
    long_ms, thirty_ms = probed_ms(VIDEOS[LONG]), probed_ms(VIDEOS[THIRTY])
    status, headers, body = http(server.port, f'/v/{url_name(LONG)}.m3u8', headers=host_header(server.port))
    check(status == 200 and headers.get('content-type') == 'application/x-mpegURL'
          and body == expected_playlist(f'127.0.0.1:{server.port}', LONG, long_ms), 'the playlist is byte-exact')
    body = http(server.port, f'/v/{url_name(THIRTY)}.m3u8', headers={'Host': 'phone.example:8080'})[2]
    check(body == expected_playlist('phone.example:8080', THIRTY, thirty_ms), 'the playlist repeats the host header')
    check(http(server.port, f'/v/{url_name(THIRTY)}.m3u8')[2]
          == expected_playlist(f'127.0.0.1:{server.port}', THIRTY, thirty_ms),
          'without a host header the playlist names the local address and the bound port')
    check(http(server.port, '/v/no%20such.mp4.m3u8')[0] == 404 and http(server.port, f'/v/{BROKEN}.m3u8')[0] == 500,
          'the playlist of an unknown name is 404, of a damaged file 500')


def test_static_files(server):
    status, headers, body = http(server.port, '/')
    check(status == 200 and body == pathlib.Path(DIST, 'index.html').read_bytes()
          and headers.get('content-type', '').startswith('text/html'), '"/" serves index.html')
    outside = pathlib.Path(DIST, '..', 'README.md').read_bytes()[:40]
    escapes = ['/../README.md', '/..%5cREADME.md', '/Z:/etc/passwd']
    left = [target for target in escapes if (reply := http(server.port, target))[0] == 200 or outside in reply[2]]
    check(not left, f'no escape by ".." leaves the program folder {left}')


def test_segments(server):
    status, headers, body = segment(server, LONG, 0)
    check(status == 200 and headers.get('content-type') == 'video/MP2T' and is_transport_stream(body),
          'segment 0 is MPEG-TS with content type video/MP2T')
    status, _, last = segment(server, THIRTY, 20)
    check(status == 200 and is_transport_stream(last), 'the last segment ends with transport packets only')
    got = [(r[0], r[1].get('content-type'), b'Not Found' in r[2])
           for r in (http(server.port, f'/v/{url_name(LONG)}?ss=600'), http(server.port, f'/v/{BROKEN}?ss=0'))]
    check(got == [(404, 'text/html', True)] * 2, f'a start past the end and a damaged file get a 404 page {got}')


def play(server, name):
    """Linux ffmpeg as the device: every segment of the playlist decoded.
    Its exit code, the frames it decoded and the errors it reported."""
    url = f'http://127.0.0.1:{server.port}/v/{url_name(name)}.m3u8'
    # Debian's ffmpeg refuses segment addresses without a media extension
    # unless told otherwise; devices do not check them.
    result = subprocess.run(['ffmpeg', '-hide_banner', '-nostdin', '-v', 'error', '-stats', '-extension_picky', '0',
                             '-i', url, '-map', '0:v', '-f', 'null', '-'], stderr=subprocess.PIPE, timeout=240)
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
    """Every frame of the source played; two players on one address at once."""
    for names in ([LONG], [TINY], [THIRTY, THIRTY]):
        mark = server.mark()
        with concurrent.futures.ThreadPoolExecutor(len(names)) as pool:
            results = list(pool.map(lambda name: play(server, name), names))
        name, source = names[0], video_frames(VIDEOS[names[0]])
        for code, frames, errors in results:
            check(code == 0 and not errors and frames == source,
                  f'ffmpeg plays {name} without errors {errors[:3]}: {frames} of {source} frames '
                  f'({len(names)} player(s) on one address)')
        if len(names) == 1:
            played = server.since(mark)
            requests, starts = count(played, 'Handle by video'), count(played, 'Create new streaming context')
            check(starts == 1 and requests == -(-probed_ms(VIDEOS[name]) // 10000)
                  and count(played, 'Completed the last stream request') == 1,
                  f'one transcoder served the whole play of {name} and ended with it ({starts} started, {requests} asked)')


def delete_from_windows(path):
    subprocess.run(['wine', 'cmd', '/c', 'del', windows_path(path)], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    return not os.path.exists(path)


def start_idle_client(server):
    mark = server.mark()
    check(segment(server, EXPIRING, 0, '127.0.0.12')[0] == 200 and not delete_from_windows(VIDEOS[EXPIRING]),
          'a client takes the first of two segments and leaves; its waiting transcoder holds the file')
    return mark


def test_expiry(server, mark):
    """The client that left: its transcoder ends after the idle time-out and
    lets go of the video file."""
    line = server.wait_for(r'Expire idle stream context for 127\.0\.0\.12,', 90, mark)
    check(line is not None, 'the idle context of a client that left expires')
    check(delete_from_windows(VIDEOS[EXPIRING]), 'its video can be deleted then')


def count(lines, text):
    return sum(text in line for line in lines)


def test_clients(server):
    """Two requests of one client at once through the real handler (which
    context each gets is the context manager's unit test): the second gets a
    context of its own; the first one's is ended when it comes back. Whether
    they meet in the server is up to the scheduler, so a few clients try."""
    for client in ('127.0.0.3', '127.0.0.7', '127.0.0.8'):
        mark = server.mark()
        results = both_at_once(lambda: segment(server, LONG, 0, client))
        server.wait_for(f'Release stream context for {re.escape(client)},', 10, mark)
        server.wait_for('request time mismatch', 2, mark)
        lines = server.since(mark)
        if count(lines, 'request time mismatch') == 1:
            break
    check(all(r[0] == 200 and is_transport_stream(r[2]) for r in results), 'two requests of one client both get data')
    check(count(lines, 'Create new streaming context') == 2 and count(lines, 'request time mismatch') == 1,
          'two requests at once: two transcoders, the earlier one ended on its release')
    mark = server.mark()
    check(segment(server, LONG, 10, client)[0] == 200 and not count(server.since(mark), 'Create new streaming context'),
          'the client continues after the double request with the kept context')


def both_at_once(request):
    gate = threading.Barrier(2)
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        return list(pool.map(lambda _: (gate.wait(), request())[1], range(2)))


def test_disconnect(server):
    """A client resets its connection mid-segment while another one is served; its transcoder ends with its context."""
    before = WineSession.processes('ffmpeg.exe')
    mark, leaving = server.mark(), socket.create_connection(('127.0.0.1', server.port), source_address=('127.0.0.4', 0))
    leaving.sendall(f'GET /v/{url_name(LONG)}?ss=0 HTTP/1.0\r\n\r\n'.encode())
    leaving.recv(1000)
    leaving.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
    leaving.close()
    check(http(server.port, f'/v/{url_name(LONG)}.m3u8', client='127.0.0.5')[2].startswith(b'#EXTM3U'),
          'another client is served while one disconnects')
    ended = server.wait_for(r'Client left during the stream request|Completed stream request|Could not continue',
                            30, mark)
    check(ended is not None, f'the request of the client that left ends: {ended}')
    left = WineSession.processes('ffmpeg.exe') - before
    check(len(left) <= 1, f"at most the leaving client's transcoder is left ({len(left)})")
    status, _, body = segment(server, LONG, 0, '127.0.0.5')
    check(status == 200 and is_transport_stream(body), 'the other client streams after the disconnect')
    mark = server.mark()
    check(segment(server, SHORT, 0, '127.0.0.4')[0] == 200
          and (not left or server.wait_for(r'Clean old stream context for 127\.0\.0\.4,', 5, mark) is not None),
          "the client that left comes back for another video, replacing its kept context")
    time.sleep(1)
    check(not (left & WineSession.processes('ffmpeg.exe')),
          "the leaving client's transcoder ended when its context was discarded or replaced")


def test_shutdown(server):
    running = WineSession.processes('ffmpeg.exe')
    check(len(running) > 0, f'idle transcoders wait for their clients before shutdown ({len(running)})')
    code = server.stop()
    check(code == 0 and count(server.lines, 'Web server shut down.'),
          f'the server shuts down in order when its standard input closes (exit code {code})')
    check(not WineSession.processes('ffmpeg.exe'), 'no transcoder is left running after shutdown')


def main():
    if not os.path.exists(TRANSCODER_EXE):
        print(f'FAIL {TRANSCODER_EXE} is missing: the server cannot stream')
        return 1
    make_videos()
    with WineSession():
        settings = {'port': free_port(), 'extensions': ['mp4', 'avi', 'm4v'], 'share': False,
                    'folders': [windows_path(ONE)]}
        server = Server(settings)
        try:
            print(f'server on port {server.port}', flush=True)
            idle = start_idle_client(server)
            for test in (test_json_interface, test_playlists, test_static_files, test_head, test_segments, test_play,
                         lambda server: test_expiry(server, idle), test_clients,
                         test_disconnect, test_setconfig, test_shutdown):
                test(server)
        finally:
            if server.process.poll() is None:
                server.stop()
            if failures:
                print('--- server console ---\n' + '\n'.join(server.lines[-300:]))
    print(f'{len(failures)} failed' if failures else 'all passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
