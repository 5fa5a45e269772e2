// The C interface from plain C: sessions on good and bad module files, MAD on the stack loss
// data, the log, listing and JSON of a call, every kind of failure (refused call, front-end
// status, xexit, bad arguments) with its code and message, names, and one session shared by
// several threads (also under the sanitizers, where the Python tests do not run); plots and
// reports. Routine results themselves, and their independence of the host's CPU count, are
// checked by the engines' and the host's own tests. Arguments: the real module, the test
// module (routines that misbehave on purpose), and a module file with a wrong magic number.
#include <math.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "check.h"
#include "robmat_host.h"

static const double kStackLoss[21][4] = {
    {80, 27, 89, 42}, {80, 27, 88, 37}, {75, 25, 90, 37}, {62, 24, 87, 28}, {62, 22, 87, 18},
    {62, 23, 87, 18}, {62, 24, 93, 19}, {62, 24, 93, 20}, {58, 23, 87, 15}, {58, 18, 80, 14},
    {58, 18, 89, 14}, {58, 17, 88, 13}, {58, 18, 82, 11}, {58, 19, 93, 12}, {50, 18, 89, 8},
    {50, 18, 86, 7},  {50, 19, 72, 8},  {50, 19, 79, 8},  {50, 20, 80, 9},  {56, 20, 82, 15},
    {70, 20, 91, 15}};

// The raw MADs of the four columns, by hand from the data (tests/python checks every method
// against its definition).
static const double kMads[4] = {4, 2, 3, 4};

static int has_text(const char* haystack, const char* needle) {
  return haystack != NULL && strstr(haystack, needle) != NULL;
}

// Calls MAD(stackloss, method) and returns the code; *out receives the result.
static int call_mad(robmat_session* s, const char* method, robmat_result** out) {
  robmat_args* args = robmat_args_new();
  const char* names[4] = {"Air.Flow", "Water.Temp", "Acid.Conc.", "stack.loss"};
  CHECK(robmat_args_add_matrix(args, 21, 4, &kStackLoss[0][0], names) == ROBMAT_OK);
  CHECK(robmat_args_add_text(args, method) == ROBMAT_OK);
  int code = robmat_call(s, "MAD", args, out);
  robmat_args_free(args);
  return code;
}

// Calls routine(args) on s, expecting code; returns the result.
static robmat_result* call(robmat_session* s, const char* routine, const robmat_args* args, int code) {
  robmat_result* r = NULL;
  CHECK(robmat_call(s, routine, args, &r) == code);
  CHECK(r != NULL && robmat_result_code(r) == code);
  return r;
}

static void test_missing_value(void) {
  double m = robmat_missing();
  unsigned long long bits;
  memcpy(&bits, &m, sizeof bits);
  CHECK(bits == 0xFFFFFE0000000000ull && robmat_is_missing(m));
  bits = 0xFFFF000000000001ull;  // any double with the top 16 bits set
  memcpy(&m, &bits, sizeof m);
  CHECK(robmat_is_missing(m) && !robmat_is_missing(NAN) && !robmat_is_missing(1.0));
  CHECK(strlen(robmat_host_version()) > 0);
}

static void test_sessions(const char* module_path, const char* badmagic_path) {
  const char* bad[2] = {"/nonexistent/librobmat.so", badmagic_path};
  for (int i = 0; i < 2; ++i) {
    robmat_session* s = NULL;
    CHECK(robmat_session_open(bad[i], &s) == ROBMAT_ERR_OPEN && s != NULL);
    char buffer[512];
    size_t n = robmat_session_error(s, buffer, sizeof buffer);
    CHECK(n > 0 && n == strlen(buffer));
    CHECK(robmat_session_routine_count(s) == 0 && robmat_session_routine(s, 0) == NULL);
    // A session whose module did not load refuses calls with a message, never a crash.
    robmat_result* r = call(s, "MAD", NULL, ROBMAT_ERR_CALL);
    CHECK(has_text(robmat_result_error(r), "no module") && robmat_result_count(r) == 0);
    robmat_result_free(r);
    robmat_session_close(s);
  }
  CHECK(robmat_session_open(module_path, NULL) == ROBMAT_ERR_ARGUMENT);

  robmat_session* s = NULL;
  CHECK(robmat_session_open(module_path, &s) == ROBMAT_OK);
  int count = robmat_session_routine_count(s), seen = 0;
  for (int i = 0; i < count; ++i) {
    seen |= strcmp(robmat_session_routine(s, i), "MAD") == 0 ? 1 : 0;
    seen |= strcmp(robmat_session_routine(s, i), "MCD") == 0 ? 2 : 0;
  }
  CHECK(seen == 3);
  CHECK(robmat_session_routine(s, count) == NULL && robmat_session_routine(s, -1) == NULL);
  CHECK(robmat_session_error(s, NULL, 0) == 0);
  robmat_session_close(s);
  // NULL opens the default module: librobmat.so beside the host library, as built.
  s = NULL;
  CHECK(robmat_session_open(NULL, &s) == ROBMAT_OK);
  robmat_session_close(s);
  robmat_session_close(NULL);
}

