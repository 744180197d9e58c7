#!/usr/bin/env python3
"""What streaming costs beside the transcoders, and how soon a player shows a
picture. The server and its Wine session (wineserver, transcoders) run on
SERVER_CORES, everything else on the other processors. Each run prints:
- real-time clients on a 3-minute 720p H.264 video: each fetches the playlist,
  then its segments at playing pace with a 10-s buffer (segment k asked for
  when segment k-1 starts playing), counting late segments (one that arrives
  after its turn to play came; playing stalls until it is there). Levels from
  8 clients upwards until one has late segments; for each, the server's and
  the wineserver's CPU as % of the transcoders' CPU;
- the transcoders' CPU per streamed second and the clients that SERVER_CORES
  could serve at that cost alone (the bound, at FIRST_LEVEL's cost and at the
  busiest level's), next to the clients served;
- tap to first frame and seek to resume in headless Chromium per format, on
  the browser's own HLS and through hls.js, with the transcoder starts each
  took (the server's "Create new streaming context" lines) and the segments
  the player asked for.
After the runs, min/median/max over them; then, unless --no-costs, the costs
of one client fetching 60 s of video from a wineserver that traces every
request (-d1): wineserver requests, sends, pipe reads and the transcoder's
writes, per segment.
Usage: stream-bench.py [--runs N] [--no-costs] [--seconds S] [WORK-FOLDER]"""

import argparse
import collections
import json
import os
import re
import statistics
import subprocess
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e', 'server'))
from serverlib import (BUILD, ROOT, TRANSCODER_EXE, Server, WineSession, free_port, host_header, http,  # noqa: E402
                       make_video, wine_env, windows_path)

PREFIX = os.path.join(BUILD, 'bench-wineprefix')
SERVER_CORES = {6, 7}
CLIENT_CORES = set(range(os.cpu_count())) - SERVER_CORES
SEGMENT = 10
FIRST_LEVEL = 8
LEVEL_STEP = 2
MAX_LEVEL = 40
TICKS = os.sysconf('SC_CLK_TCK')
SAMPLE_S = 0.5
STARTED_LINE = 'Create new streaming context'
# Starts spread over one segment, as players that came at different times.
STAGGER_S = SEGMENT
MAIN = 'h264 720p.mp4'
MAIN_SECONDS = 180
# Name: (seconds, picture, Linux ffmpeg's video arguments), each with a tone.
OTHERS = {
    'hevc 720p.mp4': (90, 'testsrc2=size=1280x720:rate=25',
                      ['-c:v', 'libx265', '-preset', 'ultrafast', '-pix_fmt', 'yuv420p', '-tag:v', 'hvc1']),
    # As a phone records upright: landscape pixels, turned by the container.
    'phone rotated.mp4': (90, 'testsrc2=size=1920x1080:rate=30',
                          ['-c:v', 'libx264', '-preset', 'veryfast', '-pix_fmt', 'yuv420p', '-metadata:s:v:0',
                           'rotate=90']),
}
TRIES = 3


def make_other(path, seconds, picture, video):
    """Made again when its recipe (kept beside it) changes."""
    recipe = path + '.recipe'
    wanted = ' '.join([str(seconds), picture, *video])
    if os.path.exists(path) and os.path.exists(recipe) and open(recipe).read() == wanted:
        return
    partial = path + '.part.mp4'
    subprocess.run(['ffmpeg', '-nostdin', '-y', '-v', 'error', '-f', 'lavfi', '-i', picture, '-f', 'lavfi', '-i',
                    'sine=frequency=440:sample_rate=48000', '-t', str(seconds), *video, '-c:a', 'aac', '-b:a', '128k',
                    '-movflags', '+faststart', partial], check=True)
    os.rename(partial, path)
    with open(recipe, 'w') as f:
        f.write(wanted)


def make_videos(folder):
    make_video(os.path.join(folder, MAIN), MAIN_SECONDS, size='1280x720')
    for name, (seconds, picture, video) in OTHERS.items():
        make_other(os.path.join(folder, name), seconds, picture, video)


