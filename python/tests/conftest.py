"""Shared by the Python tests (binding/, tools/, plot/): paths, the bundled
example, built programs, the package under test and the one-line refusal."""
import os
import subprocess
import sys

import numpy as np
import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir, os.pardir))
GOLUB = os.path.join(ROOT, "examples", "golub")
CASES = os.path.join(ROOT, "tests", "e2e", "cases")
try:  # the package on PYTHONPATH (build/python, or installed), else the source tree's
    import tivarne
except ImportError:
    sys.path.insert(0, os.path.join(ROOT, "python"))
    import tivarne


def pytest_report_header():
    return "tivarne from %s" % os.path.dirname(tivarne.__file__)


def needs_core():
    """Skips a test of the compiled part where the package runs without it."""
    try:
        import tivarne._core  # noqa: F401
    except ImportError:
        pytest.skip("tivarne._core is not built here")


def built(variable, *path):
    """A program of the C++ build: named by ctest in the environment, else in build/ of this clone."""
    program = os.environ.get(variable) or os.path.join(ROOT, "build", *path)
    if not os.access(program, os.X_OK):
        pytest.skip("%s is not built" % program)
    return program


# The column line of the command line's result file.
COLUMNS = "rank \t score(WCOR) \t log10(p-value(ECOR)) \t gene X \t gene Y \t r1 \t r2 \t weight c\n"


def result_head(level, max_pairs):
    """The lines of the command line's result file before its column line."""
    rule = "-" * 49 + "\n"
    return ("Results of TIVARNE:\n%ssignificant level = %f\nnumber of gene pairs to be output = %d (maximum)\n%s"
            % (rule, level, max_pairs, rule))


def run_cli(expression, labels, answers, result):
    subprocess.run([built("TIVARNE_CLI", "tivarne"), "-e", str(expression), "-l", str(labels), "-o", str(result)],
                   input=answers, text=True, check=True, stdout=subprocess.DEVNULL)
    return open(result).read()


def python(script, **kwargs):
    """Starts this interpreter on `script`, importing the tivarne under test."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [os.path.dirname(os.path.dirname(tivarne.__file__))] + os.environ.get("PYTHONPATH", "").split(os.pathsep)))
    return subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, env=env, **kwargs)


def error_of(main, argv, capsys):
    """The one `Error: ...` line of a refused run (status 1, nothing on standard output)."""
    try:
        status = main(argv)
    except SystemExit as e:
        status = e.code
    out, err = capsys.readouterr()
    assert (status, out) == (1, "") and err.startswith("Error: ") and err.count("\n") == 1, (status, out, err)
    return err


@pytest.fixture(scope="session")
def golub():
    """The bundled example: 3051 genes x 38 samples, labels 0/1."""
    return (np.loadtxt(os.path.join(GOLUB, "expr.txt")),
            np.loadtxt(os.path.join(GOLUB, "labels.txt"), dtype=np.int64))
