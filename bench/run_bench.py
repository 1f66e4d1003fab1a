#!/usr/bin/env python3
"""What the countdown costs, and how late the shutdown command comes.

    python3 bench/run_bench.py [--seconds 15] [--runs 20] [--wine auto|off]

Prints one Markdown table of figures beside their goals:

- CPU time per countdown cycle and peak memory of the tool, with standard
  output redirected to a file and in a terminal (tmux), against `sleep` (the
  floor) and against the loop a Linux user would write instead,
  `while true; do clear; date; sleep 1; done`. Every subject runs in real time
  for a warm-up span and then the measured span (--seconds). CPU per cycle is
  the main process's CPU time over the measured span (read from /proc, all
  threads, ns precision) divided by the cycles in it, plus the CPU time of its
  short-lived descendants (the loop's clear, date and sleep; the stand-in
  interpreter) over the whole run divided by all its cycles. Descendants are
  counted however they detach: this script is their child subreaper and reaps
  them. Peak memory is the main process's VmHWM.
- The delay from the first moment of the target minute to the shutdown command
  reaching the stand-in interpreter, over --runs runs. libfaketime offsets the
  clock (no speed factor) so that the target minute begins 1-2 s after the
  start; the moment the stand-in received the command is the modification time
  of its log, which it appends the command line to (the kernel stamps it in
  real time, out of libfaketime's reach).
- The same for the Windows program under Wine, when build/windows-x64 holds it
  (--wine off leaves it out).

Nothing here can power the machine off: the target of the cost runs is 24:00,
which never comes, COMSPEC names the stand-in interpreter wherever it is set,
and where it is unset a recording `shutdown` comes first on PATH.
"""

import argparse
import ctypes
import datetime
import json
import math
import os
import platform
import random
import resource
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHELL_LOOP = "while true; do clear; date; sleep 1; done"
RECORDING_SHUTDOWN = '#!/bin/sh\necho "$*" >> "$SHUTDOWN_LOG"\n'
SHUTDOWN = "shutdown -s -t 1"
PR_SET_CHILD_SUBREAPER = 36

# Goals, printed beside the figures.
CPU_SHARE_OF_LOOP = 1 / 20
MEMORY_FACTOR_OF_SLEEP = 1.2
DELAY_MEDIAN = 0.6
DELAY_MAX = 1.1


def set_subreaper(on):
    """While on, orphaned descendants are reparented to this process, which
    reaps them and so counts their CPU time."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1 if on else 0, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def descendants(pid):
    """pid and every process below it, found through /proc."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    stat = f.read()
                parents.setdefault(int(stat.rsplit(")", 1)[1].split()[1]), []).append(int(entry))
            except OSError:
                pass
    found, todo = [], [pid]
    while todo:
        current = todo.pop()
        found.append(current)
        todo.extend(parents.get(current, []))
    return found


