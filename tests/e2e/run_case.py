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
TIMEOUT = 600


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def show(data):
    return data.decode("utf-8", "backslashreplace").splitlines(keepends=True)


def report_diff(label, expected, actual):
    sys.stdout.write("--- %s differs\n" % label)
    diff = difflib.unified_diff(show(expected), show(actual),
                                "expected " + label, "actual " + label)
    for line in diff:
        if not line.endswith("\n"):
            line += "\n\\ No newline at end of line\n"
        sys.stdout.write(line)
    # Invisible differences (trailing blanks, missing final newline) are
    # easier to see in repr form.
    if show(expected) == show(actual) or len(expected) != len(actual):
        sys.stdout.write("expected %s: %r\n" % (label, expected[-200:]))
        sys.stdout.write("actual   %s: %r\n" % (label, actual[-200:]))


def input_files(case_dir):
    """Relative paths of the case's input files (not control/expected)."""
    found = []
    for root, _dirs, files in os.walk(case_dir):
        for name in files:
            rel = os.path.relpath(os.path.join(root, name), case_dir)
            if rel in CONTROL or rel.startswith("expected."):
                continue
            found.append(rel)
    return sorted(found)


def read_limit(case_dir, name):
    path = os.path.join(case_dir, name)
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return int(f.read().strip())


def main(argv):
    wrapper = []
    if len(argv) > 1 and argv[1].startswith("--wrapper="):
        wrapper = shlex.split(argv[1][len("--wrapper="):])
        argv = argv[:1] + argv[2:]
    if len(argv) != 3:
        sys.stderr.write("usage: run_case.py [--wrapper=COMMAND] <tivarne-binary> <case-dir>\n")
        return 2
    binary = os.path.abspath(argv[1])
    case_dir = os.path.abspath(argv[2])
    name = os.path.basename(os.path.normpath(case_dir))

    with open(os.path.join(case_dir, "args"), encoding="utf-8") as f:
        words = shlex.split(f.read())
    stdin_path = os.path.join(case_dir, "stdin")
    stdin_data = read_bytes(stdin_path) if os.path.exists(stdin_path) else b""
    exp_out = read_bytes(os.path.join(case_dir, "expected.stdout"))
    exp_err = read_bytes(os.path.join(case_dir, "expected.stderr"))
    with open(os.path.join(case_dir, "expected.status")) as f:
        exp_status = int(f.read().strip())
    result_path = os.path.join(case_dir, "expected.result")
    exp_result = read_bytes(result_path) if os.path.exists(result_path) else None
    want_no_result = os.path.exists(os.path.join(case_dir, "expected.no_result"))
    limit_kib = read_limit(case_dir, "ulimit_v")
    fsize_limit = read_limit(case_dir, "fsize_limit")
    stdin_closed = os.path.exists(os.path.join(case_dir, "stdin_closed"))
    combined = os.path.exists(os.path.join(case_dir, "combined"))

    inputs = input_files(case_dir)
    originals = {rel: read_bytes(os.path.join(case_dir, rel)) for rel in inputs}

    work = tempfile.mkdtemp(prefix="tivarne-e2e-%s-" % name)
    try:
        for rel in inputs:
            dest = os.path.join(work, rel)
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            shutil.copyfile(os.path.join(case_dir, rel), dest)
        setup = os.path.join(case_dir, "setup.sh")
        if os.path.exists(setup):
            subprocess.run(["bash", setup], cwd=work, check=True)

        def limit():
            if limit_kib is not None:
                size = limit_kib * 1024
                resource.setrlimit(resource.RLIMIT_AS, (size, size))
            if fsize_limit is not None:
                resource.setrlimit(resource.RLIMIT_FSIZE,
                                   (fsize_limit, fsize_limit))
            if stdin_closed:
                os.close(0)

        if wrapper:
            command, executable = wrapper + [binary] + words, None
        else:
            command, executable = ["tivarne"] + words, binary
        if stdin_closed:
            stdin_args = {"stdin": subprocess.DEVNULL}
        else:
            stdin_args = {"input": stdin_data}
        proc = subprocess.run(command, executable=executable,
                              cwd=work, **stdin_args,
                              stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT if combined else subprocess.PIPE,
                              preexec_fn=limit, timeout=TIMEOUT)
        if combined:
            proc.stderr = b""

        failed = False
        if proc.stdout != exp_out:
            report_diff("stdout", exp_out, proc.stdout)
            failed = True
        if proc.stderr != exp_err:
            report_diff("stderr", exp_err, proc.stderr)
            failed = True
        if proc.returncode != exp_status:
            sys.stdout.write("--- exit status: expected %d, actual %d\n"
                             % (exp_status, proc.returncode))
            failed = True

        out_file = os.path.join(work, RESULT)
        if exp_result is not None:
            if not os.path.isfile(out_file):
                sys.stdout.write("--- %s was not written\n" % RESULT)
                failed = True
            else:
                actual = read_bytes(out_file)
                if actual != exp_result:
                    report_diff(RESULT, exp_result, actual)
                    failed = True
        elif want_no_result and os.path.lexists(out_file):
            sys.stdout.write("--- %s exists but the run must not leave one\n"
                             % RESULT)
            failed = True

        for rel, data in originals.items():
            if rel == RESULT:
                continue
            path = os.path.join(work, rel)
            if not os.path.isfile(path) or read_bytes(path) != data:
                sys.stdout.write("--- input file %s was changed\n" % rel)
                failed = True

        if failed:
            sys.stdout.write("FAIL %s\n" % name)
            return 1
        sys.stdout.write("ok %s\n" % name)
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