def pin_threads(cores):
    """Every thread of this process, so that what it starts inherits the set."""
    for task in os.listdir('/proc/self/task'):
        os.sched_setaffinity(int(task), cores)


# Processes of the bench's Wine session, by Unix process id.

def session_processes():
    """{pid: 'server' | 'wineserver' | 'transcoder' | 'probe' | 'other'}"""
    found = {}
    marker = b'WINEPREFIX=' + PREFIX.encode()
    for pid in os.listdir('/proc'):
        if not pid.isdigit():
            continue
        try:
            with open(f'/proc/{pid}/environ', 'rb') as f:
                if marker not in f.read().split(b'\0'):
                    continue
            with open(f'/proc/{pid}/cmdline', 'rb') as f:
                argv = [a for a in f.read().split(b'\0') if a]
        except OSError:
            continue
        if not argv:
            continue
        program = argv[0].lower()
        if program.endswith(b'zarudodo-server.exe'):
            kind = 'server'
        elif program.endswith(b'ffmpeg.exe'):
            kind = 'transcoder' if argv[-1] == b'-' else 'probe'
        elif os.path.basename(program).startswith(b'wineserver'):
            kind = 'wineserver'
        else:
            kind = 'other'
        found[int(pid)] = kind
    return found


def cpu_seconds(pid):
    with open(f'/proc/{pid}/stat') as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


class CpuWatch:
    """The CPU each process of the session used since the watch began; one
    that ends between two samples loses its last SAMPLE_S at most."""

    def __init__(self):
        self.kinds = {}
        self.last = {}
        self.first = {}
        self._stop = threading.Event()
        self.sample()
        self.first = dict(self.last)
        self._thread = threading.Thread(target=self._run)
        self._thread.start()

    def sample(self):
        for pid, kind in session_processes().items():
            try:
                self.last[pid] = cpu_seconds(pid)
                self.kinds[pid] = kind
            except OSError:
                pass

    def _run(self):
        while not self._stop.wait(SAMPLE_S):
            self.sample()

    def stop(self):
        self._stop.set()
        self._thread.join()
        self.sample()
        totals = {}
        for pid, seconds in self.last.items():
            kind = self.kinds[pid]
            totals[kind] = totals.get(kind, 0) + seconds - self.first.get(pid, 0)
        return totals


def segment_paths(port, name, client):
    """The playlist's segment addresses (path and query) and lengths."""
    status, _, body = http(port, '/v/' + urllib.parse.quote(name) + '.m3u8', headers=host_header(port),
                           client=client)
    if status != 200:
        return []
    lines = body.decode().split()
    found = []
    for i, line in enumerate(lines):
        if line.startswith('#EXTINF:'):
            address = urllib.parse.urlsplit(lines[i + 1])
            found.append((address.path + ('?' + address.query if address.query else ''), float(line[8:].rstrip(','))))
    return found


