"""The host library's C interface through ctypes: finding librobmat_host.so, the prototypes,
and the one session of the process. ctypes releases the GIL during every foreign call, so
other Python threads run while the module computes; our own lock keeps calls one at a time.
Ctrl-C during a call reaches the host through a C-level SIGINT handler (Python's own handler
would run only after the call returned), and the call ends as KeyboardInterrupt."""

import ctypes
import json as _json
import os
import pathlib
import signal
import sys
import threading

import numpy as np

from ._plots import PlotsMixin

ROBMAT_OK = 0
ROBMAT_ERR_OPEN = 1
ROBMAT_ERR_CALL = 2
ROBMAT_ERR_ROUTINE = 3
ROBMAT_ERR_ARGUMENT = 4
ROBMAT_ERR_MEMORY = 5
ROBMAT_ERR_INTERRUPTED = 6

SEVERITIES = {1: "error", 2: "warning", 3: "note"}

MISSING_BITS = np.uint64(0xFFFFFE0000000000)


class Error(Exception):
    """A call that the host refused, or a session that could not be opened."""


class RoutineError(Error):
    """A routine failed: a front-end status, an xexit, or an engine failure.

    status: the front end's status code (-1 after an xexit, 0 for an engine failure that left
    every result missing); code: the xexit code (0 when the routine returned); log: the lines
    the routine logged, as (severity, text) pairs; engine_failed: the host's verdict that the
    routine returned but its engine failed."""

    def __init__(self, message, routine, status, code, log, engine_failed=False):
        super().__init__(message)
        self.routine = routine
        self.status = status
        self.code = code
        self.log = log
        self.engine_failed = engine_failed


def _library_path():
    env = os.environ.get("ROBMAT_HOST_LIB")
    if env:
        p = pathlib.Path(env)
        return p / "librobmat_host.so" if p.is_dir() else p, "$ROBMAT_HOST_LIB"
    here = pathlib.Path(__file__).resolve().parent
    installed = here / "lib" / "librobmat_host.so"  # put there by pip install
    if installed.is_file():
        return installed, "the installed package"
    return here.parent.parent / "build" / "lib" / "librobmat_host.so", "the repository's build/lib"


def _load():
    path, origin = _library_path()
    if not path.is_file():
        raise ImportError(
            f"robmat: the host library was not found at {path} (from {origin}). Build it with "
            "scripts/test in the repository, or set ROBMAT_HOST_LIB to the path of "
            "librobmat_host.so.")
    try:
        return ctypes.CDLL(str(path))
    except OSError as e:
        raise ImportError(f"robmat: the host library {path} could not be loaded: {e}") from e


_lib = _load()

