"""tivarne: gene pairs whose co-expression differs between two classes of samples.

analyse()      scores and ranks every pair of genes of an expression matrix and
               returns the significant pairs as a pandas DataFrame.
read_table()   reads an expression table (delimited text, GEO series matrix)
               and the classes of its samples, ready for analyse().
read_result()  reads a result file of the command line ``tivarne``, or a pairs
               table of tivarne-analyse or tivarne-annotate.
report()       writes the HTML report of an analysis: one self-contained file.
rewired_genes() the genes of the differential network, ranked by how many
               more significant pairs they have than the pass rate predicts.
pair_histograms() the histograms of scores and p-values over all pairs of an
               analysis run with histograms=True.

See help(tivarne.analyse) for the arguments and the columns.

The command-line companions ``tivarne-prep`` (tables in, tivarne's files and
a manifest out), ``tivarne-annotate`` (result rows with gene names) and
``tivarne-network`` (GraphML, Cytoscape JSON and SIF files of the pairs) are
the modules tivarne.prep, tivarne.annotate and tivarne.network; they need
NumPy and pandas only. ``tivarne-plot`` is tivarne.plot (with matplotlib),
``tivarne-analyse`` (tivarne's files through analyse(), a pairs table out) is
tivarne.run, ``tivarne-report`` is tivarne.report() as a command.
"""
import importlib
import os

__all__ = ["SmallClassWarning", "analyse", "pair_histograms", "read_result", "read_table", "report",
           "rewired_genes"]


def _version():
    """The version of the file VERSION at the top of the repository: written
    into _version.py by the build, or read from the file two folders up in a
    source checkout (where the companions run without building) and where
    tivarne-plot's copy of the package is installed (share/tivarne)."""
    try:
        from ._version import version
    except ImportError:
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "VERSION")) as f:
            version = f.read().strip()
    return version


__version__ = _version()

# Imported on first use, so that the companions run from a source checkout
# where the compiled extension (_core) has not been built.
_LAZY = {"analyse": "._analysis", "read_result": "._result_file", "read_table": "._tables", "report": "._report",
         "SmallClassWarning": "._classes", "rewired_genes": "._rewired", "pair_histograms": "._rewired"}
_SUBMODULES = {"_analysis", "_core", "_result_file", "_report", "network", "plot"}


def __getattr__(name):
    if name in _LAZY:
        value = getattr(importlib.import_module(_LAZY[name], __name__), name)
    elif name in _SUBMODULES:
        value = importlib.import_module("." + name, __name__)
    else:
        raise AttributeError("module %r has no attribute %r" % (__name__, name))
    globals()[name] = value
    return value


def __dir__():
    return sorted(set(globals()) | set(__all__))
