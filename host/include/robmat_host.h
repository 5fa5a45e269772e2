/* The host's C interface: the one door for C programs and for bindings to other languages
 * (Python reaches it through ctypes). Handles are opaque and freed by their own functions;
 * nothing here aborts or throws, every failure is a return code plus a sentence of text.
 * A session may be used from several threads: its calls are serialised by a lock inside it.
 * Matrices are row-major arrays of doubles; the missing value is the bit pattern
 * 0xFFFFFE0000000000, and any double whose top 16 bits are all ones counts as missing. Every
 * NaN in an argument is taken as the missing value; an infinite value in an argument makes
 * the call fail (ROBMAT_ERR_CALL) with a message naming the routine, argument, row and column. */
#ifndef ROBMAT_HOST_H
#define ROBMAT_HOST_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ROBMAT_HOST_API __attribute__((visibility("default")))
#else
#define ROBMAT_HOST_API
#endif

/* Return codes. */
enum {
  ROBMAT_OK = 0,
  ROBMAT_ERR_OPEN = 1,       /* the module file could not be loaded */
  ROBMAT_ERR_CALL = 2,       /* the call was refused before the routine ran, or the host caught a fault */
  ROBMAT_ERR_ROUTINE = 3,    /* the routine returned a failing status, ended by xexit, or its engine failed */
  ROBMAT_ERR_ARGUMENT = 4,   /* a null handle, a negative size or null data for a non-empty matrix */
  ROBMAT_ERR_MEMORY = 5,     /* the host ran out of memory */
  ROBMAT_ERR_INTERRUPTED = 6 /* the call was interrupted (robmat_interrupt); its results were discarded */
};

/* Severities of log lines. */
enum { ROBMAT_LOG_ERROR = 1, ROBMAT_LOG_WARNING = 2, ROBMAT_LOG_NOTE = 3 };

typedef struct robmat_session robmat_session;
typedef struct robmat_args robmat_args;
typedef struct robmat_result robmat_result;

/* The missing value, and the test for it. */
ROBMAT_HOST_API double robmat_missing(void);
ROBMAT_HOST_API int robmat_is_missing(double value);

/* The version of the host library, e.g. "0.1.0". */
ROBMAT_HOST_API const char* robmat_host_version(void);

/* ---- sessions ---------------------------------------------------------------------------- */

/* Opens a session on the module file at module_path (NULL: $ROBMAT_MODULE, else librobmat.so
 * beside the host library). The host's CPU count, the worker threads of MCD's and FAST-LTS's
 * subdatasets, is $ROBMAT_CPUCOUNT at each call, else the machine's processors; results do not
 * depend on it. *session is set even when loading fails (NULL only when memory
 * runs out), so that robmat_session_error can say why; close it either way.
 * Returns ROBMAT_OK, ROBMAT_ERR_OPEN, ROBMAT_ERR_ARGUMENT (session is NULL) or ROBMAT_ERR_MEMORY. */
ROBMAT_HOST_API int robmat_session_open(const char* module_path, robmat_session** session);
ROBMAT_HOST_API void robmat_session_close(robmat_session* session);

/* The error of the session's latest open or call: its message, "" when it succeeded.
 * Copies at most size - 1 bytes and a terminating zero into buffer (which may be NULL when
 * size is 0) and returns the full length, as snprintf does. Threads sharing a session read
 * their own call's error with robmat_result_error instead. */
ROBMAT_HOST_API size_t robmat_session_error(robmat_session* session, char* buffer, size_t size);

/* The routines the module registered; names stay valid until the session is closed.
 * robmat_session_routine returns NULL for an index out of range. */
ROBMAT_HOST_API int robmat_session_routine_count(robmat_session* session);
ROBMAT_HOST_API const char* robmat_session_routine(robmat_session* session, int index);

/* ---- arguments --------------------------------------------------------------------------- */

/* An argument list, built in order. Every add copies what it is given. A failed add returns
 * its code and is remembered: a call with these arguments then fails with the same message. */