_c_double_p = ctypes.POINTER(ctypes.c_double)
_prototypes = {
    "robmat_host_version": (ctypes.c_char_p, []),
    "robmat_session_open": (ctypes.c_int, [ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p)]),
    "robmat_session_close": (None, [ctypes.c_void_p]),
    "robmat_session_error": (ctypes.c_size_t, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]),
    "robmat_session_routine_count": (ctypes.c_int, [ctypes.c_void_p]),
    "robmat_session_routine": (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_int]),
    "robmat_args_new": (ctypes.c_void_p, []),
    "robmat_args_free": (None, [ctypes.c_void_p]),
    "robmat_args_add_matrix": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_int64, ctypes.c_int64, _c_double_p,
                                              ctypes.POINTER(ctypes.c_char_p)]),
    "robmat_args_add_text": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_char_p]),
    "robmat_args_add_omitted": (ctypes.c_int, [ctypes.c_void_p]),
    "robmat_args_set_listing": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_int]),
    "robmat_call": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p,
                                   ctypes.POINTER(ctypes.c_void_p)]),
    "robmat_result_free": (None, [ctypes.c_void_p]),
    "robmat_result_count": (ctypes.c_int, [ctypes.c_void_p]),
    "robmat_result_rows": (ctypes.c_int64, [ctypes.c_void_p, ctypes.c_int]),
    "robmat_result_cols": (ctypes.c_int64, [ctypes.c_void_p, ctypes.c_int]),
    "robmat_result_data": (_c_double_p, [ctypes.c_void_p, ctypes.c_int]),
    "robmat_result_colname": (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_int, ctypes.c_int64]),
    "robmat_result_rowname": (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_int, ctypes.c_int64]),
    "robmat_result_listing": (ctypes.c_char_p, [ctypes.c_void_p]),
    "robmat_result_json": (ctypes.c_char_p, [ctypes.c_void_p]),
    "robmat_result_log_count": (ctypes.c_int64, [ctypes.c_void_p]),
    "robmat_result_log_severity": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_int64]),
    "robmat_result_log_text": (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_int64]),
    "robmat_result_error": (ctypes.c_char_p, [ctypes.c_void_p]),
    "robmat_result_status": (ctypes.c_int, [ctypes.c_void_p]),
    "robmat_result_exit_code": (ctypes.c_int, [ctypes.c_void_p]),
    "robmat_result_engine_failed": (ctypes.c_int, [ctypes.c_void_p]),
    "robmat_interrupt": (None, [ctypes.c_void_p]),
    "robmat_catch_interrupts": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_int]),
    "robmat_session_set_progress": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int,
                                                   ctypes.c_int]),
    "robmat_help": (ctypes.c_char_p, [ctypes.c_char_p]),
    "robmat_result_set_row_names": (ctypes.c_int, [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p), ctypes.c_int64]),
    "robmat_result_plots": (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_void_p]),
    "robmat_report_write": (ctypes.c_int, [ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p), ctypes.c_int,
                                           ctypes.c_char_p, ctypes.c_char_p]),
}
_PROGRESS_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_double, ctypes.c_int, ctypes.c_int)
for _name, (_restype, _argtypes) in _prototypes.items():
    _f = getattr(_lib, _name)
    _f.restype = _restype
    _f.argtypes = _argtypes


def _text(b):
    return b.decode("utf-8", "replace") if b is not None else ""


class ResultHandle:
    """The host's result of one call, kept for its plots and reports; freed with the object."""

    def __init__(self, pointer):
        self.pointer = pointer

    def __del__(self):
        if self.pointer and _lib is not None:
            _lib.robmat_result_free(self.pointer)
            self.pointer = None


class Outcome(PlotsMixin):
    """What one call produced: results (2-D float arrays, NaN for missing), the names the host
    gives their rows and columns (rownames[k] and colnames[k]: a list, or None), the log as
    (severity, text) pairs, the listing text, the JSON text, and whether the host found that
    the routine's engine failed (it returned normally, logged an error, left every result
    missing; the call then raises RoutineError). Its plots: plot(), plots(), to_html(path),
    and the pictures in a notebook."""

    def __init__(self, routine, results, log, listing, json, engine_failed=False, rownames=None, colnames=None):
        self.routine = routine
        self.results = results
        self.log = log
        self.listing = listing
        self.json = json
        self.engine_failed = engine_failed
        self.rownames = rownames if rownames is not None else [None] * len(results)
        self.colnames = colnames if colnames is not None else [None] * len(results)
        self.handle = None

    def __repr__(self):
        lines = [f"<robmat.Outcome of {self.routine}: {len(self.results)} result(s)"]
        for k, a in enumerate(self.results):
            rows, cols = self.rownames[k], self.colnames[k]
            named = ""
            if rows:
                named += " rows " + ", ".join(rows[:8]) + (", ..." if len(rows) > 8 else "")
            if cols:
                named += (";" if rows else "") + " columns " + ", ".join(cols[:8]) + (", ..." if len(cols) > 8 else "")
            lines.append(f"  result {k + 1}: {a.shape[0]} x {a.shape[1]}{named}")
        counts = {}
        for severity, _ in self.log:
            counts[severity] = counts.get(severity, 0) + 1
        if counts:
            lines.append("  log: " + ", ".join(f"{n} {s}{'s' if n > 1 else ''}" for s, n in counts.items()))
        if self.listing:
            lines.append(f"  listing: {self.listing.count(chr(10))} lines")
        return "\n".join(lines) + ">"


def _names(r, k, count, fetch):
    """The names of result k's rows or columns, or None when it has none."""
    if count == 0 or fetch(r, k, 0) is None:
        return None
    return [_text(fetch(r, k, i)) for i in range(count)]


