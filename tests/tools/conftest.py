"""Shared by the tests of tivarne-prep and tivarne-annotate: paths, built programs, the one-line refusal."""
import os
import sys

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir, os.pardir))
GOLUB = os.path.join(ROOT, "examples", "golub")
try:  # the installed package, else the source tree's (no extension needed)
    import tivarne
except ImportError:
    sys.path.insert(0, os.path.join(ROOT, "python"))
    import tivarne


def built(variable, *path):
    """A program of the C++ build: named by ctest in the environment, else in build/."""
    program = os.environ.get(variable) or os.path.join(ROOT, "build", *path)
    if not os.access(program, os.X_OK):
        pytest.skip("%s is not built" % program)
    return program


def error_of(main, argv, capsys):
    """The one `Error: ...` line of a refused run (status 1, nothing on standard output)."""
    try:
        status = main(argv)
    except SystemExit as e:
        status = e.code
    out, err = capsys.readouterr()
    assert (status, out) == (1, "") and err.startswith("Error: ") and err.count("\n") == 1, (status, out, err)
    return err
