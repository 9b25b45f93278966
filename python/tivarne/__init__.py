"""tivarne: gene pairs whose co-expression differs between two classes of samples.

analyse()      scores and ranks every pair of genes of an expression matrix and
               returns the significant pairs as a pandas DataFrame.
read_result()  reads a result file of the command line ``tivarne``.

See help(tivarne.analyse) for the arguments and the columns.

The command-line companions ``tivarne-prep`` (tables in, tivarne's files out)
and ``tivarne-annotate`` (result rows with gene names) are the modules
tivarne.prep and tivarne.annotate; they need NumPy and pandas only.
"""
import importlib

__all__ = ["analyse", "read_result"]

# Imported on first use, so that the companions run from a source checkout
# where the compiled extension (_core) has not been built.
_LAZY = {"analyse": "._analysis", "read_result": "._result_file"}
_SUBMODULES = {"_analysis", "_core", "_result_file"}


def __getattr__(name):
    if name in _LAZY:
        value = getattr(importlib.import_module(_LAZY[name], __name__), name)
    elif name == "__version__":
        # The compiled library's own version (the file VERSION of the repository).
        value = importlib.import_module("._core", __name__).__version__
    elif name in _SUBMODULES:
        value = importlib.import_module("." + name, __name__)
    else:
        raise AttributeError("module %r has no attribute %r" % (__name__, name))
    globals()[name] = value
    return value


def __dir__():
    return sorted(set(globals()) | set(__all__))