ROBMAT_HOST_API robmat_args* robmat_args_new(void);
ROBMAT_HOST_API void robmat_args_free(robmat_args* args);

/* A numeric matrix of rows x cols doubles in row-major order (data may be NULL when the
 * matrix is empty). colnames is NULL or an array of cols zero-terminated names. */
ROBMAT_HOST_API int robmat_args_add_matrix(
    robmat_args* args, int64_t rows, int64_t cols, const double* data, const char* const* colnames);
/* A character value (zero-terminated). */
ROBMAT_HOST_API int robmat_args_add_text(robmat_args* args, const char* text);
/* An omitted optional argument. */
ROBMAT_HOST_API int robmat_args_add_omitted(robmat_args* args);
/* Whether a call with these arguments renders its listing (1, the default) or not (0): a
 * program that reads the output objects from the JSON alone saves the rendering, which for a
 * table of many rows costs more than the computation. */
ROBMAT_HOST_API int robmat_args_set_listing(robmat_args* args, int on);

/* ---- calls ------------------------------------------------------------------------------- */

/* Calls the routine named `routine` (case does not matter) with args (NULL: no arguments).
 * *result receives the outcome whenever memory allows, also after a failure, so that the log
 * and the listing of a failed call can be read; free it with robmat_result_free.
 * Returns ROBMAT_OK, ROBMAT_ERR_CALL, ROBMAT_ERR_ROUTINE, ROBMAT_ERR_ARGUMENT or
 * ROBMAT_ERR_MEMORY; on failure the session's error and the result's error hold the message. */
ROBMAT_HOST_API int robmat_call(robmat_session* session,
                                const char* routine,
                                const robmat_args* args,
                                robmat_result** result);

ROBMAT_HOST_API void robmat_result_free(robmat_result* result);

/* Results 1..count: 1 for a function such as MAD, 3 for a call routine such as MCD, 0 after
 * a failed call. For k outside 1..count, rows and cols are 0 and data is NULL. Data is
 * row-major and stays valid until the result is freed. */
ROBMAT_HOST_API int robmat_result_count(const robmat_result* result);
ROBMAT_HOST_API int64_t robmat_result_rows(const robmat_result* result, int k);
ROBMAT_HOST_API int64_t robmat_result_cols(const robmat_result* result, int k);
ROBMAT_HOST_API const double* robmat_result_data(const robmat_result* result, int k);

/* The names of the columns and rows of result k: the host names the results of the routines it
 * knows (MCD's est columns after the data's columns, sc's rows "h", "subsets", ...). NULL when
 * the result's columns (rows) have no names or j (i) is out of range; a name may be "". */
ROBMAT_HOST_API const char* robmat_result_colname(const robmat_result* result, int k, int64_t j);
ROBMAT_HOST_API const char* robmat_result_rowname(const robmat_result* result, int k, int64_t i);

/* What the routine printed: the listing as text, and the same output objects together with
 * the log lines (and the error of a failed call) as one JSON array. Never NULL. */
ROBMAT_HOST_API const char* robmat_result_listing(const robmat_result* result);
ROBMAT_HOST_API const char* robmat_result_json(const robmat_result* result);

/* The lines the routine logged, in order. severity is ROBMAT_LOG_*, 0 and NULL out of range. */
ROBMAT_HOST_API int64_t robmat_result_log_count(const robmat_result* result);
ROBMAT_HOST_API int robmat_result_log_severity(const robmat_result* result, int64_t i);
ROBMAT_HOST_API const char* robmat_result_log_text(const robmat_result* result, int64_t i);

/* The outcome: the code robmat_call returned and its message ("" after success); for
 * ROBMAT_ERR_ROUTINE the front end's status (-1 when the routine ended by xexit) and the xexit
 * code (0 when the routine returned). */
ROBMAT_HOST_API int robmat_result_code(const robmat_result* result);
ROBMAT_HOST_API const char* robmat_result_error(const robmat_result* result);
ROBMAT_HOST_API int robmat_result_status(const robmat_result* result);
ROBMAT_HOST_API int robmat_result_exit_code(const robmat_result* result);

