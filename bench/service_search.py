#!/usr/bin/env python3
"""Search latency and throughput of sorvel-service on a generated catalogue of a million entries.

    bench/service_search.py [--service build/service/sorvel-service] [--data DIR]
                            [--count 1000000] [--backends sqlite,postgres] [--requests 400]
                            [--seconds 8] [--clients 1,2,4,8] [--postgres-uri URI]

The catalogue is written by bench/make_large_catalog.py into DIR (build/bench-data by default;
never committed) the first time, and loaded once per back end:
  sqlite    `sorvel-service import` into DIR/catalog-COUNT.sqlite (kept for later runs)
  postgres  a PostgreSQL server of the benchmark's own (initdb and pg_ctl in a temporary folder,
            as the postgres user when run as root), imported anew each run; or the database
            --postgres-uri names, imported only with --import
  tsv       the tab-separated file itself, read into memory at start (the only form a service
            before the SQLite catalogue takes)
For each back end: the median and 99th percentile of --requests searches for each keyword, one
at a time, a new connection per request as the program asks; then the throughput of 1, 2, 4 and
8 clients (separate processes) that ask the four keywords in turn for --seconds each.
Wall-clock time on this machine, over loopback; the service and the clients share its processors.
"""

import argparse
import glob
import multiprocessing
import os
import pwd
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

import service_load  # beside this script: the service, the program's request, percentiles

KEYWORDS = ["猫", "京都", "猫カフェ", "guitar lesson"]
HERE = os.path.dirname(os.path.abspath(__file__))


def target(keyword):
    # The program turns a space into the ideographic space and asks for twenty results.
    query = urllib.parse.quote(keyword.replace(" ", "\u3000").encode("utf-8"))
    return ("/files/sorvel/api_yahoo.php?&query=%s&results=20&start=1&adult_ok=0&site="
            "&uniqueid=1234-5678-9012-3456&ver=3.2" % query)


def get(port, path):
    """One HTTP/1.0 request as the program sends it; the seconds it took, or None when it failed."""
    seconds, status = service_load.get(port, path)
    return seconds if status == 200 else None


def client(arguments):
    port, seconds, offset = arguments
    paths = [target(k) for k in KEYWORDS]
    done = failed = 0
    until = time.perf_counter() + seconds
    while time.perf_counter() < until:
        if get(port, paths[(done + failed + offset) % len(paths)]) is None:
            failed += 1
        else:
            done += 1
    return done, failed


class PostgresServer:
    """A cluster in a temporary folder, reached through a Unix socket there."""

    def __init__(self):
        versions = sorted(glob.glob("/usr/lib/postgresql/*/bin/pg_ctl"),
                          key=lambda p: int(p.split("/")[4]))
        if not versions:
            raise RuntimeError("no PostgreSQL server installed (the Debian package postgresql)")
        self.bin = os.path.dirname(versions[-1])
        self.folder = tempfile.mkdtemp(prefix="sorvel-bench-postgres-")
        if os.geteuid() == 0:
            owner = pwd.getpwnam("postgres")
            os.chown(self.folder, owner.pw_uid, owner.pw_gid)
        self.run("initdb", "-D", self.folder + "/data", "-A", "trust", "-E", "UTF8",
                 "--locale=C.UTF-8", "-U", "postgres")
        self.run("pg_ctl", "-D", self.folder + "/data", "-l", self.folder + "/server.log", "-w",
                 "-o", "-k %s -c listen_addresses= -c shared_buffers=1GB -c max_connections=200"
                 % self.folder, "start")
        self.uri = "postgresql:///postgres?host=%s&user=postgres" % self.folder

    def run(self, program, *arguments):
        command = [os.path.join(self.bin, program)] + list(arguments)
        if os.geteuid() == 0:
            runuser = shutil.which("runuser") or "/usr/sbin/runuser"
            command = [runuser, "-u", "postgres", "--"] + command
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)

    def stop(self):
        self.run("pg_ctl", "-D", self.folder + "/data", "-m", "fast", "-w", "stop")
        shutil.rmtree(self.folder, ignore_errors=True)


def import_catalogue(executable, tsv, location):
    started = time.monotonic()
    subprocess.run([executable, "import", tsv, "--catalog", location], check=True)
    return time.monotonic() - started


def measure(name, executable, catalog, options):
    log = tempfile.TemporaryFile(mode="w+")  # for the message when the service does not start
    service = service_load.Service(executable, catalog, log)
    print("%s: the service started in %.1f s" % (name, service.start_seconds))
    try:
        for keyword in KEYWORDS:
            for _ in range(20):  # warm the caches
                get(service.port, target(keyword))
            latencies = []
            for _ in range(options.requests):
                seconds = get(service.port, target(keyword))
                if seconds is None:
                    raise RuntimeError("a search for %s failed" % keyword)
                latencies.append(seconds)
            print("%s: %-14s median %7.2f ms   p99 %7.2f ms   (%d requests)" % (
                name, keyword, statistics.median(latencies) * 1000,
                service_load.percentile(latencies, 99) * 1000, len(latencies)))
        for clients in options.clients:
            with multiprocessing.Pool(clients) as pool:
                results = pool.map(client, [(service.port, options.seconds, i)
                                            for i in range(clients)])
            done = sum(r[0] for r in results)
            failed = sum(r[1] for r in results)
            print("%s: %d client%s  %7.0f searches/s%s" % (
                name, clients, " " if clients == 1 else "s", done / options.seconds,
                "  (%d failed)" % failed if failed else ""))
    finally:
        service.stop()
        log.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--service", default=os.path.join(HERE, "..", "build", "service",
                                                          "sorvel-service"))
    parser.add_argument("--data", default=os.path.join(HERE, "..", "build", "bench-data"))
    parser.add_argument("--count", type=int, default=1_000_000)
    parser.add_argument("--backends", default="sqlite,postgres")
    parser.add_argument("--requests", type=int, default=400)
    parser.add_argument("--seconds", type=float, default=8.0)
    parser.add_argument("--clients", default="1,2,4,8",
                        type=lambda text: [int(n) for n in text.split(",")])
    parser.add_argument("--postgres-uri", default=None)
    parser.add_argument("--import", dest="reimport", action="store_true",
                        help="import into the --postgres-uri database before measuring")
    options = parser.parse_args()

    os.makedirs(options.data, exist_ok=True)
    tsv = os.path.join(options.data, "catalog-%d.tsv" % options.count)
    if not os.path.exists(tsv):
        subprocess.run([sys.executable, os.path.join(HERE, "make_large_catalog.py"),
                        "--count", str(options.count), tsv], check=True)

    for backend in options.backends.split(","):
        if backend == "tsv":
            measure("tsv", options.service, tsv, options)
        elif backend == "sqlite":
            sqlite = os.path.join(options.data, "catalog-%d.sqlite" % options.count)
            if not os.path.exists(sqlite) or os.path.getmtime(sqlite) < os.path.getmtime(tsv):
                print("sqlite: imported in %.0f s" % import_catalogue(options.service, tsv,
                                                                      sqlite))
            measure("sqlite", options.service, sqlite, options)
        elif backend == "postgres":
            server = None
            uri = options.postgres_uri
            try:
                if uri is None:
                    server = PostgresServer()
                    uri = server.uri
                if server is not None or options.reimport:
                    print("postgres: imported in %.0f s" % import_catalogue(options.service, tsv,
                                                                            uri))
                measure("postgres", options.service, uri, options)
            finally:
                if server is not None:
                    server.stop()
        else:
            parser.error("no back end '%s' (sqlite, postgres, tsv)" % backend)


if __name__ == "__main__":
    main()