static void test_mad_log_and_json(robmat_session* s) {
  robmat_result* r = NULL;
  CHECK(call_mad(s, "mad", &r) == ROBMAT_OK);
  CHECK(strcmp(robmat_result_error(r), "") == 0 && robmat_result_count(r) == 1);
  CHECK(robmat_result_engine_failed(r) == 0);
  CHECK(robmat_result_rows(r, 1) == 1 && robmat_result_cols(r, 1) == 4);
  const double* d = robmat_result_data(r, 1);
  for (int j = 0; d != NULL && j < 4; ++j) CHECK(d[j] == kMads[j]);
  CHECK(d != NULL);
  // Results that do not exist are empty, never an error.
  CHECK(robmat_result_rows(r, 2) == 0 && robmat_result_cols(r, 0) == 0);
  CHECK(robmat_result_data(r, 2) == NULL && robmat_result_data(r, -1) == NULL);
  CHECK(robmat_result_log_count(r) == 0);
  CHECK(robmat_result_log_text(r, 0) == NULL && robmat_result_log_severity(r, 0) == 0);
  CHECK(strcmp(robmat_result_listing(r), "") == 0 && has_text(robmat_result_json(r), "[]"));
  robmat_result_free(r);

  // An unknown keyword is a note, not an error: the raw MAD is still computed.
  r = NULL;
  CHECK(call_mad(s, "xyz", &r) == ROBMAT_OK);
  CHECK(robmat_result_log_count(r) == 1 && robmat_result_log_severity(r, 0) == ROBMAT_LOG_NOTE);
  CHECK(has_text(robmat_result_log_text(r, 0), "XYZ"));
  CHECK(has_text(robmat_result_json(r), "\"type\":\"log\"") && has_text(robmat_result_json(r), "\"note\""));
  CHECK(robmat_result_data(r, 1) != NULL && robmat_result_data(r, 1)[0] == kMads[0]);
  robmat_result_free(r);

  // Missing values are skipped per column; a column without values gives a missing value.
  double x[3][2] = {{1, robmat_missing()}, {2, robmat_missing()}, {robmat_missing(), robmat_missing()}};
  robmat_args* args = robmat_args_new();
  CHECK(robmat_args_add_matrix(args, 3, 2, &x[0][0], NULL) == ROBMAT_OK);
  CHECK(robmat_args_add_omitted(args) == ROBMAT_OK);
  r = call(s, "mad", args, ROBMAT_OK);
  d = robmat_result_data(r, 1);
  CHECK(d != NULL && d[0] == 0.5 && robmat_is_missing(d[1]));
  robmat_result_free(r);
  robmat_args_free(args);
  CHECK(call_mad(s, "qn", NULL) == ROBMAT_OK);  // a caller may ignore the result handle
}