class RealTimeClient:
    """Plays seconds of a video at playing pace with a one-segment buffer."""

    def __init__(self, port, name, address, seconds):
        self.port, self.name, self.address, self.seconds = port, name, address, seconds
        self.late = 0
        self.failed = 0
        self.delivered = 0
        self.streamed_seconds = 0.0

    def fetch(self, path, length):
        status, _, body = http(self.port, path, client=self.address)
        if status == 200 and body:
            self.delivered += 1
            self.streamed_seconds += length
        else:
            self.failed += 1

    def run(self, delay):
        time.sleep(delay)
        segments = segment_paths(self.port, self.name, self.address)[:self.seconds // SEGMENT]
        if not segments:
            self.failed += 1
            return
        self.fetch(*segments[0])
        turn = time.monotonic()
        for path, length in segments[1:]:
            # Asked for when the segment before starts playing.
            time.sleep(max(0.0, turn - time.monotonic()))
            self.fetch(path, length)
            turn += SEGMENT
            arrived = time.monotonic()
            if arrived > turn:
                self.late += 1
                turn = arrived


def play_level(port, count, seconds, level_index):
    clients = [RealTimeClient(port, MAIN, f'127.0.{10 + level_index}.{i + 1}', seconds) for i in range(count)]
    watch = CpuWatch()
    threads = [threading.Thread(target=c.run, args=(i * STAGGER_S / count,)) for i, c in enumerate(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    cpu = watch.stop()
    transcoders = cpu.get('transcoder', 0)
    level = {
        'clients': count,
        'late': sum(c.late for c in clients),
        'segments': sum(c.delivered for c in clients),
        'failed': sum(c.failed for c in clients),
        'server': cpu.get('server', 0), 'wineserver': cpu.get('wineserver', 0), 'transcoders': transcoders,
        'streamed': sum(c.streamed_seconds for c in clients),
    }
    level['ratio'] = 100 * (level['server'] + level['wineserver']) / transcoders if transcoders else float('nan')
    level['per_second'] = transcoders / level['streamed'] if level['streamed'] else float('nan')
    print(f'  {count:2d} real-time clients: late segments {level["late"]} of {level["segments"]} '
          f'(failed {level["failed"]}); server {level["server"]:.1f} + wineserver {level["wineserver"]:.1f} '
          f'CPU-s = {level["ratio"]:.1f}% of the transcoders\' {transcoders:.1f} CPU-s '
          f'({level["per_second"]:.3f} CPU-s per streamed second)', flush=True)
    return level


def real_time_levels(port, seconds):
    """FIRST_LEVEL, then twice as many, then up or down by LEVEL_STEP to the
    border between no late segment and some."""
    levels = [play_level(port, FIRST_LEVEL, seconds, 0)]
    count = 2 * FIRST_LEVEL
    while 0 < count <= MAX_LEVEL:
        level = play_level(port, count, seconds, len(levels))
        levels.append(level)
        good = level['late'] == 0 and level['failed'] == 0
        step = LEVEL_STEP if good else -LEVEL_STEP
        if any(lv['clients'] == count + step for lv in levels):
            break
        count += step
    return levels


def first_frames(server, names_and_seeks):
    """Each format on each road, TRIES times."""
    node = subprocess.Popen(['node', os.path.join(ROOT, 'bench', 'first-frame.mjs'), f'http://127.0.0.1:{server.port}'],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, cwd=ROOT)
    results = []
    try:
        for road in ('native', 'hls.js'):
            for name, seek_to in names_and_seeks:
                for _ in range(TRIES):
                    node.stdin.write(json.dumps({'road': road, 'name': name, 'seekTo': seek_to}) + '\n')
                    node.stdin.flush()
                    marks = {}
                    reply = json.loads(node.stdout.readline())
                    while 'ready' in reply:
                        marks[reply['ready']] = server.mark()
                        node.stdin.write('\n')
                        node.stdin.flush()
                        reply = json.loads(node.stdout.readline())
                    ends = {'tap': marks.get('seek', server.mark()), 'seek': server.mark()}
                    reply.update(road=road, name=name, **{
                        what + 'Starts': sum(STARTED_LINE in line for line in server.lines[mark:ends[what]])
                        for what, mark in marks.items()})
                    results.append(reply)
                    if 'error' in reply:
                        print(f'  {road} {name}: {reply["error"]}', flush=True)
    finally:
        node.stdin.close()
        node.wait()
    return results


def print_first_frames(results):
    for road in ('native', 'hls.js'):
        for name in dict.fromkeys(r['name'] for r in results):
            tries = [r for r in results if r['road'] == road and r['name'] == name and 'error' not in r]
            if not tries:
                continue
            first = [r['firstFrameMs'] / 1000 for r in tries]
            seek = [r['seekMs'] / 1000 for r in tries]
            print(f'  {road:6s} {name:18s} tap->first frame {spread(first)} s; seek->resume {spread(seek)} s; '
                  f'transcoder starts at tap {",".join(str(r["tapStarts"]) for r in tries)}, '
                  f'at seek {",".join(str(r["seekStarts"]) for r in tries)}; '
                  f'asked {" ".join(tries[0]["startRequests"])} | after seek {" ".join(tries[0]["seekRequests"])}',
                  flush=True)


def spread(values, digits=2):
    if not values:
        return '-'
    if len(values) == 1:
        return f'{values[0]:.{digits}f}'
    return f'{min(values):.{digits}f}/{statistics.median(values):.{digits}f}/{max(values):.{digits}f}'


def one_run(folder, seconds):
    pin_threads(SERVER_CORES)
    with WineSession(PREFIX):
        server = Server({'port': free_port(), 'extensions': ['mp4'], 'share': False,
                         'folders': [windows_path(folder)]})
        pin_threads(CLIENT_CORES)
        try:
            server.wait_for('Done searching!', 30)
            levels = real_time_levels(server.port, seconds)
            # Past what hls.js has fetched ahead by then.
            seeks = [(MAIN, MAIN_SECONDS // 2)] + [(name, s - 3 * SEGMENT) for name, (s, _, _) in OTHERS.items()]
            frames = first_frames(server, seeks)
            print_first_frames(frames)
        finally:
            server.stop()
    served = max([lv['clients'] for lv in levels if lv['late'] == 0 and lv['failed'] == 0], default=0)
    at_first = next(lv for lv in levels if lv['clients'] == FIRST_LEVEL)
    bound = len(SERVER_CORES) / at_first['per_second']
    # The transcoders cost more per second when they crowd the processors.
    busiest = max(levels, key=lambda lv: lv['clients'])
    loaded_bound = len(SERVER_CORES) / busiest['per_second']
    print(f'  served at 0 late segments: {served} clients; bound from the transcoders\' CPU per streamed second: '
          f'{bound:.1f} clients at {FIRST_LEVEL} clients\' {at_first["per_second"]:.3f} CPU-s, {loaded_bound:.1f} at '
          f'{busiest["clients"]} clients\' {busiest["per_second"]:.3f} CPU-s', flush=True)
    return {'ratio': at_first['ratio'], 'served': served, 'bound': bound, 'loaded_bound': loaded_bound,
            'frames': frames}


def summary(runs):
    print(f'over {len(runs)} runs (min/median/max):')
    print(f'  server + wineserver CPU as % of the transcoders\' with {FIRST_LEVEL} clients: '
          f'{spread([r["ratio"] for r in runs], 1)}%')
    print(f'  real-time clients at 0 late segments on {len(SERVER_CORES)} cores: '
          f'{spread([r["served"] for r in runs], 0)}; bound {spread([r["bound"] for r in runs], 1)} at '
          f'{FIRST_LEVEL} clients\' cost, {spread([r["loaded_bound"] for r in runs], 1)} at the busiest level\'s')
    frames = [f for r in runs for f in r['frames'] if 'error' not in f]
    for road in ('native', 'hls.js'):
        for name in dict.fromkeys(f['name'] for f in frames):
            per_run = [[f for f in r['frames'] if f['road'] == road and f['name'] == name and 'error' not in f]
                       for r in runs]
            medians = [statistics.median(f['firstFrameMs'] for f in tries) / 1000 for tries in per_run if tries]
            seeks = [statistics.median(f['seekMs'] for f in tries) / 1000 for tries in per_run if tries]
            taps = [f['tapStarts'] for tries in per_run for f in tries]
            seek_starts = [f['seekStarts'] for tries in per_run for f in tries]
            print(f'  {road:6s} {name:18s} tap->first frame {spread(medians)} s, seek->resume {spread(seeks)} s '
                  f'(medians of {TRIES} tries); transcoder starts per tap {spread(taps, 0)}, '
                  f'per seek {spread(seek_starts, 0)}')


# The costs of one client, counted by a wineserver that traces every request.

TRACE_LINE = re.compile(r'^([0-9a-f]{4,8}): (\*?\w+\*?)(\(.*)$')


def data_size(text, field):
    """Bytes of a field dumped as {xx,xx,...} or {xx,...(total N)}."""
    found = re.search(field + r'=\{([^}]*)\}', text)
    if not found or not found.group(1):
        return 0
    total = re.search(r'\(total (\d+)\)$', found.group(1))
    return int(total.group(1)) if total else found.group(1).count(',') + 1


class TraceCounts:
    """Requests per process from the wineserver's trace between two offsets
    of the file, with the sizes of pipe writes, pipe reads and socket sends."""

    def __init__(self, path, start, end):
        self.process_of = {}   # thread id -> process id
        self.image_of = {}     # process id -> executable's name
        self.requests = {}     # process id -> count
        self.names = {}        # process id -> Counter of request names
        self.writes = {}       # process id -> [bytes]
        self.reads = {}        # process id -> [bytes] completed pipe reads of binary data
        self.sends = {}        # process id -> [bytes]
        self._read_users = set()  # the asyncs of pipe reads, whose results come later
        pending = {}           # thread id -> (request name, arguments)
        previous = {}          # thread id -> the request before the pending one
        offset = 0
        for raw in open(path, 'rb'):
            self.counting = start <= offset < end
            offset += len(raw)
            match = TRACE_LINE.match(raw.decode('latin-1'))
            if not match or match.group(2).startswith('*'):
                continue
            thread, name, rest = match.groups()
            if rest.startswith('() = '):
                self._reply(thread, name, rest[5:], pending.get(thread, (name, ''))[1], previous.get(thread))
            else:
                previous[thread] = pending.get(thread, ('', ''))[0]
                pending[thread] = (name, rest)
                if name == 'read':
                    self._read_users.add(re.search(r'user=(\w+)', rest).group(1))
                if self.counting:
                    process = self.process_of.get(thread)
                    self.requests[process] = self.requests.get(process, 0) + 1
                    self.names.setdefault(process, collections.Counter())[name] += 1

    def _reply(self, thread, name, reply, arguments, previous):
        process = self.process_of.get(thread)
        if name == 'init_first_thread':
            ids = dict(re.findall(r'(pid|tid)=([0-9a-f]+)', reply))
            self.process_of[thread] = ids['pid']
            if self.counting:
                # Its own request was counted before its thread was known.
                self.requests[None] -= 1
                self.requests[ids['pid']] = self.requests.get(ids['pid'], 0) + 1
        elif name == 'new_thread' and 'process=ffffffff' in arguments:
            self.process_of[re.search(r'tid=([0-9a-f]+)', reply).group(1)] = process
        elif name == 'new_process':
            image = re.search(r'imagepath=L"([^"]*)"', arguments)
            self.image_of[re.search(r'pid=([0-9a-f]+)', reply).group(1)] = \
                image.group(1).split('\\')[-1].lower() if image else '?'
        elif not self.counting:
            return
        elif name == 'write':
            size = re.search(r'size=(\d+)', reply)
            if size and self._binary(arguments, 'data'):
                self.writes.setdefault(process, []).append(int(size.group(1)))
        elif name == 'read' or (name == 'get_async_result' and
                                re.search(r'user_arg=(\w+)', arguments).group(1) in self._read_users):
            field = 'data' if name == 'read' else 'out_data'
            size = data_size(reply, field)
            if size and self._binary(reply, field):
                self.reads.setdefault(process, []).append(size)
        elif name == 'set_async_direct_result' and previous == 'send_socket':
            # The bytes the client's own sendmsg took after the server let it.
            information = re.search(r'information=([0-9a-f]+)', arguments)
            self.sends.setdefault(process, []).append(int(information.group(1), 16))

    @staticmethod
    def _binary(reply, field):
        """A pipe read of the transcoder's report is text; its stream is not."""
        data = re.search(field + r'=\{([0-9a-f,]*)', reply)
        if not data:
            return False
        values = [int(b, 16) for b in data.group(1).split(',')[:64] if b]
        return any(v < 9 or 13 < v < 32 or v > 126 for v in values)

    def processes(self, image):
        return [p for p, i in self.image_of.items() if i == image]


def described(sizes):
    if not sizes:
        return 'none'
    return (f'{statistics.mean(sizes):.0f} bytes on average (median {statistics.median(sizes):.0f}, '
            f'largest {max(sizes)})')


def costs(folder, seconds):
    """One client fetches seconds of the main video back to back under a
    tracing wineserver: segment 0 (with the transcoder's start), then the
    others. The server is the process that sends; the transcoder the one
    that wrote the most."""
    trace = os.path.join(BUILD, 'bench', 'stream-trace.txt')
    env = wine_env(PREFIX)
    quiet = dict(env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pin_threads(SERVER_CORES)
    with WineSession(PREFIX):
        subprocess.run(['wineserver', '-k'], **quiet)
        subprocess.run(['wineserver', '-w'], **quiet)
        with open(trace, 'w') as out:
            tracer = subprocess.Popen(['wineserver', '-f', '-p', '-d1'], env=env, stdin=subprocess.DEVNULL,
                                      stdout=out, stderr=out)
        subprocess.run(['wine', 'wineboot'], **quiet)
        server = Server({'port': free_port(), 'extensions': ['mp4'], 'share': False,
                         'folders': [windows_path(folder)]})
        pin_threads(CLIENT_CORES)
        try:
            server.wait_for('Done searching!', 30)
            client = RealTimeClient(server.port, MAIN, '127.0.9.1', seconds)
            segments = segment_paths(server.port, MAIN, client.address)[:seconds // SEGMENT]
            offsets = [os.path.getsize(trace)]
            client.fetch(*segments[0])
            offsets.append(os.path.getsize(trace))
            for segment in segments[1:]:
                client.fetch(*segment)
            offsets.append(os.path.getsize(trace))
        finally:
            server.stop()
        subprocess.run(['wineserver', '-k'], **quiet)
        tracer.wait()
    print(f'costs of one client fetching {len(segments)} segments of {MAIN} back to back '
          f'(counted by a wineserver that traces every request, -d1):')
    for what, start, end, count in (('segment 0', offsets[0], offsets[1], 1),
                                    ('each later segment', offsets[1], offsets[2], len(segments) - 1)):
        counts = TraceCounts(trace, start, end)
        transcoders = counts.processes('ffmpeg.exe')
        server_process = max(counts.sends, key=lambda p: len(counts.sends[p]))
        stream = max(transcoders, key=lambda p: sum(counts.writes.get(p, [])))
        sends, reads, writes = (counts.sends[server_process], counts.reads.get(server_process, []),
                                counts.writes.get(stream, []))
        full = max(reads, default=0)
        print(f'  {what}: wineserver requests from the server {counts.requests.get(server_process, 0) / count:.0f}, '
              f'from the transcoder {counts.requests.get(stream, 0) / count:.0f}; '
              f'{len(sends) / count:.0f} sends, {len(reads) / count:.0f} pipe reads '
              f'({sum(r == full for r in reads) / count:.0f} of them full), {len(writes) / count:.0f} transcoder '
              f'writes')
        for who, process in (('server', server_process), ('transcoder', stream)):
            common = counts.names.get(process, collections.Counter()).most_common(8)
            print(f'    {who}\'s requests: ' + ', '.join(f'{n} {c / count:.0f}' for n, c in common))
        print(f'    sends {described(sends)}')
        print(f'    pipe reads {described(reads)}')
        print(f'    transcoder writes {described(writes)}')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--runs', type=int, default=3)
    parser.add_argument('--seconds', type=int, default=60, help='seconds each real-time client plays')
    parser.add_argument('--no-costs', action='store_true')
    parser.add_argument('work', nargs='?', default=os.path.join(BUILD, 'bench', 'stream'))
    args = parser.parse_args()
    if not os.path.exists(TRANSCODER_EXE):
        print(f'{TRANSCODER_EXE} is missing')
        return 1
    if not SERVER_CORES <= set(range(os.cpu_count())) or len(CLIENT_CORES) < 2:
        print(f'needs processors {sorted(SERVER_CORES)} and at least two others')
        return 1
    folder = os.path.join(args.work, 'videos')
    make_videos(folder)
    started = time.monotonic()
    print(f'server, wineserver and transcoders on processors {sorted(SERVER_CORES)}; clients and Chromium on the '
          f'others; {MAIN} ({MAIN_SECONDS} s, 1280x720), clients play {args.seconds} s each', flush=True)
    runs = []
    for run in range(args.runs):
        print(f'run {run + 1}:', flush=True)
        runs.append(one_run(folder, args.seconds))
    if runs:
        summary(runs)
    if not args.no_costs:
        costs(folder, args.seconds)
    print(f'wall time {time.monotonic() - started:.0f} s')
    return 0


if __name__ == '__main__':
    sys.exit(main())
