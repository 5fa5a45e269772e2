"""robmat: robust statistics (MAD, Sn, Qn, LMS, LTS, MVE, MCD) from the robmat module, over numpy.

Pure Python over the host library's C interface (ctypes). The host library is found through
$ROBMAT_HOST_LIB, else beside the package (pip install), else in the repository's build/lib. One session per process is opened on
first use; calls are serialised, and other threads run while the module computes. NaN in an
input is the module's missing value, and a missing value in a result is NaN."""

from ._capi import Error, Outcome, RoutineError, host_version
from ._plots import report
from ._routines import LmtsResult, McdResult, MveResult, RobmatWarning, call, help, lms, lts, mad, mcd, mve, routines

__all__ = ["Error", "LmtsResult", "McdResult", "MveResult", "Outcome", "RobmatWarning", "RoutineError", "call",
           "help", "host_version", "lms", "lts", "mad", "mcd", "mve", "report", "routines"]
__version__ = host_version()