def cmdline(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return ""


def peak_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def cpu_seconds(pid):
    """CPU time a live process has used so far, all its threads, in ns precision."""
    total = 0
    try:
        for task in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                total += int(f.read().split()[0])
    except OSError:
        pass
    return total / 1e9


def reap_all(pgid):
    """Ends the subject's process group and reaps every descendant, also
    those that left the group; any still running after that is killed."""
    try:
        os.killpg(pgid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    deadline = time.monotonic() + 5
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid != 0:
            continue
        if time.monotonic() > deadline:
            for child in descendants(os.getpid())[1:]:
                try:
                    os.kill(child, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            deadline = time.monotonic() + 5
        time.sleep(0.02)


def measure(spec):
    """Runs spec["cmd"] for spec["warmup"] + spec["seconds"] seconds.

    Processes alive both when the measured span starts and when it ends are
    long-lived (the tool, the shell, Wine's processes): what they use in the
    span counts, read from /proc. Everything else the run used is the
    short-lived descendants' (the loop's clear, date and sleep; the stand-in
    interpreter): what was reaped, less the long-lived processes' totals.
    spec["also"] lists processes outside the subject whose use in the span
    counts too (Wine's server and services). Returns
      window_cpu    CPU of the long-lived processes in the measured span;
      children_cpu  CPU of the short-lived ones over the whole run;
      peak_kib      VmHWM of the main process: the subject or, with
                    spec["main"], the descendant whose program name ends so;
      window        the measured span in seconds, and output_at_start, the
                    output's length when it began (a redirected subject).
    """
    set_subreaper(True)
    stdout = open(spec["stdout"], "wb") if spec.get("stdout") else None
    before = children_cpu()
    proc = subprocess.Popen(spec["cmd"], cwd=spec["cwd"], env=spec["env"], stdin=subprocess.DEVNULL,
                            stdout=stdout, stderr=subprocess.DEVNULL, start_new_session=True)

    def snapshot():
        # Orphans of the subject are this process's children now: search
        # from here, not from the subject.
        mine = [p for p in descendants(os.getpid()) if p != os.getpid()]
        return {p: cpu_seconds(p) for p in mine + list(spec["also"])}

    time.sleep(spec["warmup"])
    start = snapshot()
    started = time.monotonic()
    output_at_start = os.path.getsize(spec["stdout"]) if stdout else None
    time.sleep(spec["seconds"])
    end = snapshot()
    window = time.monotonic() - started
    main = proc.pid
    if spec.get("main"):
        named = [p for p in end if cmdline(p).split(" ")[0].endswith(spec["main"])]
        main = named[0] if named else None
    peak = peak_kib(main) if main else None
    reap_all(proc.pid)
    set_subreaper(False)
    proc.returncode = 0  # reaped above
    if stdout:
        stdout.close()
    total = children_cpu() - before
    window_cpu = sum(end[p] - start[p] for p in end if p in start)
    reaped_at_end = sum(end[p] for p in end if p not in spec["also"])
    return {"window_cpu": window_cpu, "children_cpu": max(0.0, total - reaped_at_end),
            "peak_kib": peak, "window": window, "output_at_start": output_at_start}


class Bench:
    def __init__(self, args):
        self.args = args
        self.root = tempfile.mkdtemp(prefix="st-bench-")
        self.bin = os.path.join(self.root, "bin")
        self.work = os.path.join(self.root, "work")
        os.mkdir(self.bin)
        os.mkdir(self.work)
        shutdown = os.path.join(self.bin, "shutdown")
        with open(shutdown, "w") as f:
            f.write(RECORDING_SHUTDOWN)
        os.chmod(shutdown, 0o755)
        self.tool = os.path.join(args.build, "shutdown_timer")
        self.interpreter = os.path.join(args.build, "tests", "fake_interpreter")
        self.socket = "st-bench-%d" % os.getpid()
        self.tmux_runs = 0

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def env(self, comspec=None, **extra):
        env = dict(os.environ)
        env.pop("COMSPEC", None)
        env["PATH"] = self.bin + os.pathsep + env.get("PATH", "/usr/bin:/bin")
        env["SHUTDOWN_LOG"] = os.path.join(self.root, "shutdown.log")
        env["FAKE_INTERPRETER_LOG"] = os.path.join(self.root, "interpreter.log")
        env["TZ"] = "UTC"
        env.setdefault("TERM", "xterm-256color")
        if comspec:
            env["COMSPEC"] = comspec
        env.update(extra)
        return env

    def timer(self, text):
        with open(os.path.join(self.work, "timer.txt"), "w") as f:
            f.write(text)

    # ---- CPU per cycle and peak memory ----

    def run_redirected(self, cmd, env, main=None, also=()):
        out = os.path.join(self.root, "stdout")
        result = measure({"cmd": cmd, "cwd": self.work, "env": env, "stdout": out, "main": main,
                          "also": list(also), "warmup": self.args.warmup,
                          "seconds": self.args.seconds})
        with open(out, "rb") as f:
            result["output"] = f.read()
        return result

    def run_in_tmux(self, cmd, env):
        spec_path = os.path.join(self.root, "spec.json")
        result_path = os.path.join(self.root, "result.json")
        if os.path.exists(result_path):
            os.remove(result_path)
        with open(spec_path, "w") as f:
            json.dump({"cmd": cmd, "cwd": self.work, "env": env, "also": [],
                       "warmup": self.args.warmup, "seconds": self.args.seconds,
                       "result": result_path}, f)
        inner = " ".join([sys.executable, os.path.abspath(__file__), "--inner", spec_path])
        # A server of its own for each run: a new session on the socket of a
        # server still ending would fail.
        self.tmux_runs += 1
        socket = "%s-%d" % (self.socket, self.tmux_runs)
        subprocess.run(["tmux", "-L", socket, "-f", os.devnull, "new-session", "-d",
                        "-x", "80", "-y", "24", inner], env=dict(env, LANG="C.UTF-8"), check=True)
        deadline = time.monotonic() + self.args.warmup + self.args.seconds + 30
        while not os.path.exists(result_path) and time.monotonic() < deadline:
            time.sleep(0.1)
        subprocess.run(["tmux", "-L", socket, "kill-server"], stderr=subprocess.DEVNULL)
        with open(result_path) as f:
            return json.load(f)

    def cost(self, name, runner, cmd, env, cycles_of=None, main=None, also=()):
        """CPU per cycle: the main process's CPU over the measured span per
        cycle in it, plus the CPU of its short-lived descendants per cycle
        over the whole run; and the main process's peak memory."""
        if runner == "tmux":
            run = self.run_in_tmux(cmd, env)
        else:
            run = self.run_redirected(cmd, env, main, also)
        if cycles_of:
            output = run["output"]
            window_cycles = cycles_of(output) - cycles_of(output[:run["output_at_start"]])
            all_cycles = cycles_of(output)
        else:  # one cycle a second
            window_cycles = run["window"]
            all_cycles = run["window"] + self.args.warmup
        per_cycle = None
        if window_cycles > 0 and all_cycles > 0:
            per_cycle = run["window_cpu"] / window_cycles + run["children_cpu"] / all_cycles
        return {"name": name, "runner": runner, "cycles": window_cycles,
                "cpu_per_cycle": per_cycle, "peak_kib": run["peak_kib"]}

    def costs(self):
        self.timer("24:00")  # never comes
        tool_env = self.env(LANG="C.UTF-8")
        loop = ["bash", "-c", SHELL_LOOP]
        rows = [
            self.cost("sleep (the floor)", "file", ["sleep", "3600"], self.env()),
            self.cost("shell loop", "file", loop, self.env(),
                      cycles_of=lambda out: out.count(b"UTC")),
            self.cost("shutdown_timer", "file", [self.tool], tool_env,
                      cycles_of=lambda out: out.count(b"\f")),
            self.cost("shutdown_timer, COMSPEC = stand-in", "file", [self.tool],
                      self.env(comspec=self.interpreter),
                      cycles_of=lambda out: out.count(b"<cls>")),
            self.cost("shell loop", "tmux", loop, self.env()),
            self.cost("shutdown_timer", "tmux", [self.tool], tool_env),
        ]
        return rows

    # ---- Delay from the target minute to the shutdown command ----

    def delay_run(self, command_for, margin, env):
        """One run; the delay in seconds, or None when it did not count."""
        log = env["FAKE_INTERPRETER_LOG"]
        if os.path.exists(log):
            os.remove(log)
        # Each run would otherwise start in the same phase of the second as
        # the last one ended: the tool's once-a-second checks would meet the
        # minute's start at the same point every time.
        time.sleep(random.random())
        now = time.time()
        begins = math.floor(now) + margin  # real time at which the target minute begins
        minute = (begins // 60 + 1) * 60  # that minute on the offset clock
        offset = minute - begins
        self.timer(time.strftime("%H:%M", time.gmtime(minute)))
        cmd = [shutil.which("faketime"), "-f", "+%ds" % offset] + command_for()
        proc = subprocess.run(cmd, cwd=self.work, env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=margin + 30)
        with open(log) as f:
            lines = f.read().splitlines()
        # It must have counted down at least once: started before the minute.
        if proc.returncode != 0 or lines[-1:] != [SHUTDOWN] or lines.count("cls") < 2:
            return None
        return os.stat(log).st_mtime_ns / 1e9 - begins

    def delays(self, name, command_for, margin, env):
        got, tries = [], 0
        while len(got) < self.args.runs and tries < 2 * self.args.runs:
            tries += 1
            delay = self.delay_run(command_for, margin, env)
            if delay is not None:
                got.append(delay)
        return {"name": name, "runs": len(got), "tries": tries,
                "median": statistics.median(got) if got else None,
                "max": max(got) if got else None}


class WineSide:
    """The Windows program under Wine, through the tests' launcher."""

    def __init__(self, bench, build):
        self.bench = bench
        self.tool = os.path.join(build, "shutdown_timer.exe")
        self.interpreter = os.path.join(build, "tests", "fake_interpreter.exe")
        self.launcher = os.path.join(REPO, "tests", "windows", "wine-run")
        # A prefix of its own, so that starting and stopping its server never
        # touches a test run's.
        self.prefix = os.path.join(REPO, "build", "bench-wineprefix")
        self.started = False

    def available(self):
        return all(os.path.exists(p) for p in (self.tool, self.interpreter, self.launcher))

    def env(self):
        return self.bench.env(WINEPREFIX=self.prefix)

    def command(self):
        def win(path):
            return "Z:" + os.path.abspath(path).replace("/", "\\")
        line = "set COMSPEC=%s&& set FAKE_INTERPRETER_LOG=%s&& %s" % (
            win(self.interpreter), win(os.path.join(self.bench.root, "interpreter.log")),
            win(self.tool))
        return [self.launcher, "cmd", "/c", line]

    def start(self):
        result = subprocess.run([self.launcher, "start"], env=self.env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, check=True)
        self.started = result.stdout.strip() == b"started"

    def stop(self):
        if self.started:
            subprocess.run([self.launcher, "stop"], env=self.env(), stdin=subprocess.DEVNULL)

    def processes(self):
        """The processes of this prefix outside any run: the Wine server and
        its services, whose CPU time counts too."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if ("WINEPREFIX=" + self.prefix).encode() in f.read().split(b"\0"):
                        found.append(int(entry))
            except OSError:
                pass
        return found

    def cost(self):
        self.bench.timer("24:00")
        return self.bench.cost("shutdown_timer.exe under Wine, COMSPEC = stand-in", "file",
                               self.command(), self.env(),
                               cycles_of=lambda out: out.count(b"<cls>"),
                               main="shutdown_timer.exe", also=self.processes())


def machine():
    model = platform.processor() or "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return "%d CPUs (nproc), %s, Linux %s" % (os.cpu_count(), model, platform.release())


def ms(seconds):
    return "-" if seconds is None else "%.3f ms" % (seconds * 1000)


def mib(kib):
    return "-" if kib is None else "%.2f MiB" % (kib / 1024)


def verdict(ok):
    return "met" if ok else "MISSED"


def table(costs, wine_cost, delays, args):
    loop = {r["runner"]: r for r in costs if r["name"] == "shell loop"}
    floor = next(r for r in costs if r["name"].startswith("sleep"))
    lines = [
        "Run %s on %s; %d s measured after %d s warm-up; %d delay runs each." % (
            datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), machine(), args.seconds,
            args.warmup, args.runs),
        "",
        "| subject | output | CPU per cycle | goal | | peak memory (VmHWM) | goal | |",
        "|---|---|---|---|---|---|---|---|",
    ]
    for row in costs + ([wine_cost] if wine_cost else []):
        cpu_goal = mem_goal = cpu_ok = mem_ok = ""
        # The goals are for the tool as it runs on Linux; with the stand-in
        # (and on Windows) each cycle starts an interpreter for "cls".
        is_tool = row["name"] == "shutdown_timer"
        base = loop.get(row["runner"])
        if is_tool and base and base["cpu_per_cycle"]:
            limit = base["cpu_per_cycle"] * CPU_SHARE_OF_LOOP
            cpu_goal = "<= %s (loop / 20)" % ms(limit)
            cpu_ok = verdict(row["cpu_per_cycle"] is not None and row["cpu_per_cycle"] <= limit)
        if is_tool and floor["peak_kib"]:
            limit = floor["peak_kib"] * MEMORY_FACTOR_OF_SLEEP
            mem_goal = "<= %s (sleep x 1.2)" % mib(limit)
            mem_ok = verdict(row["peak_kib"] is not None and row["peak_kib"] <= limit)
        output = {"file": "file", "tmux": "tmux terminal"}[row["runner"]]
        lines.append("| %s | %s | %s | %s | %s | %s | %s | %s |" % (
            row["name"], output, ms(row["cpu_per_cycle"]), cpu_goal, cpu_ok,
            mib(row["peak_kib"]), mem_goal, mem_ok))
    lines += ["", "| shutdown delay | runs | median | maximum | goal | |", "|---|---|---|---|---|---|"]
    for row in delays:
        ok = (row["median"] is not None and row["median"] <= DELAY_MEDIAN
              and row["max"] <= DELAY_MAX)
        lines.append("| %s | %d | %s | %s | median <= %.1f s, max <= %.1f s | %s |" % (
            row["name"], row["runs"],
            "-" if row["median"] is None else "%.3f s" % row["median"],
            "-" if row["max"] is None else "%.3f s" % row["max"],
            DELAY_MEDIAN, DELAY_MAX, verdict(ok) if "Wine" not in row["name"] else
            ("within" if ok else "outside") + " the native goal"))
    if not wine_cost:
        lines += ["", "Wine: not measured (%s)." % args.wine_note]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build", "default"),
                        help="native build with shutdown_timer and tests/fake_interpreter")
    parser.add_argument("--wine-build", default=os.path.join(REPO, "build", "windows-x64"))
    parser.add_argument("--wine", choices=["auto", "off"], default="auto")
    parser.add_argument("--seconds", type=int, default=15, help="measured span of each cost run")
    parser.add_argument("--warmup", type=int, default=3, help="span of the short cost run")
    parser.add_argument("--runs", type=int, default=20, help="delay runs for each program")
    parser.add_argument("--inner", help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.inner:  # inside tmux: measure, then write the result for the outer run
        with open(args.inner) as f:
            spec = json.load(f)
        result = measure(spec)
        with open(spec["result"] + ".part", "w") as f:
            json.dump(result, f)
        os.rename(spec["result"] + ".part", spec["result"])
        return

    for program in ("faketime", "tmux"):
        if shutil.which(program) is None:
            sys.exit("%s is missing: install the Debian package %s" % (program, program))
    bench = Bench(args)
    for path in (bench.tool, bench.interpreter):
        if not os.path.exists(path):
            sys.exit("%s is missing: build it first (cmake --preset default && "
                     "cmake --build --preset default)" % path)
    wine = WineSide(bench, args.wine_build)
    args.wine_note = "--wine off"
    if args.wine == "auto" and not wine.available():
        args.wine_note = "no Windows build in %s" % args.wine_build
    use_wine = args.wine == "auto" and wine.available()
    try:
        print("measuring CPU and memory...", file=sys.stderr)
        costs = bench.costs()
        print("measuring the shutdown delay...", file=sys.stderr)
        delays = [bench.delays("shutdown_timer (native)", lambda: [bench.tool], 2,
                               bench.env(comspec=bench.interpreter))]
        wine_cost = None
        if use_wine:
            print("measuring under Wine...", file=sys.stderr)
            wine.start()
            try:
                wine_cost = wine.cost()
                # Wine takes about a second to start the program: more margin.
                delays.append(bench.delays("shutdown_timer.exe under Wine", wine.command, 5,
                                           wine.env()))
            finally:
                wine.stop()
        print(table(costs, wine_cost, delays, args))
    finally:
        bench.close()


if __name__ == "__main__":
    main()
