#!/usr/bin/env python3
"""End-to-end tests of the real shutdown_timer binary.

Nothing here can power the machine off. Every run names the stand-in
interpreter in COMSPEC, which only records the command lines it is given and
prints them as markers ("<cls>") into the same standard output; runs without
COMSPEC find a recording `shutdown` first on PATH. The clock is set with
libfaketime, whose speed factor also shortens the one-second pauses.

With --wine the same cases run the Windows program under Wine, started
through Wine's own cmd, which first sets COMSPEC to the stand-in (also a
Windows program): Wine ignores the Unix value. Cases that only exist on POSIX
systems (COMSPEC unset, the terminal) are skipped there. With --native-tool
and --native-interpreter as well, every run is made by both programs and
they must behave the same: the same exit status, interpreter command lines
and standard output, byte for byte; where the clock runs fast and the two
see different seconds, the same after the clock digits are set aside.
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
RUNNER = None    # how the tool is started; the native build when not set
COMPARED = None  # the native build every run is compared with, if any

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


class Native:
    """Starts the tool itself, with COMSPEC naming the stand-in interpreter."""

    posix = True
    startup = 0.0  # real seconds the tool may take to start

    def __init__(self, tool, interpreter):
        self.tool = tool
        self.interpreter = interpreter

    def command(self, ws, args):
        return [self.tool] + list(args)

    def environment(self, env, comspec):
        if comspec:
            env["COMSPEC"] = self.interpreter
        return env


def windows_path(path):
    """The path as a Windows program under Wine sees it (Z: is the root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    """Starts the Windows program under Wine, through Wine's own cmd.

    `launcher` is tests/windows/wine-run, which holds the tests' Wine prefix.
    Its `start` keeps a Wine server running with Wine's background processes,
    so that none of them is started later holding a pipe of a test open.
    """

    posix = False
    startup = 1.0

    def __init__(self, tool, interpreter, launcher):
        self.tool = tool
        self.interpreter = interpreter
        self.launcher = launcher
        self.started = False

    def start(self):
        result = subprocess.run([self.launcher, "start"], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, check=True)
        self.started = result.stdout.strip() == b"started"

    def stop(self):
        if self.started:
            subprocess.run([self.launcher, "stop"], stdin=subprocess.DEVNULL, check=True)

    def command(self, ws, args):
        line = "set COMSPEC=%s&& set FAKE_INTERPRETER_LOG=%s&& %s" % (
            windows_path(self.interpreter), windows_path(ws.interpreter_log),
            " ".join([windows_path(self.tool)] + list(args)))
        return [self.launcher, "cmd", "/c", line]

    def environment(self, env, comspec):
        return env


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
        self.runner = RUNNER or Native(TOOL, INTERPRETER)

    def timer(self, contents):
        with open(os.path.join(self.work, "timer.txt"), "wb") as f:
            f.write(contents)

    def environment(self, comspec=True, shutdown_on_path=True, zone="UTC"):
        env = dict(os.environ)
        env.pop("COMSPEC", None)
        if shutdown_on_path:
            env["PATH"] = self.bin + os.pathsep + env.get("PATH", "/usr/bin:/bin")
        else:
            env["PATH"] = self.work  # no `shutdown` anywhere on it
        env["SHUTDOWN_LOG"] = self.shutdown_log
        env["FAKE_INTERPRETER_LOG"] = self.interpreter_log
        env["TZ"] = zone
        return self.runner.environment(env, comspec)

    def command(self, fake_time, args):
        command = self.runner.command(self, args)
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
            shutdown_on_path=True, zone="UTC"):
        """Runs the tool to its end, or stops it from outside after stop_after seconds.

        When a native build is to be compared, it makes the same run next, and
        any difference between the two fails the test.
        """
        run = self.run_once(fake_time, comspec, args, stop_after, pipe, shutdown_on_path, zone)
        if COMPARED is not None:
            runner, self.runner = self.runner, COMPARED
            try:
                native = self.run_once(fake_time, comspec, args, stop_after, pipe, shutdown_on_path,
                                       zone)
            finally:
                self.runner = runner
            timed = stop_after is not None or (fake_time is not None and " x" in fake_time)
            assert_same_behaviour(run, native, timed, stopped=stop_after is not None)
        return run

    def run_once(self, fake_time, comspec, args, stop_after, pipe, shutdown_on_path, zone):
        if stop_after is not None:
            stop_after += self.runner.startup
        for log in (self.interpreter_log, self.shutdown_log):
            if os.path.exists(log):
                os.remove(log)
        out_path = os.path.join(self.root, "stdout")
        err_path = os.path.join(self.root, "stderr")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            if pipe == "closed":
                # A pipe whose reader has already gone away.
                reader, stdout = os.pipe()
                os.close(reader)
            else:
                stdout = subprocess.PIPE if pipe else out
            proc = subprocess.Popen(self.command(fake_time, args), cwd=self.work,
                                    env=self.environment(comspec, shutdown_on_path, zone=zone),
                                    stdin=subprocess.DEVNULL, stdout=stdout, stderr=err,
                                    start_new_session=True)
            if pipe == "closed":
                os.close(stdout)
                pipe = False
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


