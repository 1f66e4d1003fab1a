#!/usr/bin/env python3
"""End-to-end tests of the real shutdown_timer binary.

Nothing here can power the machine off. Every run names the stand-in
interpreter in COMSPEC, which only records the command lines it is given and
prints them as markers ("<cls>") into the same standard output; runs without
COMSPEC find a recording `shutdown` first on PATH. The clock is set with
libfaketime, whose speed factor also shortens the one-second pauses.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

TOOL = None
INTERPRETER = None

SHUTDOWN_LABEL = bytes.fromhex("8356 8383 8362 8367 835F 8345 8393 8E9E 8D8F")
NOW_LABEL = bytes.fromhex("8CBB8DDD8E9E8D8F")
REMAINING_LABEL = bytes.fromhex("8E6382E88E9E8AD4")
FRAME = re.compile(
    re.escape(SHUTDOWN_LABEL) + rb" (-?\d\d):(-?\d\d):00\r\n"
    + re.escape(NOW_LABEL) + rb" (\d\d):(\d\d):(\d\d)\r\n"
    + re.escape(REMAINING_LABEL) + rb" (-?\d\d):(-?\d\d):(-?\d\d)\Z")
MARKER = re.compile(rb"<([^<>]*)>")

SETUP = b"<cls><COLOR B>"
SHUTDOWN = "shutdown -s -t 1"
RECORDING_SHUTDOWN = """#!/bin/sh
echo "$*" >> "$SHUTDOWN_LOG"
"""


def remaining(hour, minute, h, m, s):
    """The time from h:m:s to the next hour:minute:00, for in-range targets."""
    left = ((hour * 60 + minute) * 60 - (h * 60 + m) * 60 - s) % 86400
    return left // 3600, left // 60 % 60, left % 60


class Run:
    def __init__(self, status, output, commands, shutdowns, errors):
        self.status = status          # exit status, or the stopping signal as a negative number
        self.output = output          # bytes of standard output
        self.commands = commands      # command lines the stand-in interpreter received
        self.shutdowns = shutdowns    # argument lines the recording `shutdown` received
        self.errors = errors          # bytes of standard error


class Workspace:
    """A working folder with timer.txt, a recording `shutdown` and the logs."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="st-e2e-")
        self.bin = os.path.join(self.root, "bin")
        os.mkdir(self.bin)
        shutdown = os.path.join(self.bin, "shutdown")
        with open(shutdown, "w") as f:
            f.write(RECORDING_SHUTDOWN)
        os.chmod(shutdown, 0o755)
        self.interpreter_log = os.path.join(self.root, "interpreter.log")
        self.shutdown_log = os.path.join(self.root, "shutdown.log")
        self.work = os.path.join(self.root, "work")
        os.mkdir(self.work)

    def timer(self, contents):
        with open(os.path.join(self.work, "timer.txt"), "wb") as f:
            f.write(contents)

    def environment(self, comspec=True, shutdown_on_path=True):
        env = dict(os.environ)
        env.pop("COMSPEC", None)
        if shutdown_on_path:
            env["PATH"] = self.bin + os.pathsep + env.get("PATH", "/usr/bin:/bin")
        else:
            env["PATH"] = self.work  # no `shutdown` anywhere on it
        env["SHUTDOWN_LOG"] = self.shutdown_log
        env["FAKE_INTERPRETER_LOG"] = self.interpreter_log
        env["TZ"] = "UTC"
        if comspec:
            env["COMSPEC"] = INTERPRETER
        return env

    def command(self, fake_time, args):
        command = [TOOL] + list(args)
        if fake_time:
            command = [shutil.which("faketime"), "-f", fake_time] + command
        return command

    def logs(self):
        def lines(path):
            if not os.path.exists(path):
                return []
            with open(path) as f:
                return f.read().splitlines()
        return lines(self.interpreter_log), lines(self.shutdown_log)

    def run(self, fake_time=None, comspec=True, args=(), stop_after=None, pipe=False,
            shutdown_on_path=True):
        """Runs the tool to its end, or stops it from outside after stop_after seconds."""
        for log in (self.interpreter_log, self.shutdown_log):
            if os.path.exists(log):
                os.remove(log)
        out_path = os.path.join(self.root, "stdout")
        err_path = os.path.join(self.root, "stderr")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            proc = subprocess.Popen(self.command(fake_time, args), cwd=self.work,
                                    env=self.environment(comspec, shutdown_on_path),
                                    stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE if pipe else out, stderr=err,
                                    start_new_session=True)
            try:
                if pipe:
                    piped, _ = proc.communicate(timeout=stop_after or 30)
                else:
                    proc.wait(timeout=stop_after or 30)
            except subprocess.TimeoutExpired:
                if stop_after is None:
                    raise
                os.killpg(proc.pid, signal.SIGTERM)
                piped, _ = proc.communicate() if pipe else (None, None)
            finally:
                if proc.poll() is None:
                    os.killpg(proc.pid, signal.SIGKILL)
                    proc.wait()
        if not pipe:
            with open(out_path, "rb") as f:
                piped = f.read()
        with open(err_path, "rb") as f:
            errors = f.read()
        commands, shutdowns = self.logs()
        return Run(proc.returncode, piped, commands, shutdowns, errors)

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


