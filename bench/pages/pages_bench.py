#!/usr/bin/python3
"""Time the collection page of `metashelf serve` over a large collection.

Makes N records (default 10,000) from one corpus FGDC record, each with its
own title, keyword and bounding box drawn from a seeded generator, imports
them with the tool, builds the collection's search indexes (which `serve`
would otherwise build before listening), starts `metashelf serve` on a free
loopback port and asks for pages of 20 results, one client at a time:

- the HTML collection page (f=html), and as its floor the same answer as
  JSON (f=json): the page's own cost is the difference;
- a plain first page, a free-text search and a box search.

Prints p50 and p99 in milliseconds, the ratio of the page to its floor, the
server's CPU milliseconds per request, and the bytes a first visit to a
collection page loads (page, scripts, styles, basemap), over the wire with
gzip and uncompressed. Figures only: nothing fails on timing.

usage: pages_bench.py TOOL CORPUS_DIR [--records N] [--requests N]
"""
import argparse
import os
import random
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_records(template, folder, count):
    text = open(template, encoding="utf-8").read()
    rng = random.Random(20261208)
    os.makedirs(folder)
    for i in range(count):
        west = rng.uniform(-180, 170)
        south = rng.uniform(-80, 70)
        east = west + rng.uniform(0.1, 10)
        north = south + rng.uniform(0.1, 10)
        t = re.sub(r"<title>.*?</title>", "<title>Survey sheet %d of district %d</title>" % (i, rng.randrange(500)), text, count=1, flags=re.S)
        t = re.sub(r"<westbc>.*?</westbc>", "<westbc>%.4f</westbc>" % west, t, count=1)
        t = re.sub(r"<eastbc>.*?</eastbc>", "<eastbc>%.4f</eastbc>" % east, t, count=1)
        t = re.sub(r"<southbc>.*?</southbc>", "<southbc>%.4f</southbc>" % south, t, count=1)
        t = re.sub(r"<northbc>.*?</northbc>", "<northbc>%.4f</northbc>" % north, t, count=1)
        t = re.sub(r"<themekey>.*?</themekey>", "<themekey>benchkey-%d</themekey>" % rng.randrange(1000), t, count=1)
        with open(os.path.join(folder, "r%05d.xml" % i), "w", encoding="utf-8") as f:
            f.write(t)


def cpu_seconds(pid):
    """User and system time the process has used so far (Linux /proc)."""
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def timed(url, n, pid):
    """p50 and p99 of the wall time, and the server's CPU time per request:
    the wall time swings with the load of shared cores, the CPU time hardly."""
    times = []
    cpu = cpu_seconds(pid)
    for _ in range(n):
        start = time.perf_counter()
        with urllib.request.urlopen(url) as r:
            r.read()
        times.append((time.perf_counter() - start) * 1000)
    cpu = (cpu_seconds(pid) - cpu) / n * 1000
    times.sort()
    return statistics.median(times), times[int(len(times) * 0.99) - 1], cpu


def main():
    p = argparse.ArgumentParser()
    p.add_argument("tool")
    p.add_argument("corpus")
    p.add_argument("--records", type=int, default=10000)
    p.add_argument("--requests", type=int, default=200)
    a = p.parse_args()
    a.tool, a.corpus = os.path.abspath(a.tool), os.path.abspath(a.corpus)
    work = tempfile.mkdtemp(prefix="metashelf-pages-bench-")
    server = None
    try:
        template = os.path.join(a.corpus, "fgdc", "gsaharvester__waf_USGSHydroCached.xml")
        make_records(template, os.path.join(work, "in"), a.records)
        for args in (["init"], ["schema", "add", "fgdc"], ["collection", "create", "bench", "--schema", "fgdc"],
                     ["-q", "import", "bench", "in"], ["-q", "reindex", "bench"]):
            subprocess.run([a.tool, *args], cwd=work, check=True, stdout=subprocess.DEVNULL)
        port = free_port()
        server = subprocess.Popen([a.tool, "serve", "--listen", "127.0.0.1:%d" % port], cwd=work,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        base = "http://127.0.0.1:%d" % port
        for _ in range(100):
            try:
                urllib.request.urlopen(base + "/?f=json")
                break
            except OSError:
                time.sleep(0.2)
        print("collection page, %d records, 20 results a page, %d requests each (ms)" % (a.records, a.requests))
        print("%-22s %9s %9s %9s %9s %7s %9s %9s" % ("search", "html p50", "html p99", "json p50", "json p99",
                                                     "ratio", "html cpu", "json cpu"))
        searches = [("first page", ""), ("free text", "&q=district%2042"),
                    ("box", "&bbox=-20,30,20,60"), ("conditions", "&where=keyword%20%3D%20benchkey-7")]
        for name, query in searches:
            url = base + "/collections/bench/items?limit=20" + query
            timed(url + "&f=html", 5, server.pid)
            h50, h99, hcpu = timed(url + "&f=html", a.requests, server.pid)
            j50, j99, jcpu = timed(url + "&f=json", a.requests, server.pid)
            print("%-22s %9.1f %9.1f %9.1f %9.1f %7.2f %9.2f %9.2f" % (name, h50, h99, j50, j99, h50 / j50,
                                                                       hcpu, jcpu))
        # What a browser that takes gzip receives, and the same uncompressed.
        def fetch(path, encoding):
            request = urllib.request.Request(base + path, headers={"Accept-Encoding": encoding})
            with urllib.request.urlopen(request) as r:
                return r.read()
        sizes = {}
        for encoding in ("gzip", "identity"):
            page = fetch("/collections/bench/items?limit=20&f=html", encoding)
            total = len(page)
            for asset in re.findall(rb'(?:href|src|data-basemap)="(/static/[^"]+)"',
                                    fetch("/collections/bench/items?limit=20&f=html", "identity")):
                total += len(fetch(asset.decode(), encoding))
            sizes[encoding] = (total, len(page))
        print("first visit of a collection page: %d bytes over the wire with gzip (page %d), "
              "%d uncompressed (page %d); the rest is scripts, styles, basemap"
              % (sizes["gzip"] + sizes["identity"]))
    finally:
        if server is not None:
            server.terminate()
            server.wait(10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