static void test_failures(robmat_session* s) {
  char buffer[512];
  // A keyword of nine characters: the front end's status 19, no results.
  robmat_result* r = NULL;
  CHECK(call_mad(s, "nmadnmadx", &r) == ROBMAT_ERR_ROUTINE);
  CHECK(robmat_result_code(r) == ROBMAT_ERR_ROUTINE);
  CHECK(robmat_result_status(r) == 19 && robmat_result_exit_code(r) == 0);
  CHECK(robmat_result_count(r) == 0 && robmat_result_data(r, 1) == NULL);
  CHECK(has_text(robmat_result_error(r), "keyword") && has_text(robmat_result_json(r), "\"type\":\"error\""));
  robmat_session_error(s, buffer, sizeof buffer);
  CHECK(strcmp(buffer, robmat_result_error(r)) == 0);
  robmat_result_free(r);
  // The last error is truncated to the buffer, and its full length is returned.
  char small[8];
  size_t full = robmat_session_error(s, small, sizeof small);
  CHECK(full > sizeof small && strlen(small) == sizeof small - 1);

  // Refused before the routine runs: an unknown routine, a wrong kind of argument.
  r = call(s, "NOSUCH", NULL, ROBMAT_ERR_CALL);
  CHECK(has_text(robmat_result_error(r), "NOSUCH") && robmat_result_status(r) == 0);
  robmat_result_free(r);
  robmat_args* args = robmat_args_new();
  CHECK(robmat_args_add_text(args, "not a matrix") == ROBMAT_OK);
  r = call(s, "MAD", args, ROBMAT_ERR_CALL);
  CHECK(has_text(robmat_result_error(r), "numeric matrix"));
  robmat_result_free(r);
  robmat_args_free(args);
  robmat_result_free(call(s, "MAD", NULL, ROBMAT_ERR_CALL));  // too few arguments
  CHECK(robmat_call(s, NULL, NULL, NULL) == ROBMAT_ERR_ARGUMENT);
  CHECK(robmat_call(NULL, "MAD", NULL, NULL) == ROBMAT_ERR_ARGUMENT);

  // Bad arguments are refused when added, and the call with them says which one.
  args = robmat_args_new();
  double one = 1.0;
  CHECK(robmat_args_add_matrix(args, 1, 1, &one, NULL) == ROBMAT_OK);
  CHECK(robmat_args_add_matrix(args, -1, 2, &one, NULL) == ROBMAT_ERR_ARGUMENT);
  CHECK(robmat_args_add_matrix(args, 2, 2, NULL, NULL) == ROBMAT_ERR_ARGUMENT);
  CHECK(robmat_args_add_text(args, NULL) == ROBMAT_ERR_ARGUMENT);
  CHECK(robmat_args_add_matrix(args, INT64_MAX, 2, &one, NULL) == ROBMAT_ERR_ARGUMENT);
  r = call(s, "MAD", args, ROBMAT_ERR_ARGUMENT);
  CHECK(has_text(robmat_result_error(r), "Argument 2") && has_text(robmat_result_error(r), "negative"));
  CHECK(has_text(robmat_result_json(r), "\"type\":\"error\"") &&
        has_text(robmat_result_json(r), "Argument 2"));
  robmat_result_free(r);
  robmat_args_free(args);
  CHECK(robmat_args_add_omitted(NULL) == ROBMAT_ERR_ARGUMENT);
  robmat_args_free(NULL);
  robmat_result_free(NULL);

  // Data that admit no estimate (n <= p), an infinite value, and NaN (the missing value): each
  // fails with a message that says what and where.
  double square[2][2] = {{1, 2}, {3, 4}};
  double infinite[3][2] = {{1, 2}, {3, 1.0 / 0.0}, {5, 7}};
  double nan[3][2] = {{1, 2}, {3, 4}, {0.0 / 0.0, 7}};
  const char* const names[2] = {"a", "b"};
  struct {
    double* x;
    int64_t rows;
    int code;
    const char* text;
  } bad_data[] = {
      {&square[0][0], 2, ROBMAT_ERR_ROUTINE, "more observations than variables"},
      {&infinite[0][0], 3, ROBMAT_ERR_CALL, "Argument 2 (x) of MCD holds Inf at row 2, column 2 (b)"},
      {&nan[0][0],
       3,
       ROBMAT_ERR_ROUTINE,
       "Argument 2 (x) of MCD holds a missing value at row 3, column 1 (a)"},
  };
  for (int i = 0; i < 3; ++i) {
    args = robmat_args_new();
    CHECK(robmat_args_add_matrix(args, 0, 0, NULL, NULL) == ROBMAT_OK);
    CHECK(robmat_args_add_matrix(args, bad_data[i].rows, 2, bad_data[i].x, names) == ROBMAT_OK);
    r = call(s, "MCD", args, bad_data[i].code);
    CHECK(has_text(robmat_result_error(r), bad_data[i].text));
    robmat_result_free(r);
    robmat_args_free(args);
  }

  // The session goes on working after every failure.
  r = NULL;
  CHECK(call_mad(s, "mad", &r) == ROBMAT_OK);
  robmat_session_error(s, buffer, sizeof buffer);
  CHECK(strcmp(buffer, "") == 0);
  robmat_result_free(r);
}

