#!/usr/bin/env python3
"""Run one end-to-end case of tivarne and compare its transcript (see README.md)."""
import difflib
import os
import resource
import shlex
import shutil
import subprocess
import sys
import tempfile

CONTROL = {"args", "stdin", "stdin_closed", "combined", "setup.sh", "ulimit_v", "fsize_limit"}
RESULT = "result.tsv"


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def show(data):
    return data.decode("utf-8", "backslashreplace").splitlines(keepends=True)


def report_diff(label, expected, actual):
    sys.stdout.write("--- %s differs\n" % label)
    for line in difflib.unified_diff(show(expected), show(actual), "expected " + label, "actual " + label):
        sys.stdout.write(line if line.endswith("\n") else line + "\n\\ No newline at end of line\n")
    # Invisible differences (trailing blanks, missing final newline) are
    # easier to see in repr form.
    if show(expected) == show(actual) or len(expected) != len(actual):
        sys.stdout.write("expected %s: %r\nactual   %s: %r\n" % (label, expected[-200:], label, actual[-200:]))


def main(argv):
    wrapper = []
    if len(argv) > 1 and argv[1].startswith("--wrapper="):
        wrapper = shlex.split(argv[1][len("--wrapper="):])
        argv = argv[:1] + argv[2:]
    if len(argv) != 3:
        sys.stderr.write("usage: run_case.py [--wrapper=COMMAND] <tivarne-binary> <case-dir>\n")
        return 2
    binary, case_dir = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    name = os.path.basename(os.path.normpath(case_dir))

    def case_file(name):
        """The bytes of the case's file `name`, or None when it has none."""
        path = os.path.join(case_dir, name)
        return read_bytes(path) if os.path.exists(path) else None

    limit_kib, fsize_limit = (int(v) if v is not None else None for v in map(case_file, ("ulimit_v", "fsize_limit")))
    stdin_closed, combined = case_file("stdin_closed") is not None, case_file("combined") is not None
    # Input files: whatever is neither control nor expected, in subfolders too.
    inputs = sorted(rel for root, _dirs, files in os.walk(case_dir) for rel in
                    (os.path.relpath(os.path.join(root, f), case_dir) for f in files)
                    if rel not in CONTROL and not rel.startswith("expected."))
    work = tempfile.mkdtemp(prefix="tivarne-e2e-%s-" % name)
    try:
        for rel in inputs:
            os.makedirs(os.path.dirname(os.path.join(work, rel)), exist_ok=True)
            shutil.copyfile(os.path.join(case_dir, rel), os.path.join(work, rel))
        if case_file("setup.sh") is not None:
            subprocess.run(["bash", os.path.join(case_dir, "setup.sh")], cwd=work, check=True)

        def limit():
            if limit_kib is not None:
                resource.setrlimit(resource.RLIMIT_AS, (limit_kib * 1024, limit_kib * 1024))
            if fsize_limit is not None:
                resource.setrlimit(resource.RLIMIT_FSIZE, (fsize_limit, fsize_limit))
            if stdin_closed:
                os.close(0)

        words = shlex.split(case_file("args").decode("utf-8"))
        command, executable = (wrapper + [binary] + words, None) if wrapper else (["tivarne"] + words, binary)
        stdin = {"stdin": subprocess.DEVNULL} if stdin_closed else {"input": case_file("stdin") or b""}
        proc = subprocess.run(command, executable=executable, cwd=work, **stdin, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT if combined else subprocess.PIPE, preexec_fn=limit,
                              timeout=600)

        failed = False
        for label, actual in (("stdout", proc.stdout), ("stderr", b"" if combined else proc.stderr)):
            if actual != case_file("expected." + label):
                report_diff(label, case_file("expected." + label), actual)
                failed = True
        status = int(case_file("expected.status"))
        if proc.returncode != status:
            sys.stdout.write("--- exit status: expected %d, actual %d\n" % (status, proc.returncode))
            failed = True
        out_file, want_result = os.path.join(work, RESULT), case_file("expected.result")
        if want_result is not None and not os.path.isfile(out_file):
            sys.stdout.write("--- %s was not written\n" % RESULT)
            failed = True
        elif want_result is not None and read_bytes(out_file) != want_result:
            report_diff(RESULT, want_result, read_bytes(out_file))
            failed = True
        elif case_file("expected.no_result") is not None and os.path.lexists(out_file):
            sys.stdout.write("--- %s exists but the run must not leave one\n" % RESULT)
            failed = True
        for rel in inputs:
            path = os.path.join(work, rel)
            if rel != RESULT and (not os.path.isfile(path) or read_bytes(path) != case_file(rel)):
                sys.stdout.write("--- input file %s was changed\n" % rel)
                failed = True

        sys.stdout.write("%s %s\n" % ("FAIL" if failed else "ok", name))
        return int(failed)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