def _read_outcome(routine, r):
    results, rownames, colnames = [], [], []
    for k in range(1, _lib.robmat_result_count(r) + 1):
        rows = _lib.robmat_result_rows(r, k)
        cols = _lib.robmat_result_cols(r, k)
        data = _lib.robmat_result_data(r, k)
        rownames.append(_names(r, k, rows, _lib.robmat_result_rowname))
        colnames.append(_names(r, k, cols, _lib.robmat_result_colname))
        if rows * cols == 0 or not data:
            results.append(np.empty((rows, cols)))
            continue
        a = np.ctypeslib.as_array(data, shape=(rows * cols,)).copy().reshape(rows, cols)
        a[(a.view(np.uint64) >> np.uint64(48)) == np.uint64(0xFFFF)] = np.nan
        results.append(a)
    log = [(SEVERITIES.get(_lib.robmat_result_log_severity(r, i), "note"), _text(_lib.robmat_result_log_text(r, i)))
           for i in range(_lib.robmat_result_log_count(r))]
    return Outcome(routine, results, log, _text(_lib.robmat_result_listing(r)), _text(_lib.robmat_result_json(r)),
                   _lib.robmat_result_engine_failed(r) != 0, rownames, colnames)


def _c_matrix(a):
    """A 2-D array as float64 in C order, copied only when it is not so already: the C interface
    copies it once more and turns every NaN into the missing value there."""
    return np.asarray(a, dtype=np.float64, order="C")


def _show_progress(routine, seconds, percent, done, _width=[0]):
    """The default progress report: one line on standard error, redrawn in place."""
    if done:
        text = ""
    else:
        s = int(seconds)
        when = f"{s // 60} min {s % 60} s" if s >= 60 else f"{s} s"
        text = f"{routine}: {percent}% done, {when}" if percent >= 0 else f"{routine}: running, {when}"
    sys.stderr.write("\r" + text.ljust(_width[0]) + ("\r" if done else ""))
    sys.stderr.flush()
    _width[0] = 0 if done else max(_width[0], len(text))


class _CatchInterrupts:
    """Ctrl-C interrupts the session's call while this is entered, when the call runs on the
    main thread and Python's own Ctrl-C handling is in place (not replaced by the program)."""

    def __init__(self, handle):
        self._handle = handle
        self._on = False

    def __enter__(self):
        if (threading.current_thread() is threading.main_thread()
                and signal.getsignal(signal.SIGINT) is signal.default_int_handler):
            self._on = _lib.robmat_catch_interrupts(self._handle, 1) == ROBMAT_OK
        return self

    def __exit__(self, *exc):
        if self._on:
            _lib.robmat_catch_interrupts(self._handle, 0)
        return False


def _c_text(s, what):
    """s encoded for C. A NUL would end the string early on the C side (a method "qn<NUL>zz" would
    be read as "qn"), so it is refused."""
    if "\0" in s:
        raise ValueError(f"{what} cannot contain a NUL character: {s!r}")
    return s.encode("utf-8")