// The host names MCD's results after the data's columns, and the rows of the summary and the
// distances after what they hold.
static void test_names(robmat_session* s) {
  double x[8][2] = {{1, 2}, {2, 1}, {3, 5}, {4, 3}, {5, 8}, {6, 4}, {7, 9}, {8, 7}};
  const char* const names[2] = {"height", "weight"};
  robmat_args* args = robmat_args_new();
  CHECK(robmat_args_add_matrix(args, 0, 0, NULL, NULL) == ROBMAT_OK);
  CHECK(robmat_args_add_matrix(args, 8, 2, &x[0][0], names) == ROBMAT_OK);
  robmat_result* r = call(s, "MCD", args, ROBMAT_OK);
  CHECK(!strcmp(robmat_result_rowname(r, 1, 0), "h") && robmat_result_rowname(r, 1, 7) == NULL);
  CHECK(robmat_result_colname(r, 1, 0) == NULL && !strcmp(robmat_result_colname(r, 2, 1), "weight"));
  CHECK(!strcmp(robmat_result_rowname(r, 2, 0), "location") &&
        !strcmp(robmat_result_rowname(r, 3, 2), "weight"));
  robmat_result_free(r);
  robmat_args_free(args);
}

// The test module: an xexit keeps its log, the listing of a printed line, three results.
static void test_with_test_module(const char* testmod_path) {
  robmat_session* s = NULL;
  CHECK(robmat_session_open(testmod_path, &s) == ROBMAT_OK);
  double x[2] = {1.5, -2.0};
  robmat_args* args = robmat_args_new();
  CHECK(robmat_args_add_matrix(args, 1, 2, x, NULL) == ROBMAT_OK);
  robmat_result* r = call(s, "BYE", args, ROBMAT_ERR_ROUTINE);
  CHECK(robmat_result_status(r) == -1 && robmat_result_exit_code(r) == 9999);
  CHECK(robmat_result_log_count(r) == 1 && robmat_result_log_severity(r, 0) == ROBMAT_LOG_ERROR);
  CHECK(has_text(robmat_result_log_text(r, 0), "bye is leaving with 9999"));
  CHECK(has_text(robmat_result_error(r), "9999"));
  robmat_result_free(r);
  // A failed engine fails the call too; its results stay readable, all missing.
  r = call(s, "GIVEUP", args, ROBMAT_ERR_ROUTINE);
  CHECK(robmat_result_engine_failed(r) == 1 && robmat_result_status(r) == 0 &&
        robmat_result_exit_code(r) == 0);
  CHECK(has_text(robmat_result_error(r), "The routine GIVEUP failed: The engine gave up."));
  CHECK(robmat_result_count(r) == 3 && robmat_is_missing(robmat_result_data(r, 3)[1]));
  robmat_result_free(r);
  r = call(s, "MGR", args, ROBMAT_OK);
  CHECK(has_text(robmat_result_listing(r), "hello") && has_text(robmat_result_json(r), "\"text\":\"hello\""));
  robmat_result_free(r);
  r = call(s, "THREE", args, ROBMAT_OK);
  CHECK(robmat_result_count(r) == 3);
  for (int k = 1; k <= 3; ++k) {
    const double* d = robmat_result_data(r, k);
    CHECK(robmat_result_rows(r, k) == 1 && robmat_result_cols(r, k) == 2);
    CHECK(d != NULL && d[0] == 1.5 * k && d[1] == -2.0 * k);
  }
  robmat_result_free(r);
  robmat_args_free(args);
  robmat_session_close(s);
}

// Threads share one session; each computes every method many times and compares with the
// values computed serially beforehand.
enum { kThreads = 4, kRounds = 50 };
static const char* const kMethods[4] = {"mad", "nmad", "sn", "qn"};
static double serial[4][4];