/* 1 when the routine returned normally but its engine failed: it logged an error and left
 * every result missing. The host decides this once and counts it as a failed call, so every
 * binding reports it alike: robmat_call returns ROBMAT_ERR_ROUTINE (status 0, exit code 0)
 * with the routine's error as the message, and the results (all missing) stay readable.
 * 0 otherwise. */
ROBMAT_HOST_API int robmat_result_engine_failed(const robmat_result* result);

/* ---- plots and reports ------------------------------------------------------------------ */

/* Names of the observations, used instead of their numbers to label points in the plots of
 * this result; names[i] NULL or "" keeps the number. Copies the names. Returns ROBMAT_OK,
 * ROBMAT_ERR_ARGUMENT or ROBMAT_ERR_MEMORY. */
ROBMAT_HOST_API int robmat_result_set_row_names(robmat_result* result,
                                                const char* const* names,
                                                int64_t count);

/* The diagnostic plots of a call as one JSON object {"plots": [...], "notes": [...]}: each plot
 * is a figure (id, title, axis labels and limits, points, lines, curves, bands, notes; the
 * layout is in docs/python.md) with its picture as "svg"; "notes" says which declared plots
 * could not be drawn and why. A plot that needs another routine (the robust distances of a
 * regression's regressors) calls it through the session, under the session's lock. Built on
 * first use and kept with the result (do not ask for one result from two threads at once);
 * valid until the result is freed or its row names change. Never NULL. */
ROBMAT_HOST_API const char* robmat_result_plots(robmat_session* session, robmat_result* result);

/* Writes one self-contained HTML file (no scripts, nothing fetched) to path with a table of
 * contents and, for each of the count results, what the routine printed and logged, its
 * plots and its results as tables. title NULL: "robmat report". Returns ROBMAT_OK,
 * ROBMAT_ERR_ARGUMENT, ROBMAT_ERR_CALL (the file could not be written; robmat_session_error
 * says why) or ROBMAT_ERR_MEMORY. */
ROBMAT_HOST_API int robmat_report_write(
    robmat_session* session, robmat_result* const* results, int count, const char* title, const char* path);

/* ---- interactive use ---------------------------------------------------------------------- */

/* Cancels the session's running call, or its next one: the call ends the next time the module
 * asks the host for a service (or when it returns) and robmat_call returns
 * ROBMAT_ERR_INTERRUPTED, with everything the call held freed. Safe in a signal handler and
 * from any thread. A long computation that asks for no service is cancelled when it ends. */
ROBMAT_HOST_API void robmat_interrupt(robmat_session* session);

/* on = 1: clears a pending interrupt and installs a SIGINT handler that interrupts session;
 * on = 0: restores the handler that was there before (and clears a pending interrupt).
 * One session at a time catches SIGINT. Returns ROBMAT_OK, or ROBMAT_ERR_ARGUMENT for a null
 * session or when another session is catching. */
ROBMAT_HOST_API int robmat_catch_interrupts(robmat_session* session, int on);

/* Reports on a long call: after the call has run for delay_ms (and then every period_ms)
 * report(user, routine, seconds, percent, 0) is called from a helper thread, percent being
 * the routine's last progress note or -1; when a reported call ends, report(..., 1) once.
 * A null report turns the reports off. Returns ROBMAT_OK or ROBMAT_ERR_ARGUMENT. */
typedef void (*robmat_progress_fn)(void* user, const char* routine, double seconds, int percent, int done);
ROBMAT_HOST_API int robmat_session_set_progress(
    robmat_session* session, robmat_progress_fn report, void* user, int delay_ms, int period_ms);

/* The help text of a routine (case does not matter): call form, arguments, options, print
 * levels and results. With NULL or "" the list of routines, one per line ("NAME  summary").
 * NULL for an unknown routine. The text stays valid while the library is loaded. */
ROBMAT_HOST_API const char* robmat_help(const char* topic);

#ifdef __cplusplus
}
#endif

#endif /* ROBMAT_HOST_H */
