#!/usr/bin/env python3
"""Figures of the whole server under Wine, over loopback:
- time to the first byte of segment 0, next to the bare ffmpeg.exe's own
  time to its first output on the same file and command line;
- ten clients (127.0.0.x) streaming 60 s of ten different videos at once,
  each fetching segments back to back as a player does, with stalls counted
  (a segment that arrives after the ones before it would have played out);
- the server's peak memory (the Unix process's high-water mark) and the
  transcoders' peak total.
Usage: server-bench.py [WORK-FOLDER]"""

import os
import socket
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e', 'server'))
from serverlib import (BUILD, DIST, PREFIX, TRANSCODER_EXE, Server, WineSession, free_port, make_video,  # noqa: E402
                       url_name, wine_env, windows_path)

WORK = sys.argv[1] if len(sys.argv) > 1 else os.path.join(BUILD, 'bench', 'server')
CLIENTS = 10
PLAYED_SECONDS = 60
SEGMENT = 10
REPEATS = 5
SOURCES = ['testsrc2', 'testsrc', 'smptebars', 'rgbtestsrc', 'gradients', 'colorspectrum', 'smptehdbars',
           'yuvtestsrc', 'pal75bars', 'pal100bars']


def first_byte_from_server(port, name, client):
    """Seconds from sending the request to the first byte of the segment
    (the head goes out with the transcoder's first bytes)."""
    with socket.create_connection(('127.0.0.1', port), source_address=(client, 0)) as s:
        started = time.monotonic()
        s.sendall(f'GET /v/{url_name(name)}?ss=0 HTTP/1.0\r\nHost: 127.0.0.1:{port}\r\n\r\n'.encode())
        received = b''
        while received.find(b'\r\n\r\n') in (-1, len(received) - 4):
            received += s.recv(65536)
        first = time.monotonic() - started
        while s.recv(65536):
            pass
    return first


def our_transcoders():
    """Unix process ids of the ffmpeg.exe processes in the private prefix."""
    found = []
    for pid in os.listdir('/proc'):
        try:
            with open(f'/proc/{pid}/cmdline', 'rb') as f:
                argv = f.read().split(b'\0')
            with open(f'/proc/{pid}/environ', 'rb') as f:
                environ = f.read().split(b'\0')
        except OSError:
            continue
        if argv[0].lower().endswith(b'ffmpeg.exe') and b'WINEPREFIX=' + PREFIX.encode() in environ:
            found.append(int(pid))
    return found


def command_line(pid):
    with open(f'/proc/{pid}/cmdline', 'rb') as f:
        return [a.decode() for a in f.read().split(b'\0') if a][1:]


def first_byte_from_transcoder(args):
    """Seconds from starting the bare ffmpeg.exe to its first output byte."""
    started = time.monotonic()
    child = subprocess.Popen(['wine', TRANSCODER_EXE, *args], cwd=DIST, env=wine_env(), stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    child.stdout.read(1)
    first = time.monotonic() - started
    child.kill()
    child.wait()
    return first


def memory_kb(pid, field):
    with open(f'/proc/{pid}/status') as f:
        for line in f:
            if line.startswith(field + ':'):
                return int(line.split()[1])
    return 0


def time_to_first_byte(server, name):
    server_times = [first_byte_from_server(server.port, name, f'127.0.1.{i + 1}') for i in range(REPEATS)]
    transcoders = our_transcoders()
    args = command_line(transcoders[0])
    bare_times = [first_byte_from_transcoder(args) for _ in range(REPEATS)]
    print(f'first byte of segment 0: server {statistics.median(server_times) * 1000:.0f} ms '
          f'(min {min(server_times) * 1000:.0f}, max {max(server_times) * 1000:.0f}); '
          f'bare ffmpeg.exe {statistics.median(bare_times) * 1000:.0f} ms '
          f'(min {min(bare_times) * 1000:.0f}, max {max(bare_times) * 1000:.0f}); median of {REPEATS}')


class Player:
    """Fetches the segments of one video back to back and notes when each arrives."""

    def __init__(self, port, name, client):
        self.port, self.name, self.client = port, name, client
        self.arrivals = []
        self.failures = 0

    def run(self, started):
        for start in range(0, PLAYED_SECONDS, SEGMENT):
            with socket.create_connection(('127.0.0.1', self.port), source_address=(self.client, 0)) as s:
                s.sendall(f'GET /v/{url_name(self.name)}?ss={start} HTTP/1.0\r\n\r\n'.encode())
                data = bytearray()
                while chunk := s.recv(65536):
                    data += chunk
            self.failures += not data.startswith(b'HTTP/1.0 200')
            self.arrivals.append(time.monotonic() - started)

    def stalls(self):
        """Segments that arrive after the ones before them have played out,
        playback starting when segment 0 has arrived; and the time waited."""
        count, waited, clock = 0, 0.0, self.arrivals[0]
        for arrival in self.arrivals[1:]:
            clock += SEGMENT
            if arrival > clock:
                count += 1
                waited += arrival - clock
                clock = arrival
        return count, waited


def ten_clients(server, names):
    players = [Player(server.port, names[i], f'127.0.0.{20 + i}') for i in range(CLIENTS)]
    peak = {'transcoders': 0}
    done = threading.Event()

    def sample():
        while not done.wait(0.2):
            total = 0
            for pid in our_transcoders():
                try:
                    total += memory_kb(pid, 'VmRSS')
                except OSError:
                    pass
            peak['transcoders'] = max(peak['transcoders'], total)

    sampler = threading.Thread(target=sample)
    sampler.start()
    started = time.monotonic()
    threads = [threading.Thread(target=p.run, args=(started,)) for p in players]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - started
    done.set()
    sampler.join()
    stalls = [p.stalls() for p in players]
    first = [p.arrivals[0] for p in players]
    print(f'{CLIENTS} clients x {PLAYED_SECONDS} s of different videos at once: all done in {elapsed:.1f} s; '
          f'segment 0 arrived after {min(first):.2f}-{max(first):.2f} s; '
          f'stalls {sum(c for c, _ in stalls)} ({sum(w for _, w in stalls):.1f} s waited); '
          f'failed segments {sum(p.failures for p in players)}')
    print(f'transcoders\' peak total memory: {peak["transcoders"] / 1024:.0f} MiB')


def main():
    if not os.path.exists(TRANSCODER_EXE):
        print(f'{TRANSCODER_EXE} is missing')
        return 1
    folder = os.path.join(WORK, 'videos')
    names = [f'clip {i:02d} ü.mp4' for i in range(CLIENTS)]
    for name, source in zip(names, SOURCES):
        make_video(os.path.join(folder, name), PLAYED_SECONDS + 10, size='640x360', picture=source)
    with WineSession():
        server = Server({'port': free_port(), 'extensions': ['mp4'], 'share': False,
                         'folders': [windows_path(folder)]})
        try:
            server.wait_for('Done searching!', 30)
            print(f'videos: {CLIENTS} x {PLAYED_SECONDS + 10} s, 640x360 H.264/AAC; server under Wine on loopback; '
                  f'{os.cpu_count()} processors')
            time_to_first_byte(server, names[0])
            ten_clients(server, names)
            print(f'server peak memory: {memory_kb(server.process.pid, "VmHWM") / 1024:.0f} MiB resident '
                  f'(virtual {memory_kb(server.process.pid, "VmPeak") / 1024:.0f} MiB)')
        finally:
            server.stop()
    return 0


if __name__ == '__main__':
    sys.exit(main())