static void* worker(void* arg) {
  long bad = 0;
  for (int i = 0; i < 4 * kRounds; ++i) {
    robmat_result* r = NULL;
    bad += call_mad((robmat_session*)arg, kMethods[i % 4], &r) != ROBMAT_OK;
    const double* d = robmat_result_data(r, 1);
    bad += d == NULL || memcmp(d, serial[i % 4], sizeof serial[i % 4]) != 0;
    robmat_result_free(r);
  }
  return (void*)bad;
}

// The plots of a call as JSON with their SVG, observation names as labels, and the HTML report
// of two calls, one of them failed.
static void test_plots_and_report(robmat_session* s) {
  robmat_result* r = NULL;
  CHECK(call_mad(s, "mad", &r) == ROBMAT_OK);
  char buf[21][8];
  const char* names[21];
  for (int i = 0; i < 21; ++i) {
    snprintf(buf[i], sizeof buf[i], "run%d", i + 1);
    names[i] = buf[i];
  }
  CHECK(robmat_result_set_row_names(r, names, 21) == ROBMAT_OK);
  CHECK(robmat_result_set_row_names(r, NULL, 3) == ROBMAT_ERR_ARGUMENT);
  const char* plots = robmat_result_plots(s, r);
  CHECK(has_text(plots, "\"id\":\"strips\""));
  CHECK(has_text(plots, "\"svg\":\"<svg xmlns="));
  // Air flow 80 in run 1 lies beyond its median 58 + 2.5 MAD (4): labelled by its name.
  CHECK(has_text(plots, "\"run1\""));
  CHECK(has_text(plots, "\"notes\":[]"));

  robmat_result* failed = NULL;
  CHECK(call_mad(s, "a keyword far too long", &failed) == ROBMAT_ERR_ROUTINE);
  CHECK(has_text(robmat_result_plots(s, failed), "The call failed"));

  robmat_result* both[2] = {r, failed};
  const char* path = "capi_test_report.html";
  CHECK(robmat_report_write(s, both, 2, "Two calls", path) == ROBMAT_OK);
  FILE* f = fopen(path, "rb");
  CHECK(f != NULL);
  if (f != NULL) {
    static char page[1 << 20];
    size_t n = fread(page, 1, sizeof page - 1, f);
    page[n] = '\0';
    fclose(f);
    CHECK(has_text(page, "<title>Two calls</title>"));
    CHECK(has_text(page, "<figure id=\"call-1-strips\">"));
    CHECK(has_text(page, "<p class=\"error\">"));
    remove(path);
  }
  CHECK(robmat_report_write(s, both, 2, NULL, "/nonexistent/folder/r.html") == ROBMAT_ERR_CALL);
  char error[256];
  robmat_session_error(s, error, sizeof error);
  CHECK(has_text(error, "/nonexistent/folder/r.html"));
  CHECK(robmat_report_write(s, NULL, 1, NULL, path) == ROBMAT_ERR_ARGUMENT);
  robmat_result_free(failed);
  robmat_result_free(r);
}

static void test_threads(robmat_session* s) {
  for (int m = 0; m < 4; ++m) {
    robmat_result* r = NULL;
    CHECK(call_mad(s, kMethods[m], &r) == ROBMAT_OK);
    if (robmat_result_data(r, 1) != NULL) memcpy(serial[m], robmat_result_data(r, 1), sizeof serial[m]);
    robmat_result_free(r);
  }
  pthread_t threads[kThreads];
  for (int t = 0; t < kThreads; ++t) CHECK(pthread_create(&threads[t], NULL, worker, s) == 0);
  for (int t = 0; t < kThreads; ++t) {
    void* bad = NULL;
    pthread_join(threads[t], &bad);
    CHECK(bad == NULL);
  }
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: capi_test MODULE TEST_MODULE BAD_MAGIC_MODULE\n");
    return 2;
  }
  test_missing_value();
  test_sessions(argv[1], argv[3]);
  robmat_session* s = NULL;
  CHECK(robmat_session_open(argv[1], &s) == ROBMAT_OK);
  if (s != NULL) {
    test_mad_log_and_json(s);
    test_failures(s);
    test_names(s);
    test_plots_and_report(s);
    test_threads(s);
  }
  robmat_session_close(s);
  test_with_test_module(argv[2]);
  return check_report("capi_test");
}
