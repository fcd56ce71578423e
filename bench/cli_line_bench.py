#!/usr/bin/env python3
"""The command line program on the wire, native and under wine, in one run.

    bench/cli_line_bench.py LINUX_BUILD_DIR WINDOWS_BUILD_DIR [runs, default 5] [image KiB, default 64]

Each run starts zendra-modsim at 115200 baud (its own pauses at a fifth, never the
line's pace) and has `zendra-cli info` and `zendra-cli update IMAGE` (with the
1 ms pause after each block, and `--fast`) talk to it, once the Linux program on
the pseudo-terminal, once zendra-cli.exe under wine on the same kind of
pseudo-terminal mapped as COM5; the two alternate which goes first. Both write
their traffic log (`--trace`), whose times (microseconds since the port opened,
the program's own clock) give the figures:

- AT reply latency: from a query's write to the arrival of its "OK" line, less
  the line time of the query (up to its CR: the module acts there) and of the
  reply, for the identification queries of `info` (echo off);
- transfer efficiency: 128 payload bytes per block over the median block cycle,
  and over the whole transfer, against the stop-and-wait limit of the line,
  128 / ((133 + 1) x 10 / 115200) = 11004 bytes/s.
"""

import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BAUD = 115200
CHAR_S = 10.0 / BAUD
LIMIT = 128 / ((133 + 1) * CHAR_S)
PAUSED_LIMIT = 128 / ((133 + 1) * CHAR_S + 0.001)

TOKEN = re.compile(r"<0x[0-9A-Fa-f]{2}>|<[A-Z]{2,3}>|.", re.S)


def byte_count(text):
    return len(TOKEN.findall(text))


def read_trace(path):
    entries = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            m = re.match(r"\s*([0-9.]+) (TX|RX|--) (.*?)\r?\n?$", line)
            if m:
                entries.append((float(m.group(1)), m.group(2), m.group(3)))
    return entries


def latencies(entries):
    """Microseconds beyond the line time, per identification query."""
    result = []
    for i, (t, kind, text) in enumerate(entries):
        if kind != "TX" or not text.startswith("AT+"):
            continue
        received = ""
        for t2, kind2, text2 in entries[i + 1:]:
            if kind2 == "TX":
                break
            if kind2 != "RX":
                continue
            received += text2
            if "OK<CR><LF>" in received or "ERROR<CR><LF>" in received:
                line = (byte_count(text) - 1 + byte_count(received)) * CHAR_S * 1000
                result.append((t2 - t - line) * 1000)
                break
    return result


def block_times(entries):
    return [t for t, kind, text in entries if kind == "TX" and text.startswith("block ")]


def make_image(path, size):
    head = b"EBL\0MA11\0VERSION=v1.11.0\0"
    body = bytes(((i * 29 + 7) & 0xFF) for i in range(size))
    with open(path, "wb") as f:
        f.write(head + body[len(head):])


class Bench:
    def __init__(self, linux_build, windows_build):
        self.sim = os.path.join(linux_build, "bin", "zendra-modsim")
        self.native = os.path.join(linux_build, "bin", "zendra-cli")
        self.exe = os.path.join(windows_build, "bin", "zendra-cli.exe")
        self.work = tempfile.mkdtemp(prefix="zendra-clibench.")
        self.env = dict(os.environ, WINEPREFIX=os.path.join(self.work, "prefix"),
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.wine = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine"
        subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        subprocess.Popen(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL).wait()
        self.image = os.path.join(self.work, "MA11_v1.11.0.ebl")

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(self.work, ignore_errors=True)

    def run(self, windows, args):
        """One command against a fresh module; returns the trace's entries."""
        sim = subprocess.Popen([self.sim, "--baud", str(BAUD), "--time-scale", "0.2"],
                               stdout=subprocess.PIPE, text=True)
        try:
            pty = sim.stdout.readline().strip()
            trace = os.path.join(self.work, "trace")
            if os.path.exists(trace):
                os.remove(trace)
            if windows:
                link = os.path.join(self.env["WINEPREFIX"], "dosdevices", "com5")
                if os.path.lexists(link):
                    os.remove(link)
                os.symlink(pty, link)
                command = [self.wine, self.exe, "--port", "COM5", "--trace", "Z:" + trace.replace("/", "\\")]
                image = "Z:" + self.image.replace("/", "\\")
            else:
                command = [self.native, "--port", pty, "--trace", trace]
                image = self.image
            command += ["--baud", str(BAUD)] + [image if a == "IMAGE" else a for a in args]
            done = subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            if done.returncode != 0:
                sys.exit("%s failed (%d): %s" % (" ".join(command), done.returncode, done.stderr[-500:]))
            return read_trace(trace)
        finally:
            sim.terminate()
            sim.wait()


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    kib = int(sys.argv[4]) if len(sys.argv) > 4 else 64
    bench = Bench(sys.argv[1], sys.argv[2])
    make_image(bench.image, kib * 1024)
    figures = {}
    try:
        for run in range(runs):
            order = [False, True] if run % 2 == 0 else [True, False]
            for windows in order:
                name = "wine" if windows else "native"
                lat = latencies(bench.run(windows, ["info"]))
                figures.setdefault((name, "latency"), []).append(statistics.median(lat))
                for mode, extra in (("paused", []), ("fast", ["--fast"])):
                    times = block_times(bench.run(windows, ["update", "IMAGE", "--no-progress"] + extra))
                    cycles = [b - a for a, b in zip(times, times[1:])]
                    cycle = statistics.median(cycles) / 1000
                    whole = (len(times) - 1) * 128 / ((times[-1] - times[0]) / 1000)
                    figures.setdefault((name, mode + " cycle"), []).append(128 / cycle)
                    figures.setdefault((name, mode + " whole"), []).append(whole)
                print("run %d %-6s latency %.0f us, paused %.0f B/s (whole %.0f), fast %.0f B/s (whole %.0f)" % (
                    run + 1, name, figures[(name, "latency")][-1], figures[(name, "paused cycle")][-1],
                    figures[(name, "paused whole")][-1], figures[(name, "fast cycle")][-1],
                    figures[(name, "fast whole")][-1]), flush=True)
    finally:
        bench.close()
    print()
    print("| figure (median of %d runs) | native | under wine | wine / native (latency: wine - native) |" % runs)
    print("|---|---|---|---|")
    n, w = statistics.median(figures[("native", "latency")]), statistics.median(figures[("wine", "latency")])
    # Near zero either way, so the two are compared by their difference, not a ratio.
    print("| AT reply latency beyond the line time | %.0f us | %.0f us | %+.0f us |" % (n, w, w - n))
    for mode, limit in (("paused", PAUSED_LIMIT), ("fast", LIMIT)):
        for part in ("cycle", "whole"):
            n = statistics.median(figures[("native", mode + " " + part)])
            w = statistics.median(figures[("wine", mode + " " + part)])
            label = {"paused": "with the 1 ms pause", "fast": "--fast"}[mode]
            label += {"cycle": ", median block cycle", "whole": ", whole transfer"}[part]
            print("| %s | %.0f B/s = %.3f of its limit | %.0f B/s = %.3f | %.3f |" % (
                label, n, n / limit, w, w / limit, w / n))
    print("(stop-and-wait limit %.0f B/s; with the 1 ms pause %.0f B/s)" % (LIMIT, PAUSED_LIMIT))


if __name__ == "__main__":
    main()
