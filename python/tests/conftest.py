"""Shared by the tests of the Python package: paths, the bundled example, built programs."""
import os
import subprocess
import sys

import numpy as np
import pytest

import tivarne

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir, os.pardir))
GOLUB = os.path.join(ROOT, "examples", "golub")


def pytest_report_header():
    return "tivarne from %s" % os.path.dirname(tivarne.__file__)


def built(variable, *path):
    """A program of the C++ build: named by ctest in the environment, else in build/ of this clone."""
    program = os.environ.get(variable) or os.path.join(ROOT, "build", *path)
    if not os.access(program, os.X_OK):
        pytest.skip("%s is not built" % program)
    return program


def run_cli(expression, labels, answers, result):
    subprocess.run([built("TIVARNE_CLI", "tivarne"), "-e", expression, "-l", labels, "-o", str(result)],
                   input=answers, text=True, check=True, stdout=subprocess.DEVNULL)


def python(script, **kwargs):
    """Starts this interpreter on `script`, importing the tivarne under test."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [os.path.dirname(os.path.dirname(tivarne.__file__))] + os.environ.get("PYTHONPATH", "").split(os.pathsep)))
    return subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, env=env, **kwargs)


@pytest.fixture(scope="session")
def golub():
    """The bundled example: 3051 genes x 38 samples, labels 0/1."""
    return (np.loadtxt(os.path.join(GOLUB, "expr.txt")),
            np.loadtxt(os.path.join(GOLUB, "labels.txt"), dtype=np.int64))
