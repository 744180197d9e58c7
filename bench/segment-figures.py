#!/usr/bin/env python3
"""Figures of the segments that a build's server gives, to set one build
beside another (ZARUDODO_DIST names the program folder; dist/ by default):
- the first video time stamp of segment 0, and of a fresh client's segment
  at 600 s;
- the real length of each segment of a 40-second video played in order,
  against its "#EXTINF", and the frames delivered of the source's;
- where a 9.9-second clip ends, and what a 0.6-second one gets;
- the picture of a 16:9 and of a 9:16 video: the brightest pixel of a line
  where bars belong (under 30: a bar; else the picture was stretched);
- the answer to a start past the end and to a damaged file;
- the transcoders left 70 s after a client took one segment and went.
Usage: segment-figures.py [WORK-FOLDER]"""

import os
import pathlib
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e', 'server'))
from serverlib import (BUILD, DIST, Server, WineSession, free_port, http, make_video, url_name,  # noqa: E402
                       video_frames, video_times, windows_path)

WORK = sys.argv[1] if len(sys.argv) > 1 else os.path.join(BUILD, 'bench', 'segments')
VIDEOS = {'long.mp4': (615, '320x240'), 'forty.mp4': (40, '640x360'), 'clip.mp4': (9.9, '320x240'),
          'tiny.mp4': (0.6, '320x240'), 'tall.mp4': (4, '360x640')}
IDLE_WAIT = 70


def fetch(port, name, start, client):
    return http(port, f'/v/{url_name(name)}?ss={start}', headers={'Host': f'127.0.0.1:{port}'}, client=client)


def saved(body, name='figure.ts'):
    path = os.path.join(WORK, name)
    pathlib.Path(path).write_bytes(body)
    return path


def brightest(ts, line):
    """The brightest pixel of a row ('r10') or column ('c20') of the first picture."""
    picture = subprocess.run(['ffmpeg', '-v', 'error', '-i', ts, '-frames:v', '1', '-f', 'rawvideo', '-pix_fmt', 'gray',
                              '-'], stdout=subprocess.PIPE).stdout
    at = int(line[1:])
    return max(picture[at * 320:(at + 1) * 320] if line[0] == 'r' else picture[at::320]) if picture else None


def playlist_lengths(port, name):
    text = http(port, f'/v/{url_name(name)}.m3u8', headers={'Host': f'127.0.0.1:{port}'})[2].decode()
    return [(float(length), int(start)) for length, start in re.findall(r'#EXTINF:([0-9.]+),\r\n\S+/(\d+)(?:-end)?\.ts', text)]


def in_order(port, name, client):
    """Each segment's (EXTINF, real length, frames), fetched in order."""
    rows = []
    for length, start in playlist_lengths(port, name):
        body = fetch(port, name, start, client)[2]
        times = video_times(saved(body)) if body else []
        real = times[-1] - times[0] + 0.04 if times else 0
        rows.append((length, round(real, 2), video_frames(saved(body)) if body else 0, times[:1]))
    return rows


def main():
    for name, (seconds, size) in VIDEOS.items():
        make_video(os.path.join(WORK, name), seconds, size=size)
    pathlib.Path(WORK, 'broken.mp4').write_bytes(pathlib.Path(WORK, 'long.mp4').read_bytes()[:2000] + os.urandom(50000))
    print(f'program folder: {DIST}')
    with WineSession():
        server = Server({'port': free_port(), 'extensions': ['mp4'], 'share': False, 'folders': [windows_path(WORK)]})
        try:
            time.sleep(3)
            port = server.port
            first = video_times(saved(fetch(port, 'long.mp4', 0, '127.0.1.1')[2]))[0]
            late = video_times(saved(fetch(port, 'long.mp4', 600, '127.0.1.2')[2]))[0]
            print(f'1. first video PTS: segment 0 {first:.2f} s, fresh client at ss=600 {late:.2f} s')
            rows = in_order(port, 'forty.mp4', '127.0.1.3')
            print('2. 40-s video in order, (EXTINF, real s, frames, first PTS):', rows)
            print(f'3. frames delivered: {sum(r[2] for r in rows)} of {video_frames(os.path.join(WORK, "forty.mp4"))}')
            clip = in_order(port, 'clip.mp4', '127.0.1.4')
            print(f'   9.9-s clip: {clip}; 0.6-s clip: {in_order(port, "tiny.mp4", "127.0.1.5")}')
            wide = brightest(saved(fetch(port, 'forty.mp4', 0, '127.0.1.6')[2]), 'r10')
            tall = brightest(saved(fetch(port, 'tall.mp4', 0, '127.0.1.7')[2]), 'c20')
            print(f'4. brightest pixel where bars belong: 16:9 row 10 {wide}, 9:16 column 20 {tall}')
            for what, target in (('start past the end', '/v/forty.mp4?ss=600'), ('damaged file', '/v/broken.mp4?ss=0')):
                status, headers, body = http(port, target)
                print(f'5. {what}: {status} {headers.get("content-type")}, {len(body)} bytes')
            before = len(WineSession.processes('ffmpeg.exe'))
            fetch(port, 'long.mp4', 0, '127.0.1.8')
            held = len(WineSession.processes('ffmpeg.exe'))
            time.sleep(IDLE_WAIT)
            print(f'6. transcoders: {before} before a client takes a segment and goes, {held} then, '
                  f'{len(WineSession.processes("ffmpeg.exe"))} {IDLE_WAIT} s later')
        finally:
            server.stop()


if __name__ == '__main__':
    main()