class _Session:
    def __init__(self):
        self._lock = threading.Lock()
        self._handle = None

    def _open(self):
        handle = ctypes.c_void_p()
        module = os.environ.get("ROBMAT_MODULE") or None
        rc = _lib.robmat_session_open(module.encode() if module else None, ctypes.byref(handle))
        if rc != ROBMAT_OK:
            n = _lib.robmat_session_error(handle, None, 0)
            buf = ctypes.create_string_buffer(n + 1)
            _lib.robmat_session_error(handle, buf, n + 1)
            _lib.robmat_session_close(handle)
            if rc == ROBMAT_ERR_MEMORY:
                raise MemoryError(_text(buf.value))
            raise Error(f"robmat: the module could not be opened: {_text(buf.value)}")
        self._handle = handle

    def routines(self):
        with self._lock:
            if self._handle is None:
                self._open()
            n = _lib.robmat_session_routine_count(self._handle)
            return [_text(_lib.robmat_session_routine(self._handle, i)) for i in range(n)]

    def call(self, routine, args, progress=None, listing=True):
        """args: 2-D float64 arrays (NaN for missing), (array, names) pairs, str, or None.
        progress: None, True (a line on standard error) or a function (routine, seconds,
        percent, done) called while a call that takes longer than a second runs. listing:
        False spares the rendering of the listing (the JSON is made either way)."""
        c_routine = _c_text(routine, "a routine name")
        # The arguments are built before taking the lock: they copy the data.
        a = _lib.robmat_args_new()
        if not a:
            raise MemoryError("robmat: no memory for the arguments")
        try:
            for v in args:
                if v is None:
                    _lib.robmat_args_add_omitted(a)
                elif isinstance(v, str):
                    _lib.robmat_args_add_text(a, _c_text(v, "a character argument"))
                else:
                    m, names = v if isinstance(v, tuple) else (v, None)
                    m = _c_matrix(m)
                    c_names = None
                    if names is not None:
                        c_names = (ctypes.c_char_p * len(names))(*[_c_text(str(s), "a column name") for s in names])
                    _lib.robmat_args_add_matrix(a, m.shape[0], m.shape[1], m.ctypes.data_as(_c_double_p), c_names)
            if not listing:
                _lib.robmat_args_set_listing(a, 0)
            r = ctypes.c_void_p()
            report = None
            if progress:
                show = _show_progress if progress is True else progress
                report = _PROGRESS_FN(lambda _user, name, seconds, percent, done:
                                      show(_text(name), seconds, percent, bool(done)))
            with self._lock:
                if self._handle is None:
                    self._open()
                if report is not None:
                    _lib.robmat_session_set_progress(self._handle, ctypes.cast(report, ctypes.c_void_p), None, 1000,
                                                     250)
                try:
                    with _CatchInterrupts(self._handle):
                        rc = _lib.robmat_call(self._handle, c_routine, a, ctypes.byref(r))
                finally:
                    if report is not None:
                        _lib.robmat_session_set_progress(self._handle, None, None, 1000, 250)
        finally:
            _lib.robmat_args_free(a)
        handle = ResultHandle(r.value)
        if not r:
            raise MemoryError("robmat: no memory for the result of " + routine)
        outcome = _read_outcome(routine, r)
        if rc == ROBMAT_OK:
            outcome.handle = handle  # the host's result stays for the plots of the call
            return outcome
        try:
            message = _text(_lib.robmat_result_error(r))
            if rc == ROBMAT_ERR_ROUTINE:
                raise RoutineError(message, routine, _lib.robmat_result_status(r), _lib.robmat_result_exit_code(r),
                                   outcome.log, outcome.engine_failed)
            if rc == ROBMAT_ERR_MEMORY:
                raise MemoryError(message)
            if rc == ROBMAT_ERR_INTERRUPTED:
                raise KeyboardInterrupt(message)
            raise Error(message)
        finally:
            del handle


session = _Session()


def host_version():
    return _text(_lib.robmat_host_version())


def plots_json(handle, row_names=None):
    """The plots of a call (robmat_result_plots) as parsed JSON: {"plots": [...], "notes": [...]}."""
    if handle is None or not handle.pointer:
        return {"plots": [], "notes": ["The call has no plots."]}
    if row_names is not None:
        names = (ctypes.c_char_p * len(row_names))(*[_c_text(str(n), "a row name") for n in row_names])
        if _lib.robmat_result_set_row_names(handle.pointer, names, len(row_names)) != ROBMAT_OK:
            raise MemoryError("robmat: no memory for the row names")
    with session._lock:
        if session._handle is None:
            session._open()
        text = _lib.robmat_result_plots(session._handle, handle.pointer)
    return _json.loads(_text(text))


def write_report(path, handles, title=None):
    """Writes the HTML report of the calls whose results are `handles` to path."""
    array = (ctypes.c_void_p * len(handles))(*[h.pointer for h in handles])
    with session._lock:
        if session._handle is None:
            session._open()
        rc = _lib.robmat_report_write(session._handle, array, len(handles),
                                      _c_text(title, "a title") if title else None, _c_text(str(path), "a path"))
        if rc != ROBMAT_OK:
            n = _lib.robmat_session_error(session._handle, None, 0)
            buf = ctypes.create_string_buffer(n + 1)
            _lib.robmat_session_error(session._handle, buf, n + 1)
            if rc == ROBMAT_ERR_MEMORY:
                raise MemoryError(_text(buf.value))
            raise OSError(_text(buf.value))


def help_text(routine=None):
    """The help of a routine as the robmat program shows it (None: the list of routines), or
    None for an unknown name."""
    t = _lib.robmat_help(_c_text(routine, "a routine name") if routine else None)
    return _text(t) if t is not None else None
