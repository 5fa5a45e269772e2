/* Opens the installed module the default way (beside the host library), checks that it is
 * the one the package names, and computes the raw MAD of one column. */
#include <stdio.h>
#include <string.h>

#include "robmat_host.h"

int main(void) {
  robmat_session* s = NULL;
  if (robmat_session_open(NULL, &s) != ROBMAT_OK) {
    char why[512];
    robmat_session_error(s, why, sizeof why);
    fprintf(stderr, "consumer: %s\n", why);
    return 1;
  }
  const double x[5] = {1, 2, 3, 4, 10}; /* median 3, absolute deviations 2 1 0 1 7: MAD 1 */
  robmat_args* a = robmat_args_new();
  robmat_args_add_matrix(a, 5, 1, x, NULL);
  robmat_result* r = NULL;
  int rc = robmat_call(s, "MAD", a, &r);
  const double* d = robmat_result_data(r, 1);
  printf("MAD %g, module %s\n",
         d != NULL ? d[0] : -1.0,
         strlen(ROBMAT_INSTALLED_MODULE) > 0 ? "named" : "unnamed");
  robmat_result_free(r);
  robmat_args_free(a);
  robmat_session_close(s);
  return rc == ROBMAT_OK ? 0 : 1;
}
