#!/usr/bin/env python3
"""Load and slow-client figures of sorvel-service, measured against a service it starts itself.

    bench/service_load.py [--service build/service/sorvel-service] [--catalog FILE] [SCENARIO ...]

Scenarios (all by default):
  slow       clients that send one header line every 2 s and never end their request (8, then
             64 of them; --slow-clients): the latency of a search while they trickle, and when
             each was dropped
  sigterm    SIGTERM with 8 such clients connected: the time until the process has ended
  load       4,000 search requests from 200 concurrent clients, one connection per request as
             the program asks: wall time, latency percentiles, requests slower than 1 s, failures
  keepalive  HTTP/1.1 keep-alive: the latency of a connection's first request and of the
             requests after it on the same connection

Only the standard library; every figure is wall-clock time on this machine (loopback).
"""

import argparse
import os
import select
import signal
import socket
import statistics
import subprocess
import threading
import time

SEARCH = ("/files/sorvel/api_yahoo.php?&query=kitten&results=20&start=1&adult_ok=0&site="
          "&uniqueid=1234-5678-9012-3456&ver=3.2")
NO_ANSWER_AFTER = 30.0  # seconds a single request may take before it counts as unanswered


class Service:
    """The service on a free port. Its log (standard error, a line per request) goes to `log`, a
    file opened for writing and reading, or nowhere; never to a pipe, which nobody would read and
    which would stop the service once full."""

    def __init__(self, executable, catalog, log=None):
        started = time.monotonic()
        arguments = [executable, "--port", "0"]
        if catalog:
            arguments += ["--catalog", catalog]
        self.process = subprocess.Popen(arguments, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL if log is None else log,
                                        text=True)
        line = self.process.stdout.readline()
        if "listening on http://" not in line:
            if log is not None:
                log.seek(0)
                line += log.read()
            raise RuntimeError("the service did not start: " + line)
        self.start_seconds = time.monotonic() - started
        self.port = int(line.strip().rstrip("/").rsplit(":", 1)[1])

    def stop(self, timeout=NO_ANSWER_AFTER * 2):
        """SIGTERM; the seconds until the process ended, or None when it had to be killed."""
        started = time.monotonic()
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout)
            return time.monotonic() - started
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None


def get(port, target=SEARCH, timeout=NO_ANSWER_AFTER):
    """One HTTP/1.0 request as the program sends it; (seconds, status) or (seconds, None)."""
    started = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
            s.settimeout(max(0.001, timeout - (time.monotonic() - started)))
            s.sendall(("GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n" % target).encode())
            answer = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                answer += chunk
        status = int(answer.split(b" ", 2)[1]) if answer.startswith(b"HTTP/") else None
        return time.monotonic() - started, status
    except OSError:
        return time.monotonic() - started, None


class Tricklers:
    """Clients that send a request line, then one header line every `interval` seconds."""

    def __init__(self, port, count, interval=2.0):
        self.interval = interval
        self.started = time.monotonic()
        self.sockets = []
        self.dropped = {}  # index -> seconds after connecting when the service closed it
        for _ in range(count):
            s = socket.create_connection(("127.0.0.1", port))
            s.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n")
            self.sockets.append(s)
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        line, next_line = 0, self.started + self.interval
        while not self.stopped.is_set():
            open_sockets = {s.fileno(): i for i, s in enumerate(self.sockets)
                            if i not in self.dropped}
            poller = select.poll()
            for fd in open_sockets:
                poller.register(fd, select.POLLIN)
            for fd, _ in (poller.poll(50) if open_sockets else []):
                i = open_sockets[fd]  # an answer (408) or the end: read up to the end
                try:
                    if self.sockets[i].recv(65536) == b"":
                        self.dropped[i] = time.monotonic() - self.started
                except OSError:
                    self.dropped[i] = time.monotonic() - self.started
            if not open_sockets:
                self.stopped.wait(0.05)
            if time.monotonic() < next_line:
                continue
            line, next_line = line + 1, next_line + self.interval
            for i, s in enumerate(self.sockets):
                if i not in self.dropped:
                    try:
                        s.sendall(b"X-Trickle-%d: yes\r\n" % line)
                    except OSError:
                        self.dropped[i] = time.monotonic() - self.started

    def stop(self):
        self.stopped.set()
        self.thread.join()
        for s in self.sockets:
            s.close()


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]


def describe(seconds):
    return "no answer within %.0f s" % NO_ANSWER_AFTER if seconds is None else "%.1f ms" % (
        seconds * 1000)


