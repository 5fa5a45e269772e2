// Checks for the plain C tests of the C interface: a failed check is reported with its place
// and counted, and the test's exit status says whether any failed.
#pragma once

#include <stdio.h>

static int failures = 0;

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                              \
    }                                                                          \
  } while (0)

// The exit status of a test named name: 0 when every check passed.
static int check_report(const char* name) {
  if (failures != 0) {
    fprintf(stderr, "%s: %d check(s) failed\n", name, failures);
    return 1;
  }
  printf("%s: all checks passed\n", name);
  return 0;
}