CLOCK_DIGITS = re.compile(
    b"(" + re.escape(NOW_LABEL) + b"|" + re.escape(REMAINING_LABEL) + rb") -?\d\d:-?\d\d:-?\d\d")


def without_repeats(items):
    return [item for i, item in enumerate(items) if i == 0 or item != items[i - 1]]


def timing_free(run, stopped):
    """What a run with a fast clock shows whichever seconds it saw: the
    frames with their clock digits set aside and repeats merged, and the
    command lines with repeats merged."""
    head, cycles = split_cycles(CLOCK_DIGITS.sub(rb"\1 hh:mm:ss", run.output))
    if stopped and cycles and cycles[-1][1] == b"":
        cycles.pop()  # the frame after the last "cls" may still have been buffered
    return run.status, head, without_repeats(cycles), without_repeats(run.commands)


def assert_same_behaviour(windows, native, timed, stopped):
    if timed:
        got, expected = timing_free(windows, stopped), timing_free(native, stopped)
    else:
        got = windows.status, windows.output, windows.commands, windows.errors
        expected = native.status, native.output, native.commands, native.errors
    if got != expected:
        raise AssertionError("the Windows and the native program differ%s:\n"
                             "  Windows: %r\n  native:  %r"
                             % (" (clock digits set aside)" if timed else "", got, expected))


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

    def test_countdown_at_real_speed_byte_for_byte(self):
        # Without a speed factor the readings are a second apart, each one a
        # little later in its second, so the whole output is known in advance.
        self.ws.timer(b"22:00")
        run = self.ws.run(fake_time="@2026-12-11 21:59:58")
        frame = (SHUTDOWN_LABEL + b" 22:00:00\r\n" + NOW_LABEL + b" 21:59:%02d\r\n"
                 + REMAINING_LABEL + b" 00:00:%02d")
        self.assertEqual(run.output, SETUP + frame % (58, 2) + b"<cls>" + frame % (59, 1)
                         + b"<cls><" + SHUTDOWN.encode() + b">")
        self.assertEqual(run.status, 0)
        self.assertEqual(run.commands, ["cls", "COLOR B", "cls", "cls", SHUTDOWN])

    def test_reader_gone_before_the_target(self):
        # Output that cannot be delivered is lost, but the countdown goes on
        # and the shutdown still comes.
        self.ws.timer(b"22:00")
        run = self.ws.run(fake_time="@2026-12-11 21:59:58", pipe="closed")
        self.assertEqual(run.status, 0)
        self.assertEqual(run.commands, ["cls", "COLOR B", "cls", "cls", SHUTDOWN])

    def test_started_inside_the_target_minute(self):
        # Arguments are ignored.
        for args in [(), ("--help", "07:30")]:
            with self.subTest(args=args):
                self.ws.timer(b"22:00")
                run = self.ws.run(fake_time="@2026-12-11 22:00:40", args=args)
                self.assertEqual(run.output, SETUP + b"<" + SHUTDOWN.encode() + b">")
                self.assertEqual(run.status, 0)
                self.assertEqual(run.commands, ["cls", "COLOR B", SHUTDOWN])

    def test_local_time_in_any_time_zone(self):
        # libfaketime reads the instant in the zone TZ names, so each run starts
        # inside the target minute, local time, and shuts down at once.
        cases = [
            ("zone name", "Asia/Tokyo", "@2026-12-11 22:00:40"),
            ("zone name, winter", "America/New_York", "@2026-12-11 22:00:40"),
            ("zone name, summer time", "Europe/Berlin", "@2026-07-01 22:00:40"),
            ("offset form", "JST-9", "@2026-12-11 22:00:40"),
            ("offset form with a quoted name", "<+09>-9", "@2026-12-11 22:00:40"),
        ]
        for behaviour, zone, instant in cases:
            with self.subTest(behaviour, zone=zone):
                self.ws.timer(b"22:00")
                # A wrong clock would count down: stopped then, and shown.
                run = self.ws.run(fake_time=instant, zone=zone, stop_after=3)
                self.assertEqual(run.output, SETUP + b"<" + SHUTDOWN.encode() + b">")
                self.assertEqual(run.status, 0)

    def test_target_that_never_fires_until_stopped(self):
        # At real speed every second is read, midnight among them, however
        # long each cycle's interpreter takes to start (under Wine, a fast
        # clock skips seconds). Stopped after the "cls" that flushes the
        # midnight frame.
        self.ws.timer(b"24:00")
        run = self.ws.run(fake_time="@2026-12-11 23:59:59", stop_after=2.5)
        self.assertEqual(run.status, -signal.SIGTERM)
        head, cycles = split_cycles(run.output[len(SETUP):])
        # The frame after the last "cls" may still have been in the output
        # buffer when the process was stopped.
        self.assert_frames([("cls", head)] + cycles[:-1], 24, 0)
        self.assertIn(b" 00:00:0", run.output, "the clock passed midnight")
        self.assertIn(REMAINING_LABEL + b" 24:00:00", run.output)
        self.assertNotIn(SHUTDOWN, run.commands)
        self.assertEqual(run.shutdowns, [])

    def skip_unless_posix(self):
        if not self.ws.runner.posix:
            self.skipTest("COMSPEC unset and a `shutdown` on PATH are the POSIX build's own; "
                          "Windows always has an interpreter")

    def test_without_an_interpreter_redirected(self):
        self.skip_unless_posix()
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
        self.skip_unless_posix()
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
        if RUNNER is not None and not RUNNER.posix:
            self.skipTest("a POSIX terminal through tmux; the Windows console is another device")
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
    global TOOL, INTERPRETER, RUNNER, COMPARED
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--interpreter", required=True)
    parser.add_argument("--wine", metavar="LAUNCHER",
                        help="run the Windows program under Wine through LAUNCHER (wine-run)")
    parser.add_argument("--native-tool", help="the native build to compare every run with")
    parser.add_argument("--native-interpreter", help="its stand-in interpreter")
    args, rest = parser.parse_known_args()
    TOOL = os.path.abspath(args.tool)
    INTERPRETER = os.path.abspath(args.interpreter)
    if shutil.which("faketime") is None:
        sys.exit("faketime is missing: install the Debian package faketime")
    if args.wine:
        RUNNER = Wine(TOOL, INTERPRETER, os.path.abspath(args.wine))
    if args.native_tool or args.native_interpreter:
        if not (args.native_tool and args.native_interpreter and args.wine):
            parser.error("--native-tool and --native-interpreter go together, with --wine")
        for path in (args.native_tool, args.native_interpreter):
            if not os.access(path, os.X_OK):
                sys.exit("%s is missing: build the native preset (default) first" % path)
        COMPARED = Native(os.path.abspath(args.native_tool),
                          os.path.abspath(args.native_interpreter))
    if RUNNER is not None:
        RUNNER.start()
    try:
        result = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, exit=False).result
    finally:
        if RUNNER is not None:
            RUNNER.stop()
    sys.exit(not result.wasSuccessful())


if __name__ == "__main__":
    main()