def split_cycles(output):
    """The output between the interpreter's markers: [(marker, text after it)]."""
    parts = MARKER.split(output)
    head, rest = parts[0], parts[1:]
    return head, [(rest[i].decode(), rest[i + 1]) for i in range(0, len(rest), 2)]


class E2E(unittest.TestCase):
    def setUp(self):
        self.ws = Workspace()

    def tearDown(self):
        self.ws.close()

    def assert_frames(self, cycles, hour, minute):
        """Every text after a "cls" is one frame with consistent times; returns the clock times."""
        times = []
        for marker, text in cycles:
            self.assertEqual(marker, "cls")
            match = FRAME.match(text)
            self.assertIsNotNone(match, text)
            fields = [int(x) for x in match.groups()]
            self.assertEqual(fields[0:2], [hour, minute])
            if 0 <= hour < 24 and 0 <= minute < 60:
                self.assertEqual(tuple(fields[5:8]), remaining(hour, minute, *fields[2:5]))
            times.append(tuple(fields[2:5]))
        seconds = [(h * 60 + m) * 60 + s for h, m, s in times]
        steps = [(b - a) % 86400 for a, b in zip(seconds, seconds[1:])]
        self.assertTrue(all(1 <= step <= 3 for step in steps), times)
        return times

    def test_unreadable_file(self):
        cases = [
            ("missing file", None),
            ("a directory of that name", "dir"),
        ]
        for behaviour, kind in cases:
            with self.subTest(behaviour):
                if kind == "dir":
                    os.mkdir(os.path.join(self.ws.work, "timer.txt"))
                run = self.ws.run()
                self.assertEqual(run.output, SETUP + b"\aFILE READ ERROR!!\r\n")
                self.assertEqual(run.status, 1)
                self.assertEqual(run.commands, ["cls", "COLOR B"])

    def test_format_errors(self):
        for contents in [b"0730", b":30", b"07:", b" 07:30", b"\xef\xbb\xbf07:30", b"7: 30", b""]:
            with self.subTest(contents=contents):
                self.ws.timer(contents)
                run = self.ws.run()
                self.assertEqual(run.output, SETUP + b"FILE FORMAT ERROR!!\r\n")
                self.assertEqual(run.status, 1)
                self.assertEqual(run.commands, ["cls", "COLOR B"])

    def test_countdown_reaches_the_target(self):
        # A pipe and a file must carry the same bytes.
        for pipe in (False, True):
            with self.subTest(pipe=pipe):
                self.ws.timer(b"22:00\r\n")
                run = self.ws.run(fake_time="@2026-12-11 21:59:56 x10", pipe=pipe)
                self.assertEqual(run.status, 0)
                self.assertTrue(run.output.startswith(SETUP), run.output)
                self.assertTrue(run.output.endswith(b"<cls><" + SHUTDOWN.encode() + b">"), run.output)
                head, cycles = split_cycles(run.output[len(SETUP):])
                # The first frame follows the set-up; each later one follows a "cls";
                # the cycle that finds the target prints nothing.
                frames = [("cls", head)] + cycles[:-2]
                times = self.assert_frames(frames, 22, 0)
                self.assertGreaterEqual(len(times), 2)
                self.assertEqual(times[0][:2], (21, 59))
                self.assertEqual(cycles[-2], ("cls", b""))
                self.assertEqual(run.commands,
                                 ["cls", "COLOR B"] + ["cls"] * len(times) + [SHUTDOWN])
                self.assertEqual(run.shutdowns, [])

    def test_started_inside_the_target_minute(self):
        # Arguments are ignored.
        for args in [(), ("--help", "07:30")]:
            with self.subTest(args=args):
                self.ws.timer(b"22:00")
                run = self.ws.run(fake_time="@2026-12-11 22:00:40", args=args)
                self.assertEqual(run.output, SETUP + b"<" + SHUTDOWN.encode() + b">")
                self.assertEqual(run.status, 0)
                self.assertEqual(run.commands, ["cls", "COLOR B", SHUTDOWN])

    def test_target_that_never_fires_until_stopped(self):
        self.ws.timer(b"24:00")
        run = self.ws.run(fake_time="@2026-12-11 23:59:57 x10", stop_after=1.0)
        self.assertEqual(run.status, -signal.SIGTERM)
        head, cycles = split_cycles(run.output[len(SETUP):])
        # The frame after the last "cls" may still have been in the output
        # buffer when the process was stopped.
        self.assert_frames([("cls", head)] + cycles[:-1], 24, 0)
        self.assertIn(b" 00:00:0", run.output, "the clock passed midnight")
        self.assertIn(REMAINING_LABEL + b" 24:00:00", run.output)
        self.assertNotIn(SHUTDOWN, run.commands)
        self.assertEqual(run.shutdowns, [])

    def test_without_an_interpreter_redirected(self):
        # With COMSPEC unset the tool carries the lines out itself: a form feed
        # for "cls" when output is redirected, nothing for "COLOR B", and the
        # system's `shutdown` found on PATH (here, a recording one).
        self.ws.timer(b"22:00")
        run = self.ws.run(fake_time="@2026-12-11 22:00:10", comspec=False)
        self.assertEqual(run.output, b"\f")
        self.assertEqual(run.status, 0)
        self.assertEqual(run.shutdowns, ["-P now"])
        os.remove(os.path.join(self.ws.work, "timer.txt"))
        run = self.ws.run(comspec=False)
        self.assertEqual(run.output, b"\f\aFILE READ ERROR!!\r\n")
        self.assertEqual(run.status, 1)
        self.assertEqual(run.shutdowns, [])

    def test_without_an_interpreter_or_shutdown_program(self):
        # The result is still ignored, but the failure is named on stderr.
        self.ws.timer(b"22:00")
        run = self.ws.run(fake_time="@2026-12-11 22:00:10", comspec=False, shutdown_on_path=False)
        self.assertEqual(run.output, b"\f")
        self.assertEqual(run.status, 0)
        self.assertIn(b"shutdown: ", run.errors)