def scenario_slow(options):
    for count in options.slow_clients:
        service = Service(options.service, options.catalog)
        tricklers = Tricklers(service.port, count)
        time.sleep(3.0)  # every trickler has sent its request line and a header line
        latencies = []
        for _ in range(5):
            seconds, status = get(service.port)
            latencies.append(seconds if status == 200 else None)
        # Keep trickling until each is dropped or 30 s have passed.
        deadline = time.monotonic() + 30.0
        while len(tricklers.dropped) < count and time.monotonic() < deadline:
            time.sleep(0.2)
        tricklers.stop()
        service.stop()
        answered = [s for s in latencies if s is not None]
        print("slow: %d trickling clients: search latency %s (%d of 5 answered)" % (
            count, ", ".join(describe(s) for s in latencies), len(answered)))
        if tricklers.dropped:
            drops = list(tricklers.dropped.values())
            print("slow: %d trickling clients: %d dropped by the service, after %.1f to %.1f s" % (
                count, len(drops), min(drops), max(drops)))
        else:
            print("slow: %d trickling clients: none dropped within 33 s" % count)


def scenario_sigterm(options):
    service = Service(options.service, options.catalog)
    tricklers = Tricklers(service.port, 8)
    time.sleep(1.0)
    seconds = service.stop()
    tricklers.stop()
    print("sigterm: with 8 trickling clients: %s" % (
        "killed after %.0f s without ending" % (NO_ANSWER_AFTER * 2)
        if seconds is None else "ended after %.0f ms" % (seconds * 1000)))


def scenario_load(options, total=4000, clients=200):
    service = Service(options.service, options.catalog)
    latencies, failures = [], []
    lock = threading.Lock()
    left = [total]

    def client():
        while True:
            with lock:
                if left[0] == 0:
                    return
                left[0] -= 1
            seconds, status = get(service.port, timeout=90.0)
            with lock:
                (latencies if status == 200 else failures).append(seconds)

    started = time.monotonic()
    threads = [threading.Thread(target=client) for _ in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    wall = time.monotonic() - started
    service.stop()
    slow = [s for s in latencies if s > 1.0]
    print("load: %d requests, %d clients: %.1f s wall, %.0f requests/s; latency median %.1f ms, "
          "p99 %.1f ms, max %.1f ms; %d slower than 1 s; %d failed" % (
              total, clients, wall, total / wall, statistics.median(latencies) * 1000,
              percentile(latencies, 99) * 1000, max(latencies) * 1000, len(slow), len(failures)))


def read_answer(s):
    """Reads one HTTP/1.1 answer with a Content-Length from a blocking socket."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = s.recv(65536)
        if not chunk:
            raise ConnectionError("closed")
        data += chunk
    head, body = data.split(b"\r\n\r\n", 1)
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    while len(body) < length:
        chunk = s.recv(65536)
        if not chunk:
            raise ConnectionError("closed")
        body += chunk


def scenario_keepalive(options, connections=20, per_connection=5):
    service = Service(options.service, options.catalog)
    first, later = [], []
    request = ("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % SEARCH).encode()
    for _ in range(connections):
        with socket.create_connection(("127.0.0.1", service.port), timeout=10) as s:
            for i in range(per_connection):
                started = time.monotonic()
                s.sendall(request)
                read_answer(s)
                (first if i == 0 else later).append(time.monotonic() - started)
    service.stop()
    print("keepalive: %d connections x %d requests: first request median %.2f ms; later requests "
          "median %.2f ms, max %.2f ms" % (
              connections, per_connection, statistics.median(first) * 1000,
              statistics.median(later) * 1000, max(later) * 1000))


SCENARIOS = {"slow": scenario_slow, "sigterm": scenario_sigterm, "load": scenario_load,
             "keepalive": scenario_keepalive}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--service", default=os.path.join(here, "..", "build", "service",
                                                          "sorvel-service"))
    parser.add_argument("--catalog", default=None)
    parser.add_argument("--slow-clients", default="8,64", metavar="N,N,...",
                        type=lambda text: [int(n) for n in text.split(",")],
                        help="how many trickling clients the slow scenario runs with")
    parser.add_argument("scenarios", nargs="*", metavar="SCENARIO")
    options = parser.parse_args()
    for name in options.scenarios:
        if name not in SCENARIOS:
            parser.error("no scenario '%s' (%s)" % (name, ", ".join(SCENARIOS)))
    for name in options.scenarios or ["slow", "sigterm", "load", "keepalive"]:
        SCENARIOS[name](options)


if __name__ == "__main__":
    main()
