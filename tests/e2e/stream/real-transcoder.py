#!/usr/bin/env python3
"""Segments of the real ffmpeg.exe through zarudodo-server.exe: from 20 s on
stamped with the video's own time, cut on the keyframes of the 10-s
boundaries, joining without a gap; wide, tall and rotated videos keep their
shape inside the 320x240 picture; videos whose picture ends early, pauses or
is missing play through one transcoder, each segment at its own time."""

import os
import pathlib
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'server'))
from serverlib import (BUILD, Server, WineSession, check, failures, free_port, http, make_video, url_name,  # noqa: E402
                       wait_for_files, windows_path)

WORK = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.getcwd(), 'real-transcoder')
VIDEOS = os.path.join(WORK, 'videos')
TARGET = 900000  # 10 s in 90-kHz units
MUX_DELAY = 126000  # the 1.4 s a transcoder started at 0 stamps its first frame with
SOUND_FRAME = 2160  # an MP3 frame at 48 kHz


def fetch(server, name, start, client, last=False):
    path = pathlib.Path(WORK, f'{name}-{start}.ts')
    target = f'/v/{url_name(name)}/{start}-end.ts' if last else f'/v/{url_name(name)}?ss={start}'
    path.write_bytes(http(server.port, target, client=client)[2])
    return str(path)


def packets(path, stream='v:0'):
    """(PTS, starting byte, flags) of each packet."""
    out = subprocess.run(['ffprobe', '-v', 'error', '-select_streams', stream, '-show_entries', 'packet=pts,pos,flags',
                          '-of', 'csv=p=0', path], stdout=subprocess.PIPE).stdout.decode()
    rows = [line.split(',') for line in out.split()]
    return [tuple(int(v) if v.isdigit() else v for v in f[:3]) for f in rows if len(f) >= 3]


