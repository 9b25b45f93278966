#!/usr/bin/env python3
"""The progress line of tivarne, seen from a real terminal (a pseudo-terminal).

Usage: terminal_progress.py <tivarne-binary>

Runs one analysis three times on the same generated data set:
  1. standard output and standard error redirected (as in the e2e cases):
     standard error must stay empty;
  2. standard output and standard error on one terminal, as in an
     interactive session: progress lines are drawn, each erased again, and
     with them taken out the screen shows exactly the transcript of run 1,
     and the result file is the same;
  3. standard error on a terminal with TERM=dumb, which cannot erase a line:
     nothing may be drawn.
"""
import fcntl
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import termios
import threading

GENES, SAMPLES = 2200, 30
# Level 0 selects only pairs whose p-value is exactly 0, so the walk down the
# ranked table of all pairs (TIVARNE_PAIR_TABLE=1) examines every rank, about
# 2.4 million: long enough for the line to be drawn.
ANSWERS = b"0\n20\n"
# One drawn line: carriage return, text, erase to the end of the line; the
# final erase is the same with no text.
PROGRESS = re.compile(rb"\r([^\r\n\x1b]*)\x1b\[K")
PHASE = re.compile(rb"^(reading expressions|scoring pairs|selecting pairs) +\d{1,3}%  ")


def make_data(folder):
    rng = random.Random(5)
    expr = os.path.join(folder, "expr.txt")
    with open(expr, "w") as f:
        for _ in range(GENES):
            f.write(" ".join("%.4f" % rng.gauss(0, 1) for _ in range(SAMPLES)) + "\n")
    labels = os.path.join(folder, "labels.txt")
    with open(labels, "w") as f:
        f.write(" ".join("1" if s < SAMPLES // 3 else "0" for s in range(SAMPLES)) + "\n")
    return expr, labels


def open_terminal(columns=100):
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    return master, slave


def read_all(fd, sink):
    while True:
        try:
            chunk = os.read(fd, 65536)
        except OSError:  # EIO: the last process holding the terminal is gone
            return
        if not chunk:
            return
        sink.append(chunk)


def run(tivarne, expr, labels, result, stdout, stderr, term="xterm"):
    with open(os.path.join(os.path.dirname(result), "answers"), "wb") as f:
        f.write(ANSWERS)
    with open(f.name, "rb") as answers:
        proc = subprocess.Popen([tivarne, "-e", expr, "-l", labels, "-o", result],
                                stdin=answers, stdout=stdout, stderr=stderr,
                                env=dict(os.environ, TERM=term, TIVARNE_PAIR_TABLE="1"))
        out, err = proc.communicate(timeout=600)
    with open(result, "rb") as f:
        return proc.returncode, out, err, f.read()


def run_on_terminal(tivarne, expr, labels, result, stdout_too, term="xterm"):
    master, slave = open_terminal()
    screen = []
    reader = threading.Thread(target=read_all, args=(master, screen))
    reader.start()
    try:
        status, out, _, res = run(tivarne, expr, labels, result,
                                  slave if stdout_too else subprocess.PIPE, slave, term)
    finally:
        os.close(slave)
        reader.join(timeout=60)
        os.close(master)
    return status, out, b"".join(screen), res


def check(condition, message):
    if not condition:
        print("FAIL: " + message)
        sys.exit(1)


def main():
    tivarne = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        expr, labels = make_data(folder)
        result = os.path.join(folder, "result.tsv")

        status, ref_out, ref_err, ref_res = run(tivarne, expr, labels, result,
                                                subprocess.PIPE, subprocess.PIPE)
        check(status == 0, "reference run failed with status %d: %r" % (status, ref_err))
        check(ref_err == b"", "standard error is not a terminal, yet got %r" % ref_err[:200])
        check(ref_res.startswith(b"Results of TIVARNE:\n"), "no result file")

        os.remove(result)
        status, _, screen, res = run_on_terminal(tivarne, expr, labels, result, True)
        check(status == 0, "status %d on a terminal" % status)
        # The terminal turns each newline into CR LF.
        screen = screen.replace(b"\r\n", b"\n")
        lines = [m.group(1) for m in PROGRESS.finditer(screen)]
        drawn = [line for line in lines if line]
        check(drawn, "no progress line on the terminal: %r" % screen[:300])
        for line in drawn:
            check(PHASE.match(line), "unexpected progress line %r" % line)
            check(len(line) < 100, "progress line wider than the terminal: %r" % line)
        check(lines[-1] == b"", "the last progress line was not erased: %r" % screen[-200:])
        shown = PROGRESS.sub(b"", screen)
        check(shown == ref_out, "the terminal session, progress lines taken out, differs:\n%r\n%r"
              % (shown[-300:], ref_out[-300:]))
        check(res == ref_res, "result file differs in the terminal session")
        os.remove(result)
        status, out, screen, res = run_on_terminal(tivarne, expr, labels, result, False, "dumb")
        check(status == 0, "status %d on a dumb terminal" % status)
        check(screen == b"", "a terminal that cannot erase lines got %r" % screen[:200])
        check(out == ref_out and res == ref_res, "the run differs on a dumb terminal")
        print("ok: %d progress lines drawn, e.g. %r" % (len(drawn), drawn[len(drawn) // 2].decode()))


if __name__ == "__main__":
    main()
