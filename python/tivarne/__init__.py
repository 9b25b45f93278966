"""tivarne: gene pairs whose co-expression differs between two classes of samples.

analyse()      scores and ranks every pair of genes of an expression matrix and
               returns the significant pairs as a pandas DataFrame.
read_result()  reads a result file of the command line ``tivarne``.

See help(tivarne.analyse) for the arguments and the columns.
"""
from ._analysis import analyse
from ._result_file import read_result

__all__ = ["analyse", "read_result"]
__version__ = "1.0.0"
