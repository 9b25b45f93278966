#!/usr/bin/env python3
"""The progress line of tivarne seen from a pseudo-terminal: terminal_progress.py <tivarne-binary>.

One analysis three times: with standard output and error redirected, standard error stays empty;
with both on one terminal, progress lines are drawn and each erased again, and without them the
screen is the first run's transcript; on a terminal with TERM=dumb, which cannot erase a line,
nothing is drawn. The result file is the same each time.
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


def run(tivarne, folder, stdout, stderr, term="xterm"):
    """Status, standard output, standard error and result file of one run."""
    result = os.path.join(folder, "result.tsv")
    if os.path.exists(result):
        os.remove(result)
    with open(os.path.join(folder, "answers"), "rb") as answers:
        proc = subprocess.Popen([tivarne, "-e", "expr.txt", "-l", "labels.txt", "-o", result], cwd=folder,
                                stdin=answers, stdout=stdout, stderr=stderr,
                                env=dict(os.environ, TERM=term, TIVARNE_PAIR_TABLE="1"))
        out, err = proc.communicate(timeout=600)
    with open(result, "rb") as f:
        return proc.returncode, out, err, f.read()


def run_on_terminal(tivarne, folder, stdout_too, term="xterm"):
    """The same with standard error (and output) on a 100-column terminal; what it showed."""
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    screen = []

    def read_all():
        try:
            while chunk := os.read(master, 65536):
                screen.append(chunk)
        except OSError:  # EIO: the last process holding the terminal is gone
            pass
    reader = threading.Thread(target=read_all)
    reader.start()
    try:
        status, out, _, res = run(tivarne, folder, slave if stdout_too else subprocess.PIPE, slave, term)
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
    tivarne = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as folder:
        rng = random.Random(5)
        with open(os.path.join(folder, "expr.txt"), "w") as f:
            f.writelines(" ".join("%.4f" % rng.gauss(0, 1) for _ in range(SAMPLES)) + "\n" for _ in range(GENES))
        with open(os.path.join(folder, "labels.txt"), "w") as f:
            f.write(" ".join("1" if s < SAMPLES // 3 else "0" for s in range(SAMPLES)) + "\n")
        with open(os.path.join(folder, "answers"), "wb") as f:
            f.write(ANSWERS)

        status, ref_out, ref_err, ref_res = run(tivarne, folder, subprocess.PIPE, subprocess.PIPE)
        check(status == 0, "reference run failed with status %d: %r" % (status, ref_err))
        check(ref_err == b"", "standard error is not a terminal, yet got %r" % ref_err[:200])
        check(ref_res.startswith(b"Results of TIVARNE:\n"), "no result file")

        status, _, screen, res = run_on_terminal(tivarne, folder, True)
        check(status == 0, "status %d on a terminal" % status)
        screen = screen.replace(b"\r\n", b"\n")  # the terminal turns each newline into CR LF
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

        status, out, screen, res = run_on_terminal(tivarne, folder, False, "dumb")
        check(status == 0, "status %d on a dumb terminal" % status)
        check(screen == b"", "a terminal that cannot erase lines got %r" % screen[:200])
        check(out == ref_out and res == ref_res, "the run differs on a dumb terminal")
        print("ok: %d progress lines drawn, e.g. %r" % (len(drawn), drawn[len(drawn) // 2].decode()))


if __name__ == "__main__":
    main()
