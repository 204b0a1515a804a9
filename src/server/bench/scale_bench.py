#!/usr/bin/env python3
"""The scale benchmark of the headless server, on demand (not a test).

For 10,000, 30,000 and 100,000 channels of each family (type 2 with 10 attributes) it runs
corvid-opcd against `corvidsim --load N` / `--load2 N --attrs 10` and measures, as a black box:

  download+publish  from the connection to the end of the first session (configuration, items,
                    first states and values), seen in the server's log
  reconnect         from the disconnect (the simulator closes the connection) to the end of the
                    next session, with every item already published
                    (both times the median of --repeats runs)
  RSS               resident memory after the first session; per item in total and as the
                    difference to the smallest size (what one more item costs)
  idle CPU          share of one core while registered and nothing changes
  stream CPU        share of one core while the simulator changes 10 % of the channels a second

The same simulator serves every server, so a build of another commit (--base-build, or
--base-rev with --base-worktree, which builds it there) is measured in the same run: the rows
alternate between the two servers so that both see the same load of the machine.

  src/server/bench/scale_bench.py [--build build/native-release]
      [--base-rev 0d42da1 --base-worktree ../scale-base | --base-build DIR]
      [--sizes 10000,30000,100000] [--families 1,2] [--attrs 10] [--cpu-seconds 10] [--repeats 3]
      [--idle-seconds 30]
"""

import argparse
import json
import os
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
CONNECTED = "Подключение к серверу Corvid установлено"
SESSION_END = re.compile(r"Текущее состояние \d+ каналов 2 получено")
DISCONNECTED = "WARNING\tОтключение от сервера Corvid"


def run(cmd, **kw):
    subprocess.run(cmd, check=True, **kw)


def build(build_dir, targets):
    run(["cmake", "--build", build_dir, "-j2", "--target"] + targets, stdout=subprocess.DEVNULL)


def build_base(rev, worktree):
    """A Release build of corvid-opcd at `rev` in its own worktree; returns its build folder."""
    if not os.path.isdir(worktree):
        run(["git", "-C", SOURCE, "worktree", "add", "--detach", worktree, rev])
    else:
        run(["git", "-C", worktree, "checkout", "--quiet", "--detach", rev])
    env = dict(os.environ, CMAKE_CXX_COMPILER_LAUNCHER="ccache", CMAKE_C_COMPILER_LAUNCHER="ccache")
    build_dir = os.path.join(worktree, "build", "native-release")
    if not os.path.isfile(os.path.join(build_dir, "build.ninja")):
        run(["cmake", "--preset", "native-release"], cwd=worktree, env=env,
            stdout=subprocess.DEVNULL)
    build(build_dir, ["corvid-opcd"])
    return build_dir


class Log:
    """Follows a growing protokol.log (windows-1251, CR LF) and timestamps each line on sight."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.rest = b""
        self.lines = []  # (monotonic time seen, text)

    def poll(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return
        if not data:
            return
        now = time.monotonic()
        self.offset += len(data)
        data = self.rest + data
        parts = data.split(b"\r\n")
        self.rest = parts.pop()
        for p in parts:
            self.lines.append((now, p.decode("cp1251", "replace")))

    def wait(self, predicate, count=1, timeout=600.0, period=0.0005):
        """The time the `count`-th line matching `predicate` was seen."""
        end = time.monotonic() + timeout
        while True:
            self.poll()
            seen = [t for t, text in self.lines if predicate(text)]
            if len(seen) >= count:
                return seen[count - 1]
            if time.monotonic() > end:
                raise RuntimeError("no log line in time; last lines:\n" +
                                   "\n".join(text for _, text in self.lines[-10:]))
            time.sleep(period)

    def texts(self):
        self.poll()
        return [text for _, text in self.lines]


def cpu_seconds(pid):
    """CPU time of all threads of a process, in seconds (nanosecond resolution)."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total / 1e9