class Terminal(unittest.TestCase):
    """The tool in a real terminal (tmux), COMSPEC unset, on a UTF-8 locale."""

    LABEL = "\u30b7\u30e3\u30c3\u30c8\u30c0\u30a6\u30f3\u6642\u523b"  # the shutdown-time label

    def setUp(self):
        self.ws = Workspace()
        self.socket = "st-e2e-%d" % os.getpid()

    def tearDown(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], stderr=subprocess.DEVNULL)
        self.ws.close()

    def tmux(self, *args):
        env = dict(os.environ, LANG="C.UTF-8")
        return subprocess.run(["tmux", "-L", self.socket, "-u", "-f", os.devnull] + list(args),
                              env=env, check=True, capture_output=True).stdout.decode("utf-8")

    def test_clears_each_second_shows_japanese_in_colour_and_powers_off(self):
        self.ws.timer(b"22:00")
        env = self.ws.environment(comspec=False)
        command = " ".join(
            ["env", "-u", "COMSPEC", "LANG=C.UTF-8", "TZ=UTC",
             "PATH=" + env["PATH"], "SHUTDOWN_LOG=" + env["SHUTDOWN_LOG"],
             "faketime", "-f", "'@2026-12-11 21:59:56 x2'", TOOL,
             "; echo EXIT=$?; sleep 60"])
        self.tmux("new-session", "-d", "-x", "60", "-y", "12", "-c", self.ws.work, command)
        screens = []
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            screen = self.tmux("capture-pane", "-p", "-e")
            history = self.tmux("capture-pane", "-p", "-S", "-")
            screens.append(screen)
            # One frame on the screen and in the scrollback, never two.
            self.assertLessEqual(history.count(self.LABEL), 1, history)
            self.assertNotIn("not found", history)
            if "EXIT=" in screen:
                break
            time.sleep(0.05)
        final = screens[-1]
        self.assertIn("EXIT=0", final)
        frames = {s for s in screens if self.LABEL in s}
        self.assertGreaterEqual(len(frames), 2, "the frame is redrawn")
        for frame in frames:
            self.assertIn("\x1b[96m", frame)  # bright cyan text
            self.assertIn("\x1b[40m", frame)  # on black
            self.assertRegex(frame, "\u73fe\u5728\u6642\u523b 21:59:5\\d")  # the current-time label
            self.assertRegex(frame, "\u6b8b\u308a\u6642\u9593 00:00:0\\d")  # the remaining-time label
        self.assertEqual(self.ws.logs()[1], ["-P now"])


def main():
    global TOOL, INTERPRETER
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--interpreter", required=True)
    args, rest = parser.parse_known_args()
    TOOL = os.path.abspath(args.tool)
    INTERPRETER = os.path.abspath(args.interpreter)
    if shutil.which("faketime") is None:
        sys.exit("faketime is missing: install the Debian package faketime")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
