// The C interface for interactive use, from plain C: interrupting a call from another thread
// and from SIGINT, progress reports of a long call, and the help texts. Arguments: the real
// module and the test module (whose SPIN routine runs for a given number of seconds).
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "check.h"
#include "robmat_host.h"

static void pause_ms(long ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, NULL);
}

// SPIN(seconds) on s; returns the code and frees the result.
static int spin(robmat_session* s, double seconds) {
  robmat_args* a = robmat_args_new();
  CHECK(robmat_args_add_matrix(a, 1, 1, &seconds, NULL) == ROBMAT_OK);
  robmat_result* r = NULL;
  int code = robmat_call(s, "SPIN", a, &r);
  if (code == ROBMAT_ERR_INTERRUPTED) {
    CHECK(strstr(robmat_result_error(r), "SPIN was interrupted") != NULL);
    CHECK(robmat_result_count(r) == 0);
  }
  robmat_result_free(r);
  robmat_args_free(a);
  return code;
}

static void* interrupt_later(void* s) {
  pause_ms(100);
  robmat_interrupt((robmat_session*)s);
  return NULL;
}

static void* raise_later(void* unused) {
  (void)unused;
  pause_ms(100);
  raise(SIGINT);
  return NULL;
}

// A call that would run for 600 s ends early, both ways; the session goes on.
static void test_interrupt(robmat_session* s) {
  pthread_t t;
  CHECK(pthread_create(&t, NULL, interrupt_later, s) == 0);
  CHECK(spin(s, 600) == ROBMAT_ERR_INTERRUPTED);
  pthread_join(t, NULL);
  CHECK(spin(s, 0) == ROBMAT_OK);

  CHECK(robmat_catch_interrupts(NULL, 1) == ROBMAT_ERR_ARGUMENT);
  CHECK(robmat_catch_interrupts(s, 1) == ROBMAT_OK);
  CHECK(pthread_create(&t, NULL, raise_later, NULL) == 0);
  CHECK(spin(s, 600) == ROBMAT_ERR_INTERRUPTED);
  pthread_join(t, NULL);
  CHECK(robmat_catch_interrupts(s, 0) == ROBMAT_OK);
  CHECK(spin(s, 0) == ROBMAT_OK);
}

static int reports, done_reports, last_done;
static char first_routine[16];
static void report(void* user, const char* routine, double seconds, int percent, int done) {
  CHECK(user == (void*)&reports && seconds >= 0 && percent == -1);
  if (reports++ == 0) snprintf(first_routine, sizeof first_routine, "%s", routine);
  done_reports += done;
  last_done = done;
}

static void test_progress(robmat_session* s) {
  CHECK(robmat_session_set_progress(s, report, &reports, 0, 0) == ROBMAT_ERR_ARGUMENT);
  CHECK(robmat_session_set_progress(s, report, &reports, 0, 5) == ROBMAT_OK);
  CHECK(spin(s, 0.1) == ROBMAT_OK);
  CHECK(reports >= 2 && done_reports == 1 && last_done == 1);
  CHECK(strcmp(first_routine, "SPIN") == 0);
  CHECK(robmat_session_set_progress(s, NULL, NULL, 0, 5) == ROBMAT_OK);
  reports = 0;
  CHECK(spin(s, 0.05) == ROBMAT_OK);
  CHECK(reports == 0);
}

static void test_help(void) {
  const char* mcd = robmat_help("mcd");
  CHECK(mcd != NULL && strstr(mcd, "[sc, est, dist] = MCD(opt, x [, start])") != NULL);
  CHECK(mcd == robmat_help("MCD"));  // one text, kept
  const char* list = robmat_help(NULL);
  CHECK(list != NULL && strstr(list, "MAD  ") != NULL && strstr(list, "MCD  ") != NULL);
  CHECK(list == robmat_help(""));
  CHECK(robmat_help("NOPE") == NULL);
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: capi_interactive_test MODULE TEST_MODULE\n");
    return 2;
  }
  test_help();
  robmat_session* s = NULL;
  CHECK(robmat_session_open(argv[2], &s) == ROBMAT_OK);
  if (s != NULL) {
    test_interrupt(s);
    test_progress(s);
  }
  robmat_session_close(s);
  (void)argv[1];
  return check_report("capi_interactive_test");
}
