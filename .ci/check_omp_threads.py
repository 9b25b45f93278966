#!/usr/bin/python3
"""Every OpenMP parallel region names its thread count.

    .ci/check_omp_threads.py [REPOSITORY_ROOT]

The library takes the thread count of each call from the caller (Options::threads),
never from omp_set_num_threads, so that analyses running at once in one process do
not change each other's; a `#pragma omp parallel ...` without a num_threads clause
would take OpenMP's process-wide default instead. Scans the C++ files of the
source folders and lists every such region; status 1 when there is one.
"""
import os
import re
import sys

FOLDERS = ["src", "include", "bench", "fuzz", "tests", "examples", "python/src", "r/src"]
SUFFIXES = (".c", ".cc", ".cpp", ".cxx", ".h", ".hpp", ".inc")
PRAGMA = re.compile(r"^\s*#\s*pragma\s+omp\s+(.*)$")


def directives(path):
    """(line number, directive text) of every OpenMP pragma, continuation lines joined."""
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        start, text = i, lines[i]
        while text.endswith("\\") and i + 1 < len(lines):
            i += 1
            text = text[:-1] + " " + lines[i]
        found = PRAGMA.match(text)
        if found:
            yield start + 1, found.group(1)
        i += 1


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    regions = unnamed = 0
    for folder in FOLDERS:
        for base, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith(SUFFIXES):
                    continue
                path = os.path.join(base, name)
                for line, text in directives(path):
                    if not re.match(r"parallel\b", text):
                        continue
                    regions += 1
                    if not re.search(r"\bnum_threads\s*\(", text):
                        unnamed += 1
                        print("%s:%d: parallel region without num_threads: #pragma omp %s"
                              % (os.path.relpath(path, root), line, text.strip()), file=sys.stderr)
    if regions == 0:
        sys.exit("check_omp_threads: no OpenMP parallel region found under %s; wrong folder?" % root)
    if unnamed:
        return 1
    print("%d OpenMP parallel regions, each with num_threads" % regions)
    return 0


if __name__ == "__main__":
    sys.exit(main())