def check_cuts(server):
    """A 45.5-s video from 20 s: two whole segments, and a last one that ends with the video, at the
    time (its own, plus the 1.4 s) that the log gives."""
    mark = server.mark()
    segments = [fetch(server, 'long.mp4', start, '127.0.0.2', last=start == 40) for start in (20, 30, 40)]
    end = re.search(r'End of video at time (-?\d+) ms', server.wait_for('End of video', 10, mark) or '')
    check(end and abs(int(end.group(1)) - (45500 + MUX_DELAY // 90)) <= 1000,
          f'the log ends the video at 46.9 s: {end and end.group(0)}')
    for i, segment in enumerate(segments):
        start = 20000 * 90 + MUX_DELAY + i * TARGET
        video = packets(segment) or [(None, None, '')]
        late = [p for p in video if p[2].startswith('K') and p[0] >= start + TARGET and i < 2]
        check(video[0][0] == start and (i == 0 or video[0][1] == 0 and video[0][2].startswith('K')) and not late,
              f'{segment} starts with a keyframe at PTS {start} ({video[0]}) and holds none at its end {late[:1]}')
    joined = os.path.join(WORK, 'joined.ts')
    pathlib.Path(joined).write_bytes(b''.join(pathlib.Path(s).read_bytes() for s in segments))
    gaps = subprocess.run(['ffprobe', '-v', 'debug', '-show_packets', joined], capture_output=True).stderr
    times = sorted(p[0] for p in packets(joined))
    steps = {b - a for a, b in zip(times, times[1:])}
    check(os.path.getsize(joined) % 188 == 0 and b'Continuity check failed' not in gaps and len(steps) == 1
          and 630 <= len(times) <= 645 and packets(joined, 'a:0'),
          f'the segments join as whole packets without a gap, {len(times)} of the 637 frames at intervals {steps}')


def check_shape(server, name, bars, inside):
    picture = subprocess.run(['ffmpeg', '-v', 'error', '-i', fetch(server, name, 0, '127.0.0.3'), '-frames:v', '1',
                              '-f', 'rawvideo', '-pix_fmt', 'gray', '-'], stdout=subprocess.PIPE).stdout
    lines = [picture[int(at[1:]) * 320:][:320] if at[0] == 'r' else picture[int(at[1:])::320] for at in (bars, inside)]
    check(len(picture) == 320 * 240 and max(lines[0]) < 30 and max(lines[1]) > 100, f'{name} keeps its shape')


def make_odd_video(name, picture, sound, pause=''):
    """picture and sound seconds long (0: none); no frames at the times pause selects."""
    inputs, codecs = [], []
    if picture:
        inputs += ['-f', 'lavfi', '-i', f'testsrc2=size=320x240:rate=25:duration={picture}']
        codecs += ['-c:v', 'libx264', '-preset', 'ultrafast', '-pix_fmt', 'yuv420p']
    if sound:
        inputs += ['-f', 'lavfi', '-i', f'sine=frequency=440:sample_rate=48000:duration={sound}']
        codecs += ['-c:a', 'aac']
    if pause:
        codecs += ['-vf', f"select='not({pause})'", '-fps_mode', 'passthrough']
    subprocess.run(['ffmpeg', '-nostdin', '-v', 'error', '-y'] + inputs + codecs + [os.path.join(VIDEOS, name)],
                   check=True)


def first_time(segment):
    """The video's time of the segment's first time stamp, None when it holds none."""
    stamps = sorted((pos, pts) for pts, pos, _ in packets(segment) + packets(segment, 'a:0') if isinstance(pos, int))
    return (stamps[0][1] - MUX_DELAY) / 90000 if stamps else None


def check_missing_picture(server, name, client):
    """Every segment answered, at its own time, by one transcoder; the sound joins without a hole or a repeat."""
    mark = server.mark()
    _, _, playlist = http(server.port, f'/v/{url_name(name)}.m3u8', client=client)
    addresses = [line[line.index('/v/'):] for line in playlist.decode().split() if line.startswith('http')]
    answers = [http(server.port, address, client=client) for address in addresses]
    check(addresses and all(status == 200 and body and len(body) % 188 == 0 for status, _, body in answers),
          f'{name}: all {len(addresses)} segments answered 200 with whole packets')
    started = sum('Create new streaming context' in line for line in server.lines[mark:])
    check(started == 1, f'{name}: one transcoder for the play ({started})')
    sound, starts = [], []
    for i, (_, _, body) in enumerate(answers):
        segment = pathlib.Path(WORK, f'{name}-{i}.ts')
        segment.write_bytes(body)
        starts.append(first_time(str(segment)))
        sound += [p[0] for p in packets(str(segment), 'a:0')]
    late = [(10 * i, t) for i, t in enumerate(starts) if t is not None and not 10 * i - 0.1 <= t <= 10 * i + 1]
    check(not late, f'{name}: each segment starts at its own time {late}')
    steps = [b - a for a, b in zip(sound, sound[1:])]
    check(all(0 < step <= SOUND_FRAME for step in steps), f'{name}: the sound joins, {len(sound)} frames at intervals '
          f'{set(steps)}')


def main():
    make_video(os.path.join(VIDEOS, 'long.mp4'), 45.5)
    wide = make_video(os.path.join(VIDEOS, 'wide.mp4'), 2, size='640x360')
    make_video(os.path.join(VIDEOS, 'tall.mp4'), 2, size='360x640')
    subprocess.run(['ffmpeg', '-v', 'error', '-y', '-i', wide, '-c', 'copy', '-metadata:s:v:0', 'rotate=90',
                    os.path.join(VIDEOS, 'turned.mp4')], check=True)
    odd = {'short-picture.mp4': (15, 40), 'sound-only.mp4': (0, 30), 'pause.mp4': (60, 60, 'between(t,10,40)'),
           'silent-pause.mp4': (60, 0, 'between(t,10,40)')}
    for name, recipe in odd.items():
        make_odd_video(name, *recipe)
    with WineSession(os.path.join(BUILD, 'stream-wineprefix')):
        server = Server({'port': free_port(), 'extensions': ['mp4'], 'folders': [windows_path(VIDEOS)]})
        try:
            check(wait_for_files(server, ['long.mp4', 'wide.mp4', 'tall.mp4', 'turned.mp4'] + list(odd)),
                  'the videos are found')
            check_cuts(server)
            for i, name in enumerate(odd):
                check_missing_picture(server, name, f'127.0.0.{4 + i}')
            # 16:9 gives 320x180 with 30 rows of bar above and below; 9:16 (also turned
            # upright from a rotated landscape) 134x240 with 93 columns each side.
            for name, bars, inside in (('wide.mp4', 'r10', 'r120'), ('tall.mp4', 'c20', 'c160'),
                                       ('turned.mp4', 'c300', 'c160')):
                check_shape(server, name, bars, inside)
        finally:
            server.stop()
            if failures:
                print('--- server console ---\n' + '\n'.join(server.lines[-100:]))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
