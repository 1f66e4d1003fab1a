#!/usr/bin/env python3
"""Hostile timer.txt files, end to end on the real binary.

Each case has one clear outcome: the read error, the format error, or the
target read and the shutdown command issued at once (the clock is set inside
the target minute). Whatever the file, the tool never crashes, never hangs and
writes nothing to standard error.

As everywhere in the end-to-end tests, COMSPEC names the stand-in interpreter,
so nothing can power the machine off.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_e2e as e2e  # noqa: E402  (the shared Workspace)

READ_ERROR = e2e.SETUP + b"\aFILE READ ERROR!!\r\n"
FORMAT_ERROR = e2e.SETUP + b"FILE FORMAT ERROR!!\r\n"
SHUTS_DOWN = e2e.SETUP + b"<" + e2e.SHUTDOWN.encode() + b">"
OUTCOMES = {READ_ERROR: (1, ["cls", "COLOR B"]),
            FORMAT_ERROR: (1, ["cls", "COLOR B"]),
            SHUTS_DOWN: (0, ["cls", "COLOR B", e2e.SHUTDOWN])}
NAMES = {READ_ERROR: "read error", FORMAT_ERROR: "format error", SHUTS_DOWN: "shutdown"}

INSIDE_0730 = "@2026-12-11 07:30:10"  # the clock for files that hold 07:30
SPARSE_SIZE = 2362232012  # 2.2 GiB, past both 2^31 and 2^32 / 2
LINE = b"07:30\r\n"


def mem_available():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemAvailable:"):
                return int(line.split()[1]) * 1024
    return 0


class HostileWorkspace(e2e.Workspace):
    """A Workspace that can run the tool as another user.

    The tool and the interpreter are copied into the workspace, so that the
    other user reaches them wherever the build lives.
    """

    def __init__(self, as_user=None):
        super().__init__()
        self.prefix = []
        self.tool = e2e.TOOL
        self.interpreter = e2e.INTERPRETER
        if as_user:
            tools = os.path.join(self.root, "tools")
            os.mkdir(tools)
            self.tool = shutil.copy(e2e.TOOL, tools)
            self.interpreter = shutil.copy(e2e.INTERPRETER, tools)
            for path in (tools, self.work, self.tool, self.interpreter):
                os.chmod(path, 0o755)
            os.chmod(self.root, 0o1777)  # the interpreter's log is written here
            self.prefix = ["setpriv", "--reuid=" + as_user[0], "--regid=" + as_user[1],
                           "--clear-groups", "--"]

    def path(self):
        return os.path.join(self.work, "timer.txt")

    def environment(self, *args, **kwargs):
        env = super().environment(*args, **kwargs)
        if "COMSPEC" in env:
            env["COMSPEC"] = self.interpreter
        return env

    def command(self, fake_time, args):
        command = [self.tool] + list(args)
        if fake_time:
            command = [shutil.which("faketime"), "-f", fake_time] + command
        return self.prefix + command


class Hostile(unittest.TestCase):
    def setUp(self):
        self.ws = HostileWorkspace()

    def tearDown(self):
        self.ws.close()

    def assert_outcome(self, run, expected):
        """The run ended in one of the expected outcomes, cleanly."""
        self.assertIn(run.output, expected,
                      "got %r, expected %s" % (run.output[:200], [NAMES[e] for e in expected]))
        status, commands = OUTCOMES[run.output]
        self.assertEqual(run.status, status)
        self.assertEqual(run.commands, commands)
        self.assertEqual(run.errors, b"")

    def test_files_that_cannot_be_read(self):
        def directory(path):
            os.mkdir(path)

        def fifo(path):
            os.mkfifo(path)  # opening must not wait for a writer

        cases = [
            ("a directory of that name", directory),
            ("a dangling symbolic link", lambda p: os.symlink("gone.txt", p)),
            ("a symbolic link to itself", lambda p: os.symlink("timer.txt", p)),
            ("a FIFO", fifo),
            ("a link to an endless device", lambda p: os.symlink("/dev/zero", p)),
        ]
        for behaviour, make in cases:
            with self.subTest(behaviour):
                path = self.ws.path()
                make(path)
                self.assert_outcome(self.ws.run(stop_after=10), [READ_ERROR])
                if os.path.isdir(path) and not os.path.islink(path):
                    os.rmdir(path)
                else:
                    os.remove(path)

    def test_file_without_read_permission(self):
        # Root reads any file, so as root the tool runs as an unprivileged
        # user; anyone else cannot read a mode-000 file of their own.
        root = os.geteuid() == 0
        cases = [
            ("mode 000", 0o000, False),
            ("owned by root, mode 0600, read by another user", 0o600, True),
        ]
        for behaviour, mode, needs_root in cases:
            with self.subTest(behaviour):
                if needs_root and not root:
                    self.skipTest("needs root to hand the file to another owner")
                ws = HostileWorkspace(as_user=("nobody", "nogroup") if root else None)
                try:
                    ws.timer(b"07:30")
                    os.chmod(ws.path(), mode)
                    self.assert_outcome(ws.run(fake_time=INSIDE_0730), [READ_ERROR])
                finally:
                    ws.close()

    def test_contents_that_are_no_time(self):
        with open(e2e.TOOL, "rb") as f:
            executable = f.read()
        png = bytes.fromhex("89504e470d0a1a0a0000000d49484452") + bytes(range(256)) * 16
        cases = [
            ("an executable's bytes", executable),
            ("an image's bytes", png),
            ("an empty file", b""),
            ("only CR bytes", b"\r" * 10000),
            ("a NUL byte before the colon", b"07\x00:30"),
            ("only Ctrl-Z", b"\x1a"),
        ]
        for behaviour, contents in cases:
            with self.subTest(behaviour):
                self.ws.timer(contents)
                self.assert_outcome(self.ws.run(fake_time=INSIDE_0730), [FORMAT_ERROR])

    def test_time_followed_by_every_byte_value(self):
        self.ws.timer(b"07:30" + bytes(range(256)) * 4)
        self.assert_outcome(self.ws.run(fake_time=INSIDE_0730), [SHUTS_DOWN])

    def test_sparse_file_past_two_gibibytes(self):
        # The text is counted, then loaded into one block of its size. With
        # the memory for it the time is read; without, the block cannot be
        # had and that is a read error. It is never a crash.
        with open(self.ws.path(), "wb") as f:
            f.write(b"07:30")
            f.truncate(SPARSE_SIZE)
        expected = [SHUTS_DOWN] if mem_available() > 2 * SPARSE_SIZE else [SHUTS_DOWN, READ_ERROR]
        started = time.monotonic()
        run = self.ws.run(fake_time=INSIDE_0730, stop_after=600)
        sys.stderr.write("[%.1f s to read %.1f GiB twice] " %
                         (time.monotonic() - started, SPARSE_SIZE / 2**30))
        self.assert_outcome(run, expected)

    def test_file_growing_while_it_is_read(self):
        # A second process appends lines of "07:30" at a steady rate from
        # the moment the tool starts until after it ends, so the file grows
        # during the counting pass and between it and the loading pass.
        # Starting from an empty file the counting pass may still see
        # nothing: that file holds no time.
        cases = [
            ("starts with the time", LINE, [SHUTS_DOWN]),
            ("starts empty", b"", [SHUTS_DOWN, FORMAT_ERROR]),
        ]
        for behaviour, start, expected in cases:
            with self.subTest(behaviour):
                self.ws.timer(start)
                appender = subprocess.Popen(
                    [sys.executable, "-c", APPENDER, self.ws.path(), str(32 << 20), str(256 << 20)],
                    stdout=subprocess.PIPE)
                try:
                    appender.stdout.readline()  # wait until it starts writing
                    run = self.ws.run(fake_time=INSIDE_0730, stop_after=60)
                    still_growing = appender.poll() is None
                finally:
                    appender.kill()
                    appender.wait()
                    appender.stdout.close()
                self.assertTrue(still_growing, "the file stopped growing before the tool ended")
                self.assertGreater(os.path.getsize(self.ws.path()), len(start))
                self.assert_outcome(run, expected)
                os.remove(self.ws.path())


# Appends whole "07:30\r\n" lines at `rate` bytes a second until `cap` bytes.
APPENDER = r"""
import os, sys, time
path, rate, cap = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
chunk = b"07:30\r\n" * (rate // 100 // 7)
fd = os.open(path, os.O_WRONLY | os.O_APPEND)
written, started = 0, time.monotonic()
print("writing", flush=True)
while written < cap:
    written += os.write(fd, chunk)
    ahead = written / rate - (time.monotonic() - started)
    if ahead > 0:
        time.sleep(ahead)
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--interpreter", required=True)
    args, rest = parser.parse_known_args()
    e2e.TOOL = os.path.abspath(args.tool)
    e2e.INTERPRETER = os.path.abspath(args.interpreter)
    if shutil.which("faketime") is None:
        sys.exit("faketime is missing: install the Debian package faketime")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