def cpu_share(pid, seconds):
    c0, t0 = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    c1, t1 = cpu_seconds(pid), time.monotonic()
    return 100.0 * (c1 - c0) / (t1 - t0)


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class Sim:
    def __init__(self, corvidsim, args, work):
        self.out_path = os.path.join(work, "sim.out")
        self.out = open(self.out_path, "wb")
        self.proc = subprocess.Popen([corvidsim, "--port", "0"] + args, stdin=subprocess.PIPE,
                                     stdout=self.out, stderr=subprocess.STDOUT)
        self.port = None
        for _ in range(600):
            with open(self.out_path, "rb") as f:
                m = re.search(rb"127\.0\.0\.1:(\d+)", f.read())
            if m:
                self.port = int(m.group(1))
                break
            time.sleep(0.05)
        if self.port is None:
            raise RuntimeError("corvidsim did not start")

    def text(self):
        with open(self.out_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def send(self, line):
        """A command on the simulator's standard input, not waited for."""
        self.proc.stdin.write((line + "\n").encode())
        self.proc.stdin.flush()

    def command(self, line, expect):
        """A command on the simulator's standard input, done once `expect` shows in its output."""
        before = self.text().count(expect)
        self.send(line)
        for _ in range(500):
            if self.text().count(expect) > before:
                return
            time.sleep(0.01)
        raise RuntimeError("corvidsim did not take the command " + line)

    def stop(self):
        self.proc.stdin.close()
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        self.out.close()


def start_server(opcd, work, port, max_tags):
    data = os.path.join(work, "Corvid OPC DA")
    os.makedirs(data, exist_ok=True)
    config = ("[SETUP]\r\nMAXTAGCOUNT=%d\r\nWAITFOROPCCLIENTS=0\r\nUPDATETAGTIME=1000\r\n"
              "[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%d\r\nNAME=CFG\r\nPASSWORD=\r\n"
              "TIMEOUT=30000\r\nTESTCONNECT=60\r\n") % (max_tags, port)
    with open(os.path.join(data, "config.ini"), "w", newline="") as f:
        f.write(config)
    env = dict(os.environ, PROGRAMDATA=work)
    proc = subprocess.Popen([opcd], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return proc, Log(os.path.join(data, "protokol.log"))


def stop_server(proc):
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()


def measure(opcd, corvidsim, family, n, attrs, cpu_s, repeats):
    """One row: the figures of one server for n channels of one family; the times are the median
    of `repeats` downloads (each by a server started afresh) and `repeats` reconnections."""
    with tempfile.TemporaryDirectory(prefix="scale-bench-") as work:
        load = ["--load", str(n)] if family == 1 else ["--load2", str(n), "--attrs", str(attrs)]
        sim = Sim(corvidsim, load + ["--rate", str(max(1, n // 10))], work)
        server = None
        downloads, reconnects = [], []
        try:
            sim.command("pause", "поток нагрузки приостановлен")
            for attempt in range(repeats):
                if server is not None:
                    stop_server(server)  # the simulator serves the next one
                sim_cpu0 = cpu_seconds(sim.proc.pid)
                server, log = start_server(opcd, os.path.join(work, "run%d" % attempt), sim.port,
                                           n + 1000)
                t_connect = log.wait(lambda s: CONNECTED in s)
                t_end = log.wait(lambda s: SESSION_END.search(s) is not None)
                downloads.append((1000.0 * (t_end - t_connect), 1000.0 * cpu_seconds(server.pid),
                                  1000.0 * (cpu_seconds(sim.proc.pid) - sim_cpu0)))
            time.sleep(1.0)
            rss = rss_kb(server.pid)
            idle = cpu_share(server.pid, cpu_s)

            for attempt in range(repeats):
                cpu2 = cpu_seconds(server.pid)
                sim_cpu2 = cpu_seconds(sim.proc.pid)
                # Not waited for: the reconnection may be over before the simulator's own line
                # of the drop is seen, and the log must be watched from the start.
                sim.send("drop")
                t_drop = log.wait(lambda s: DISCONNECTED in s, count=attempt + 1)
                t_end2 = log.wait(lambda s: SESSION_END.search(s) is not None, count=attempt + 2)
                reconnects.append((1000.0 * (t_end2 - t_drop),
                                   1000.0 * (cpu_seconds(server.pid) - cpu2),
                                   1000.0 * (cpu_seconds(sim.proc.pid) - sim_cpu2)))

            sim.command("stream", "поток нагрузки включен")
            time.sleep(2.0)
            stream = cpu_share(server.pid, cpu_s)
            rss_after = rss_kb(server.pid)
            errors = sum(1 for s in log.texts() if s.startswith("ERROR"))
            download = [statistics.median(column) for column in zip(*downloads)]
            reconnect = [statistics.median(column) for column in zip(*reconnects)]
            return {
                "download_ms": download[0],
                "download_cpu_ms": download[1],
                "download_sim_cpu_ms": download[2],
                "reconnect_ms": reconnect[0],
                "reconnect_cpu_ms": reconnect[1],
                "reconnect_sim_cpu_ms": reconnect[2],
                "rss_kb": rss,
                "rss_after_kb": rss_after,
                "idle_cpu": idle,
                "stream_cpu": stream,
                "errors": errors,
            }
        finally:
            if server is not None:
                stop_server(server)
            sim.stop()


def measure_idle(opcd, corvidsim, seconds):
    """CPU share of a server registered at the built-in building with nothing changing."""
    with tempfile.TemporaryDirectory(prefix="scale-bench-") as work:
        building = os.path.join(work, "building.json")
        run([corvidsim, "--dump-scenario", building], stdout=subprocess.DEVNULL)
        with open(building, encoding="utf-8") as f:
            scenario = json.load(f)
        scenario["timeline"]["events"] = []  # nothing changes
        quiet = os.path.join(work, "quiet.json")
        with open(quiet, "w", encoding="utf-8") as f:
            json.dump(scenario, f, ensure_ascii=False)
        sim = Sim(corvidsim, ["--scenario", quiet], work)
        server = None
        try:
            server, log = start_server(opcd, work, sim.port, 10000)
            log.wait(lambda s: SESSION_END.search(s) is not None)
            time.sleep(1.0)
            return cpu_share(server.pid, seconds)
        finally:
            if server is not None:
                stop_server(server)
            sim.stop()


def load_text():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def print_table(title, rows, sizes, families):
    print(title)
    print("             |  download+publish ms   |     reconnect ms       |          RSS           |   CPU % of a core")
    print("family  chan. |  wall   CPU  sim CPU   |  wall   CPU  sim CPU   |   MB  B/item  +B/item  |   idle   stream")
    for family in families:
        first = rows.get((family, sizes[0]))
        for n in sizes:
            r = rows.get((family, n))
            if r is None:
                continue
            marginal = ""
            if first is not None and n != sizes[0]:
                marginal = "%.0f" % ((r["rss_kb"] - first["rss_kb"]) * 1024.0 / (n - sizes[0]))
            print("type-%d %6d | %6.0f %5.0f  %7.0f   | %6.0f %5.0f  %7.0f   | %5.0f  %6.0f  %7s  | %6.2f  %6.2f%s" %
                  (family, n, r["download_ms"], r["download_cpu_ms"], r["download_sim_cpu_ms"],
                   r["reconnect_ms"], r["reconnect_cpu_ms"], r["reconnect_sim_cpu_ms"],
                   r["rss_kb"] / 1024.0, r["rss_kb"] * 1024.0 / n, marginal, r["idle_cpu"],
                   r["stream_cpu"], "  errors=%d" % r["errors"] if r["errors"] else ""))
        last = rows.get((family, sizes[-1]))
        if first is not None and last is not None:
            print("type-%d growth %d -> %d channels: download x%.1f (CPU x%.1f), "
                  "reconnect x%.1f (CPU x%.1f)" %
                  (family, sizes[0], sizes[-1], last["download_ms"] / first["download_ms"],
                   last["download_cpu_ms"] / max(first["download_cpu_ms"], 1e-9),
                   last["reconnect_ms"] / max(first["reconnect_ms"], 1e-9),
                   last["reconnect_cpu_ms"] / max(first["reconnect_cpu_ms"], 1e-9)))
    print()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(SOURCE, "build", "native-release"))
    ap.add_argument("--base-build", help="build folder of the server to compare with")
    ap.add_argument("--base-rev", help="commit to build and compare with (needs --base-worktree)")
    ap.add_argument("--base-worktree", help="worktree in which --base-rev is built")
    ap.add_argument("--sizes", default="10000,30000,100000")
    ap.add_argument("--families", default="1,2")
    ap.add_argument("--attrs", type=int, default=10)
    ap.add_argument("--cpu-seconds", type=float, default=10.0)
    ap.add_argument("--idle-seconds", type=float, default=30.0)
    ap.add_argument("--repeats", type=int, default=3,
                    help="downloads and reconnections per row, their median shown")
    args = ap.parse_args()

    sizes = [int(s) for s in args.sizes.split(",")]
    families = [int(f) for f in args.families.split(",")]
    build(args.build, ["corvid-opcd", "corvidsim"])
    servers = [("this build", os.path.join(args.build, "src", "server", "corvid-opcd"))]
    base_build = args.base_build
    if args.base_rev:
        if not args.base_worktree:
            sys.exit("--base-rev needs --base-worktree")
        base_build = build_base(args.base_rev, os.path.abspath(args.base_worktree))
    if base_build:
        label = "base " + (args.base_rev or base_build)
        servers.insert(0, (label, os.path.join(base_build, "src", "server", "corvid-opcd")))
    corvidsim = os.path.join(args.build, "src", "tools", "corvidsim", "corvidsim")

    print("load average at start: %s (%d cores)" % (load_text(), os.cpu_count()))
    rows = {label: {} for label, _ in servers}
    idle = {}
    for family in families:
        for n in sizes:
            for label, opcd in servers:
                r = measure(opcd, corvidsim, family, n, args.attrs, args.cpu_seconds,
                            args.repeats)
                rows[label][(family, n)] = r
                print("  %-16s type-%d %6d: download %.0f ms (CPU %.0f), reconnect %.0f ms (CPU %.0f), "
                      "RSS %.1f MB, idle %.2f %%, stream %.2f %%  [load %s]" %
                      (label, family, n, r["download_ms"], r["download_cpu_ms"], r["reconnect_ms"],
                       r["reconnect_cpu_ms"], r["rss_kb"] / 1024.0, r["idle_cpu"], r["stream_cpu"],
                       load_text()), flush=True)
    if args.idle_seconds > 0:
        for label, opcd in servers:
            idle[label] = measure_idle(opcd, corvidsim, args.idle_seconds)
    print("load average at end: %s" % load_text())
    print()
    for label, _ in servers:
        print_table("== %s" % label, rows[label], sizes, families)
        if label in idle:
            print("idle, built-in building, registered, nothing changing, %.0f s: %.3f %% of a core"
                  % (args.idle_seconds, idle[label]))
            print()


if __name__ == "__main__":
    main()
